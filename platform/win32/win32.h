#pragma once
// Shared by the files of the Windows backend. Each portable widget that is on screen has
// a Peer: its native window and the little the backend has to remember about it. The
// native window points back at its widget through GWLP_USERDATA; a native window that
// points nowhere belongs to a widget that has gone, and only gets default handling.

#include <windows.h>

#include <string>

#include "platform/ui.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_trace.h"

namespace plat::backend {

struct Peer {
  Peer() = default;
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  HWND hwnd = nullptr;
  // Set while the program itself moves or resizes the window, so that the WM_MOVE and
  // WM_SIZE this causes are not reported back as the user's doing.
  bool selfMove = false;
  // Set while the program sets a text box's text, so that its EN_CHANGE is not reported.
  bool selfText = false;
  // The window receives its keys from the keyboard hook, not from the focus.
  bool hooked = false;
  // Decorations chosen when the window was created.
  DWORD exStyle = 0;
  // Registered for WM_WTSSESSION_CHANGE.
  bool sessionWatched = false;
  // A dpiScaled window: the DPI its layout is drawn at now (that of its monitor).
  int dpi = 0;
  // Background brush for the widget's back colour: the system's for a system colour,
  // else ownBrush.
  HBRUSH brush = nullptr;
  COLORREF brushColor = 0;
  win32::GdiObject<HBRUSH> ownBrush;
};

}  // namespace plat::backend

namespace plat::win32 {

using backend::Peer;

// ---- Text (win32_system.cpp) --------------------------------------------------------
std::wstring widen(const std::string& utf8);
std::string narrow(const wchar_t* text, int length = -1);
std::string windowText(HWND h);

// ---- Widgets and their native windows (win32_common.cpp) ----------------------------
Peer* peerOf(const Widget& w);
HWND hwndOf(const Widget& w);
Widget* widgetOf(HWND h);
// Gives w a new peer for its native window h.
Peer& attach(Widget& w, HWND h);
// Frees the peer of w (not of its children); the native window is left alone.
void detach(Widget& w);

// ---- Drawing (win32_common.cpp) -----------------------------------------------------
// 0x00BBGGRR values are COLORREFs already; the top bit names a system colour.
COLORREF colorRef(Color c);
HBRUSH backBrush(Widget& w);
// The Japanese UI font, 9 points at `dpi` (0: the system's), plain, bold or underlined.
HFONT uiFont(bool bold = false, bool underline = false, int dpi = 0);
// Copies a surface to a device context at (x, y), as a 32-bit top-down DIB, stretched to
// width × height when those are given.
void drawSurface(HDC dc, const Surface& s, int x, int y, int width = -1, int height = -1);

// ---- Display scale (win32_common.cpp) -----------------------------------------------
// The DPI the widget is laid out for on screen: its window's for a dpiScaled window, 96
// (one program pixel is one screen pixel) otherwise.
int layoutDpi(const Widget& w);
// A length of the program's layout in screen pixels, and back.
int toScreen(const Widget& w, int v);
int fromScreen(const Widget& w, int v);
// Dots per inch of the monitor holding the point, or the system's.
int dpiAt(POINT p);
// Modifier state as the portable events take it: 1 Shift, 2 Ctrl, 4 Alt.
int shiftState();

// ---- Controls (win32_controls.cpp) --------------------------------------------------
void registerControlClasses(HINSTANCE instance);
// Creates the native control of w under its window's native window, if that exists.
void createControl(Widget& w);
void syncControl(Widget& w, Change what);
// Places every control of the window in the stacking order.
void restack(Window& w);
// WM_COMMAND, WM_DRAWITEM and WM_CTLCOLOR* of a window, for its controls. True when the
// message was a control's; `result` is then the answer.
bool controlMessage(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

// ---- Windows (win32_window.cpp) ----------------------------------------------------
// Keyboard navigation of a window that is not served by the hook: Tab in the focus order,
// the rest through IsDialogMessage. True when the message was used up.
bool dialogKeys(MSG& m);

}  // namespace plat::win32
