// GIF and BMP decoding for skins, on every platform alike.
//
// stb_image does the decoding. Two things it does not do the way Windows does are handled
// here first, on the raw bytes: it cannot read RLE4/RLE8 bitmaps, and it sizes a BMP's
// palette from the gap before the pixels (leaving missing entries undefined) where Windows
// uses biClrUsed. So every palette BMP is rewritten in memory as a plain BMP with a full
// palette (RLE expanded to 8 bits a pixel) before stb sees it. Everything read from the
// file is bounds-checked: a skin is outside data.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/surface.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 32767
#include "stb_image.h"

namespace plat {
namespace {

// A skin is 4080 × 96. Larger images are allowed, but not ones whose header alone would
// make the decoder reserve gigabytes.
constexpr long long kMaxSide = 32767;
constexpr long long kMaxPixels = 1LL << 24;

bool sizeAllowed(long long w, long long h) {
  return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

std::uint32_t le16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t le32(const std::string& b, std::size_t at) {
  return le16(b, at) | (le16(b, at + 2) << 16);
}
void put16(std::string& b, std::uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& b, std::uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;

struct BmpHeader {
  std::uint32_t headerSize = 0;
  long long width = 0;
  long long height = 0;  // negative: rows stored top-down
  int bpp = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t colorsUsed = 0;
  std::uint32_t pixelOffset = 0;
};

bool readBmpHeader(const std::string& b, BmpHeader& h) {
  if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return false;
  h.pixelOffset = le32(b, 10);
  h.headerSize = le32(b, 14);
  if (h.headerSize == 12) {  // OS/2 core header: 16-bit sizes, no compression
    h.width = le16(b, 18);
    h.height = le16(b, 20);
    h.bpp = static_cast<int>(le16(b, 24));
    return true;
  }
  if (h.headerSize < 40 || h.headerSize > 124 || b.size() < 14 + 40) return false;
  h.width = static_cast<std::int32_t>(le32(b, 18));
  h.height = static_cast<std::int32_t>(le32(b, 22));
  h.bpp = static_cast<int>(le16(b, 28));
  h.compression = le32(b, 30);
  h.colorsUsed = le32(b, 46);
  return true;
}

// Expands RLE8 or RLE4 data into one palette index per pixel, rows bottom-up as stored.
// Pixels the data never reaches (skipped by a delta or an early end of line) keep index 0;
// runs past the end of a row are cut off; data that ends early ends the picture.
void expandRle(const std::string& b, std::size_t at, bool rle4, long long width, long long height,
               std::vector<unsigned char>& idx) {
  idx.assign(static_cast<std::size_t>(width * height), 0);
  long long x = 0, y = 0;
  auto put = [&](unsigned char v) {
    if (x < width && y < height) idx[static_cast<std::size_t>(y * width + x)] = v;
    ++x;
  };
  const std::size_t end = b.size();
  while (at + 2 <= end && y < height) {
    unsigned count = static_cast<unsigned char>(b[at]);
    unsigned char value = static_cast<unsigned char>(b[at + 1]);
    at += 2;
    if (count > 0) {  // a run of one index, or of two alternating nibbles
      for (unsigned k = 0; k < count && x < width; ++k) {
        put(rle4 ? static_cast<unsigned char>((k & 1) ? value & 0x0F : value >> 4) : value);
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      if (at + 2 > end) return;
      x += static_cast<unsigned char>(b[at]);
      y += static_cast<unsigned char>(b[at + 1]);
      at += 2;
    } else {  // absolute: `value` literal indices, padded to a 16-bit boundary
      std::size_t bytes = rle4 ? (value + 1u) / 2 : value;
      if (at + bytes > end) return;
      for (unsigned k = 0; k < value; ++k) {
        unsigned char v = static_cast<unsigned char>(b[at + (rle4 ? k / 2 : k)]);
        if (rle4) v = (k & 1) ? v & 0x0F : v >> 4;
        if (x >= width) break;
        put(v);
      }
      at += bytes + (bytes & 1);
    }
  }
}

// Rewrites a palette BMP (1, 4 or 8 bits, plain or RLE) as a plain BMP with a complete
// palette, which stb reads the way Windows would. False for anything malformed.
bool normalisePaletteBmp(const std::string& b, const BmpHeader& h, std::string& out) {
  const bool core = h.headerSize == 12;
  const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  if (h.compression == kBiRle8 && h.bpp != 8) return false;
  if (h.compression == kBiRle4 && h.bpp != 4) return false;
  if (!rle && h.compression != kBiRgb) return false;
  if (rle && h.height < 0) return false;  // RLE bitmaps are bottom-up by definition

  const long long rows = h.height < 0 ? -h.height : h.height;
  const std::uint32_t fullPalette = 1u << h.bpp;
  const std::uint32_t entries =
      (core || h.colorsUsed == 0) ? fullPalette : std::min(h.colorsUsed, fullPalette);
  const std::size_t entrySize = core ? 3 : 4;
  const std::size_t paletteAt = 14 + h.headerSize;
  if (paletteAt + entries * entrySize > b.size() || h.pixelOffset > b.size()) return false;

  const int outBpp = rle ? 8 : h.bpp;
  const long long stride = ((h.width * outBpp + 31) / 32) * 4;
  const long long pixelBytes = stride * rows;
  std::vector<unsigned char> expanded;
  if (rle) {
    expandRle(b, h.pixelOffset, h.compression == kBiRle4, h.width, rows, expanded);
  } else if (h.pixelOffset + pixelBytes > static_cast<long long>(b.size())) {
    return false;  // truncated
  }

  const std::uint32_t dataAt = 14 + 40 + fullPalette * 4;
  out.clear();
  out.reserve(dataAt + static_cast<std::size_t>(pixelBytes));
  out += "BM";
  put32(out, dataAt + static_cast<std::uint32_t>(pixelBytes));
  put32(out, 0);
  put32(out, dataAt);
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(h.width));
  put32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(h.height)));
  put16(out, 1);
  put16(out, static_cast<std::uint32_t>(outBpp));
  put32(out, kBiRgb);
  put32(out, static_cast<std::uint32_t>(pixelBytes));
  put32(out, 2835);
  put32(out, 2835);
  put32(out, fullPalette);
  put32(out, 0);
  for (std::uint32_t i = 0; i < fullPalette; ++i) {
    if (i < entries) {
      out.append(b, paletteAt + i * entrySize, 3);  // blue, green, red
      out.push_back(0);
    } else {
      put32(out, 0);  // indices the file gives no colour show black
    }
  }
  if (!rle) {
    out.append(b, h.pixelOffset, static_cast<std::size_t>(pixelBytes));
    return true;
  }
  const std::size_t pad = static_cast<std::size_t>(stride - h.width);
  for (long long y = 0; y < rows; ++y) {
    out.append(reinterpret_cast<const char*>(&expanded[static_cast<std::size_t>(y * h.width)]),
               static_cast<std::size_t>(h.width));
    out.append(pad, '\0');
  }
  return true;
}

// Checks a BMP and brings it into a shape stb reads like Windows does. `use` points at the
// bytes to decode: the original ones, or `scratch`.
bool prepareBmp(const std::string& b, const std::string*& use, std::string& scratch) {
  BmpHeader h;
  if (!readBmpHeader(b, h)) return false;
  const long long rows = h.height < 0 ? -h.height : h.height;
  if (!sizeAllowed(h.width, rows)) return false;
  if (h.bpp == 1 || h.bpp == 4 || h.bpp == 8) {
    if (!normalisePaletteBmp(b, h, scratch)) return false;
    use = &scratch;
    return true;
  }
  if (h.bpp != 16 && h.bpp != 24 && h.bpp != 32) return false;
  if (h.compression != kBiRgb && h.compression != kBiBitfields) return false;
  const long long stride = ((h.width * h.bpp + 31) / 32) * 4;
  if (h.pixelOffset + stride * rows > static_cast<long long>(b.size())) return false;
  use = &b;
  return true;
}

struct StbImage {
  unsigned char* pixels = nullptr;
  ~StbImage() { stbi_image_free(pixels); }
};

}  // namespace

bool decodeImage(const std::string& bytes, Surface& out, Pixel matte) {
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  const bool gif = bytes.compare(0, 6, "GIF87a") == 0 || bytes.compare(0, 6, "GIF89a") == 0;
  const std::string* use = &bytes;
  std::string scratch;
  if (!gif && !prepareBmp(bytes, use, scratch)) return false;

  const auto* data = reinterpret_cast<const stbi_uc*>(use->data());
  const int length = static_cast<int>(use->size());
  int w = 0, h = 0, n = 0;
  // A GIF's size comes from its header, read before the decoder reserves anything; a BMP's
  // was checked above.
  if (gif && (!stbi_info_from_memory(data, length, &w, &h, &n) || !sizeAllowed(w, h))) return false;

  // GIF: RGBA, so a transparent index (and any area the first frame leaves uncovered) can
  // be laid over the matte. BMP: RGB only; BitBlt ignores a 32-bit BMP's fourth byte too.
  const int channels = gif ? 4 : 3;
  StbImage img;
  img.pixels = stbi_load_from_memory(data, length, &w, &h, &n, channels);
  if (!img.pixels || !sizeAllowed(w, h)) return false;

  Surface decoded(w, h, matte);
  Pixel* dst = decoded.data();
  const unsigned char* src = img.pixels;
  const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  for (std::size_t i = 0; i < count; ++i, src += channels) {
    dst[i] = (channels == 4 && src[3] < 128)
                 ? matte
                 : (Pixel{src[0]} << 16) | (Pixel{src[1]} << 8) | Pixel{src[2]};
  }
  out.swap(decoded);
  return true;
}

}  // namespace plat
