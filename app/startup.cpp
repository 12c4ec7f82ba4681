// Start and end of the program.
#include "display/form1.h"
#include "options/frmOptions.h"
#include "platform/hook.h"
#include "platform/system.h"

namespace lumatap {

int Main() {
  // A second copy ends here, silently: no window, no message, no file touched.
  if (plat::anotherInstanceRunning()) return 0;
  ResetSharedState();
  static Form1 form;
  form.load();
  form.Form_Load();
  plat::runMessageLoop();
  return 0;
}

namespace {
void askFirstRunQuestion(Form1& form) {
  plat::MsgAnswer a = plat::messageBox("ルコちゃんのオススメ設定にしますか？（初回のみ）",
                                       "ダウンロードありがとうございます！",
                                       plat::MsgButtons::YesNo, plat::MsgIcon::Question);
  ProfileName = "WASDスタンダード";
  if (a == plat::MsgAnswer::Yes) {
    SkinName = "WASD黒ルコ";
    Frameless = true;
    form.sTitleReleace(form);
  } else {
    SkinName = "default";
    Frameless = false;
  }
}
}  // namespace

void Form1::Form_Load() {
  ReadScreenMetrics();
  Frameless = false;
  if (CheckPath(ProgramPath("\\lumatap.ini")) >= 0) {
    ReadSettings();
  } else {
    askFirstRunQuestion(*this);  // nothing is written until the end
  }
  plat::SetHook(*this);
  LayoutBusy = false;
  CurCols = 3;
  CurRows = 2;
  LoadSkin();
  // PicView and PicKeys are plain pixel surfaces that keep what is drawn on them.
  LoadKeyDefs();  // ends the program when keylist.dat is missing
  LoadProfiles();
  CurCols = ProfCols[CurProfile];
  CurRows = ProfRows[CurProfile];
  LayoutGrid(CurCols, CurRows);
  DrawAllKeys();
  SetTopmost(*this, 1);  // also shows the window
}

void Form1::Form_QueryUnload(bool& cancel) {
  // Every close request saves, whatever its reason; none is refused.
  cancel = false;
  mnuEnd_Click();
}

void ReportUnsavedFile(const std::string& path) {
  // The end goes on regardless: the old file is still whole, and the user learns which one
  // kept its old content.
  plat::messageBox("ファイルを保存できませんでした。\r\n" + path, "", plat::MsgButtons::Ok,
                   plat::MsgIcon::Exclamation);
}

void Form1::mnuEnd_Click() {
  // Closing Form1 below asks for the end sequence again through QueryUnload.
  if (ending_) return;
  ending_ = true;
  plat::ResetHook();
  WriteSettings();
  SaveProfiles();
  // Everything is saved by now, so the dialog closes without asking about an open edit.
  if (options_ && options_->loaded()) options_->closeForEnd();
  requestClose();
}

}  // namespace lumatap
