// Grid layout and reflow (filled in by the layout work).
#include "display/form1.h"

namespace lumatap {
void LayoutGrid(int16, int16) {}
void Form1::Form_Resize() {}
}  // namespace lumatap
