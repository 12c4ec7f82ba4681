// What keyhook.dll tells the display window for each key Raw Input or the low-level hook
// reports: the code and lParam a focused window would have received; and when the hook
// has to stand in for Raw Input.
#include <gtest/gtest.h>

#include "keyhook/keyevent.h"

namespace keyhook {
namespace {

constexpr std::uint32_t kInjected = 0x10;  // LLKHF_INJECTED: keys sent by another program count too

TEST(KeyHookEvents, LeftAndRightModifiersArriveAsTheKeyAFocusedWindowSees) {
  struct Case {
    unsigned hook, window;
  } cases[] = {
      {0xA0, 0x10}, {0xA1, 0x10},  // Shift
      {0xA2, 0x11}, {0xA3, 0x11},  // Ctrl
      {0xA4, 0x12}, {0xA5, 0x12},  // Alt
      {0x10, 0x10}, {0x41, 0x41}, {0x20, 0x20}, {0x5B, 0x5B}, {0x26, 0x26}, {0xFF, 0xFF},
  };
  for (const Case& c : cases) {
    KeyTranslator t;
    KeyMessage m;
    ASSERT_TRUE(t.translate(kWmKeyDown, c.hook, 0, 0, m));
    EXPECT_EQ(m.keyCode, c.window) << std::hex << c.hook;
  }
}

TEST(KeyHookEvents, EveryKindOfKeyTransitionIsDeliveredAndNothingElse) {
  struct Case {
    unsigned message;
    bool delivered;
    unsigned expected;
  } cases[] = {
      {kWmKeyDown, true, kMsgKeyDown},
      {kWmSysKeyDown, true, kMsgKeyDown},  // keys while Alt is held
      {kWmKeyUp, true, kMsgKeyUp},
      {kWmSysKeyUp, true, kMsgKeyUp},
      {0x0102, false, 0},  // WM_CHAR never comes from this hook, and is no transition
      {0x0000, false, 0},
  };
  for (const Case& c : cases) {
    KeyTranslator t;
    KeyMessage m;
    EXPECT_EQ(t.translate(c.message, 0x41, 0x1E, 0, m), c.delivered) << std::hex << c.message;
    if (c.delivered) {
      EXPECT_EQ(m.message, c.expected) << std::hex << c.message;
    }
  }
}

TEST(KeyHookEvents, LParamIsLaidOutLikeAFocusedWindowsKeyMessage) {
  KeyTranslator t;
  KeyMessage m;
  // A pressed, auto-repeated, released; then the extended Up arrow; then Alt with a key.
  struct Step {
    unsigned message, vk, scan;
    std::uint32_t flags, lParam;
  } steps[] = {
      {kWmKeyDown, 0x41, 0x1E, 0, 0x001E0001},              // first press: previous state 0
      {kWmKeyDown, 0x41, 0x1E, kInjected, 0x401E0001},      // auto-repeat: previous state 1
      {kWmKeyUp, 0x41, 0x1E, 0, 0xC01E0001},                // release: previous 1, transition 1
      {kWmKeyDown, 0x26, 0x48, 0x01, 0x01480001},           // extended key
      {kWmKeyUp, 0x26, 0x48, 0x01 | 0x80, 0xC1480001},
      {kWmSysKeyDown, 0xA4, 0x38, 0x20, 0x28380001},        // Alt down: context code 1, Alt held
      {kWmSysKeyDown, 0xA5, 0x38, 0x01, 0x29380001},        // right Alt even without the flag
      {kWmSysKeyDown, 0x58, 0x2D, 0x20, 0x282D0001},        // X with Alt held
      {kWmSysKeyUp, 0x58, 0x2D, 0x20 | 0x80, 0xE82D0001},
      {kWmKeyUp, 0xA4, 0x38, 0x80, 0xC8380001},             // left Alt up, right Alt still held
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(t.translate(s.message, s.vk, s.scan, s.flags, m));
    EXPECT_EQ(m.lParam, s.lParam) << std::hex << "vk " << s.vk << " message " << s.message;
  }
}

TEST(KeyHookEvents, EachKeyCarriesTheShiftCtrlAndAltState) {
  KeyTranslator t;
  KeyMessage m;
  const struct { unsigned message, vk; int modifiers; } steps[] = {
      {kWmKeyDown, 0x41, 0},      // A alone
      {kWmKeyDown, 0xA1, 1},      // right Shift
      {kWmKeyDown, 0x41, 1},      // A with Shift
      {kWmKeyDown, 0xA2, 3},      // left Ctrl as well
      {kWmSysKeyDown, 0xA4, 7},   // and Alt
      {kWmKeyUp, 0xA1, 6},        // Shift let go
      {kWmKeyDown, 0xA0, 7},      // the other Shift
      {kWmKeyUp, 0xA0, 6},
      {kWmKeyUp, 0xA2, 4},
      {kWmSysKeyUp, 0xA4, 0},
      {kWmKeyUp, 0x41, 0},
  };
  for (const auto& s : steps) {
    ASSERT_TRUE(t.translate(s.message, s.vk, 0, 0, m));
    EXPECT_EQ(modifiersOf(m.lParam), s.modifiers) << std::hex << "vk " << s.vk;
  }
}

TEST(KeyHookEvents, EachPhysicalKeyKeepsItsOwnRepeatState) {
  KeyTranslator t;
  KeyMessage m;
  t.translate(kWmKeyDown, 0xA0, 0x2A, 0, m);  // left Shift held
  // The right Shift is another key: its first press is a first press.
  t.translate(kWmKeyDown, 0xA1, 0x36, 0, m);
  EXPECT_EQ(m.lParam & (1u << 30), 0u);
  t.translate(kWmKeyDown, 0xA0, 0x2A, 0, m);
  EXPECT_NE(m.lParam & (1u << 30), 0u);
}

TEST(KeyHookEvents, ResetForgetsKeysHeldWhileNobodyListened) {
  KeyTranslator t;
  KeyMessage m;
  t.translate(kWmKeyDown, 0x41, 0x1E, 0, m);
  t.reset();
  t.translate(kWmKeyDown, 0x41, 0x1E, 0, m);
  EXPECT_EQ(m.lParam & (1u << 30), 0u);
}

TEST(KeyHookEvents, RawInputEventsArriveAsTheMessagesAFocusedWindowGets) {
  KeyTranslator t;
  constexpr unsigned kBreak = kRiKeyBreak, kE0 = kRiKeyE0, kE1 = kRiKeyE1;
  // In order, on one translator: repeat and modifier state carry from row to row.
  // lParam 0 marks an event that is no key and delivers nothing.
  const struct {
    unsigned vkey, make, flags, keyCode;
    std::uint32_t lParam;
  } steps[] = {
      {0x41, 0x1E, 0, 0x41, 0x001E0001},            // A pressed
      {0x41, 0x1E, 0, 0x41, 0x401E0001},            // auto-repeat: previous state 1
      {0x41, 0x1E, kBreak, 0x41, 0xC01E0001},       // released
      {0x10, 0x2A, 0, 0x10, 0x022A0001},            // left Shift (Raw Input says only "Shift")
      {0x10, 0x36, 0, 0x10, 0x02360001},            // right Shift is another key: a first press
      {0x10, 0x2A, kBreak, 0x10, 0xC22A0001},       // left up, right still held: Shift stays
      {0x10, 0x36, kBreak, 0x10, 0xC0360001},
      {0x11, 0x1D, kE0, 0x11, 0x051D0001},          // right Ctrl: extended, Ctrl held
      {0x11, 0x1D, kE0 | kBreak, 0x11, 0xC11D0001},
      {0x26, 0x48, kE0, 0x26, 0x01480001},          // Up arrow, extended
      {0x26, 0x48, kE0 | kBreak, 0x26, 0xC1480001},
      {0xFF, 0x2A, 0, 0, 0},                        // a fake key of an escape sequence
      {0x10, 0x2A, kE0, 0, 0},                      // the fake Shift around an extended key
      {0x11, 0x1D, kE1, 0, 0},                      // an E1 prefix that is not Pause
      {0x13, 0x1D, kE1, 0x13, 0x00450001},          // Pause as Windows reports it (E1 1D)
      {0x13, 0x1D, kE1 | kBreak, 0x13, 0xC0450001},
      {0x13, 0x45, 0, 0x13, 0x00450001},            // Pause as Wine reports it
      {0x90, 0x45, 0, 0x90, 0x01450001},            // Num Lock: extended to a window, no E0
      {0x12, 0x38, 0, 0x12, 0x28380001},            // left Alt: context code, Alt held
      {0x58, 0x2D, 0, 0x58, 0x282D0001},            // X with Alt held
      {0x58, 0x2D, kBreak, 0x58, 0xE82D0001},
      {0x12, 0x38, kBreak, 0x12, 0xC0380001},       // Alt let go: no Alt left
      {0x41, 0x00, 0, 0x41, 0x00000001},            // sent with SendInput as a key code alone
      {0x00, 0x3042, 0, 0, 0},                      // text sent as a character, no key
  };
  for (const auto& s : steps) {
    KeyMessage m;
    const bool delivered = t.translateRaw(s.vkey, s.make, s.flags, m);
    EXPECT_EQ(delivered, s.lParam != 0) << std::hex << "vkey " << s.vkey << " make " << s.make;
    if (!delivered || !s.lParam) continue;
    EXPECT_EQ(m.message, (s.flags & kBreak) ? kMsgKeyUp : kMsgKeyDown) << std::hex << "vkey " << s.vkey;
    EXPECT_EQ(m.keyCode, s.keyCode) << std::hex << "vkey " << s.vkey;
    EXPECT_EQ(m.lParam, s.lParam) << std::hex << "vkey " << s.vkey << " make " << s.make;
  }
}

// ---- Which channel delivers -------------------------------------------------------------

KeySet keys(std::initializer_list<unsigned> vks) {
  KeySet k;
  for (unsigned vk : vks) k.set(vk);
  return k;
}

TEST(ChannelGuard, RawInputDeliversUntilHeldKeysGoUnseenThenRegistersAgainThenHooks) {
  using Step = ChannelGuard::Step;
  enum Kind { Raw, Hook, Look, Refused };
  constexpr unsigned A = 0x41, D = 0x44, S = 0x53, W = 0x57, LShift = 0xA0;
  const struct {
    Kind kind;
    unsigned key;           // Raw, Hook
    bool down;              // Raw, Hook
    KeySet held;            // Look: what the system shows held
    bool registered;        // Look
    bool deliver;           // Raw
    Step step;               // Raw, Look, Refused
    KeySet missed;          // Look
    const char* what;
  } rows[] = {
      {Look, 0, false, keys({W}), true, false, Step::None, {}, "W was held before anyone listened"},
      {Raw, LShift, true, {}, true, true, Step::None, {}, "Raw Input delivers"},
      {Look, 0, false, keys({W, LShift, 0x10, 0x01}), true, false, Step::None, {},
       "every held key reported (the plain Shift and the mouse button are not compared)"},
      {Raw, LShift, false, {}, true, true, Step::None, {}, ""},
      {Look, 0, false, {}, false, false, Step::RegisterAgain, {}, "the registration is gone"},
      {Raw, A, true, {}, true, true, Step::None, {}, "the new registration delivers"},
      {Raw, A, false, {}, true, true, Step::None, {}, ""},
      {Look, 0, false, keys({0x68}), true, false, Step::None, {},
       "while Raw Input delivers, a key it named otherwise (keypad 8) proves nothing"},
      {Look, 0, false, keys({0x68}), true, false, Step::None, {}, "nor later, with Raw Input quiet"},
      {Look, 0, false, keys({S}), true, false, Step::RegisterAgain, keys({S}),
       "S held, never reported: a withheld key, to be drawn pressed"},
      {Look, 0, false, keys({S}), true, false, Step::None, {}, "the same S proves nothing new"},
      {Look, 0, false, keys({S, D}), true, false, Step::InstallHook, keys({D}),
       "still silent after registering again"},
      {Hook, A, true, {}, true, false, Step::None, {}, "the hook delivers"},
      {Hook, W, true, {}, true, false, Step::None, {}, "a key Raw Input will never be given"},
      {Hook, A, false, {}, true, false, Step::None, {}, ""},
      {Look, 0, false, keys({W, D, S}), false, false, Step::RegisterAgain, {}, "hooked, the registration gone"},
      {Look, 0, false, keys({W, D, S, 0x51}), true, false, Step::InstallHook, keys({0x51}),
       "hooked, and the hook missed Q too: the system removed it"},
      {Raw, A, true, {}, true, false, Step::RemoveHook, {}, "Raw Input is back; its copy of A is skipped"},
      {Raw, A, false, {}, true, false, Step::None, {}, "matched past the W it never saw"},
      {Raw, W, true, {}, true, true, Step::None, {}, "later news from Raw Input is delivered"},
      {Refused, 0, false, {}, true, false, Step::InstallHook, {}, "the system refuses to register"},
      {Refused, 0, false, {}, true, false, Step::None, {}, "the hook is in already"},
  };
  ChannelGuard g;
  g.start(keys({W}));
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    switch (r.kind) {
      case Raw: {
        const ChannelGuard::Verdict v = g.rawEvent(r.key, r.down);
        EXPECT_EQ(v.deliver, r.deliver);
        EXPECT_EQ(v.step, r.step);
        break;
      }
      case Hook:
        g.hookEvent(r.key, r.down);
        break;
      case Look: {
        const ChannelGuard::Look l = g.look(r.held, r.registered);
        EXPECT_EQ(l.step, r.step);
        EXPECT_EQ(l.missed, r.missed);
        break;
      }
      case Refused:
        EXPECT_EQ(g.registrationFailed(), r.step);
        break;
    }
  }
}

TEST(ChannelGuard, FarMoreHookEventsThanItKeepsOverflowNothing) {
  ChannelGuard g;
  g.start({});
  g.registrationFailed();
  for (int i = 0; i < 100; ++i) g.hookEvent(0x20 + i % 8, true);
  EXPECT_FALSE(g.rawEvent(0x20 + 99 % 8, true).deliver);
}

}  // namespace
}  // namespace keyhook
