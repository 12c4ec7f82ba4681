#pragma once
// How one keyboard event, as Raw Input or a low-level hook reports it, becomes the key
// message a focused window would have received; and which of the two channels delivers.
// Free of <windows.h> so that the native tests can check it.

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
constexpr unsigned kRiKeyBreak = 0x01;  // RAWKEYBOARD.Flags
constexpr unsigned kRiKeyE0 = 0x02;
constexpr unsigned kRiKeyE1 = 0x04;

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

// Which Shift, Ctrl or Alt a plain VK_SHIFT, VK_CONTROL or VK_MENU was: the scan code of
// the right Shift, or the E0 prefix of the right Ctrl and Alt. Raw Input names only the
// plain key; a key display must still tell the two apart, or holding both and letting
// one go would look like letting go of both.
constexpr unsigned sidedKeyCode(unsigned vk, unsigned scanCode, bool extended) {
  switch (vk) {
    case 0x10: return scanCode == 0x36 ? 0xA1 : 0xA0;
    case 0x11: return extended ? 0xA3 : 0xA2;
    case 0x12: return extended ? 0xA5 : 0xA4;
    default: return vk & 0xFF;
  }
}

// The key a Raw Input event is about, named as a low-level hook names it; 0 for the
// events that are no key of their own: the fake 0xFF keys of some escape sequences, the
// E1 prefix of anything but Pause, the fake Shift (E0 2A, E0 36) that a keyboard sends
// around an extended key, and text sent as characters (no key code at all).
constexpr unsigned rawKeyCode(unsigned vkey, unsigned makeCode, unsigned flags) {
  if (vkey == 0 || vkey >= 0xFF) return 0;
  if (flags & kRiKeyE1) return vkey == 0x13 ? vkey : 0;
  if (vkey == 0x10 && (flags & kRiKeyE0)) return 0;
  return sidedKeyCode(vkey, makeCode, (flags & kRiKeyE0) != 0);
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

// Turns hook and Raw Input events into key messages. It remembers which keys are down, because a
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

  // One Raw Input event (RAWKEYBOARD's VKey, MakeCode and Flags), told as the hook event a
  // focused window's message comes from. False for the events that are no key.
  bool translateRaw(unsigned vkey, unsigned makeCode, unsigned flags, KeyMessage& out) {
    const unsigned vk = rawKeyCode(vkey, makeCode, flags);
    if (!vk) return false;
    unsigned scan = makeCode;
    std::uint32_t hookFlags = (flags & kRiKeyE0) ? kLlkhfExtended : 0;
    if (vk == 0x13) {
      scan = 0x45;  // Pause: Raw Input gives the 1D of its E1 prefix, a window the 45
    } else if (vk == 0x90) {
      hookFlags |= kLlkhfExtended;  // Num Lock has no E0 prefix, yet a window is told it is extended
    }
    // The hook's "Alt is down": another Alt than this key is held.
    if (down_[0x12] || (down_[0xA4] && vk != 0xA4) || (down_[0xA5] && vk != 0xA5)) hookFlags |= kLlkhfAltDown;
    const bool down = !(flags & kRiKeyBreak);
    return translate(down ? kWmKeyDown : kWmKeyUp, vk, scan, hookFlags, out);
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

// Two channels can watch the keyboard. Raw Input (RIDEV_INPUTSINK) is posted to the
// watching thread and costs the program that has the keys nothing; a low-level hook holds
// every key of every program until it has answered. So Raw Input delivers, and the hook
// stands by for when Raw Input stops: the registration gone (the process replaced or
// removed it), or a foreground program the system lets keep the keys to itself.
//
// Nothing announces that, and nothing may be polled, so it is judged at moments that come
// anyway, such as the foreground changing: a key the system shows held that no channel
// ever reported, with Raw Input silent since the last such moment, means the keys go by
// unseen. The first time, Raw Input is registered
// again; if it still delivers nothing, the hook delivers until Raw Input reports a key
// again. While the hook delivers, Raw Input's late copies of its keys are skipped.
using KeySet = std::bitset<256>;

class ChannelGuard {
public:
  enum class Step { None, RegisterAgain, InstallHook, RemoveHook };
  struct Verdict {
    bool deliver = false;  // the window has not had this event yet
    Step step = Step::None;
  };
  struct Look {
    Step step = Step::None;
    KeySet missed;  // held keys no channel reported: the window is to have them pressed
  };

  // Listening begins; keys held now went down before anyone listened and prove nothing.
  void start(const KeySet& held) {
    *this = ChannelGuard();
    unexplained_ = held & watched();
  }

  // A key Raw Input reported (the key as a hook names it: left or right Shift, ...).
  Verdict rawEvent(unsigned key, bool down) {
    Verdict v;
    if (hooked_) {
      hooked_ = false;
      v.step = Step::RemoveHook;
    }
    tries_ = 0;
    rawSinceLook_ = true;
    v.deliver = !skipCopyOfHookEvent(focusedKeyCode(key), down);
    if (v.deliver) reported_.set(key & 0xFF, down);
    return v;
  }

  // A key the hook reported; it is delivered at once.
  void hookEvent(unsigned key, bool down) {
    if (count_ == kCapacity) drop(1);
    pending_[(first_ + count_) % kCapacity] = Event{focusedKeyCode(key), down};
    ++count_;
    reported_.set(key & 0xFF, down);
  }

  // A moment to compare: the keys the system shows held now, and whether the Raw Input
  // registration is still in place.
  Look look(const KeySet& heldNow, bool registered) {
    Look l;
    const KeySet held = heldNow & watched();
    const KeySet unreported = held & ~reported_;
    l.missed = unreported & ~unexplained_;
    // While Raw Input delivers, a key it did not name is one it names otherwise (a
    // keypad key, say); only silence makes an unseen key a missed one.
    if (rawSinceLook_) l.missed.reset();
    rawSinceLook_ = false;
    unexplained_ = unreported & ~l.missed;
    reported_ = (reported_ & held) | l.missed;
    if (registered && l.missed.none()) return l;
    if (hooked_) {
      // The hook missed keys too: the system removed it. Or only the registration went.
      l.step = l.missed.any() ? Step::InstallHook : Step::RegisterAgain;
    } else if (tries_ == 0) {
      tries_ = 1;
      l.step = Step::RegisterAgain;
    } else {
      hooked_ = true;
      l.step = Step::InstallHook;
    }
    return l;
  }

  // The system refused the registration: nothing will come that way.
  Step registrationFailed() {
    if (hooked_) return Step::None;
    hooked_ = true;
    return Step::InstallHook;
  }

  bool hooked() const { return hooked_; }

private:
  struct Event {
    unsigned keyCode = 0;
    bool down = false;
  };
  static constexpr unsigned kCapacity = 32;

  // Keys that GetAsyncKeyState and a channel both name: not the mouse buttons, not the
  // plain Shift, Ctrl and Alt (the sided ones stand for them), not the fake keys.
  static KeySet watched() {
    KeySet k;
    k.set();
    for (unsigned vk : {0x00u, 0x01u, 0x02u, 0x04u, 0x05u, 0x06u, 0x10u, 0x11u, 0x12u, 0xE7u, 0xFFu}) k.reset(vk);
    return k;
  }

  // True when the hook already delivered this event. Raw Input sees a key a moment after
  // the hook; hook events it never matched are ones it was not given.
  bool skipCopyOfHookEvent(unsigned keyCode, bool down) {
    for (unsigned i = 0; i < count_; ++i) {
      const Event& e = pending_[(first_ + i) % kCapacity];
      if (e.keyCode == keyCode && e.down == down) {
        drop(i + 1);
        return true;
      }
    }
    return false;
  }
  void drop(unsigned n) {
    first_ = (first_ + n) % kCapacity;
    count_ -= n;
  }

  Event pending_[kCapacity];
  unsigned first_ = 0;
  unsigned count_ = 0;
  KeySet reported_;     // down as the channels last reported
  KeySet unexplained_;  // held, unreported, and already looked at
  bool hooked_ = false;
  bool rawSinceLook_ = false;
  unsigned tries_ = 0;  // registrations since Raw Input last delivered
};

}  // namespace keyhook
