// The Windows entry point: everything else is the program's own Main.
#include <windows.h>

#include "display/form1.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return lumatap::Main(); }
