// What keyhook.dll tells the display window for each key the low-level hook sees: the
// code and lParam a focused window would have received.
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

// ---- The two channels ----------------------------------------------------------------

TEST(ChannelGuard, KeysTheHookDeliveredAreNotDeliveredAgainByRawInput) {
  ChannelGuard g;
  g.hookEvent(0x41, true);
  g.hookEvent(0x41, true);  // auto-repeat
  g.hookEvent(0x41, false);
  for (bool down : {true, true, false}) {
    const ChannelGuard::Verdict v = g.rawEvent(0x41, down);
    EXPECT_FALSE(v.deliver);
    EXPECT_FALSE(v.hookLost);
  }
  EXPECT_FALSE(g.rawLost());
}

TEST(ChannelGuard, AKeyOnlyRawInputSawMeansTheHookIsGone) {
  ChannelGuard g;
  g.hookEvent(0x10, true);
  EXPECT_FALSE(g.rawEvent(0x10, true).deliver);
  // The system removed the hook: the key-up comes from Raw Input alone.
  const ChannelGuard::Verdict v = g.rawEvent(0x10, false);
  EXPECT_TRUE(v.deliver);
  EXPECT_TRUE(v.hookLost);
}

TEST(ChannelGuard, RawInputLateByAFewEventsStillMatchesAndSkipsWhatItNeverSaw) {
  ChannelGuard g;
  g.hookEvent(0x41, true);
  g.hookEvent(0x53, true);  // a key another program kept from Raw Input
  g.hookEvent(0x41, false);
  EXPECT_FALSE(g.rawEvent(0x41, true).deliver);
  EXPECT_FALSE(g.rawEvent(0x41, false).deliver) << "matched past the event it never saw";
  // The skipped one is gone: a later S down from Raw Input alone is news.
  EXPECT_TRUE(g.rawEvent(0x53, true).deliver);
}

TEST(ChannelGuard, ManyUnconfirmedHookEventsMeanRawInputStoppedListening) {
  ChannelGuard g;
  for (int i = 0; i < 15; ++i) g.hookEvent(0x41, i % 2 == 0);
  EXPECT_FALSE(g.rawLost());
  g.hookEvent(0x41, false);
  EXPECT_TRUE(g.rawLost());
  g.forget();
  EXPECT_FALSE(g.rawLost());
  // Far more than it keeps: the oldest go, nothing overflows.
  for (int i = 0; i < 100; ++i) g.hookEvent(0x20 + i % 8, true);
  EXPECT_FALSE(g.rawEvent(0x20 + 99 % 8, true).deliver);
}

}  // namespace
}  // namespace keyhook
