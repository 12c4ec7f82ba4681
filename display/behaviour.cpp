// Frame switch, topmost placement, dragging and the pop-up menu of the display window.
#include "display/form1.h"
#include "platform/hook.h"

namespace lumatap {

void Form1::sTitleReleace(plat::Window& frm, bool frameless) {
  Frameless = frameless;
  frm.setFramed(!frameless);
}

// Keeps position and size, and shows the window if it was hidden.
int SetTopmost(plat::Window& frm, int16 mode) {
  if (mode != 1 && mode != 0) return 0;
  frm.setTopmost(mode == 1);
  frm.show();
  return 1;
}

void Form1::mnuTitleBer_Click() {
  // While the options dialog is open the window stays as it is.
  if (!enabled()) return;
  // The size changes and the events let through below must neither re-flow nor redraw:
  // the grid keeps its size and picture, only the frame around it comes or goes.
  LayoutBusyScope busy;
  const bool frameComesBack = Frameless;
  int width = 0, height = 0;
  gridWindowSize(*this, !frameComesBack, width, height);
  setWidth(width);
  setHeight(height);
  setBorderStyle(frameComesBack ? plat::BorderStyle::SizableToolWindow : plat::BorderStyle::None);
  plat::doEvents();
  sTitleReleace(*this, !frameComesBack);
}

// The program hands the window to the dialog and takes it back (Program::showOptions).
void Form1::mnuOption_Click() {
  if (showOptions) showOptions();
}

// Dragging from any point of the grid, as if the caption had been grabbed.
void Form1::Form_MouseDown(int button, int, int, int) {
  if (!(button & static_cast<int>(plat::MouseButtons::Left))) return;
  beginDragMove();
}

void Form1::Form_MouseUp(int button, int, int, int) {
  if (!enabled() || button != static_cast<int>(plat::MouseButtons::Right)) return;
  if (keysHiddenSeen && !keysHiddenExplained) {
    // Once a run, the first time the menu is opened after the grid said so.
    keysHiddenExplained = true;
    plat::messageBox("管理者として実行されているウィンドウが前面にある間は、そのウィンドウで押したキーを表示できません"
                     "（その間、キーの表示は暗くなり、オレンジの枠が付きます）。\r\n"
                     "Lumatapも管理者として実行すると、表示できるようになります。",
                     "", plat::MsgButtons::Ok, plat::MsgIcon::Exclamation);
    if (!enabled()) return;
  }
  mnuTitleBer().checked = Frameless;
  plat::popupMenu(*this, mnu);
}

void Form1::PicView_DblClick() { mnuTitleBer_Click(); }

}  // namespace lumatap
