#pragma once
// The messages keyhook.dll posts to the window given to SetHook, one per key transition.
// wParam: the virtual-key code a focused window would see (VK_SHIFT rather than
// VK_LSHIFT, ...). lParam: laid out like a WM_KEYDOWN / WM_KEYUP lParam.
//
// Private messages rather than WM_KEYDOWN / WM_KEYUP on purpose: the modal loops of a
// pop-up menu and of a window drag eat keyboard messages (the arrows move the window, Esc
// ends the drag or closes the menu), while posted messages of any other number are
// dispatched by those loops, so keys keep lighting while the window is dragged or its
// menu is open.
//
// Plain numbers so that code without <windows.h> can use them: WM_APP is 0x8000.

namespace keyhook {

constexpr unsigned kMsgKeyDown = 0x8000 + 0x31;
constexpr unsigned kMsgKeyUp = 0x8000 + 0x32;

}  // namespace keyhook
