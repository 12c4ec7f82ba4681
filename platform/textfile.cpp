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

bool readTextLines(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  std::string bytes;
  if (!readFile(path, bytes)) return false;
  // CR and LF are single bytes in code page 932, so splitting after the conversion cuts
  // the same lines as splitting the bytes would.
  lines = splitTextLines(fromCp932(bytes));
  return true;
}

bool writeTextFile(const std::string& path, const std::string& utf8) {
  return replaceFile(path, toCp932(utf8));
}

}  // namespace plat
