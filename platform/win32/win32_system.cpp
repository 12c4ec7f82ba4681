// Files, text, screen and process services on Windows.
#include "platform/win32/win32.h"

#include <bcrypt.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/system.h"
#include "platform/trace.h"

namespace plat {

void trace(std::string_view what) {
  std::string line(what);
  line += '\n';
  OutputDebugStringW(win32::widen(line).c_str());
}

namespace win32 {

namespace {
std::wstring toWide(UINT codePage, const std::string& bytes) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

std::string fromWide(UINT codePage, const wchar_t* text, int length) {
  if (length < 0) length = lstrlenW(text);
  if (length == 0) return {};
  int n = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

constexpr UINT kShiftJis = 932;  // the data files' code page, whatever the system's is
}  // namespace

std::wstring widen(const std::string& utf8) { return toWide(CP_UTF8, utf8); }
std::string narrow(const wchar_t* text, int length) { return fromWide(CP_UTF8, text, length); }

std::string windowText(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring buf(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(h, buf.data(), n + 1);
  return narrow(buf.data(), n);
}

std::string fromShiftJis(const std::string& bytes) {
  std::wstring w = toWide(kShiftJis, bytes);
  return fromWide(CP_UTF8, w.data(), static_cast<int>(w.size()));
}

std::string toShiftJis(const std::string& utf8) {
  std::wstring w = toWide(CP_UTF8, utf8);
  return fromWide(kShiftJis, w.data(), static_cast<int>(w.size()));
}

}  // namespace win32

using win32::widen;

int fileAttributes(const std::string& path) {
  if (path.empty()) return -1;
  DWORD a = GetFileAttributesW(widen(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return -1;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
}

bool readFile(const std::string& path, std::string& bytes) {
  const win32::Handle f(CreateFileW(widen(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (f == INVALID_HANDLE_VALUE) return false;  // also a folder
  std::string out;
  char buf[65536];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(f, buf, sizeof buf, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    out.append(buf, got);
  }
  if (ok) bytes.swap(out);
  return ok;
}

bool replaceFile(const std::string& path, const std::string& bytes) {
  const std::wstring target = widen(path);
  const std::wstring temp = target + L".tmp~";
  win32::Handle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (f == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD wrote = 0;
    ok = WriteFile(f, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
    done += wrote;
  }
  if (ok) ok = FlushFileBuffers(f) != 0;
  if (!f.close()) ok = false;
  // Fails, leaving the old file as it was, when another program holds the target open.
  if (ok) {
    ok = MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

std::vector<std::string> listFolder(const std::string& path) {
  std::vector<std::string> names;
  std::wstring pattern = widen(path);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(win32::narrow(found.cFileName));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

std::string programFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) {
      win32::traceFailure("GetModuleFileNameW");
      return {};
    }
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);  // truncated: try again with room
  }
  std::size_t cut = buf.find_last_of(L"\\/");
  if (cut != std::wstring::npos) buf.resize(cut);
  return win32::narrow(buf.data(), static_cast<int>(buf.size()));
}

std::string fromCp932(const std::string& bytes) { return win32::fromShiftJis(bytes); }
std::string toCp932(const std::string& utf8) { return win32::toShiftJis(utf8); }

ScreenMetrics screenMetrics(int dpi) {
  ScreenMetrics m;
  const win32::WindowDc screen(nullptr);
  int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  if (dpiX > 0) m.twipsPerPixelX = 1440.0 / dpiX;
  if (dpiY > 0) m.twipsPerPixelY = 1440.0 / dpiY;
  if (dpiY > 0) m.dpi = dpiY;

  // Measured on the display window's own decorations, so that the grid plus these
  // allowances is exactly the outer size the system gives the framed window.
  RECT r{0, 0, 0, 0};
  const DWORD style = WS_CAPTION | WS_THICKFRAME | WS_SYSMENU;
  if (dpi > 0) {
    AdjustWindowRectExForDpi(&r, style, FALSE, WS_EX_TOOLWINDOW, static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_TOOLWINDOW);
  }
  m.frameWidth = -r.left;
  m.frameHeight = r.bottom;
  m.captionHeight = -r.top - r.bottom;

  m.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  m.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  return m;
}

long long clockMicros() {
  static const long long perSecond = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return v.QuadPart / perSecond * 1'000'000 + v.QuadPart % perSecond * 1'000'000 / perSecond;
}

bool anotherInstanceRunning() {
  // Held until the process ends; the system releases it then, even after a crash.
  static const bool another = [] {
    HANDLE claim = CreateMutexW(nullptr, FALSE, L"Local\\Lumatap.SingleInstance");
    if (!claim) win32::traceFailure("CreateMutexW");
    return claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  }();
  return another;
}

ForeignWindow foregroundWindow() { return reinterpret_cast<ForeignWindow>(GetForegroundWindow()); }

void restoreForeground(ForeignWindow w) {
  HWND h = reinterpret_cast<HWND>(w);
  if (h && IsWindow(h) && GetForegroundWindow() != h) SetForegroundWindow(h);
}

void shellOpen(const std::string& address) {
  HINSTANCE r = ShellExecuteW(nullptr, L"open", widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // Values up to 32 are errors; the browser that did not open is the user's only sign.
  if (reinterpret_cast<INT_PTR>(r) <= 32) win32::traceFailure("ShellExecuteW");
}

bool randomBytes(unsigned char* bytes, std::size_t count) {
  // The system's preferred generator, as for any secret.
  const NTSTATUS s = BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count),
                                     BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (s < 0) win32::traceFailure("BCryptGenRandom");
  return s >= 0;
}

bool setClipboardText(const std::string& text) {
  const std::wstring w = widen(text);
  const std::size_t size = (w.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return false;
  if (void* p = GlobalLock(block)) {
    std::memcpy(p, w.c_str(), size);
    GlobalUnlock(block);
  }
  if (!OpenClipboard(nullptr)) {
    win32::traceFailure("OpenClipboard");
    GlobalFree(block);
    return false;
  }
  EmptyClipboard();
  // Once set, the block is the system's.
  const bool set = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  if (!set) {
    win32::traceFailure("SetClipboardData");
    GlobalFree(block);
  }
  CloseClipboard();
  return set;
}

[[noreturn]] void terminateProcess(int code) { ExitProcess(static_cast<UINT>(code)); }

}  // namespace plat
