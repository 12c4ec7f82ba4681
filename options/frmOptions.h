#pragma once
// The options dialog (built out by the options work).

#include "platform/ui.h"

namespace lumatap {

class frmOptions : public plat::Window {
public:
  frmOptions();
};

}  // namespace lumatap
