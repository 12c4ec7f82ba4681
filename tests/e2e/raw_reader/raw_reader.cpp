// raw_reader.exe: the least a program can do to see every key on the desktop. It listens
// to the keyboard's Raw Input in the background (RIDEV_INPUTSINK) and reads each event,
// nothing else. tools/measure.py runs it beside another program's SendInput calls: what
// those calls cost with it running is the floor for any key display.
//
//   raw_reader.exe [--print]
//
// Prints {"ready": 1} once it listens. With --print, one line per key event: the
// RAWKEYBOARD fields as they arrive. WM_CLOSE (the driver's `close LumatapRawReader`) ends
// it with {"keys": <events read>}, so that a run can tell the keys really reached it.
#include <windows.h>

#include <cstdio>

namespace {

bool g_print = false;
long long g_keys = 0;

void line(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

LRESULT CALLBACK readerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INPUT) {
    RAWINPUT raw;
    UINT size = sizeof raw;
    if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lp), RID_INPUT, &raw, &size, sizeof raw.header) !=
            static_cast<UINT>(-1) &&
        raw.header.dwType == RIM_TYPEKEYBOARD) {
      ++g_keys;
      if (g_print) {
        const RAWKEYBOARD& k = raw.data.keyboard;
        char text[160];
        std::snprintf(text, sizeof text,
                      "{\"vkey\": %u, \"make\": %u, \"flags\": %u, \"message\": %u, \"device\": %d}\n",
                      k.VKey, k.MakeCode, k.Flags, k.Message, raw.header.hDevice != nullptr);
        line(text);
      }
    }
    return DefWindowProcW(h, msg, wp, lp);
  }
  if (msg == WM_CLOSE) {
    char text[64];
    std::snprintf(text, sizeof text, "{\"keys\": %lld}\n", g_keys);
    line(text);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_print = argc > 1 && lstrcmpW(argv[1], L"--print") == 0;
  WNDCLASSW wc{};
  wc.lpfnWndProc = readerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"LumatapRawReader";
  RegisterClassW(&wc);
  // A hidden top-level window rather than a message-only one, so the driver can find it.
  HWND h = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
  RAWINPUTDEVICE d{};
  d.usUsagePage = 0x01;  // generic desktop
  d.usUsage = 0x06;      // keyboard
  d.dwFlags = RIDEV_INPUTSINK;
  d.hwndTarget = h;
  if (!h || !RegisterRawInputDevices(&d, 1, sizeof d)) {
    line("{\"error\": \"no Raw Input\"}\n");
    return 3;
  }
  line("{\"ready\": 1}\n");
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}
