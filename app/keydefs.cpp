// Key definition table from keylist.dat (filled in by the key table work).
#include "display/form1.h"

namespace lumatap {
void LoadKeyDefs() {
  for (KeyDef& k : KeyDefs) k = KeyDef{0, "未設定", false};
}
}  // namespace lumatap
