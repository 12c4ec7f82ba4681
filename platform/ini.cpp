#include "platform/ini.h"

#include <vector>

namespace plat {
namespace {

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Length of the character that starts at i: two bytes for a lead byte with a byte after it.
std::size_t charLength(std::string_view s, std::size_t i) {
  return isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// What the private-profile functions have always skipped around names and values; ^Z is
// the DOS end-of-file mark that old files still carry.
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == 0x1A;
}

std::string_view trimLeft(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

// Blanks are single bytes below 0x40, so they never are the second byte of a character.
std::string_view trim(std::string_view s) {
  s = trimLeft(s);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The lower-case form of a double-byte letter, by its code.
unsigned lowerDoubleByte(unsigned code) {
  if (code >= 0x8260 && code <= 0x8279) return code + 0x21;  // full-width A to Z
  if (code >= 0x839F && code <= 0x83B6) return code + 0x20;  // Greek capitals
  if (code >= 0x8440 && code <= 0x8460) {                     // Cyrillic capitals
    unsigned i = code - 0x8440;
    return 0x8470 + i + (i >= 15 ? 1 : 0);  // the small letters step over the unused 0x847F
  }
  return code;
}

// A copy in which letters that differ only in case are the same bytes.
std::string folded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    if (charLength(s, i) == 2) {
      unsigned code = lowerDoubleByte(c << 8 | static_cast<unsigned char>(s[i + 1]));
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
      i += 2;
    } else {
      out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
      ++i;
    }
  }
  return out;
}

struct Line {
  std::size_t begin;  // first byte of the line
  std::size_t end;    // first byte of its line end
  std::size_t next;   // first byte after its line end
};

std::vector<Line> splitLines(std::string_view f) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < f.size()) {
    std::size_t end = f.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back({pos, f.size(), f.size()});
      break;
    }
    std::size_t next = end + 1;
    if (f[end] == '\r' && next < f.size() && f[next] == '\n') ++next;
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

struct Entry {
  enum Kind { Blank, Section, Key } kind = Blank;
  std::string_view name;   // section or key name
  std::string_view value;  // after '=', without the blanks around it
  bool hasValue = false;   // the line holds '='
};

Entry parse(std::string_view line) {
  Entry e;
  std::string_view t = trim(line);
  if (t.empty()) return e;
  if (t.front() == '[') {
    // The name runs to the last ']'; a ']' that is the second byte of a character is not one.
    std::size_t close = std::string_view::npos;
    for (std::size_t i = 1; i < t.size(); i += charLength(t, i)) {
      if (t[i] == ']') close = i;
    }
    if (close != std::string_view::npos) {
      e.kind = Entry::Section;
      e.name = trim(t.substr(1, close - 1));
      return e;
    }
    // Without a ']' the line is no section header; it reads like any other line.
  }
  e.kind = Entry::Key;
  // '=' is below 0x40 and never the second byte of a character.
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) {
    e.name = t;
    return e;
  }
  e.name = trim(t.substr(0, eq));
  e.value = trim(t.substr(eq + 1));
  e.hasValue = true;
  return e;
}

// Where a key lives: the line of the first section of that name, and the key's own line.
struct Place {
  std::optional<std::size_t> section;  // index of the section's header line
  std::optional<std::size_t> key;      // index of the key's line
  std::size_t lastInSection = 0;       // last line of the section that is not blank
};

Place find(std::string_view f, const std::vector<Line>& lines, std::string_view section,
           std::string_view key) {
  Place place;
  const std::string wantSection = folded(section), wantKey = folded(key);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Entry e = parse(f.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (e.kind == Entry::Section) {
      if (place.section) break;  // the first section of the name has ended
      if (!e.name.empty() && folded(e.name) == wantSection) {
        place.section = i;
        place.lastInSection = i;
      }
      continue;
    }
    if (!place.section || e.kind == Entry::Blank) continue;
    place.lastInSection = i;
    if (folded(e.name) == wantKey) {
      place.key = i;
      break;
    }
  }
  return place;
}

// A name that a later read could not find again is refused: one that breaks its line, a key
// holding '=', or a name ending in the first byte of a character, which would take the ']'
// or '=' after it as its second byte.
bool usableName(std::string_view name, bool isKey) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c == '\r' || c == '\n' || c == '\0' || (isKey && c == '=')) return false;
  }
  std::size_t i = 0;
  while (i + charLength(name, i) < name.size()) i += charLength(name, i);
  return !isLeadByte(static_cast<unsigned char>(name[i])) || charLength(name, i) == 2;
}

std::string_view beforeNul(std::string_view s) { return s.substr(0, s.find('\0')); }

}  // namespace

std::optional<std::string> readIniValue(std::string_view file, std::string_view section,
                                        std::string_view key) {
  section = trim(beforeNul(section));
  key = trim(beforeNul(key));
  if (section.empty() || key.empty()) return std::nullopt;
  std::vector<Line> lines = splitLines(file);
  Place place = find(file, lines, section, key);
  if (!place.key) return std::nullopt;
  const Line& line = lines[*place.key];
  Entry e = parse(file.substr(line.begin, line.end - line.begin));
  if (!e.hasValue) return std::nullopt;
  std::string_view v = e.value;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  v = beforeNul(v);
  std::size_t cut = 0;
  while (cut < v.size() && cut + charLength(v, cut) <= kIniValueLimit) cut += charLength(v, cut);
  return std::string(v.substr(0, cut));
}

std::optional<std::string> writeIniValue(std::string_view file, std::string_view section,
                                         std::string_view key, std::string_view value) {
  section = trim(beforeNul(section));
  key = trim(beforeNul(key));
  if (!usableName(section, false) || !usableName(key, true)) return std::nullopt;
  std::string v(trimLeft(beforeNul(value)));
  for (char& c : v) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  // "[a=b]" or "[a]=1" reads back as a section header: such a line would not be found
  // again, and it would move the keys below it into another section.
  if (parse(std::string(key) + "=" + v).kind != Entry::Key) return std::nullopt;

  std::vector<Line> lines = splitLines(file);
  Place place = find(file, lines, section, key);
  std::string out;
  if (place.key) {
    const Line& line = lines[*place.key];
    Entry e = parse(file.substr(line.begin, line.end - line.begin));
    if (e.hasValue && e.value == v) return std::string(file);
    // The key keeps the spelling the file gave it.
    out.append(file.substr(0, line.begin));
    out.append(e.name).append("=").append(v);
    out.append(file.substr(line.end));
    return out;
  }
  std::string added;
  std::size_t at = file.size();
  if (place.section) {
    at = lines[place.lastInSection].next;
    added.append(key).append("=").append(v).append("\r\n");
  } else {
    added.append("[").append(section).append("]\r\n");
    added.append(key).append("=").append(v).append("\r\n");
  }
  out.append(file.substr(0, at));
  // A last line without its line end gets one before anything follows it.
  if (!out.empty() && out.back() != '\n' && out.back() != '\r') out.append("\r\n");
  out.append(added);
  out.append(file.substr(at));
  return out;
}

}  // namespace plat
