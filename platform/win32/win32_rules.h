#pragma once
// Decisions of the Windows backend that need no Windows headers, so the native tests can
// hold them against the portable widgets: the decorations of a top-level window, which
// controls are shown and enabled on screen, the stacking order, what a mouse message means.

#include <algorithm>
#include <vector>

#include "platform/ui.h"

namespace plat::win32 {

// Style bits as <windows.h> defines them.
constexpr unsigned long kStylePopup = 0x80000000ul;
constexpr unsigned long kStyleClipChildren = 0x02000000ul;
constexpr unsigned long kStyleCaption = 0x00C00000ul;
constexpr unsigned long kStyleSysMenu = 0x00080000ul;
constexpr unsigned long kStyleThickFrame = 0x00040000ul;
constexpr unsigned long kExToolWindow = 0x00000080ul;
constexpr unsigned long kExDlgModalFrame = 0x00000001ul;
constexpr unsigned long kExNoActivate = 0x08000000ul;

struct Decorations {
  unsigned long style = 0;
  unsigned long exStyle = 0;
};

// The native style of a top-level window. A framed window has a caption and a system
// menu, and a sizing frame when it is sizable; a window without them becomes a pop-up, so
// that the system never adds a caption of its own, and keeps its system menu. There is
// never a minimise or maximise box. The border style picks the edge: tool windows (small
// caption, no taskbar button) or a fixed dialog frame. A window that never takes the
// activation says so to the system too.
inline Decorations decorations(const Window& w) {
  Decorations d;
  d.style = kStyleSysMenu | kStyleClipChildren;
  if (w.framed()) {
    d.style |= kStyleCaption;
    if (w.sizable()) d.style |= kStyleThickFrame;
  } else {
    d.style |= kStylePopup;
  }
  switch (w.borderStyle()) {
    case BorderStyle::FixedToolWindow:
    case BorderStyle::SizableToolWindow:
      d.exStyle = kExToolWindow;
      break;
    case BorderStyle::FixedDialog:
      d.exStyle = kExDlgModalFrame;
      break;
    case BorderStyle::None:
      break;
  }
  if (w.noActivate()) d.exStyle |= kExNoActivate;
  return d;
}

// Frames are containers only in the portable model; on screen every control is a direct
// child of its window. So a control shows while it and every frame around it are visible,
// and takes input while they are all enabled. The window itself is left out: hiding or
// disabling a window already does that to everything in it.
inline bool shownOnScreen(const Widget& w) {
  for (const Widget* p = &w; p && p->kind() != Widget::Kind::Window; p = p->parent()) {
    if (!p->visible()) return false;
  }
  return true;
}

inline bool enabledOnScreen(const Widget& w) {
  for (const Widget* p = &w; p && p->kind() != Widget::Kind::Window; p = p->parent()) {
    if (!p->enabled()) return false;
  }
  return true;
}

// The control whose native window holds w's native window: the nearest picture around it,
// which clips what it holds to its own rectangle, or else the window itself (null).
inline const Widget* nativeContainer(const Widget& w) {
  for (const Widget* p = w.parent(); p && p->kind() != Widget::Kind::Window; p = p->parent()) {
    if (p->kind() == Widget::Kind::Picture) return p;
  }
  return nullptr;
}

// Bottom to top: what a frame contains lies above the frame, and a control declared later
// lies above one declared earlier, so a panel can cover a frame declared before it.
inline std::vector<Widget*> stackingOrder(const Window& w) { return w.descendants(); }

// ---- Mouse -------------------------------------------------------------------------

// Button messages and MK_ flags as <windows.h> defines them.
constexpr unsigned kMsgLButtonDown = 0x0201;
constexpr unsigned kMsgMButtonDblClk = 0x0209;
constexpr unsigned long kMkShift = 0x0004;
constexpr unsigned long kMkControl = 0x0008;

struct MouseReport {
  int button = 0;  // 1 left, 2 right, 4 middle; 0 for no button event
  bool down = false;
};

// What a button message means for the portable mouse presses. A double-click of the right
// or middle button is just another press; the left button's double-click is reported as
// what it is (userDoubleClick), and the widget decides whether that is a press.
inline MouseReport mouseReport(unsigned msg) {
  if (msg < kMsgLButtonDown || msg > kMsgMButtonDblClk) return {};
  const unsigned offset = msg - kMsgLButtonDown;
  static constexpr int buttons[] = {1, 2, 4};
  MouseReport r;
  r.button = buttons[offset / 3];
  const unsigned kind = offset % 3;  // down, up, double-click
  if (kind == 2 && r.button == 1) return {};
  r.down = kind != 1;
  return r;
}

// Modifiers as the portable events take them: 1 Shift, 2 Ctrl, 4 Alt. A mouse message
// carries Shift and Ctrl; Alt is read from the keyboard.
inline int mouseShift(unsigned long mkFlags, bool altDown) {
  return ((mkFlags & kMkShift) ? 1 : 0) | ((mkFlags & kMkControl) ? 2 : 0) | (altDown ? 4 : 0);
}

// ---- Pictures ----------------------------------------------------------------------

struct Area {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return left >= right || top >= bottom; }
};

// The parts of a picture control that its surface does not cover, right of it and below
// it; they show the control's background. Empty areas when the surface covers it all.
struct Uncovered {
  Area right, below;
};
inline Uncovered uncoveredBy(int surfaceWidth, int surfaceHeight, int width, int height) {
  Uncovered u;
  if (surfaceWidth < width) u.right = {surfaceWidth, 0, width, height};
  if (surfaceHeight < height) u.below = {0, surfaceHeight, std::min(surfaceWidth, width), height};
  return u;
}

}  // namespace plat::win32
