// Drawing keys (filled in by the rendering work).
#include "display/form1.h"

namespace lumatap {
void DrawAllKeys() {}
void Form1::Form_KeyDown(int, int) {}
void Form1::Form_KeyUp(int, int) {}
}  // namespace lumatap
