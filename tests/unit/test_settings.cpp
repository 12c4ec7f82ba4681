// lumatap.ini: where the window stood, its frame, the skin and the profile, between runs.
#include <memory>

#include "app/iniReadWrite.h"
#include "app/settings.h"
#include "display/form1.h"
#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

class SettingsTest : public testing::ProgramFolderTest {
protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    form_ = std::make_unique<Form1>();
    TwipsX = TwipsY = 15;
  }
  void TearDown() override {
    form_.reset();
    ProgramFolderTest::TearDown();
  }
  Form1& form() { return *form_; }
  void read(const std::string& utf8) {
    writeText("lumatap.ini", utf8);
    ReadSettings(*form_);
  }
  std::string stored(const char* section, const char* key) {
    return IniRead(section, key, "(missing)", programPath("\\lumatap.ini"));
  }
  bool captionShown() { return form().framed(); }

  std::unique_ptr<Form1> form_;
};

TEST_F(SettingsTest, PositionIsReadInPixelsAndWrittenBackFromTheTwipsItGave) {
  struct Case {
    std::string number;
    int twipsPerPixel;
    int pixel;        // where the window stands
    std::string out;  // what the end writes
  } cases[] = {
      {"100", 15, 100, "100"},
      {"101.93", 15, 102, "101"},   // 1529 twips stand at pixel 102 and are 101.9 pixels
      {"-101.9", 15, -102, "-102"}, // -1528 twips: rounded down is toward minus infinity
      {"-3", 15, -3, "-3"},
      {"", 15, 0, "0"},
      {"abc", 15, 0, "0"},
      {"&H10", 15, 16, "16"},
      {"2.5", 1, 2, "2"},           // halves go to the even neighbour
      {"3.5", 1, 4, "4"},
      {"-2.5", 1, -2, "-2"},
      {"0.1", 15, 0, "0"},
      {"7", 12, 7, "7"},
      {"1e9", 15, 32767, "32767"},  // held to the 16 bits the file keeps
      {"-99999", 15, -32768, "-32768"},
  };
  for (const Case& c : cases) {
    form_ = std::make_unique<Form1>();
    TwipsX = TwipsY = static_cast<int16>(c.twipsPerPixel);
    read("[window]\r\nX=" + c.number + "\r\nY=" + c.number + "\r\n");
    EXPECT_EQ(form().left(), c.pixel) << c.number;
    EXPECT_EQ(form().top(), c.pixel) << c.number;
    WriteSettings(*form_);
    EXPECT_EQ(stored("window", "X"), c.out) << c.number;
    EXPECT_EQ(stored("window", "Y"), c.out) << c.number;
  }
}

TEST_F(SettingsTest, AWindowTheUserMovedIsWrittenWhereItNowStands) {
  read("[window]\r\nX=101.93\r\nY=50\r\n");
  form().userMoved(-200, 31);
  WriteSettings(*form_);
  EXPECT_EQ(stored("window", "X"), "-200");
  EXPECT_EQ(stored("window", "Y"), "31");
  // The window is moved back to where the settings put it: their twips count again.
  form().userMoved(102, 50);
  WriteSettings(*form_);
  EXPECT_EQ(stored("window", "X"), "101");
}

TEST_F(SettingsTest, AFrameValueOtherThanZeroSwitchesTheFrameOff) {
  struct Case {
    std::string value;
    bool frameless;
  } cases[] = {
      {"1", true},  {"2", true},   {"-1", true},  {"0.5", true}, {"0", false},
      {"", false},  {"abc", false}, {"0.0", false},
  };
  for (const Case& c : cases) {
    form_ = std::make_unique<Form1>();
    Frameless = false;
    read("[window]\r\nframe=" + c.value + "\r\n");
    EXPECT_EQ(Frameless, c.frameless) << c.value;
    EXPECT_EQ(captionShown(), !c.frameless) << c.value;
    WriteSettings(*form_);
    EXPECT_EQ(stored("window", "frame"), c.frameless ? "1" : "0") << c.value;
  }
}

TEST_F(SettingsTest, MissingValuesTakeTheirDefaults) {
  struct Case {
    const char* what;
    std::string file;
    std::string skin, profile;
  } cases[] = {
      {"only the key section", "[key]\r\nprofile=東方弾幕風\r\n", "default", "東方弾幕風"},
      {"empty values", "[style]\r\nskin=\r\n[key]\r\nprofile=  \r\n", "default", "WASDスタンダード"},
      {"a skin whose folder does not exist", "[style]\r\nskin=どこにもない\r\n", "どこにもない",
       "WASDスタンダード"},
      {"names in other case", "[STYLE]\r\nSKIN=WASD黒ルコ\r\n[Key]\r\nProfile=OSU！用ZXキー\r\n",
       "WASD黒ルコ", "OSU！用ZXキー"},
  };
  for (const Case& c : cases) {
    form_ = std::make_unique<Form1>();
    form().move(300, 200, 160, 120);
    read(c.file);
    EXPECT_EQ(form().left(), 0) << c.what;
    EXPECT_EQ(form().top(), 0) << c.what;
    EXPECT_FALSE(Frameless) << c.what;
    EXPECT_TRUE(captionShown()) << c.what;
    EXPECT_EQ(SkinName, c.skin) << c.what;
    EXPECT_EQ(ProfileName, c.profile) << c.what;
  }
}

TEST_F(SettingsTest, TheFirstEndCreatesTheFileWithAllFiveValuesInOrder) {
  form().userMoved(10, -20);
  Frameless = true;
  SkinName = "WASD黒ルコ";
  ProfileName = "矢印スタンダード";
  WriteSettings(*form_);
  EXPECT_EQ(readText("lumatap.ini"),
            "[window]\r\nX=10\r\nY=-20\r\nframe=1\r\n[style]\r\nskin=WASD黒ルコ\r\n"
            "[key]\r\nprofile=矢印スタンダード\r\n");
}

TEST_F(SettingsTest, EndingRewritesAllFiveKeysAndKeepsEverythingElse) {
  const std::string before =
      "; 自分用メモ\r\n[Window]\r\nx = 5\r\nextra=keep\r\n\r\n[other]\r\na=b\r\n[key]\r\nprofile=P\r\n";
  read(before);
  WriteSettings(*form_);
  EXPECT_EQ(readText("lumatap.ini"),
            "; 自分用メモ\r\n[Window]\r\nx = 5\r\nextra=keep\r\nY=0\r\nframe=0\r\n\r\n[other]\r\na=b\r\n"
            "[key]\r\nprofile=P\r\n[style]\r\nskin=default\r\n");
}

TEST_F(SettingsTest, SkinAndProfileNamesReadBackExactlyAsTheyWereWritten) {
  const char* names[] = {"WASD黒ルコ", " 先頭に空白", "末尾に空白 ", "\"引用\"", "'single'",
                         "a\"b",      "全角空白　",   "\"",          "'x\""};
  for (const char* name : names) {
    SkinName = name;
    ProfileName = name;
    WriteSettings(*form_);
    SkinName.clear();
    ProfileName.clear();
    ReadSettings(*form_);
    EXPECT_EQ(SkinName, name);
    EXPECT_EQ(ProfileName, name);
  }
}

TEST_F(SettingsTest, ASettingsFileThatCannotBeWrittenIsNamedAndKeptWhole) {
  struct Case {
    const char* what;
    bool folder;  // lumatap.ini is a folder; otherwise the file beside it cannot be made
  } cases[] = {{"a folder of that name", true}, {"no room for the new file", false}};
  for (const Case& c : cases) {
    plat::headless::reset();
    std::filesystem::remove_all(path("lumatap.ini"));
    if (c.folder) {
      std::filesystem::create_directories(path("lumatap.ini"));
    } else {
      writeBytes("lumatap.ini", "[window]\r\nX=1\r\n");
      std::filesystem::create_directories(path("lumatap.ini.tmp~"));
    }
    form().userMoved(50, 60);
    WriteSettings(*form_);
    ASSERT_EQ(plat::headless::shownBoxes().size(), 1u) << c.what << ": one message for the file";
    const plat::headless::ShownBox& box = plat::headless::shownBoxes()[0];
    EXPECT_EQ(box.text, "ファイルを保存できませんでした。\r\n" + programPath("\\lumatap.ini")) << c.what;
    EXPECT_EQ(box.title, "Lumatap");
    EXPECT_EQ(box.icon, plat::MsgIcon::Exclamation);
    if (!c.folder) {
      EXPECT_EQ(readBytes("lumatap.ini"), "[window]\r\nX=1\r\n") << c.what;
    }
    std::filesystem::remove_all(path("lumatap.ini.tmp~"));
  }
}

TEST_F(SettingsTest, DisplaySettingsAreReadAndBadValuesKeepTheirDefaults) {
  const plat::Color grey = kGridBackground;
  struct Case {
    std::string section;  // the [display] lines
    int minLit;
    plat::Color back;
    bool seeThrough;
    bool counters = false;
  } cases[] = {
      {"", kDefaultMinLitMs, grey, false},
      {"minLitMs=0\r\nbackColor=00FF00\r\nseeThrough=1\r\ncounters=1\r\n", 0, plat::rgb(0, 255, 0), true, true},
      {"minLitMs=1000\r\nbackColor=#ff00Ff\r\nseeThrough=0\r\ncounters=0\r\n", 1000, plat::rgb(255, 0, 255), false},
      {"minLitMs= 50 \r\nbackColor=\"123456\"\r\n", 50, plat::rgb(0x12, 0x34, 0x56), false},
      // Text, signs, fractions, out of range, wrong lengths: the defaults, one by one.
      {"minLitMs=abc\r\nbackColor=green\r\nseeThrough=yes\r\ncounters=yes\r\n", kDefaultMinLitMs, grey, false},
      {"minLitMs=-5\r\nbackColor=12345\r\nseeThrough=2\r\ncounters=2\r\n", kDefaultMinLitMs, grey, false},
      {"minLitMs=1001\r\nbackColor=1234567\r\nseeThrough=-1\r\ncounters=-1\r\n", kDefaultMinLitMs, grey, false},
      {"minLitMs=3.5\r\nbackColor=#\r\nseeThrough=1.0\r\ncounters=1.0\r\n", kDefaultMinLitMs, grey, false},
      {"minLitMs=99999999999999\r\nbackColor=0x00FF00\r\nseeThrough=\r\n", kDefaultMinLitMs, grey, false},
      {"minLitMs=&H10\r\nbackColor=GGGGGG\r\n", kDefaultMinLitMs, grey, false},
  };
  for (const Case& c : cases) {
    form_ = std::make_unique<Form1>();
    read("[window]\r\nX=0\r\n[display]\r\n" + c.section);
    EXPECT_EQ(form().minLitMs, c.minLit) << c.section;
    EXPECT_EQ(form().gridBackground, c.back) << c.section;
    EXPECT_EQ(form().seeThrough, c.seeThrough) << c.section;
    EXPECT_EQ(form().showCounters, c.counters) << c.section;
    // See-through is the background colour keyed out, whatever that colour is.
    EXPECT_EQ(form().colorKeyed(), c.seeThrough) << c.section;
    if (c.seeThrough) {
      EXPECT_EQ(form().colorKey(), c.back) << c.section;
    }
  }
}

TEST_F(SettingsTest, TheEndNeverWritesTheDisplaySettingsAndKeepsTheUsers) {
  // No [display] section: none appears.
  read("[window]\r\nX=10\r\n");
  WriteSettings(form());
  EXPECT_EQ(readText("lumatap.ini").find("display"), std::string::npos);
  EXPECT_EQ(stored("display", "minLitMs"), "(missing)");

  // The user's section survives the end as written, values the program rejects included.
  read("[window]\r\nX=10\r\n[display]\r\nminLitMs=80\r\nbackColor=00FF00\r\nseeThrough=oops\r\n");
  WriteSettings(form());
  EXPECT_EQ(stored("display", "minLitMs"), "80");
  EXPECT_EQ(stored("display", "backColor"), "00FF00");
  EXPECT_EQ(stored("display", "seeThrough"), "oops");
  form_ = std::make_unique<Form1>();
  ReadSettings(form());
  EXPECT_EQ(form().minLitMs, 80);
  EXPECT_EQ(form().gridBackground, plat::rgb(0, 255, 0));
}

}  // namespace
}  // namespace lumatap
