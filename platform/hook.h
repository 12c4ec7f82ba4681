#pragma once
// The keyboard hook library. While installed, every key-down and key-up on the desktop
// reaches the window given to SetHook as that window's key events, with the virtual-key
// code a focused window would see. Nothing else in the program reads the keyboard.

#include <string>

namespace plat {

class Window;

void SetHook(Window& w);
void ResetHook();
// While on, the mouse buttons reach the hooked window too, as key events of their
// virtual-key codes (1 left, 2 right, 4 middle, 5 and 6 the side buttons, as the system
// means them). Off, mouse movement and clicks cost the program nothing at all. The choice
// outlasts ResetHook and SetHook; the start is off.
void WatchMouseButtons(bool on);

// The file the hook library is loaded from: "keyhook.dll" in the program folder, never
// one found anywhere else.
std::string hookLibraryPath();
// False when that file is missing or lacks SetHook or ResetHook; the calls above then do
// nothing and no key reaches the window.
bool hookLibraryLoaded();

// Whether the key is held now, as the keyboard itself has it (not as events told it).
bool keyIsDown(int vk);

}  // namespace plat
