// The window's size follows the grid, and the grid re-flows when the user resizes it.
#include <array>

#include "tests/unit/display_fixture.h"

namespace lumatap {
namespace {

using LayoutTest = testing::DisplayTest;

// Headless frame allowances: 2 · 4 across, 17 + 2 · 4 down.
constexpr int kFrameW = 8, kFrameH = 25;

TEST_F(LayoutTest, TheWindowIsExactlyAsLargeAsTheGridPlusItsFrame) {
  struct Case {
    int16 cols, rows;
    bool frameless;
    int width, height;
  } cases[] = {
      {3, 2, true, 144, 96},  {3, 2, false, 144 + kFrameW, 96 + kFrameH},
      {4, 2, true, 192, 96},  {2, 1, false, 96 + kFrameW, 48 + kFrameH},
      {1, 6, true, 48, 288},
  };
  form->move(300, 200, 10, 10);
  for (const Case& c : cases) {
    Frameless = c.frameless;
    CurCols = c.cols;
    CurRows = c.rows;
    LayoutGrid(*form, CurCols, CurRows);
    EXPECT_EQ(form->width(), c.width) << c.cols << "x" << c.rows;
    EXPECT_EQ(form->height(), c.height) << c.cols << "x" << c.rows;
    EXPECT_EQ(form->left(), 300);  // the top-left corner stays put
    EXPECT_EQ(form->top(), 200);
    const plat::Picture& view = form->PicView;
    EXPECT_EQ((std::array{view.left(), view.top(), view.width(), view.height()}),
              (std::array{0, 0, 48 * c.cols, 48 * c.rows}));
    EXPECT_EQ(view.surface().width(), 48 * c.cols);
    EXPECT_EQ(view.surface().height(), 48 * c.rows);
    EXPECT_FALSE(LayoutBusy);
  }
}

TEST_F(LayoutTest, ResizingSnapsToWholeCellsAndTheKeyCountDecidesTheOtherSide) {
  struct Case {
    int keys;
    bool frameless;
    int clientW, clientH;  // what the user dragged the client area to
    int16 cols, rows;
  } cases[] = {
      {6, false, 100, 300, 2, 3},  // taller than wide: the width decides
      {6, false, 300, 100, 3, 2},  // wider: the height decides
      {6, false, 96, 96, 3, 2},    // square: the height decides
      {6, false, 90, 300, 2, 3},   // 90 + 6 = 96 fits two columns
      {6, false, 89, 300, 1, 6},
      {6, false, 40, 200, 1, 6},   // not even one column fits
      {6, false, 200, 30, 6, 1},   // not even one row fits
      {1, false, 200, 300, 4, 1},  // three empty cells
      {5, false, 150, 100, 3, 2},  // one empty cell
      {6, true, 100, 300, 2, 3},   // frameless: the window is the client area
      {6, true, 300, 100, 3, 2},
      {0, false, 300, 100, 0, 2},  // a damaged profile without keys divides by nothing
      {0, false, 100, 300, 2, 0},
  };
  for (const Case& c : cases) {
    std::vector<int16> keys(static_cast<std::size_t>(c.keys), testing::kVkA);
    Frameless = c.frameless;
    useProfile(keys, 3, 2);
    const int extraW = c.frameless ? 0 : kFrameW, extraH = c.frameless ? 0 : kFrameH;
    form->userResized(c.clientW + extraW, c.clientH + extraH);
    EXPECT_EQ(CurCols, c.cols) << c.keys << " keys, " << c.clientW << "x" << c.clientH;
    EXPECT_EQ(CurRows, c.rows) << c.keys << " keys, " << c.clientW << "x" << c.clientH;
    EXPECT_EQ(form->width(), 48 * c.cols + extraW);
    EXPECT_EQ(form->height(), 48 * c.rows + extraH);
    EXPECT_EQ(form->PicView.surface().width(), 48 * c.cols);
    EXPECT_EQ(ProfCols[0], 3);  // the profile keeps its own shape
  }
}

TEST_F(LayoutTest, ASizeNotificationAtTheLaidOutSizeKeepsTheGrid) {
  struct Case {
    int keys;
    int16 cols, rows;
  } cases[] = {{6, 3, 2}, {8, 4, 2}, {2, 2, 1}, {1, 1, 1}};
  for (bool frameless : {false, true}) {
    for (const Case& c : cases) {
      Frameless = frameless;
      useProfile(std::vector<int16>(static_cast<std::size_t>(c.keys), testing::kVkA), c.cols, c.rows);
      form->Form_Resize();  // as on first display
      EXPECT_EQ(CurCols, c.cols) << c.keys << (frameless ? " frameless" : " framed");
      EXPECT_EQ(CurRows, c.rows) << c.keys << (frameless ? " frameless" : " framed");
    }
  }
}

TEST_F(LayoutTest, SizeNotificationsThatTheProgramCausesChangeNothing) {
  // A 1 × 1 grid for six keys would re-flow to 6 × 1 if the notifications were obeyed.
  useProfile({16, 87, 32, 65, 83, 68}, 1, 1);
  int notifications = 0;
  auto reflow = form->Resize;
  form->Resize = [&] {
    ++notifications;
    reflow();
  };
  const long presents = form->PicView.presentCount();
  Frameless = !Frameless;
  LayoutGrid(*form, CurCols, CurRows);  // framed to frameless: the window shrinks
  form->mnuTitleBer_Click();     // and back
  LayoutBusy = true;             // a redraw asked for in the middle of the switch
  DrawAllKeys(*form);
  LayoutBusy = false;
  EXPECT_GE(notifications, 2);
  EXPECT_EQ(CurCols, 1);
  EXPECT_EQ(CurRows, 1);
  EXPECT_EQ(form->PicView.presentCount(), presents);
  EXPECT_FALSE(LayoutBusy);
  form->userResized(300 + kFrameW, 100 + kFrameH);  // the user's own resize still re-flows
  EXPECT_EQ(CurCols, 3);
}

TEST_F(LayoutTest, AFrameDragIsSnappedBeforeItShowsAndOnlyTheDraggedEdgesMove) {
  using E = plat::SizingEdge;
  struct Case {
    int clientW, clientH;
    int16 cols, rows;
  } cases[] = {
      {100, 300, 2, 3}, {300, 100, 3, 2},
      {190, 200, 4, 2},  // the columns decide; 192 × 96 re-flowed alone would be 3 × 2
      {30, 30, 6, 1},
  };
  const E edges[] = {E::Left, E::Right, E::Top, E::TopLeft, E::TopRight, E::Bottom, E::BottomLeft,
                     E::BottomRight};
  Frameless = false;
  for (const Case& c : cases) {
    for (E edge : edges) {
      useProfile({16, 87, 32, 65, 83, 68}, 3, 2);
      SCOPED_TRACE(::testing::Message() << c.clientW << "x" << c.clientH << " edge " << static_cast<int>(edge));
      const int l0 = 300, t0 = 200, r0 = 300 + c.clientW + kFrameW, b0 = 200 + c.clientH + kFrameH;
      int l = l0, t = t0, r = r0, b = b0;
      form->userSizing(edge, l, t, r, b);
      EXPECT_EQ(r - l, 48 * c.cols + kFrameW);
      EXPECT_EQ(b - t, 48 * c.rows + kFrameH);
      const bool leftMoves = edge == E::Left || edge == E::TopLeft || edge == E::BottomLeft;
      const bool topMoves = edge == E::Top || edge == E::TopLeft || edge == E::TopRight;
      EXPECT_EQ(leftMoves ? r : l, leftMoves ? r0 : l0);
      EXPECT_EQ(topMoves ? b : t, topMoves ? b0 : t0);
      // Nothing is laid out until the system puts the window at the snapped rectangle.
      EXPECT_EQ(CurCols, 3);
      form->userMoved(l, t);
      form->userResized(r - l, b - t);
      EXPECT_EQ(CurCols, c.cols);
      EXPECT_EQ(CurRows, c.rows);
      EXPECT_EQ(form->width(), r - l);
      EXPECT_EQ(form->height(), b - t);
    }
  }
}

TEST_F(LayoutTest, SnappingWhileDraggingEndsInTheGridTheReflowGivesForTheDraggedSize) {
  Frameless = false;
  for (int keys : {6, 8, 5, 2}) {
    const std::vector<int16> codes(static_cast<std::size_t>(keys), testing::kVkA);
    for (int w = 20; w <= 420; w += 13) {
      for (int h = 20; h <= 420; h += 17) {
        useProfile(codes, 3, 2);
        form->userResized(w + kFrameW, h + kFrameH);  // re-flowed straight from the size
        const int16 cols = CurCols, rows = CurRows;
        const int width = form->width(), height = form->height();

        useProfile(codes, 3, 2);
        int l = 0, t = 0, r = w + kFrameW, b = h + kFrameH;
        form->userSizing(plat::SizingEdge::BottomRight, l, t, r, b);
        form->userResized(r - l, b - t);
        ASSERT_EQ((std::array{CurCols, CurRows}), (std::array{cols, rows}))
            << keys << " keys at " << w << "x" << h;
        ASSERT_EQ((std::array{form->width(), form->height()}), (std::array{width, height}));
      }
    }
  }
}

TEST_F(LayoutTest, AGridTheProgramLaysOutReplacesTheOneAFrameDragChose) {
  Frameless = false;
  int l = 0, t = 0, r = 190 + kFrameW, b = 200 + kFrameH;
  form->userSizing(plat::SizingEdge::BottomRight, l, t, r, b);  // 4 × 2, not yet shown
  useProfile({16, 87, 32, 65, 83, 68}, 3, 2);  // the options dialog applied a profile
  form->userResized(r - l, b - t);             // then the window came to that size
  EXPECT_EQ(CurCols, 3);
  EXPECT_EQ(CurRows, 2);
  EXPECT_TRUE(form->noActivate());  // the overlay never takes the game's keyboard
}

TEST_F(LayoutTest, ADamagedProfileCannotAskForAnEnormousGrid) {
  for (int16 side : {int16{30000}, int16{32767}}) {
    CurCols = CurRows = side;
    LayoutGrid(*form, CurCols, CurRows);
    EXPECT_LE(form->PicView.surface().width(), 48 * 128);
    EXPECT_LE(form->PicView.surface().height(), 48 * 128);
    EXPECT_EQ(form->width(), form->PicView.surface().width() + kFrameW);
  }
  CurCols = -4;
  CurRows = 2;
  LayoutGrid(*form, CurCols, CurRows);
  EXPECT_EQ(form->PicView.surface().width(), 0);
  EXPECT_EQ(form->width(), kFrameW);
}

}  // namespace
}  // namespace lumatap
