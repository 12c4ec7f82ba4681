// The profile list and the editor that shows the selected profile.
#include <string>

#include "options/frmOptions.h"

namespace lumatap {

void frmOptions::FillProfileList() {
  ListProfile.clear();
  for (const std::string& title : ProfTitles) {
    if (!title.empty()) ListProfile.addItem(title);
  }
}

void frmOptions::ShowProfile(int16 n) {
  if (n < 0 || n >= kMaxProfiles) return;
  for (int i = 0; i < kSlotCount; ++i) {
    const int code = ProfKeys[n][i];
    Cmd[i].setCaption(code >= 0 && code < kKeyDefCount ? KeyDefs[code].Name : std::string());
  }
  ListProfile.setListIndex(n);  // when this changes the selection, the editor follows it
  TxtTitle.setText(ListProfile.text());

  // A key count the list does not offer (only a hand-edited setting.dat has one) leaves
  // the key count list as it was.
  const int count = ProfKeyCounts[n];
  if (count >= 1 && count <= CmbKeyCnt.listCount()) CmbKeyCnt.setListIndex(count - 1);

  const std::string layout = std::to_string(ProfCols[n]) + ":" + std::to_string(ProfRows[n]);
  for (int i = 0; i < CmbCol.listCount(); ++i) {
    if (CmbCol.item(i) == layout) {
      CmbCol.setListIndex(i);
      return;
    }
  }
  // The profile's layout is not among the choices of cols.dat for its key count (the file
  // was edited by hand): offer it too, so the editor shows the layout the profile has and
  // saving it unchanged keeps that layout.
  CmbCol.addItem(layout);
  CmbCol.setListIndex(CmbCol.listCount() - 1);
}

void frmOptions::ListProfile_Click() {
  if (ListProfile.listIndex() >= 0) ShowProfile(static_cast<int16>(ListProfile.listIndex()));
}

}  // namespace lumatap
