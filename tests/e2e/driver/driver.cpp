// lumatap_driver.exe: a small Windows program that the end-to-end tests run under Wine,
// next to lumatap.exe, to look at its windows and to act on them the way a user would
// (keys, mouse, closing, answering message boxes).
//
// Every result is one JSON object per line on stdout, in UTF-8, so the Python side can
// parse it without guessing. Exit codes: 0 done, 1 not found / timed out, 2 bad command
// line, 3 the system call failed.
//
// One command per run:    lumatap_driver.exe find LumatapForm1
// Several in one process: lumatap_driver.exe script "focus" "key down 65" "sleep 100" "key up 65"
// In a script, each step is split at spaces; quote a word that holds spaces with '...' or
// "...". A step starting with '?' may fail without ending the script. The script stops at
// the first failing step and exits with that step's code.
//
// Commands (<class> may be * for any class; the driver's own windows are never listed):
//   find <class> [title]                 every matching top-level window; 1 if none
//   wait <class> [title] <timeout_ms>    until a matching window is visible
//   wait-gone <class> [title] <timeout_ms>
//   list                                 every top-level window of every process
//   msgbox [timeout_ms] [title]          a visible message box: title, text, buttons, icon
//                                        (error/question/warning/information/none)
//   msgbox-press <caption|IDYES|id> [timeout_ms]   "はい" matches "はい(&Y)"
//   focus [x y w h [title]]              shows the driver's own window in the foreground;
//                                        it lives until the script ends
//   focus-topmost [x y w h [title]]      the same, as an always-on-top window
//   winevent <event>                     NotifyWinEvent, as the system raises it
//   above <class>                        whether that window lies above the focus window
//   focus-log                            keys and chars the focus window received
//   key <down|up|tap> <vk> [scancode]    SendInput; vk as a number, a letter or a name
//                                        such as LSHIFT, SPACE, F1
//   type <text>                          SendInput of Unicode characters (Japanese too)
//   clipboard <text>                     puts the text on the clipboard, for a paste
//   mouse <move|down|up|click|dblclick> <x> <y> [left|right|middle]
//   mouse drag <x> <y> <x2> <y2> [left|right|middle]
//   keystate <vk>                        GetAsyncKeyState
//   release                              lets go of every key and button still down
//   close <class> [title]                posts WM_CLOSE
//   post|send <class|0xhwnd> <msg> <wparam> <lparam>
//   text <class|0xhwnd>                  the text the window gives for WM_GETTEXT: what an
//                                        edit box holds, which its window name is not
//   sizing <class|0xhwnd> <edge> <left> <top> <right> <bottom>
//                                        sends WM_SIZING (edge: WMSZ_ 1..8) with that outer
//                                        rectangle, as the system's sizing loop does, and
//                                        prints the rectangle the window gave back
//   pixels <x> <y> <w> <h> <file.bmp>    GetDC(NULL) + BitBlt into a 24-bit BMP
//   info                                 code pages, locale, screen, cursor, foreground
//   procs                                running processes;  kill <pid>
//   sleep <ms>                           waits while pumping messages
//   wait-file <path> <timeout_ms>        waits until the file exists
//   hold <path>                          opens the file without sharing and keeps it open
//                                        until the driver ends (another program's lock)
//   proc-stats <pid>                     CPU times, working set and private bytes
//   keytimes <vk> <count> <hold_us> <gap_ms> <out.tsv>
//                                        presses the key count times, down for hold_us
//                                        (a busy wait below 2 ms), gap_ms between presses;
//                                        writes the QueryPerformanceCounter value taken
//                                        just before each SendInput, a "down|up <qpc>" line
//                                        each
//   qpc                                  QueryPerformanceCounter, its frequency and the time
//   sendinput-cost <vk>[,<vk>...] <count> <gap_ms> [out.txt]
//                                        taps the keys in turn, count taps in all, and
//                                        reports how long each SendInput call took: mean,
//                                        p50, p99 and max, and how many took over 1 ms;
//                                        out.txt gets each call's time in ns, one a line
//   resources <file.exe>                 what the file carries: icon sizes of each icon
//                                        group, the manifest's text, the version strings
//   window-dpi <class> [title]           DPI awareness and DPI of the window as the
//                                        system reports them
//   post-thread <class> <property> <msg> <wparam> <lparam>
//                                        PostThreadMessage to the thread whose id the
//                                        window's property holds
//   children <class> [title]             every child window: class, text, visible, and its
//                                        rectangle in the parent's client coordinates
//
// The wait commands pump this thread's messages while they wait, so the window made by
// `focus` stays responsive (and keeps receiving the keys) for the whole script.

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kUsage = 2;
constexpr int kFailed = 3;

// ---------------------------------------------------------------------------------------
// Output

void WriteLine(const std::wstring& line) {
  std::wstring text = line + L"\n";
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

std::wstring JsonString(const std::wstring& s) {
  std::wstring out = L"\"";
  for (wchar_t c : s) {
    switch (c) {
      case L'"': out += L"\\\""; break;
      case L'\\': out += L"\\\\"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      case L'\t': out += L"\\t"; break;
      default:
        if (c < 0x20) {
          wchar_t buf[8];
          swprintf(buf, 8, L"\\u%04x", static_cast<unsigned>(c));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + L"\"";
}

std::wstring Hex(uint64_t v) {
  wchar_t buf[32];
  swprintf(buf, 32, L"0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

// Builds one JSON object; values are added in order.
class Json {
 public:
  Json& Str(const wchar_t* key, const std::wstring& v) { return Raw(key, JsonString(v)); }
  Json& Int(const wchar_t* key, long long v) { return Raw(key, std::to_wstring(v)); }
  Json& HexStr(const wchar_t* key, uint64_t v) { return Raw(key, JsonString(Hex(v))); }
  Json& Bool(const wchar_t* key, bool v) { return Raw(key, v ? L"true" : L"false"); }
  Json& Rect(const wchar_t* key, const RECT& r) {
    return Raw(key, L"[" + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
                        std::to_wstring(r.right) + L"," + std::to_wstring(r.bottom) + L"]");
  }
  Json& Raw(const wchar_t* key, const std::wstring& value) {
    if (!body_.empty()) body_ += L", ";
    body_ += JsonString(key) + L": " + value;
    return *this;
  }
  void Print() const { WriteLine(L"{" + body_ + L"}"); }

 private:
  std::wstring body_;
};

int Error(int code, const std::wstring& cmd, const std::wstring& message) {
  Json().Str(L"cmd", cmd).Str(L"error", message).Int(L"code", code).Print();
  return code;
}

// ---------------------------------------------------------------------------------------
// Argument helpers

bool ParseInt(const std::wstring& s, long long* out) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  long long v = wcstoll(s.c_str(), &end, 0);  // base 0: accepts 0x.. hex as well
  if (end == s.c_str() || *end != 0) return false;
  *out = v;
  return true;
}

bool IsAllDigits(const std::wstring& s) {
  if (s.empty()) return false;
  for (wchar_t c : s)
    if (c < L'0' || c > L'9') return false;
  return true;
}

// The rules Windows programs use to split a command line (so Wine's quoting round-trips).
std::vector<std::wstring> SplitCommandLine(const wchar_t* p) {
  std::vector<std::wstring> args;
  // The program name: up to the closing quote or the first blank, no escapes.
  std::wstring prog;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') prog += *p++;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') prog += *p++;
  }
  args.push_back(prog);
  for (;;) {
    while (*p == L' ' || *p == L'\t') ++p;
    if (!*p) break;
    std::wstring arg;
    bool quoted = false;
    while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
      if (*p == L'\\') {
        size_t slashes = 0;
        while (*p == L'\\') {
          ++slashes;
          ++p;
        }
        if (*p == L'"') {
          arg.append(slashes / 2, L'\\');
          if (slashes % 2) {
            arg += L'"';
            ++p;
          }
        } else {
          arg.append(slashes, L'\\');
        }
      } else if (*p == L'"') {
        if (quoted && p[1] == L'"') {
          arg += L'"';
          p += 2;
        } else {
          quoted = !quoted;
          ++p;
        }
      } else {
        arg += *p++;
      }
    }
    args.push_back(arg);
  }
  return args;
}

// One script step: words split at blanks, '...' or "..." keep blanks inside a word.
std::vector<std::wstring> SplitStep(const std::wstring& step) {
  std::vector<std::wstring> words;
  size_t i = 0;
  while (i < step.size()) {
    while (i < step.size() && iswspace(step[i])) ++i;
    if (i >= step.size()) break;
    std::wstring word;
    bool any = false;
    while (i < step.size() && !iswspace(step[i])) {
      if (step[i] == L'\'' || step[i] == L'"') {
        wchar_t q = step[i++];
        while (i < step.size() && step[i] != q) word += step[i++];
        if (i < step.size()) ++i;
        any = true;
      } else {
        word += step[i++];
        any = true;
      }
    }
    if (any) words.push_back(word);
  }
  return words;
}

// ---------------------------------------------------------------------------------------
// Message pumping: every wait goes through here so the focus window stays alive.

void Pump(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
  }
}

// Polls `done` every 20 ms until it holds or timeout_ms pass; pumps messages in between.
template <typename F>
bool WaitUntil(DWORD timeout_ms, F done) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    Pump(20);
  }
}

// ---------------------------------------------------------------------------------------
// Windows

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

// InternalGetWindowText reads the stored caption without sending a message, so a hung
// program cannot hang the driver.
std::wstring TitleOf(HWND h) {
  wchar_t buf[1024] = {};
  InternalGetWindowText(h, buf, 1024);
  return buf;
}

void AddWindowFields(Json& j, HWND h) {
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(h, &pid);
  RECT outer{}, client{};
  GetWindowRect(h, &outer);
  GetClientRect(h, &client);
  POINT tl{client.left, client.top}, br{client.right, client.bottom};
  ClientToScreen(h, &tl);
  ClientToScreen(h, &br);
  RECT client_screen{tl.x, tl.y, br.x, br.y};
  LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
  LONG_PTR exstyle = GetWindowLongPtrW(h, GWL_EXSTYLE);
  j.HexStr(L"hwnd", reinterpret_cast<uintptr_t>(h))
      .Int(L"pid", pid)
      .Int(L"tid", tid)
      .Str(L"class", ClassOf(h))
      .Str(L"title", TitleOf(h))
      .Rect(L"rect", outer)
      .Rect(L"client", client_screen)
      .HexStr(L"style", static_cast<uint32_t>(style))
      .HexStr(L"exstyle", static_cast<uint32_t>(exstyle))
      .Bool(L"topmost", (exstyle & WS_EX_TOPMOST) != 0)
      .Bool(L"enabled", IsWindowEnabled(h) != FALSE)
      .Bool(L"visible", IsWindowVisible(h) != FALSE)
      .Bool(L"iconic", IsIconic(h) != FALSE)
      .Bool(L"foreground", GetForegroundWindow() == h)
      .HexStr(L"owner", reinterpret_cast<uintptr_t>(GetWindow(h, GW_OWNER)));
}

void PrintWindowInfo(const std::wstring& cmd, HWND h) {
  Json j;
  j.Str(L"cmd", cmd);
  AddWindowFields(j, h);
  j.Print();
}

// Every top-level window except the driver's own, so a test never mistakes the focus
// window or the driver's hidden helper windows for something the program showed.
std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> all;
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid != GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

struct WindowQuery {
  std::wstring cls;  // "*" matches any class
  bool has_title = false;
  std::wstring title;
};

bool Matches(HWND h, const WindowQuery& q) {
  if (q.cls != L"*" && _wcsicmp(ClassOf(h).c_str(), q.cls.c_str()) != 0) return false;
  if (q.has_title && TitleOf(h) != q.title) return false;
  return true;
}

std::vector<HWND> FindAll(const WindowQuery& q) {
  std::vector<HWND> found;
  for (HWND h : TopLevelWindows())
    if (Matches(h, q)) found.push_back(h);
  return found;
}

// Parses "<class> [title] [timeout_ms]" starting at args[first]. A trailing all-digit word
// is the timeout when the command takes one.
bool ParseQuery(const std::vector<std::wstring>& args, size_t first, bool with_timeout,
                WindowQuery* q, DWORD* timeout_ms) {
  std::vector<std::wstring> rest(args.begin() + static_cast<long>(first), args.end());
  if (with_timeout) {
    if (rest.empty() || !IsAllDigits(rest.back())) return false;
    *timeout_ms = static_cast<DWORD>(wcstoul(rest.back().c_str(), nullptr, 10));
    rest.pop_back();
  }
  if (rest.empty() || rest.size() > 2) return false;
  q->cls = rest[0];
  if (rest.size() == 2) {
    q->has_title = true;
    q->title = rest[1];
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Screen capture (GDI)

bool CaptureScreen(int x, int y, int w, int h, std::vector<uint8_t>* bgr) {
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as BMP files store rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib && mem) {
    HGDIOBJ old = SelectObject(mem, dib);
    ok = BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    SelectObject(mem, old);
    if (ok) {
      const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
      const auto* p = static_cast<const uint8_t*>(bits);
      bgr->assign(p, p + stride * static_cast<size_t>(h));
    }
  }
  if (dib) DeleteObject(dib);
  if (mem) DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

bool WriteBmp(const std::wstring& path, int w, int h, const std::vector<uint8_t>& rows) {
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof(ih);
  ih.biWidth = w;
  ih.biHeight = h;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biCompression = BI_RGB;
  ih.biSizeImage = static_cast<DWORD>(rows.size());
  fh.bfType = 0x4D42;  // "BM"
  fh.bfOffBits = sizeof(fh) + sizeof(ih);
  fh.bfSize = fh.bfOffBits + ih.biSizeImage;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  bool ok = WriteFile(f, &fh, sizeof(fh), &n, nullptr) && WriteFile(f, &ih, sizeof(ih), &n, nullptr) &&
            WriteFile(f, rows.data(), static_cast<DWORD>(rows.size()), &n, nullptr);
  CloseHandle(f);
  return ok;
}

// ---------------------------------------------------------------------------------------
// Message boxes

struct MsgBoxParts {
  std::wstring text;
  HWND icon = nullptr;
  std::vector<HWND> buttons;
};

MsgBoxParts InspectMsgBox(HWND dlg) {
  MsgBoxParts parts;
  std::vector<HWND> children;
  EnumChildWindows(
      dlg,
      [](HWND h, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  std::wstring fallback_text;
  for (HWND c : children) {
    std::wstring cls = ClassOf(c);
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
      parts.buttons.push_back(c);
    } else if (_wcsicmp(cls.c_str(), L"Static") == 0) {
      LONG style = static_cast<LONG>(GetWindowLongPtrW(c, GWL_STYLE));
      if ((style & SS_TYPEMASK) == SS_ICON) {
        // Boxes without an icon may keep an empty icon control; only the handle's
        // presence is read here, the handle itself means nothing in this process.
        DWORD_PTR icon = 0;
        if (IsWindowVisible(c) &&
            SendMessageTimeoutW(c, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon) && icon)
          parts.icon = c;
      } else if (GetDlgCtrlID(c) == 0xFFFF) {  // the id both Windows and Wine give the text
        parts.text = TitleOf(c);
      } else if (TitleOf(c).size() > fallback_text.size()) {
        fallback_text = TitleOf(c);
      }
    }
  }
  if (parts.text.empty()) parts.text = fallback_text;
  return parts;
}

// Which standard icon the box shows. Another process's HICON cannot be read here, so the
// icon control's pixels on screen are compared with each standard icon drawn over the same
// background; the closest wins.
// Mean absolute difference per colour byte, below which the match is taken as certain.
// Measured under Wine: the right icon scores 0, a wrong one 20 or more.
constexpr double kIconMatchLimit = 4.0;

// One attempt: the name of the closest standard icon and its score.
std::wstring ClosestIcon(HWND icon_ctrl, double* score) {
  *score = 1e9;
  RECT r{};
  GetWindowRect(icon_ctrl, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 256 || h > 256) return L"unknown";
  std::vector<uint8_t> shot;
  if (!CaptureScreen(r.left, r.top, w, h, &shot)) return L"unknown";
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  // Bottom-up rows: the top-left corner pixel is in the last row.
  const uint8_t* corner = &shot[stride * static_cast<size_t>(h - 1)];
  const COLORREF bg = RGB(corner[2], corner[1], corner[0]);

  struct Candidate {
    const wchar_t* name;
    LPCWSTR id;
  } candidates[] = {{L"error", IDI_HAND},
                    {L"question", IDI_QUESTION},
                    {L"warning", IDI_EXCLAMATION},
                    {L"information", IDI_ASTERISK}};
  std::wstring best = L"unknown";
  unsigned long long best_diff = ~0ULL;
  HDC screen = GetDC(nullptr);
  for (const Candidate& c : candidates) {
    HICON icon = LoadIconW(nullptr, c.id);
    if (!icon) continue;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, dib);
    HBRUSH brush = CreateSolidBrush(bg);
    RECT all{0, 0, w, h};
    FillRect(mem, &all, brush);
    DeleteObject(brush);
    // A static icon control draws the icon at its top-left corner, at the system icon size.
    DrawIconEx(mem, 0, 0, icon, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0,
               nullptr, DI_NORMAL);
    GdiFlush();
    const auto* p = static_cast<const uint8_t*>(bits);
    unsigned long long diff = 0;
    for (size_t i = 0; i < stride * static_cast<size_t>(h); ++i)
      diff += static_cast<unsigned long long>(std::abs(static_cast<int>(p[i]) - shot[i]));
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
    if (diff < best_diff) {
      best_diff = diff;
      best = c.name;
    }
  }
  ReleaseDC(nullptr, screen);
  *score = static_cast<double>(best_diff) / static_cast<double>(stride * static_cast<size_t>(h));
  return best;
}

// A box can be visible a moment before it is painted, so look again until one icon
// matches well or the time is up.
std::wstring IdentifyIcon(HWND icon_ctrl, double* score) {
  *score = 0;
  if (!icon_ctrl) return L"none";
  std::wstring name = L"unknown";
  WaitUntil(2000, [&] {
    name = ClosestIcon(icon_ctrl, score);
    return *score <= kIconMatchLimit;
  });
  return *score <= kIconMatchLimit ? name : L"unknown";
}

// Button captions carry an accelerator ("はい(&Y)", "&Yes"); a test names the button by the
// words a user reads.
std::wstring PlainCaption(std::wstring s) {
  size_t open = s.rfind(L"(&");
  if (open != std::wstring::npos && s.size() >= open + 4 && s.back() == L')') s.erase(open);
  std::wstring out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'&') {
      if (i + 1 < s.size() && s[i + 1] == L'&') out += s[++i];
      continue;
    }
    out += s[i];
  }
  return out;
}

bool ButtonIdByName(const std::wstring& name, int* id) {
  struct {
    const wchar_t* name;
    int id;
  } names[] = {{L"IDOK", IDOK},       {L"IDCANCEL", IDCANCEL}, {L"IDABORT", IDABORT},
               {L"IDRETRY", IDRETRY}, {L"IDIGNORE", IDIGNORE}, {L"IDYES", IDYES},
               {L"IDNO", IDNO},       {L"IDCLOSE", IDCLOSE},   {L"IDTRYAGAIN", IDTRYAGAIN},
               {L"IDCONTINUE", IDCONTINUE}};
  for (const auto& n : names) {
    if (_wcsicmp(name.c_str(), n.name) == 0) {
      *id = n.id;
      return true;
    }
  }
  long long v = 0;
  if (ParseInt(name, &v)) {
    *id = static_cast<int>(v);
    return true;
  }
  return false;
}

HWND FindVisibleMsgBox(const WindowQuery& q) {
  for (HWND h : FindAll(q))
    if (IsWindowVisible(h)) return h;
  return nullptr;
}

// ---------------------------------------------------------------------------------------
// Input

WORD VkFromName(const std::wstring& s) {
  long long v = 0;
  if (ParseInt(s, &v)) return static_cast<WORD>(v);
  if (s.size() == 1 && ((s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'0' && s[0] <= L'9')))
    return static_cast<WORD>(s[0]);
  std::wstring n = s;
  for (auto& c : n) c = static_cast<wchar_t>(towupper(c));
  if (n.rfind(L"VK_", 0) == 0) n.erase(0, 3);
  struct {
    const wchar_t* name;
    WORD vk;
  } names[] = {{L"SHIFT", VK_SHIFT},     {L"LSHIFT", VK_LSHIFT},     {L"RSHIFT", VK_RSHIFT},
               {L"CONTROL", VK_CONTROL}, {L"LCONTROL", VK_LCONTROL}, {L"RCONTROL", VK_RCONTROL},
               {L"MENU", VK_MENU},       {L"LMENU", VK_LMENU},       {L"RMENU", VK_RMENU},
               {L"SPACE", VK_SPACE},     {L"RETURN", VK_RETURN},     {L"ESCAPE", VK_ESCAPE},
               {L"TAB", VK_TAB},         {L"BACK", VK_BACK},         {L"LEFT", VK_LEFT},
               {L"UP", VK_UP},           {L"RIGHT", VK_RIGHT},       {L"DOWN", VK_DOWN},
               {L"LWIN", VK_LWIN},       {L"RWIN", VK_RWIN},         {L"F1", VK_F1},
               {L"F2", VK_F2},           {L"F3", VK_F3},             {L"F4", VK_F4},
               {L"F5", VK_F5},           {L"F6", VK_F6},             {L"F7", VK_F7},
               {L"F8", VK_F8},           {L"F9", VK_F9},             {L"F10", VK_F10},
               {L"F11", VK_F11},         {L"F12", VK_F12}};
  for (const auto& e : names)
    if (n == e.name) return e.vk;
  return 0;
}

bool IsExtendedKey(WORD vk) {
  switch (vk) {
    case VK_RCONTROL: case VK_RMENU: case VK_INSERT: case VK_DELETE: case VK_HOME:
    case VK_END: case VK_PRIOR: case VK_NEXT: case VK_LEFT: case VK_RIGHT: case VK_UP:
    case VK_DOWN: case VK_NUMLOCK: case VK_DIVIDE: case VK_LWIN: case VK_RWIN: case VK_APPS:
    case VK_SNAPSHOT: case VK_CANCEL:
      return true;
    default:
      return false;
  }
}

bool SendKey(WORD vk, WORD scan, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = scan;
  in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
  return SendInput(1, &in, sizeof(in)) == 1;
}

LONG ToAbsolute(int v, int extent) {
  // Windows maps an absolute coordinate back with v * extent / 65536, so round up here.
  return static_cast<LONG>((static_cast<long long>(v) * 65536 + extent - 1) / extent);
}

bool SendMouse(DWORD flags, int x, int y) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = ToAbsolute(x, GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = ToAbsolute(y, GetSystemMetrics(SM_CYSCREEN));
  in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
  return SendInput(1, &in, sizeof(in)) == 1;
}

bool MoveMouse(int x, int y) {
  if (!SendMouse(0, x, y)) return false;
  // Let the move land before a button event follows it.
  return WaitUntil(1000, [&] {
    POINT p{};
    GetCursorPos(&p);
    return p.x == x && p.y == y;
  });
}

// ---------------------------------------------------------------------------------------
// The driver's own window, to hold the keyboard focus instead of Lumatap.

HWND g_focus = nullptr;

struct FocusEvent {
  const wchar_t* msg;
  WPARAM wparam;
  LPARAM lparam;
};
std::vector<FocusEvent> g_focus_log;  // what reached the focus window, printed by focus-log

LRESULT CALLBACK FocusProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  const wchar_t* kind = nullptr;
  switch (msg) {
    case WM_KEYDOWN: kind = L"keydown"; break;
    case WM_KEYUP: kind = L"keyup"; break;
    case WM_SYSKEYDOWN: kind = L"syskeydown"; break;
    case WM_SYSKEYUP: kind = L"syskeyup"; break;
    case WM_CHAR: kind = L"char"; break;
    case WM_DESTROY: g_focus = nullptr; break;
    default: break;
  }
  if (kind) {
    g_focus_log.push_back({kind, wp, lp});
    if (msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP) return 0;  // no menu loop on Alt
  }
  return DefWindowProcW(h, msg, wp, lp);
}

// ---------------------------------------------------------------------------------------
// Commands

using Args = std::vector<std::wstring>;

int CmdFind(const Args& a) {
  WindowQuery q;
  DWORD unused = 0;
  if (!ParseQuery(a, 1, false, &q, &unused)) return Error(kUsage, a[0], L"usage: find <class|*> [title]");
  auto found = FindAll(q);
  if (found.empty()) return Error(kNotFound, a[0], L"no such window");
  for (HWND h : found) PrintWindowInfo(a[0], h);
  return kOk;
}

int CmdWait(const Args& a) {
  WindowQuery q;
  DWORD timeout = 0;
  if (!ParseQuery(a, 1, true, &q, &timeout))
    return Error(kUsage, a[0], L"usage: wait <class|*> [title] <timeout_ms>");
  HWND hit = nullptr;
  bool ok = WaitUntil(timeout, [&] {
    for (HWND h : FindAll(q))
      if (IsWindowVisible(h)) {
        hit = h;
        return true;
      }
    return false;
  });
  if (!ok) return Error(kNotFound, a[0], L"timed out");
  PrintWindowInfo(a[0], hit);
  return kOk;
}

int CmdWaitGone(const Args& a) {
  WindowQuery q;
  DWORD timeout = 0;
  if (!ParseQuery(a, 1, true, &q, &timeout))
    return Error(kUsage, a[0], L"usage: wait-gone <class|*> [title] <timeout_ms>");
  if (!WaitUntil(timeout, [&] { return FindAll(q).empty(); }))
    return Error(kNotFound, a[0], L"timed out");
  Json().Str(L"cmd", a[0]).Bool(L"gone", true).Print();
  return kOk;
}

int CmdList(const Args& a) {
  for (HWND h : TopLevelWindows()) PrintWindowInfo(a[0], h);
  return kOk;
}

int CmdMsgBox(const Args& a) {
  DWORD timeout = 0;
  WindowQuery q{L"#32770", false, L""};
  if (a.size() >= 2) {
    if (!IsAllDigits(a[1])) return Error(kUsage, a[0], L"usage: msgbox [timeout_ms] [title]");
    timeout = static_cast<DWORD>(wcstoul(a[1].c_str(), nullptr, 10));
  }
  if (a.size() >= 3) {
    q.has_title = true;
    q.title = a[2];
  }
  HWND dlg = nullptr;
  if (!WaitUntil(timeout, [&] { return (dlg = FindVisibleMsgBox(q)) != nullptr; }))
    return Error(kNotFound, a[0], L"no message box");
  MsgBoxParts parts = InspectMsgBox(dlg);
  std::wstring buttons = L"[", ids = L"[";
  for (size_t i = 0; i < parts.buttons.size(); ++i) {
    if (i) {
      buttons += L", ";
      ids += L", ";
    }
    buttons += JsonString(PlainCaption(TitleOf(parts.buttons[i])));
    ids += std::to_wstring(GetDlgCtrlID(parts.buttons[i]));
  }
  buttons += L"]";
  ids += L"]";
  Json j;
  j.Str(L"cmd", a[0]);
  AddWindowFields(j, dlg);
  double score = 0;
  const std::wstring icon = IdentifyIcon(parts.icon, &score);
  RECT icon_rect{};
  if (parts.icon) GetWindowRect(parts.icon, &icon_rect);
  j.Str(L"text", parts.text).Raw(L"buttons", buttons).Raw(L"button_ids", ids)
      .Str(L"icon", icon).Raw(L"icon_score", std::to_wstring(score)).Rect(L"icon_rect", icon_rect);
  j.Print();
  return kOk;
}

int CmdMsgBoxPress(const Args& a) {
  if (a.size() < 2 || a.size() > 3)
    return Error(kUsage, a[0], L"usage: msgbox-press <button caption|IDYES|id> [timeout_ms]");
  DWORD timeout = 0;
  if (a.size() == 3) timeout = static_cast<DWORD>(wcstoul(a[2].c_str(), nullptr, 10));
  HWND dlg = nullptr;
  WindowQuery q{L"#32770", false, L""};
  if (!WaitUntil(timeout, [&] { return (dlg = FindVisibleMsgBox(q)) != nullptr; }))
    return Error(kNotFound, a[0], L"no message box");
  MsgBoxParts parts = InspectMsgBox(dlg);
  HWND button = nullptr;
  for (HWND b : parts.buttons) {
    std::wstring cap = TitleOf(b);
    if (cap == a[1] || PlainCaption(cap) == a[1]) button = b;
  }
  int id = 0;
  if (button) {
    id = GetDlgCtrlID(button);
  } else if (ButtonIdByName(a[1], &id) && (button = GetDlgItem(dlg, id)) != nullptr) {
    // An id the box really has; the dialog would also accept ids it does not show.
  } else {
    return Error(kNotFound, a[0], L"no such button");
  }
  // The dialog's own WM_COMMAND handling ends the box with this id, exactly as a click does.
  if (!PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)))
    return Error(kFailed, a[0], L"PostMessage failed");
  Json().Str(L"cmd", a[0]).HexStr(L"hwnd", reinterpret_cast<uintptr_t>(dlg)).Int(L"id", id).Print();
  return kOk;
}

int CmdFocus(const Args& a) {
  int x = 760, y = 480, w = 320, h = 200;
  std::wstring title = L"driver focus";
  if (a.size() == 5 || a.size() == 6) {
    x = _wtoi(a[1].c_str());
    y = _wtoi(a[2].c_str());
    w = _wtoi(a[3].c_str());
    h = _wtoi(a[4].c_str());
    if (a.size() == 6) title = a[5];
  } else if (a.size() != 1) {
    return Error(kUsage, a[0], L"usage: focus [x y w h [title]]");
  }
  const DWORD exStyle = a[0] == L"focus-topmost" ? WS_EX_TOPMOST : 0;
  if (!g_focus) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = FocusProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"LumatapDriverFocus";
    RegisterClassW(&wc);
    g_focus = CreateWindowExW(exStyle, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, x, y, w,
                              h, nullptr, nullptr, wc.hInstance, nullptr);
    if (!g_focus) return Error(kFailed, a[0], L"CreateWindow failed");
  }
  ShowWindow(g_focus, SW_SHOWNORMAL);
  UpdateWindow(g_focus);
  SetForegroundWindow(g_focus);
  SetFocus(g_focus);
  if (!WaitUntil(3000, [] { return GetForegroundWindow() == g_focus; }))
    return Error(kFailed, a[0], L"could not take the foreground");
  PrintWindowInfo(a[0], g_focus);
  return kOk;
}

int CmdWinEvent(const Args& a) {
  long long event = 0;
  if (a.size() != 2 || !ParseInt(a[1], &event)) return Error(kUsage, a[0], L"usage: winevent <event>");
  NotifyWinEvent(static_cast<DWORD>(event), g_focus ? g_focus : GetDesktopWindow(), OBJID_WINDOW, CHILDID_SELF);
  Pump(0);
  Json().Str(L"cmd", a[0]).Int(L"event", event).Print();
  return kOk;
}

int CmdAbove(const Args& a) {
  if (a.size() != 2 || !g_focus) return Error(kUsage, a[0], L"usage: above <class> (after focus)");
  auto found = FindAll(WindowQuery{a[1], false, L""});
  if (found.empty()) return Error(kNotFound, a[0], L"no such window");
  bool above = false;
  for (HWND h = GetWindow(g_focus, GW_HWNDPREV); h; h = GetWindow(h, GW_HWNDPREV)) {
    if (h == found.front()) above = true;
  }
  Json().Str(L"cmd", a[0]).Bool(L"above", above).Bool(L"focus_foreground", GetForegroundWindow() == g_focus).Print();
  return kOk;
}

int CmdFocusLog(const Args& a) {
  Pump(0);
  for (const FocusEvent& e : g_focus_log)
    Json().Str(L"cmd", a[0]).Str(L"msg", e.msg).Int(L"wparam", static_cast<long long>(e.wparam))
        .HexStr(L"lparam", static_cast<uint32_t>(e.lparam)).Print();
  return kOk;
}

// Types text as an input method would commit it: one Unicode character event per UTF-16
// unit, so Japanese reaches the focused control without a keyboard layout for it.
int CmdType(const Args& a) {
  if (a.size() != 2) return Error(kUsage, a[0], L"usage: type <text>");
  for (wchar_t c : a[1]) {
    INPUT in[2] = {};
    for (int i = 0; i < 2; ++i) {
      in[i].type = INPUT_KEYBOARD;
      in[i].ki.wScan = c;
      in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
    }
    if (SendInput(2, in, sizeof(INPUT)) != 2) return Error(kFailed, a[0], L"SendInput failed");
  }
  Pump(0);
  Json().Str(L"cmd", a[0]).Str(L"text", a[1]).Print();
  return kOk;
}

int CmdClipboard(const Args& a) {
  if (a.size() != 2) return Error(kUsage, a[0], L"usage: clipboard <text>");
  // SetClipboardData wants an owner: EmptyClipboard gives the clipboard to the window that
  // opened it. The window lives as long as the driver, a script's paste included.
  static HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      nullptr, nullptr);
  if (!owner) return Error(kFailed, a[0], L"no window to own the clipboard");
  const size_t bytes = (a[1].size() + 1) * sizeof(wchar_t);
  HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!text) return Error(kFailed, a[0], L"GlobalAlloc failed");
  CopyMemory(GlobalLock(text), a[1].c_str(), bytes);
  GlobalUnlock(text);
  bool taken = false;
  if (OpenClipboard(owner)) {
    taken = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, text);
    CloseClipboard();
  }
  if (!taken) {
    GlobalFree(text);
    return Error(kFailed, a[0], L"cannot set the clipboard");
  }
  Json().Str(L"cmd", a[0]).Int(L"length", static_cast<long long>(a[1].size())).Print();
  return kOk;
}

int CmdKey(const Args& a) {
  if (a.size() < 3 || a.size() > 4)
    return Error(kUsage, a[0], L"usage: key <down|up|tap> <vk> [scancode]");
  WORD vk = VkFromName(a[2]);
  if (!vk) return Error(kUsage, a[0], L"unknown key " + a[2]);
  WORD scan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  if (a.size() == 4) {
    long long v = 0;
    if (!ParseInt(a[3], &v)) return Error(kUsage, a[0], L"bad scancode");
    scan = static_cast<WORD>(v);
  }
  bool ok;
  if (a[1] == L"down") {
    ok = SendKey(vk, scan, false);
  } else if (a[1] == L"up") {
    ok = SendKey(vk, scan, true);
  } else if (a[1] == L"tap") {
    ok = SendKey(vk, scan, false) && SendKey(vk, scan, true);
  } else {
    return Error(kUsage, a[0], L"usage: key <down|up|tap> <vk> [scancode]");
  }
  if (!ok) return Error(kFailed, a[0], L"SendInput failed");
  Pump(0);
  Json().Str(L"cmd", a[0]).Str(L"action", a[1]).Int(L"vk", vk).HexStr(L"scan", scan).Print();
  return kOk;
}

int CmdMouse(const Args& a) {
  const wchar_t* usage = L"usage: mouse <move|down|up|click|dblclick|drag> x y [x2 y2] [left|right|middle]";
  if (a.size() < 4) return Error(kUsage, a[0], usage);
  const std::wstring& action = a[1];
  std::vector<std::wstring> rest(a.begin() + 2, a.end());
  std::wstring button = L"left";
  if (!rest.empty() && !IsAllDigits(rest.back()) && rest.back()[0] != L'-') {
    button = rest.back();
    rest.pop_back();
  }
  DWORD down_flag, up_flag;
  if (button == L"left") {
    down_flag = MOUSEEVENTF_LEFTDOWN;
    up_flag = MOUSEEVENTF_LEFTUP;
  } else if (button == L"right") {
    down_flag = MOUSEEVENTF_RIGHTDOWN;
    up_flag = MOUSEEVENTF_RIGHTUP;
  } else if (button == L"middle") {
    down_flag = MOUSEEVENTF_MIDDLEDOWN;
    up_flag = MOUSEEVENTF_MIDDLEUP;
  } else {
    return Error(kUsage, a[0], usage);
  }
  std::vector<int> xy;
  for (const auto& s : rest) {
    long long v = 0;
    if (!ParseInt(s, &v)) return Error(kUsage, a[0], usage);
    xy.push_back(static_cast<int>(v));
  }
  const bool drag = action == L"drag";
  if (xy.size() != (drag ? 4u : 2u)) return Error(kUsage, a[0], usage);
  const int x = xy[0], y = xy[1];
  bool ok = MoveMouse(x, y);
  if (ok) {
    if (action == L"move") {
    } else if (action == L"down") {
      ok = SendMouse(down_flag, x, y);
    } else if (action == L"up") {
      ok = SendMouse(up_flag, x, y);
    } else if (action == L"click") {
      ok = SendMouse(down_flag, x, y) && SendMouse(up_flag, x, y);
    } else if (action == L"dblclick") {
      ok = SendMouse(down_flag, x, y) && SendMouse(up_flag, x, y) && SendMouse(down_flag, x, y) &&
           SendMouse(up_flag, x, y);
    } else if (drag) {
      ok = SendMouse(down_flag, x, y);
      // A left press on a window that drags itself starts the system's move loop only once
      // the target has handled the press; moves and the release sent before that are lost.
      // Wait (briefly) for the target's thread to enter the loop before moving.
      if (ok && button == L"left") {
        DWORD tid = GetWindowThreadProcessId(WindowFromPoint(POINT{x, y}), nullptr);
        for (int i = 0; tid && i < 200; ++i) {
          GUITHREADINFO gti{};
          gti.cbSize = sizeof gti;
          if (GetGUIThreadInfo(tid, &gti) && (gti.flags & GUI_INMOVESIZE)) break;
          Pump(5);
        }
      }
      // Move in steps, each one landing before the next, so the target sees a real drag.
      const int steps = 8;
      for (int i = 1; ok && i <= steps; ++i)
        ok = MoveMouse(x + (xy[2] - x) * i / steps, y + (xy[3] - y) * i / steps);
      ok = ok && SendMouse(up_flag, xy[2], xy[3]);
    } else {
      return Error(kUsage, a[0], usage);
    }
  }
  Pump(0);
  if (!ok) return Error(kFailed, a[0], L"SendInput failed or the cursor did not arrive");
  POINT p{};
  GetCursorPos(&p);
  Json().Str(L"cmd", a[0]).Str(L"action", action).Int(L"x", p.x).Int(L"y", p.y).Print();
  return kOk;
}

int CmdClose(const Args& a) {
  WindowQuery q;
  DWORD unused = 0;
  if (!ParseQuery(a, 1, false, &q, &unused)) return Error(kUsage, a[0], L"usage: close <class|*> [title]");
  auto found = FindAll(q);
  if (found.empty()) return Error(kNotFound, a[0], L"no such window");
  for (HWND h : found) {
    PostMessageW(h, WM_CLOSE, 0, 0);
    Json().Str(L"cmd", a[0]).HexStr(L"hwnd", reinterpret_cast<uintptr_t>(h)).Print();
  }
  return kOk;
}

// post/send <class|hwnd> <msg> <wparam> <lparam>
// A window named as 0x<handle> or by its class (the first one found); null when there is none.
HWND TargetWindow(const std::wstring& name) {
  long long hv = 0;
  if (name.rfind(L"0x", 0) == 0 && ParseInt(name, &hv)) {
    HWND h = reinterpret_cast<HWND>(static_cast<uintptr_t>(hv));
    return IsWindow(h) ? h : nullptr;
  }
  auto found = FindAll(WindowQuery{name, false, L""});
  return found.empty() ? nullptr : found.front();
}

int CmdPostOrSend(const Args& a) {
  if (a.size() != 5) return Error(kUsage, a[0], L"usage: " + a[0] + L" <class|0xhwnd> <msg> <wparam> <lparam>");
  long long msg = 0, wp = 0, lp = 0;
  if (!ParseInt(a[2], &msg) || !ParseInt(a[3], &wp) || !ParseInt(a[4], &lp))
    return Error(kUsage, a[0], L"numbers expected");
  HWND h = TargetWindow(a[1]);
  if (!h) return Error(kNotFound, a[0], L"no such window");
  if (a[0] == L"post") {
    if (!PostMessageW(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp)))
      return Error(kFailed, a[0], L"PostMessage failed");
    Json().Str(L"cmd", a[0]).HexStr(L"hwnd", reinterpret_cast<uintptr_t>(h)).Print();
    return kOk;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp),
                           SMTO_ABORTIFHUNG, 5000, &result))
    return Error(kFailed, a[0], L"SendMessageTimeout failed or timed out");
  Json().Str(L"cmd", a[0]).HexStr(L"hwnd", reinterpret_cast<uintptr_t>(h))
      .Int(L"result", static_cast<long long>(result)).Print();
  return kOk;
}

int CmdText(const Args& a) {
  if (a.size() != 2) return Error(kUsage, a[0], L"usage: text <class|0xhwnd>");
  HWND h = TargetWindow(a[1]);
  if (!h) return Error(kNotFound, a[0], L"no such window");
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return Error(kFailed, a[0], L"WM_GETTEXTLENGTH failed or timed out");
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &got))
    return Error(kFailed, a[0], L"WM_GETTEXT failed or timed out");
  text.resize(std::min<size_t>(got, length));
  Json().Str(L"cmd", a[0]).HexStr(L"hwnd", reinterpret_cast<uintptr_t>(h)).Str(L"text", text).Print();
  return kOk;
}

int CmdSizing(const Args& a) {
  if (a.size() != 7) return Error(kUsage, a[0], L"usage: sizing <class|0xhwnd> <edge> <left> <top> <right> <bottom>");
  long long v[5] = {};
  for (int i = 0; i < 5; ++i) {
    if (!ParseInt(a[static_cast<size_t>(i) + 2], &v[i])) return Error(kUsage, a[0], L"numbers expected");
  }
  HWND h = TargetWindow(a[1]);
  if (!h) return Error(kNotFound, a[0], L"no such window");
  // The rectangle travels to the other process and back, as the system carries it.
  RECT r{static_cast<LONG>(v[1]), static_cast<LONG>(v[2]), static_cast<LONG>(v[3]), static_cast<LONG>(v[4])};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, WM_SIZING, static_cast<WPARAM>(v[0]), reinterpret_cast<LPARAM>(&r),
                           SMTO_ABORTIFHUNG, 5000, &result))
    return Error(kFailed, a[0], L"SendMessageTimeout failed or timed out");
  Json().Str(L"cmd", a[0]).Int(L"result", static_cast<long long>(result)).Int(L"left", r.left)
      .Int(L"top", r.top).Int(L"right", r.right).Int(L"bottom", r.bottom).Print();
  return kOk;
}

int CmdPixels(const Args& a) {
  if (a.size() != 6) return Error(kUsage, a[0], L"usage: pixels <x> <y> <w> <h> <out.bmp>");
  long long x, y, w, h;
  if (!ParseInt(a[1], &x) || !ParseInt(a[2], &y) || !ParseInt(a[3], &w) || !ParseInt(a[4], &h) ||
      w <= 0 || h <= 0)
    return Error(kUsage, a[0], L"bad rectangle");
  std::vector<uint8_t> rows;
  if (!CaptureScreen(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h), &rows))
    return Error(kFailed, a[0], L"BitBlt from the screen failed");
  if (!WriteBmp(a[5], static_cast<int>(w), static_cast<int>(h), rows))
    return Error(kFailed, a[0], L"cannot write " + a[5]);
  Json().Str(L"cmd", a[0]).Str(L"file", a[5]).Int(L"w", w).Int(L"h", h).Print();
  return kOk;
}

int CmdSleep(const Args& a) {
  long long ms = 0;
  if (a.size() != 2 || !ParseInt(a[1], &ms) || ms < 0) return Error(kUsage, a[0], L"usage: sleep <ms>");
  Pump(static_cast<DWORD>(ms));
  Json().Str(L"cmd", a[0]).Int(L"ms", ms).Print();
  return kOk;
}

// wait-file <path> <timeout_ms>: holds a script (and its focus window) until the test says go.
int CmdWaitFile(const Args& a) {
  long long ms = 0;
  if (a.size() != 3 || !ParseInt(a[2], &ms) || ms < 0)
    return Error(kUsage, a[0], L"usage: wait-file <path> <timeout_ms>");
  if (!WaitUntil(static_cast<DWORD>(ms),
                 [&] { return GetFileAttributesW(a[1].c_str()) != INVALID_FILE_ATTRIBUTES; }))
    return Error(kNotFound, a[0], L"timed out");
  Json().Str(L"cmd", a[0]).Str(L"file", a[1]).Print();
  return kOk;
}

int CmdInfo(const Args& a) {
  POINT p{};
  GetCursorPos(&p);
  HWND fg = GetForegroundWindow();
  Json()
      .Str(L"cmd", a[0])
      .Int(L"acp", GetACP())
      .Int(L"oemcp", GetOEMCP())
      .HexStr(L"user_lcid", GetUserDefaultLCID())
      .HexStr(L"ui_language", GetUserDefaultUILanguage())
      .Int(L"screen_w", GetSystemMetrics(SM_CXSCREEN))
      .Int(L"screen_h", GetSystemMetrics(SM_CYSCREEN))
      .Int(L"cursor_x", p.x)
      .Int(L"cursor_y", p.y)
      .HexStr(L"foreground", reinterpret_cast<uintptr_t>(fg))
      .Str(L"foreground_class", fg ? ClassOf(fg) : L"")
      .Print();
  return kOk;
}

int CmdKeyState(const Args& a) {
  if (a.size() != 2) return Error(kUsage, a[0], L"usage: keystate <vk>");
  WORD vk = VkFromName(a[1]);
  if (!vk) return Error(kUsage, a[0], L"unknown key " + a[1]);
  SHORT s = GetAsyncKeyState(vk);
  Json().Str(L"cmd", a[0]).Int(L"vk", vk).Bool(L"down", (s & 0x8000) != 0).Print();
  return kOk;
}

// Lets go of every key and mouse button still held, so a test that stopped half way
// does not leave a key down for the next one (injected keys stay down until released).
int CmdRelease(const Args& a) {
  std::wstring released = L"[";
  const struct {
    int vk;
    DWORD up;
  } buttons[] = {{VK_LBUTTON, MOUSEEVENTF_LEFTUP},
                 {VK_RBUTTON, MOUSEEVENTF_RIGHTUP},
                 {VK_MBUTTON, MOUSEEVENTF_MIDDLEUP}};
  for (const auto& b : buttons) {
    if (GetAsyncKeyState(b.vk) & 0x8000) {
      INPUT in{};
      in.type = INPUT_MOUSE;
      in.mi.dwFlags = b.up;
      SendInput(1, &in, sizeof(in));
      released += (released.size() > 1 ? L"," : L"") + std::to_wstring(b.vk);
    }
  }
  // Left and right Shift/Ctrl/Alt first, so a hook sees the same key go up that went down.
  std::vector<int> order = {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU};
  for (int vk = 0x08; vk <= 0xFE; ++vk)
    if (vk < VK_LSHIFT || vk > VK_RMENU) order.push_back(vk);
  for (int vk : order) {
    if (GetAsyncKeyState(vk) & 0x8000) {
      SendKey(static_cast<WORD>(vk), static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)), true);
      released += (released.size() > 1 ? L"," : L"") + std::to_wstring(vk);
    }
  }
  Pump(0);
  Json().Str(L"cmd", a[0]).Raw(L"released", released + L"]").Print();
  return kOk;
}

int CmdProcs(const Args& a) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return Error(kFailed, a[0], L"CreateToolhelp32Snapshot failed");
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof(pe);
  for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
    if (pe.th32ProcessID == GetCurrentProcessId()) continue;
    Json().Str(L"cmd", a[0]).Int(L"pid", pe.th32ProcessID).Int(L"ppid", pe.th32ParentProcessID)
        .Str(L"exe", pe.szExeFile).Print();
  }
  CloseHandle(snap);
  return kOk;
}

// kill <pid>: ends a process the hard way, for cleaning up after a failed test.
int CmdKill(const Args& a) {
  long long pid = 0;
  if (a.size() != 2 || !ParseInt(a[1], &pid)) return Error(kUsage, a[0], L"usage: kill <pid>");
  HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!p) return Error(kNotFound, a[0], L"no such process");
  bool ok = TerminateProcess(p, 1) && WaitForSingleObject(p, 5000) == WAIT_OBJECT_0;
  CloseHandle(p);
  if (!ok) return Error(kFailed, a[0], L"TerminateProcess failed");
  Json().Str(L"cmd", a[0]).Int(L"pid", pid).Print();
  return kOk;
}

// Handles of `hold`, closed only when the driver ends.
std::vector<HANDLE> g_held;

int CmdHold(const Args& a) {
  if (a.size() != 2) return Error(kUsage, a[0], L"usage: hold <path>");
  // No sharing at all: nobody else may read, write, rename over or delete the file, as
  // when another program keeps it open for itself.
  HANDLE f = CreateFileW(a[1].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE)
    return Error(kFailed, a[0], L"cannot open " + a[1] + L" (error " + std::to_wstring(GetLastError()) + L")");
  g_held.push_back(f);
  Json().Str(L"cmd", a[0]).Str(L"file", a[1]).Print();
  return kOk;
}

long long FileTime100ns(const FILETIME& t) {
  return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

int CmdProcStats(const Args& a) {
  long long pid = 0;
  if (a.size() != 2 || !ParseInt(a[1], &pid)) return Error(kUsage, a[0], L"usage: proc-stats <pid>");
  HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, static_cast<DWORD>(pid));
  if (!p) return Error(kNotFound, a[0], L"no such process");
  FILETIME created{}, exited{}, kernel{}, user{};
  PROCESS_MEMORY_COUNTERS_EX mem{};
  mem.cb = sizeof mem;
  DWORD handles = 0;
  const bool times = GetProcessTimes(p, &created, &exited, &kernel, &user) != FALSE;
  const bool memory =
      GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem) != FALSE;
  GetProcessHandleCount(p, &handles);
  CloseHandle(p);
  if (!times || !memory) return Error(kFailed, a[0], L"GetProcessTimes or GetProcessMemoryInfo failed");
  Json().Str(L"cmd", a[0]).Int(L"pid", pid)
      .Int(L"kernel_100ns", FileTime100ns(kernel)).Int(L"user_100ns", FileTime100ns(user))
      .Int(L"created_100ns", FileTime100ns(created))
      .Int(L"working_set", static_cast<long long>(mem.WorkingSetSize))
      .Int(L"peak_working_set", static_cast<long long>(mem.PeakWorkingSetSize))
      .Int(L"private_bytes", static_cast<long long>(mem.PrivateUsage))
      .Int(L"page_faults", mem.PageFaultCount)
      .Int(L"handles", handles)
      .Print();
  return kOk;
}

long long Qpc() {
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return v.QuadPart;
}

long long QpcFrequency() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return f.QuadPart;
}

int CmdKeyTimes(const Args& a) {
  const wchar_t* usage = L"usage: keytimes <vk> <count> <hold_us> <gap_ms> <out.tsv>";
  long long count = 0, hold_us = 0, gap_ms = 0;
  if (a.size() != 6 || !ParseInt(a[2], &count) || !ParseInt(a[3], &hold_us) ||
      !ParseInt(a[4], &gap_ms) || count < 1 || hold_us < 0 || gap_ms < 0)
    return Error(kUsage, a[0], usage);
  WORD vk = VkFromName(a[1]);
  if (!vk) return Error(kUsage, a[0], L"unknown key " + a[1]);
  const WORD scan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  const long long freq = QpcFrequency();
  const long long hold_ticks = hold_us * freq / 1000000;
  // Kept in memory while the keys go out, so no file write lies between two events.
  std::vector<long long> times;
  times.reserve(static_cast<size_t>(count) * 2);
  bool ok = true;
  for (long long i = 0; ok && i < count; ++i) {
    const long long down = Qpc();
    times.push_back(down);
    ok = SendKey(vk, scan, false);
    if (hold_us >= 2000) {
      Pump(static_cast<DWORD>(hold_us / 1000));
    } else {
      // A busy wait: a tap shorter than a scheduler tick is the point of these runs.
      while (ok && Qpc() - down < hold_ticks) {
      }
    }
    times.push_back(Qpc());
    ok = ok && SendKey(vk, scan, true);
    Pump(static_cast<DWORD>(gap_ms));
  }
  if (!ok) return Error(kFailed, a[0], L"SendInput failed");
  HANDLE f = CreateFileW(a[5].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return Error(kFailed, a[0], L"cannot write " + a[5]);
  std::string text;
  for (size_t i = 0; i < times.size(); ++i)
    text += (i % 2 ? "up\t" : "down\t") + std::to_string(times[i]) + "\n";
  DWORD n = 0;
  const bool wrote = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) && n == text.size();
  CloseHandle(f);
  if (!wrote) return Error(kFailed, a[0], L"cannot write " + a[5]);
  Json().Str(L"cmd", a[0]).Int(L"vk", vk).Int(L"count", count).Int(L"freq", freq).Str(L"file", a[5]).Print();
  return kOk;
}

int CmdSendInputCost(const Args& a) {
  long long count = 0, gap_ms = 0;
  if ((a.size() != 4 && a.size() != 5) || !ParseInt(a[2], &count) || !ParseInt(a[3], &gap_ms) ||
      count < 1 || gap_ms < 0)
    return Error(kUsage, a[0], L"usage: sendinput-cost <vk>[,<vk>...] <count> <gap_ms> [out.txt]");
  // The keys are tapped in turn, as a player's fingers go over a profile's keys.
  std::vector<std::pair<WORD, WORD>> keys;  // vk, scan code
  for (size_t from = 0; from <= a[1].size();) {
    size_t to = a[1].find(L',', from);
    if (to == std::wstring::npos) to = a[1].size();
    const WORD vk = VkFromName(a[1].substr(from, to - from));
    if (!vk) return Error(kUsage, a[0], L"unknown key in " + a[1]);
    keys.emplace_back(vk, static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)));
    from = to + 1;
  }
  std::vector<long long> costs;
  costs.reserve(static_cast<size_t>(count) * 2);
  const long long started = Qpc();
  for (long long i = 0; i < count; ++i) {
    const auto [vk, scan] = keys[static_cast<size_t>(i) % keys.size()];
    for (bool up : {false, true}) {
      const long long before = Qpc();
      if (!SendKey(vk, scan, up)) return Error(kFailed, a[0], L"SendInput failed");
      costs.push_back(Qpc() - before);
    }
    Pump(static_cast<DWORD>(gap_ms));
  }
  const long long elapsed = Qpc() - started;
  const long long freq = QpcFrequency();
  if (a.size() == 5) {
    // Every call's time in ns, one a line, in the order made.
    std::string text;
    for (long long c : costs) text += std::to_string(c * 1000000000 / freq) + "\n";
    HANDLE f = CreateFileW(a[4].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    const bool wrote = f != INVALID_HANDLE_VALUE &&
                       WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) && n == text.size();
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    if (!wrote) return Error(kFailed, a[0], L"cannot write " + a[4]);
  }
  long long sum = 0, over1ms = 0;
  for (long long c : costs) {
    sum += c;
    over1ms += c * 1000 > freq;
  }
  std::sort(costs.begin(), costs.end());
  auto ns = [&](size_t i) { return costs[std::min(i, costs.size() - 1)] * 1000000000 / freq; };
  const size_t n = costs.size();
  Json().Str(L"cmd", a[0]).Int(L"calls", static_cast<long long>(n)).Int(L"p50_us", ns(n / 2) / 1000)
      .Int(L"p99_us", ns(n * 99 / 100) / 1000).Int(L"max_us", ns(n - 1) / 1000)
      .Int(L"mean_ns", sum * 1000000000 / freq / static_cast<long long>(n)).Int(L"p50_ns", ns(n / 2))
      .Int(L"p99_ns", ns(n * 99 / 100)).Int(L"over_1ms", over1ms)
      .Int(L"elapsed_ms", elapsed * 1000 / freq).Print();
  return kOk;
}

int CmdQpc(const Args& a) {
  FILETIME now{};
  const long long before = Qpc();
  GetSystemTimePreciseAsFileTime(&now);
  const long long after = Qpc();
  Json().Str(L"cmd", a[0]).Int(L"qpc", before + (after - before) / 2).Int(L"freq", QpcFrequency())
      .Int(L"system_100ns", FileTime100ns(now)).Print();
  return kOk;
}

BOOL CALLBACK IconGroupFound(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR out) {
  HRSRC res = FindResourceW(module, name, RT_GROUP_ICON);
  HGLOBAL data = res ? LoadResource(module, res) : nullptr;
  const BYTE* bytes = data ? static_cast<const BYTE*>(LockResource(data)) : nullptr;
  if (!bytes || SizeofResource(module, res) < 6) return TRUE;
  // GRPICONDIR: reserved, type, count, then 14-byte entries (width and height 0 mean 256).
  const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
  std::wstring sizes = L"[";
  for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= SizeofResource(module, res); ++i) {
    const BYTE* e = bytes + 6 + 14 * i;
    if (i) sizes += L",";
    sizes += std::to_wstring(e[0] ? e[0] : 256);
  }
  sizes += L"]";
  std::wstring id = IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<uintptr_t>(name))
                                         : std::wstring(name);
  auto* groups = reinterpret_cast<std::wstring*>(out);
  if (!groups->empty()) *groups += L", ";
  *groups += JsonString(id) + L": " + sizes;
  return TRUE;
}

int CmdResources(const Args& a) {
  if (a.size() != 2) return Error(kUsage, a[0], L"usage: resources <file.exe>");
  HMODULE m = LoadLibraryExW(a[1].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!m) return Error(kNotFound, a[0], L"cannot open the file");
  std::wstring groups;
  EnumResourceNamesW(m, RT_GROUP_ICON, IconGroupFound, reinterpret_cast<LONG_PTR>(&groups));
  std::wstring manifest;
  if (HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    if (HGLOBAL g = LoadResource(m, r)) {
      const char* text = static_cast<const char*>(LockResource(g));
      const int n = static_cast<int>(SizeofResource(m, r));
      const int wn = MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0);
      manifest.resize(static_cast<size_t>(wn));
      MultiByteToWideChar(CP_UTF8, 0, text, n, manifest.data(), wn);
    }
  }
  FreeLibrary(m);

  Json out;
  out.Str(L"cmd", a[0]).Raw(L"icons", L"{" + groups + L"}").Str(L"manifest", manifest);
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeW(a[1].c_str(), &unused);
  std::vector<BYTE> info(size);
  std::wstring strings;
  if (size && GetFileVersionInfoW(a[1].c_str(), 0, size, info.data())) {
    struct Translation { WORD language, codePage; }* t = nullptr;
    UINT len = 0;
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&t), &len) &&
        len >= sizeof *t) {
      wchar_t block[64];
      swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", t->language, t->codePage);
      out.Int(L"language", t->language).Int(L"code_page", t->codePage);
      for (const wchar_t* key : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                 L"LegalCopyright", L"OriginalFilename", L"ProductName",
                                 L"ProductVersion"}) {
        wchar_t* value = nullptr;
        UINT vlen = 0;
        if (VerQueryValueW(info.data(), (std::wstring(block) + key).c_str(),
                           reinterpret_cast<void**>(&value), &vlen) && value) {
          if (!strings.empty()) strings += L", ";
          strings += JsonString(key) + L": " + JsonString(value);
        }
      }
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed) {
      out.Str(L"file_version_fixed",
              std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
                  L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                  std::to_wstring(LOWORD(fixed->dwFileVersionLS)));
    }
  }
  out.Raw(L"version", L"{" + strings + L"}").Print();
  return kOk;
}

int CmdWindowDpi(const Args& a) {
  WindowQuery q;
  DWORD unused = 0;
  if (!ParseQuery(a, 1, false, &q, &unused)) return Error(kUsage, a[0], L"usage: window-dpi <class|*> [title]");
  auto found = FindAll(q);
  if (found.empty()) return Error(kNotFound, a[0], L"no such window");
  HWND h = found.front();
  const DPI_AWARENESS_CONTEXT context = GetWindowDpiAwarenessContext(h);
  const wchar_t* awareness = L"unknown";
  if (AreDpiAwarenessContextsEqual(context, DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    awareness = L"per-monitor-v2";
  } else {
    switch (GetAwarenessFromDpiAwarenessContext(context)) {
      case DPI_AWARENESS_UNAWARE: awareness = L"unaware"; break;
      case DPI_AWARENESS_SYSTEM_AWARE: awareness = L"system"; break;
      case DPI_AWARENESS_PER_MONITOR_AWARE: awareness = L"per-monitor"; break;
      default: break;
    }
  }
  Json().Str(L"cmd", a[0]).HexStr(L"hwnd", reinterpret_cast<uintptr_t>(h)).Str(L"awareness", awareness)
      .Int(L"dpi", GetDpiForWindow(h)).Int(L"system_dpi", GetDpiForSystem()).Print();
  return kOk;
}

int CmdPostThread(const Args& a) {
  if (a.size() != 6) return Error(kUsage, a[0], L"usage: post-thread <class> <property> <msg> <wparam> <lparam>");
  long long msg = 0, wp = 0, lp = 0;
  if (!ParseInt(a[3], &msg) || !ParseInt(a[4], &wp) || !ParseInt(a[5], &lp)) return Error(kUsage, a[0], L"numbers expected");
  auto found = FindAll(WindowQuery{a[1], false, L""});
  if (found.empty()) return Error(kNotFound, a[0], L"no such window");
  const DWORD thread = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(GetPropW(found.front(), a[2].c_str())));
  if (!thread) return Error(kNotFound, a[0], L"the window has no such property");
  if (!PostThreadMessageW(thread, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp)))
    return Error(kFailed, a[0], L"PostThreadMessage failed");
  Json().Str(L"cmd", a[0]).Int(L"thread", thread).Print();
  return kOk;
}

int CmdChildren(const Args& a) {
  WindowQuery q;
  DWORD unused = 0;
  if (!ParseQuery(a, 1, false, &q, &unused)) return Error(kUsage, a[0], L"usage: children <class|*> [title]");
  auto found = FindAll(q);
  if (found.empty()) return Error(kNotFound, a[0], L"no such window");
  HWND parent = found.front();
  std::vector<HWND> kids;
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&kids));
  for (HWND h : kids) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    Json().Str(L"cmd", a[0]).HexStr(L"hwnd", reinterpret_cast<uintptr_t>(h)).Str(L"class", ClassOf(h))
        .Str(L"text", TitleOf(h)).Bool(L"visible", IsWindowVisible(h) != 0).Rect(L"rect", r).Print();
  }
  return kOk;
}

int RunCommand(const Args& a) {
  if (a.empty()) return Error(kUsage, L"", L"empty command");
  const std::wstring& c = a[0];
  if (c == L"find") return CmdFind(a);
  if (c == L"wait") return CmdWait(a);
  if (c == L"wait-gone") return CmdWaitGone(a);
  if (c == L"list") return CmdList(a);
  if (c == L"msgbox") return CmdMsgBox(a);
  if (c == L"msgbox-press") return CmdMsgBoxPress(a);
  if (c == L"focus" || c == L"focus-window" || c == L"focus-topmost") return CmdFocus(a);
  if (c == L"winevent") return CmdWinEvent(a);
  if (c == L"above") return CmdAbove(a);
  if (c == L"focus-log") return CmdFocusLog(a);
  if (c == L"key") return CmdKey(a);
  if (c == L"type") return CmdType(a);
  if (c == L"clipboard") return CmdClipboard(a);
  if (c == L"mouse") return CmdMouse(a);
  if (c == L"close") return CmdClose(a);
  if (c == L"post" || c == L"send") return CmdPostOrSend(a);
  if (c == L"text") return CmdText(a);
  if (c == L"pixels") return CmdPixels(a);
  if (c == L"sizing") return CmdSizing(a);
  if (c == L"sleep") return CmdSleep(a);
  if (c == L"wait-file") return CmdWaitFile(a);
  if (c == L"info") return CmdInfo(a);
  if (c == L"keystate") return CmdKeyState(a);
  if (c == L"procs") return CmdProcs(a);
  if (c == L"release") return CmdRelease(a);
  if (c == L"kill") return CmdKill(a);
  if (c == L"hold") return CmdHold(a);
  if (c == L"proc-stats") return CmdProcStats(a);
  if (c == L"keytimes") return CmdKeyTimes(a);
  if (c == L"qpc") return CmdQpc(a);
  if (c == L"sendinput-cost") return CmdSendInputCost(a);
  if (c == L"resources") return CmdResources(a);
  if (c == L"window-dpi") return CmdWindowDpi(a);
  if (c == L"children") return CmdChildren(a);
  if (c == L"post-thread") return CmdPostThread(a);
  return Error(kUsage, c, L"unknown command");
}

}  // namespace

int main() {
  // Coordinates, pixels and sizes in the system's own units, whatever the display scale.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  Args argv = SplitCommandLine(GetCommandLineW());
  if (argv.size() < 2) {
    Error(kUsage, L"", L"usage: lumatap_driver <command> [args] | script \"<step>\" ...");
    return kUsage;
  }
  Args args(argv.begin() + 1, argv.end());
  if (args[0] != L"script") return RunCommand(args);
  for (size_t i = 1; i < args.size(); ++i) {
    std::wstring step = args[i];
    bool may_fail = !step.empty() && step[0] == L'?';
    if (may_fail) step.erase(0, 1);
    int rc = RunCommand(SplitStep(step));
    if (rc != kOk && !may_fail) return rc;
  }
  return kOk;
}
