#include "app/iniReadWrite.h"

#include <optional>

#include "platform/ini.h"
#include "platform/system.h"

namespace lumatap {

std::string IniRead(const std::string& section, const std::string& key, const std::string& def,
                    const std::string& file) {
  std::string bytes;
  // A file that cannot be read (absent, a folder) holds no values.
  if (!plat::readFile(file, bytes)) bytes.clear();
  std::optional<std::string> value =
      plat::readIniValue(bytes, plat::toCp932(section), plat::toCp932(key));
  return value ? plat::fromCp932(*value) : def;
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
  std::string edited = bytes;
  for (const IniEntry& e : entries) {
    std::optional<std::string> next = plat::writeIniValue(
        edited, plat::toCp932(e.section), plat::toCp932(e.key), plat::toCp932(e.value));
    if (!next) return false;
    edited = std::move(*next);
  }
  if (attributes == 1 && edited == bytes) return true;
  return plat::replaceFile(file, edited);
}

}  // namespace lumatap
