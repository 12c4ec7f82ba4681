#pragma once
// Presses per key and keys per second, taken from the key events' own times.

#include <cstdint>

#include "platform/surface.h"
#include "state/module1.h"

namespace lumatap {

class KeyCounters {
public:
  // KPS looks back this far; a press exactly this old has left.
  static constexpr long long kWindowMicros = 1'000'000;
  // Press times kept for KPS: far beyond the 20 to 30 a second a fast player reaches. A
  // burst above it (only a machine sends one) drops the oldest times, so KPS and its peak
  // read at most this many and fall a little early; the counts per key stay exact.
  static constexpr int kKeptPresses = 1024;

  // One press of `keyCode` at `at` (plat::clockMicros()); times only go forward.
  void press(int keyCode, long long at);
  // Lets go of the presses that are a whole window old at `now`; true when KPS fell.
  bool forget(long long now);
  // When the oldest press kept leaves the window; -1 with none kept.
  long long nextLeaving() const { return size_ ? times_[first_] + kWindowMicros : -1; }

  std::uint32_t count(int keyCode) const {
    return keyCode >= 0 && keyCode < kKeyDefCount ? counts_[keyCode] : 0;
  }
  // Presses within the window as of the last press or forget.
  int kps() const { return size_; }
  // KPS at `now` without letting go of anything.
  int kpsAt(long long now) const;
  int peak() const { return peak_; }
  void reset();

private:
  std::uint32_t counts_[kKeyDefCount] = {};
  long long times_[kKeptPresses] = {};  // a ring, oldest at first_
  int first_ = 0;
  int size_ = 0;
  int peak_ = 0;
};

// Draws `count` in small digits into the bottom-right corner of the cell whose top-left is
// (x, y) on `grid`, every font pixel a `scale` × `scale` square: white, outlined in black
// so it reads on light and dark key caps alike. Neither colour is ever `avoid` (a
// see-through background would cut holes in the digits).
void drawCount(plat::Surface& grid, int x, int y, int scale, std::uint32_t count, plat::Pixel avoid);

}  // namespace lumatap
