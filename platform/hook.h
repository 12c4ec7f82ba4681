#pragma once
// The keyboard hook library. While installed, every key-down and key-up on the desktop
// reaches the window given to SetHook as that window's key events, with the virtual-key
// code a focused window would see. Nothing else in the program reads the keyboard.

#include <string>

namespace plat {

class Window;

void SetHook(Window& w);
void ResetHook();

// The file the hook library is loaded from: "keyhook.dll" in the program folder, never
// one found anywhere else.
std::string hookLibraryPath();
// False when that file is missing or lacks SetHook or ResetHook; the calls above then do
// nothing and no key reaches the window.
bool hookLibraryLoaded();

// Whether the key is held now, as the keyboard itself has it (not as events told it).
bool keyIsDown(int vk);

}  // namespace plat
