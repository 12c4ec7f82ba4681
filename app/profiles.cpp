// Profile table and setting.dat (filled in by the profile work).
#include "display/form1.h"

namespace lumatap {
void LoadProfiles() {}
void SaveProfiles() {}
}  // namespace lumatap
