// Presses per key and keys per second: what counts as a press, KPS at the edges of its
// second, the peak, the reset from the menu, counts that follow their keys across
// profiles, and the digits in the cells.
#include "platform/headless/headless.h"
#include "platform/system.h"
#include "tests/unit/display_fixture.h"

namespace lumatap::testing {
namespace {

namespace hl = plat::headless;

constexpr long long kMs = 1000;
// The WASD grid: Shift W Space / A S D.
constexpr int kSlotA = 3, kSlotS = 4, kACell = 1;
constexpr int kVkSpace = 32;
constexpr plat::Pixel kInk = 0xFFFFFF, kOutline = 0x000000;

void tap(int vk) {
  hl::pressKey(vk);
  hl::releaseKey(vk);
}

class CountersTest : public DisplayTest {
protected:
  bool idle() const { return !form->timerPending() && hl::timerDue(*form) < 0; }
  std::uint32_t countOf(int slot) const { return form->counts()[slot]; }
  void chooseFromMenu(int position) {
    hl::queueMenuChoice(position);
    form->PicView.userMouseUp(static_cast<int>(plat::MouseButtons::Right), 0, 10, 10);
  }
};

TEST_F(CountersTest, OnlyAKeyDownOfAProfileKeyThatWasUpIsAPress) {
  form->minLitMs = 34;  // the clock stands still: every release below starts a hold
  struct Step {
    const char* what;
    void (*events)(Form1&);
    std::uint32_t a, s;  // the counts after it
  } steps[] = {
      {"a tap", [](Form1&) { tap(kVkA); }, 1, 0},
      {"held while the keyboard repeats it",
       [](Form1&) {
         for (int i = 0; i < 4; ++i) hl::pressKey(kVkA);
         hl::releaseKey(kVkA);
       },
       2, 0},
      {"tapped twice within the minimum lit time", [](Form1&) {
         tap(kVkA);
         tap(kVkA);
       }, 4, 0},
      {"held across a redraw that asks the keyboard",
       [](Form1& f) {
         hl::pressKey(kVkA);
         f.userKeysMayBeStale();
         hl::pressKey(kVkA);
         hl::releaseKey(kVkA);
       },
       5, 0},
      {"S repeating while A is held",
       [](Form1&) {
         hl::pressKey(kVkA);
         hl::pressKey(kVkS);
         hl::pressKey(kVkS);
         hl::releaseKey(kVkS);
         hl::releaseKey(kVkA);
       },
       6, 1},
      {"a key outside the profile", [](Form1&) { tap(kVkQ); }, 6, 1},
      {"a release without its press", [](Form1&) { hl::releaseKey(kVkS); }, 6, 1},
  };
  for (const Step& s : steps) {
    s.events(*form);
    EXPECT_EQ(countOf(kSlotA), s.a) << s.what;
    EXPECT_EQ(countOf(kSlotS), s.s) << s.what;
  }
  EXPECT_EQ(form->counters.count(kVkQ), 0u) << "a key outside the profile is not kept";
  EXPECT_EQ(form->kps(), 7) << "every press within the same instant";
}

TEST_F(CountersTest, KpsHoldsThePressesOfTheLastSecondAndTheTimerLetsThemGo) {
  // The presses are whole milliseconds apart, as the timer counts, so it runs out on the
  // microsecond a press leaves. Watched (the window's counters on) the timer keeps the figure current; unwatched it is
  // exact when read and nothing runs.
  for (bool watched : {true, false}) {
    SCOPED_TRACE(watched ? "counters shown" : "counters not shown");
    form->showCounters = watched;
    form->mnuResetCounters_Click();
    const long long t0 = hl::now();
    const struct {
      long long at;
      int kps;
    } presses[] = {{0, 1}, {400 * kMs, 2}, {999 * kMs, 3}, {1000 * kMs, 3}, {1100 * kMs, 4}};
    for (const auto& p : presses) {
      hl::advanceClock(t0 + p.at - hl::now());
      tap(p.at % 2000 ? kVkS : kVkA);
      EXPECT_EQ(form->kps(), p.kps) << "after the press at " << p.at << " us";
    }
    EXPECT_EQ(form->peak(), 4);
    EXPECT_EQ(watched ? hl::timerDue(*form) : -1, watched ? t0 + 1'400'000 : -1)
        << "due when the oldest press left (the one at 400 ms)";

    const struct {
      long long at;
      int kps;
    } falls[] = {{1'399'999, 4}, {1'400'000, 3}, {1'998'999, 3}, {1'999'000, 2},
                 {1'999'999, 2}, {2'000'000, 1}, {2'099'999, 1}, {2'100'000, 0}, {5'000'000, 0}};
    for (const auto& f : falls) {
      hl::advanceClock(t0 + f.at - hl::now());
      EXPECT_EQ(form->kps(), f.kps) << "at " << f.at << " us";
      if (watched) {
        EXPECT_EQ(form->counters.kps(), f.kps) << "the timer missed a press leaving";
      }
    }
    EXPECT_EQ(form->peak(), 4);
    EXPECT_TRUE(idle()) << "KPS at 0: nothing runs";
  }
}

TEST(KeyCounters, ABurstBeyondTheKeptTimesStillCountsEveryPress) {
  KeyCounters c;
  constexpr int kBurst = KeyCounters::kKeptPresses + 500;
  for (int i = 0; i < kBurst; ++i) c.press(kVkA, 1000 + i);
  EXPECT_EQ(c.count(kVkA), static_cast<std::uint32_t>(kBurst));
  EXPECT_EQ(c.kps(), KeyCounters::kKeptPresses);
  EXPECT_EQ(c.peak(), KeyCounters::kKeptPresses);
  EXPECT_EQ(c.nextLeaving(), 1000 + 500 + KeyCounters::kWindowMicros);
}

TEST_F(CountersTest, TheMenuResetsCountsAndPeakAndTheCellsShowZeroAgain) {
  form->showCounters = true;
  DrawAllKeys(*form);
  const plat::Surface atStart = grid();
  for (int i = 0; i < 12; ++i) tap(kVkA);
  tap(kVkS);
  ASSERT_EQ(countOf(kSlotA), 12u);
  ASSERT_FALSE(std::equal(grid().data(), grid().data() + grid().width() * grid().height(), atStart.data()));
  chooseFromMenu(6);  // after the stream page's item and its three
  EXPECT_EQ(form->counts(), (std::array<std::uint32_t, kSlotsPerProfile>{}));
  EXPECT_EQ(form->kps(), 0);
  EXPECT_EQ(form->peak(), 0);
  EXPECT_TRUE(std::equal(grid().data(), grid().data() + grid().width() * grid().height(), atStart.data()))
      << "the grid is not the one of a fresh start";
  EXPECT_TRUE(idle());
  tap(kVkA);
  EXPECT_EQ(countOf(kSlotA), 1u);
  EXPECT_EQ(form->peak(), 1);
}

TEST_F(CountersTest, ACountStaysWithItsKeyWhenTheProfileChanges) {
  for (int i = 0; i < 3; ++i) tap(kVkA);
  tap(kVkSpace);
  tap(kVkQ);  // not in this profile: not counted, so 0 in the next
  useProfile({kVkQ, kVkSpace, kVkA}, 3, 1);
  EXPECT_EQ(countOf(0), 0u);
  EXPECT_EQ(countOf(1), 1u);
  EXPECT_EQ(countOf(2), 3u);
  tap(kVkQ);
  useProfile({16, 87, 32, 65, 83, 68}, 3, 2);
  EXPECT_EQ(countOf(kSlotA), 3u);
  EXPECT_EQ(countOf(2), 1u);
  EXPECT_EQ(form->counters.count(kVkQ), 1u);
}

// The count block of "40" in the bottom-right corner of a cell, one font pixel clear of its
// edges: '#' ink, 'o' outline, '.' the key's own picture.
constexpr const char* kForty[] = {
    "ooooooooo", "o#o#o###o", "o#o#o#o#o", "o###o#o#o", "ooo#o#o#o", "..o#o###o", "..ooooooo",
};
constexpr int kFortyLeft = CellSize - 1 - 9, kFortyTop = CellSize - 1 - 7;

TEST_F(CountersTest, ACellShowsItsCountInOutlinedDigitsAtEveryScaleAndNothingElseChanges) {
  const struct {
    bool shown;
    int dpi;
  } cases[] = {{false, 96}, {true, 96}, {true, 192}, {false, 192}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.shown ? "shown" : "not shown") << " at " << c.dpi << " dpi");
    form->showCounters = c.shown;
    form->mnuResetCounters_Click();
    hl::setMonitorDpi(c.dpi);
    applyMonitorScale(*form, form->monitorDpi());
    const plat::Surface skin = uniqueSkin();
    form->PicKeys = skin;
    form->skinScale = 1;
    scaleSkinToGrid(*form);
    LayoutGrid(*form, CurCols, CurRows);
    DrawAllKeys(*form);
    for (int i = 0; i < 40; ++i) tap(kVkA);

    const int s = form->gridScale;
    const int x0 = (kSlotA % 3) * CellSize * s, y0 = (kSlotA / 3) * CellSize * s;
    int wrong = 0;
    for (int y = 0; y < CellSize * s && wrong < 5; ++y)
      for (int x = 0; x < CellSize * s && wrong < 5; ++x) {
        const int fx = x / s - kFortyLeft, fy = y / s - kFortyTop;
        const char font = c.shown && fx >= 0 && fx < 9 && fy >= 0 && fy < 7 ? kForty[fy][fx] : '.';
        const plat::Pixel want = font == '#'   ? kInk
                                 : font == 'o' ? kOutline
                                               : skin.at(CellSize * kACell + x / s, y / s);
        if (grid().at(x0 + x, y0 + y) != want) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") of A's cell: " << std::hex
                        << grid().at(x0 + x, y0 + y) << ", not " << want;
          ++wrong;
        }
      }
  }
}

}  // namespace
}  // namespace lumatap::testing
