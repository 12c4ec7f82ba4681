// The options dialog as a whole: its controls, opening, OK, Cancel and closing.
#include "tests/unit/test_options_fixture.h"

namespace lumatap::testing {
namespace {

using OptionsDialog = OptionsTest;

TEST_F(OptionsDialog, OpensCentredWithEveryControlWhereItWasDesigned) {
  frmOptions& d = open();
  EXPECT_EQ(d.caption(), "オプション");
  EXPECT_EQ(d.clientWidth(), 728);
  EXPECT_EQ(d.clientHeight(), 495);
  EXPECT_EQ(d.left(), (1280 - d.width()) / 2);
  EXPECT_EQ(d.top(), (800 - d.height()) / 2);
  EXPECT_FALSE(d.sizable()) << "the dialog is not sizable";
  // Place, caption, enabled, visible and position in the focus order (-1: takes no focus).
  const struct { plat::Widget& w; int left, top, width, height; const char* caption; bool on, shown; int tab; } table[] = {
      {d.Frame2, 16, 12, 309, 271, "キー配置プロファイル", true, true, -1},
      {d.ListProfile, 32, 36, 273, 196, "", true, true, 14},
      {d.CmdAddNew, 96, 240, 65, 29, "新規", true, true, 17},
      {d.CmdEdit, 168, 240, 65, 29, "編集", true, true, 15},
      {d.CmdDelete, 240, 240, 65, 29, "削除", true, true, 16},
      {d.fraSample1, 16, 296, 309, 149, "スキンの選択", true, true, -1},
      {d.lstFolder, 32, 320, 273, 84, "", true, true, 19},
      {d.FrmAbout, 184, 296, 309, 149, "", true, false, -1},
      {d.Label4, 196, 302, 289, 137, nullptr, true, true, -1},
      {d.Frame1, 344, 12, 369, 433, "プロファイルの編集", false, true, -1},
      {d.Label1, 364, 40, 52, 13, "タイトル:", false, true, -1},
      {d.TxtTitle, 416, 36, 209, 25, "WASDスタンダード", false, true, 12},
      {d.Label2, 364, 68, 40, 13, "キー数:", false, true, -1},
      {d.CmbKeyCnt, 416, 64, 77, 24, "", false, true, 11},
      {d.Label3, 508, 68, 29, 13, "配置:", false, true, -1},
      {d.CmbCol, 552, 64, 73, 24, "", false, true, 13},
      {d.CmdSave, 636, 36, 57, 53, "", false, true, 18},
      {d.ImgSaveCansel, 694, 20, 16, 16, "", false, false, -1},
      {d.PicB, 364, 96, 329, 329, "", true, true, -1},
      {d.cmdOK, 516, 452, 93, 33, "OK", true, true, 9},
      {d.cmdCancel, 620, 452, 93, 33, "ｷｬﾝｾﾙ", true, true, 10},
      {d.Image1, 16, 460, 18, 18, "", true, true, -1},
      {d.LblURL[0], 44, 460, 136, 17, "Lumatap ホーム", true, true, -1},
      {d.LblURL[1], 188, 460, 72, 17, "総合案内", true, true, -1},
  };
  for (const auto& c : table) {
    SCOPED_TRACE(c.w.name());
    EXPECT_EQ(std::vector<int>({c.w.left(), c.w.top(), c.w.width(), c.w.height()}),
              std::vector<int>({c.left, c.top, c.width, c.height}));
    if (c.caption) { EXPECT_EQ(c.w.caption(), c.caption); }
    EXPECT_EQ(std::vector<bool>({c.w.enabled(), c.w.visible()}), std::vector<bool>({c.on, c.shown}));
    EXPECT_EQ(c.w.tabStop() ? c.w.tabIndex() : -1, c.tab);
  }
  for (int i = 0; i < 9; ++i) EXPECT_EQ(d.Cmd[i].tabIndex(), 8 - i) << "the key buttons come first";
  EXPECT_EQ(d.focused(), &d.cmdOK) << "but lie in the disabled editor when the dialog opens";
  EXPECT_EQ(d.Label4.caption(),
            "【追加手順】\r\n１．タイトルを入力し、登録キー数と配置を選択\r\n"
            "２．表示されたボタンを、左クリックして選択\r\n３．表示させたいキーを押すことで設定できます\r\n"
            "（上記で設定できないEnter・Escキー等は、\r\n\xE3\x80\x80右クリックメニューから設定できます）\r\n"
            "４．保存しないで終わるなら、×画像クリック\r\n５．設定が終わったら、右上の保存画像クリック");
  EXPECT_EQ(d.Label4.foreColor(), plat::rgb(64, 64, 64));
  for (auto& l : d.LblURL) EXPECT_TRUE(l.bold() && l.underline() && l.foreColor() == plat::rgb(0, 0, 255));
  EXPECT_EQ(d.PicB.surface().width(), 330);
  EXPECT_EQ(d.ImgSaveCansel.surface().width(), 16);
  EXPECT_EQ(d.Image1.surface().width(), 18);
  EXPECT_FALSE(d.CmdSave.picture().empty());
  for (auto& b : d.Cmd) EXPECT_TRUE(b.colored());
}

TEST_F(OptionsDialog, EveryControlLiesInsideTheFrameAroundItClearOfItsBorder) {
  // A control that reaches a frame's edge paints over the frame's border.
  frmOptions& d = open();
  constexpr int kBorder = 2;
  for (bool edit : {false, true}) {
    SCOPED_TRACE(edit ? "editing" : "idle");
    if (edit) d.CmdEdit.userClick();
    for (plat::Widget* w : d.descendants()) {
      const plat::Widget* f = w->parent();
      if (f->kind() != plat::Widget::Kind::Frame) continue;
      EXPECT_GE(w->left(), f->left() + kBorder) << w->name();
      EXPECT_GE(w->top(), f->top() + kBorder) << w->name();
      EXPECT_LE(w->left() + w->width(), f->left() + f->width() - kBorder) << w->name();
      EXPECT_LE(w->top() + w->height(), f->top() + f->height() - kBorder) << w->name();
    }
  }
}

TEST_F(OptionsDialog, EveryWayOfClosingGivesTheDisplayWindowBackItsHookAndPlace) {
  const struct { const char* how; std::function<void(frmOptions&)> close; } ways[] = {
      {"OK", [](frmOptions& d) { d.cmdOK.userClick(); }},
      {"Cancel", [](frmOptions& d) { d.cmdCancel.userClick(); }},
      {"Esc", [](frmOptions& d) { d.userEscape(); }},
      {"close box", [](frmOptions& d) { d.userCloseBox(); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    frmOptions& d = open();
    EXPECT_FALSE(form->enabled() || form->topmost() || hl::hookInstalled());
    way.close(d);
    EXPECT_FALSE(dialogOpen());
    EXPECT_TRUE(form->enabled() && form->topmost());
    EXPECT_EQ(hl::hookedWindow(), form);
  }
  EXPECT_TRUE(hl::shownBoxes().empty());
}

TEST_F(OptionsDialog, ClosingGivesTheForegroundBackToTheWindowThatHadItUnlessItWentAway) {
  constexpr plat::ForeignWindow kGame = 0x4711, kDialog = 0x4712;
  hl::setForeground(kGame);
  frmOptions& d = open();
  hl::setForeground(kDialog);  // the dialog took it on opening
  d.cmdCancel.userClick();
  EXPECT_EQ(plat::foregroundWindow(), kGame);
  EXPECT_EQ(hl::foregroundRestoreCount(), 1);

  // The game ended while the dialog was open: the system chooses.
  hl::setForeground(kGame);
  frmOptions& again = open();
  hl::setForeground(kDialog);
  hl::closeForeignWindow(kGame);
  again.cmdOK.userClick();
  EXPECT_FALSE(dialogOpen());
  EXPECT_EQ(plat::foregroundWindow(), kDialog);
  EXPECT_EQ(hl::foregroundRestoreCount(), 1);
}

TEST_F(OptionsDialog, ClosingDuringAnEditAsksWhetherToDiscardIt) {
  frmOptions& d = open();
  d.CmdEdit.userClick();
  hl::queueAnswer(MsgAnswer::No);
  d.userCloseBox();
  ASSERT_TRUE(dialogOpen());
  EXPECT_TRUE(d.editing());
  EXPECT_FALSE(form->enabled());
  EXPECT_FALSE(hl::hookInstalled());
  EXPECT_EQ(box(), "編集中のプロファイルがあります。\r\n編集内容を破棄して、オプション画面を閉じますか？ | Lumatap | YesNo | Question");
  hl::queueAnswer(MsgAnswer::Yes);
  d.userEscape();
  EXPECT_FALSE(dialogOpen());
  EXPECT_EQ(hl::hookedWindow(), form);
}

TEST_F(OptionsDialog, OkDuringAnEditOffersToSaveButAppliesNothing) {
  const struct { bool isNew; MsgAnswer answer; const char* question; bool stillEditing; } cases[] = {
      {true, MsgAnswer::Yes, "新規作成中のプロファイルを保存しますか？", false},
      {false, MsgAnswer::Yes, "編集中のプロファイルを保存しますか？", false},
      {false, MsgAnswer::No, "編集中のプロファイルを保存しますか？", true},
  };
  for (const auto& c : cases) {
    frmOptions& d = open();
    if (c.isNew) {
      d.CmdAddNew.userClick();
      d.TxtTitle.userSetText("新");
      const int16 codes[] = {65, 68, 83, 87, 88, 90};
      for (int16 s = 0; s < 6; ++s) d.AssignSlotKey(s, codes[s]);
    } else {
      d.CmdEdit.userClick();
    }
    hl::queueAnswer(c.answer);
    d.cmdOK.userClick();
    EXPECT_EQ(box(), std::string(c.question) + " | 処理を中断しました | YesNo | Question");
    EXPECT_TRUE(dialogOpen());
    EXPECT_EQ(d.editing(), c.stillEditing);
    EXPECT_EQ(CurProfile, 0);
    if (d.editing()) hl::queueAnswer(MsgAnswer::Yes);
    d.requestClose();
  }
  EXPECT_EQ(ProfTitles[4], "新");
}

TEST_F(OptionsDialog, OkReportsAMissingProfileBeforeAMissingSkin) {
  frmOptions& d = open();
  d.lstFolder.setListIndex(-1);
  d.ListProfile.setListIndex(-1);
  d.cmdOK.userClick();
  d.ListProfile.setListIndex(0);
  d.cmdOK.userClick();
  EXPECT_EQ(box(2), "プロファイルが、選択されていません！ | エラー | Ok | Exclamation");
  EXPECT_EQ(box(1), "スキンが、選択されていません！ | エラー | Ok | Exclamation");
  EXPECT_TRUE(dialogOpen());
}

TEST_F(OptionsDialog, OkShowsTheChosenProfileOnTheDisplayAndReloadsOnlyAChangedSkin) {
  std::filesystem::remove(path("skin/dark/keys.gif"));  // loading it reports a broken skin
  frmOptions& d = open();
  d.ListProfile.userSelect(3);
  d.cmdOK.userClick();
  EXPECT_FALSE(dialogOpen());
  EXPECT_EQ(std::vector<int>({CurProfile, CurCols, CurRows}), std::vector<int>({3, 2, 1}));
  EXPECT_EQ(ProfileName, "OSU！用ZXキー");
  EXPECT_EQ(std::vector<int>({form->PicView.width(), form->PicView.height()}), std::vector<int>({96, 48}));
  for (int slot : {0, 1}) {  // Z and X, released
    const int code = ProfKeys[3][slot];
    int same = 0;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 48; ++x) {
        same += form->PicView.surface().at(48 * slot + x, y) == form->PicKeys.at(48 * KeyDefs[code].Cell + x, y);
      }
    }
    EXPECT_EQ(same, 48 * 48) << "slot " << slot;
  }
  EXPECT_TRUE(hl::shownBoxes().empty()) << "the same skin is not loaded again";
  open().lstFolder.userSelect(1);
  dlg().cmdOK.userClick();
  EXPECT_EQ(SkinName, "dark");
  EXPECT_EQ(box(), "スキンが壊れているか存在しません。\r\nデフォルトのスキンを読み込みます。 | Lumatap | Ok | None")
      << "the changed skin was loaded";
}

TEST_F(OptionsDialog, CancelKeepsEditsToTheTableButNotTheChoice) {
  CurProfile = 1;
  ProfileName = "矢印スタンダード";
  frmOptions& d = open();
  hl::queueAnswer(MsgAnswer::Yes);
  d.CmdDelete.userClick();
  d.ListProfile.userSelect(2);
  d.lstFolder.userSelect(1);
  d.cmdCancel.userClick();
  EXPECT_EQ(ProfTitles[1], "東方弾幕風");
  EXPECT_EQ(ProfTitles[3], "");
  EXPECT_EQ(ProfileName, "矢印スタンダード");
  EXPECT_EQ(SkinName, "default");
}

TEST_F(OptionsDialog, AfterCancelTheDisplayStillShowsAProfileThatExists) {
  // Index 1 was the shown profile; deleting entry 0 moves it to index 0. Without a new
  // look-up by title the display would light 東方弾幕風's keys in 矢印's cells.
  const struct { int deleteRow; int16 shownAfter; int cols, rows; } cases[] = {
      {0, 0, 3, 2},  // the shown profile moved down: found again by its title
      {1, 0, 3, 2},  // the shown profile itself is gone: the first profile, as at start-up
  };
  for (const auto& c : cases) {
    CurProfile = 1;
    ProfileName = ProfTitles[1];
    CurCols = ProfCols[1];
    CurRows = ProfRows[1];
    frmOptions& d = open();
    d.ListProfile.userSelect(c.deleteRow);
    hl::queueAnswer(MsgAnswer::Yes);
    d.CmdDelete.userClick();
    d.cmdCancel.userClick();
    EXPECT_EQ(CurProfile, c.shownAfter);
    EXPECT_EQ(CurCols, c.cols);
    EXPECT_EQ(CurRows, c.rows);
    EXPECT_EQ(form->PicView.surface().width(), CellSize * c.cols);
    EXPECT_EQ(form->PicView.surface().height(), CellSize * c.rows);
  }
}

TEST_F(OptionsDialog, CancelWithoutChangingTheTableLeavesTheDisplayAlone) {
  CurProfile = 1;
  ProfileName = "矢印スタンダード";
  CurCols = 2;  // a re-flowed shape, kept until the next OK
  CurRows = 3;
  frmOptions& d = open();
  d.ListProfile.userSelect(2);
  d.cmdCancel.userClick();
  EXPECT_EQ(CurProfile, 1);
  EXPECT_EQ(CurCols, 2);
  EXPECT_EQ(CurRows, 3);
}

TEST_F(OptionsDialog, TheProgramsEndClosesTheDialogEvenWithAnOpenEdit) {
  frmOptions& d = open();
  d.CmdAddNew.userClick();
  hl::queueAnswer(MsgAnswer::No);  // were the discard question asked, No would keep it open
  const int installs = hl::hookInstallCount();
  program->mnuEnd_Click();
  EXPECT_TRUE(exists("setting.dat"));
  EXPECT_FALSE(dialogOpen());
  EXPECT_TRUE(plat::loadedWindows().empty());
  EXPECT_TRUE(hl::messageLoopQuit());
  EXPECT_EQ(hl::hookInstallCount(), installs) << "no hook for a window that is closing";
  EXPECT_TRUE(hl::shownBoxes().empty());
}

}  // namespace
}  // namespace lumatap::testing
