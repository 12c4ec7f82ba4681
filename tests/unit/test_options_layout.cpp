// cols.dat, the key count and layout lists, and the key buttons' preview.
#include "tests/unit/test_options_fixture.h"

namespace lumatap::testing {
namespace {

using LayoutChoice = OptionsTest;

struct Preview {
  int size, width, height, shown;
  bool operator==(const Preview&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Preview& p) {
  return o << p.size << " " << p.width << "x" << p.height << " shown " << p.shown;
}

// The buttons' size, the area the shown ones cover and how many are shown.
Preview preview(frmOptions& d) {
  Preview p{d.Cmd[0].width(), 0, 0, 0};
  for (auto& b : d.Cmd) {
    if (!b.visible()) continue;
    ++p.shown;
    p.width = std::max(p.width, b.left() + b.width() - d.PicB.left() - 10);
    p.height = std::max(p.height, b.top() + b.height() - d.PicB.top() - 10);
  }
  return p;
}

void chooseKeys(frmOptions& d, int keys) { d.CmbKeyCnt.setListIndex(keys - 1); }
void chooseLayout(frmOptions& d, const std::string& text) {
  const auto& items = d.CmbCol.items();
  d.CmbCol.setListIndex(static_cast<int>(std::find(items.begin(), items.end(), text) - items.begin()));
}

TEST_F(LayoutChoice, OpeningCreatesColsDatWithItsNineDefaultLines) {
  open();
  EXPECT_EQ(readBytes("cols.dat"),
            "1:1\r\n2:1/1:2\r\n3:1/1:3\r\n4:1/2:2/1:4\r\n5:1/1:5\r\n6:1/3:2/2:3/1:6\r\n"
            "7:1/1:7\r\n8:1/4:2/2:4/1:8\r\n9:1/3:3/1:9");
}

TEST_F(LayoutChoice, EveryDefaultChoiceIsOfferedAndPreviewedOnItsGrid) {
  const struct { int keys; const char* choice; bool preselected; Preview p; } table[] = {
      {1, "1:1", true, {300, 300, 300, 1}},  {2, "2:1", true, {150, 302, 150, 2}},
      {2, "1:2", false, {150, 150, 302, 2}}, {3, "3:1", true, {100, 304, 100, 3}},
      {3, "1:3", false, {100, 100, 304, 3}}, {4, "4:1", false, {75, 306, 75, 4}},
      {4, "2:2", true, {150, 302, 302, 4}},  {4, "1:4", false, {75, 75, 306, 4}},
      {5, "5:1", true, {60, 308, 60, 5}},    {5, "1:5", false, {60, 60, 308, 5}},
      {6, "6:1", false, {50, 310, 50, 6}},   {6, "3:2", true, {100, 304, 202, 6}},
      {6, "2:3", false, {100, 202, 304, 6}}, {6, "1:6", false, {50, 50, 310, 6}},
      {7, "7:1", true, {42, 306, 42, 7}},    {7, "1:7", false, {42, 42, 306, 7}},
      {8, "8:1", false, {37, 310, 37, 8}},   {8, "4:2", true, {75, 306, 152, 8}},
      {8, "2:4", false, {75, 152, 306, 8}},  {8, "1:8", false, {37, 37, 310, 8}},
      {9, "9:1", false, {33, 313, 33, 9}},   {9, "3:3", true, {100, 304, 304, 9}},
      {9, "1:9", false, {33, 33, 313, 9}},
  };
  frmOptions& d = open();
  EXPECT_EQ(d.CmbKeyCnt.items(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
  for (const auto& c : table) {
    SCOPED_TRACE(c.choice);
    d.CmbKeyCnt.setListIndex(-1);
    chooseKeys(d, c.keys);
    EXPECT_EQ(d.CmbCol.text() == c.choice, c.preselected);
    chooseLayout(d, c.choice);
    EXPECT_EQ(d.CmbCol.text(), c.choice);
    EXPECT_EQ(preview(d), c.p);
  }
  chooseKeys(d, 6);
  chooseLayout(d, "3:2");
  int lefts[6], tops[6];
  for (int i = 0; i < 6; ++i) {
    lefts[i] = d.Cmd[i].left() - d.PicB.left();
    tops[i] = d.Cmd[i].top() - d.PicB.top();
  }
  EXPECT_EQ(std::vector<int>(lefts, lefts + 6), (std::vector<int>{10, 112, 214, 10, 112, 214}));
  EXPECT_EQ(std::vector<int>(tops, tops + 6), (std::vector<int>{10, 10, 10, 112, 112, 112}));
}

TEST_F(LayoutChoice, AHandMadeColsDatIsReadButNeverRewritten) {
  const std::string mine = "1:1\r\n2:1/\r\n\r\nx\r\n5:1\r\nabc/0:2/3:0/2:2\r\n7:1\r\n8:1\r\n9:1\r\n1:1\r\n";
  writeBytes("cols.dat", mine);
  frmOptions& d = open();
  EXPECT_EQ(readBytes("cols.dat"), mine);
  EXPECT_EQ(d.LayoutChoices[8], "9:1") << "lines after the ninth are ignored";
  chooseKeys(d, 2);
  EXPECT_EQ(d.CmbCol.items(), (std::vector<std::string>{"2:1", ""}));
  EXPECT_EQ(d.CmbCol.text(), "2:1");
  // Choices that cannot be arranged show the usual layout for the key count.
  const struct { int keys; const char* choice; Preview p; } table[] = {
      {3, "", {100, 304, 100, 3}},    {4, "x", {150, 302, 302, 4}},   {6, "0:2", {100, 304, 202, 6}},
      {6, "abc", {100, 304, 202, 6}}, {6, "3:0", {100, 304, 202, 6}}, {6, "2:2", {150, 302, 454, 6}},
  };
  for (const auto& c : table) {
    SCOPED_TRACE(c.choice);
    chooseKeys(d, c.keys);
    chooseLayout(d, c.choice);
    EXPECT_EQ(preview(d), c.p);
  }
  // Saving such a choice stores the layout that was shown.
  d.CmdEdit.userClick();
  chooseLayout(d, "abc");
  d.CmdSave.userClick();
  EXPECT_EQ(std::vector<int>({ProfCols[0], ProfRows[0]}), std::vector<int>({3, 2}));
}

TEST_F(LayoutChoice, WithoutAReadableColsDatTheDialogUsesTheDefaults) {
  for (bool asFolder : {true, false}) {
    if (asFolder) {
      std::filesystem::create_directories(path("cols.dat"));
    } else {
      hl::setProgramFolder((dir_ / "gone").string());  // cols.dat cannot be created there
    }
    frmOptions& d = open();
    EXPECT_EQ(d.LayoutChoices[5], "6:1/3:2/2:3/1:6");
    EXPECT_EQ(d.CmbCol.text(), "3:2");
    d.cmdCancel.userClick();
  }
}

TEST_F(LayoutChoice, AHugeLineOfChoicesIsCutAfterAWholeChoice) {
  // A line as a runaway script might write it: 100,000 choices for one key, then a line
  // whose single "choice" is far too long, then a normal line.
  std::string many;
  for (int i = 0; i < 100000; ++i) many += (i ? "/" : "") + std::to_string(i % 7 + 1) + ":1";
  const std::string tooLong(5000, '1');
  writeText("cols.dat", many + "\r\n" + tooLong + "\r\n3:1/1:3\r\n");
  frmOptions& d = open();

  chooseKeys(d, 1);
  ASSERT_EQ(d.CmbCol.listCount(), 200);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(d.CmbCol.item(i), std::to_string(i % 7 + 1) + ":1");
  EXPECT_EQ(d.LayoutChoices[0], many.substr(0, d.LayoutChoices[0].size()));
  EXPECT_LE(d.LayoutChoices[1].size(), 2000u);
  chooseKeys(d, 3);
  EXPECT_EQ(d.CmbCol.items(), (std::vector<std::string>{"3:1", "1:3"})) << "short lines stay whole";
  EXPECT_EQ(readText("cols.dat").size(), many.size() + tooLong.size() + 13) << "the file is left alone";
}

TEST_F(LayoutChoice, ALongLineOfJapaneseIsCutBetweenCharacters) {
  writeText("cols.dat", std::string(3000, 'x') + "\r\n" + [] {
    std::string s;
    for (int i = 0; i < 1000; ++i) s += "配置";
    return s;
  }() + "\r\n");
  frmOptions& d = open();
  const std::string& cut = d.LayoutChoices[1];
  EXPECT_LE(cut.size(), 2000u);
  EXPECT_EQ(cut.size() % 6, 0u) << "each of 配 and 置 is three bytes in UTF-8";
  EXPECT_EQ(plat::fromCp932(plat::toCp932(cut)), cut) << "no half character is left";
}

}  // namespace
}  // namespace lumatap::testing
