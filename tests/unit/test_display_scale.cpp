// The grid at a display scale above 100 %: every skin pixel a square of screen pixels,
// the layout and the reflow still in whole cells, and a move to a monitor of another scale.
#include "platform/system.h"
#include "tests/unit/display_fixture.h"

namespace lumatap {
namespace {

using plat::headless::setMonitorDpi;

TEST(GridScale, IsTheNearestWholeNumberWithHalvesRoundingDown) {
  const struct {
    int dpi, scale;
  } cases[] = {{96, 1},  {120, 1}, {144, 1}, {145, 2}, {168, 2}, {192, 2},
               {240, 2}, {241, 3}, {288, 3}, {0, 1},   {-96, 1}, {48, 1}};
  for (const auto& c : cases) EXPECT_EQ(gridScaleForDpi(c.dpi), c.scale) << c.dpi << " dpi";
}

TEST(ScaledUp, MakesEveryPixelASquareAndKeepsTheBackground) {
  plat::Surface s(2, 1, 0x123456);
  s.at(0, 0) = 1;
  s.at(1, 0) = 2;
  const plat::Surface twice = plat::scaledUp(s, 2);
  ASSERT_EQ(twice.width(), 4);
  ASSERT_EQ(twice.height(), 2);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(twice.at(0, y), 1u);
    EXPECT_EQ(twice.at(1, y), 1u);
    EXPECT_EQ(twice.at(2, y), 2u);
    EXPECT_EQ(twice.at(3, y), 2u);
  }
  EXPECT_EQ(twice.background(), 0x123456u);
  const plat::Surface same = plat::scaledUp(s, 1);
  EXPECT_EQ(same.width(), 2);
  EXPECT_EQ(same.at(1, 0), 2u);
}

class DisplayScaleTest : public testing::DisplayTest {
protected:
  // The window now on a monitor of that dpi, as start-up takes it: scale, frame, skin.
  void onMonitor(int dpi) {
    setMonitorDpi(dpi);
    applyMonitorScale(*form, form->monitorDpi());
    form->PicKeys = skin;
    form->skinScale = 1;
    scaleSkinToGrid(*form);
    LayoutGrid(*form, CurCols, CurRows);
    DrawAllKeys(*form);
  }

  // The grid's block for slot cell (x, y in cells) shows skin cell `cell`, each skin pixel
  // as a scale × scale square.
  ::testing::AssertionResult showsScaledCell(int col, int row, int cell, bool pressed) const {
    const int s = form->gridScale;
    for (int y = 0; y < CellSize * s; ++y)
      for (int x = 0; x < CellSize * s; ++x) {
        const plat::Pixel want = skin.at(CellSize * cell + x / s, (pressed ? CellSize : 0) + y / s);
        const int gx = CellSize * s * col + x, gy = CellSize * s * row + y;
        if (grid().at(gx, gy) != want)
          return ::testing::AssertionFailure() << "grid pixel (" << gx << ", " << gy << ")";
      }
    return ::testing::AssertionSuccess();
  }

  const plat::Surface skin = testing::uniqueSkin();
};

TEST_F(DisplayScaleTest, At200PercentEverySkinPixelIsATwoByTwoSquare) {
  Frameless = false;
  onMonitor(192);
  EXPECT_EQ(form->gridScale, 2);
  EXPECT_EQ(grid().width(), 288);
  EXPECT_EQ(grid().height(), 192);
  // The frame is the system's at that scale: edges of 8, a caption of 34.
  EXPECT_EQ(form->width(), 288 + 2 * 8);
  EXPECT_EQ(form->height(), 192 + 34 + 2 * 8);
  EXPECT_TRUE(showsScaledCell(0, 0, 53, false));  // Shift
  EXPECT_TRUE(showsScaledCell(2, 1, 4, false));   // D

  plat::headless::pressKey(testing::kVkA);
  EXPECT_TRUE(showsScaledCell(0, 1, 1, true));
  EXPECT_TRUE(showsScaledCell(1, 1, 19, false)) << "S, beside it, stays released";
  plat::headless::releaseKey(testing::kVkA);
  EXPECT_TRUE(showsScaledCell(0, 1, 1, false));
}

TEST_F(DisplayScaleTest, At150PercentTheGridIsDrawnAsAt100) {
  onMonitor(144);
  EXPECT_EQ(form->gridScale, 1);
  EXPECT_EQ(grid().width(), 144);
  EXPECT_TRUE(showsScaledCell(1, 0, 23, false));  // W
}

TEST_F(DisplayScaleTest, TheReflowCountsWholeCellsOfTheScaledGrid) {
  Frameless = true;
  onMonitor(192);
  // 6 keys. A cell is 96 pixels; it fits when at most 12 of them are missing.
  form->userResized(180, 600);  // 180 + 12 = 192: two columns
  EXPECT_EQ(CurCols, 2);
  EXPECT_EQ(CurRows, 3);
  EXPECT_EQ(form->width(), 192);
  EXPECT_EQ(form->height(), 288);
  form->userResized(179, 600);  // one pixel less: one column
  EXPECT_EQ(CurCols, 1);
  EXPECT_EQ(CurRows, 6);
  form->userResized(600, 200);  // wider than tall: two rows of 96 fit
  EXPECT_EQ(CurRows, 2);
  EXPECT_EQ(CurCols, 3);
}

TEST_F(DisplayScaleTest, MovingToAMonitorOfAnotherScaleRedrawsTheGridAtItsScale) {
  Frameless = false;
  onMonitor(96);
  form->move(100, 50, form->width(), form->height());
  const plat::Surface atOne = grid();

  setMonitorDpi(192);
  form->userDpiChanged(192, 2000, 40);
  EXPECT_EQ(form->gridScale, 2);
  EXPECT_EQ(form->left(), 2000);
  EXPECT_EQ(form->top(), 40);
  EXPECT_EQ(form->width(), 288 + 2 * 8);
  EXPECT_EQ(form->height(), 192 + 34 + 2 * 8);
  EXPECT_TRUE(showsScaledCell(1, 1, 19, false));
  plat::headless::pressKey(testing::kVkS);
  EXPECT_TRUE(showsScaledCell(1, 1, 19, true));

  // Back again: exactly the pixels it had before, a full redraw showing every key released.
  setMonitorDpi(96);
  form->userDpiChanged(96, 100, 50);
  EXPECT_EQ(form->gridScale, 1);
  EXPECT_EQ(form->width(), 144 + 8);
  EXPECT_EQ(form->height(), 96 + 25);
  EXPECT_EQ(form->PicKeys.width(), skin.width()) << "the skin back at one pixel per pixel";
  EXPECT_TRUE(std::equal(skin.data(), skin.data() + skin.width() * skin.height(), form->PicKeys.data()));
  ASSERT_EQ(grid().width(), atOne.width());
  EXPECT_TRUE(std::equal(grid().data(), grid().data() + 144 * 96, atOne.data()));
}

TEST_F(DisplayScaleTest, TheFrameSwitchKeepsTheScaledGrid) {
  Frameless = false;
  onMonitor(192);
  form->mnuTitleBer_Click();  // frame off
  EXPECT_TRUE(Frameless);
  EXPECT_EQ(form->width(), 288);
  EXPECT_EQ(form->height(), 192);
  form->mnuTitleBer_Click();  // and back on
  EXPECT_EQ(form->width(), 288 + 16);
  EXPECT_EQ(form->height(), 192 + 34 + 16);
}

}  // namespace
}  // namespace lumatap
