#include "app/iniReadWrite.h"

#include <optional>

#include "platform/ini.h"
#include "platform/system.h"
#include "platform/textfile.h"

namespace lumatap {
namespace {

// The program's UTF-8 text as the file's text holds it.
std::string inFile(const std::string& utf8, plat::IniChars chars) {
  return chars == plat::IniChars::Cp932 ? plat::toCp932(utf8) : utf8;
}

}  // namespace

std::string IniRead(const std::string& section, const std::string& key, const std::string& def,
                    const std::string& file) {
  std::string bytes;
  // A file that cannot be read (absent, a folder) holds no values.
  if (!plat::readFile(file, bytes)) bytes.clear();
  const plat::IniText ini = plat::decodeIniFile(bytes);
  const plat::IniChars chars = ini.chars();
  std::optional<std::string> value =
      plat::readIniValue(ini.text, inFile(section, chars), inFile(key, chars), chars);
  if (!value) return def;
  return chars == plat::IniChars::Cp932 ? plat::fromCp932(*value) : *value;
}

bool IniWrite(const std::string& section, const std::string& key, const std::string& value,
              const std::string& file) {
  return iniWriteAll({{section, key, value}}, file);
}

bool iniWriteAll(const std::vector<IniEntry>& entries, const std::string& file) {
  std::string bytes;
  int attributes = plat::fileAttributes(file);
  if (attributes == 0) return false;  // a folder of that name
  // An existing file that cannot be read must not be replaced by one holding only our keys.
  if (attributes == 1 && !plat::readFile(file, bytes)) return false;
  // The file is edited in the encoding it has, and written back in it.
  const plat::IniText ini = plat::decodeIniFile(bytes);
  const plat::IniChars chars = ini.chars();
  std::string edited = ini.text;
  for (const IniEntry& e : entries) {
    std::optional<std::string> next = plat::writeIniValue(
        edited, inFile(e.section, chars), inFile(e.key, chars), inFile(e.value, chars), chars);
    if (!next) return false;
    edited = std::move(*next);
  }
  if (attributes == 1 && edited == ini.text) return true;
  const std::string out = plat::encodeIniFile(ini.encoding, edited);
  // Text that could not be read (UTF-16 that is not) would be lost by the rewrite: the old
  // file is kept beside the new one.
  return ini.exact ? plat::replaceFile(file, out) : plat::replaceFileKeepingOld(file, out);
}

}  // namespace lumatap
