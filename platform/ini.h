#pragma once
// Private-profile (INI) files, read and edited as the bytes they hold, so every platform
// reads and writes lumatap.ini alike. The bytes are code page 932, or UTF-8 for a file an
// editor saved so (see decodeIniFile): names are compared without regard to case (ASCII,
// full-width Latin, Greek and Cyrillic letters) and never cut through a character.
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

// The longest value a read gives, in bytes of code page 932 (a UTF-8 value is cut where its
// code page 932 form would be), so a file reads alike in every encoding.
constexpr std::size_t kIniValueLimit = 254;

// How the bytes of a file's text make up characters.
enum class IniChars { Cp932, Utf8 };

// The encodings lumatap.ini is read in. The program writes code page 932; an editor may
// have saved the file as UTF-8, with or without a byte order mark, or as UTF-16.
enum class IniEncoding { Cp932, Utf8, Utf8Bom, Utf16Le, Utf16Be };

struct IniText {
  IniEncoding encoding = IniEncoding::Cp932;
  // The file's bytes without the byte order mark: code page 932 or UTF-8 as they are,
  // UTF-16 turned into UTF-8.
  std::string text;
  // Encoding `text` again gives the file's bytes back. Only UTF-16 that is not (an odd
  // number of bytes, a lone surrogate) is not exact: what cannot be read becomes U+FFFD.
  bool exact = true;
  IniChars chars() const { return encoding == IniEncoding::Cp932 ? IniChars::Cp932 : IniChars::Utf8; }
};

// The text of a file's bytes. A byte order mark tells UTF-8 or UTF-16. Without one the file
// is code page 932, as the program writes it, unless it is UTF-8 holding more than ASCII and
// either cannot be code page 932 or spells only characters code page 932 has: code page
// 932 text seldom passes as UTF-8, and what does spells letters code page 932 lacks.
IniText decodeIniFile(std::string_view bytes);
// The bytes of a file in that encoding, byte order mark included.
std::string encodeIniFile(IniEncoding encoding, std::string_view text);

// The value of key in section: the text after '=' without the blanks around it and without
// one pair of enclosing quotation marks (' or "), cut at a NUL and to its first 254 bytes.
// Nothing when the section or the key is missing or the key's line has no '='.
std::optional<std::string> readIniValue(std::string_view file, std::string_view section,
                                        std::string_view key, IniChars chars = IniChars::Cp932);

// The file with key in section set to value. An existing value is replaced on its own line
// and every other byte stays as it was (the same value leaves the file untouched); a new key
// goes after the last line of its section, a new section at the end, each line ending in
// CR LF. Blanks at the start of the value are dropped, and line breaks inside it become
// blanks, so the value stays on its line. Nothing when the section or key name is blank or
// could not be found again (a line break, or '=' in a key, or a key line that would read as
// a section header, such as key "[a" with value "b]").
std::optional<std::string> writeIniValue(std::string_view file, std::string_view section,
                                         std::string_view key, std::string_view value,
                                         IniChars chars = IniChars::Cp932);

}  // namespace plat
