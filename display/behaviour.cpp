// Frame switch, topmost placement, dragging and the pop-up menu of the display window.
#include "display/form1.h"
#include "platform/hook.h"

namespace lumatap {

namespace {
constexpr long kFrameBits = plat::kWsCaption | plat::kWsThickFrame;  // 0x00C40000
// Recompute the frame, leaving position, size and z-order alone.
constexpr unsigned kFrameChangeFlags =
    plat::kSwpNoSize | plat::kSwpNoMove | plat::kSwpNoZOrder | plat::kSwpFrameChanged;  // 0x0027
// Keep position and size, and show the window if it was hidden.
constexpr unsigned kTopmostFlags = plat::kSwpNoSize | plat::kSwpNoMove | plat::kSwpShowWindow;  // 0x0043
constexpr int kBorderSizableTool = 5;
constexpr int kBorderNone = 0;
}  // namespace

// Toggles; every change of the style goes through here together with Frameless, so the two
// always agree.
void Form1::sTitleReleace(plat::Window& frm) {
  const long style = plat::GetWindowLongA(frm, plat::kGwlStyle);
  plat::SetWindowLongA(frm, plat::kGwlStyle, style ^ kFrameBits);
  plat::SetWindowPos(frm, 0, 0, 0, 0, 0, kFrameChangeFlags);
}

int SetTopmost(plat::Window& frm, int16 mode) {
  if (mode == 1) return plat::SetWindowPos(frm, plat::kHwndTopmost, 0, 0, 0, 0, kTopmostFlags);
  if (mode == 0) return plat::SetWindowPos(frm, plat::kHwndNoTopmost, 0, 0, 0, 0, kTopmostFlags);
  return 0;
}

void Form1::mnuTitleBer_Click() {
  // While the options dialog is open the window stays as it is.
  if (!enabled()) return;
  // The size changes and the events let through below must neither re-flow nor redraw:
  // the grid keeps its size and picture, only the frame around it comes or goes.
  LayoutBusy = true;
  const bool frameComesBack = Frameless;
  int width = 0, height = 0;
  gridWindowSize(!frameComesBack, width, height);
  setWidth(width);
  setHeight(height);
  borderStyle = frameComesBack ? kBorderSizableTool : kBorderNone;
  plat::doEvents();
  sTitleReleace(*this);
  Frameless = !frameComesBack;
  LayoutBusy = false;
}

void Form1::mnuOption_Click() {
  setEnabled(false);
  SetTopmost(*this, 0);  // so the dialog can come above it
  plat::ResetHook();     // keys do not reach the grid while the dialog is open
  if (showOptions) showOptions();
}

// Dragging from any point of the grid, as if the caption had been grabbed.
void Form1::Form_MouseDown(int button, int, int, int) {
  if (!(button & static_cast<int>(plat::MouseButtons::Left))) return;
  plat::ReleaseCapture();
  plat::SendMessageA(*this, plat::kWmNcLButtonDown, plat::kHtCaption, 0);
}

void Form1::Form_MouseUp(int button, int, int, int) {
  if (!enabled() || button != static_cast<int>(plat::MouseButtons::Right)) return;
  mnuTitleBer().checked = Frameless;
  plat::popupMenu(*this, mnu);
}

void Form1::PicView_DblClick() { mnuTitleBer_Click(); }

}  // namespace lumatap
