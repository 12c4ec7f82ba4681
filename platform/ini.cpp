#include "platform/ini.h"

#include <algorithm>
#include <vector>

#include "platform/system.h"

namespace plat {
namespace {

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool isContinuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// How many continuation bytes a UTF-8 lead byte asks for; 0 for any other byte.
std::size_t continuationsOf(unsigned char c) {
  return c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
}

// Length of the character that starts at i. In code page 932: two bytes for a lead byte
// with a byte after it. In UTF-8: the lead byte and the continuation bytes that follow it,
// so an ASCII byte such as ']' or '=' is never part of another character.
std::size_t charLength(std::string_view s, std::size_t i, IniChars chars) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (chars == IniChars::Cp932) return isLeadByte(c) && i + 1 < s.size() ? 2 : 1;
  std::size_t n = 1;
  for (std::size_t want = continuationsOf(c); want > 0 && i + n < s.size(); --want, ++n) {
    if (!isContinuation(static_cast<unsigned char>(s[i + n]))) break;
  }
  return n;
}

// The code point of a whole UTF-8 character of that length; nothing for a stray byte or a
// character cut short.
std::optional<unsigned> codePoint(std::string_view s, std::size_t i, std::size_t length) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (length == 1) return c < 0x80 ? std::optional<unsigned>(c) : std::nullopt;
  if (length != continuationsOf(c) + 1) return std::nullopt;
  unsigned cp = c & (0x3F >> (length - 1));
  for (std::size_t k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  return cp;
}

void appendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The bytes a UTF-8 character takes in code page 932: one for ASCII, half-width katakana
// and a stray byte (which becomes a single replacement), two for everything else.
std::size_t cp932Width(std::string_view s, std::size_t i, std::size_t length) {
  std::optional<unsigned> cp = codePoint(s, i, length);
  if (!cp || *cp < 0x80 || (*cp >= 0xFF61 && *cp <= 0xFF9F)) return 1;
  return 2;
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

// The lower-case form of the same letters as code points: full-width Latin, Greek and
// Cyrillic capitals, Ё included.
unsigned lowerCodePoint(unsigned cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + ('a' - 'A');
  if (cp >= 0xFF21 && cp <= 0xFF3A) return cp + 0x20;
  if (cp >= 0x0391 && cp <= 0x03A9 && cp != 0x03A2) return cp + 0x20;
  if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;
  if (cp == 0x0401) return 0x0451;
  return cp;
}

// A copy in which letters that differ only in case are the same bytes.
std::string folded(std::string_view s, IniChars chars) {
  std::string out;
  out.reserve(s.size());
  if (chars == IniChars::Utf8) {
    for (std::size_t i = 0; i < s.size();) {
      const std::size_t n = charLength(s, i, chars);
      std::optional<unsigned> cp = codePoint(s, i, n);
      if (cp) {
        appendUtf8(out, lowerCodePoint(*cp));
      } else {
        out.append(s.substr(i, n));
      }
      i += n;
    }
    return out;
  }
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    if (charLength(s, i, chars) == 2) {
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

Entry parse(std::string_view line, IniChars chars) {
  Entry e;
  std::string_view t = trim(line);
  if (t.empty()) return e;
  if (t.front() == '[') {
    // The name runs to the last ']'; a ']' that is the second byte of a character is not one.
    std::size_t close = std::string_view::npos;
    for (std::size_t i = 1; i < t.size(); i += charLength(t, i, chars)) {
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
           std::string_view key, IniChars chars) {
  Place place;
  const std::string wantSection = folded(section, chars), wantKey = folded(key, chars);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Entry e = parse(f.substr(lines[i].begin, lines[i].end - lines[i].begin), chars);
    if (e.kind == Entry::Section) {
      if (place.section) break;  // the first section of the name has ended
      if (!e.name.empty() && folded(e.name, chars) == wantSection) {
        place.section = i;
        place.lastInSection = i;
      }
      continue;
    }
    if (!place.section || e.kind == Entry::Blank) continue;
    place.lastInSection = i;
    if (folded(e.name, chars) == wantKey) {
      place.key = i;
      break;
    }
  }
  return place;
}

// A name that a later read could not find again is refused: one that breaks its line, a key
// holding '=', or (in code page 932) a name ending in the first byte of a character, which
// would take the ']' or '=' after it as its second byte.
bool usableName(std::string_view name, bool isKey, IniChars chars) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c == '\r' || c == '\n' || c == '\0' || (isKey && c == '=')) return false;
  }
  if (chars == IniChars::Utf8) return true;
  std::size_t i = 0;
  while (i + charLength(name, i, chars) < name.size()) i += charLength(name, i, chars);
  return !isLeadByte(static_cast<unsigned char>(name[i])) || charLength(name, i, chars) == 2;
}

std::string_view beforeNul(std::string_view s) { return s.substr(0, s.find('\0')); }

}  // namespace

std::optional<std::string> readIniValue(std::string_view file, std::string_view section,
                                        std::string_view key, IniChars chars) {
  section = trim(beforeNul(section));
  key = trim(beforeNul(key));
  if (section.empty() || key.empty()) return std::nullopt;
  std::vector<Line> lines = splitLines(file);
  Place place = find(file, lines, section, key, chars);
  if (!place.key) return std::nullopt;
  const Line& line = lines[*place.key];
  Entry e = parse(file.substr(line.begin, line.end - line.begin), chars);
  if (!e.hasValue) return std::nullopt;
  std::string_view v = e.value;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  v = beforeNul(v);
  std::size_t cut = 0, width = 0;
  while (cut < v.size()) {
    const std::size_t n = charLength(v, cut, chars);
    const std::size_t w = chars == IniChars::Cp932 ? n : cp932Width(v, cut, n);
    if (width + w > kIniValueLimit) break;
    cut += n;
    width += w;
  }
  return std::string(v.substr(0, cut));
}

std::optional<std::string> writeIniValue(std::string_view file, std::string_view section,
                                         std::string_view key, std::string_view value,
                                         IniChars chars) {
  section = trim(beforeNul(section));
  key = trim(beforeNul(key));
  if (!usableName(section, false, chars) || !usableName(key, true, chars)) return std::nullopt;
  std::string v(trimLeft(beforeNul(value)));
  for (char& c : v) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  // "[a=b]" or "[a]=1" reads back as a section header: such a line would not be found
  // again, and it would move the keys below it into another section.
  if (parse(std::string(key) + "=" + v, chars).kind != Entry::Key) return std::nullopt;

  std::vector<Line> lines = splitLines(file);
  Place place = find(file, lines, section, key, chars);
  std::string out;
  if (place.key) {
    const Line& line = lines[*place.key];
    Entry e = parse(file.substr(line.begin, line.end - line.begin), chars);
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

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr unsigned kReplacement = 0xFFFD;

// Whole UTF-8 characters only: no stray or missing continuation byte, no overlong form, no
// surrogate, nothing above U+10FFFF. True also for plain ASCII.
bool isUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = charLength(s, i, IniChars::Utf8);
    if (c >= 0x80) {
      std::optional<unsigned> cp = codePoint(s, i, n);
      const unsigned least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
      if (!cp || *cp < least || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return false;
    }
    i += n;
  }
  return true;
}

// Every byte is a character of code page 932: ASCII, a half-width katakana, or a lead byte
// with a second byte it may take.
bool isCp932(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) continue;
    if (!isLeadByte(c) || i + 1 == s.size()) return false;
    const auto t = static_cast<unsigned char>(s[++i]);
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

unsigned unit16(std::string_view s, std::size_t i, bool bigEndian) {
  const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
  return bigEndian ? (a << 8 | b) : (b << 8 | a);
}

std::string fromUtf16(std::string_view s, bool bigEndian) {
  std::string out;
  std::size_t i = 0;
  for (; i + 1 < s.size(); i += 2) {
    unsigned u = unit16(s, i, bigEndian);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < s.size()) {
      const unsigned low = unit16(s, i + 2, bigEndian);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
  }
  if (i < s.size()) appendUtf8(out, kReplacement);  // half a character at the end
  return out;
}

void appendUnit16(std::string& out, unsigned u, bool bigEndian) {
  const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
  out.push_back(bigEndian ? hi : lo);
  out.push_back(bigEndian ? lo : hi);
}

std::string toUtf16(std::string_view s, bool bigEndian) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = charLength(s, i, IniChars::Utf8);
    std::optional<unsigned> cp = codePoint(s, i, n);
    i += n;
    unsigned c = cp && !(*cp >= 0xD800 && *cp <= 0xDFFF) && *cp <= 0x10FFFF ? *cp : kReplacement;
    if (c >= 0x10000) {
      c -= 0x10000;
      appendUnit16(out, 0xD800 + (c >> 10), bigEndian);
      appendUnit16(out, 0xDC00 + (c & 0x3FF), bigEndian);
    } else {
      appendUnit16(out, c, bigEndian);
    }
  }
  return out;
}

// Whether a file without a byte order mark holds UTF-8 rather than code page 932. Japanese
// UTF-8 text passes as code page 932 about as often as not, so that tells nothing; but code
// page 932 text seldom passes as UTF-8 (the first byte of its kana, of most of its kanji
// and of its full-width signs cannot start a UTF-8 character), and what little does, runs
// of half-width katakana mostly, spells letters such as "ý" that code page 932 lacks. So:
// UTF-8 holding more than ASCII whose characters all have a code page 932 form, or that
// cannot be code page 932 at all.
bool readsAsUtf8(std::string_view bytes) {
  const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !isUtf8(bytes)) return false;
  if (!isCp932(bytes)) return true;
  const std::string text(bytes);
  return fromCp932(toCp932(text)) == text;
}

}  // namespace

IniText decodeIniFile(std::string_view bytes) {
  IniText t;
  if (bytes.starts_with(kUtf8Bom)) {
    t.encoding = IniEncoding::Utf8Bom;
    t.text = bytes.substr(kUtf8Bom.size());
  } else if (bytes.starts_with(kUtf16LeBom) || bytes.starts_with(kUtf16BeBom)) {
    const bool bigEndian = bytes.starts_with(kUtf16BeBom);
    t.encoding = bigEndian ? IniEncoding::Utf16Be : IniEncoding::Utf16Le;
    t.text = fromUtf16(bytes.substr(2), bigEndian);
    t.exact = encodeIniFile(t.encoding, t.text) == bytes;
  } else {
    t.encoding = readsAsUtf8(bytes) ? IniEncoding::Utf8 : IniEncoding::Cp932;
    t.text = bytes;
  }
  return t;
}

std::string encodeIniFile(IniEncoding encoding, std::string_view text) {
  switch (encoding) {
    case IniEncoding::Cp932:
    case IniEncoding::Utf8:
      return std::string(text);
    case IniEncoding::Utf8Bom:
      return std::string(kUtf8Bom) + std::string(text);
    case IniEncoding::Utf16Le:
      return std::string(kUtf16LeBom) + toUtf16(text, false);
    case IniEncoding::Utf16Be:
      return std::string(kUtf16BeBom) + toUtf16(text, true);
  }
  return std::string(text);
}

}  // namespace plat
