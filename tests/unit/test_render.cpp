// Lighting keys on the grid: pixels compared against the skin's cells.
#include "tests/unit/display_fixture.h"

namespace lumatap {
namespace {

using RenderTest = testing::DisplayTest;
using testing::kVkA;
using testing::kVkQ;
using testing::kVkS;
using testing::kWasdKeys;

TEST_F(RenderTest, TheWindowsLoadDrawsTheBuiltInProfileFromTheShippedSkin) {
  namespace fs = std::filesystem;
  const fs::path assets = fs::path(LUMATAP_SOURCE_DIR) / "assets";
  fs::copy(assets / "keylist.dat", path("keylist.dat"));
  fs::copy(assets / "skin", path("skin"), fs::copy_options::recursive);
  struct Case {
    plat::MsgAnswer firstRun;
    int width, height;
  } cases[] = {{plat::MsgAnswer::Yes, 144, 96}, {plat::MsgAnswer::No, 144 + 8, 96 + 17 + 8}};
  for (const Case& c : cases) {
    plat::headless::reset();
    plat::headless::queueAnswer(c.firstRun);
    program.reset();
    resetSharedState();
    program = std::make_unique<Program>();
    form = &program->form;
    form->load();
    program->Form_Load();
    ASSERT_EQ(form->PicKeys.width(), 4080);
    EXPECT_EQ(form->width(), c.width);
    EXPECT_EQ(form->height(), c.height);
    for (int slot = 0; slot < 6; ++slot) {
      EXPECT_TRUE(showsCell(48 * (slot % 3), 48 * (slot / 3), kWasdKeys[slot].cell, false));
    }
    plat::headless::pressKey(kVkA);
    EXPECT_TRUE(showsCell(0, 48, 1, true));
    // Released at once, it stays lit for the default minimum and goes out then.
    plat::headless::releaseKey(kVkA);
    EXPECT_TRUE(showsCell(0, 48, 1, true));
    plat::headless::advanceClock(1000LL * kDefaultMinLitMs);
    EXPECT_TRUE(showsCell(0, 48, 1, false));
    EXPECT_FALSE(form->timerPending());
  }
}

TEST_F(RenderTest, HoldingAKeyLightsOnlyItsCellUntilReleased) {
  for (int pressed = 0; pressed < 6; ++pressed) {
    long presents = form->PicView.presentCount();
    plat::headless::pressKey(kWasdKeys[pressed].code);
    EXPECT_EQ(form->PicView.presentCount(), presents + 1);
    for (int slot = 0; slot < 6; ++slot) {
      EXPECT_TRUE(showsCell(48 * (slot % 3), 48 * (slot / 3), kWasdKeys[slot].cell, slot == pressed))
          << kWasdKeys[pressed].name << " held, slot " << slot;
    }
    plat::headless::releaseKey(kWasdKeys[pressed].code);
    EXPECT_EQ(form->PicView.presentCount(), presents + 2);
    EXPECT_TRUE(showsCell(48 * (pressed % 3), 48 * (pressed / 3), kWasdKeys[pressed].cell, false));
  }
  // A: the first cell of the second row.
  plat::headless::pressKey(kVkA);
  EXPECT_TRUE(showsCell(0, 48, 1, true));
}

TEST_F(RenderTest, AKeyInTwoSlotsLightsBoth) {
  useProfile({kVkA, kVkS, kVkA}, 3, 1);
  plat::headless::pressKey(kVkA);
  EXPECT_TRUE(showsCell(0, 0, 1, true));
  EXPECT_TRUE(showsCell(48, 0, 19, false));
  EXPECT_TRUE(showsCell(96, 0, 1, true));
  plat::headless::releaseKey(kVkA);
  EXPECT_TRUE(showsCell(0, 0, 1, false));
  EXPECT_TRUE(showsCell(96, 0, 1, false));
}

TEST_F(RenderTest, AKeyOutsideTheProfileChangesNothingButIsStillPresented) {
  plat::Surface before = grid();
  long presents = form->PicView.presentCount();
  plat::headless::pressKey(kVkQ);
  plat::headless::releaseKey(kVkQ);
  EXPECT_EQ(form->PicView.presentCount(), presents + 2);
  EXPECT_TRUE(std::equal(before.data(), before.data() + 144 * 96, grid().data()));
}

TEST_F(RenderTest, CellsBeyondTheKeyCountStayBackground) {
  useProfile({16, 87, 32, 65, 83}, 3, 2);
  EXPECT_TRUE(showsBackground(96, 48));
  plat::headless::pressKey(kVkS);
  plat::headless::pressKey(68);  // D is no longer in the profile
  EXPECT_TRUE(showsCell(48, 48, 19, true));
  EXPECT_TRUE(showsBackground(96, 48));
}

TEST_F(RenderTest, KeysWithoutAPictureOfTheirOwnShowCellZeroOrBackground) {
  struct Case {
    int16 code;
    int16 cell;  // KeyDefs entry, -1 for none
    bool background;
  } cases[] = {
      {200, -1, false},  // no definition: the empty entry's cell 0
      {300, -1, false},  // a damaged setting.dat: past the table, also cell 0
      {-5, -1, false},
      {90, 84, false},   // the last cell of a complete skin
      {91, 85, true},    // past the end of the skin image
      {92, -3, true},    // before its start
  };
  for (const Case& c : cases) {
    if (c.cell != -1) KeyDefs[c.code] = KeyDef{c.cell, "x", true};
    useProfile({c.code}, 1, 1);
    if (c.background) {
      EXPECT_TRUE(showsBackground(0, 0)) << c.code;
    } else {
      EXPECT_TRUE(showsCell(0, 0, c.cell == -1 ? 0 : c.cell, false)) << c.code;
    }
  }
}

TEST_F(RenderTest, ACellCutOffByANarrowSkinShowsBackgroundWhereTheImageEnds) {
  form->PicKeys = testing::uniqueSkin(2);
  form->PicKeys.resize(48 + 20, 96);  // cell 1 only 20 pixels wide
  useProfile({kVkA}, 1, 1);
  for (int y : {0, 47})
    for (int x : {0, 19, 20, 47}) {
      plat::Pixel want = x < 20 ? form->PicKeys.at(48 + x, y) : testing::kBackground;
      EXPECT_EQ(grid().at(x, y), want) << x << "," << y;
    }
}

TEST_F(RenderTest, AReflowMovesSlotsAndAFullRedrawReleasesHeldKeys) {
  plat::headless::pressKey(kVkA);
  form->userResized(96 + 8, 144 + 17 + 8);  // framed, to a 2 × 3 grid
  ASSERT_EQ(CurCols, 2);
  EXPECT_TRUE(showsCell(0, 48, 56, false));   // slot 2, Space, from (96, 0)
  EXPECT_TRUE(showsCell(48, 48, 1, false));   // A, held, drawn released
  plat::headless::pressKey(kVkA);             // until its next auto-repeat
  EXPECT_TRUE(showsCell(48, 48, 1, true));
}

TEST_F(RenderTest, ADamagedKeyCountNeverReadsPastTheTwelveSlots) {
  ProfKeys[1][0] = kVkQ;  // lies right after profile 0's slot 11
  KeyDefs[kVkQ] = KeyDef{17, "Q", true};
  useProfile({65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 65}, 4, 4);
  for (int16 count : {13, 100, 32767}) {
    ProfKeyCounts[0] = count;
    DrawAllKeys(*form);
    plat::headless::pressKey(kVkQ);
    EXPECT_TRUE(showsCell(144, 96, 1, false)) << count;  // slot 11
    EXPECT_TRUE(showsBackground(0, 144)) << count;       // where slot 12 would be
  }
  for (int16 count : {0, -1, -32768}) {
    ProfKeyCounts[0] = count;
    DrawAllKeys(*form);
    plat::headless::pressKey(kVkA);
    EXPECT_TRUE(showsBackground(0, 0)) << count;
  }
}

TEST_F(RenderTest, AGridWithoutColumnsOrAProfileOutOfRangeDrawsNothing) {
  struct Case {
    int16 cols, rows, profile;
  } cases[] = {{0, 2, 0}, {-3, 2, 0}, {3, 0, 0}, {3, 2, 10}, {3, 2, -1}};
  for (const Case& c : cases) {
    CurProfile = c.profile;
    CurCols = c.cols;
    CurRows = c.rows;
    LayoutGrid(*form, c.cols, c.rows);
    long presents = form->PicView.presentCount();
    DrawAllKeys(*form);
    plat::headless::pressKey(kVkA);
    EXPECT_EQ(form->PicView.presentCount(), presents + 2);
    if (c.cols > 0 && c.rows > 0) {
      EXPECT_TRUE(showsBackground(0, 0));
    }
  }
}

}  // namespace
}  // namespace lumatap
