#include "platform/surface.h"

#include <algorithm>
#include <utility>

namespace plat {

Surface::Surface(int width, int height, Pixel background) : background_(background) {
  resize(width, height);
}

void Surface::resize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == width_ && height == height_) return;
  std::vector<Pixel> next(static_cast<std::size_t>(width) * height, background_);
  int keepW = std::min(width, width_);
  int keepH = std::min(height, height_);
  for (int y = 0; y < keepH; ++y) {
    std::copy_n(pixels_.begin() + static_cast<std::ptrdiff_t>(y) * width_, keepW,
                next.begin() + static_cast<std::ptrdiff_t>(y) * width);
  }
  pixels_.swap(next);
  width_ = width;
  height_ = height;
}

void Surface::fill(Pixel p) { std::fill(pixels_.begin(), pixels_.end(), p); }

void Surface::fillRect(int x, int y, int w, int h, Pixel p) {
  int x0 = std::max(0, x), y0 = std::max(0, y);
  int x1 = std::min(width_, x + w), y1 = std::min(height_, y + h);
  for (int yy = y0; yy < y1; ++yy) {
    std::fill_n(pixels_.begin() + static_cast<std::ptrdiff_t>(yy) * width_ + x0,
                std::max(0, x1 - x0), p);
  }
}

void Surface::swap(Surface& other) noexcept {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(background_, other.background_);
  pixels_.swap(other.pixels_);
}

void bitBlt(Surface& dst, int dx, int dy, int w, int h, const Surface& src, int sx, int sy) {
  // Clip the destination rectangle first; the source is handled per row below.
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  w = std::min(w, dst.width() - dx);
  h = std::min(h, dst.height() - dy);
  if (w <= 0 || h <= 0) return;

  // Columns of the block that the source image covers.
  int cx0 = std::clamp(-sx, 0, w);
  int cx1 = std::clamp(src.width() - sx, cx0, w);
  const Pixel bg = dst.background();
  for (int row = 0; row < h; ++row) {
    Pixel* out = &dst.at(dx, dy + row);
    int srow = sy + row;
    if (srow < 0 || srow >= src.height() || cx0 == cx1) {
      std::fill_n(out, w, bg);
      continue;
    }
    std::fill_n(out, cx0, bg);
    std::copy_n(src.data() + static_cast<std::ptrdiff_t>(srow) * src.width() + sx + cx0, cx1 - cx0,
                out + cx0);
    std::fill_n(out + cx1, w - cx1, bg);
  }
}

Surface scaledUp(const Surface& src, int factor) {
  if (factor <= 1 || src.empty()) return src;
  Surface out(src.width() * factor, src.height() * factor, src.background());
  for (int y = 0; y < src.height(); ++y) {
    Pixel* row = out.data() + static_cast<std::size_t>(y) * factor * out.width();
    const Pixel* in = src.data() + static_cast<std::size_t>(y) * src.width();
    for (int x = 0; x < src.width(); ++x) std::fill_n(row + x * factor, factor, in[x]);
    for (int k = 1; k < factor; ++k) std::copy_n(row, out.width(), row + k * out.width());
  }
  return out;
}

}  // namespace plat
