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

}  // namespace

int gridScaleForDpi(int dpi) { return std::max(1, (dpi + 47) / 96); }

void applyMonitorScale(Form1& form, int dpi) {
  form.gridScale = gridScaleForDpi(dpi);
  takeFrameMetrics(plat::screenMetrics(dpi));
}

namespace {
// What the caption and sizing frame add to the grid, none without them.
int frameExtraWidth(bool frameless) { return frameless ? 0 : 2 * FrameWidth; }
int frameExtraHeight(bool frameless) { return frameless ? 0 : CaptionHeight + 2 * FrameHeight; }

void windowSizeFor(const Form1& form, bool frameless, int cols, int rows, int& width, int& height) {
  width = form.cellPixels() * gridSide(cols) + frameExtraWidth(frameless);
  height = form.cellPixels() * gridSide(rows) + frameExtraHeight(frameless);
}
}  // namespace

void gridWindowSize(const Form1& form, bool frameless, int& width, int& height) {
  windowSizeFor(form, frameless, CurCols, CurRows, width, height);
}

void LayoutGrid(Form1& form, int16 cols, int16 rows) {
  // The size notifications raised below come back into Form_Resize while this is set.
  LayoutBusyScope busy;
  // From here on the window's size is the program's, not the one a frame drag chose.
  form.sizingGrid.set = false;

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

GridShape reflowGrid(const Form1& form, int windowWidth, int windowHeight) {
  const int n = shownKeyCount();
  // Estimate the client area. Window sizes are whole pixels here, so there is nothing left
  // to round.
  const int w = windowWidth - frameExtraWidth(Frameless);
  const int h = windowHeight - frameExtraHeight(Frameless);
  // A cell fits when at most 6 of its skin pixels are missing.
  const int cell = form.cellPixels();
  const int fitCols = floorDiv(w + 6 * form.gridScale, cell);
  const int fitRows = floorDiv(h + 6 * form.gridScale, cell);

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
  return {static_cast<int16>(cols), static_cast<int16>(rows)};
}

void resizeFromEdge(plat::SizingEdge edge, int& left, int& top, int& right, int& bottom, int width,
                    int height) {
  using E = plat::SizingEdge;
  if (edge == E::Left || edge == E::TopLeft || edge == E::BottomLeft) {
    left = right - width;
  } else {
    right = left + width;
  }
  if (edge == E::Top || edge == E::TopLeft || edge == E::TopRight) {
    top = bottom - height;
  } else {
    bottom = top + height;
  }
}

void Form1::Form_Resize() {
  if (LayoutBusy) return;
  // At the size a frame drag was snapped to, the grid that snap chose: re-flowing the
  // snapped size could give another (6 keys at 4 × 2 are 3 × 2 again).
  GridShape shape;
  if (sizingGrid.set && sizingGrid.width == width() && sizingGrid.height == height()) {
    shape = {sizingGrid.cols, sizingGrid.rows};
  } else {
    shape = reflowGrid(*this, width(), height());
  }
  CurCols = shape.cols;
  CurRows = shape.rows;
  LayoutGrid(*this, CurCols, CurRows);
  DrawAllKeys(*this);
}

void Form1::Form_Sizing(plat::SizingEdge edge, int& left, int& top, int& right, int& bottom) {
  if (LayoutBusy) return;
  const GridShape shape = reflowGrid(*this, right - left, bottom - top);
  int width = 0, height = 0;
  windowSizeFor(*this, Frameless, shape.cols, shape.rows, width, height);
  sizingGrid = {width, height, shape.cols, shape.rows, true};
  resizeFromEdge(edge, left, top, right, bottom, width, height);
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
