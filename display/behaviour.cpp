// Frame switch, topmost placement, dragging and the pop-up menu (filled in later).
#include "display/form1.h"

namespace lumatap {
void Form1::sTitleReleace(plat::Window&) {}
int SetTopmost(plat::Window& frm, int16 mode) {
  if (mode == 1) return plat::SetWindowPos(frm, plat::kHwndTopmost, 0, 0, 0, 0, 0x43);
  if (mode == 0) return plat::SetWindowPos(frm, plat::kHwndNoTopmost, 0, 0, 0, 0, 0x43);
  return 0;
}
void Form1::mnuTitleBer_Click() {}
void Form1::mnuOption_Click() {}
void Form1::Form_MouseDown(int, int, int, int) {}
void Form1::Form_MouseUp(int, int, int, int) {}
void Form1::PicView_DblClick() {}
}  // namespace lumatap
