#include "platform/textfile.h"

#include "platform/system.h"

namespace plat {

std::vector<std::string> splitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') {
      ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;  // CR LF is one line end
    } else if (pos < text.size()) {
      ++pos;  // a lone LF
    }
  }
  return lines;
}

bool readTextLines(const std::string& path, std::vector<std::string>& lines, bool* faithful) {
  lines.clear();
  std::string bytes;
  if (!readFile(path, bytes)) return false;
  // CR and LF are single bytes in code page 932, so splitting after the conversion cuts
  // the same lines as splitting the bytes would.
  const std::string text = fromCp932(bytes);
  if (faithful) *faithful = toCp932(text) == bytes;
  lines = splitTextLines(text);
  return true;
}

bool writeTextFile(const std::string& path, const std::string& utf8) {
  return replaceFile(path, toCp932(utf8));
}

bool replaceFileKeepingOld(const std::string& path, const std::string& bytes) {
  const int attributes = fileAttributes(path);
  if (attributes < 0) return replaceFile(path, bytes);
  std::string old;
  // A folder of that name, or a file another program keeps to itself: what it holds is
  // unknown, so it is not replaced.
  if (attributes == 0 || !readFile(path, old)) return false;
  return replaceFile(path + ".bak", old) && replaceFile(path, bytes);
}

bool writeTextFileKeepingOld(const std::string& path, const std::string& utf8) {
  return replaceFileKeepingOld(path, toCp932(utf8));
}

}  // namespace plat
