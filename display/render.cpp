// Drawing keys: every key released after a layout, single keys as the hook reports them.
// The grid itself is the only record of what is held; each event copies pictures from the
// decoded skin straight onto it and presents it once, with nothing allocated on the way.
#include <algorithm>

#include "display/form1.h"

namespace lumatap {

namespace {

// Rows of the skin picture, in cells.
constexpr int kReleasedRow = 0;
constexpr int kPressedRow = 1;

// A slot's key code outside the table has no definition either: it shows cell 0.
int cellOf(int16 code) { return code >= 0 && code < kKeyDefCount ? KeyDefs[code].Cell : 0; }

// Copies one picture of `code` into slot `slot`'s cell, row by row from the top-left.
void drawSlot(Form1& form, int slot, int16 code, int pictureRow) {
  const int column = slot % CurCols;
  const int row = slot / CurCols;
  const int cell = form.cellPixels();
  plat::bitBlt(form.PicView.surface(), cell * column, cell * row, cell, cell, form.PicKeys,
               cell * cellOf(code), cell * pictureRow);
}

void drawKey(Form1& form, int keyCode, int pictureRow) {
  const int n = CurCols > 0 ? shownKeyCount() : 0;  // no columns: nowhere to draw
  for (int i = 0; i < n; ++i) {
    if (ProfKeys[CurProfile][i] == keyCode) drawSlot(form, i, ProfKeys[CurProfile][i], pictureRow);
  }
  form.PicView.present();
}

}  // namespace

int shownKeyCount() {
  if (CurProfile < 0 || CurProfile >= kMaxProfiles) return 0;
  return std::clamp<int>(ProfKeyCounts[CurProfile], 0, kSlotsPerProfile);
}

void DrawAllKeys(Form1& form) {
  if (LayoutBusy) return;
  plat::Surface& grid = form.PicView.surface();
  grid.setBackground(plat::pixelFromColor(kGridBackground));
  grid.clear();
  const int n = CurCols > 0 ? shownKeyCount() : 0;
  for (int i = 0; i < n; ++i) drawSlot(form, i, ProfKeys[CurProfile][i], kReleasedRow);
  form.PicView.present();
}

void Form1::Form_KeyDown(int keyCode, int) { drawKey(*this, keyCode, kPressedRow); }

void Form1::Form_KeyUp(int keyCode, int) { drawKey(*this, keyCode, kReleasedRow); }

}  // namespace lumatap
