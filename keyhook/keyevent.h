#pragma once
// How one low-level keyboard event becomes the key message a focused window would have
// received. Free of <windows.h> so that the native tests can check it.

#include <bitset>
#include <cstdint>

#include "keyhook/keyhook_messages.h"

namespace keyhook {

// Values as the system defines them.
constexpr unsigned kWmKeyDown = 0x0100;
constexpr unsigned kWmKeyUp = 0x0101;
constexpr unsigned kWmSysKeyDown = 0x0104;
constexpr unsigned kWmSysKeyUp = 0x0105;
constexpr std::uint32_t kLlkhfExtended = 0x01;
constexpr std::uint32_t kLlkhfAltDown = 0x20;

// A low-level hook sees which of the two Shift, Ctrl and Alt keys moved; a focused window
// is told only "Shift", "Ctrl" or "Alt", and that is what the key table is indexed by.
constexpr unsigned focusedKeyCode(unsigned vk) {
  switch (vk) {
    case 0xA0: case 0xA1: return 0x10;  // VK_LSHIFT, VK_RSHIFT -> VK_SHIFT
    case 0xA2: case 0xA3: return 0x11;  // VK_LCONTROL, VK_RCONTROL -> VK_CONTROL
    case 0xA4: case 0xA5: return 0x12;  // VK_LMENU, VK_RMENU -> VK_MENU
    default: return vk & 0xFF;
  }
}

// Bits 25 to 27 of a key message's lParam are reserved by the system; the hook's own
// messages carry the Shift (1), Ctrl (2) and Alt (4) state there, in the order of a key
// event's shift argument, so the window need not ask the system for it on every key.
constexpr int kModifierShift = 25;
constexpr int modifiersOf(std::uint32_t lParam) { return static_cast<int>((lParam >> kModifierShift) & 7u); }

struct KeyMessage {
  unsigned message = 0;  // kMsgKeyDown or kMsgKeyUp
  unsigned keyCode = 0;
  std::uint32_t lParam = 0;
};

// Turns hook events into key messages. It remembers which keys are down, because a
// focused window's key-down tells whether the key was already down (auto-repeat).
class KeyTranslator {
public:
  // False for anything that is not a key going down or up.
  bool translate(unsigned message, unsigned vkCode, unsigned scanCode, std::uint32_t flags,
                 KeyMessage& out) {
    bool down;
    if (message == kWmKeyDown || message == kWmSysKeyDown) {
      down = true;
    } else if (message == kWmKeyUp || message == kWmSysKeyUp) {
      down = false;
    } else {
      return false;
    }
    const unsigned keyCode = focusedKeyCode(vkCode);
    const unsigned slot = vkCode & 0xFF;
    const bool wasDown = down_.test(slot);
    down_.set(slot, down);

    std::uint32_t lp = 1;                               // repeat count
    lp |= (scanCode & 0xFFu) << 16;                     // scan code
    if (flags & kLlkhfExtended) lp |= 1u << 24;         // extended key
    // Context code: Alt is held, or Alt itself is going down.
    if ((flags & kLlkhfAltDown) || (down && keyCode == 0x12)) lp |= 1u << 29;
    if (!down || wasDown) lp |= 1u << 30;               // previous key state
    if (!down) lp |= 1u << 31;                          // transition state
    lp |= static_cast<std::uint32_t>(modifiers()) << kModifierShift;
    out.message = down ? kMsgKeyDown : kMsgKeyUp;
    out.keyCode = keyCode;
    out.lParam = lp;
    return true;
  }

  // Shift 1, Ctrl 2, Alt 4, as far as the keys this translator saw tell.
  int modifiers() const {
    auto any = [this](unsigned a, unsigned b, unsigned c) { return down_[a] || down_[b] || down_[c]; };
    return (any(0x10, 0xA0, 0xA1) ? 1 : 0) | (any(0x11, 0xA2, 0xA3) ? 2 : 0) |
           (any(0x12, 0xA4, 0xA5) ? 4 : 0);
  }

  // Forgets every key: keys that moved while nobody listened are unknown.
  void reset() { down_.reset(); }

private:
  std::bitset<256> down_;
};

}  // namespace keyhook

namespace keyhook {

// Two channels watch the keyboard: the low-level hook, which sees each key first, and Raw
// Input, which sees it again a moment later. The hook's events are delivered; Raw Input
// only matters when the hook missed a key, which means the system removed the hook (it
// does so silently when a hook is slow to answer, and nothing else tells the program).
// Then the key is delivered from Raw Input and the hook must be put back. Raw Input
// falling silent shows as hook events that Raw Input never confirms.
class ChannelGuard {
public:
  struct Verdict {
    bool deliver = false;     // the window has not had this event yet
    bool hookLost = false;    // the hook missed it: install the hook again
  };

  // An event the hook saw; it is delivered at once.
  void hookEvent(unsigned keyCode, bool down) {
    if (count_ == kCapacity) drop(1);
    pending_[(first_ + count_) % kCapacity] = Event{keyCode, down};
    ++count_;
  }

  // An event Raw Input saw, with the focused window's key code.
  Verdict rawEvent(unsigned keyCode, bool down) {
    for (unsigned i = 0; i < count_; ++i) {
      const Event& e = pending_[(first_ + i) % kCapacity];
      if (e.keyCode == keyCode && e.down == down) {
        drop(i + 1);  // older ones Raw Input never saw: a key it was not given
        return Verdict{false, false};
      }
    }
    return Verdict{true, true};
  }

  // True when so many hook events went unconfirmed that Raw Input has stopped listening.
  bool rawLost() const { return count_ >= kRawSilence; }
  void forget() { first_ = count_ = 0; }

private:
  struct Event {
    unsigned keyCode = 0;
    bool down = false;
  };
  static constexpr unsigned kCapacity = 32;
  static constexpr unsigned kRawSilence = 16;
  void drop(unsigned n) {
    first_ = (first_ + n) % kCapacity;
    count_ -= n;
  }
  Event pending_[kCapacity];
  unsigned first_ = 0;
  unsigned count_ = 0;
};

}  // namespace keyhook
