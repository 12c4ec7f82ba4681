// Controls: every portable control becomes a direct child of its window's native window,
// at the client coordinates the program gives it. Frames are containers only in the
// portable model; on screen they are panels stacked below what they contain. A picture is
// a container on screen too: what it holds are children of its native window, clipped by
// it (the key buttons on their pad).
#include "platform/win32/win32.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/backend.h"
#include "platform/win32/win32_rules.h"

namespace plat {
namespace win32 {
namespace {

const wchar_t* const kPictureClass = L"LumatapPicture";
const wchar_t* const kFrameClass = L"LumatapFrame";
// A drop-down list's native height includes its list, which the program does not size.
constexpr int kDropDownHeight = 240;

int nextControlId = 1000;  // clear of IDOK and IDCANCEL, which the dialog keys send

bool ownerDrawn(const Widget& w) {
  if (w.kind() != Widget::Kind::Button) return false;
  const auto& b = static_cast<const Button&>(w);
  return b.colored() || !b.picture().empty();
}

int nativeHeight(const Widget& w) {
  return toScreen(w, w.kind() == Widget::Kind::ComboBox ? w.height() + kDropDownHeight : w.height());
}

HFONT fontFor(const Widget& w) {
  const Window* win = w.window();
  return uiFont(w.bold(), w.underline(), win && win->dpiScaled() ? layoutDpi(w) : 0);
}

// The control's place on screen, in its native parent's client area.
RECT screenRect(const Widget& w) {
  const int left = toScreen(w, w.left()), top = toScreen(w, w.top());
  // Both edges scaled, so neighbours that touch in the layout touch on screen.
  RECT r{left, top, toScreen(w, w.left() + w.width()), top + nativeHeight(w)};
  if (const Widget* c = nativeContainer(w)) OffsetRect(&r, -toScreen(*c, c->left()), -toScreen(*c, c->top()));
  return r;
}

HWND nativeParent(const Widget& w) {
  if (const Widget* c = nativeContainer(w)) {
    if (HWND h = hwndOf(*c)) return h;
  }
  const Window* win = w.window();
  return win ? hwndOf(*win) : nullptr;
}

void placeNative(const Widget& w, HWND h) {
  const RECT at = screenRect(w);
  SetWindowPos(h, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// The closed drop-down list as tall as the program made it.
void setComboHeight(const Widget& w, HWND h) {
  SendMessageW(h, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(8, toScreen(w, w.height() - 6)));
}

// A picture in its control: one surface pixel per screen pixel, or scaled with the window.
void drawScaled(HDC dc, const Widget& w, const Surface& s, int x, int y) {
  drawSurface(dc, s, x, y, toScreen(w, s.width()), toScreen(w, s.height()));
}

bool stillThere(HWND h, Widget* w) { return IsWindow(h) && widgetOf(h) == w; }

// Reports mouse buttons and keys of a control. False when the widget went away while its
// handler ran, so the caller must not touch it any more.
bool reportInput(HWND h, Widget& w, UINT msg, WPARAM wp, LPARAM lp) {
  const MouseReport m = mouseReport(msg);
  if (m.button || msg == WM_LBUTTONDBLCLK) {
    const int shift = mouseShift(wp, (GetKeyState(VK_MENU) & 0x8000) != 0);
    const int x = fromScreen(w, GET_X_LPARAM(lp)), y = fromScreen(w, GET_Y_LPARAM(lp));
    if (msg == WM_LBUTTONDBLCLK) {
      w.userDoubleClick(shift, x, y);
    } else if (m.down) {
      w.userMouseDown(m.button, shift, x, y);
    } else {
      w.userMouseUp(m.button, shift, x, y);
    }
  } else if (msg == WM_KEYDOWN) {
    w.userKeyDown(static_cast<int>(wp), shiftState());
  } else if (msg == WM_KEYUP) {
    w.userKeyUp(static_cast<int>(wp), shiftState());
  } else if (msg == WM_SETFOCUS) {
    w.userFocus();
  } else {
    return true;
  }
  return stillThere(h, &w);
}

// The system's controls, watched for the input the portable events need.
LRESULT CALLBACK controlProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(h, controlProc, 0);
    return DefSubclassProc(h, msg, wp, lp);
  }
  Widget* w = widgetOf(h);
  if (!w) return DefSubclassProc(h, msg, wp, lp);
  // The native control sees the double-click as the program took it: where that was a
  // press, an owner-drawn button must press again too, or it raises no BN_CLICKED.
  const bool press = msg == WM_LBUTTONDBLCLK && w->doubleClickIsPress();
  if (msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP) {
    const bool taken = msg == WM_SYSKEYDOWN ? w->userSystemKeyDown(static_cast<int>(wp), shiftState())
                                            : w->userSystemKeyUp(static_cast<int>(wp), shiftState());
    if (taken) return 0;  // no menu: the system never sees the key
    if (!stillThere(h, w)) return 0;
  } else if ((msg == WM_SYSCHAR || msg == WM_SYSDEADCHAR) && w->takesSystemKey(0, shiftState())) {
    return 0;  // the character of Alt+letter would look for a menu item
  }
  if (!reportInput(h, *w, msg, wp, lp)) return 0;
  return DefSubclassProc(h, press ? WM_LBUTTONDOWN : msg, wp, lp);
}

// ---- Pictures ----------------------------------------------------------------------

void paintPicture(Picture& pic, HDC dc, HWND h) {
  RECT r;
  GetClientRect(h, &r);
  const Surface& s = pic.surface();
  drawScaled(dc, pic, s, 0, 0);
  // Whatever the surface does not cover shows the control's background.
  Uncovered u = uncoveredBy(toScreen(pic, s.width()), toScreen(pic, s.height()), r.right, r.bottom);
  for (const Area& a : {u.right, u.below}) {
    if (a.empty()) continue;
    RECT fill{a.left, a.top, a.right, a.bottom};
    FillRect(dc, &fill, backBrush(pic));
  }
}

LRESULT CALLBACK pictureProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* pic = static_cast<Picture*>(widgetOf(h));
  if (!pic) return DefWindowProcW(h, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      paintPicture(*pic, dc, h);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK:
    case WM_KEYDOWN: case WM_KEYUP:
      reportInput(h, *pic, msg, wp, lp);
      return 0;
    case WM_COMMAND: case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
      // From the controls the picture holds; they are the window's controls all the same.
      if (Window* win = pic->window()) {
        LRESULT result = 0;
        if (controlMessage(*win, msg, wp, lp, result)) return result;
      }
      return DefWindowProcW(h, msg, wp, lp);
    default:
      return DefWindowProcW(h, msg, wp, lp);
  }
}

// ---- Frames ------------------------------------------------------------------------

void paintFrame(Frame& f, HDC dc, HWND h) {
  RECT r;
  GetClientRect(h, &r);
  FillRect(dc, &r, backBrush(f));
  if (f.caption().empty() && !f.showBorder()) return;  // a plain panel
  const SelectedObject font(dc, fontFor(f));
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  RECT edge = r;
  if (!f.caption().empty()) edge.top += tm.tmHeight / 2;
  DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
  if (!f.caption().empty()) {
    // Spaces either side open a gap in the line for the caption.
    std::wstring text = L" " + widen(f.caption()) + L" ";
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, colorRef(f.backColor()));
    SetTextColor(dc, enabledOnScreen(f) ? colorRef(f.foreColor()) : GetSysColor(COLOR_GRAYTEXT));
    RECT t{toScreen(f, 6), 0, r.right - toScreen(f, 6), tm.tmHeight};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t, DT_SINGLELINE | DT_NOPREFIX);
  }
}

LRESULT CALLBACK frameProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* f = static_cast<Frame*>(widgetOf(h));
  if (!f) return DefWindowProcW(h, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      paintFrame(*f, dc, h);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcW(h, msg, wp, lp);
  }
}

// ---- Owner-drawn buttons -----------------------------------------------------------

void drawButton(Button& b, const DRAWITEMSTRUCT& d) {
  HDC dc = d.hDC;
  RECT r = d.rcItem;
  const bool pressed = d.itemState & ODS_SELECTED;
  FillRect(dc, &r, backBrush(b));
  DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  const int shift = pressed ? 1 : 0;
  if (const Surface& picture = b.picture(); !picture.empty()) {
    drawScaled(dc, b, picture, (r.right - r.left - toScreen(b, picture.width())) / 2 + shift,
               (r.bottom - r.top - toScreen(b, picture.height())) / 2 + shift);
  } else {
    std::wstring text = widen(b.caption());
    const SelectedObject font(dc, fontFor(b));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, (d.itemState & ODS_DISABLED) ? GetSysColor(COLOR_GRAYTEXT)
                                                  : colorRef(b.foreColor()));
    RECT t = r;
    OffsetRect(&t, shift, shift);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  if (d.itemState & ODS_FOCUS) {
    RECT f = r;
    InflateRect(&f, -4, -4);
    DrawFocusRect(dc, &f);
  }
}

void applyButtonLook(Widget& w, HWND h) {
  LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
  LONG_PTR want = (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) |
                  (ownerDrawn(w) ? BS_OWNERDRAW : BS_PUSHBUTTON);
  if (want != style) SetWindowLongPtrW(h, GWL_STYLE, want);
  InvalidateRect(h, nullptr, TRUE);
}

// ---- Lists -------------------------------------------------------------------------

struct ListMessages {
  UINT reset, add, count, setSel;
};

ListMessages listMessages(const Widget& w) {
  if (w.kind() == Widget::Kind::ComboBox) {
    return {CB_RESETCONTENT, CB_ADDSTRING, CB_GETCOUNT, CB_SETCURSEL};
  }
  return {LB_RESETCONTENT, LB_ADDSTRING, LB_GETCOUNT, LB_SETCURSEL};
}

void syncItems(ListWidget& l, HWND h) {
  ListMessages m = listMessages(l);
  const auto& items = l.items();
  const auto have = static_cast<std::size_t>(SendMessageW(h, m.count, 0, 0));
  // Entries are added one at a time; append the new one rather than refill every time.
  if (have + 1 == items.size()) {
    SendMessageW(h, m.add, 0, reinterpret_cast<LPARAM>(widen(items.back()).c_str()));
  } else {
    SendMessageW(h, WM_SETREDRAW, FALSE, 0);
    SendMessageW(h, m.reset, 0, 0);
    for (const std::string& s : items) {
      SendMessageW(h, m.add, 0, reinterpret_cast<LPARAM>(widen(s).c_str()));
    }
    SendMessageW(h, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(h, nullptr, TRUE);
  }
  SendMessageW(h, m.setSel, static_cast<WPARAM>(l.listIndex()), 0);
}

void syncSelection(ListWidget& l, HWND h) {
  SendMessageW(h, listMessages(l).setSel, static_cast<WPARAM>(l.listIndex()), 0);
}

void setText(Widget& w, HWND h) {
  // What the user has just typed is already there; writing it back would put the caret
  // before it, and the next character would land in front.
  if (windowText(h) == w.caption()) return;
  Peer* p = peerOf(w);
  p->selfText = true;
  const std::wstring text = widen(w.caption());
  SetWindowTextW(h, text.c_str());
  // The caret where the box holds it: after what the user put in, also when that was cut
  // or undone, and at the end of a text the program set. The box counts in UTF-8 bytes,
  // the edit control in UTF-16 units.
  if (w.kind() == Widget::Kind::TextBox) {
    const auto& box = static_cast<const TextBox&>(w);
    const std::size_t caret = widen(box.text().substr(0, box.caret())).size();
    SendMessageW(h, EM_SETSEL, caret, caret);
  }
  p->selfText = false;
}

// The user's edit as the edit control holds it: its text and the caret after it.
void reportEdit(TextBox& box, HWND h) {
  const int length = GetWindowTextLengthW(h);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(h, text.data(), length + 1)));
  DWORD caret = 0;
  SendMessageW(h, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  caret = std::min<DWORD>(caret, static_cast<DWORD>(text.size()));
  box.userSetText(narrow(text.c_str(), static_cast<int>(text.size())),
                  narrow(text.c_str(), static_cast<int>(caret)).size());
}

// ---- Creation ----------------------------------------------------------------------

struct NativeKind {
  const wchar_t* cls;
  DWORD style;
  DWORD exStyle;
  bool subclass;
};

NativeKind nativeKind(const Widget& w) {
  // WS_GROUP on each control keeps the dialog keys' arrows from wandering between them.
  switch (w.kind()) {
    case Widget::Kind::Frame:
      return {kFrameClass, 0, 0, false};
    case Widget::Kind::Picture:
      return {kPictureClass, WS_CLIPCHILDREN, 0, false};
    case Widget::Kind::Label:
      return {WC_STATICW, SS_LEFT | SS_NOTIFY | SS_NOPREFIX, 0, true};
    case Widget::Kind::Button:
      return {WC_BUTTONW, static_cast<DWORD>(ownerDrawn(w) ? BS_OWNERDRAW : BS_PUSHBUTTON) | WS_GROUP,
              0, true};
    case Widget::Kind::TextBox:
      return {WC_EDITW, ES_LEFT | ES_AUTOHSCROLL | WS_GROUP, WS_EX_CLIENTEDGE, true};
    case Widget::Kind::ListBox:
      return {WC_LISTBOXW, LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_GROUP,
              WS_EX_CLIENTEDGE, true};
    case Widget::Kind::ComboBox:
      return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_GROUP, 0, true};
    case Widget::Kind::Window:
      break;
  }
  return {kFrameClass, 0, 0, false};
}

}  // namespace

void registerControlClasses(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(instance, kPictureClass, &wc)) return;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = pictureProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kPictureClass;
  if (!RegisterClassExW(&wc)) traceFailure("RegisterClassExW picture");
  wc.lpfnWndProc = frameProc;
  wc.lpszClassName = kFrameClass;
  if (!RegisterClassExW(&wc)) traceFailure("RegisterClassExW frame");
}

void createControl(Widget& w) {
  if (peerOf(w)) return;
  HWND parent = nativeParent(w);
  if (!parent) return;
  NativeKind k = nativeKind(w);
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | k.style;
  if (shownOnScreen(w)) style |= WS_VISIBLE;
  if (!enabledOnScreen(w)) style |= WS_DISABLED;
  std::wstring text = w.kind() == Widget::Kind::ListBox || w.kind() == Widget::Kind::ComboBox
                          ? std::wstring()
                          : widen(w.caption());
  const RECT at = screenRect(w);
  HWND h = CreateWindowExW(k.exStyle, k.cls, text.c_str(), style, at.left, at.top, at.right - at.left,
                           at.bottom - at.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextControlId++)),
                           GetModuleHandleW(nullptr), nullptr);
  if (!h) {
    traceFailure("CreateWindowExW " + w.name());
    return;
  }
  attach(w, h);
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(w)), FALSE);
  if (k.subclass && !SetWindowSubclass(h, controlProc, 0, 0)) {
    traceFailure("SetWindowSubclass " + w.name());
  }
  if (w.kind() == Widget::Kind::ComboBox) setComboHeight(w, h);
  if (w.kind() == Widget::Kind::ListBox || w.kind() == Widget::Kind::ComboBox) {
    syncItems(static_cast<ListWidget&>(w), h);
  }
}

void restack(Window& w) {
  // Walk from the top down, each control going just below the previous one.
  // Only siblings are stacked against each other: each native parent has its own order.
  std::vector<Widget*> order = stackingOrder(w);
  std::vector<std::pair<HWND, HWND>> after;  // native parent, the control last placed in it
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    HWND h = hwndOf(**it);
    if (!h) continue;
    HWND parent = GetParent(h);
    auto at = std::find_if(after.begin(), after.end(), [&](const auto& a) { return a.first == parent; });
    if (at == after.end()) at = after.insert(after.end(), {parent, HWND_TOP});
    SetWindowPos(h, at->second, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    at->second = h;
  }
}

void syncControl(Widget& w, Change what) {
  if (!peerOf(w)) {
    // A control added after its window was created.
    Window* win = w.window();
    if (!win || !hwndOf(*win)) return;
    createControl(w);
    restack(*win);
    return;
  }
  HWND h = hwndOf(w);
  switch (what) {
    case Change::Geometry: {
      placeNative(w, h);
      if (w.kind() == Widget::Kind::ComboBox) setComboHeight(w, h);
      // What a picture holds lies at the window's coordinates; its native place is kept
      // relative to the picture.
      if (w.kind() == Widget::Kind::Picture) {
        for (Widget* c : w.descendants()) {
          if (HWND ch = hwndOf(*c)) placeNative(*c, ch);
        }
      }
      break;
    }
    case Change::Caption:
      setText(w, h);
      if (w.kind() == Widget::Kind::Frame || ownerDrawn(w)) InvalidateRect(h, nullptr, TRUE);
      break;
    case Change::Enabled:
    case Change::Visible: {
      // A frame takes what it contains along.
      std::vector<Widget*> all{&w};
      for (Widget* c : w.descendants()) all.push_back(c);
      for (Widget* c : all) {
        HWND ch = hwndOf(*c);
        if (!ch) continue;
        if (what == Change::Enabled) {
          EnableWindow(ch, enabledOnScreen(*c));
          if (c->kind() == Widget::Kind::Frame) InvalidateRect(ch, nullptr, TRUE);
        } else {
          ShowWindow(ch, shownOnScreen(*c) ? SW_SHOWNA : SW_HIDE);
        }
      }
      break;
    }
    case Change::Colors:
      if (w.kind() == Widget::Kind::Button) applyButtonLook(w, h);
      InvalidateRect(h, nullptr, TRUE);
      break;
    case Change::Picture:
    case Change::Look:
      if (w.kind() == Widget::Kind::Button) applyButtonLook(w, h);
      InvalidateRect(h, nullptr, TRUE);
      break;
    case Change::Font:
      SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(w)), TRUE);
      // Frames and owner-drawn buttons paint their text themselves.
      InvalidateRect(h, nullptr, TRUE);
      break;
    case Change::Items:
      syncItems(static_cast<ListWidget&>(w), h);
      break;
    case Change::Selection:
      syncSelection(static_cast<ListWidget&>(w), h);
      break;
    case Change::Focus:
      SetFocus(h);
      break;
    default:
      break;
  }
}

bool controlMessage(Window&, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND: {
      HWND ch = reinterpret_cast<HWND>(lp);
      Widget* c = widgetOf(ch);
      if (!c || c->kind() == Widget::Kind::Window) return false;
      const UINT code = HIWORD(wp);
      result = 0;
      switch (c->kind()) {
        case Widget::Kind::Button:
          if (code == BN_CLICKED) c->userClick();
          break;
        case Widget::Kind::Label:
          // Its double-click comes as the mouse message itself, through controlProc.
          if (code == STN_CLICKED) c->userClick();
          break;
        case Widget::Kind::TextBox:
          if (code == EN_CHANGE && !peerOf(*c)->selfText) reportEdit(*static_cast<TextBox*>(c), ch);
          break;
        case Widget::Kind::ListBox:
          if (code == LBN_SELCHANGE) {
            static_cast<ListWidget*>(c)->userSelect(static_cast<int>(SendMessageW(ch, LB_GETCURSEL, 0, 0)));
          }
          break;
        case Widget::Kind::ComboBox:
          if (code == CBN_SELCHANGE) {
            static_cast<ListWidget*>(c)->userSelect(static_cast<int>(SendMessageW(ch, CB_GETCURSEL, 0, 0)));
          }
          break;
        default:
          break;
      }
      return true;
    }
    case WM_DRAWITEM: {
      const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      Widget* c = d ? widgetOf(d->hwndItem) : nullptr;
      if (!c || c->kind() != Widget::Kind::Button) return false;
      drawButton(*static_cast<Button*>(c), *d);
      result = TRUE;
      return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: {
      Widget* c = widgetOf(reinterpret_cast<HWND>(lp));
      if (!c || c->kind() == Widget::Kind::Window) return false;
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, colorRef(c->foreColor()));
      SetBkColor(dc, colorRef(c->backColor()));
      result = reinterpret_cast<LRESULT>(backBrush(*c));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace win32

namespace backend {

void present(Picture& p) {
  HWND h = win32::hwndOf(p);
  if (!h) return;
  // Straight onto the screen: a key lights within this call, not at the next paint.
  {
    const win32::WindowDc dc(h);
    win32::drawScaled(dc, p, p.surface(), 0, 0);
  }
  // Under Wine the drawing reaches the X server only when this thread next waits for input,
  // which is after whatever else the key's message leads to (the stream page's send, a
  // timer); a wait of no time puts it there now, about half a millisecond sooner. On
  // Windows the picture is on screen already and this returns at once.
  MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
}

}  // namespace backend
}  // namespace plat
