// Skins: which file is loaded, what happens when none can be, and how GIF and BMP decode.
#include <array>
#include <climits>
#include <cstdint>

#include "tests/unit/display_fixture.h"

namespace lumatap {
namespace {

namespace hl = plat::headless;
using Rgb = std::uint32_t;  // 0xRRGGBB, as plat::Pixel
using Bytes = std::string;

void le16(Bytes& b, unsigned v) { b += static_cast<char>(v & 0xFF), b += static_cast<char>((v >> 8) & 0xFF); }
void le32(Bytes& b, std::uint32_t v) { le16(b, v & 0xFFFF), le16(b, v >> 16); }

// ---- GIF writer: every index a literal code, the table cleared before codes grow -------
struct GifImage {
  int width, height;
  std::vector<int> indices;  // row by row, top first
  std::vector<Rgb> localPalette = {};
  bool interlaced = false;
  int transparent = -1;
};

Bytes lzw(const std::vector<int>& indices, int minCodeSize) {
  const int clear = 1 << minCodeSize, codeBits = minCodeSize + 1;
  Bytes packed;
  std::uint32_t acc = 0;
  int bits = 0;
  auto emit = [&](int code) {
    acc |= static_cast<std::uint32_t>(code) << bits;
    for (bits += codeBits; bits >= 8; bits -= 8, acc >>= 8) packed += static_cast<char>(acc & 0xFF);
  };
  for (std::size_t i = 0; i < indices.size(); ++i) {
    if (i % static_cast<std::size_t>(clear - 2) == 0) emit(clear);
    emit(indices[i]);
  }
  emit(clear + 1);
  if (bits > 0) packed += static_cast<char>(acc & 0xFF);
  Bytes blocks;
  for (std::size_t at = 0; at < packed.size(); at += 255) {
    Bytes part = packed.substr(at, 255);
    blocks += static_cast<char>(part.size());
    blocks += part;
  }
  return blocks + '\0';
}

void palette(Bytes& b, std::vector<Rgb> colors) {
  colors.resize(16, 0);
  for (Rgb c : colors) b += static_cast<char>(c >> 16), b += static_cast<char>(c >> 8), b += static_cast<char>(c);
}

Bytes gif(int screenW, int screenH, const std::vector<Rgb>& global, const std::vector<GifImage>& frames) {
  Bytes b = "GIF89a";
  le16(b, static_cast<unsigned>(screenW));
  le16(b, static_cast<unsigned>(screenH));
  b += static_cast<char>(0xF3), b += '\0', b += '\0';  // 16-entry global table
  palette(b, global);
  for (const GifImage& f : frames) {
    if (f.transparent >= 0) b += Bytes("\x21\xF9\x04\x01\0\0", 6) + static_cast<char>(f.transparent) + '\0';
    b += ',';
    le32(b, 0);
    le16(b, static_cast<unsigned>(f.width));
    le16(b, static_cast<unsigned>(f.height));
    b += static_cast<char>((f.localPalette.empty() ? 0 : 0x83) | (f.interlaced ? 0x40 : 0));
    if (!f.localPalette.empty()) palette(b, f.localPalette);
    std::vector<int> order;  // rows in the order they are stored
    if (f.interlaced) {
      for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < f.height; y += step) order.push_back(y);
    } else {
      for (int y = 0; y < f.height; ++y) order.push_back(y);
    }
    std::vector<int> stored;
    for (int y : order)
      stored.insert(stored.end(), f.indices.begin() + y * f.width, f.indices.begin() + (y + 1) * f.width);
    b += '\4';
    b += lzw(stored, 4);
  }
  return b + ';';
}

// ---- BMP writer: rows given top first, stored bottom-up unless topDown -----------------
Bytes bmp(int width, int height, int bpp, std::uint32_t compression, const std::vector<Rgb>& pal,
          const Bytes& pixels, std::uint32_t colorsUsed = 0) {
  const std::uint32_t offset = 54 + static_cast<std::uint32_t>(pal.size()) * 4;
  Bytes b = "BM";
  le32(b, offset + static_cast<std::uint32_t>(pixels.size()));
  le32(b, 0);
  le32(b, offset);
  le32(b, 40);
  le32(b, static_cast<std::uint32_t>(width));
  le32(b, static_cast<std::uint32_t>(height));
  le16(b, 1);
  le16(b, static_cast<unsigned>(bpp));
  le32(b, compression);
  le32(b, static_cast<std::uint32_t>(pixels.size()));
  le32(b, 2835), le32(b, 2835), le32(b, colorsUsed), le32(b, 0);
  for (Rgb c : pal) le32(b, c);  // blue, green, red, 0 in little-endian order
  return b + pixels;
}

Bytes packRows(const std::vector<std::vector<std::uint32_t>>& rowsTopFirst, int bpp, bool topDown) {
  Bytes out;
  const int n = static_cast<int>(rowsTopFirst.size());
  for (int r = 0; r < n; ++r) {
    const auto& row = rowsTopFirst[static_cast<std::size_t>(topDown ? r : n - 1 - r)];
    Bytes line;
    std::uint32_t acc = 0;
    int bits = 0;
    for (std::uint32_t v : row) {
      if (bpp >= 24) {
        for (int k = 0; k < bpp / 8; ++k) line += static_cast<char>(k < 3 ? (v >> (8 * k)) & 0xFF : 0);
        continue;
      }
      acc = (acc << bpp) | v;
      if ((bits += bpp) == 8) line += static_cast<char>(acc), acc = 0, bits = 0;
    }
    if (bits) line += static_cast<char>(acc << (8 - bits));
    while (line.size() % 4) line += '\0';
    out += line;
  }
  return out;
}

std::vector<Rgb> pixelsOf(const plat::Surface& s) { return {s.data(), s.data() + s.width() * s.height()}; }

constexpr Rgb kMatte = 0x404040;
const std::vector<Rgb> kPal = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0x808080};

TEST(DecodeImage, GifFirstFrameWithItsPalettesInterlacingAndTransparency) {
  // 3 × 9 indices 0..7 in a pattern whose rows all differ, so interlacing errors show.
  std::vector<int> idx;
  for (int i = 0; i < 27; ++i) idx.push_back((i * 5 + i / 3) % 8);
  std::vector<Rgb> plain, local, transparent;
  const std::vector<Rgb> other = {0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777, 0x888888};
  for (int i : idx) {
    plain.push_back(kPal[static_cast<std::size_t>(i)]);
    local.push_back(other[static_cast<std::size_t>(i)]);
    transparent.push_back(i == 2 ? kMatte : kPal[static_cast<std::size_t>(i)]);
  }
  struct Case {
    const char* name;
    Bytes file;
    std::vector<Rgb> want;
  } cases[] = {
      {"plain", gif(3, 9, kPal, {{3, 9, idx}}), plain},
      {"interlaced", gif(3, 9, kPal, {{3, 9, idx, {}, true}}), plain},
      {"local palette", gif(3, 9, kPal, {{3, 9, idx, other}}), local},
      {"transparent index over the matte", gif(3, 9, kPal, {{3, 9, idx, {}, false, 2}}), transparent},
      {"second frame ignored", gif(3, 9, kPal, {{3, 9, idx}, {3, 9, std::vector<int>(27, 1)}}), plain},
  };
  for (const Case& c : cases) {
    plat::Surface s;
    ASSERT_TRUE(plat::decodeImage(c.file, s, kMatte)) << c.name;
    EXPECT_EQ(s.width(), 3) << c.name;
    EXPECT_EQ(pixelsOf(s), c.want) << c.name;
  }
}

TEST(DecodeImage, BmpInEveryDepthAndRowOrder) {
  const std::vector<std::vector<std::uint32_t>> idx = {{1, 2, 3, 4, 5}, {6, 7, 0, 1, 2}};
  const std::vector<std::vector<std::uint32_t>> bits = {{1, 0, 1, 1, 0}, {0, 0, 1, 0, 1}};
  std::vector<Rgb> fromIdx, fromBits, direct;
  std::vector<std::vector<std::uint32_t>> rgbRows;
  for (const auto& row : idx) {
    rgbRows.emplace_back();
    for (auto i : row) fromIdx.push_back(kPal[i]), direct.push_back(0x010203 * i + 0x402000), rgbRows.back().push_back(direct.back());
  }
  for (const auto& row : bits)
    for (auto i : row) fromBits.push_back(kPal[i]);
  struct Case {
    const char* name;
    Bytes file;
    const std::vector<Rgb>& want;
  } cases[] = {
      {"1 bit", bmp(5, 2, 1, 0, {kPal[0], kPal[1]}, packRows(bits, 1, false)), fromBits},
      {"4 bits", bmp(5, 2, 4, 0, kPal, packRows(idx, 4, false), 8), fromIdx},
      {"8 bits", bmp(5, 2, 8, 0, kPal, packRows(idx, 8, false), 8), fromIdx},
      {"8 bits top-down", bmp(5, -2, 8, 0, kPal, packRows(idx, 8, true), 8), fromIdx},
      {"24 bits", bmp(5, 2, 24, 0, {}, packRows(rgbRows, 24, false)), direct},
      {"24 bits top-down", bmp(5, -2, 24, 0, {}, packRows(rgbRows, 24, true)), direct},
      {"32 bits, fourth byte ignored", bmp(5, 2, 32, 0, {}, packRows(rgbRows, 32, false)), direct},
  };
  for (const Case& c : cases) {
    plat::Surface s;
    ASSERT_TRUE(plat::decodeImage(c.file, s, kMatte)) << c.name;
    EXPECT_EQ(s.width(), 5) << c.name;
    EXPECT_EQ(pixelsOf(s), c.want) << c.name;
  }
}

TEST(DecodeImage, RunLengthBmpsExpandLikeWindowsDoes) {
  auto P = [](std::initializer_list<int> i) {
    std::vector<Rgb> v;
    for (int k : i) v.push_back(kPal[static_cast<std::size_t>(k)]);
    return v;
  };
  struct Case {
    const char* name;
    int bpp, width, height;
    Bytes data;
    std::vector<Rgb> want;  // top row first
  } cases[] = {
      {"RLE8 runs, absolute, end of line, delta", 8, 5, 3,
       Bytes("\x02\x01\x00\x03\x02\x03\x01\x00\x00\x00\x05\x02\x00\x00\x00\x02\x02\x00\x02\x03\x00\x01", 22),
       P({0, 0, 3, 3, 0, 2, 2, 2, 2, 2, 1, 1, 2, 3, 1})},
      {"RLE4 alternating runs and an odd absolute run", 4, 5, 2,
       Bytes("\x05\x12\x00\x00\x00\x05\x34\x56\x70\x00\x00\x01", 12), P({3, 4, 5, 6, 7, 1, 2, 1, 2, 1})},
      {"RLE8 runs past the row end and a delta off the picture are cut off", 8, 2, 2,
       Bytes("\xFF\x01\x00\x02\xFF\xFF\x03\x05", 8), P({0, 0, 1, 1})},
      {"RLE8 ending early leaves the rest at index 0", 8, 3, 2, Bytes("\x02\x04\x00\x09\x01", 5),
       P({0, 0, 0, 4, 4, 0})},
  };
  for (const Case& c : cases) {
    plat::Surface s;
    ASSERT_TRUE(plat::decodeImage(bmp(c.width, c.height, c.bpp, c.bpp == 8 ? 1 : 2, kPal, c.data, 8), s, kMatte))
        << c.name;
    EXPECT_EQ(pixelsOf(s), c.want) << c.name;
  }
}

TEST(DecodeImage, DamagedOrForeignFilesAreRefusedAndLeaveThePictureAlone) {
  const Bytes good24 = bmp(2, 2, 24, 0, {}, Bytes(16, '\x7F'));
  Bytes hugeGif = gif(1, 1, kPal, {{1, 1, {1}}});
  hugeGif[6] = hugeGif[7] = hugeGif[8] = hugeGif[9] = '\xFF';  // a 65535 × 65535 screen
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"empty", ""},
      {"PNG", "\x89PNG\r\n\x1A\n"},
      {"GIF header only", "GIF89a"},
      {"BMP header only", "BM"},
      {"truncated pixels", good24.substr(0, good24.size() - 1)},
      {"no width", bmp(0, 2, 24, 0, {}, Bytes(16, 0))},
      {"height INT_MIN", bmp(2, INT_MIN, 24, 0, {}, Bytes(16, 0))},
      {"30000 × 30000 with no pixels", bmp(30000, 30000, 8, 0, kPal, "")},
      {"palette cut short", bmp(2, 2, 8, 0, {}, "", 256).substr(0, 60)},
      {"RLE8 at 4 bits", bmp(2, 2, 4, 1, kPal, Bytes("\x00\x01", 2))},
      {"RLE stored top-down", bmp(2, -2, 8, 1, kPal, Bytes("\x00\x01", 2))},
      {"JPEG inside a BMP", bmp(2, 2, 24, 4, {}, Bytes(16, 0))},
      {"GIF larger than any skin", hugeGif},
      {"GIF cut before its picture", gif(3, 9, kPal, {{3, 9, std::vector<int>(27, 1)}}).substr(0, 60)},
  };
  for (const Case& c : cases) {
    plat::Surface s(1, 1);
    s.at(0, 0) = 0x123456;
    EXPECT_FALSE(plat::decodeImage(c.file, s, kMatte)) << c.name;
    EXPECT_EQ(s.width(), 1) << c.name;
    EXPECT_EQ(s.at(0, 0), 0x123456u) << c.name;
  }
}

std::uint64_t fnv1a(const plat::Surface& s) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (Rgb p : pixelsOf(s))
    for (int shift : {16, 8, 0}) h = (h ^ ((p >> shift) & 0xFF)) * 0x100000001b3ull;
  return h;
}

TEST(ShippedSkins, DecodeToTheSamePixelsAsAnIndependentDecoder) {
  // Reference values from Pillow's decoding of the same files.
  struct Case {
    const char* folder;
    std::uint64_t hash;
    std::vector<std::array<unsigned, 3>> samples;  // x, y, colour
  } cases[] = {
      {"default", 0xd1a9a13ba090d4a7ull,
       {{0, 0, 0xEEF0F3}, {72, 30, 0xE9EBEF}, {72, 78, 0xFFB039}, {2712, 60, 0xFFC555}, {3668, 12, 0x242830}}},
      {"WASD黒ルコ", 0x8efee901927a1ab3ull,
       {{0, 0, 0x000000}, {72, 30, 0x18191E}, {72, 78, 0x2AE1F5}, {4079, 95, 0x001315}, {3668, 12, 0xE8EAF0}}},
  };
  for (const Case& c : cases) {
    std::ifstream in(std::string(LUMATAP_SOURCE_DIR) + "/assets/skin/" + c.folder + "/keys.gif", std::ios::binary);
    Bytes bytes(std::istreambuf_iterator<char>(in), {});
    plat::Surface s;
    ASSERT_TRUE(plat::decodeImage(bytes, s, kMatte)) << c.folder;
    EXPECT_EQ(s.width(), 4080) << c.folder;
    EXPECT_EQ(s.height(), 96) << c.folder;
    for (const auto& [x, y, colour] : c.samples) EXPECT_EQ(s.at(int(x), int(y)), colour) << c.folder << " " << x << "," << y;
    EXPECT_EQ(fnv1a(s), c.hash) << c.folder;
  }
}

// ---- LoadSkin ---------------------------------------------------------------------------

class LoadSkinTest : public testing::DisplayTest {
protected:
  void SetUp() override {
    DisplayTest::SetUp();
    form->PicKeys = plat::Surface();  // as at start-up
  }
  // A one-pixel image of one colour, so the loaded file can be told apart.
  void writeSkin(const std::string& file, Rgb colour) {
    if (file.ends_with(".gif")) {
      writeBytes(file, gif(1, 1, {colour}, {{1, 1, {0}}}));
    } else {
      writeBytes(file, bmp(1, 1, 24, 0, {}, packRows({{colour}}, 24, false)));
    }
  }
  Rgb loadedColour() const { return form->PicKeys.empty() ? 0xDEAD : form->PicKeys.at(0, 0); }
};

const char* const kMissingText = "スキンが壊れているか存在しません。\r\nデフォルトのスキンを読み込みます。";

TEST_F(LoadSkinTest, TheGifWinsThenTheBmpThenTheDefaultSkinWithItsMessage) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, Rgb>> files;  // a colour of 0 makes a folder
    Rgb loaded;
    bool message;
  } cases[] = {
      {"both", {{"keys.gif", 0x0000AA}, {"keys.bmp", 0x00AA00}}, 0x0000AA, false},
      {"BMP only", {{"keys.bmp", 0x00AA00}}, 0x00AA00, false},
      {"folder named keys.gif", {{"keys.gif", 0}, {"keys.bmp", 0x00AA00}}, 0x00AA00, false},
      {"folders only", {{"keys.gif", 0}, {"keys.bmp", 0}}, 0xAA0000, true},
      {"no skin folder", {}, 0xAA0000, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    hl::reset();
    form->PicKeys = plat::Surface();
    writeSkin("skin/default/keys.gif", 0xAA0000);
    SkinName = "mine" + std::to_string(++n);
    for (const auto& [file, colour] : c.files) {
      std::string where = "skin/" + SkinName + "/" + file;
      if (colour) {
        writeSkin(where, colour);
      } else {
        std::filesystem::create_directories(path(where));
      }
    }
    const std::string name = SkinName;
    LoadSkin(*form);
    EXPECT_EQ(loadedColour(), c.loaded) << c.name;
    EXPECT_EQ(SkinName, name) << c.name;  // the fallback keeps the name
    ASSERT_EQ(hl::shownBoxes().size(), c.message ? 1u : 0u) << c.name;
    if (c.message) {
      const hl::ShownBox& box = hl::shownBoxes()[0];
      EXPECT_EQ(box.text, kMissingText);
      EXPECT_EQ(box.title, "Lumatap");
      EXPECT_EQ(box.buttons, plat::MsgButtons::Ok);
      EXPECT_EQ(box.icon, plat::MsgIcon::None);
    }
  }
}

TEST_F(LoadSkinTest, ASkinThatCannotBeDecodedGivesWayToTheDefaultSkinAndKeepsItsName) {
  writeSkin("skin/default/keys.gif", 0xAA0000);
  writeSkin("skin/good/keys.gif", 0x0000AA);
  writeBytes("skin/broken/keys.gif", "GIF89a but nothing more");
  writeSkin("skin/broken/keys.bmp", 0x00AA00);  // the damaged GIF still wins over it
  writeBytes("skin/brokenbmp/keys.bmp", "BM broken");
  struct Case {
    const char* what;
    bool startingUp;
  } cases[] = {{"at start-up", true}, {"chosen in the options dialog", false}};
  for (const Case& c : cases) {
    for (const char* name : {"broken", "brokenbmp"}) {
      hl::reset();
      form->PicKeys = plat::Surface();
      if (!c.startingUp) {
        SkinName = "good";
        LoadSkin(*form);
      }
      SkinName = name;
      EXPECT_NO_THROW(LoadSkin(*form)) << c.what << " " << name;
      EXPECT_EQ(loadedColour(), 0xAA0000u) << c.what << " " << name;
      EXPECT_EQ(SkinName, name) << c.what;
      ASSERT_EQ(hl::shownBoxes().size(), 1u) << c.what << " " << name;
      EXPECT_EQ(hl::shownBoxes()[0].text, kMissingText);
      EXPECT_EQ(hl::shownBoxes()[0].icon, plat::MsgIcon::None);
    }
  }
}

TEST_F(LoadSkinTest, NoReadableDefaultSkinAtStartUpEndsTheProgramAfterSayingWhich) {
  struct Case {
    const char* name;
    const char* skin;
    bool defaultDamaged;
    std::size_t boxes;
    const char* file;
    const char* says;
  } cases[] = {
      {"fallback missing too", "gone", false, 2, "skin\\default\\keys.gif", "見つかりません"},
      {"skin and fallback cannot be decoded", "broken", true, 2, "skin\\default\\keys.gif", "読み込めません"},
      {"the default skin itself cannot be decoded", "default", true, 1, "skin\\default\\keys.gif",
       "読み込めません"},
      {"skin damaged, fallback missing", "broken", false, 2, "skin\\default\\keys.gif", "見つかりません"},
  };
  writeBytes("skin/broken/keys.gif", "GIF89a but nothing more");
  for (const Case& c : cases) {
    hl::reset();
    std::filesystem::remove_all(path("skin/default"));
    if (c.defaultDamaged) writeBytes("skin/default/keys.gif", "GIF87a");
    SkinName = c.skin;
    EXPECT_THROW(LoadSkin(*form), hl::Terminated) << c.name;
    ASSERT_EQ(hl::shownBoxes().size(), c.boxes) << c.name;
    if (c.boxes == 2) {
      EXPECT_EQ(hl::shownBoxes()[0].text, kMissingText) << c.name;
    }
    const hl::ShownBox& box = hl::shownBoxes().back();
    EXPECT_NE(box.text.find(c.file), std::string::npos) << box.text;
    EXPECT_NE(box.text.find(c.says), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("Lumatapを終了します。"), std::string::npos) << box.text;
    EXPECT_EQ(box.icon, plat::MsgIcon::Critical);
    EXPECT_TRUE(form->PicKeys.empty());
  }
}

TEST_F(LoadSkinTest, ABrokenSkinChosenLaterWithABrokenDefaultKeepsThePictureAndTheName) {
  writeSkin("skin/good/keys.gif", 0x0000AA);
  writeBytes("skin/broken/keys.bmp", "BM broken");
  writeBytes("skin/default/keys.gif", "GIF89a");
  SkinName = "good";
  LoadSkin(*form);
  SkinName = "broken";  // as the options dialog's OK does before reloading
  EXPECT_NO_THROW(LoadSkin(*form));
  EXPECT_EQ(loadedColour(), 0x0000AAu);
  EXPECT_EQ(SkinName, "good");
  ASSERT_EQ(hl::shownBoxes().size(), 2u);
  EXPECT_EQ(hl::shownBoxes()[0].text, kMissingText);
  EXPECT_NE(hl::shownBoxes()[1].text.find("今のスキンのまま続けます。"), std::string::npos);
}

TEST_F(LoadSkinTest, ASkinNameThatLeavesTheSkinFolderIsAMissingSkin) {
  // A picture outside "skin", beside the program folder and inside it, that no name may
  // reach.
  writeSkin("../outside/keys.gif", 0x00BB00);
  writeSkin("outside/keys.gif", 0x00CC00);
  writeSkin("keys.gif", 0x00DD00);
  writeSkin("skin/keys.gif", 0x00EE00);
  writeSkin("skin/default/keys.gif", 0xAA0000);
  const char* const names[] = {"..\\..\\outside", "../../outside", "default\\..\\..\\..\\outside",
                               "..\\outside", "default/../../outside", "..", ".", "...",
                               "C:\\outside", "\\\\server\\share", "default:stream"};
  for (const char* name : names) {
    hl::reset();
    form->PicKeys = plat::Surface();
    SkinName = name;
    LoadSkin(*form);
    EXPECT_EQ(loadedColour(), 0xAA0000u) << name;
    EXPECT_EQ(SkinName, name) << "the fallback keeps the name, as for any missing skin";
    ASSERT_EQ(hl::shownBoxes().size(), 1u) << name;
    EXPECT_EQ(hl::shownBoxes()[0].text, kMissingText) << name;
  }
  std::filesystem::remove_all(path("../outside"));
}

TEST_F(LoadSkinTest, OrdinarySkinNamesAreFolderNames) {
  const struct {
    const char* name;
    bool folder;
  } cases[] = {{"default", true}, {"WASD黒ルコ", true}, {"my skin", true}, {"a..b", true},
               {"", false},       {"..", false},        {"a\\b", false},  {"a/b", false},
               {"c:", false}};
  for (const auto& c : cases) EXPECT_EQ(isSkinFolderName(c.name), c.folder) << c.name;
}

TEST_F(LoadSkinTest, TheChosenBackgroundShowsThroughTheSkinAndInEmptyCells) {
  // A 2 × 1 skin: index 1 opaque red, index 0 transparent.
  writeBytes("skin/clear/keys.gif", gif(2, 1, {0x000000, 0xFF0000}, {{2, 1, {0, 1}, {}, false, 0}}));
  SkinName = "clear";
  form->gridBackground = plat::rgb(0x00, 0xFF, 0x00);  // a chroma green
  LoadSkin(*form);
  ASSERT_EQ(form->PicKeys.width(), 2);
  EXPECT_EQ(form->PicKeys.at(0, 0), 0x00FF00u) << "transparent pixel";
  EXPECT_EQ(form->PicKeys.at(1, 0), 0xFF0000u);
  // Five keys on a 3 × 2 grid: the sixth cell is empty.
  form->PicKeys = testing::uniqueSkin();
  useProfile({16, 87, 32, 65, 83}, 3, 2);
  EXPECT_EQ(grid().at(96 + 10, 48 + 10), 0x00FF00u);
  EXPECT_EQ(grid().at(96 + 47, 48 + 47), 0x00FF00u);
}

}  // namespace
}  // namespace lumatap
