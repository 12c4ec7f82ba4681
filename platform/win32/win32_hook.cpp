// The keyboard hook lives in keyhook.dll beside the program, loaded by name at the first
// call. Without the library the calls do nothing: the window then simply lights no keys,
// and a trace says why.
#include "platform/hook.h"
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
    HMODULE dll = LoadLibraryW(L"keyhook.dll");
    if (!dll) {
      win32::traceFailure("LoadLibraryW keyhook.dll");
      return l;
    }
    l.set = reinterpret_cast<HookFn>(reinterpret_cast<void*>(GetProcAddress(dll, "SetHook")));
    if (!l.set) win32::traceFailure("GetProcAddress keyhook.dll SetHook");
    l.reset = reinterpret_cast<UnhookFn>(reinterpret_cast<void*>(GetProcAddress(dll, "ResetHook")));
    if (!l.reset) win32::traceFailure("GetProcAddress keyhook.dll ResetHook");
    return l;
  }();
  return lib;
}

}  // namespace

void SetHook(Window& w) {
  // From now on the window's keys come from the hook; its own key messages would repeat them.
  if (win32::Peer* p = win32::peerOf(w)) p->hooked = true;
  if (library().set) library().set(win32::hwndOf(w));
}

void ResetHook() {
  if (library().reset) library().reset();
}

}  // namespace plat
