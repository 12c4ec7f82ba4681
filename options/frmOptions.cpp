#include "options/frmOptions.h"

#include "display/form1.h"

namespace lumatap {

frmOptions::frmOptions() : plat::Window("frmOptions", "LumatapOptions") {
  setCaption("オプション");
}

}  // namespace lumatap

namespace lumatap {
void Form1::showOptions() {}
}  // namespace lumatap
