// The Windows entry point: everything else is the program's own Main.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return lumatap::Main(); }
