#pragma once
// The key definition table from keylist.dat: for each virtual-key code, the skin cell that
// shows it and the name it is listed and stored under.

namespace lumatap {

// Fills KeyDefs from keylist.dat. The file belongs to the installation: when it is missing
// or cannot be read, the program says so and ends here, without saving anything.
void LoadKeyDefs();

}  // namespace lumatap
