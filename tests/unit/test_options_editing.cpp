// Edit mode, key assignment and saving in the options dialog.
#include "app/profiles.h"
#include "tests/unit/test_options_fixture.h"

namespace lumatap::testing {
namespace {

using Editing = OptionsTest;

TEST_F(Editing, EditModeUnlocksTheEditorAndLocksTheListSide) {
  frmOptions& d = open();
  plat::Widget* editor[] = {&d.Frame1, &d.TxtTitle, &d.CmbKeyCnt, &d.CmbCol, &d.CmdSave, &d.Label1,
                            &d.Label2, &d.Label3, &d.ImgSaveCansel, &d.Cmd[0], &d.Cmd[8]};
  plat::Widget* listSide[] = {&d.ListProfile, &d.CmdAddNew, &d.CmdEdit, &d.CmdDelete};
  for (bool edit : {true, false, true}) {
    SCOPED_TRACE(edit);
    d.Cmd[8].setBackColor(kSlotAssigned);
    if (edit) d.CmdEdit.userClick(); else d.EndEdit();
    for (auto* w : editor) EXPECT_EQ(w->enabled(), edit) << w->name();
    for (auto* w : listSide) EXPECT_EQ(w->enabled(), !edit) << w->name();
    EXPECT_EQ(d.Frame1.backColor(), edit ? 0x006DD1FFu : plat::kButtonFace);
    EXPECT_EQ(d.Label2.backColor(), d.Frame1.backColor());
    EXPECT_EQ(d.ImgSaveCansel.visible(), edit);
    EXPECT_EQ(d.FrmAbout.visible(), edit);
    EXPECT_EQ(d.Cmd[8].backColor(), edit ? kSlotAssigned : plat::kButtonFace) << "hidden ones too";
  }
  // The instructions lie over the skin list, the label inside them.
  EXPECT_EQ(std::vector<int>({d.FrmAbout.left(), d.FrmAbout.top(), d.Label4.left(), d.Label4.top()}),
            std::vector<int>({16, 296, 28, 302}));
}

TEST_F(Editing, TheButtonThatSwitchesEditModeHandsTheFocusOnToAControlThatTakesInput) {
  // Each button is disabled by the switch it makes while it holds the focus.
  frmOptions& d = open();
  for (plat::Button* b : {&d.CmdAddNew, &d.CmdEdit}) {
    SCOPED_TRACE(b->name());
    d.ListProfile.userSelect(0);
    b->userFocus();
    b->userClick();
    ASSERT_TRUE(d.editing());
    ASSERT_NE(d.focused(), nullptr);
    EXPECT_TRUE(d.focused()->acceptsInput()) << d.focused()->name();
    EXPECT_EQ(d.focused(), &d.CmdSave) << "the next one in the order that is still usable";
    d.EndEdit();
    d.ShowProfile(0);
  }
  d.CmdEdit.userClick();
  d.CmdSave.userFocus();
  d.CmdSave.userClick();
  ASSERT_FALSE(d.editing());
  ASSERT_NE(d.focused(), nullptr);
  EXPECT_EQ(d.focused(), &d.cmdOK) << "the skin list after it still lay under the instructions";
}

TEST_F(Editing, TabNeverReachesTheSkinListUnderTheInstructions) {
  frmOptions& d = open();
  d.lstFolder.setFocus();
  ASSERT_EQ(d.focused(), &d.lstFolder);
  d.CmdEdit.userClick();
  EXPECT_NE(d.focused(), &d.lstFolder) << "covered while it had the focus";
  for (int i = 0; i < 40; ++i) EXPECT_NE(d.userTab(i % 2 == 0), &d.lstFolder);
  for (int i = 0; i < 40; ++i) EXPECT_NE(d.userTab(false), &d.lstFolder);
  d.EndEdit();
  bool reached = false;
  for (int i = 0; i < 20; ++i) reached = reached || d.userTab(false) == &d.lstFolder;
  EXPECT_TRUE(reached) << "uncovered again after the edit";
}

TEST_F(Editing, NewStartsAnEmptySixKeyProfileUpToTenProfiles) {
  frmOptions& d = open();
  d.ListProfile.userSelect(3);
  d.CmdAddNew.userClick();
  EXPECT_TRUE(d.editing() && d.IsNewProfile);
  EXPECT_EQ(d.TxtTitle.text(), "");
  EXPECT_EQ(d.CmbKeyCnt.text(), "6");
  EXPECT_EQ(captions(), std::vector<std::string>(9, ""));
  EXPECT_EQ(d.ListProfile.listIndex(), 3);
  // Abandoning it shows the profile that was selected before.
  hl::queueAnswer(MsgAnswer::No);
  d.ImgSaveCansel.userClick();
  EXPECT_TRUE(d.editing());
  EXPECT_EQ(box(), "編集中の内容が失われます。\r\n保存せずに編集を終了しますか？ | Lumatap | YesNo | Question");
  hl::queueAnswer(MsgAnswer::Yes);
  d.ImgSaveCansel.userClick();
  EXPECT_FALSE(d.editing() || d.IsNewProfile);
  EXPECT_EQ(d.TxtTitle.text(), "OSU！用ZXキー");
  EXPECT_EQ(d.Cmd[0].caption(), "Z");
  d.cmdCancel.userClick();

  for (int i = 4; i < 10; ++i) addProfile("p", 1, 1, {65});
  open().CmdAddNew.userClick();
  EXPECT_FALSE(dlg().editing());
  EXPECT_EQ(box(), "プロファイルの登録上限は、10個です。 | Lumatap | Ok | Exclamation");
}

TEST_F(Editing, EditAndDeleteNeedASelectedProfile) {
  frmOptions& d = open();
  d.ListProfile.setListIndex(-1);
  d.CmdEdit.userClick();
  d.CmdDelete.userClick();
  EXPECT_EQ(box(2), "編集したい項目が、選択されていません！ | Lumatap | Ok | Exclamation");
  EXPECT_EQ(box(1), "削除したい項目が、選択されていません！ | Lumatap | Ok | Exclamation");
  EXPECT_FALSE(d.editing());
}

TEST_F(Editing, DeletingAProfileShiftsTheFollowingOnesDown) {
  // keys: ProfKeys(0, 2), ProfKeys(1, 2) and ProfKeys(0, 11), a slot beyond every key count.
  const struct { int row; MsgAnswer answer; std::vector<std::string> titles; std::vector<int> keys; } cases[] = {
      {1, MsgAnswer::No, {"WASDスタンダード", "矢印スタンダード", "東方弾幕風", "OSU！用ZXキー"}, {32, 32, 0}},
      {1, MsgAnswer::Yes, {"WASDスタンダード", "東方弾幕風", "OSU！用ZXキー", ""}, {32, 90, 0}},
      {2, MsgAnswer::Yes, {"WASDスタンダード", "東方弾幕風", "", ""}, {32, 90, 0}},
      {0, MsgAnswer::Yes, {"東方弾幕風", "", "", ""}, {90, 90, 77}},
  };
  ProfKeys[2][11] = 77;
  frmOptions& d = open();
  for (const auto& c : cases) {
    d.ListProfile.userSelect(c.row);
    hl::queueAnswer(c.answer);
    d.CmdDelete.userClick();
    EXPECT_EQ(std::vector<std::string>(ProfTitles, ProfTitles + 4), c.titles);
    EXPECT_EQ(std::vector<int>({ProfKeys[0][2], ProfKeys[1][2], ProfKeys[0][11]}), c.keys);
    EXPECT_EQ(d.ListProfile.listIndex(), c.answer == MsgAnswer::Yes ? 0 : c.row);
    EXPECT_EQ(d.TxtTitle.text(), c.titles[static_cast<std::size_t>(d.ListProfile.listIndex())]);
  }
  EXPECT_EQ(ProfKeys[3][0], 90) << "a vacated entry keeps its keys";
  EXPECT_EQ(d.ListProfile.items(), (std::vector<std::string>{"東方弾幕風"}));
  hl::queueAnswer(MsgAnswer::Yes);
  d.CmdDelete.userClick();
  EXPECT_EQ(ProfTitles[0], "東方弾幕風");
  EXPECT_EQ(box(), "プロファイルを削除できませんでした。\r\n最低１つは、プロファイルが必要となります。 | Lumatap | Ok | Critical");
  EXPECT_EQ(box(2), "選択した項目を削除しますか？ | Lumatap | YesNo | Question");
}

TEST_F(Editing, PressingAKeyOnTheSelectedSlotAssignsItOnce) {
  frmOptions& d = open();
  d.CmdEdit.userClick();
  leftClick(2);
  leftClick(4);
  EXPECT_EQ(d.Cmd[2].backColor(), plat::kButtonFace);
  EXPECT_EQ(d.Cmd[4].backColor(), kSlotSelected);
  const struct { int slot, key; std::vector<std::string> caps; } presses[] = {
      {4, 200, {"Shift", "W", "Space", "A", "S", "D", "未設定", "未設定", "未設定"}},  // not defined
      {4, 87, {"Shift", "", "Space", "A", "W", "D", "未設定", "未設定", "未設定"}},
      {4, 87, {"Shift", "", "Space", "A", "W", "D", "未設定", "未設定", "未設定"}},
      {0, 160, {"Shift", "", "Space", "A", "W", "D", "未設定", "未設定", "未設定"}},  // another Shift
      {1, 16, {"", "Shift", "Space", "A", "W", "D", "未設定", "未設定", "未設定"}},
  };
  for (const auto& p : presses) {
    d.Cmd[p.slot].userFocus();
    d.Cmd[p.slot].userKeyDown(p.key, 0);
    EXPECT_EQ(captions(), p.caps) << p.key;
  }
  EXPECT_EQ(d.Cmd[4].backColor(), kSlotAssigned);
  d.Cmd[6].setCaption("Z");  // a hidden slot gives its key up too, and only the first one
  d.Cmd[7].setCaption("Z");
  d.AssignSlotKey(0, 90);
  EXPECT_EQ(std::vector<std::string>({d.Cmd[0].caption(), d.Cmd[6].caption(), d.Cmd[7].caption()}),
            std::vector<std::string>({"Z", "", "Z"}));
  d.EndEdit();
  d.Cmd[5].userKeyDown(65, 0);
  EXPECT_EQ(d.Cmd[5].caption(), "D") << "slots take no keys while idle";
}

TEST_F(Editing, AltAndF10PressedOnASlotAreAssignedLikeAnyOtherKey) {
  KeyDefs[18] = KeyDef{40, "Alt", true};
  KeyDefs[121] = KeyDef{41, "F10", true};
  frmOptions& d = open();
  d.CmdEdit.userClick();
  leftClick(0);
  EXPECT_TRUE(d.Cmd[0].userSystemKeyDown(18, 4));
  leftClick(1);
  EXPECT_TRUE(d.Cmd[1].userSystemKeyDown(121, 0));
  EXPECT_EQ(captions()[0], "Alt");
  EXPECT_EQ(captions()[1], "F10");
  EXPECT_EQ(d.Cmd[1].backColor(), kSlotAssigned);
}

TEST_F(Editing, TheSlotMenuAssignsTheKeysTheDialogTakesItself) {
  frmOptions& d = open();
  d.CmdEdit.userClick();
  const struct { int position; const char* name; } items[] = {
      {0, "↑"}, {1, "←"}, {2, "↓"}, {3, "→"}, {4, "Tab"}, {5, "Enter"}, {6, "Esc"}};
  for (const auto& it : items) {
    rightClickChoose(3, it.position);
    EXPECT_EQ(d.Cmd[3].caption(), it.name);
  }
  leftClick(0);
  rightClickChoose(5, 8);  // 削除 acts on the slot that was right-clicked
  EXPECT_EQ(d.Cmd[5].caption(), "");
  EXPECT_EQ(d.Cmd[0].backColor(), kSlotSelected);
  std::vector<std::string> shown;
  for (const auto& item : hl::shownMenus().back().items) shown.push_back(item.caption);
  EXPECT_EQ(shown, (std::vector<std::string>{"↑キー", "←キー", "↓キー", "→キー", "Tabキー", "Enterキー", "Escキー", "-", "削除"}));
  KeyDefs[13].Defined = false;
  rightClickChoose(3, 5);
  EXPECT_EQ(d.Cmd[3].caption(), "Esc") << "an undefined key is not assigned";
}

TEST_F(Editing, TheSlotMenuOffersTheMouseButtonsTheKeyTableDefinesAfterItsOwnItems) {
  KeyDefs[1] = KeyDef{76, "左クリック", true};
  KeyDefs[2] = KeyDef{77, "右クリック", true};
  KeyDefs[6] = KeyDef{81, "マウス5", true};  // no middle or back button in this table
  frmOptions& d = open();
  d.CmdEdit.userClick();
  rightClickChoose(3, 10);
  EXPECT_EQ(d.Cmd[3].caption(), "左クリック");
  EXPECT_EQ(d.Cmd[3].backColor(), kSlotAssigned);
  std::vector<std::string> shown;
  for (const auto& item : hl::shownMenus().back().items) shown.push_back(item.caption);
  EXPECT_EQ(shown, (std::vector<std::string>{"↑キー", "←キー", "↓キー", "→キー", "Tabキー", "Enterキー", "Escキー", "-",
                                              "削除", "-", "左クリック", "右クリック", "マウス5"}));
  rightClickChoose(4, 12);
  EXPECT_EQ(d.Cmd[4].caption(), "マウス5");
  rightClickChoose(5, 10);  // a button stands in one slot only, like a key
  EXPECT_EQ(captions()[3], "");
  EXPECT_EQ(captions()[5], "左クリック");
  rightClickChoose(5, 8);
  EXPECT_EQ(captions()[5], "") << "削除 is where it was";
  d.CmdSave.userClick();  // slots 3 and 5 are empty now: refused
  EXPECT_TRUE(d.editing());
  d.AssignSlotKey(3, 2);
  d.AssignSlotKey(5, 65);
  d.CmdSave.userClick();
  EXPECT_EQ(std::vector<int16>(ProfKeys[0], ProfKeys[0] + 6), (std::vector<int16>{16, 87, 32, 2, 6, 65}));
}

TEST_F(Editing, SavingRefusesAnIncompleteProfileWithTheFirstProblem) {
  const struct { const char* title; int emptySlot; const char* message; const char* titleAfter; } cases[] = {
      {"", -1, "タイトルが設定されていません！", ""},
      {"\t\t", -1, "タイトルが設定されていません！", ""},
      {"a\tb", 4, "表示したいキーの設定が完了していません！", "ab"},
  };
  frmOptions& d = open();
  d.CmdEdit.userClick();
  for (const auto& c : cases) {
    d.TxtTitle.userSetText(c.title);
    d.Cmd[4].setCaption(c.emptySlot >= 0 ? "" : "S");
    d.Cmd[6].setCaption("");  // hidden slots are not looked at
    d.CmdSave.userClick();
    EXPECT_EQ(box(), std::string(c.message) + " | Lumatap | Ok | Exclamation");
    EXPECT_EQ(d.TxtTitle.text(), c.titleAfter);
    EXPECT_TRUE(d.editing());
    EXPECT_EQ(ProfTitles[0], "WASDスタンダード");
  }
  EXPECT_EQ(d.Cmd[4].backColor(), kSlotMissing);
  EXPECT_EQ(d.focused(), &d.Cmd[4]);
  EXPECT_EQ(hl::shownBoxes()[1].text, "タブ文字をタイトルに含めることはできません！\r\nタイトルのタブ文字を削除しました。")
      << "then the title of tabs alone was refused";
}

TEST_F(Editing, ASlotShowingNoDefinedKeyFailsTheSaveCheckLikeAnEmptyOne) {
  frmOptions& d = open();
  d.ListProfile.userSelect(3);  // two keys, Z and X
  d.CmdEdit.userClick();
  d.CmbKeyCnt.userSelect(3);    // four: the two new slots show what code 0 is called
  ASSERT_EQ(captions()[2], "未設定");
  d.AssignSlotKey(2, 65);
  d.CmdSave.userClick();
  EXPECT_EQ(box(), "表示したいキーの設定が完了していません！ | Lumatap | Ok | Exclamation");
  EXPECT_EQ(d.Cmd[3].backColor(), kSlotMissing);
  EXPECT_EQ(d.focused(), &d.Cmd[3]);
  EXPECT_TRUE(d.editing());
  EXPECT_EQ(ProfKeyCounts[3], 2) << "nothing stored";

  d.AssignSlotKey(3, 83);
  d.CmdSave.userClick();
  EXPECT_FALSE(d.editing());
  EXPECT_EQ(std::vector<int16>(ProfKeys[3], ProfKeys[3] + 4), (std::vector<int16>{90, 88, 65, 83}));
}

TEST_F(Editing, ATitleMustFitLumatapIniAndCodePage932) {
  frmOptions& d = open();
  d.CmdEdit.userClick();
  std::string kanji;
  for (int i = 0; i < 127; ++i) kanji += "漢";
  d.TxtTitle.userSetText(kanji);
  EXPECT_EQ(d.TxtTitle.text(), kanji) << "254 bytes fit";
  d.TxtTitle.userSetText(kanji + "a");
  EXPECT_EQ(d.TxtTitle.text(), kanji) << "255 do not";

  for (const char* title : {"Café", "😀", "Lumatap\xE2\x84\xA2"}) {  // ™ is not in it either
    SCOPED_TRACE(title);
    d.TxtTitle.userSetText(title);
    d.CmdSave.userFocus();
    d.CmdSave.userClick();
    EXPECT_EQ(box(), "タイトルに、保存できない文字が含まれています！\r\n"
                     "絵文字やアクセント付きの文字など、シフトJISにない文字は使えません。 | Lumatap | Ok | Exclamation");
    EXPECT_TRUE(d.editing());
    EXPECT_EQ(d.focused(), &d.TxtTitle);
    EXPECT_EQ(ProfTitles[0], "WASDスタンダード");
  }
  d.TxtTitle.userSetText("カフェ～①");  // full-width tilde and circled digits are there
  d.CmdSave.userClick();
  EXPECT_FALSE(d.editing());
  EXPECT_EQ(ProfTitles[0], "カフェ～①");
}

TEST_F(Editing, SavingStoresTheProfileAndKeepsTheListInStep) {
  frmOptions& d = open();
  d.ListProfile.userSelect(2);
  d.CmdEdit.userClick();  // nine keys down to six, same title
  d.CmbKeyCnt.userSelect(5);
  d.CmdSave.userClick();
  EXPECT_FALSE(d.editing());
  EXPECT_EQ(ProfKeyCounts[2], 6);
  EXPECT_EQ(std::vector<int16>(ProfKeys[2], ProfKeys[2] + 8), (std::vector<int16>{16, 38, 90, 88, 37, 40, 39, 32}));
  EXPECT_EQ(std::vector<int>({ProfCols[2], ProfRows[2]}), std::vector<int>({3, 2}));

  d.CmdEdit.userClick();  // renamed: the list is rebuilt and keeps the row
  d.TxtTitle.userSetText("弾幕");
  d.CmdSave.userClick();
  EXPECT_EQ(d.ListProfile.item(2), "弾幕");
  EXPECT_EQ(d.ListProfile.listIndex(), 2);

  d.CmdAddNew.userClick();  // new: appended, selected and shown
  d.TxtTitle.userSetText("テスト");
  d.CmbKeyCnt.userSelect(3);
  const int16 keys[] = {65, 160, 38, 32};
  for (int16 s = 0; s < 4; ++s) d.AssignSlotKey(s, keys[s]);
  d.CmdSave.userClick();
  EXPECT_EQ(ProfTitles[4], "テスト");
  EXPECT_EQ(std::vector<int>({ProfKeyCounts[4], ProfCols[4], ProfRows[4]}), std::vector<int>({4, 2, 2}));
  EXPECT_EQ(std::vector<int16>(ProfKeys[4], ProfKeys[4] + 4), (std::vector<int16>{65, 16, 38, 32}))
      << "a shared name is stored as its lowest code";
  EXPECT_EQ(d.ListProfile.listIndex(), 4);
  EXPECT_EQ(d.TxtTitle.text(), "テスト");
  for (auto& b : d.Cmd) EXPECT_EQ(b.backColor(), plat::kButtonFace);

  d.CmdEdit.userClick();  // the list lost its selection under the editor
  d.ListProfile.setListIndex(-1);
  d.CmdSave.userClick();
  EXPECT_EQ(box(), "編集に失敗しました | Lumatap | Ok | Exclamation");
  EXPECT_FALSE(d.editing());
}

TEST_F(Editing, KeyNamesNoKeyHasSurviveEditingAndDeletingUntilTheSlotGetsAKey) {
  // As LoadProfiles leaves them after reading an empty keylist.dat.
  for (int s = 0; s < 6; ++s) ProfKeys[0][s] = 0;
  const char* const wasd[] = {"Shift", "W", "Space", "A", "S", "D"};
  for (int s = 0; s < 6; ++s) unresolvedKeyNames[0][s] = wasd[s];
  unresolvedKeyNames[1][2] = "Enter2";
  frmOptions& d = open();
  d.ListProfile.userSelect(0);
  EXPECT_EQ(d.Cmd[1].caption(), "未設定") << "such a slot shows as an unset one";
  d.CmdEdit.userClick();
  d.AssignSlotKey(1, 90);  // the user changes one slot only
  d.TxtTitle.userSetText("WASD改");
  d.CmdSave.userClick();
  SaveProfiles();
  EXPECT_EQ(readText("setting.dat").substr(0, readText("setting.dat").find("\r\n")),
            "WASD改\t6\t3:2\tShift\tZ\tSpace\tA\tS\tD");

  // Deleting the first profile moves the second one's kept name along with it; a new
  // profile in the entry the last one vacated inherits none.
  hl::queueAnswer(MsgAnswer::Yes);
  d.CmdDelete.userClick();
  EXPECT_EQ(unresolvedKeyNames[0][2], "Enter2");
  EXPECT_EQ(unresolvedKeyNames[0][1], std::nullopt);
  unresolvedKeyNames[3][0] = "left behind";
  d.CmdAddNew.userClick();
  d.TxtTitle.userSetText("新");
  d.CmbKeyCnt.userSelect(0);
  d.AssignSlotKey(0, 65);
  d.CmdSave.userClick();
  EXPECT_EQ(ProfTitles[3], "新");
  SaveProfiles();
  EXPECT_NE(readText("setting.dat").find("矢印スタンダード\t6\t3:2\tShift\t↑\tEnter2\t←"), std::string::npos);
  EXPECT_NE(readText("setting.dat").find("新\t1\t1:1\tA\r\n"), std::string::npos);
}

}  // namespace
}  // namespace lumatap::testing
