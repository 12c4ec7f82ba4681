// The keyboard hook lives in keyhook.dll in the program folder, loaded at the first call.
// Only that file is ever loaded: a keyhook.dll in the current folder or on PATH would run
// inside the program and see every key. Without the library the calls do nothing, the
// window lights no keys, and the start-up tells the user.
#include "platform/hook.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "platform/win32/win32.h"

namespace plat {
namespace {

using HookFn = void(__stdcall*)(HWND);
using UnhookFn = void(__stdcall*)();

struct HookLibrary {
  HookFn set = nullptr;
  UnhookFn reset = nullptr;
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
    if (!l.set || !l.reset) l = HookLibrary{};  // half a hook would install and never go
    return l;
  }();
  return lib;
}

}  // namespace

std::string hookLibraryPath() { return programFolder() + "\\keyhook.dll"; }

bool hookLibraryLoaded() { return library().set != nullptr; }

void SetHook(Window& w) {
  // From now on the window's keys come from the hook; its own key messages would repeat them.
  if (!library().set) return;
  if (win32::Peer* p = win32::peerOf(w)) p->hooked = true;
  library().set(win32::hwndOf(w));
}

void ResetHook() {
  if (library().reset) library().reset();
}

}  // namespace plat
