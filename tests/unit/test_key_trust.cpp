// No key stays lit that is not held: the moments a key-up may have been lost redraw from
// the keyboard's real state, and the grid says when the program in front hides its keys.
#include "tests/unit/display_fixture.h"

namespace lumatap {
namespace {

namespace hl = plat::headless;
using testing::kVkA;
using testing::kVkS;
constexpr int kVkD = 68;
constexpr int kRight = 2;

class KeyTrustTest : public testing::DisplayTest {
protected:
  // A's key-up went to the secure desktop: the grid shows it pressed, nobody holds it.
  void loseKeyUpOfA() {
    hl::pressKey(kVkA);
    hl::setKeyHeld(kVkA, false);
    ASSERT_TRUE(showsCell(0, 48, 1, true));
  }
};

TEST_F(KeyTrustTest, AMomentThatMayLoseAKeyUpShowsEveryKeyAsItIsHeld) {
  loseKeyUpOfA();
  hl::setKeyHeld(kVkD, true);  // went down while nobody listened
  hl::pressKey(kVkS);          // really held across it
  const long presents = form->PicView.presentCount();
  form->userKeysMayBeStale();
  EXPECT_TRUE(showsCell(0, 48, 1, false)) << "A released";
  EXPECT_TRUE(showsCell(48, 48, 19, true)) << "S still held";
  EXPECT_TRUE(showsCell(96, 48, 4, true)) << "D held";
  EXPECT_TRUE(showsCell(0, 0, 53, false)) << "Shift as it was";
  EXPECT_EQ(form->PicView.presentCount(), presents + 1) << "one present for the whole grid";
}

TEST_F(KeyTrustTest, AKeyGoingDownClearsAnotherLitKeyThatIsNoLongerHeld) {
  loseKeyUpOfA();
  hl::pressKey(kVkS);
  EXPECT_TRUE(showsCell(0, 48, 1, false));
  EXPECT_TRUE(showsCell(48, 48, 19, true));
  // A held one stays: pressing D beside a really held S changes nothing for S.
  hl::pressKey(kVkD);
  EXPECT_TRUE(showsCell(48, 48, 19, true));
  EXPECT_TRUE(showsCell(96, 48, 4, true));
  // Auto-repeat of the key itself is no reason to look.
  hl::setKeyHeld(kVkS, false);
  hl::pressKey(kVkD);
  EXPECT_TRUE(showsCell(48, 48, 19, false)) << "another key went down: S is looked at";
}

TEST_F(KeyTrustTest, ClosingTheOptionsDialogShowsKeysReleasedWhileItWasOpen) {
  hl::pressKey(kVkA);
  hl::pressKey(kVkS);
  form->mnuOption_Click();
  // Released in the dialog, where the hook did not listen; S stays held.
  hl::setKeyHeld(kVkA, false);
  plat::Window* dialog = nullptr;
  for (plat::Window* w : plat::loadedWindows())
    if (w != form) dialog = w;
  ASSERT_NE(dialog, nullptr);
  dialog->requestClose();
  EXPECT_TRUE(showsCell(0, 48, 1, false));
  EXPECT_TRUE(showsCell(48, 48, 19, true));
}

TEST_F(KeyTrustTest, TheForegroundChangingPutsTheWindowBackOnTopAndRedraws) {
  SetTopmost(*form, 1);
  loseKeyUpOfA();
  const int before = hl::topmostRequestCount();
  form->userForegroundChanged(false);
  EXPECT_EQ(hl::topmostRequestCount(), before + 1);
  EXPECT_TRUE(form->topmost());
  EXPECT_TRUE(showsCell(0, 48, 1, false));
  // Not topmost (the options dialog is open): it stays where it is.
  form->setTopmost(false);
  const int lowered = hl::topmostRequestCount();
  form->userForegroundChanged(false);
  EXPECT_EQ(hl::topmostRequestCount(), lowered);
}

TEST_F(KeyTrustTest, MouseButtonsAreWatchedWhileTheGridShowsOneAndLightHoldAndRepairLikeKeys) {
  KeyDefs[1] = KeyDef{76, "左クリック", true};
  KeyDefs[2] = KeyDef{77, "右クリック", true};
  KeyDefs[4] = KeyDef{78, "中クリック", true};
  EXPECT_FALSE(hl::mouseButtonsWatched()) << "a grid without a button leaves the mouse alone";
  useProfile({kVkA, 1, 2, 4}, 4, 1);
  EXPECT_TRUE(hl::mouseButtonsWatched());
  form->minLitMs = 34;
  // A click shorter than the minimum stays lit for it.
  hl::pressKey(1);
  EXPECT_TRUE(showsCell(48, 0, 76, true));
  hl::releaseKey(1);
  EXPECT_TRUE(showsCell(48, 0, 76, true));
  hl::advanceClock(34'000);
  EXPECT_TRUE(showsCell(48, 0, 76, false));
  // A release nobody heard (a click on the lock screen): the next press looks.
  hl::pressKey(2);
  hl::setKeyHeld(2, false);
  hl::pressKey(kVkA);
  EXPECT_TRUE(showsCell(96, 0, 77, false));
  // Pressed while nobody listened: the next moment that may have lost events shows it.
  hl::setKeyHeld(4, true);
  form->userKeysMayBeStale();
  EXPECT_TRUE(showsCell(144, 0, 78, true));
  EXPECT_TRUE(showsCell(0, 0, 1, true)) << "A is still held";
  // Redrawn as often as it may be, the mouse is switched only when the grid changes.
  const int switched = hl::mouseWatchChanges();
  DrawAllKeys(*form);
  form->userForegroundChanged(false);
  EXPECT_EQ(hl::mouseWatchChanges(), switched);
  useProfile({kVkA, kVkS}, 2, 1);  // slots 2 and 3 still hold buttons, beyond the key count
  EXPECT_FALSE(hl::mouseButtonsWatched());
  EXPECT_EQ(hl::mouseWatchChanges(), switched + 1);
}

TEST_F(KeyTrustTest, WhileKeysAreHiddenTheGridIsDimmedInsideAnEdgeAndRecoversAfter) {
  const plat::Surface before = grid();
  form->userForegroundChanged(true);
  EXPECT_EQ(grid().at(0, 0), 0xFFA000u);
  EXPECT_EQ(grid().at(143, 95), 0xFFA000u);
  EXPECT_EQ(grid().at(20, 20), (before.at(20, 20) >> 1) & 0x7F7F7Fu);
  // A relayout keeps saying so.
  DrawAllKeys(*form);
  EXPECT_EQ(grid().at(1, 1), 0xFFA000u);
  form->userForegroundChanged(false);
  EXPECT_TRUE(std::equal(before.data(), before.data() + 144 * 96, grid().data()));
}

TEST_F(KeyTrustTest, TheMenuExplainsHiddenKeysOnceARunAndOnlyAfterTheyWereHidden) {
  hl::queueMenuChoice(-1);
  form->PicView.userMouseUp(kRight, 0, 10, 10);
  EXPECT_TRUE(hl::shownBoxes().empty());
  form->userForegroundChanged(true);
  form->userForegroundChanged(false);
  hl::queueMenuChoice(-1);
  form->PicView.userMouseUp(kRight, 0, 10, 10);
  ASSERT_EQ(hl::shownBoxes().size(), 1u);
  EXPECT_NE(hl::shownBoxes()[0].text.find("管理者として実行"), std::string::npos);
  EXPECT_EQ(hl::shownMenus().size(), 2u) << "the menu opens after the message";
  hl::queueMenuChoice(-1);
  form->PicView.userMouseUp(kRight, 0, 10, 10);
  EXPECT_EQ(hl::shownBoxes().size(), 1u);
}

}  // namespace
}  // namespace lumatap
