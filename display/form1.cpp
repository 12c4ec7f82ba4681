#include "display/form1.h"

namespace lumatap {

const char* const Form1::TxtSetting =
    "WASDスタンダード\t6\t3:2\tShift\tW\tSpace\tA\tS\tD\r\n"
    "矢印スタンダード\t6\t3:2\tShift\t↑\tSpace\t←\t↓\t→\r\n"
    "東方弾幕風\t8\t4:2\tShift\t↑\tZ\tX\t←\t↓\t→\tSpace\r\n"
    "OSU！用ZXキー\t2\t2:1\tZ\tX\r\n";

Form1::Form1() : plat::Window("Form1", "LumatapForm1"), PicView(this, "PicView") {
  setCaption(kAppTitle);
  plat::setApplicationTitle(caption());
  setFramed(true);
  setBorderStyle(plat::BorderStyle::SizableToolWindow);
  // An overlay over a game: clicking, dragging or sizing it leaves the game the keyboard.
  setNoActivate(true);
  move(0, 0, 160, 120);

  mnu.name = "mnu";
  mnu.items.resize(6);
  mnu.items[0].caption = "フレームなし";
  mnu.items[0].Click = [this](int) { mnuTitleBer_Click(); };
  mnu.items[1].caption = "オプション";
  mnu.items[1].Click = [this](int) { mnuOption_Click(); };
  mnu.items[2].caption = "配信用ページ";
  mnu.items[2].items.resize(3);
  mnu.items[2].items[0].caption = "配信用ページを使う";
  mnu.items[2].items[1].caption = "アドレスをコピー";
  mnu.items[2].items[2].caption = "新しいアドレスにする";
  mnu.items[3].caption = "カウンターをリセット";
  mnu.items[3].Click = [this](int) { mnuResetCounters_Click(); };
  mnu.items[4].caption = "-";
  mnu.items[5].caption = "終了";  // start-up connects it to the end sequence

  Resize = [this] { Form_Resize(); };
  Sizing = [this](plat::SizingEdge e, int& l, int& t, int& r, int& b) { Form_Sizing(e, l, t, r, b); };
  KeyDown = [this](int k, int s) { Form_KeyDown(k, s); };
  KeyUp = [this](int k, int s) { Form_KeyUp(k, s); };
  Timer = [this] { Form_Timer(); };
  DpiChanged = [this](int dpi, int left, int top) { Form_DpiChanged(dpi, left, top); };
  KeysMayBeStale = [this] { DrawAllKeys(*this, KeysDrawn::AsHeldNow); };
  ForegroundChanged = [this](bool hidden) { Form_ForegroundChanged(hidden); };
  // The grid covers the whole client area, so it acts as the window for the mouse.
  PicView.MouseDown = [this](int b, int s, int x, int y) { Form_MouseDown(b, s, x, y); };
  PicView.MouseUp = [this](int b, int s, int x, int y) { Form_MouseUp(b, s, x, y); };
  PicView.DblClick = [this] { PicView_DblClick(); };
}

}  // namespace lumatap
