// Skin images: the GIF and BMP decoder on arbitrary bytes, LoadSkin on the same bytes as a
// skin file, and the block copies that draw key cells from whatever image came out.
//
// Checked beyond "no crash": LoadSkin takes exactly the image the decoder gives, or ends the
// program at start-up, or keeps the old picture later; a decoded image has a size the
// program allows; transparency only ever shows the matte; a bottom-up BMP and the same rows
// stored top-down decode to the same picture; every cell 0 to 84, released and pressed,
// copies onto a 48 × 48 surface as exactly the skin's pixels or the background where the
// skin ends; and the grid lights the skin's cells in the slots that hold the keys.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>

#include "display/form1.h"
#include "platform/surface.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using namespace lumatap;
using plat::Pixel;
using plat::Surface;

Form1* g_form = nullptr;
const Pixel kGridPixel = plat::pixelFromColor(kGridBackground);

bool sameImage(const Surface& a, const Surface& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         std::memcmp(a.data(), b.data(), sizeof(Pixel) * a.width() * a.height()) == 0;
}

std::uint32_t le32(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
         static_cast<unsigned char>(b[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

// The same uncompressed BMP with its rows stored top-down; empty when the file is not one.
std::string topDown(const std::string& b) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return {};
  const std::uint32_t offset = le32(b, 10), header = le32(b, 14);
  const auto width = static_cast<std::int32_t>(le32(b, 18));
  const auto height = static_cast<std::int32_t>(le32(b, 22));
  const int bpp = static_cast<unsigned char>(b[28]) | static_cast<unsigned char>(b[29]) << 8;
  const std::uint32_t compression = le32(b, 30);
  if (header < 40 || header > 124 || width <= 0 || width > 32767 || height <= 0 || height > 32767) return {};
  if (!(compression == 0 || (compression == 3 && (bpp == 16 || bpp == 32)))) return {};
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return {};
  // The palette (or the bit masks) must end before the pixels, or flipping the rows would
  // change the colours too.
  std::uint64_t tableEnd = 14ull + header;
  if (bpp <= 8) {
    const std::uint32_t used = le32(b, 46), full = 1u << bpp;
    tableEnd += 4ull * (used == 0 ? full : std::min(used, full));
  } else if (compression == 3 && header == 40) {
    tableEnd += 12;
  }
  if (tableEnd > offset) return {};
  const std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  if (offset > b.size() || stride * height > b.size() - offset) return {};
  std::string out = b;
  const std::uint32_t negative = static_cast<std::uint32_t>(-height);
  for (int i = 0; i < 4; ++i) out[22 + i] = static_cast<char>((negative >> (8 * i)) & 0xFF);
  for (std::int32_t y = 0; y < height; ++y) {
    std::memcpy(&out[offset + stride * y], &b[offset + stride * (height - 1 - y)], stride);
  }
  return out;
}

// Copies every cell, released and pressed, onto a 48 × 48 surface and compares each pixel
// with the skin's, or with the background where the cell lies outside the skin. The check
// itself carries no coverage feedback: 85 × 2 × 2304 compares would only slow the search.
__attribute__((no_sanitize("coverage"))) void checkCells(const Surface& skin) {
  const Pixel background = 0x00ABCDEF;
  Surface cell(CellSize, CellSize, background);
  for (int c = 0; c <= 84; ++c) {
    for (int row : {0, CellSize}) {
      // Anything the copy leaves untouched would show this.
      std::fill_n(cell.data(), CellSize * CellSize, Pixel{0x00FF00FF});
      plat::bitBlt(cell, 0, 0, CellSize, CellSize, skin, CellSize * c, row);
      const int firstX = CellSize * c;
      const int insideX = std::clamp(skin.width() - firstX, 0, CellSize);
      for (int y = 0; y < CellSize; ++y) {
        const Pixel* got = cell.data() + static_cast<std::size_t>(y) * CellSize;
        const int sy = row + y;
        const int inside = sy < skin.height() ? insideX : 0;
        if (inside > 0) {
          const Pixel* want = skin.data() + static_cast<std::size_t>(sy) * skin.width() + firstX;
          FUZZ_CHECK(std::memcmp(got, want, sizeof(Pixel) * inside) == 0);
        }
        for (int x = inside; x < CellSize; ++x) FUZZ_CHECK(got[x] == background);
      }
    }
  }
}

// Two decodings of the same bytes over different mattes: only a GIF's transparent pixels,
// which show the matte, may differ.
__attribute__((no_sanitize("coverage"))) void checkMatte(const Surface& a, const Surface& b, bool gif) {
  FUZZ_CHECK(b.width() == a.width() && b.height() == a.height());
  const std::size_t n = static_cast<std::size_t>(a.width()) * a.height();
  for (std::size_t i = 0; i < n; ++i) {
    FUZZ_CHECK(a.data()[i] == b.data()[i] || (gif && a.data()[i] == kGridPixel && b.data()[i] == 0x00123456));
  }
}

// A 4 × 3 grid of twelve keys whose cells come from the input, drawn released, then one key
// pressed: each slot shows its cell of the skin.
void checkGrid(const Surface& skin, std::size_t seed) {
  for (int s = 0; s < kSlotsPerProfile; ++s) {
    const int code = 65 + s;
    KeyDefs[code] = KeyDef{static_cast<int16>((seed * 7 + s * 31 + (s == 0 ? 84 : 0)) % 85), "k", true};
    ProfKeys[0][s] = static_cast<int16>(code);
  }
  ProfKeys[0][11] = 65;  // the same key in two slots lights both
  ProfTitles[0] = "fz";
  ProfKeyCounts[0] = kSlotsPerProfile;
  CurProfile = 0;
  CurCols = 4;
  CurRows = 3;
  LayoutGrid(*g_form, CurCols, CurRows);
  DrawAllKeys(*g_form);
  g_form->Form_KeyDown(65, 0);
  const Surface& grid = g_form->PicView.surface();
  FUZZ_CHECK(grid.width() == 4 * CellSize && grid.height() == 3 * CellSize);
  for (int s = 0; s < kSlotsPerProfile; ++s) {
    const int cellNo = KeyDefs[ProfKeys[0][s]].Cell;
    const int row = ProfKeys[0][s] == 65 ? CellSize : 0;
    for (int y = 0; y < CellSize; y += 7) {
      for (int x = 0; x < CellSize; x += 5) {
        const int sx = CellSize * cellNo + x, sy = row + y;
        const bool inside = sx < skin.width() && sy < skin.height();
        const Pixel want = inside ? skin.at(sx, sy) : kGridPixel;
        FUZZ_CHECK(grid.at(CellSize * (s % 4) + x, CellSize * (s / 4) + y) == want);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::initialise();
  g_form = new Form1();  // lives as long as the process, as the program's window does
  g_form->load();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzz::freshRun();

  // The bytes as the skin file. An odd size stands for the start-up load, an even one for
  // a skin chosen later. A skin that does not decode gives way to the default one, which
  // this folder lacks: the start then ends, while later the picture on screen stays.
  const bool startingUp = size % 2 == 1;
  const Surface previous(3, 2, 0x00070809);
  g_form->PicKeys = startingUp ? Surface() : previous;
  SkinName = "fz";
  fuzz::writeFile("skin/fz/keys.gif", bytes);
  bool ended = false;
  try {
    LoadSkin(*g_form);
  } catch (const plat::headless::Terminated&) {
    ended = true;
  }
  const bool loaded = !ended && plat::headless::shownBoxes().empty();
  if (!loaded) {
    const auto& boxes = plat::headless::shownBoxes();
    FUZZ_CHECK(boxes.size() == 2);
    FUZZ_CHECK(boxes[0].text.find("デフォルトのスキンを読み込みます") != std::string::npos);
    FUZZ_CHECK(boxes[1].text.find(kDefaultSkin) != std::string::npos);
    FUZZ_CHECK(ended == startingUp);
    if (!startingUp) FUZZ_CHECK(sameImage(g_form->PicKeys, previous));
  }
  const Surface& skin = g_form->PicKeys;
  if (loaded) {
    FUZZ_CHECK(SkinName == "fz");
    FUZZ_CHECK(skin.width() >= 1 && skin.height() >= 1);
    FUZZ_CHECK(skin.width() <= 32767 && skin.height() <= 32767);
    FUZZ_CHECK(static_cast<long long>(skin.width()) * skin.height() <= (1LL << 24));
  }

  // A decode costs about 0.2 s a million pixels under the sanitizers, so the decoder's own
  // checks are spent on pictures up to a bit over a skin's size; larger ones are still
  // loaded and drawn.
  if (!loaded || static_cast<long long>(skin.width()) * skin.height() <= (1LL << 19)) {
    Surface direct(2, 1, 0x00010203);
    const bool decoded = plat::decodeImage(bytes, direct, kGridPixel);
    FUZZ_CHECK(decoded == loaded);
    if (decoded) {
      // LoadSkin keeps exactly what the decoder gives.
      FUZZ_CHECK(sameImage(skin, direct));
      // The same bytes over another matte: only pixels that showed the matte may differ.
      Surface other;
      FUZZ_CHECK(plat::decodeImage(bytes, other, 0x00123456));
      checkMatte(direct, other, bytes.compare(0, 3, "GIF") == 0);
    } else {
      // A failed decode leaves the surface it was given alone.
      FUZZ_CHECK(direct.width() == 2 && direct.height() == 1 && direct.at(1, 0) == 0x00010203);
    }
    // Stored top-down, the same rows give the same picture.
    const std::string flipped = topDown(bytes);
    if (!flipped.empty()) {
      Surface fromFlipped;
      FUZZ_CHECK(plat::decodeImage(flipped, fromFlipped, kGridPixel) == decoded);
      if (decoded) FUZZ_CHECK(sameImage(fromFlipped, direct));
    }
  }

  if (loaded) {
    checkCells(skin);
    checkGrid(skin, size);
  }
  return 0;
}
