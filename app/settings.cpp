// Settings file lumatap.ini (filled in by the settings work).
#include "display/form1.h"

namespace lumatap {
void ReadSettings() {}
void WriteSettings() {}
}  // namespace lumatap
