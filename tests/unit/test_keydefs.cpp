// keylist.dat: which key codes the program can show, in which skin cell, under which name.
#include <set>

#include "app/keydefs.h"
#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

using plat::headless::Terminated;

class KeyDefsTest : public testing::ProgramFolderTest {
protected:
  void load(const std::string& utf8) {
    writeText("keylist.dat", utf8);
    LoadKeyDefs();
  }
  void expectUnset(int code) {
    EXPECT_EQ(KeyDefs[code].Cell, 0) << code;
    EXPECT_EQ(KeyDefs[code].Name, "未設定") << code;
    EXPECT_FALSE(KeyDefs[code].Defined) << code;
  }
};

TEST_F(KeyDefsTest, EachLineDefinesOneKey) {
  struct Case {
    const char* what;
    std::string file;
    int code, cell;
    std::string name;
  } cases[] = {
      {"plain line", "65\t10\tA\r\n", 65, 10, "A"},
      {"the highest code and cell", "254\t84\tLast\r\n", 254, 84, "Last"},
      {"a fraction rounds down", "65.9\t10.7\tA\r\n", 65, 10, "A"},
      {"blanks in numbers do not count", " 6 5 \t 1 0 \tA\r\n", 65, 10, "A"},
      {"hexadecimal codes", "&H41\t3\tA\r\n", 65, 3, "A"},
      {"a code that is no number reads as 0", "junk\t3\tJ\r\n", 0, 3, "J"},
      {"the name is taken as it stands", "65\t10\t A b \r\n", 65, 10, " A b "},
      {"an empty name", "65\t10\t\r\n", 65, 10, ""},
      {"fields after the third are ignored", "65\t10\tA\tjunk\r\n", 65, 10, "A"},
      {"Japanese names", "37\t49\t←\r\n", 37, 49, "←"},
      {"a mouse button is a code like any key's", "1\t76\t左クリック\r\n", 1, 76, "左クリック"},
      {"the last line needs no line end", "1\t2\tx\r\n65\t10\tA", 65, 10, "A"},
      {"lone CR line ends", "1\t2\tx\r65\t10\tA\r", 65, 10, "A"},
      {"lone LF line ends", "1\t2\tx\n65\t10\tA\n", 65, 10, "A"},
      {"a later line for the same code wins", "65\t10\tA\r\n65\t11\tB\r\n", 65, 11, "B"},
  };
  for (const Case& c : cases) {
    load(c.file);
    EXPECT_TRUE(KeyDefs[c.code].Defined) << c.what;
    EXPECT_EQ(KeyDefs[c.code].Cell, c.cell) << c.what;
    EXPECT_EQ(KeyDefs[c.code].Name, c.name) << c.what;
  }
}

TEST_F(KeyDefsTest, LinesOutsideTheLimitsOrUnreadableAreSkippedAndTheRestIsRead) {
  struct Case {
    const char* what;
    std::string line;
  } cases[] = {
      {"code 255", "255\t1\tX"},
      {"cell 85", "66\t85\tX"},
      {"a negative cell", "66\t-1\tX"},
      {"-0.5 is -1", "-0.5\t1\tX"},
      {"&HFFFF is -1", "&HFFFF\t1\tX"},
      {"no TAB", "66 1 X"},
      {"two fields only", "66\t1"},
      {"a code beyond 16 bits", "65602\t1\tX"},
      {"a cell beyond 16 bits", "66\t99999\tX"},
      {"an empty line", ""},
  };
  for (const Case& c : cases) {
    // Good lines around the bad one show that reading goes on past it.
    load("65\t10\tA\r\n" + c.line + "\r\n67\t12\tC\r\n");
    int defined = 0;
    for (const KeyDef& k : KeyDefs) defined += k.Defined ? 1 : 0;
    EXPECT_EQ(defined, 2) << c.what;
    EXPECT_EQ(KeyDefs[65].Name, "A") << c.what;
    EXPECT_EQ(KeyDefs[67].Name, "C") << c.what;
  }
}

TEST_F(KeyDefsTest, EntriesTheFileDoesNotDefineHoldTheResetValue) {
  load("65\t10\tA\r\n");
  for (int code = 0; code < kKeyDefCount; ++code) {
    if (code != 65) expectUnset(code);
  }
  // Loading again starts from the reset values, not from what was there.
  load("66\t11\tB\r\n");
  expectUnset(65);
  load("");
  for (int code = 0; code < kKeyDefCount; ++code) expectUnset(code);
}

TEST_F(KeyDefsTest, AMissingOrUnreadableKeyListEndsTheProgramWithTheFatalMessage) {
  struct Case {
    const char* what;
    bool folder;
    std::string firstLine;
  } cases[] = {
      {"absent", false, "構成ファイルの一部(keylist.dat)が存在しません。"},
      {"a folder of that name", true, "構成ファイルの一部(keylist.dat)を読み込めません。"},
  };
  for (const Case& c : cases) {
    plat::headless::reset();
    std::filesystem::remove_all(path("keylist.dat"));
    if (c.folder) std::filesystem::create_directories(path("keylist.dat"));
    EXPECT_THROW(LoadKeyDefs(), Terminated) << c.what;
    ASSERT_EQ(plat::headless::shownBoxes().size(), 1u) << c.what;
    const plat::headless::ShownBox& box = plat::headless::shownBoxes()[0];
    EXPECT_EQ(box.title, "致命的エラー") << c.what;
    EXPECT_EQ(box.text, c.firstLine + "\r\nLumatapをインストールしなおしてください！") << c.what;
    EXPECT_EQ(box.buttons, plat::MsgButtons::Ok) << c.what;
    EXPECT_EQ(box.icon, plat::MsgIcon::Exclamation) << c.what;
  }
}

TEST_F(KeyDefsTest, TheShippedKeyListHoldsEveryKeyTheBuiltInProfilesSpecialKeysAndMouseNeed) {
  std::ifstream in(std::string(LUMATAP_SOURCE_DIR) + "/assets/keylist.dat", std::ios::binary);
  writeBytes("keylist.dat", std::string(std::istreambuf_iterator<char>(in), {}));
  LoadKeyDefs();
  std::set<std::string> names;
  for (const KeyDef& k : KeyDefs) {
    if (k.Defined) names.insert(k.Name);
  }
  for (const char* name : {"Shift", "W", "A", "S", "D", "Space", "Z", "X", "↑", "←", "↓", "→"}) {
    EXPECT_TRUE(names.count(name)) << name;
  }
  // The special keys, then the mouse buttons.
  for (int code : {38, 37, 40, 39, 9, 13, 27, 1, 2, 4, 5, 6}) EXPECT_TRUE(KeyDefs[code].Defined) << code;
  expectUnset(255);
}

}  // namespace
}  // namespace lumatap
