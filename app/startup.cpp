// Start and end of the program.
#include "app/startup.h"

#include "app/keydefs.h"
#include "app/profiles.h"
#include "app/settings.h"
#include "platform/hook.h"
#include "platform/system.h"
#include "state/profile_table.h"

namespace lumatap {

int Main() {
  // A second copy ends here, silently: no window, no message, no file touched.
  if (plat::anotherInstanceRunning()) return 0;
  resetSharedState();
  static Program program;
  program.form.load();
  program.Form_Load();
  plat::runMessageLoop();
  return 0;
}

Program::Program() {
  form.QueryUnload = [this](bool& cancel) { Form_QueryUnload(cancel); };
  form.mnuEnd().Click = [this](int) { mnuEnd_Click(); };
  form.showOptions = [this] { showOptions(); };
  plat::MenuItem& streamMenu = form.mnuStream();
  streamMenu.items[0].Click = [this](int) { stream.mnuStreamUse_Click(); };
  streamMenu.items[1].Click = [this](int) { stream.mnuStreamCopy_Click(); };
  streamMenu.items[2].Click = [this](int) { stream.mnuStreamNewAddress_Click(); };
}

Program::~Program() {
  // The dialog goes before the window it belongs to.
  options_.reset();
  retiredOptions_.reset();
}

namespace {
void askFirstRunQuestion(Form1& form) {
  plat::MsgAnswer a = plat::messageBox("ルコちゃんのオススメ設定にしますか？（初回のみ）",
                                       "ダウンロードありがとうございます！",
                                       plat::MsgButtons::YesNo, plat::MsgIcon::Question);
  selectProfileTitled(kDefaultProfile);
  if (a == plat::MsgAnswer::Yes) {
    SkinName = "WASD黒ルコ";
    form.sTitleReleace(form);
  } else {
    SkinName = kDefaultSkin;
    form.sTitleReleace(form, false);
  }
}
}  // namespace

void Program::Form_Load() {
  // A message box of the load (the first-run question, a missing skin, a missing
  // keylist.dat) lets other events in: a close request or a log-off may end the program
  // while it is open. The load then stops where it stands.
  ReadScreenMetrics();
  form.sTitleReleace(form, false);
  if (CheckPath(programPath("\\lumatap.ini")) >= 0) {
    ReadSettings(form);
  } else {
    askFirstRunQuestion(form);  // nothing is written until the end
  }
  if (ending_) return;
  plat::SetHook(form);
  if (!plat::hookLibraryLoaded()) {
    // The window, the profiles and the options all work without it; only the keys stay dark.
    plat::messageBox("キーボードフックのライブラリが見つからないか壊れているため、押したキーを表示できません。\r\n" +
                         plat::hookLibraryPath() + "\r\nLumatapを入れ直すと直ります。",
                     "", plat::MsgButtons::Ok, plat::MsgIcon::Exclamation);
    if (ending_) return;
  }
  LayoutBusy = false;  // nothing re-flows the grid before this load has laid it out
  CurCols = 3;
  CurRows = 2;
  // Where the settings put the window decides how large its pixels are drawn.
  applyMonitorScale(form, form.monitorDpi());
  LoadSkin(form);
  if (ending_) return;
  // PicView and PicKeys are plain pixel surfaces that keep what is drawn on them.
  LoadKeyDefs();  // ends the program when keylist.dat is missing
  if (ending_) return;
  LoadProfiles();
  applyCurrentProfile(form);
  SetTopmost(form, 1);  // also shows the window
  stream.load();
}

void Program::Form_QueryUnload(bool& cancel) {
  // While the end sequence is saving, a close request from outside (the close box, a
  // log-off) waits for it: the sequence closes the window itself once every file is
  // written or its failure shown, so no message about an unsaved file is swept away.
  if (saving_) {
    cancel = true;
    return;
  }
  // Every other close request saves, whatever its reason; none is refused.
  cancel = false;
  mnuEnd_Click();
}

void Program::mnuEnd_Click() {
  // Closing the window below asks for the end sequence again through QueryUnload.
  if (ending_) return;
  ending_ = true;
  plat::ResetHook();
  stream.stop();
  // The window shows at the very end of the load, and only then. Before, the shared state
  // holds nothing read from the files, and writing it would replace the user's settings
  // and profiles with empty ones.
  if (form.visible()) {
    saving_ = true;
    WriteSettings(form);
    SaveProfiles();
    saving_ = false;
  }
  // Everything is saved by now, so the dialog closes without asking about an open edit.
  if (options_ && options_->loaded()) options_->closeForEnd();
  form.requestClose();
}

void Program::showOptions() {
  // While the dialog is open the display is left alone: no input, below the dialog, and no
  // keys (the dialog takes keys for its own key buttons).
  form.setEnabled(false);
  SetTopmost(form, 0);
  plat::ResetHook();
  if (options_ && options_->loaded()) {
    options_->show();
    return;
  }
  options_ = std::make_unique<frmOptions>(form);
  // The window that has the keyboard now (the game, as the display never takes it) gets
  // it back when the dialog closes, rather than whatever the system picks.
  const plat::ForeignWindow before = plat::foregroundWindow();
  // The dialog unloads from inside its own handlers; it is freed at the next opening or
  // at the end, once they have returned.
  options_->Unload = [this, before] {
    retiredOptions_ = std::move(options_);
    takeDisplayBack(*retiredOptions_, before);
  };
  options_->load();
  options_->Form_Load();
  options_->show();
  options_->focusFirst();
}

void Program::takeDisplayBack(const frmOptions& dialog, plat::ForeignWindow foreground) {
  // At the end the display window closes too and takes nothing back.
  if (!ending_) {
    if (dialog.changedProfilesUnapplied()) {
      // CurProfile is a table index. Deleting or storing profiles moves entries around, so
      // after Cancel it may name another profile (or a free entry), and the keys would
      // light in cells laid out for a profile no longer there. Find the shown profile
      // again by its title, as at start-up, and lay it out afresh.
      if (ProfTitles[CurProfile] != ProfileName) selectProfileTitled(ProfileName);
      applyCurrentProfile(form);
    }
    SetTopmost(form, 1);
    form.setEnabled(true);
    plat::SetHook(form);
    // Keys pressed or released while the dialog had the keyboard were never seen.
    DrawAllKeys(form, KeysDrawn::AsHeldNow);
  }
  plat::restoreForeground(foreground);
}

}  // namespace lumatap
