#pragma once
// Notes for whoever debugs the program: a call to the system failed and the program goes
// on without what it asked for (a control that did not come up, a hook library that did
// not load). The user is not told, nothing is written to a file, and a note never holds
// a key the user pressed. Windows hands the notes to a debugger (OutputDebugString); the
// headless backend keeps them for the tests.

#include <string_view>

namespace plat {

void trace(std::string_view what);

}  // namespace plat
