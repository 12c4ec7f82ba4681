// The profile list with the editor that shows a profile, and the skin list with the links.
#include "tests/unit/test_options_fixture.h"

namespace lumatap::testing {
namespace {

using ProfileList = OptionsTest;

TEST_F(ProfileList, TheEditorShowsWhicheverProfileIsSelected) {
  CurProfile = 1;
  frmOptions& d = open();
  EXPECT_EQ(d.ListProfile.items(), (std::vector<std::string>{"WASDスタンダード", "矢印スタンダード", "東方弾幕風", "OSU！用ZXキー"}));
  const struct { int row; const char* title; const char* keys; const char* layout; int shown; std::vector<std::string> caps; } table[] = {
      {-1, "矢印スタンダード", "6", "3:2", 6, {"Shift", "↑", "Space", "←", "↓", "→", "未設定", "未設定", "未設定"}},
      {3, "OSU！用ZXキー", "2", "2:1", 2, {"Z", "X", "未設定", "未設定", "未設定", "未設定", "未設定", "未設定", "未設定"}},
      {2, "東方弾幕風", "8", "4:2", 8, {"Shift", "↑", "Z", "X", "←", "↓", "→", "Space", "未設定"}},
  };
  for (const auto& c : table) {
    SCOPED_TRACE(c.title);
    if (c.row >= 0) d.ListProfile.userSelect(c.row);
    EXPECT_EQ(d.TxtTitle.text(), c.title);
    EXPECT_EQ(d.CmbKeyCnt.text(), c.keys);
    EXPECT_EQ(d.CmbCol.text(), c.layout);
    EXPECT_EQ(captions(), c.caps);
    int shown = 0;
    for (auto& b : d.Cmd) shown += b.visible();
    EXPECT_EQ(shown, c.shown);
  }
  // A layout cols.dat does not offer for the key count is offered for this profile.
  ProfCols[0] = 5;
  d.ListProfile.userSelect(0);
  EXPECT_EQ(d.CmbCol.items(), (std::vector<std::string>{"6:1", "3:2", "2:3", "1:6", "5:2"}));
  EXPECT_EQ(d.CmbCol.text(), "5:2");
  EXPECT_EQ(d.Cmd[5].left() - d.PicB.left(), 10) << "the sixth key starts the second row";
}

TEST_F(ProfileList, SkinsAreTheFolderNamesWithoutADotInListingOrder) {
  std::filesystem::create_directories(path("skin/my.skin"));
  writeBytes("skin/readme.txt", "");
  writeBytes("skin/notes", "");
  SkinName = "dark";
  frmOptions& d = open();
  std::vector<std::string> expected;
  for (const auto& name : plat::listFolder(programPath("\\skin\\"))) {
    if (name == "default" || name == "dark" || name == "notes") expected.push_back(name);
  }
  EXPECT_EQ(d.lstFolder.items(), expected);
  EXPECT_EQ(d.lstFolder.text(), "dark");
  EXPECT_TRUE(hl::shownBoxes().empty());
  d.cmdCancel.userClick();

  std::filesystem::remove_all(path("skin"));
  open();
  EXPECT_EQ(box(), "スキンが見つかりません。 | Lumatap | Ok | None");
  EXPECT_EQ(dlg().lstFolder.listCount(), 0);
}

TEST_F(ProfileList, TheLinksOpenTheirPagesAlsoDuringAnEdit) {
  frmOptions& d = open();
  d.CmdEdit.userClick();
  d.LblURL[1].userClick();
  d.LblURL[0].userClick();
  EXPECT_EQ(hl::openedAddresses(), (std::vector<std::string>{"https://lumatap.github.io/guide/", "https://lumatap.github.io/"}));
}

}  // namespace
}  // namespace lumatap::testing
