// Sizing the grid and the window, and re-flowing the grid when the user resizes the window.
#include <algorithm>

#include "display/form1.h"
#include "platform/system.h"

namespace lumatap {

namespace {

// Far more cells a side than any screen shows, yet small enough that a damaged profile
// (say 30000 columns) cannot ask for a surface of gigabytes.
constexpr int kMaxGridSide = 128;

int gridSide(int cells) { return std::clamp(cells, 0, kMaxGridSide); }

// Division rounding toward minus infinity, for the "cells that fit" counts.
int floorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Clears LayoutBusy on every way out.
struct LayoutBusyScope {
  LayoutBusyScope() { LayoutBusy = true; }
  ~LayoutBusyScope() { LayoutBusy = false; }
  LayoutBusyScope(const LayoutBusyScope&) = delete;
  LayoutBusyScope& operator=(const LayoutBusyScope&) = delete;
};

}  // namespace

int gridScaleForDpi(int dpi) { return std::max(1, (dpi + 47) / 96); }

void applyMonitorScale(Form1& form, int dpi) {
  form.gridScale = gridScaleForDpi(dpi);
  // The frame of a window follows the scale of the monitor it is on.
  const plat::ScreenMetrics m = plat::screenMetrics(dpi);
  CaptionHeight = static_cast<int16>(m.captionHeight);
  FrameWidth = static_cast<int16>(m.frameWidth);
  FrameHeight = static_cast<int16>(m.frameHeight);
}

void gridWindowSize(const Form1& form, bool frameless, int& width, int& height) {
  width = form.cellPixels() * gridSide(CurCols);
  height = form.cellPixels() * gridSide(CurRows);
  if (!frameless) {
    width += 2 * FrameWidth;
    height += CaptionHeight + 2 * FrameHeight;
  }
}

void LayoutGrid(Form1& form, int16 cols, int16 rows) {
  // The size notifications raised below come back into Form_Resize while this is set.
  LayoutBusyScope busy;

  const int gridWidth = form.cellPixels() * gridSide(cols);
  const int gridHeight = form.cellPixels() * gridSide(rows);
  plat::Surface& grid = form.PicView.surface();
  grid.setBackground(plat::pixelFromColor(form.gridBackground));
  form.PicView.setBackColor(form.gridBackground);
  form.PicView.move(0, 0, gridWidth, gridHeight);
  grid.resize(gridWidth, gridHeight);

  int width = 0, height = 0;
  gridWindowSize(form, Frameless, width, height);
  form.setWidth(width);
  form.setHeight(height);
}

void applyCurrentProfile(Form1& form) {
  CurCols = ProfCols[CurProfile];
  CurRows = ProfRows[CurProfile];
  LayoutGrid(form, CurCols, CurRows);
  DrawAllKeys(form);
}

void Form1::Form_Resize() {
  if (LayoutBusy) return;

  const int n = shownKeyCount();
  // Estimate the client area. Window sizes are whole pixels here, so there is nothing left
  // to round.
  int w = width();
  int h = height();
  if (!Frameless) {
    w -= 2 * FrameWidth;
    h -= CaptionHeight + 2 * FrameHeight;
  }
  // A cell fits when at most 6 of its skin pixels are missing.
  const int cell = cellPixels();
  const int fitCols = floorDiv(w + 6 * gridScale, cell);
  const int fitRows = floorDiv(h + 6 * gridScale, cell);

  // Whichever side is shorter decides; the key count gives the other.
  int cols = 0, rows = 0;
  if (w < h) {
    if (fitCols >= 1) {
      cols = gridSide(fitCols);
      rows = n / cols + (n % cols != 0);
    } else {
      cols = 1;
      rows = n;
    }
  } else {
    if (fitRows >= 1) {
      rows = gridSide(fitRows);
      cols = n / rows + (n % rows != 0);
    } else {
      rows = 1;
      cols = n;
    }
  }
  CurCols = static_cast<int16>(cols);
  CurRows = static_cast<int16>(rows);
  LayoutGrid(*this, CurCols, CurRows);
  DrawAllKeys(*this);
}

void Form1::Form_DpiChanged(int dpi, int left, int top) {
  const int before = gridScale;
  applyMonitorScale(*this, dpi);
  if (gridScale != before) scaleSkinToGrid(*this);
  // The corner the system suggests keeps the window under the mouse while it is dragged
  // across; the size is the grid's own.
  move(left, top, width(), height());
  LayoutGrid(*this, CurCols, CurRows);
  DrawAllKeys(*this);
}

}  // namespace lumatap
