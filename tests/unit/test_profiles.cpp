// setting.dat: the profiles the user keeps, created from the built-in table on the first
// start, read at load and written back at the end.
#include "app/keydefs.h"
#include "app/profiles.h"
#include "display/form1.h"
#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

using Slots = std::vector<int>;

class ProfilesTest : public testing::ProgramFolderTest {
protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    plat::setApplicationTitle("Lumatap");  // as the display window does at the start
    writeText("keylist.dat",
              "16\t53\tShift\r\n87\t23\tW\r\n32\t56\tSpace\r\n65\t1\tA\r\n83\t19\tS\r\n"
              "68\t4\tD\r\n38\t50\t↑\r\n37\t49\t←\r\n40\t52\t↓\r\n39\t51\t→\r\n"
              "90\t26\tZ\r\n88\t24\tX\r\n49\t27\t1\r\n50\t28\t2\r\n51\t29\t3\r\n52\t30\t4\r\n"
              "53\t31\t5\r\n54\t32\t6\r\n55\t33\t7\r\n56\t34\t8\r\n57\t35\t9\r\n48\t36\t0\r\n");
    LoadKeyDefs();
  }
  void load(const std::string& utf8) {
    writeText("setting.dat", utf8);
    LoadProfiles();
  }
  int profileCount() const {
    int n = 0;
    while (n < kMaxProfiles && !ProfTitles[n].empty()) ++n;
    return n;
  }
  Slots slots(int p, int n) const {
    Slots s;
    for (int i = 0; i < n; ++i) s.push_back(ProfKeys[p][i]);
    return s;
  }
  std::string saved() {
    SaveProfiles();
    return readText("setting.dat");
  }
};

TEST_F(ProfilesTest, FirstStartCreatesTheFileFromTheBuiltInTableByteForByte) {
  ProfileName = "WASDスタンダード";
  LoadProfiles();
  const std::string bytes = readBytes("setting.dat");
  EXPECT_EQ(bytes.size(), 163u);
  EXPECT_EQ(bytes, plat::toCp932(Form1::TxtSetting));

  ASSERT_EQ(profileCount(), 4);
  struct Row {
    const char* title;
    int count, cols, rows;
    Slots keys;
  } rows[] = {
      {"WASDスタンダード", 6, 3, 2, {16, 87, 32, 65, 83, 68}},
      {"矢印スタンダード", 6, 3, 2, {16, 38, 32, 37, 40, 39}},
      {"東方弾幕風", 8, 4, 2, {16, 38, 90, 88, 37, 40, 39, 32}},
      {"OSU！用ZXキー", 2, 2, 1, {90, 88}},
  };
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(ProfTitles[p], rows[p].title);
    EXPECT_EQ(ProfKeyCounts[p], rows[p].count) << p;
    EXPECT_EQ(ProfCols[p], rows[p].cols) << p;
    EXPECT_EQ(ProfRows[p], rows[p].rows) << p;
    EXPECT_EQ(slots(p, rows[p].count), rows[p].keys) << p;
  }
  EXPECT_EQ(CurProfile, 0);
  // Written back unchanged, the file is the same 163 bytes, and nothing is kept beside it.
  SaveProfiles();
  EXPECT_EQ(readBytes("setting.dat"), bytes);
  EXPECT_FALSE(exists("setting.dat.bak"));
}

TEST_F(ProfilesTest, TheCurrentProfileIsTheLastOneWhoseTitleMatches) {
  struct Case {
    std::string profileName;
    int current;
  } cases[] = {
      {"WASDスタンダード", 0}, {"矢印スタンダード", 1}, {"OSU！用ZXキー", 3},
      {"no such title", 0},   {"wasdスタンダード", 0},  {"Twice", 6},
  };
  for (const Case& c : cases) {
    resetSharedState();
    LoadKeyDefs();
    ProfileName = c.profileName;
    load(std::string(Form1::TxtSetting) + "Twice\t1\t1:1\tA\r\nOther\t1\t1:1\tA\r\nTwice\t1\t1:1\tW\r\n");
    EXPECT_EQ(CurProfile, c.current) << c.profileName;
    EXPECT_EQ(ProfileName, c.profileName) << "an unmatched title stays for the settings file";
  }
}

TEST_F(ProfilesTest, FieldsAreReadByTheirRules) {
  struct Case {
    const char* what;
    std::string line;
    int count, cols, rows;
    Slots keys;  // the first slots, as many as given
  } cases[] = {
      {"4:2", "t\t8\t4:2\tShift\t↑\tZ\tX\t←\t↓\t→\tSpace", 8, 4, 2, {16, 38, 90, 88, 37, 40, 39, 32}},
      {"a third layout part is ignored", "t\t2\t3:2:9\tZ\tX", 2, 3, 2, {90, 88}},
      {"numbers with fractions and blanks", "t\t 2.9 \t2.5 : 1.9\tZ\tX", 2, 2, 1, {90, 88}},
      {"only as many names as the count", "t\t9\t3:3\t1\t2\t3\t4\t5\t6\t7\t8\t9\tA\tW", 9, 3, 3,
       {49, 50, 51, 52, 53, 54, 55, 56, 57, 0, 0}},
      {"a count of 0 still reads slot 0", "t\t0\t1:1\tW\tA", 0, 1, 1, {87, 0}},
      {"an unknown name leaves the slot at 0", "t\t3\t3:1\tW\tnone\tA", 3, 3, 1, {87, 0, 65}},
      {"names are matched exactly", "t\t2\t2:1\tshift\tShift ", 2, 2, 1, {0, 0}},
      {"fewer names than the count", "t\t4\t2:2\tW\tA", 4, 2, 2, {87, 65, 0, 0}},
      {"a count above 12 is held to 12", "t\t20\t4:3\t1\t2\t3\t4\t5\t6\t7\t8\t9\t0\tA\tW\tS", 12, 4, 3,
       {49, 50, 51, 52, 53, 54, 55, 56, 57, 48, 65, 87}},
      {"a negative count stays as read", "t\t-3\t1:1\tW", -3, 1, 1, {87}},
      {"a grid side below 1 is held to 1", "t\t1\t0:-2\tW", 1, 1, 1, {87}},
      {"a layout with nothing after ':'", "t\t1\t2:\tW", 1, 2, 1, {87}},
  };
  for (const Case& c : cases) {
    resetSharedState();
    LoadKeyDefs();
    load(c.line + "\r\n");
    ASSERT_EQ(profileCount(), 1) << c.what;
    EXPECT_EQ(ProfKeyCounts[0], c.count) << c.what;
    EXPECT_EQ(ProfCols[0], c.cols) << c.what;
    EXPECT_EQ(ProfRows[0], c.rows) << c.what;
    EXPECT_EQ(slots(0, static_cast<int>(c.keys.size())), c.keys) << c.what;
  }
}

TEST_F(ProfilesTest, LinesThatCannotBeTakenApartAreSkippedAndTheRestIsKept) {
  struct Case {
    const char* what;
    std::string line;
  } cases[] = {
      {"an empty line", ""},
      {"no TAB", "title only"},
      {"no layout", "t\t2"},
      {"a layout without ':'", "t\t2\t3\tZ\tX"},
      {"a count beyond 16 bits", "t\t40000\t3:2\tZ"},
      {"columns beyond 16 bits", "t\t2\t99999:1\tZ\tX"},
      {"an empty title", "\t2\t2:1\tZ\tX"},
  };
  for (const Case& c : cases) {
    resetSharedState();
    LoadKeyDefs();
    ProfileName = "B";
    load("A\t1\t1:1\tW\r\n" + c.line + "\r\nB\t2\t2:1\tZ\tX\r\n");
    ASSERT_EQ(profileCount(), 2) << c.what;
    EXPECT_EQ(ProfTitles[1], "B") << c.what;
    EXPECT_EQ(CurProfile, 1) << c.what;
    EXPECT_EQ(saved(), "A\t1\t1:1\tW\r\nB\t2\t2:1\tZ\tX\r\n") << c.what;
    // The old file is kept beside the new one, unless the line held nothing.
    if (c.line.empty()) {
      EXPECT_FALSE(exists("setting.dat.bak"));
    } else {
      EXPECT_EQ(readText("setting.dat.bak"), "A\t1\t1:1\tW\r\n" + c.line + "\r\nB\t2\t2:1\tZ\tX\r\n") << c.what;
    }
    std::filesystem::remove(path("setting.dat.bak"));
  }
}

TEST_F(ProfilesTest, OnlyTenProfilesAreReadAndTheyAreWhatIsSaved) {
  std::string file, expected;
  for (int i = 1; i <= 12; ++i) {
    std::string line = "P" + std::to_string(i) + "\t1\t1:1\tW\r\n";
    file += line;
    if (i <= 10) expected += line;
  }
  ProfileName = "P11";
  load(file);
  EXPECT_EQ(profileCount(), 10);
  EXPECT_EQ(CurProfile, 0) << "a title after the tenth line is not found";
  EXPECT_EQ(saved(), expected);
  EXPECT_EQ(readText("setting.dat.bak"), file) << "the two profiles left out are kept there";
}

TEST_F(ProfilesTest, SavingWritesExactlyTheKeysOfEachCount) {
  struct Case {
    int count;
    std::string line;
  } cases[] = {
      {3, "t\t3\t3:1\tW\tA\tS\r\n"},
      {1, "t\t1\t3:1\tW\r\n"},
      {0, "t\t0\t3:1\t\r\n"},
      {-2, "t\t-2\t3:1\t\r\n"},
  };
  for (const Case& c : cases) {
    ProfTitles[0] = "t";
    ProfKeyCounts[0] = static_cast<int16>(c.count);
    ProfCols[0] = 3;
    ProfRows[0] = 1;
    ProfKeys[0][0] = 87;
    ProfKeys[0][1] = 65;
    ProfKeys[0][2] = 83;
    EXPECT_EQ(saved(), c.line) << c.count;
  }
}

TEST_F(ProfilesTest, ANegativeCountIsWrittenBackAsReadWithNoKeys) {
  for (const char* count : {"-1", "-32768"}) {
    resetSharedState();
    LoadKeyDefs();
    load(std::string("t\t") + count + "\t2:1\tZ\r\nu\t1\t1:1\tW\r\n");
    EXPECT_EQ(saved(), std::string("t\t") + count + "\t2:1\t\r\nu\t1\t1:1\tW\r\n") << count;
  }
}

TEST_F(ProfilesTest, SavingStopsAtTheFirstFreeEntry) {
  load(Form1::TxtSetting);
  // The options dialog deleted the last two profiles.
  ProfTitles[2].clear();
  ProfTitles[3].clear();
  EXPECT_EQ(saved(),
            "WASDスタンダード\t6\t3:2\tShift\tW\tSpace\tA\tS\tD\r\n"
            "矢印スタンダード\t6\t3:2\tShift\t↑\tSpace\t←\t↓\t→\r\n");
}

TEST_F(ProfilesTest, KeysAreStoredByNameAndANameNoKeyHasAsItWasRead) {
  writeText("keylist.dat", "20\t1\tShift\r\n16\t53\tShift\r\n161\t54\tShift\r\n65\t1\tA\r\n");
  LoadKeyDefs();
  load("t\t5\t5:1\tShift\tA\tnone\tShift\r\n");
  EXPECT_EQ(slots(0, 5), (Slots{16, 65, 0, 16, 0})) << "the lowest code of a shared name";
  // The fifth name is missing from the line: that slot has no name to keep.
  EXPECT_EQ(saved(), "t\t5\t5:1\tShift\tA\tnone\tShift\t未設定\r\n");
  ProfKeys[0][1] = 300;  // never set by the program; stored like an unset slot
  EXPECT_EQ(saved(), "t\t5\t5:1\tShift\t未設定\tnone\tShift\t未設定\r\n");
}

TEST_F(ProfilesTest, WithAnEmptyOrDamagedKeyListEveryProfileIsSavedWithTheNamesItHad) {
  const std::string file =
      std::string(Form1::TxtSetting) + "空の名前\t3\t3:1\t\t未設定\tW\r\n負\t-1\t1:1\tZ\r\n";
  const std::string goodKeyList = readBytes("keylist.dat");
  for (const char* keylist : {"", "damaged\r\n300\t1\tW\r\n"}) {
    resetSharedState();
    writeText("keylist.dat", keylist);
    LoadKeyDefs();
    load(file);
    ASSERT_EQ(profileCount(), 6) << keylist;
    EXPECT_EQ(slots(0, 6), Slots(6, 0)) << "no key resolves";
    // A negative count writes no names, as with a good key list.
    EXPECT_EQ(saved(), std::string(Form1::TxtSetting) + "空の名前\t3\t3:1\t\t未設定\tW\r\n負\t-1\t1:1\t\r\n")
        << keylist;
  }
  // The next run with a good key list finds every key again.
  resetSharedState();
  writeBytes("keylist.dat", goodKeyList);
  LoadKeyDefs();
  LoadProfiles();
  EXPECT_EQ(slots(0, 6), (Slots{16, 87, 32, 65, 83, 68}));
  EXPECT_EQ(slots(4, 3), (Slots{0, 0, 87}));
}

TEST_F(ProfilesTest, AFileWithoutProfilesFallsBackToTheBuiltInTable) {
  struct Case {
    const char* what;
    std::string content;
    bool keptBeside;
  } cases[] = {
      {"empty", "", false},
      {"only blank lines", "\r\n\r\n", false},
      {"only damaged lines", "no tab\r\nt\t1\r\n", true},
  };
  for (const Case& c : cases) {
    resetSharedState();
    LoadKeyDefs();
    ProfileName = "東方弾幕風";
    load(c.content);
    EXPECT_EQ(profileCount(), 4) << c.what;
    EXPECT_EQ(CurProfile, 2) << c.what;
    EXPECT_EQ(ProfCols[CurProfile], 4) << c.what;
    EXPECT_EQ(readText("setting.dat"), c.content) << "nothing is written before the end";
    SaveProfiles();
    EXPECT_EQ(readBytes("setting.dat"), plat::toCp932(Form1::TxtSetting)) << c.what;
    EXPECT_EQ(exists("setting.dat.bak"), c.keptBeside) << c.what;
    if (c.keptBeside) {
      EXPECT_EQ(readText("setting.dat.bak"), c.content) << c.what;
    }
    std::filesystem::remove(path("setting.dat.bak"));
  }
}

TEST_F(ProfilesTest, TheOldFileIsKeptBesideTheNewOneWhenItHeldWhatCouldNotBeRead) {
  const std::string good = "A\t1\t1:1\tW\r\n";
  struct Case {
    const char* what;
    std::string old;  // bytes
    bool kept;
  } cases[] = {
      {"a good file", good, false},
      {"LF line ends and fractions", "A\t1.5\t1:1\tW\n", false},
      {"bytes that are no code page 932", good + "B\t1\t1:1\t\x82\x20\r\n", true},
      {"a lead byte at the very end", good + "\x82", true},
      {"a damaged line", good + "damaged\r\n", true},
  };
  for (const Case& c : cases) {
    resetSharedState();
    LoadKeyDefs();
    writeBytes("setting.dat.bak", "an older copy");
    writeBytes("setting.dat", c.old);
    LoadProfiles();
    ProfTitles[0] = "Changed";
    SaveProfiles();
    EXPECT_TRUE(plat::headless::shownBoxes().empty()) << c.what;
    EXPECT_EQ(readBytes("setting.dat.bak"), c.kept ? c.old : "an older copy") << c.what;
    EXPECT_EQ(readText("setting.dat").substr(0, 8), "Changed\t") << c.what;
    EXPECT_FALSE(exists("setting.dat.bak.tmp~")) << c.what;
  }
}

TEST_F(ProfilesTest, AFileThatCouldNotBeReadAtTheStartIsKeptWhenTheEndCanReadIt) {
  // Another program kept the file to itself while the program started; at the end it is
  // back, holding the user's profiles.
  std::filesystem::create_directories(path("setting.dat"));
  LoadProfiles();
  EXPECT_EQ(profileCount(), 4);
  std::filesystem::remove(path("setting.dat"));
  writeText("setting.dat", "Mine\t1\t1:1\tW\r\n");
  SaveProfiles();
  EXPECT_EQ(readText("setting.dat.bak"), "Mine\t1\t1:1\tW\r\n");
  EXPECT_EQ(readBytes("setting.dat"), plat::toCp932(Form1::TxtSetting));
}

TEST_F(ProfilesTest, AnOldFileThatCannotBeKeptIsNotReplaced) {
  load("A\t1\t1:1\tW\r\ndamaged\r\n");
  ProfTitles[0] = "Changed";
  std::filesystem::create_directories(path("setting.dat.bak"));  // no copy can go there
  SaveProfiles();
  EXPECT_EQ(readText("setting.dat"), "A\t1\t1:1\tW\r\ndamaged\r\n");
  ASSERT_EQ(plat::headless::shownBoxes().size(), 1u);
  EXPECT_EQ(plat::headless::shownBoxes()[0].text,
            "ファイルを保存できませんでした。\r\n" + programPath("\\setting.dat"));
}

TEST_F(ProfilesTest, AnUnreadableFileFallsBackAndTheEndReportsThatItCouldNotSave) {
  std::filesystem::create_directories(path("setting.dat"));
  LoadProfiles();
  EXPECT_EQ(profileCount(), 4);
  SaveProfiles();
  ASSERT_EQ(plat::headless::shownBoxes().size(), 1u);
  const plat::headless::ShownBox& box = plat::headless::shownBoxes()[0];
  EXPECT_EQ(box.text, "ファイルを保存できませんでした。\r\n" + programPath("\\setting.dat"));
  EXPECT_EQ(box.title, "Lumatap");
  EXPECT_EQ(box.icon, plat::MsgIcon::Exclamation);
  EXPECT_EQ(box.buttons, plat::MsgButtons::Ok);
  EXPECT_TRUE(std::filesystem::is_directory(path("setting.dat")));
}

TEST_F(ProfilesTest, AFailedSaveKeepsTheOldFileWhole) {
  load("A\t1\t1:1\tW\r\n");
  ProfTitles[0] = "Changed";
  // The new content goes to a file beside the old one first; here that file cannot be made.
  std::filesystem::create_directories(path("setting.dat.tmp~"));
  SaveProfiles();
  EXPECT_EQ(readText("setting.dat"), "A\t1\t1:1\tW\r\n");
  EXPECT_EQ(plat::headless::shownBoxes().size(), 1u);
}

}  // namespace
}  // namespace lumatap
