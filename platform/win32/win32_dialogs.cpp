// Message boxes, pop-up menus and the message loop.
#include "platform/backend.h"
#include "platform/win32/win32.h"

#include <functional>

namespace plat::backend {

using win32::hwndOf;
using win32::widen;

MsgAnswer messageBox(Window* owner, const std::string& text, const std::string& title,
                     MsgButtons buttons, MsgIcon icon) {
  UINT flags = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case MsgIcon::Critical: flags |= MB_ICONHAND; break;
    case MsgIcon::Question: flags |= MB_ICONQUESTION; break;
    case MsgIcon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
    case MsgIcon::None: break;
  }
  int r = MessageBoxW(owner ? hwndOf(*owner) : nullptr, widen(text).c_str(), widen(title).c_str(),
                      flags);
  if (r == 0) win32::traceFailure("MessageBoxW");  // taken as No (or OK), as a closed box
  if (r == IDYES) return MsgAnswer::Yes;
  if (r == IDNO) return MsgAnswer::No;
  return MsgAnswer::Ok;
}

int popupMenu(Window& owner, const Menu& menu) {
  HWND h = hwndOf(owner);
  if (!h) return -1;
  HMENU m = CreatePopupMenu();
  if (!m) {
    win32::traceFailure("CreatePopupMenu");
    return -1;
  }
  // Command ids are positions + 1, since 0 means that nothing was chosen; a submenu's items
  // are counted right after it.
  UINT_PTR position = 0;
  const std::function<void(HMENU, const std::vector<MenuItem>&)> append =
      [&](HMENU into, const std::vector<MenuItem>& items) {
        for (const MenuItem& item : items) {
          const UINT_PTR id = ++position;
          if (item.separator()) {
            AppendMenuW(into, MF_SEPARATOR, 0, nullptr);
            continue;
          }
          UINT flags = MF_STRING | (item.checked ? MF_CHECKED : 0) | (item.enabled ? 0 : MF_GRAYED);
          if (!item.items.empty()) {
            // Destroyed with the menu it is appended to.
            HMENU sub = CreatePopupMenu();
            if (!sub) continue;
            append(sub, item.items);
            AppendMenuW(into, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), widen(item.caption).c_str());
          } else {
            AppendMenuW(into, flags, id, widen(item.caption).c_str());
          }
        }
      };
  append(m, menu.items);
  POINT at;
  GetCursorPos(&at);
  // Without this the menu stays open when the user clicks elsewhere. A window that never
  // takes the activation holds the foreground only while its menu is open.
  const HWND before = GetForegroundWindow();
  SetForegroundWindow(h);
  int chosen = static_cast<int>(TrackPopupMenu(m, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN,
                                                at.x, at.y, 0, h, nullptr));
  PostMessageW(h, WM_NULL, 0, 0);
  if (owner.noActivate() && before && before != h && IsWindow(before) &&
      GetForegroundWindow() != before) {
    SetForegroundWindow(before);
  }
  DestroyMenu(m);
  return chosen - 1;
}

namespace {
// Set once the last window has gone. A modal loop of the system (a window drag, for one)
// may take the WM_QUIT for itself and return; the program's own loop ends all the same.
bool g_quit = false;

void dispatch(MSG& m) {
  if (win32::dialogKeys(m)) return;
  TranslateMessage(&m);
  DispatchMessageW(&m);
}
}  // namespace

void doEvents() {
  MSG m;
  while (!g_quit && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));  // for the loop that is waiting for it
      return;
    }
    dispatch(m);
  }
}

void runMessageLoop() {
  MSG m;
  while (!g_quit && GetMessageW(&m, nullptr, 0, 0) > 0) dispatch(m);
}

void quitMessageLoop() {
  g_quit = true;
  PostQuitMessage(0);
}

}  // namespace plat::backend
