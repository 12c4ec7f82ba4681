// Top-level windows: creation, mirroring the portable window's state, and reporting what
// the user did to it.
#include "platform/win32/win32.h"

#include <shellscalingapi.h>
#include <wtsapi32.h>
#include <windowsx.h>

#include <algorithm>

#include "keyhook/keyevent.h"
#include "platform/backend.h"
#include "platform/system.h"
#include "platform/win32/win32_rules.h"

namespace plat {
namespace win32 {
namespace {

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

Window* windowOf(HWND h) {
  Widget* w = widgetOf(h);
  return w && w->kind() == Widget::Kind::Window ? static_cast<Window*>(w) : nullptr;
}

// Runs the program's own end sequence when the session ends, through the same close
// request as the close box, once for the whole program.
void endSession() {
  static bool ended = false;
  if (ended) return;
  ended = true;
  for (Window* w : loadedWindows()) w->requestClose();
}

// The frame around a window's client area on screen, at the DPI of its layout.
void screenFrame(const Window& w, int& extraWidth, int& extraHeight) {
  extraWidth = extraHeight = 0;
  // A dialog's modal frame would still add an edge around a pop-up.
  if (!w.framed()) return;
  Decorations d = decorations(w);
  if (Peer* p = peerOf(w)) d.exStyle = p->exStyle;
  RECT r{0, 0, 0, 0};
  if (w.dpiScaled()) {
    AdjustWindowRectExForDpi(&r, d.style, FALSE, d.exStyle, static_cast<UINT>(layoutDpi(w)));
  } else {
    AdjustWindowRectEx(&r, d.style, FALSE, d.exStyle);
  }
  extraWidth = r.right - r.left;
  extraHeight = r.bottom - r.top;
}

// The window's outer size on screen. A scaled window's client area grows with the
// scale; its frame is the system's for that scale.
SIZE screenSize(const Window& w) {
  if (!w.dpiScaled()) return {w.width(), w.height()};
  int ew = 0, eh = 0, lw = 0, lh = 0;
  screenFrame(w, ew, eh);
  backend::frameAllowance(w, lw, lh);
  return {toScreen(w, w.width() - lw) + ew, toScreen(w, w.height() - lh) + eh};
}

void reportPlacement(Window& w, HWND h, bool size) {
  RECT r;
  GetWindowRect(h, &r);
  if (size) {
    int width = r.right - r.left, height = r.bottom - r.top;
    if (w.dpiScaled()) {
      int ew = 0, eh = 0, lw = 0, lh = 0;
      screenFrame(w, ew, eh);
      backend::frameAllowance(w, lw, lh);
      width = fromScreen(w, width - ew) + lw;
      height = fromScreen(w, height - eh) + lh;
    }
    w.userResized(width, height);
  } else {
    w.userMoved(r.left, r.top);
  }
}

void syncWindow(Window& w, Change what);

// Runs the system's sizing loop for a window that never takes the activation. The loop
// follows the mouse beyond the window only while the window is in the foreground (so
// Wine has it), so the window holds the foreground for the drag alone; the window that
// had it gets it back.
void noActivateLoop(HWND h, WPARAM command, LPARAM at) {
  const HWND before = GetForegroundWindow();
  if (before != h) SetForegroundWindow(h);
  SendMessageW(h, WM_SYSCOMMAND, command, at);
  if (before != h) plat::restoreForeground(reinterpret_cast<ForeignWindow>(before));
}

// Moves the window with the mouse, held by the window, until the left button is released
// there (`end`: where) or the mouse is taken away. Not the system's move loop, which may
// take the foreground from the window that has it (Wine's does). False when Esc put the
// window back where it was.
bool followMouse(HWND h, POINT pressed, const RECT& start, POINT& end, int button) {
  end = pressed;
  // Wakes the loop now and then: a release the window never heard of (it went elsewhere
  // before the mouse was held) ends the move all the same.
  const UINT_PTR tick = SetTimer(nullptr, 0, 50, nullptr);
  struct KillTick {
    UINT_PTR id;
    ~KillTick() {
      if (id) KillTimer(nullptr, id);
    }
  } killTick{tick};
  MSG m;
  while (GetCapture() == h) {
    const BOOL got = GetMessageW(&m, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));  // for the program's loop
      ::ReleaseCapture();
      return true;
    }
    const bool lost = m.message == WM_TIMER && !m.hwnd && m.wParam == tick &&
                      !(GetAsyncKeyState(button) & 0x8000);
    if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP || lost) {
      if (lost) {
        GetCursorPos(&end);
      } else {
        end = m.pt;
      }
      SetWindowPos(h, nullptr, start.left + end.x - pressed.x, start.top + end.y - pressed.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      if (m.message != WM_MOUSEMOVE) {
        ::ReleaseCapture();
        return true;
      }
      continue;
    }
    if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
      SetWindowPos(h, nullptr, start.left, start.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      ::ReleaseCapture();
      return false;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return true;
}

// The sizing loop under way: where it began, so that the rectangle the user drags to is
// known whatever the window was snapped to meanwhile (Wine's loop adds each mouse step to
// the rectangle it was given back, so snapped steps would never add up).
struct SizingLoop {
  HWND hwnd = nullptr;
  RECT start{};
  POINT from{};
} g_sizing;

POINT messagePoint() {
  const DWORD pos = GetMessagePos();
  return {GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
}

// The rectangle the mouse has dragged the edge to since the loop began.
RECT draggedRect(HWND h, WPARAM edge, const RECT& proposed) {
  if (g_sizing.hwnd != h) return proposed;
  POINT now;
  GetCursorPos(&now);
  const int dx = now.x - g_sizing.from.x, dy = now.y - g_sizing.from.y;
  RECT r = g_sizing.start;
  if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT) r.left += dx;
  if (edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT) r.right += dx;
  if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT) r.top += dy;
  if (edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT) r.bottom += dy;
  return r;
}

// A scaled window reached a monitor with another DPI: the window, every control and
// their fonts take the new scale, the window at the corner the system suggests.
void rescale(Window& w, int dpi, int left, int top) {
  Peer* p = peerOf(w);
  if (!p || p->dpi == dpi) return;
  p->dpi = dpi;
  w.userMoved(left, top);
  syncWindow(w, Change::Geometry);
  for (Widget* c : w.descendants()) {
    syncControl(*c, Change::Geometry);
    syncControl(*c, Change::Font);
  }
  InvalidateRect(p->hwnd, nullptr, TRUE);
}

// The id of a window's one-shot timer.
constexpr UINT_PTR kWindowTimer = 1;

// Layered with a colour key while the window asks for one; an ordinary window otherwise.
void applyColorKey(Window& w, HWND h) {
  const LONG_PTR ex = GetWindowLongPtrW(h, GWL_EXSTYLE);
  if (w.colorKeyed()) {
    if (!(ex & WS_EX_LAYERED)) SetWindowLongPtrW(h, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    if (!SetLayeredWindowAttributes(h, colorRef(w.colorKey()), 0, LWA_COLORKEY))
      traceFailure("SetLayeredWindowAttributes");
  } else if (ex & WS_EX_LAYERED) {
    SetWindowLongPtrW(h, GWL_EXSTYLE, ex & ~WS_EX_LAYERED);
    RedrawWindow(h, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
  }
}

LRESULT CALLBACK windowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    attach(*static_cast<Window*>(cs->lpCreateParams), h);
  }
  Window* w = windowOf(h);
  Peer* p = w ? peerOf(*w) : nullptr;
  if (!w || !p) return DefWindowProcW(h, msg, wp, lp);

  LRESULT result = 0;
  if (controlMessage(*w, msg, wp, lp, result)) return result;

  switch (msg) {
    case keyhook::kMsgKeyDown:
      // The hook's message carries the modifier state; asking the system for it costs
      // more than the drawing that follows.
      w->deliverKeyDown(static_cast<int>(wp), keyhook::modifiersOf(static_cast<std::uint32_t>(lp)));
      return 0;
    case keyhook::kMsgKeyUp:
      w->deliverKeyUp(static_cast<int>(wp), keyhook::modifiersOf(static_cast<std::uint32_t>(lp)));
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      // The hook already delivers every key of a hooked window; these would come twice.
      if (!p->hooked) {
        if (msg == WM_KEYDOWN) {
          w->deliverKeyDown(static_cast<int>(wp), shiftState());
        } else {
          w->deliverKeyUp(static_cast<int>(wp), shiftState());
        }
      }
      return 0;
    case WM_COMMAND:
      // Esc, as the dialog keys report it (there is no control with the id IDCANCEL).
      if (lp == 0 && LOWORD(wp) == IDCANCEL) {
        w->userEscape();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The portable close request decides; it destroys the window when it goes through.
      w->userCloseBox();
      return 0;
    case WM_TIMER:
      if (wp == kWindowTimer) {
        w->userTimer();
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wp) endSession();
      return 0;
    case WM_DESTROY:
      if (p->sessionWatched) WTSUnRegisterSessionNotification(h);
      p->sessionWatched = false;
      break;
    case WM_MOVE:
      if (!p->selfMove && !IsIconic(h)) reportPlacement(*w, h, false);
      return 0;
    case WM_SIZE:
      if (!p->selfMove && wp != SIZE_MINIMIZED) reportPlacement(*w, h, true);
      return 0;
    case WM_SIZING:
      // Whatever the handler makes of the rectangle is what the system shows, so the
      // frame never shows a size the window does not keep. A scaled window sizes freely.
      if (w->Sizing && !w->dpiScaled() && wp >= WMSZ_LEFT && wp <= WMSZ_BOTTOMRIGHT) {
        auto* r = reinterpret_cast<RECT*>(lp);
        *r = draggedRect(h, wp, *r);
        int left = r->left, top = r->top, right = r->right, bottom = r->bottom;
        w->userSizing(static_cast<SizingEdge>(wp - WMSZ_LEFT), left, top, right, bottom);
        *r = RECT{left, top, right, bottom};
        return TRUE;
      }
      break;
    case WM_ENTERSIZEMOVE:
      g_sizing = {h, {}, messagePoint()};
      GetWindowRect(h, &g_sizing.start);
      break;
    case WM_EXITSIZEMOVE:
      if (g_sizing.hwnd == h) g_sizing = {};
      break;
    case WM_MOUSEACTIVATE:
      if (w->noActivate()) return MA_NOACTIVATE;
      break;
    case WM_NCLBUTTONDOWN:
      // The system's handling of a press on the caption or the sizing frame activates the
      // window first; the move or the sizing alone leaves the foreground where it is.
      if (w->noActivate()) {
        if (wp == HTCAPTION) {
          backend::beginDragMove(*w);
          return 0;
        }
        if (wp >= HTLEFT && wp <= HTBOTTOMRIGHT) {
          noActivateLoop(h, SC_SIZE | (wp - HTLEFT + WMSZ_LEFT), lp);
          return 0;
        }
      }
      break;
    case WM_GETMINMAXINFO: {
      // The framed grid may be narrower than the system's smallest captioned window; the
      // window is exactly as large as the program makes it.
      auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
      int ew = 0, eh = 0;
      screenFrame(*w, ew, eh);
      mm->ptMinTrackSize.x = ew + 1;
      mm->ptMinTrackSize.y = eh + 1;
      return 0;
    }
    case WM_ACTIVATE:
      // Give the focus back to the control that had it when the window was left.
      if (LOWORD(wp) != WA_INACTIVE && w->focused()) {
        if (HWND f = hwndOf(*w->focused()); f && IsWindowEnabled(f) && IsWindowVisible(f)) {
          SetFocus(f);
          return 0;
        }
      }
      break;
    case WM_WTSSESSION_CHANGE:
      // Unlocked, or the session came back to this screen: keys released meanwhile
      // went elsewhere.
      if (wp == WTS_SESSION_UNLOCK || wp == WTS_CONSOLE_CONNECT || wp == WTS_REMOTE_CONNECT) {
        w->userKeysMayBeStale();
      }
      return 0;
    case WM_POWERBROADCAST:
      if (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND) w->userKeysMayBeStale();
      return TRUE;
    case WM_DPICHANGED: {
      const int dpi = HIWORD(wp);
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      if (w->dpiScaled()) {
        rescale(*w, dpi, suggested->left, suggested->top);
      } else {
        w->userDpiChanged(dpi, suggested->left, suggested->top);
      }
      return 0;
    }
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(h, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, backBrush(*w));
      return 1;
    }
    default:
      break;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

void registerWindowClass(const Window& w) {
  const std::wstring name = widen(w.className());
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance(), name.c_str(), &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The program's icon (resource 1), in the sizes the system shows; a program built
  // without resources gets the system's.
  wc.hIcon = LoadIconW(instance(), MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!wc.hIcon) {
    traceFailure("LoadIconW 1");
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  }
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  if (!RegisterClassExW(&wc)) traceFailure("RegisterClassExW " + w.className());
  registerControlClasses(instance());
}

// The native style for the window's frame, keeping the bits the system owns.
void applyStyle(Window& w, HWND h) {
  Decorations d = decorations(w);
  LONG_PTR keep = GetWindowLongPtrW(h, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED);
  SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(d.style) | keep);
}

void createWindow(Window& w) {
  const std::wstring cls = widen(w.className());
  registerWindowClass(w);
  Decorations d = decorations(w);
  if (w.topmost()) d.exStyle |= WS_EX_TOPMOST;
  // The window procedure attaches the peer to the native window as soon as it exists.
  w.setPeer(backend::PeerPtr(new Peer));
  Peer* p = peerOf(w);
  p->exStyle = d.exStyle;
  p->selfMove = true;
  if (w.dpiScaled()) p->dpi = dpiAt({w.left(), w.top()});
  const SIZE size = screenSize(w);
  HWND h = CreateWindowExW(d.exStyle, cls.c_str(), widen(w.caption()).c_str(), d.style, w.left(),
                           w.top(), size.cx, size.cy, nullptr, nullptr, instance(), &w);
  if (!h) {
    traceFailure("CreateWindowExW " + w.name());
    w.setPeer(nullptr);
    return;
  }
  // The task switcher and the caption ask the window for its icon, not its class.
  if (HICON big = LoadIconW(instance(), MAKEINTRESOURCEW(1))) {
    SendMessageW(h, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    const HANDLE small = LoadImageW(instance(), MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                    GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageW(h, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  // The system may have put in a caption or sizing frame of its own; ours wins.
  applyStyle(w, h);
  SetWindowPos(h, nullptr, w.left(), w.top(), size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  p->selfMove = false;

  for (Widget* c : stackingOrder(w)) createControl(*c);
  restack(w);
  if (w.colorKeyed()) applyColorKey(w, h);
  if (!w.enabled()) EnableWindow(h, FALSE);
  if (w.visible()) ShowWindow(h, SW_SHOW);
}

void syncWindow(Window& w, Change what) {
  if (what == Change::Created) {
    if (!peerOf(w)) createWindow(w);
    return;
  }
  Peer* p = peerOf(w);
  if (!p) return;
  HWND h = p->hwnd;
  switch (what) {
    case Change::Geometry: {
      p->selfMove = true;
      const SIZE size = screenSize(w);
      SetWindowPos(h, nullptr, w.left(), w.top(), size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
      p->selfMove = false;
      break;
    }
    case Change::Caption:
      SetWindowTextW(h, widen(w.caption()).c_str());
      break;
    case Change::Enabled:
      EnableWindow(h, w.enabled());
      break;
    case Change::Visible:
      ShowWindow(h, w.visible() ? SW_SHOW : SW_HIDE);
      break;
    case Change::Style:
      // The frame is recomputed when the program asks for it (frameChanged).
      applyStyle(w, h);
      break;
    case Change::Border:
      // The tool-window edge and the dialog frame were chosen when the window was created,
      // and the frame allowances the grid is sized by were measured on them; they stay.
      break;
    case Change::Colors:
      InvalidateRect(h, nullptr, TRUE);
      break;
    case Change::Focus:
      // No control can take the keyboard: the window keeps it, so Esc still closes it.
      if (!w.focused() && GetActiveWindow() == h) SetFocus(h);
      break;
    default:
      break;
  }
}

void forgetControls(Widget& w) {
  for (Widget* c : w.children()) {
    forgetControls(*c);
    detach(*c);
  }
}

}  // namespace

bool dialogKeys(MSG& m) {
  if (!m.hwnd) return false;
  HWND root = GetAncestor(m.hwnd, GA_ROOT);
  Window* w = windowOf(root);
  Peer* p = w ? peerOf(*w) : nullptr;
  if (!p || p->hooked) return false;
  if (m.message == WM_KEYDOWN && m.wParam == VK_TAB && !(GetKeyState(VK_CONTROL) & 0x8000) &&
      !(GetKeyState(VK_MENU) & 0x8000)) {
    // The program's focus order, not the stacking order the dialog manager would follow.
    if (Widget* now = w->userTab((GetKeyState(VK_SHIFT) & 0x8000) != 0)) {
      if (HWND target = hwndOf(*now)) {
        // Also when the program's focus stayed where it was and the system's did not.
        if (GetFocus() != target) SetFocus(target);
        // As the dialog manager does: a box reached by Tab has its text selected, so
        // typing replaces it.
        if (now->kind() == Widget::Kind::TextBox) SendMessageW(target, EM_SETSEL, 0, -1);
      }
    }
    return true;
  }
  return IsDialogMessageW(root, &m) != 0;
}

}  // namespace win32

using namespace win32;

namespace backend {

void sync(Widget& w, Change what) {
  if (w.kind() == Widget::Kind::Window) {
    syncWindow(static_cast<Window&>(w), what);
  } else {
    syncControl(w, what);
  }
}

void destroy(Widget& w) {
  Peer* p = peerOf(w);
  if (!p) return;
  HWND h = p->hwnd;
  // Destroying a window takes its controls with it; let go of their peers first.
  if (w.kind() == Widget::Kind::Window) forgetControls(w);
  detach(w);
  if (h) DestroyWindow(h);
}

void frameAllowance(const Window& w, int& extraWidth, int& extraHeight) {
  // In the window's own units: a scaled window's frame as it would be at 96 dpi.
  screenFrame(w, extraWidth, extraHeight);
  if (w.dpiScaled()) {
    extraWidth = fromScreen(w, extraWidth);
    extraHeight = fromScreen(w, extraHeight);
  }
}

int monitorDpi(const Window& w) {
  if (HWND h = hwndOf(w)) {
    UINT x = 0, y = 0;
    if (SUCCEEDED(GetDpiForMonitor(MonitorFromWindow(h, MONITOR_DEFAULTTONEAREST), MDT_EFFECTIVE_DPI,
                                   &x, &y)) &&
        y > 0) {
      return static_cast<int>(y);
    }
    return static_cast<int>(GetDpiForWindow(h));
  }
  return dpiAt({w.left(), w.top()});
}

void colorKeyChanged(Window& w) {
  if (HWND h = hwndOf(w)) applyColorKey(w, h);
}

void startTimer(Window& w, int ms) {
  HWND h = hwndOf(w);
  if (h && !SetTimer(h, kWindowTimer, static_cast<UINT>(ms), nullptr)) traceFailure("SetTimer");
}

void stopTimer(Window& w) {
  if (HWND h = hwndOf(w)) KillTimer(h, kWindowTimer);
}

void setTopmost(Window& w, bool on) {
  Peer* p = peerOf(w);
  if (!p) return;
  p->selfMove = true;
  SetWindowPos(p->hwnd, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  p->selfMove = false;
}

void frameChanged(Window& w) {
  Peer* p = peerOf(w);
  if (!p) return;
  p->selfMove = true;
  SetWindowPos(p->hwnd, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  p->selfMove = false;
}

void beginDragMove(Window& w) {
  HWND h = hwndOf(w);
  if (!h) return;
  // Whoever holds the mouse lets go of it, so that the move below gets it.
  ::ReleaseCapture();
  const DWORD pressed = GetMessagePos();  // where the button went down
  RECT start;
  GetWindowRect(h, &start);
  // Hold the mouse first: from here on its release comes to this window whatever lies
  // under it, so either the button is still down now and the move below sees the
  // release, or it is already up.
  SetCapture(h);
  const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  const bool held = (GetAsyncKeyState(button) & 0x8000) != 0;
  POINT end;
  if (held) {
    // The window follows the mouse until the button is released, as if the caption had
    // been grabbed where the button went down.
    if (!followMouse(h, {GET_X_LPARAM(pressed), GET_Y_LPARAM(pressed)}, start, end, button)) return;
  } else {
    ::ReleaseCapture();
    GetCursorPos(&end);
  }
  // Mouse input quicker than the program may have gone to other windows before the
  // mouse was held: moves are then missing, or the release itself (the button was already
  // up). The window ends where the release puts it, kept inside the work area as the
  // system keeps it.
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(MonitorFromPoint(end, MONITOR_DEFAULTTONEAREST), &mi)) {
    end.x = std::clamp(end.x, mi.rcWork.left, mi.rcWork.right - 1);
    end.y = std::clamp(end.y, mi.rcWork.top, mi.rcWork.bottom - 1);
  }
  const int left = start.left + end.x - GET_X_LPARAM(pressed);
  const int top = start.top + end.y - GET_Y_LPARAM(pressed);
  RECT now;
  GetWindowRect(h, &now);
  if (now.left != left || now.top != top) {
    SetWindowPos(h, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace backend
}  // namespace plat
