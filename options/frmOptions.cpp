#include "options/frmOptions.h"

namespace lumatap {

frmOptions::frmOptions() : plat::Window("frmOptions", "LumatapOptions") {
  setCaption("オプション");
}

}  // namespace lumatap
