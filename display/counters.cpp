#include "display/counters.h"

#include <algorithm>

namespace lumatap {

void KeyCounters::press(int keyCode, long long at) {
  if (keyCode >= 0 && keyCode < kKeyDefCount) ++counts_[keyCode];
  forget(at);
  if (size_ == kKeptPresses) {  // a machine's burst: the oldest time makes room
    first_ = (first_ + 1) % kKeptPresses;
    --size_;
  }
  times_[(first_ + size_) % kKeptPresses] = at;
  ++size_;
  peak_ = std::max(peak_, size_);
}

bool KeyCounters::forget(long long now) {
  const int before = size_;
  while (size_ && times_[first_] <= now - kWindowMicros) {
    first_ = (first_ + 1) % kKeptPresses;
    --size_;
  }
  return size_ != before;
}

int KeyCounters::kpsAt(long long now) const {
  int n = size_;
  for (int i = 0; i < size_ && times_[(first_ + i) % kKeptPresses] <= now - kWindowMicros; ++i) --n;
  return n;
}

void KeyCounters::reset() { *this = KeyCounters(); }

namespace {

// Digits three pixels wide and five high, '#' inked. tests/e2e/test_counters.py draws the
// digits it expects from these very rows, so they stay one string per row.
constexpr const char* kDigitRows[10][5] = {
    {"###", "#.#", "#.#", "#.#", "###"},  // 0
    {".#.", "##.", ".#.", ".#.", "###"},  // 1
    {"###", "..#", "###", "#..", "###"},  // 2
    {"###", "..#", "###", "..#", "###"},  // 3
    {"#.#", "#.#", "###", "..#", "..#"},  // 4
    {"###", "#..", "###", "..#", "###"},  // 5
    {"###", "#..", "###", "#.#", "###"},  // 6
    {"###", "..#", "..#", "..#", "..#"},  // 7
    {"###", "#.#", "###", "#.#", "###"},  // 8
    {"###", "#.#", "###", "..#", "###"},  // 9
};
constexpr int kDigitWidth = 3, kDigitHeight = 5;
// A digit and its outline: one pixel of outline on every side, shared between neighbours.
constexpr int kAdvance = kDigitWidth + 1;
constexpr int kMaxDigits = 10;  // 2^32 - 1
constexpr int kBlockHeight = kDigitHeight + 2;
// Font pixels between the outline and the cell's edge.
constexpr int kMargin = 1;

enum Ink : unsigned char { kClear, kOutline, kInk };

plat::Pixel unlike(plat::Pixel p, plat::Pixel avoid) { return p == avoid ? p ^ 0x010101 : p; }

}  // namespace

void drawCount(plat::Surface& grid, int x, int y, int scale, std::uint32_t count, plat::Pixel avoid) {
  char digits[kMaxDigits];
  int n = 0;
  do {
    digits[kMaxDigits - 1 - n++] = static_cast<char>(count % 10);
    count /= 10;
  } while (count);
  const char* first = digits + kMaxDigits - n;

  const int width = kAdvance * n + 1;
  unsigned char mask[kBlockHeight][kAdvance * kMaxDigits + 1] = {};
  for (int d = 0; d < n; ++d)
    for (int r = 0; r < kDigitHeight; ++r)
      for (int c = 0; c < kDigitWidth; ++c) {
        if (kDigitRows[static_cast<int>(first[d])][r][c] != '#') continue;
        const int mx = d * kAdvance + 1 + c, my = 1 + r;
        for (int oy = my - 1; oy <= my + 1; ++oy)
          for (int ox = mx - 1; ox <= mx + 1; ++ox)
            if (mask[oy][ox] == kClear) mask[oy][ox] = kOutline;
        mask[my][mx] = kInk;
      }

  const plat::Pixel colour[] = {0, unlike(0x000000, avoid), unlike(0xFFFFFF, avoid)};
  const int left = x + (CellSize - kMargin - width) * scale;
  const int top = y + (CellSize - kMargin - kBlockHeight) * scale;
  for (int r = 0; r < kBlockHeight; ++r)
    for (int c = 0; c < width;) {  // one rectangle per run of one colour
      const unsigned char ink = mask[r][c];
      int end = c + 1;
      while (end < width && mask[r][end] == ink) ++end;
      if (ink != kClear)
        grid.fillRect(left + c * scale, top + r * scale, (end - c) * scale, scale, colour[ink]);
      c = end;
    }
}

}  // namespace lumatap
