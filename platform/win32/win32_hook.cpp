// The keyboard hook lives in keyhook.dll in the program folder, loaded at the first call.
// Only that file is ever loaded: a keyhook.dll in the current folder or on PATH would run
// inside the program and see every key. Without the library the calls do nothing, the
// window lights no keys, and the start-up tells the user.
#include "platform/hook.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "platform/win32/win32.h"

#include <wtsapi32.h>

#include <vector>

namespace plat {
namespace {

using HookFn = void(__stdcall*)(HWND);
using UnhookFn = void(__stdcall*)();
using WatchMouseFn = void(__stdcall*)(BOOL);

struct HookLibrary {
  HookFn set = nullptr;
  UnhookFn reset = nullptr;
  WatchMouseFn watchMouse = nullptr;  // a library without it shows no mouse buttons
};

const HookLibrary& library() {
  static const HookLibrary lib = [] {
    HookLibrary l;
    const std::wstring path = win32::widen(hookLibraryPath());
    // The full path picks the file; the flags keep the libraries it needs in turn to the
    // system folder and its own.
    HMODULE dll = LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dll) {
      win32::traceFailure("LoadLibraryExW " + hookLibraryPath());
      return l;
    }
    l.set = reinterpret_cast<HookFn>(reinterpret_cast<void*>(GetProcAddress(dll, "SetHook")));
    if (!l.set) win32::traceFailure("GetProcAddress keyhook.dll SetHook");
    l.reset = reinterpret_cast<UnhookFn>(reinterpret_cast<void*>(GetProcAddress(dll, "ResetHook")));
    if (!l.reset) win32::traceFailure("GetProcAddress keyhook.dll ResetHook");
    if (!l.set || !l.reset) return HookLibrary{};  // half a hook would install and never go
    l.watchMouse = reinterpret_cast<WatchMouseFn>(reinterpret_cast<void*>(GetProcAddress(dll, "WatchMouse")));
    if (!l.watchMouse) win32::traceFailure("GetProcAddress keyhook.dll WatchMouse");
    return l;
  }();
  return lib;
}

// ---- Moments when a key-up may have been lost, and the foreground ------------------

Window* g_watched = nullptr;  // the window the hook delivers to
HWINEVENTHOOK g_foregroundHook = nullptr;
HWINEVENTHOOK g_desktopHook = nullptr;
constexpr DWORD kEventDesktopSwitch = 0x0020;  // EVENT_SYSTEM_DESKTOPSWITCH

// The integrity level of a process's token; -1 when it cannot be read. A window of a
// process above this one's cannot be watched (the system's UI privilege isolation).
long integrityOf(HANDLE process) {
  win32::Handle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) return -1;
  long level = -1;
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  if (size) {
    std::vector<unsigned char> buffer(size);
    if (GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
      auto* label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data());
      const DWORD count = *GetSidSubAuthorityCount(label->Label.Sid);
      if (count) level = static_cast<long>(*GetSidSubAuthority(label->Label.Sid, count - 1));
    }
  }
  return level;
}

bool keysHiddenBy(HWND foreground) {
  static const long own = integrityOf(GetCurrentProcess());
  if (!foreground || own < 0 || own >= SECURITY_MANDATORY_HIGH_RID) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(foreground, &pid);
  if (!pid || pid == GetCurrentProcessId()) return false;
  const win32::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;  // nothing known: say nothing
  return integrityOf(process) > own;
}

void CALLBACK windowEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG, LONG, DWORD, DWORD) {
  if (!g_watched) return;
  if (event == EVENT_SYSTEM_FOREGROUND) {
    g_watched->userForegroundChanged(keysHiddenBy(hwnd));
  } else {
    g_watched->userKeysMayBeStale();
  }
}

void watchMoments(Window& w) {
  g_watched = &w;
  HWND h = win32::hwndOf(w);
  if (!h) return;
  win32::Peer* p = win32::peerOf(w);
  if (p && !p->sessionWatched) {
    // Lock and unlock, and a session reconnected: WM_WTSSESSION_CHANGE.
    p->sessionWatched = WTSRegisterSessionNotification(h, NOTIFY_FOR_THIS_SESSION) != FALSE;
    if (!p->sessionWatched) win32::traceFailure("WTSRegisterSessionNotification");
  }
  // Out of context: the callbacks come through this thread's message loop, and no
  // library goes into other programs.
  const DWORD flags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS;
  if (!g_foregroundHook) {
    g_foregroundHook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                       windowEvent, 0, 0, flags);
    if (!g_foregroundHook) win32::traceFailure("SetWinEventHook foreground");
  }
  if (!g_desktopHook) {
    g_desktopHook = SetWinEventHook(kEventDesktopSwitch, kEventDesktopSwitch, nullptr, windowEvent, 0, 0,
                                    WINEVENT_OUTOFCONTEXT);
    if (!g_desktopHook) win32::traceFailure("SetWinEventHook desktop switch");
  }
}

void unwatchMoments() {
  g_watched = nullptr;
  if (g_foregroundHook) UnhookWinEvent(g_foregroundHook);
  if (g_desktopHook) UnhookWinEvent(g_desktopHook);
  g_foregroundHook = g_desktopHook = nullptr;
}

}  // namespace

bool keyIsDown(int vk) { return vk > 0 && vk < 256 && (GetAsyncKeyState(vk) & 0x8000) != 0; }

std::string hookLibraryPath() { return programFolder() + "\\keyhook.dll"; }

bool hookLibraryLoaded() { return library().set != nullptr; }

void SetHook(Window& w) {
  watchMoments(w);
  // From now on the window's keys come from the hook; its own key messages would repeat them.
  if (!library().set) return;
  if (win32::Peer* p = win32::peerOf(w)) p->hooked = true;
  library().set(win32::hwndOf(w));
}

void ResetHook() {
  unwatchMoments();
  if (library().reset) library().reset();
}

void WatchMouseButtons(bool on) {
  if (library().watchMouse) library().watchMouse(on ? TRUE : FALSE);
}

}  // namespace plat
