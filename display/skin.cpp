// Skin loading (filled in by the skin work).
#include "display/form1.h"

namespace lumatap {
void LoadSkin() {}
}  // namespace lumatap
