// Edit mode: locking the list side while the editor takes input, and New, Edit, Delete
// and abandoning an edit.
#include <array>

#include "options/frmOptions.h"
#include "state/profile_table.h"

namespace lumatap {

std::array<plat::Label*, 3> frmOptions::editorLabels() { return {&Label1, &Label2, &Label3}; }

std::array<plat::Widget*, 4> frmOptions::listSide() {
  return {&ListProfile, &CmdAddNew, &CmdEdit, &CmdDelete};
}

void frmOptions::BeginEdit() {
  Frame1.setBackColor(kEditorEditing);
  Frame1.setEnabled(true);
  TxtTitle.setEnabled(true);
  CmbKeyCnt.setEnabled(true);
  CmbCol.setEnabled(true);
  CmdSave.setEnabled(true);
  for (plat::Button& b : Cmd) b.setEnabled(true);  // their colours stay as they are
  for (plat::Label* l : editorLabels()) {
    l->setEnabled(true);
    l->setBackColor(kEditorEditing);  // the captions lie on the editor's colour
  }
  // The instructions cover the skin list while an edit is open.
  placeAboutPanel(fraSample1.left(), fraSample1.top());
  ImgSaveCansel.setEnabled(true);
  ImgSaveCansel.setVisible(true);
  FrmAbout.setVisible(true);
  for (plat::Widget* w : listSide()) w->setEnabled(false);
}

void frmOptions::EndEdit() {
  Frame1.setBackColor(plat::kButtonFace);
  Frame1.setEnabled(false);
  TxtTitle.setEnabled(false);
  CmbKeyCnt.setEnabled(false);
  CmbCol.setEnabled(false);
  CmdSave.setEnabled(false);
  for (plat::Button& b : Cmd) {
    b.setEnabled(false);
    b.setBackColor(plat::kButtonFace);
  }
  for (plat::Label* l : editorLabels()) {
    l->setEnabled(false);
    l->setBackColor(plat::kButtonFace);
  }
  ImgSaveCansel.setEnabled(false);
  ImgSaveCansel.setVisible(false);
  FrmAbout.setVisible(false);
  for (plat::Widget* w : listSide()) w->setEnabled(true);
  IsNewProfile = false;
}

void frmOptions::CmdAddNew_Click() {
  if (ListProfile.listCount() >= kMaxProfiles) {
    plat::messageBox("プロファイルの登録上限は、10個です。", "", plat::MsgButtons::Ok,
                     plat::MsgIcon::Exclamation);
    return;
  }
  IsNewProfile = true;
  TxtTitle.setText("");
  CmbKeyCnt.setListIndex(5);
  for (plat::Button& b : Cmd) b.setCaption("");
  BeginEdit();
}

void frmOptions::CmdEdit_Click() {
  if (ListProfile.listIndex() < 0) {
    plat::messageBox("編集したい項目が、選択されていません！", "", plat::MsgButtons::Ok,
                     plat::MsgIcon::Exclamation);
    return;
  }
  BeginEdit();  // the editor already shows the selected profile
}

void frmOptions::ImgSaveCansel_Click() {
  if (plat::messageBox("編集中の内容が失われます。\r\n保存せずに編集を終了しますか？", "",
                       plat::MsgButtons::YesNo, plat::MsgIcon::Question) != plat::MsgAnswer::Yes) {
    return;
  }
  EndEdit();
  const int sel = ListProfile.listIndex();
  ShowProfile(static_cast<int16>(sel < 0 ? 0 : sel));
}

void frmOptions::CmdDelete_Click() {
  if (ListProfile.listIndex() < 0) {
    plat::messageBox("削除したい項目が、選択されていません！", "", plat::MsgButtons::Ok,
                     plat::MsgIcon::Exclamation);
    return;
  }
  if (plat::messageBox("選択した項目を削除しますか？", "", plat::MsgButtons::YesNo,
                       plat::MsgIcon::Question) != plat::MsgAnswer::Yes) {
    return;
  }
  const int sel = ListProfile.listIndex();
  const int count = ListProfile.listCount();
  if (count <= 1) {
    plat::messageBox("プロファイルを削除できませんでした。\r\n"
                     "最低１つは、プロファイルが必要となります。",
                     "", plat::MsgButtons::Ok, plat::MsgIcon::Critical);
    return;
  }
  tableChanged_ = true;
  deleteProfile(static_cast<int16>(sel));
  // The table closes the gap, so a list row stays its table index.
  if (sel + 1 == count) {
    ListProfile.removeItem(sel);
  } else {
    FillProfileList();
  }
  ListProfile.setListIndex(0);
}

}  // namespace lumatap
