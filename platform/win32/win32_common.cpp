// What every file of the Windows backend uses: the peers that tie widgets to their native
// windows, colours, brushes and fonts, surfaces drawn to the screen, and the display scale.
#include "platform/win32/win32.h"

#include <shellscalingapi.h>

#include <vector>

namespace plat {
namespace backend {

void PeerDeleter::operator()(Peer* p) const { delete p; }

}  // namespace backend

namespace win32 {

// ---- Widgets and peers -------------------------------------------------------------

Peer* peerOf(const Widget& w) { return w.peer(); }

HWND hwndOf(const Widget& w) {
  Peer* p = peerOf(w);
  return p ? p->hwnd : nullptr;
}

Widget* widgetOf(HWND h) {
  return h ? reinterpret_cast<Widget*>(GetWindowLongPtrW(h, GWLP_USERDATA)) : nullptr;
}

Peer& attach(Widget& w, HWND h) {
  if (!w.peer()) w.setPeer(backend::PeerPtr(new Peer));
  Peer& p = *w.peer();
  p.hwnd = h;
  SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&w));
  return p;
}

void detach(Widget& w) {
  Peer* p = peerOf(w);
  if (!p) return;
  if (p->hwnd && IsWindow(p->hwnd)) SetWindowLongPtrW(p->hwnd, GWLP_USERDATA, 0);
  w.setPeer(nullptr);
}

// ---- Drawing helpers ---------------------------------------------------------------

COLORREF colorRef(Color c) {
  if (c & 0x80000000u) return GetSysColor(static_cast<int>(c & 0xFF));
  return static_cast<COLORREF>(c & 0x00FFFFFF);
}

HBRUSH backBrush(Widget& w) {
  Peer* p = peerOf(w);
  const Color c = w.backColor();
  if (!p) return GetSysColorBrush(COLOR_BTNFACE);
  const COLORREF want = colorRef(c);
  if (p->brush && p->brushColor == want) return p->brush;
  // The old brush goes first: deleting it after a failed CreateSolidBrush could change
  // the error the note gives.
  p->ownBrush.reset();
  p->brushColor = want;
  if (c & 0x80000000u) {
    p->brush = GetSysColorBrush(static_cast<int>(c & 0xFF));
  } else {
    p->ownBrush.reset(CreateSolidBrush(want));
    p->brush = p->ownBrush;
  }
  if (!p->brush) {
    traceFailure("CreateSolidBrush");
    p->brush = GetSysColorBrush(COLOR_BTNFACE);
  }
  return p->brush;
}

namespace {
int CALLBACK fontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool fontExists(HDC dc, const wchar_t* face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &lf, fontFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}
}  // namespace

HFONT uiFont(bool bold, bool underline, int dpi) {
  struct Cached {
    int dpi;
    int variant;
    HFONT font;
  };
  static std::vector<Cached> fonts;
  static const wchar_t* face = nullptr;
  static int systemDpi = 96;
  if (!face) {
    // The Japanese UI faces of Windows, then what a Linux desktop with Wine offers.
    static const wchar_t* const candidates[] = {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic",
                                                L"Noto Sans CJK JP", L"Noto Sans JP",
                                                L"IPAPGothic", L"VL PGothic"};
    const WindowDc screen(nullptr);
    face = L"MS Shell Dlg 2";
    for (const wchar_t* c : candidates) {
      if (fontExists(screen, c)) {
        face = c;
        break;
      }
    }
    systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  }
  if (dpi <= 0) dpi = systemDpi;
  const int variant = (bold ? 1 : 0) + (underline ? 2 : 0);
  for (const Cached& c : fonts) {
    if (c.dpi == dpi && c.variant == variant) return c.font;
  }
  HFONT f = CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline,
                        FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  if (!f) {
    traceFailure("CreateFontW");  // the controls keep the system font
    return nullptr;
  }
  // A handful at most: four variants for each scale the dialog has been shown at.
  fonts.push_back({dpi, variant, f});
  return f;
}

int layoutDpi(const Widget& w) {
  const Window* win = w.kind() == Widget::Kind::Window ? static_cast<const Window*>(&w) : w.window();
  if (!win || !win->dpiScaled()) return 96;
  const Peer* p = peerOf(*win);
  return p && p->dpi > 0 ? p->dpi : win->monitorDpi();
}

int toScreen(const Widget& w, int v) { return MulDiv(v, layoutDpi(w), 96); }
int fromScreen(const Widget& w, int v) { return MulDiv(v, 96, layoutDpi(w)); }

int dpiAt(POINT pt) {
  UINT x = 0, y = 0;
  if (SUCCEEDED(GetDpiForMonitor(MonitorFromPoint(pt, MONITOR_DEFAULTTOPRIMARY), MDT_EFFECTIVE_DPI,
                                 &x, &y)) &&
      y > 0) {
    return static_cast<int>(y);
  }
  return static_cast<int>(GetDpiForSystem());
}

void drawSurface(HDC dc, const Surface& s, int x, int y, int width, int height) {
  if (s.empty()) return;
  if (width < 0) width = s.width();
  if (height < 0) height = s.height();
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = s.width();
  bmi.bmiHeader.biHeight = -s.height();  // top-down, as the surface keeps its rows
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  if (width == s.width() && height == s.height()) {
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(s.width()), static_cast<DWORD>(s.height()), 0,
                      0, 0, static_cast<UINT>(s.height()), s.data(), &bmi, DIB_RGB_COLORS);
    return;
  }
  // Whole multiples repeat pixels exactly; anything between is smoothed.
  const bool whole = width % s.width() == 0 && height % s.height() == 0;
  const int oldMode = SetStretchBltMode(dc, whole ? COLORONCOLOR : HALFTONE);
  if (!whole) SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchDIBits(dc, x, y, width, height, 0, 0, s.width(), s.height(), s.data(), &bmi,
                DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(dc, oldMode);
}

int shiftState() {
  return ((GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0) | ((GetKeyState(VK_CONTROL) & 0x8000) ? 2 : 0) |
         ((GetKeyState(VK_MENU) & 0x8000) ? 4 : 0);
}

}  // namespace win32
}  // namespace plat
