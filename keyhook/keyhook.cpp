// keyhook.dll: a low-level keyboard hook on behalf of one window. Every key-down and
// key-up on the desktop is posted to that window as a private message (keyhook_messages.h)
// carrying the virtual-key code a focused window would see.
//
// A low-level hook runs on the thread that installed it, inside that thread's message
// loop, so everything here lives on the program's one user-interface thread and needs no
// lock. The callback must return quickly or the system silently drops the hook: it only
// posts and passes the event on.

#include <windows.h>

#include <string>

#include "keyhook/keyevent.h"

namespace {

HINSTANCE g_module = nullptr;
HHOOK g_hook = nullptr;
HWND g_target = nullptr;
keyhook::KeyTranslator g_keys;

// For a debugger: what failed, with the system's text for the error. Never called with
// anything about a key.
void traceFailure(const wchar_t* what) {
  const DWORD error = GetLastError();
  std::wstring line = L"keyhook.dll: ";
  line += what;
  line += L" failed: error " + std::to_wstring(error);
  wchar_t* text = nullptr;
  if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr)) {
    std::wstring message = text;
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
    line += L" (" + message + L")";
  }
  if (text) LocalFree(text);
  line += L'\n';
  OutputDebugStringW(line.c_str());
}

LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && g_target) {
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    keyhook::KeyMessage m;
    if (g_keys.translate(static_cast<unsigned>(wParam), k->vkCode, k->scanCode, k->flags, m)) {
      PostMessageW(g_target, m.message, m.keyCode, static_cast<LPARAM>(m.lParam));
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

// Sends the keys to `window` from now on. A second call only changes the window.
extern "C" void __stdcall SetHook(HWND window) {
  g_target = window;
  if (!g_hook) {
    g_keys.reset();
    g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, g_module, 0);
    // The window then lights no keys; a later SetHook tries again.
    if (!g_hook) traceFailure(L"SetWindowsHookExW");
  }
}

// Removes the hook; no key reaches the window after this.
extern "C" void __stdcall ResetHook() {
  if (g_hook && !UnhookWindowsHookEx(g_hook)) traceFailure(L"UnhookWindowsHookEx");
  g_hook = nullptr;
  g_target = nullptr;
}
