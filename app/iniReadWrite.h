#pragma once
// The settings file's two procedures. Strings are UTF-8 here and code page 932 in the file;
// the file is a program path ('\' separators).

#include <string>
#include <vector>

namespace lumatap {

// The value of key in section, or def when the file, the section or the key is missing:
// blanks around it and one pair of enclosing quotation marks removed, at most 254 bytes
// of the file's text.
std::string IniRead(const std::string& section, const std::string& key, const std::string& def,
                    const std::string& file);

// Sets key in section, creating the file, the section and the key as needed; every other
// line stays as it was. The file is replaced as a whole, so a failure leaves the old one
// intact. False when it could not be written.
bool IniWrite(const std::string& section, const std::string& key, const std::string& value,
              const std::string& file);

// Several keys set as one change: the file is replaced once, so it holds all of them or,
// when anything fails, none of them. False when it could not be written.
struct IniEntry {
  std::string section, key, value;
};
bool iniWriteAll(const std::vector<IniEntry>& entries, const std::string& file);

}  // namespace lumatap
