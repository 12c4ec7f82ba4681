// Decisions of the Windows backend that are made from the portable widgets alone: the
// window decorations, what is shown and enabled on screen, the stacking order, what a
// mouse message reports.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/headless/headless.h"
#include "platform/win32/win32_rules.h"

namespace plat::win32 {
namespace {

constexpr unsigned long kMinimizeBox = 0x00020000ul;
constexpr unsigned long kMaximizeBox = 0x00010000ul;

TEST(Win32Decorations, FrameSwitchAndBorderStylePickTheNativeLook) {
  struct Case {
    const char* what;
    BorderStyle border;
    bool framed;
    bool caption, sizing, popup;
    unsigned long ex;
  } cases[] = {
      {"display window, framed", BorderStyle::SizableToolWindow, true, true, true, false, kExToolWindow},
      // The frame switch takes caption and sizing frame away together.
      {"display window, frameless", BorderStyle::SizableToolWindow, false, false, false, true,
       kExToolWindow},
      {"display window, frameless by its menu", BorderStyle::None, false, false, false, true, 0},
      {"options dialog", BorderStyle::FixedDialog, true, true, false, false, kExDlgModalFrame},
      {"fixed tool window", BorderStyle::FixedToolWindow, true, true, false, false, kExToolWindow},
  };
  for (const Case& c : cases) {
    headless::reset();
    Window w("w", "LumatapTest");
    w.setBorderStyle(c.border);
    w.load();
    w.setFramed(c.framed);
    Decorations d = decorations(w);
    EXPECT_EQ((d.style & kStyleCaption) == kStyleCaption, c.caption) << c.what;
    EXPECT_EQ((d.style & kStyleThickFrame) != 0, c.sizing) << c.what;
    EXPECT_EQ((d.style & kStylePopup) != 0, c.popup) << c.what;
    EXPECT_NE(d.style & kStyleSysMenu, 0u) << c.what;  // the close button, and Alt+F4
    EXPECT_EQ(d.style & (kMinimizeBox | kMaximizeBox), 0u) << c.what;
    EXPECT_NE(d.style & kStyleClipChildren, 0u) << c.what;
    EXPECT_EQ(d.exStyle, c.ex) << c.what;
  }
}

TEST(Win32Decorations, AWindowThatNeverTakesTheActivationSaysSoToTheSystem) {
  for (bool framed : {true, false}) {
    headless::reset();
    Window w("w", "LumatapTest");
    w.setNoActivate(true);
    w.load();
    w.setFramed(framed);
    EXPECT_EQ(decorations(w).exStyle, kExToolWindow | kExNoActivate) << framed;
    w.setNoActivate(false);
    EXPECT_EQ(decorations(w).exStyle, kExToolWindow) << framed;
  }
}

class Win32Controls : public ::testing::Test {
protected:
  void SetUp() override { headless::reset(); }

  Window dialog{"dlg", "LumatapOptions"};
};

TEST_F(Win32Controls, ControlsInAHiddenOrDisabledFrameAreSoOnScreen) {
  Frame outer(&dialog, "outer");
  Frame inner(&outer, "inner");
  Label label(&inner, "label");
  Button loose(&dialog, "loose");
  dialog.show();

  EXPECT_TRUE(shownOnScreen(label));
  EXPECT_TRUE(enabledOnScreen(label));

  outer.setVisible(false);
  EXPECT_FALSE(shownOnScreen(label));
  EXPECT_FALSE(shownOnScreen(inner));
  EXPECT_TRUE(label.visible());  // its own flag is untouched; it shows again with the frame
  outer.setVisible(true);
  EXPECT_TRUE(shownOnScreen(label));

  inner.setEnabled(false);
  EXPECT_FALSE(enabledOnScreen(label));
  EXPECT_TRUE(enabledOnScreen(outer));
  EXPECT_TRUE(enabledOnScreen(loose));

  // A disabled or hidden window does that to its controls by itself; they keep their look.
  dialog.setEnabled(false);
  dialog.hide();
  EXPECT_TRUE(enabledOnScreen(loose));
  EXPECT_TRUE(shownOnScreen(loose));
}

TEST_F(Win32Controls, ContentsLieAboveTheirFrameAndALaterPanelAboveAnEarlierFrame) {
  // The skin list in its frame, and the instructions panel declared after it that covers it.
  Frame skins(&dialog, "fraSample1");
  ListBox list(&skins, "lstFolder");
  Frame panel(&dialog, "FrmAbout");
  Label text(&panel, "Label4");
  Frame editor(&dialog, "Frame1");
  Picture pad(&editor, "PicB");
  Button key(&pad, "Cmd0");

  std::vector<Widget*> order = stackingOrder(dialog);
  auto pos = [&](const Widget& w) {
    return std::find(order.begin(), order.end(), &w) - order.begin();
  };
  ASSERT_EQ(order.size(), 7u);
  EXPECT_LT(pos(skins), pos(list));
  EXPECT_LT(pos(list), pos(panel));
  EXPECT_LT(pos(panel), pos(text));
  EXPECT_LT(pos(editor), pos(pad));
  EXPECT_LT(pos(pad), pos(key));

  // On screen a picture holds what lies inside it and clips it; frames hold nothing.
  EXPECT_EQ(nativeContainer(key), &pad);
  EXPECT_EQ(nativeContainer(pad), nullptr);
  EXPECT_EQ(nativeContainer(list), nullptr);
  EXPECT_EQ(nativeContainer(text), nullptr);
}

TEST(Win32Mouse, ButtonMessagesBecomeThePortableButtonsAndPresses) {
  struct Case {
    unsigned msg;
    int button;
    bool down;
  } cases[] = {
      {0x0201, 1, true},  {0x0202, 1, false}, {0x0203, 0, false},  // left; its double-click apart
      {0x0204, 2, true},  {0x0205, 2, false}, {0x0206, 2, true},   // right; double-click presses again
      {0x0207, 4, true},  {0x0208, 4, false}, {0x0209, 4, true},   // middle
      {0x0200, 0, false}, {0x020A, 0, false},                      // move, wheel
  };
  for (const Case& c : cases) {
    MouseReport r = mouseReport(c.msg);
    EXPECT_EQ(r.button, c.button) << std::hex << c.msg;
    if (c.button) {
      EXPECT_EQ(r.down, c.down) << std::hex << c.msg;
    }
  }
}

TEST(Win32Mouse, ModifiersAreShiftCtrlAltAsOneTwoFour) {
  EXPECT_EQ(mouseShift(0x0000, false), 0);
  EXPECT_EQ(mouseShift(0x0004, false), 1);        // MK_SHIFT
  EXPECT_EQ(mouseShift(0x0008, false), 2);        // MK_CONTROL
  EXPECT_EQ(mouseShift(0x0000, true), 4);
  EXPECT_EQ(mouseShift(0x0001 | 0x0004 | 0x0008, true), 7);  // MK_LBUTTON is no modifier
}

TEST(Win32Picture, WhatTheSurfaceLeavesUncoveredIsFilledWithoutOverlap) {
  // A grid surface exactly the size of its control covers it all.
  Uncovered exact = uncoveredBy(144, 96, 144, 96);
  EXPECT_TRUE(exact.right.empty());
  EXPECT_TRUE(exact.below.empty());
  // A larger surface is clipped, nothing to fill.
  Uncovered larger = uncoveredBy(330, 330, 329, 329);
  EXPECT_TRUE(larger.right.empty());
  EXPECT_TRUE(larger.below.empty());
  // Smaller both ways: a strip on the right of full height, and one below the surface only.
  Uncovered smaller = uncoveredBy(100, 50, 144, 96);
  EXPECT_EQ(smaller.right.left, 100);
  EXPECT_EQ(smaller.right.top, 0);
  EXPECT_EQ(smaller.right.right, 144);
  EXPECT_EQ(smaller.right.bottom, 96);
  EXPECT_EQ(smaller.below.left, 0);
  EXPECT_EQ(smaller.below.top, 50);
  EXPECT_EQ(smaller.below.right, 100);
  EXPECT_EQ(smaller.below.bottom, 96);
  // An empty surface leaves the whole control to the background.
  Uncovered none = uncoveredBy(0, 0, 20, 10);
  EXPECT_EQ(none.right.left, 0);
  EXPECT_EQ(none.right.right, 20);
  EXPECT_EQ(none.right.bottom, 10);
  EXPECT_TRUE(none.below.empty());
}

}  // namespace
}  // namespace plat::win32
