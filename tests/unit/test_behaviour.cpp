// The frame switch, topmost placement, dragging and the pop-up menu.
#include "tests/unit/display_fixture.h"

namespace lumatap {
namespace {

namespace hl = plat::headless;
using BehaviourTest = testing::DisplayTest;

constexpr int kRight = 2;

TEST_F(BehaviourTest, TheFrameSwitchGoesOffAndComesBackWithTheGridsSizes) {
  using plat::BorderStyle;
  form->move(300, 200, form->width(), form->height());
  struct Step {
    bool frameless;
    int width, height;
    BorderStyle border;
  } steps[] = {{true, 144, 96, BorderStyle::None},
               {false, 144 + 8, 96 + 17 + 8, BorderStyle::SizableToolWindow},
               {true, 144, 96, BorderStyle::None}};
  int n = 0;
  for (const Step& s : steps) {
    ++n;
    form->mnuTitleBer_Click();
    EXPECT_EQ(Frameless, s.frameless) << "switch " << n;
    // Caption and sizing frame go and come back together.
    EXPECT_EQ(form->framed(), !s.frameless) << "switch " << n;
    EXPECT_EQ(form->sizable(), !s.frameless) << "switch " << n;
    EXPECT_EQ(form->width(), s.width) << "switch " << n;
    EXPECT_EQ(form->height(), s.height) << "switch " << n;
    EXPECT_EQ(form->borderStyle(), s.border) << "switch " << n;
    EXPECT_EQ(hl::frameChangedCount(), n);
    EXPECT_EQ(hl::doEventsCount(), n);
    EXPECT_EQ(form->left(), 300);
    EXPECT_EQ(form->top(), 200);
    EXPECT_FALSE(LayoutBusy);
  }
  EXPECT_EQ(form->PicView.surface().width(), 144);  // the grid itself is untouched
}

TEST_F(BehaviourTest, SetTopmostActsOnlyForModesOneAndZero) {
  struct Case {
    int16 mode;
    bool topmostAfter;
    int result;
  } cases[] = {{1, true, 1}, {2, true, 0}, {0, false, 1}, {-1, false, 0}, {1, true, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(SetTopmost(*form, c.mode), c.result) << c.mode;
    EXPECT_EQ(form->topmost(), c.topmostAfter) << c.mode;
  }
  EXPECT_TRUE(form->visible());  // mode 1 also shows the window
}

TEST_F(BehaviourTest, OnlyTheLeftButtonDragsTheWindowFromAnyPointOfTheGrid) {
  struct Case {
    int button;
    bool drags;
  } cases[] = {{1, true}, {2, false}, {4, false}, {3, true}, {6, false}, {7, true}};
  for (bool frameless : {false, true}) {
    if (Frameless != frameless) form->mnuTitleBer_Click();
    for (const Case& c : cases) {
      const int before = hl::dragCount();
      form->PicView.userMouseDown(c.button, 0, 143, 95);
      EXPECT_EQ(hl::dragCount() - before, c.drags ? 1 : 0) << "button " << c.button;
    }
  }
}

TEST_F(BehaviourTest, RightButtonReleaseShowsTheMenuWithTheFrameStateChecked) {
  form->PicView.userMouseDown(kRight, 0, 10, 10);
  form->PicView.userMouseUp(1, 0, 10, 10);
  form->PicView.userMouseUp(4, 0, 10, 10);
  EXPECT_TRUE(hl::shownMenus().empty());  // pressing, and other buttons, show nothing

  for (bool frameless : {false, true, false}) {
    if (Frameless != frameless) form->mnuTitleBer_Click();
    form->PicView.userMouseUp(kRight, 0, 10, 10);
    ASSERT_FALSE(hl::shownMenus().empty());
    const auto& items = hl::shownMenus().back().items;
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].caption, "フレームなし");
    EXPECT_EQ(items[0].checked, frameless);
    EXPECT_EQ(items[1].caption, "オプション");
    EXPECT_EQ(items[2].caption, "配信用ページ");
    ASSERT_EQ(items[2].items.size(), 3u);
    EXPECT_EQ(items[3].caption, "カウンターをリセット");
    EXPECT_TRUE(items[4].separator());
    EXPECT_EQ(items[5].caption, "終了");
  }
}

TEST_F(BehaviourTest, TheMenuItemAndADoubleClickBothSwitchTheFrame) {
  hl::queueMenuChoice(0);
  form->PicView.userMouseUp(kRight, 0, 10, 10);
  EXPECT_TRUE(Frameless);
  EXPECT_EQ(form->width(), 144);
  form->PicView.userDblClick();
  EXPECT_FALSE(Frameless);
  EXPECT_EQ(form->width(), 152);
}

TEST_F(BehaviourTest, TheOptionsItemDisablesTheWindowLowersItAndStopsTheKeys) {
  SetTopmost(*form, 1);
  hl::queueMenuChoice(1);
  form->PicView.userMouseUp(kRight, 0, 10, 10);
  EXPECT_FALSE(form->enabled());
  EXPECT_FALSE(form->topmost());
  EXPECT_FALSE(hl::hookInstalled());

  // While the dialog is open: no keys, no menu, no frame switch, no drag.
  const long presents = form->PicView.presentCount();
  const bool framed = form->framed();
  const std::size_t menus = hl::shownMenus().size();
  hl::pressKey(testing::kVkA);
  form->PicView.userMouseUp(kRight, 0, 10, 10);
  form->Form_MouseUp(kRight, 0, 10, 10);
  form->PicView.userDblClick();
  form->mnuTitleBer_Click();
  form->PicView.userMouseDown(1, 0, 10, 10);
  EXPECT_EQ(form->PicView.presentCount(), presents);
  EXPECT_EQ(hl::shownMenus().size(), menus);
  EXPECT_EQ(form->framed(), framed);
  EXPECT_FALSE(Frameless);
  EXPECT_EQ(hl::dragCount(), 0);
  EXPECT_EQ(hl::doEventsCount(), 0);
}

}  // namespace
}  // namespace lumatap
