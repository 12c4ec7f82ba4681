#pragma once
// The display window on a fresh headless backend, with a skin whose every pixel differs,
// so a picture copied from or to the wrong place cannot go unnoticed.

#include <memory>
#include <vector>

#include "app/startup.h"
#include "platform/hook.h"
#include "tests/unit/fixture.h"

namespace lumatap::testing {

// Codes and cells as the shipped keylist.dat has them.
struct KeyCell {
  int16 code;
  int16 cell;
  const char* name;
};
inline constexpr KeyCell kWasdKeys[] = {
    {16, 53, "Shift"}, {87, 23, "W"}, {32, 56, "Space"}, {65, 1, "A"}, {83, 19, "S"}, {68, 4, "D"},
};
inline constexpr int kVkA = 65, kVkS = 83, kVkQ = 81;

inline const plat::Pixel kBackground = plat::pixelFromColor(kGridBackground);

// Pixel (x, y) holds 0x800000 | x << 7 | y: unique, and never the grid background.
inline plat::Surface uniqueSkin(int cells = 85) {
  plat::Surface s(CellSize * cells, 2 * CellSize);
  for (int y = 0; y < s.height(); ++y)
    for (int x = 0; x < s.width(); ++x) s.at(x, y) = 0x800000u | (static_cast<unsigned>(x) << 7) | y;
  return s;
}

class DisplayTest : public ProgramFolderTest {
protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    ReadScreenMetrics();  // headless: caption 17, frame edges 4
    program = std::make_unique<Program>();
    form = &program->form;
    form->minLitMs = 0;  // every event drawn as it comes; the hold has tests of its own
    form->show();  // shown, as at the end of the window's load
    plat::SetHook(*form);
    form->PicKeys = uniqueSkin();
    for (const KeyCell& k : kWasdKeys) KeyDefs[k.code] = KeyDef{k.cell, k.name, true};
    useProfile({16, 87, 32, 65, 83, 68}, 3, 2);
  }
  void TearDown() override {
    program.reset();
    ProgramFolderTest::TearDown();
  }

  // Makes profile 0 current with these keys, lays it out and draws it, as the options
  // dialog's OK does.
  void useProfile(const std::vector<int16>& keys, int16 cols, int16 rows) {
    CurProfile = 0;
    ProfTitles[0] = "test";
    ProfKeyCounts[0] = static_cast<int16>(keys.size());
    ProfCols[0] = cols;
    ProfRows[0] = rows;
    for (std::size_t i = 0; i < keys.size() && i < kSlotsPerProfile; ++i) ProfKeys[0][i] = keys[i];
    CurCols = cols;
    CurRows = rows;
    LayoutGrid(*form, CurCols, CurRows);
    DrawAllKeys(*form);
  }

  const plat::Surface& grid() const { return form->PicView.surface(); }

  // The 48 × 48 block of the grid at (x, y) equals the skin's picture of `cell`.
  ::testing::AssertionResult showsCell(int x, int y, int cell, bool pressed) const {
    const int sx = CellSize * cell, sy = pressed ? CellSize : 0;
    for (int dy = 0; dy < CellSize; ++dy)
      for (int dx = 0; dx < CellSize; ++dx) {
        plat::Pixel want = form->PicKeys.at(sx + dx, sy + dy);
        if (grid().at(x + dx, y + dy) != want)
          return ::testing::AssertionFailure()
                 << "pixel (" << x + dx << ", " << y + dy << ") is not the "
                 << (pressed ? "pressed" : "released") << " picture of cell " << cell;
      }
    return ::testing::AssertionSuccess();
  }

  ::testing::AssertionResult showsBackground(int x, int y) const {
    for (int dy = 0; dy < CellSize; ++dy)
      for (int dx = 0; dx < CellSize; ++dx)
        if (grid().at(x + dx, y + dy) != kBackground)
          return ::testing::AssertionFailure()
                 << "pixel (" << x + dx << ", " << y + dy << ") is not the background";
    return ::testing::AssertionSuccess();
  }

  // The program around the window, so its menu and close request do what they do in use.
  std::unique_ptr<Program> program;
  Form1* form = nullptr;
};

}  // namespace lumatap::testing
