// Checking and storing the profile in the editor.
#include <algorithm>
#include <string>

#include "options/frmOptions.h"
#include "platform/system.h"
#include "state/profile_table.h"

namespace lumatap {

namespace {
void reportNoTitle() {
  plat::messageBox("タイトルが設定されていません！", "", plat::MsgButtons::Ok,
                   plat::MsgIcon::Exclamation);
}
}  // namespace

void frmOptions::CmdSave_Click() {
  std::string title = TxtTitle.text();
  if (title.empty()) {
    reportNoTitle();
    return;
  }
  // setting.dat separates its fields with tabs, so a title must not hold one.
  if (title.find('\t') != std::string::npos) {
    title.erase(std::remove(title.begin(), title.end(), '\t'), title.end());
    TxtTitle.setText(title);
    plat::messageBox("タブ文字をタイトルに含めることはできません！\r\n"
                     "タイトルのタブ文字を削除しました。",
                     "", plat::MsgButtons::Ok, plat::MsgIcon::Exclamation);
    // A title of tabs alone is empty now; an empty title marks a free table entry and
    // would lose this profile and every later one from setting.dat.
    if (title.empty()) {
      reportNoTitle();
      return;
    }
  }
  // setting.dat and lumatap.ini are code page 932: a character outside it would come
  // back as another one ("é" as "e", "😀" as "?") after the next start.
  if (plat::fromCp932(plat::toCp932(title)) != title) {
    TxtTitle.setFocus();
    plat::messageBox("タイトルに、保存できない文字が含まれています！\r\n"
                     "絵文字やアクセント付きの文字など、シフトJISにない文字は使えません。",
                     "", plat::MsgButtons::Ok, plat::MsgIcon::Exclamation);
    return;
  }
  const int keys = std::clamp(static_cast<int>(readNumber(CmbKeyCnt.text())), 0, kSlotCount);
  // A slot must show a key: one that is empty, or shows "未設定" for a code no key has (as
  // the slots a raised key count adds do), would be a blank key on the display. A name
  // read from setting.dat that no key has now is kept and saved again, so it counts.
  const int edited = IsNewProfile ? -1 : ListProfile.listIndex();
  const auto showsAKey = [&](int s) {
    const std::string& caption = Cmd[s].caption();
    if (caption.empty()) return false;
    return codeOfName(caption) >= 0 ||
           (edited >= 0 && edited < kMaxProfiles && unresolvedKeyNames[edited][s].has_value());
  };
  for (int s = 0; s < keys; ++s) {
    if (!showsAKey(s)) {
      Cmd[s].setBackColor(kSlotMissing);
      Cmd[s].setFocus();
      plat::messageBox("表示したいキーの設定が完了していません！", "", plat::MsgButtons::Ok,
                       plat::MsgIcon::Exclamation);
      return;
    }
  }

  if (IsNewProfile) {
    // New admits at most nine existing profiles, so the first free entry exists.
    tableChanged_ = true;
    addProfile(editedProfile());
    ListProfile.addItem(TxtTitle.text());
    ListProfile.setListIndex(ListProfile.listCount() - 1);
  } else {
    const int16 i = static_cast<int16>(ListProfile.listIndex());
    if (i < 0) {
      plat::messageBox("編集に失敗しました", "", plat::MsgButtons::Ok,
                       plat::MsgIcon::Exclamation);
    } else {
      StoreEditedProfile(i);
      if (ProfTitles[i] != ListProfile.item(i)) {
        FillProfileList();
        ListProfile.setListIndex(i);
      }
    }
  }
  EndEdit();
}

ProfileEdit frmOptions::editedProfile() const {
  ProfileEdit p;
  p.title = TxtTitle.text();
  p.keyCount = static_cast<int16>(readNumber(CmbKeyCnt.text()));
  chosenLayout(p.cols, p.rows);
  // Slots hold names; a name no defined key has leaves the slot's key as it was.
  const int keys = std::clamp(static_cast<int>(p.keyCount), 0, kSlotCount);
  for (int s = 0; s < keys; ++s) p.keys[s] = static_cast<int16>(codeOfName(Cmd[s].caption()));
  return p;
}

void frmOptions::StoreEditedProfile(int16 i) {
  tableChanged_ = true;
  storeProfile(i, editedProfile());
}

}  // namespace lumatap
