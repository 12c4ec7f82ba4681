#pragma once
// What a read of lumatap.ini should give, worked out from the file format alone, for the
// INI fuzz targets. Everything here is on the file's bytes (code page 932).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/ini.h"

namespace fuzz::ini {

// Input of the INI targets: section NUL key NUL value NUL file bytes. An input with fewer
// than three NULs is all file, probed with one of the program's own keys.
struct Input {
  std::string section, key, value;
  std::string file;
};

inline Input split(const std::uint8_t* data, std::size_t size) {
  std::string all(reinterpret_cast<const char*>(data), size);
  Input in;
  std::size_t a = all.find('\0');
  std::size_t b = a == std::string::npos ? a : all.find('\0', a + 1);
  std::size_t c = b == std::string::npos ? b : all.find('\0', b + 1);
  if (c == std::string::npos) {
    static const char* const keys[][2] = {
        {"window", "X"}, {"window", "Y"}, {"window", "frame"}, {"style", "skin"}, {"key", "profile"}};
    in.section = keys[size % 5][0];
    in.key = keys[size % 5][1];
    in.value = "7";
    in.file = all;
    return in;
  }
  in.section = all.substr(0, a);
  in.key = all.substr(a + 1, b - a - 1);
  in.value = all.substr(b + 1, c - b - 1);
  in.file = all.substr(c + 1);
  return in;
}

inline bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == 0x1A;
}
inline bool isLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// Length of the character at i: two bytes for a lead byte with a byte after it.
inline std::size_t charLength(std::string_view s, std::size_t i) {
  return isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

inline std::string cutAtNul(std::string_view s) { return std::string(s.substr(0, s.find('\0'))); }
inline std::string trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return std::string(s);
}

// What a read gives back after `value` was written: the writer drops leading blanks and
// turns line breaks into blanks; the reader drops the blanks around the value, one pair of
// quotes, and keeps 254 bytes without splitting a double-byte character.
inline std::string expectedReadBack(std::string_view value) {
  std::string v = cutAtNul(value);
  for (char& ch : v) {
    if (ch == '\r' || ch == '\n') ch = ' ';
  }
  v = trimmed(v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  std::size_t cut = 0;
  while (cut < v.size() && cut + charLength(v, cut) <= plat::kIniValueLimit) cut += charLength(v, cut);
  return v.substr(0, cut);
}

// A section or key name that a write can put in the file so that a read finds it again.
inline bool usableName(std::string_view name, bool isKey) {
  std::string n = trimmed(cutAtNul(name));
  if (n.empty()) return false;
  for (char ch : n) {
    if (ch == '\r' || ch == '\n' || (isKey && ch == '=')) return false;
  }
  // A name ending in the first byte of a character would take the ']' or '=' after it as
  // its second byte.
  std::size_t i = 0;
  while (i + charLength(n, i) < n.size()) i += charLength(n, i);
  return !(isLead(static_cast<unsigned char>(n[i])) && charLength(n, i) == 1);
}

// A key line that starts with '[' and holds a ']' that is not the second byte of a character
// reads back as a section header.
inline bool looksLikeHeader(std::string_view key, std::string_view value) {
  std::string k = trimmed(cutAtNul(key));
  if (k.empty() || k.front() != '[') return false;
  std::string line = k + "=" + cutAtNul(value);
  for (std::size_t i = 1; i < line.size(); i += charLength(line, i)) {
    if (line[i] == ']') return true;
  }
  return false;
}

inline bool writeAllowed(const Input& in) {
  return usableName(in.section, false) && usableName(in.key, true) && !looksLikeHeader(in.key, in.value);
}

// The part of `before` that `after` no longer holds, between their common start and end.
inline std::string removedPart(const std::string& before, const std::string& after) {
  std::size_t head = 0, tail = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  return before.substr(head, before.size() - head - tail);
}

inline std::string swapAsciiCase(std::string s) {
  for (char& ch : s) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    else if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return s;
}

}  // namespace fuzz::ini
