// keyhook.dll: watches the keyboard on behalf of one window. Every key-down and key-up on
// the desktop is posted to that window as a private message (keyhook_messages.h) carrying
// the virtual-key code a focused window would see.
//
// The watching runs on a thread of its own, with its own message loop, started by SetHook
// and ended by ResetHook. A low-level hook runs on the thread that installed it, and the
// system removes it without a word when that thread is slow to answer; here the thread
// does nothing else, so a busy window (a file write, a modal loop) never delays anyone's
// keys, the game's included, and never costs the hook.
//
// Two channels: the low-level hook delivers; Raw Input (a message-only window with
// RIDEV_INPUTSINK) confirms each key and delivers whatever the hook missed, in which case
// the hook is installed again (ChannelGuard in keyevent.h). Everything below except the
// three globals at the top belongs to the watching thread.

#include <windows.h>

#include <atomic>

#include "keyhook/keyevent.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_trace.h"

namespace {

HINSTANCE g_module = nullptr;
std::atomic<HWND> g_target{nullptr};
HANDLE g_thread = nullptr;
DWORD g_threadId = 0;

// Test-only: a thread message that removes the hook behind the program's back, as the
// system does when the hook times out. The e2e tests post it with PostThreadMessage to
// the thread named by the window property below.
constexpr UINT kMsgDropHookForTest = 0x8000 + 0x3A;  // WM_APP + 0x3A

HHOOK g_hook = nullptr;
HWND g_sink = nullptr;
keyhook::KeyTranslator g_keys;
keyhook::ChannelGuard g_guard;

// Failure notes name the library, so that a debugger tells them from the program's.
using plat::win32::traceFailure;
constexpr wchar_t kNoteFrom[] = L"keyhook.dll";

void deliver(unsigned message, unsigned vk, unsigned scanCode, std::uint32_t flags) {
  keyhook::KeyMessage m;
  if (!g_keys.translate(message, vk, scanCode, flags, m)) return;
  if (HWND target = g_target.load()) PostMessageW(target, m.message, m.keyCode, static_cast<LPARAM>(m.lParam));
}

LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
    if (down || wParam == WM_KEYUP || wParam == WM_SYSKEYUP) {
      g_guard.hookEvent(keyhook::focusedKeyCode(k->vkCode), down);
      deliver(static_cast<unsigned>(wParam), k->vkCode, k->scanCode, k->flags);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

void installHook() {
  if (g_hook) UnhookWindowsHookEx(g_hook);  // fails when the system already removed it
  g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, g_module, 0);
  if (!g_hook) traceFailure("SetWindowsHookExW", kNoteFrom);
}

void listenRaw(bool on) {
  RAWINPUTDEVICE d{};
  d.usUsagePage = 0x01;  // generic desktop
  d.usUsage = 0x06;      // keyboard
  d.dwFlags = on ? RIDEV_INPUTSINK : RIDEV_REMOVE;
  d.hwndTarget = on ? g_sink : nullptr;
  if (!RegisterRawInputDevices(&d, 1, sizeof d) && on) traceFailure("RegisterRawInputDevices", kNoteFrom);
}

void rawInput(HRAWINPUT handle) {
  RAWINPUT raw;
  UINT size = sizeof raw;
  if (GetRawInputData(handle, RID_INPUT, &raw, &size, sizeof raw.header) == static_cast<UINT>(-1)) return;
  if (raw.header.dwType != RIM_TYPEKEYBOARD) return;
  const RAWKEYBOARD& k = raw.data.keyboard;
  if (k.VKey == 0xFF || k.VKey == 0) return;  // fake keys that come with some real ones
  const bool down = !(k.Flags & RI_KEY_BREAK);
  const keyhook::ChannelGuard::Verdict v = g_guard.rawEvent(keyhook::focusedKeyCode(k.VKey), down);
  if (!v.deliver) return;
  const unsigned message = down ? WM_KEYDOWN : WM_KEYUP;
  deliver(message, k.VKey, k.MakeCode, (k.Flags & RI_KEY_E0) ? keyhook::kLlkhfExtended : 0);
  if (v.hookLost) {
    OutputDebugStringW(L"keyhook.dll: the low-level hook was gone; installed again\n");
    installHook();
    g_guard.forget();
  }
}

LRESULT CALLBACK sinkProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INPUT) {
    rawInput(reinterpret_cast<HRAWINPUT>(lp));
    if (g_guard.rawLost()) {
      listenRaw(true);
      g_guard.forget();
    }
  }
  return DefWindowProcW(h, msg, wp, lp);
}

DWORD WINAPI watch(LPVOID ready) {
  // The message queue exists before SetHook returns, so ResetHook's quit always arrives.
  MSG m;
  PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
  g_keys.reset();
  g_guard.forget();

  WNDCLASSW wc{};
  wc.lpfnWndProc = sinkProc;
  wc.hInstance = g_module;
  wc.lpszClassName = L"LumatapKeySink";
  RegisterClassW(&wc);
  g_sink = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
  if (!g_sink) traceFailure("CreateWindowExW key sink", kNoteFrom);
  // Which thread watches, for the tests that remove the hook behind its back.
  if (HWND target = g_target.load()) {
    SetPropW(target, L"LumatapKeyThread", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GetCurrentThreadId())));
  }
  installHook();
  if (g_sink) listenRaw(true);
  SetEvent(static_cast<HANDLE>(ready));

  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (m.hwnd == nullptr && m.message == kMsgDropHookForTest) {
      if (g_hook) UnhookWindowsHookEx(g_hook);
      g_hook = nullptr;
      continue;
    }
    DispatchMessageW(&m);
  }

  if (g_sink) listenRaw(false);
  if (g_hook && !UnhookWindowsHookEx(g_hook)) traceFailure("UnhookWindowsHookEx", kNoteFrom);
  g_hook = nullptr;
  if (g_sink) DestroyWindow(g_sink);
  g_sink = nullptr;
  UnregisterClassW(wc.lpszClassName, g_module);
  return 0;
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
  g_target.store(window);
  if (g_thread) return;
  const plat::win32::Handle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_thread = CreateThread(nullptr, 0, watch, ready, 0, &g_threadId);
  if (!g_thread) {
    // The window then lights no keys; a later SetHook tries again.
    traceFailure("CreateThread", kNoteFrom);
  } else if (ready) {
    // Keys pressed once SetHook has returned are seen.
    WaitForSingleObject(ready, 5000);
  }
}

// Stops watching; no key reaches the window after this returns.
extern "C" void __stdcall ResetHook() {
  g_target.store(nullptr);
  if (!g_thread) return;
  PostThreadMessageW(g_threadId, WM_QUIT, 0, 0);
  if (WaitForSingleObject(g_thread, 5000) != WAIT_OBJECT_0) {
    traceFailure("the watching thread's end", kNoteFrom);
  }
  CloseHandle(g_thread);
  g_thread = nullptr;
  g_threadId = 0;
}
