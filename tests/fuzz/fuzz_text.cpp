// The line splitter, the number reader and CP932 decoding on arbitrary bytes.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "state/module1.h"
#include "platform/system.h"

namespace {

bool validUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = cp << 6 | (t & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    static const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += n;
  }
  return true;
}

std::size_t countOf(const std::string& s, char c) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), c)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // First byte picks the delimiter length, the rest is text and delimiter.
  std::size_t dlen = data[0] % 4;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string delim = rest.substr(0, std::min(dlen, rest.size()));
  std::string text = rest.substr(delim.size());

  std::vector<std::string> pieces = {"before"};
  std::int32_t n = lumatap::StrSplit(text, delim, pieces, (data[0] & 4) ? lumatap::Compare::Text
                                                                       : lumatap::Compare::Binary);
  if (text.empty()) {
    if (n != 0 || pieces.size() != 1) __builtin_trap();
  } else if (static_cast<std::size_t>(n) != pieces.size()) {
    __builtin_trap();
  }
  if (!delim.empty() && n > 0) {
    // Joining the pieces with the delimiter gives the text back.
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i) joined += delim;
      joined += pieces[i];
    }
    if ((data[0] & 4) == 0 && joined != text) __builtin_trap();
    if (joined.size() != text.size()) __builtin_trap();
    // No piece holds the delimiter (an exact match, in binary comparison).
    if ((data[0] & 4) == 0) {
      for (const std::string& p : pieces) {
        if (p.find(delim) != std::string::npos) __builtin_trap();
      }
    }
  }

  // The number reader: blanks anywhere do not count, and wholeNumber is the value rounded
  // down when that fits 16 bits, nothing otherwise.
  const double value = lumatap::readNumber(text);
  const std::size_t at = text.empty() ? 0 : data[0] % (text.size() + 1);
  const double spaced = lumatap::readNumber(text.substr(0, at) + " \t" + text.substr(at));
  if (!(spaced == value || (std::isnan(spaced) && std::isnan(value)))) __builtin_trap();
  const auto whole = lumatap::wholeNumber(text);
  const double down = std::floor(value);
  if (whole.has_value() != (down >= -32768.0 && down <= 32767.0)) __builtin_trap();
  if (whole && *whole != down) __builtin_trap();

  // Every 16-bit number the program writes (counts, sides, positions) reads back as itself,
  // and so do the 16-bit hexadecimal and octal literals of hand-edited files.
  if (size >= 3) {
    const auto v = static_cast<lumatap::int16>(data[1] | data[2] << 8);
    if (lumatap::wholeNumber(std::to_string(v)) != v) __builtin_trap();
    char hex[16], oct[16];
    std::snprintf(hex, sizeof hex, "&H%04X", static_cast<unsigned>(static_cast<std::uint16_t>(v)));
    std::snprintf(oct, sizeof oct, "&o%06o", static_cast<unsigned>(static_cast<std::uint16_t>(v)));
    if (lumatap::readNumber(hex) != v || lumatap::readNumber(oct) != v) __builtin_trap();
  }

  // Whatever the file holds, the text inside the program is valid UTF-8, and text that came
  // from a file goes back to the file and comes in again unchanged (invalid bytes became
  // '?' on the way in, which stays '?').
  std::string utf8 = plat::fromCp932(rest);
  if (!validUtf8(utf8)) __builtin_trap();
  std::string back = plat::toCp932(utf8);
  if (plat::fromCp932(back) != utf8) __builtin_trap();
  // Line ends and tabs are single bytes in both encodings, so they survive in place: the
  // reader splits lines and fields after decoding.
  if (countOf(utf8, '\t') != countOf(back, '\t') || countOf(utf8, '\r') != countOf(back, '\r') ||
      countOf(utf8, '\n') != countOf(back, '\n')) {
    __builtin_trap();
  }
  return 0;
}
