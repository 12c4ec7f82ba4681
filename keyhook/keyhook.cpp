// keyhook.dll: watches the keyboard on behalf of one window. Every key-down and key-up on
// the desktop is posted to that window as a private message (keyhook_messages.h) carrying
// the virtual-key code a focused window would see.
//
// The watching runs on a thread of its own, with its own message loop, started by SetHook
// and ended by ResetHook, so a busy window (a file write, a modal loop) never delays the
// keys.
//
// The keys come from Raw Input: a message-only window registered with RIDEV_INPUTSINK
// gets each key posted, and the system hands the key on to the program that has the focus
// without waiting for this one. A low-level hook would make every key of every program,
// the game's included, wait until this thread has answered; it is installed only while
// Raw Input delivers nothing (ChannelGuard in keyevent.h decides).
//
// The mouse buttons come from Raw Input too, and only while the window asks for them
// (WatchMouse): then every movement of the mouse wakes this thread, which reads the event
// and, unless a button moved, goes back to sleep without a word to the window. There is
// never a hook on the mouse: it would make every movement of the game's mouse wait.
//
// Everything below except the globals at the top belongs to the watching thread.

#include <windows.h>

#include <atomic>

#include "keyhook/keyevent.h"
#include "keyhook/mouse_event.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_trace.h"

namespace {

HINSTANCE g_module = nullptr;
std::atomic<HWND> g_target{nullptr};
HANDLE g_thread = nullptr;
DWORD g_threadId = 0;
std::atomic<bool> g_mouseWanted{false};
// Tells the watching thread that g_mouseWanted changed.
constexpr UINT kMsgMouseWanted = 0x8000 + 0x3D;  // WM_APP + 0x3D

// Test-only thread messages, posted by the e2e tests with PostThreadMessage to the thread
// named by the window property below. The first removes the Raw Input registration behind
// the program's back, as another part of the process could; the second makes every later
// registration one that delivers nothing while another program has the foreground, as
// when a foreground program keeps the keys to itself.
constexpr UINT kMsgDropRawInputForTest = 0x8000 + 0x3A;  // WM_APP + 0x3A
constexpr UINT kMsgSpoilRawInputForTest = 0x8000 + 0x3C;

HHOOK g_hook = nullptr;
HWND g_sink = nullptr;
bool g_mouseListened = false;
bool g_spoiledForTest = false;
keyhook::KeyTranslator g_keys;
keyhook::ChannelGuard g_guard;

// Notes name the library, so that a debugger tells them from the program's.
using plat::win32::traceFailure;
constexpr wchar_t kNoteFrom[] = L"keyhook.dll";

void post(const keyhook::KeyMessage& m) {
  if (HWND target = g_target.load()) PostMessageW(target, m.message, m.keyCode, static_cast<LPARAM>(m.lParam));
}

LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
    if (down || wParam == WM_KEYUP || wParam == WM_SYSKEYUP) {
      const unsigned key = keyhook::sidedKeyCode(k->vkCode, k->scanCode, (k->flags & LLKHF_EXTENDED) != 0);
      g_guard.hookEvent(key, down);
      keyhook::KeyMessage m;
      if (g_keys.translate(static_cast<unsigned>(wParam), key, k->scanCode, k->flags, m)) post(m);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

void installHook() {
  if (g_hook) UnhookWindowsHookEx(g_hook);  // fails when the system already removed it
  g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, g_module, 0);
  if (!g_hook) traceFailure("SetWindowsHookExW", kNoteFrom);
}

void removeHook() {
  if (g_hook && !UnhookWindowsHookEx(g_hook)) traceFailure("UnhookWindowsHookEx", kNoteFrom);
  g_hook = nullptr;
}

constexpr USHORT kUsageMouse = 0x02;
constexpr USHORT kUsageKeyboard = 0x06;

// Registers the sink for a generic desktop device's Raw Input (`flags` when on), or removes
// the registration.
bool registerSink(USHORT usage, bool on, DWORD flags) {
  RAWINPUTDEVICE d{};
  d.usUsagePage = 0x01;  // generic desktop
  d.usUsage = usage;
  d.dwFlags = on ? flags : RIDEV_REMOVE;
  d.hwndTarget = on ? g_sink : nullptr;
  return RegisterRawInputDevices(&d, 1, sizeof d) != FALSE;
}

// The keyboard, as the sink listens to it (the mouse has listenMouse, below).
bool listenRaw(bool on) {
  if (registerSink(kUsageKeyboard, on, g_spoiledForTest ? 0 : RIDEV_INPUTSINK)) return true;
  if (on) traceFailure("RegisterRawInputDevices", kNoteFrom);
  return false;
}

void listenMouse(bool on) {
  if (on == g_mouseListened || !g_sink) return;
  if (registerSink(kUsageMouse, on, RIDEV_INPUTSINK)) {
    g_mouseListened = on;
  } else {
    traceFailure(on ? "RegisterRawInputDevices mouse" : "RegisterRawInputDevices mouse removal", kNoteFrom);
  }
}

// Whether the keyboard's Raw Input still comes to the sink: the registration is per
// process, and another registration of the keyboard replaces it.
bool rawRegistered() {
  RAWINPUTDEVICE list[8];
  UINT n = 8;
  const UINT got = GetRegisteredRawInputDevices(list, &n, sizeof list[0]);
  if (got == static_cast<UINT>(-1)) return true;  // more than fit: not ours to judge, assume in place
  for (UINT i = 0; i < got; ++i) {
    if (list[i].usUsagePage == 0x01 && list[i].usUsage == kUsageKeyboard) return list[i].hwndTarget == g_sink;
  }
  return false;
}

keyhook::KeySet keysHeld() {
  keyhook::KeySet held;
  for (int vk = 1; vk < 255; ++vk) held.set(vk, (GetAsyncKeyState(vk) & 0x8000) != 0);
  return held;
}

void note(const wchar_t* text) { OutputDebugStringW(text); }

void take(keyhook::ChannelGuard::Step step) {
  using Step = keyhook::ChannelGuard::Step;
  switch (step) {
    case Step::None:
      break;
    case Step::RegisterAgain:
      if (listenRaw(true)) {
        note(L"keyhook.dll: Raw Input delivered no keys; registered again\n");
      } else {
        take(g_guard.registrationFailed());
      }
      break;
    case Step::InstallHook:
      installHook();
      note(L"keyhook.dll: Raw Input delivers no keys; the low-level hook delivers them\n");
      break;
    case Step::RemoveHook:
      removeHook();
      note(L"keyhook.dll: Raw Input delivers keys again; the low-level hook is removed\n");
      break;
  }
}

void rawKey(const RAWKEYBOARD& k) {
  const unsigned key = keyhook::rawKeyCode(k.VKey, k.MakeCode, k.Flags);
  if (!key) return;
  const keyhook::ChannelGuard::Verdict v = g_guard.rawEvent(key, !(k.Flags & RI_KEY_BREAK));
  keyhook::KeyMessage m;
  if (v.deliver && g_keys.translateRaw(k.VKey, k.MakeCode, k.Flags, m)) post(m);
  take(v.step);
}

// The buttons' transitions go to the window as key events; a movement alone ends here.
void rawMouse(const RAWMOUSE& m) {
  if (!(m.usButtonFlags & keyhook::kRawAnyButton)) return;
  // Raw Input names the device's buttons; the grid shows the ones the system means.
  const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  for (const keyhook::ButtonTransition& b : keyhook::buttonTransitions(m.usButtonFlags, swapped)) {
    keyhook::KeyMessage km;
    if (g_keys.translate(b.down ? WM_KEYDOWN : WM_KEYUP, b.keyCode, 0, 0, km)) post(km);
  }
}

void rawInput(HRAWINPUT handle) {
  RAWINPUT raw;
  UINT size = sizeof raw;
  if (GetRawInputData(handle, RID_INPUT, &raw, &size, sizeof raw.header) == static_cast<UINT>(-1)) return;
  if (raw.header.dwType == RIM_TYPEKEYBOARD) {
    rawKey(raw.data.keyboard);
  } else if (raw.header.dwType == RIM_TYPEMOUSE && g_mouseListened) {
    rawMouse(raw.data.mouse);
  }
}

// A moment at which keys may have gone by unseen. Raw Input already queued is read first,
// so a key that is merely on its way is not taken for a missed one.
void lookAtKeys() {
  MSG m;
  while (PeekMessageW(&m, g_sink, WM_INPUT, WM_INPUT, PM_REMOVE)) DispatchMessageW(&m);
  const keyhook::ChannelGuard::Look l = g_guard.look(keysHeld(), rawRegistered());
  for (unsigned vk = 0; vk < 256; ++vk) {
    keyhook::KeyMessage km;
    if (l.missed.test(vk) && g_keys.translate(WM_KEYDOWN, vk, 0, 0, km)) post(km);
  }
  take(l.step);
}

// The foreground changing (a game coming up, Alt+Tab) or the input desktop switching back
// are the moments: they cost nothing while nothing happens, and a program that keeps the
// keys from Raw Input does so once it has the foreground.
void CALLBACK windowEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { lookAtKeys(); }

LRESULT CALLBACK sinkProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INPUT) rawInput(reinterpret_cast<HRAWINPUT>(lp));
  return DefWindowProcW(h, msg, wp, lp);
}

// A name for debuggers and profilers; under Wine it becomes the Linux thread's name, by
// which tools/measure.py tells this thread's processor time from the window's. Looked up,
// because systems before Windows 10 1607 lack the call.
void nameThisThread() {
  using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (auto describe = reinterpret_cast<Describe>(
          reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetThreadDescription") : nullptr)))
    describe(GetCurrentThread(), L"lumatap-keys");
}

DWORD WINAPI watch(LPVOID ready) {
  nameThisThread();
  // The message queue exists before SetHook returns, so ResetHook's quit always arrives.
  MSG m;
  PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
  g_keys.reset();
  g_guard.start(keysHeld());
  g_spoiledForTest = false;

  WNDCLASSW wc{};
  wc.lpfnWndProc = sinkProc;
  wc.hInstance = g_module;
  wc.lpszClassName = L"LumatapKeySink";
  RegisterClassW(&wc);
  g_sink = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
  if (!g_sink) traceFailure("CreateWindowExW key sink", kNoteFrom);
  // Which thread watches, for the tests that disturb it behind its back.
  if (HWND target = g_target.load()) {
    SetPropW(target, L"LumatapKeyThread", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GetCurrentThreadId())));
  }
  if (!g_sink || !listenRaw(true)) take(g_guard.registrationFailed());
  listenMouse(g_mouseWanted.load());
  // Out of context: the callbacks come through this thread's message loop.
  const HWINEVENTHOOK foreground =
      SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, windowEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  if (!foreground) traceFailure("SetWinEventHook foreground", kNoteFrom);
  const HWINEVENTHOOK desktop = SetWinEventHook(EVENT_SYSTEM_DESKTOPSWITCH, EVENT_SYSTEM_DESKTOPSWITCH, nullptr,
                                                windowEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  if (!desktop) traceFailure("SetWinEventHook desktop switch", kNoteFrom);
  SetEvent(static_cast<HANDLE>(ready));

  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (m.hwnd == nullptr && m.message == kMsgDropRawInputForTest) {
      listenRaw(false);
      continue;
    }
    if (m.hwnd == nullptr && m.message == kMsgSpoilRawInputForTest) {
      g_spoiledForTest = true;
      continue;
    }
    if (m.hwnd == nullptr && m.message == kMsgMouseWanted) {
      listenMouse(g_mouseWanted.load());
      continue;
    }
    DispatchMessageW(&m);
  }

  if (foreground) UnhookWinEvent(foreground);
  if (desktop) UnhookWinEvent(desktop);
  listenMouse(false);
  if (g_sink) listenRaw(false);
  removeHook();
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

// While `on`, the mouse buttons reach the window too, as key events of VK_LBUTTON,
// VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1 and VK_XBUTTON2. The choice holds across ResetHook
// and SetHook; off at the start.
extern "C" void __stdcall WatchMouse(BOOL on) {
  g_mouseWanted.store(on != FALSE);
  if (g_thread) PostThreadMessageW(g_threadId, kMsgMouseWanted, 0, 0);
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
