// What keyhook.dll makes of a raw mouse event's buttons: the key events of the buttons the
// system means, in an order that leaves each button as the event left it.
#include <gtest/gtest.h>

#include <string>

#include "keyhook/mouse_event.h"

namespace keyhook {
namespace {

// "1+" for VK_LBUTTON down, "6-" for VK_XBUTTON2 up, in delivery order.
std::string spelled(const ButtonTransitions& t) {
  std::string s;
  for (const ButtonTransition& b : t) s += std::to_string(b.keyCode) + (b.down ? "+ " : "- ");
  return s;
}

TEST(MouseEvents, RawButtonFlagsBecomeTheLogicalButtonsKeyEvents) {
  struct Case {
    const char* what;
    std::uint16_t flags;
    bool swapped;
    const char* events;
  } cases[] = {
      {"left down", 0x0001, false, "1+ "},
      {"left up", 0x0002, false, "1- "},
      {"right down", 0x0004, false, "2+ "},
      {"right up", 0x0008, false, "2- "},
      {"middle down", 0x0010, false, "4+ "},
      {"middle up", 0x0020, false, "4- "},
      {"back down", 0x0040, false, "5+ "},
      {"back up", 0x0080, false, "5- "},
      {"forward down", 0x0100, false, "6+ "},
      {"forward up", 0x0200, false, "6- "},
      {"movement alone", 0x0000, false, ""},
      {"the wheel turning", 0x0400, false, ""},
      {"the wheel tilting", 0x0800, false, ""},
      {"a wheel turn with a press", 0x0410, false, "4+ "},
      {"two buttons at once", 0x0005, false, "1+ 2+ "},
      {"one down while another goes up", 0x0042, false, "1- 5+ "},
      {"a whole click in one event", 0x0003, false, "1+ 1- "},
      {"every flag", 0x03FF, false, "1+ 1- 2+ 2- 4+ 4- 5+ 5- 6+ 6- "},
      // Swapped for the left hand: the physical left button is the right one.
      {"swapped: physical left down", 0x0001, true, "2+ "},
      {"swapped: physical left up", 0x0002, true, "2- "},
      {"swapped: physical right down", 0x0004, true, "1+ "},
      {"swapped: physical right up", 0x0008, true, "1- "},
      {"swapped: middle and sides stay", 0x0150, true, "4+ 5+ 6+ "},
      {"swapped: both at once", 0x0009, true, "2+ 1- "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(spelled(buttonTransitions(c.flags, c.swapped)), c.events) << c.what;
  }
}

}  // namespace
}  // namespace keyhook
