// lumatap_measure.exe: the program with timing probes, for the figures in
// docs/PERFORMANCE.md and the end-to-end checks in tests/e2e/test_measure.py. Built only
// with -DLUMATAP_MEASURE=ON and never installed: it writes key times to a file, which the
// program a user gets must never do.
//
// The probes sit outside the program. The core and the backend are the same library that
// lumatap.exe links, and keyhook.dll is the shipped file. Before lumatap::Main runs, this
// entry point redirects a few system calls in the import tables of this executable and of
// keyhook.dll to wrappers that note a QueryPerformanceCounter value and call through:
//
//   keyhook.dll  PostMessageW       its watching thread handing a key event to the window
//   exe          SetDIBitsToDevice  a present: the grid put on screen (the picture's
//                                   paint uses it too), with a checksum of every cell
//   exe          GetMessageW,       every message the program's own loop takes
//                PeekMessageW
//
// WM_APP + 0x3B to the display window blocks its thread for wParam milliseconds.
//
// and, at the first present, subclasses the picture and its top-level window to note every
// message they receive, sent ones included. Records go into arrays reserved before the
// program starts, so recording allocates nothing; they are written to measure.tsv in the
// program folder when Main returns. The cell checksums are taken after the present's time
// is noted, so they do not count in it.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/startup.h"

namespace {

long long qpc() {
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return v.QuadPart;
}

long long fileTime100ns(const FILETIME& t) {
  return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                t.dwLowDateTime);
}

// ---- Records -------------------------------------------------------------------------

struct MessageRecord {
  long long at;
  HWND hwnd;
  UINT message;
  WPARAM wParam;
};

constexpr int kCell = 48;
constexpr int kMaxCells = 16;

struct PresentRecord {
  long long start;
  long long done;
  HWND hwnd;
  bool visible;
  int width;
  int height;
  int cells;
  std::uint32_t sums[kMaxCells];
};

// A fixed store: full means later records are counted as dropped, never reallocated.
template <typename T, int N>
struct Log {
  T items[N];
  int used = 0;
  int dropped = 0;
  T* next() {
    if (used == N) {
      ++dropped;
      return nullptr;
    }
    return &items[used++];
  }
};

Log<MessageRecord, 1 << 16> g_hooks;    // key events posted by keyhook.dll
Log<PresentRecord, 1 << 16> g_presents;
Log<MessageRecord, 1 << 17> g_loop;     // messages the program's loop retrieved
Log<MessageRecord, 1 << 17> g_window;   // messages the display window and its picture received

long long g_entry = 0;
long long g_createdAt = 0;   // process creation, system time in 100 ns units
long long g_entryClock = 0;  // system time at g_entry, 100 ns units
HWND g_watched[2] = {};
char g_watchedClass[2][128] = {};

template <int N>
void note(Log<MessageRecord, N>& log, HWND h, UINT m, WPARAM w) {
  if (MessageRecord* r = log.next()) *r = {qpc(), h, m, w};
}

// FNV-1a over a cell's pixels, colour bytes only; tools/measure.py computes the same sum
// over the skin's pictures to tell a pressed cell from a released one.
std::uint32_t cellSum(const std::uint32_t* pixels, int stride, int x0, int y0) {
  std::uint32_t h = 2166136261u;
  for (int y = y0; y < y0 + kCell; ++y) {
    const std::uint32_t* row = pixels + static_cast<std::size_t>(y) * stride;
    for (int x = x0; x < x0 + kCell; ++x) {
      const std::uint32_t p = row[x] & 0x00FFFFFFu;
      for (int b = 0; b < 4; ++b) {
        h ^= (p >> (8 * b)) & 0xFFu;
        h *= 16777619u;
      }
    }
  }
  return h;
}

// ---- Redirected calls ----------------------------------------------------------------

decltype(&PostMessageW) realPostMessage = nullptr;
decltype(&SetDIBitsToDevice) realSetDIBitsToDevice = nullptr;
decltype(&GetMessageW) realGetMessage = nullptr;
decltype(&PeekMessageW) realPeekMessage = nullptr;

BOOL WINAPI postMessageProbe(HWND h, UINT m, WPARAM w, LPARAM l) {
  note(g_hooks, h, m, w);
  return realPostMessage(h, m, w, l);
}

// Test-only: the user-interface thread busy for wParam milliseconds, as a slow disk or a
// long decode would keep it.
constexpr UINT kMsgBlockForTest = WM_APP + 0x3B;

LRESULT CALLBACK windowProbe(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
  note(g_window, h, m, w);
  if (m == kMsgBlockForTest) {
    Sleep(static_cast<DWORD>(w));
    return 0;
  }
  if (m == WM_NCDESTROY) RemoveWindowSubclass(h, windowProbe, 1);
  return DefSubclassProc(h, m, w, l);
}

void watch(HWND picture) {
  if (g_watched[0] || !picture) return;
  g_watched[0] = picture;
  g_watched[1] = GetAncestor(picture, GA_ROOT);
  for (int i = 0; i < 2; ++i) {
    wchar_t cls[128] = {};
    GetClassNameW(g_watched[i], cls, 128);
    WideCharToMultiByte(CP_UTF8, 0, cls, -1, g_watchedClass[i], sizeof g_watchedClass[i], nullptr, nullptr);
    SetWindowSubclass(g_watched[i], windowProbe, 1, 0);
  }
}

int WINAPI setDIBitsProbe(HDC dc, int xd, int yd, DWORD w, DWORD h, int xs, int ys, UINT first,
                          UINT lines, const VOID* bits, const BITMAPINFO* bmi, UINT use) {
  const long long start = qpc();
  const int r = realSetDIBitsToDevice(dc, xd, yd, w, h, xs, ys, first, lines, bits, bmi, use);
  const long long done = qpc();
  PresentRecord* p = g_presents.next();
  if (!p) return r;
  HWND target = WindowFromDC(dc);
  *p = {start, done, target, target && IsWindowVisible(target) != FALSE, static_cast<int>(w),
        static_cast<int>(h), 0, {}};
  const BITMAPINFOHEADER& bh = bmi->bmiHeader;
  if (bits && bh.biBitCount == 32 && bh.biCompression == BI_RGB && bh.biHeight < 0) {
    const int stride = bh.biWidth;
    const int cols = static_cast<int>(w) / kCell, rows = static_cast<int>(h) / kCell;
    for (int row = 0; row < rows; ++row) {
      for (int col = 0; col < cols && p->cells < kMaxCells; ++col) {
        p->sums[p->cells++] =
            cellSum(static_cast<const std::uint32_t*>(bits), stride, col * kCell, row * kCell);
      }
    }
  }
  watch(target);
  return r;
}

BOOL WINAPI getMessageProbe(LPMSG m, HWND h, UINT lo, UINT hi) {
  const BOOL r = realGetMessage(m, h, lo, hi);
  if (r > 0) note(g_loop, m->hwnd, m->message, m->wParam);
  return r;
}

BOOL WINAPI peekMessageProbe(LPMSG m, HWND h, UINT lo, UINT hi, UINT remove) {
  const BOOL r = realPeekMessage(m, h, lo, hi, remove);
  if (r && (remove & PM_REMOVE)) note(g_loop, m->hwnd, m->message, m->wParam);
  return r;
}

// ---- Import tables -------------------------------------------------------------------

// The import table slot through which `module` calls `function` of `library`.
void** importSlot(HMODULE module, const char* library, const char* function) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return nullptr;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), library) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
        base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

template <typename F>
bool redirect(HMODULE module, const char* library, const char* function, F probe, F& real) {
  void** slot = importSlot(module, library, function);
  if (!slot) return false;
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
  real = reinterpret_cast<F>(*slot);
  *slot = reinterpret_cast<void*>(probe);
  VirtualProtect(slot, sizeof *slot, old, &old);
  return true;
}

// ---- Output --------------------------------------------------------------------------

std::wstring programFolder() {
  wchar_t path[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L"\\/"));
}

std::string hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
  return buf;
}

// One tab-separated line: the kind of record, then its fields.
class Line {
 public:
  Line(std::string& out, const char* kind) : out_(out) { out_ += kind; }
  ~Line() { out_ += '\n'; }
  Line& operator<<(const std::string& v) {
    out_ += '\t';
    out_ += v;
    return *this;
  }
  Line& operator<<(const char* v) { return *this << std::string(v); }
  Line& operator<<(long long v) { return *this << std::to_string(v); }

 private:
  std::string& out_;
};

template <int N>
void writeMessages(std::string& out, const char* kind, const Log<MessageRecord, N>& log) {
  for (int i = 0; i < log.used; ++i) {
    const MessageRecord& r = log.items[i];
    Line(out, kind) << r.at << hex(r.hwnd) << static_cast<long long>(r.message)
                    << static_cast<long long>(r.wParam);
  }
  Line(out, "dropped") << kind << static_cast<long long>(log.dropped);
}

bool writeRecords(const std::wstring& path, const std::string& problem) {
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  std::string out;
  Line(out, "lumatap-measure") << 1LL;
  Line(out, "freq") << static_cast<long long>(freq.QuadPart);
  Line(out, "entry") << g_entry << g_createdAt << g_entryClock;
  if (!problem.empty()) Line(out, "error") << problem;
  for (int i = 0; i < 2; ++i) {
    if (g_watched[i]) Line(out, "window") << hex(g_watched[i]) << g_watchedClass[i];
  }
  writeMessages(out, "hook", g_hooks);
  writeMessages(out, "loop", g_loop);
  writeMessages(out, "wndproc", g_window);
  for (int i = 0; i < g_presents.used; ++i) {
    const PresentRecord& p = g_presents.items[i];
    Line line(out, "present");
    line << p.start << p.done << hex(p.hwnd) << (p.visible ? 1LL : 0LL) << static_cast<long long>(p.width)
         << static_cast<long long>(p.height) << static_cast<long long>(p.cells);
    for (int c = 0; c < p.cells; ++c) line << static_cast<long long>(p.sums[c]);
  }
  Line(out, "dropped") << "present" << static_cast<long long>(g_presents.dropped);
  Line(out, "exit") << qpc();
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = WriteFile(f, out.data(), static_cast<DWORD>(out.size()), &n, nullptr) && n == out.size();
  CloseHandle(f);
  return ok;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  g_entry = qpc();
  FILETIME created{}, unused{}, now{};
  GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused);
  GetSystemTimePreciseAsFileTime(&now);
  g_createdAt = fileTime100ns(created);
  g_entryClock = fileTime100ns(now);

  const std::wstring out = programFolder() + L"\\measure.tsv";
  HMODULE exe = GetModuleHandleW(nullptr);
  // The program loads keyhook.dll by name from its folder later and gets this same module.
  HMODULE hook = LoadLibraryW(L"keyhook.dll");
  std::string problem;
  if (!hook) {
    problem = "keyhook.dll not found";
  } else if (!redirect(hook, "user32.dll", "PostMessageW", &postMessageProbe, realPostMessage)) {
    problem = "keyhook.dll does not import PostMessageW";
  } else if (!redirect(exe, "gdi32.dll", "SetDIBitsToDevice", &setDIBitsProbe, realSetDIBitsToDevice)) {
    problem = "no import of SetDIBitsToDevice";
  } else if (!redirect(exe, "user32.dll", "GetMessageW", &getMessageProbe, realGetMessage) ||
             !redirect(exe, "user32.dll", "PeekMessageW", &peekMessageProbe, realPeekMessage)) {
    problem = "no import of GetMessageW or PeekMessageW";
  }
  if (!problem.empty()) {
    writeRecords(out, problem);
    return 90;
  }
  const int code = lumatap::Main();
  if (!writeRecords(out, "")) return 91;
  return code;
}
