#pragma once
// The keyboard hook library. While installed, every key-down and key-up on the desktop
// reaches the window given to SetHook as that window's key events, with the virtual-key
// code a focused window would see. Nothing else in the program reads the keyboard.

namespace plat {

class Window;

void SetHook(Window& w);
void ResetHook();

}  // namespace plat
