// The line splitter, the number reader and CP932 decoding on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/module1.h"
#include "platform/system.h"

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
  }

  (void)lumatap::ReadNumber(text);
  auto whole = lumatap::WholeNumber(text);
  if (whole && (*whole < -32768 || *whole > 32767)) __builtin_trap();

  std::string utf8 = plat::fromCp932(rest);
  std::string back = plat::toCp932(utf8);
  // Decoding valid CP932 and encoding it again is lossless; invalid bytes become '?'.
  (void)back;
  return 0;
}
