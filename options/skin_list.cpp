// The skin list and the two links at the bottom of the dialog.
#include <string>
#include <vector>

#include "options/frmOptions.h"
#include "platform/system.h"

namespace lumatap {

void frmOptions::fillSkinList() {
  lstFolder.clear();
  const std::vector<std::string> names = plat::listFolder(programPath("\\skin\\"));
  if (names.empty()) {
    // Even an empty folder lists "." and "..": nothing at all means there is no folder.
    plat::messageBox("スキンが見つかりません。", "", plat::MsgButtons::Ok, plat::MsgIcon::None);
    return;
  }
  // Skins are folders; a name with a dot is ".", "..", a file or not meant as a skin.
  for (const std::string& name : names) {
    if (name.find('.') == std::string::npos) lstFolder.addItem(name);
  }
  for (int i = 0; i < lstFolder.listCount(); ++i) {
    if (lstFolder.item(i) == SkinName) {
      lstFolder.setListIndex(i);
      break;
    }
  }
}

void frmOptions::LblURL_Click(int index) {
  plat::shellOpen(index == 0 ? kHomeLinkAddress : kGuideLinkAddress);
}

}  // namespace lumatap
