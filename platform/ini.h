#pragma once
// Private-profile (INI) files, read and edited as the bytes they hold, so every platform
// reads and writes lumatap.ini alike. The bytes are code page 932: names are compared
// without regard to case (ASCII, full-width Latin, Greek and Cyrillic letters) and never
// cut through a double-byte character.
//
// The file: lines end at CR LF, a lone CR or a lone LF; "[name]" opens a section (the name
// runs to the last ']' on the line); "key=value" lines belong to the section above them.
// Blanks around a line, a section name, a key and a value do not count. Only the first
// section of a name is looked at, and in it the first line of a key.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// The longest value a read gives, in bytes.
constexpr std::size_t kIniValueLimit = 254;

// The value of key in section: the text after '=' without the blanks around it and without
// one pair of enclosing quotation marks (' or "), cut at a NUL and to its first 254 bytes.
// Nothing when the section or the key is missing or the key's line has no '='.
std::optional<std::string> readIniValue(std::string_view file, std::string_view section,
                                        std::string_view key);

// The file with key in section set to value. An existing value is replaced on its own line
// and every other byte stays as it was (the same value leaves the file untouched); a new key
// goes after the last line of its section, a new section at the end, each line ending in
// CR LF. Blanks at the start of the value are dropped, and line breaks inside it become
// blanks, so the value stays on its line. Nothing when the section or key name is blank or
// could not be found again (a line break, or '=' in a key, or a key line that would read as
// a section header, such as key "[a" with value "b]").
std::optional<std::string> writeIniValue(std::string_view file, std::string_view section,
                                         std::string_view key, std::string_view value);

}  // namespace plat
