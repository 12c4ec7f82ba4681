#pragma once
// Pixel surfaces and the block copy between them. Portable: the same code draws on every
// backend; a backend only presents a finished surface on screen.

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// Colours as the program stores them: 0x00BBGGRR. A value with the top bit set names a
// system colour (0x8000000F is the button face).
using Color = std::uint32_t;
constexpr Color kButtonFace = 0x8000000F;
constexpr Color kWindowBackground = 0x80000005;

constexpr Color rgb(int r, int g, int b) {
  return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// Pixels are kept as 0x00RRGGBB words, which is the byte order of a 32-bit top-down DIB,
// so a backend can hand the buffer to the screen without converting it.
using Pixel = std::uint32_t;
constexpr Pixel pixelFromColor(Color c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

class Surface {
public:
  Surface() = default;
  Surface(int width, int height, Pixel background = 0);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }

  // What cleared areas and areas outside a copy's source show.
  Pixel background() const { return background_; }
  void setBackground(Pixel p) { background_ = p; }

  // Changes the size; what fits stays where it was, new area shows the background.
  void resize(int width, int height);
  void clear() { fill(background_); }
  void fill(Pixel p);
  void fillRect(int x, int y, int w, int h, Pixel p);

  Pixel at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
  Pixel& at(int x, int y) { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
  const Pixel* data() const { return pixels_.data(); }
  Pixel* data() { return pixels_.data(); }

  void swap(Surface& other) noexcept;

private:
  int width_ = 0;
  int height_ = 0;
  Pixel background_ = 0;
  std::vector<Pixel> pixels_;
};

// Copies a w × h block from src (sx, sy) to dst (dx, dy), like BitBlt with SRCCOPY.
// Destination pixels outside dst are dropped; destination pixels whose source lies outside
// src show dst's background, so a cell beyond the end of a skin image is drawn empty.
void bitBlt(Surface& dst, int dx, int dy, int w, int h, const Surface& src, int sx, int sy);

// `src` with every pixel made a factor × factor square (factor 1: a plain copy). The
// background comes along.
Surface scaledUp(const Surface& src, int factor);

// Decodes a GIF (first frame) or BMP file from its bytes. Transparent pixels are laid over
// `matte`. Returns false, leaving `out` untouched, when the bytes are no image it can read.
bool decodeImage(const std::string& bytes, Surface& out, Pixel matte = 0xFFFFFF);

}  // namespace plat
