#pragma once
// How the buttons of one raw mouse event become key events of the buttons' virtual-key
// codes. Free of <windows.h> so that the native tests can check it.

#include <cstdint>

namespace keyhook {

// RAWMOUSE.usButtonFlags as the system defines them: a down and an up bit for each of the
// five buttons, numbered as the device has them (button 1 is the physical left button).
constexpr std::uint16_t kRawButtonDown[5] = {0x0001, 0x0004, 0x0010, 0x0040, 0x0100};
constexpr std::uint16_t kRawButtonUp[5] = {0x0002, 0x0008, 0x0020, 0x0080, 0x0200};
constexpr std::uint16_t kRawAnyButton = 0x03FF;

// VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1 (back), VK_XBUTTON2 (forward).
constexpr unsigned kVkLButton = 0x01;
constexpr unsigned kVkRButton = 0x02;
constexpr unsigned kVkMButton = 0x04;
constexpr unsigned kVkXButton1 = 0x05;
constexpr unsigned kVkXButton2 = 0x06;

struct ButtonTransition {
  unsigned keyCode = 0;
  bool down = false;
};

// At most a down and an up of each of the five buttons.
struct ButtonTransitions {
  ButtonTransition items[10];
  unsigned count = 0;
  const ButtonTransition* begin() const { return items; }
  const ButtonTransition* end() const { return items + count; }
};

// Raw Input tells which button of the device moved; the key state and every window's
// clicks tell the button the system means. With the buttons swapped for the left hand
// (SM_SWAPBUTTON) the physical left button is VK_RBUTTON and the right one VK_LBUTTON, and
// that is what the grid shows, as the key state would have it. Buttons go in the device's
// order; a button that went down and up within one event (a click sent in one call) goes
// down first. Mouse movement alone has no button bits and gives nothing.
constexpr ButtonTransitions buttonTransitions(std::uint16_t buttonFlags, bool swapped) {
  ButtonTransitions out;
  if (!(buttonFlags & kRawAnyButton)) return out;
  const unsigned codes[5] = {swapped ? kVkRButton : kVkLButton, swapped ? kVkLButton : kVkRButton, kVkMButton,
                             kVkXButton1, kVkXButton2};
  for (int b = 0; b < 5; ++b) {
    if (buttonFlags & kRawButtonDown[b]) out.items[out.count++] = ButtonTransition{codes[b], true};
    if (buttonFlags & kRawButtonUp[b]) out.items[out.count++] = ButtonTransition{codes[b], false};
  }
  return out;
}

}  // namespace keyhook
