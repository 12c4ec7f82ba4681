// The minimum lit time: a tap quicker than it stays drawn pressed until it has passed, so a
// capture of the window at 60 frames a second sees every tap; a longer press goes out at once.
#include "platform/headless/headless.h"
#include "tests/unit/display_fixture.h"

namespace lumatap::testing {
namespace {

namespace hl = plat::headless;

// A in the WASD grid: slot 3, the first cell of the second row, skin cell 1. S: slot 4.
constexpr int kAx = 0, kAy = 48, kACell = 1;
constexpr int kSx = 48, kSy = 48, kSCell = 19;
constexpr long long kMs = 1000;

class MinLitTest : public DisplayTest {
protected:
  void SetUp() override {
    DisplayTest::SetUp();
    form->minLitMs = 34;
  }
  bool aLit() const { return showsCell(kAx, kAy, kACell, true); }
  bool aOut() const { return showsCell(kAx, kAy, kACell, false); }
  bool sLit() const { return showsCell(kSx, kSy, kSCell, true); }
  bool sOut() const { return showsCell(kSx, kSy, kSCell, false); }
  bool idle() const { return !form->timerPending() && hl::timerDue(*form) < 0; }
};

TEST_F(MinLitTest, ATapStaysLitUntilTheMinimumHasPassedSinceItsPress) {
  struct Case {
    long long heldMicros;
    bool held;  // drawn pressed after the release
  } cases[] = {
      {0, true}, {500, true}, {33'999, true},   // shorter than the minimum
      {34'000, false}, {34'001, false}, {250'000, false},  // at it or longer: out at once
  };
  for (const Case& c : cases) {
    const long long pressed = hl::now();
    hl::pressKey(kVkA);
    hl::advanceClock(c.heldMicros);
    const long presents = form->PicView.presentCount();
    hl::releaseKey(kVkA);
    if (!c.held) {
      EXPECT_TRUE(aOut()) << c.heldMicros;
      EXPECT_EQ(form->PicView.presentCount(), presents + 1) << c.heldMicros;
      EXPECT_TRUE(idle()) << "no timer for a press that was long enough, " << c.heldMicros;
      continue;
    }
    // The release itself draws nothing; the cell stays pressed to the last microsecond.
    EXPECT_EQ(form->PicView.presentCount(), presents) << c.heldMicros;
    EXPECT_TRUE(aLit()) << c.heldMicros;
    EXPECT_GE(hl::timerDue(*form), pressed + 34 * kMs) << "the timer must not run out early";
    EXPECT_LE(hl::timerDue(*form), pressed + 35 * kMs) << "nor more than a millisecond late";
    hl::advanceClock(pressed + 34 * kMs - 1 - hl::now());
    EXPECT_TRUE(aLit()) << c.heldMicros << " us: released before the minimum";
    hl::advanceClock(1 * kMs + 1);
    EXPECT_TRUE(aOut()) << c.heldMicros << " us: still lit after the minimum";
    EXPECT_EQ(form->PicView.presentCount(), presents + 1) << "one present for the release";
    EXPECT_TRUE(idle()) << "the timer outlived the hold, " << c.heldMicros;
    EXPECT_EQ(form->holdingSlots, 0u);
  }
}

TEST_F(MinLitTest, PressingTheKeyAgainDuringTheHoldContinuesFromTheNewPress) {
  hl::pressKey(kVkA);
  hl::advanceClock(5 * kMs);
  hl::releaseKey(kVkA);
  hl::advanceClock(5 * kMs);
  hl::pressKey(kVkA);  // 10 ms after the first press
  EXPECT_TRUE(aLit());
  EXPECT_TRUE(idle()) << "a key that is down needs no timer";
  hl::advanceClock(40 * kMs);  // past the first press's minimum: still down, still lit
  EXPECT_TRUE(aLit());
  // Released 40 ms into the second press, which is long enough: out at once.
  hl::releaseKey(kVkA);
  EXPECT_TRUE(aOut());

  // A second tap inside the hold is held from its own press.
  const long long first = hl::now();
  hl::pressKey(kVkA);
  hl::advanceClock(2 * kMs);
  hl::releaseKey(kVkA);
  hl::advanceClock(18 * kMs);
  hl::pressKey(kVkA);
  hl::advanceClock(2 * kMs);
  hl::releaseKey(kVkA);
  hl::advanceClock(first + 40 * kMs - hl::now());  // past the first tap's minimum only
  EXPECT_TRUE(aLit());
  hl::advanceClock(first + 55 * kMs - hl::now());  // past 20 + 34 ms
  EXPECT_TRUE(aOut());
  EXPECT_TRUE(idle());
}

TEST_F(MinLitTest, HoldsOfSeveralKeysEndEachAtItsOwnTime) {
  const long long start = hl::now();
  hl::pressKey(kVkA);
  hl::advanceClock(1 * kMs);
  hl::releaseKey(kVkA);
  hl::advanceClock(9 * kMs);
  // A key going down does not take a held key for one whose release was lost.
  hl::pressKey(kVkS);
  EXPECT_TRUE(aLit());
  hl::advanceClock(1 * kMs);
  hl::releaseKey(kVkS);
  EXPECT_TRUE(aLit() && sLit());
  hl::advanceClock(start + 36 * kMs - hl::now());
  EXPECT_TRUE(aOut()) << "A's minimum ended at 34 ms";
  EXPECT_TRUE(sLit()) << "S's ends at 44 ms";
  EXPECT_TRUE(form->timerPending());
  hl::advanceClock(start + 46 * kMs - hl::now());
  EXPECT_TRUE(sOut());
  EXPECT_TRUE(idle());
}

TEST_F(MinLitTest, AFullRedrawEndsEveryHold) {
  struct Case {
    const char* what;
    void (*redraw)(Form1&);
  } cases[] = {
      {"DrawAllKeys", [](Form1& f) { DrawAllKeys(f); }},
      {"a key-up that may have been lost", [](Form1& f) { f.userKeysMayBeStale(); }},
      {"another window in front", [](Form1& f) { f.userForegroundChanged(false); }},
  };
  for (const Case& c : cases) {
    hl::pressKey(kVkA);
    hl::releaseKey(kVkA);
    ASSERT_TRUE(aLit()) << c.what;
    c.redraw(*form);
    EXPECT_TRUE(aOut()) << c.what;
    EXPECT_TRUE(idle()) << c.what;
    const long presents = form->PicView.presentCount();
    hl::advanceClock(100 * kMs);
    EXPECT_EQ(form->PicView.presentCount(), presents) << "a cancelled hold drew later, " << c.what;
  }
}

TEST_F(MinLitTest, AMinimumOfZeroDrawsEveryReleaseAtOnce) {
  form->minLitMs = 0;
  for (int i = 0; i < 3; ++i) {
    const long presents = form->PicView.presentCount();
    hl::pressKey(kVkA);
    hl::releaseKey(kVkA);
    EXPECT_TRUE(aOut());
    EXPECT_EQ(form->PicView.presentCount(), presents + 2);
    EXPECT_TRUE(idle());
  }
}

}  // namespace
}  // namespace lumatap::testing
