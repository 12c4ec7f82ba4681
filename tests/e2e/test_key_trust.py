"""Keys you can trust for a whole session, under Wine, from outside: keys come from Raw
Input, a registration dropped behind the program's back is made again, the low-level hook
delivers when Raw Input stays silent, and no key stays lit that is not held."""

import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (MAIN_CLASS, MAIN_TITLE, OPTIONS_CLASS, OPTIONS_TITLE,  # noqa: E402
                     POPUP_MENU_CLASS, LumatapTestCase, crop_rect, wait_until)
from test_display import START, expected_grid_of, mismatches, write_settings  # noqa: E402

VK_A, VK_S = 0x41, 0x53
DROP_RAW_INPUT_FOR_TEST = 0x8000 + 0x3A
SPOIL_RAW_INPUT_FOR_TEST = 0x8000 + 0x3C
KEY_DOWN_MESSAGE = 0x8000 + 0x31
WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK = 0x02B1, 8
WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC = 0x0218, 0x12
EVENT_SYSTEM_DESKTOPSWITCH = 0x0020
EVENT_SYSTEM_FOREGROUND = 0x0003
TRACED = {"WINEDEBUG": "-all,warn+seh"}


class KeyTrustTest(LumatapTestCase):
    def setUp(self) -> None:
        super().setUp()
        self.addCleanup(lambda: self.h.driver("release"))

    def start(self, env=None):
        folder = self.h.new_app_folder()
        write_settings(folder, frame=1)
        app = self.h.launch(folder, env=env)
        self.h.wait_window(MAIN_CLASS, MAIN_TITLE)
        wait_until(lambda: self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["rect"][:2] == list(START), 10,
                   "the window at its saved place")
        return app, folder

    def grid(self):
        return crop_rect(self.h.screenshot(), self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["client"])

    def assert_grid_becomes(self, expected, what: str) -> None:
        try:
            wait_until(lambda: mismatches(self.grid(), expected) == 0, 10, what, interval=0.1)
        except TimeoutError:
            self.fail(f"{what}: {mismatches(self.grid(), expected)} pixels differ")

    def notes(self, app) -> list[str]:
        return [line for line in app.log().splitlines() if "keyhook.dll:" in line]

    def tap_lights(self, folder, released, *vks: int) -> None:
        """Each key lights while held and goes out when let go."""
        for vk in vks:
            self.h.script("focus", f"key down {vk}", check=True)
            self.assert_grid_becomes(expected_grid_of(folder, "default", pressed={chr(vk)}), f"{chr(vk)} lit")
            self.h.script("focus", f"key up {vk}", check=True)
            self.assert_grid_becomes(released, f"{chr(vk)} released")

    def drop_raw_input(self, spoil: bool = False) -> None:
        """Removes the Raw Input registration behind the program's back, as another part of
        the process could; spoiled, every registration after it delivers nothing while
        another program has the foreground."""
        messages = ([SPOIL_RAW_INPUT_FOR_TEST] if spoil else []) + [DROP_RAW_INPUT_FOR_TEST]
        for message in messages:
            self.h.driver("post-thread", MAIN_CLASS, "LumatapKeyThread", str(message), "0", "0", check=True)
        time.sleep(0.3)

    def test_keys_come_from_raw_input_and_a_dropped_registration_is_made_again(self):
        app, folder = self.start(env=TRACED)
        released = expected_grid_of(folder, "default")
        self.assert_grid_becomes(released, "the released grid")
        self.tap_lights(folder, released, VK_A)
        self.assertEqual(self.notes(app), [], "Raw Input delivered, no hook was installed")

        self.drop_raw_input()
        # The driver's window takes the foreground, with the event Windows raises for it:
        # the moment the program looks whether keys still reach it.
        self.h.script("focus", f"winevent {EVENT_SYSTEM_FOREGROUND}", "sleep 200", check=True)
        wait_until(lambda: any("registered again" in n for n in self.notes(app)), 10,
                   "the note that Raw Input was registered again")
        self.tap_lights(folder, released, VK_S, VK_A)
        self.assertFalse(any("low-level hook" in n for n in self.notes(app)),
                         f"the new registration delivers, no hook: {self.notes(app)}")

    def test_when_raw_input_stays_silent_the_low_level_hook_delivers(self):
        app, folder = self.start(env=TRACED)
        released = expected_grid_of(folder, "default")
        self.assert_grid_becomes(released, "the released grid")
        self.drop_raw_input(spoil=True)
        # The registration is missed and made again, but delivers nothing: A goes by
        # unseen, until the next look finds it held.
        self.h.script("focus", f"winevent {EVENT_SYSTEM_FOREGROUND}", "sleep 200", f"key down {VK_A}",
                      "sleep 300", check=True)
        self.assert_grid_becomes(released, "A unseen: Raw Input delivers nothing")
        self.h.script("focus", "sleep 300", f"key down {VK_A}", "sleep 100",
                      f"winevent {EVENT_SYSTEM_FOREGROUND}", "sleep 200", check=True)
        self.assert_grid_becomes(expected_grid_of(folder, "default", pressed={"A"}),
                                 "A, found held, drawn pressed")
        wait_until(lambda: any("the low-level hook delivers them" in n for n in self.notes(app)), 10,
                   "the note that the hook delivers")
        self.h.script("focus", f"key up {VK_A}", check=True)
        self.assert_grid_becomes(released, "A released through the hook")
        self.tap_lights(folder, released, VK_S, VK_A)

    # ---- No stuck keys -------------------------------------------------------------------

    def light_without_holding(self, vk: int) -> None:
        """The key drawn pressed while nobody holds it, as after a key-up that went to the
        secure desktop: its key-down message alone reaches the window."""
        self.h.driver("post", MAIN_CLASS, str(KEY_DOWN_MESSAGE), str(vk), "0", check=True)

    def test_moments_that_may_lose_a_key_up_redraw_from_the_real_key_state(self):
        _, folder = self.start()
        released = expected_grid_of(folder, "default")
        lit_a = expected_grid_of(folder, "default", pressed={"A"})
        self.assert_grid_becomes(released, "the released grid")
        moments = {
            "session unlocked": lambda: self.h.driver("send", MAIN_CLASS, str(WM_WTSSESSION_CHANGE),
                                                      str(WTS_SESSION_UNLOCK), "0", check=True),
            "desktop switched back": lambda: self.h.script("winevent " + str(EVENT_SYSTEM_DESKTOPSWITCH),
                                                           "sleep 200", check=True),
            "resumed from sleep": lambda: self.h.driver("send", MAIN_CLASS, str(WM_POWERBROADCAST),
                                                        str(PBT_APMRESUMEAUTOMATIC), "0", check=True),
            "another key went down": lambda: self.h.script("focus", f"key tap {VK_S}", check=True),
            # Wine 8 raises no foreground event of its own when a window takes the
            # foreground; the driver raises it as Windows does.
            "the foreground changed": lambda: self.h.script("focus", f"winevent {EVENT_SYSTEM_FOREGROUND}",
                                                            "sleep 200", check=True),
        }
        for what, moment in moments.items():
            with self.subTest(moment=what):
                self.light_without_holding(VK_A)
                self.assert_grid_becomes(lit_a, "A drawn pressed")
                moment()
                self.assert_grid_becomes(released, f"A released once the {what}")
        # A key really held across such a moment stays lit.
        self.h.script("focus", "sleep 300", f"key down {VK_A}", "sleep 100",
                      "winevent " + str(EVENT_SYSTEM_DESKTOPSWITCH), "sleep 300", check=True)
        self.assert_grid_becomes(lit_a, "A still held")

    def open_options(self) -> dict:
        left, top = self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["client"][:2]
        self.h.driver("mouse", "click", str(left + 20), str(top + 20), "right", check=True)
        self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        for key in ("DOWN", "DOWN", "RETURN"):
            self.h.driver("key", "tap", key, check=True)
        return self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)

    def test_a_key_released_while_the_options_dialog_is_open_is_drawn_released_after_it(self):
        _, folder = self.start()
        # Wine reloads the key state from X whenever a window takes the focus, so a key
        # held by SendInput across the dialog's focus reads as up there; the key held
        # across a moment is checked where no focus moves (the desktop switch above).
        self.h.script("focus", "sleep 300", f"key down {VK_A}", check=True)
        self.assert_grid_becomes(expected_grid_of(folder, "default", pressed={"A"}), "A lit")
        self.open_options()
        self.h.driver("key", "up", str(VK_A), check=True)  # inside the dialog
        self.h.driver("key", "tap", "ESCAPE", check=True)  # Cancel
        self.h.wait_gone(OPTIONS_CLASS, OPTIONS_TITLE)
        self.assert_grid_becomes(expected_grid_of(folder, "default"), "A released inside the dialog")

    # ---- Topmost ---------------------------------------------------------------------

    def test_another_topmost_window_does_not_stay_above_the_grid(self):
        self.start()
        main = self.h.wait_window(MAIN_CLASS, MAIN_TITLE)
        x, y = main["rect"][:2]
        # An always-on-top window laid over the grid takes the foreground.
        r = self.h.script(f"focus-topmost {x - 20} {y - 20} 300 200", "sleep 500",
                          f"winevent {EVENT_SYSTEM_FOREGROUND}",
                          "sleep 500", f"above {MAIN_CLASS}",
                          check=True).of("above")[0]
        self.assertTrue(r["above"], "the grid came back above the other always-on-top window")
        self.assertTrue(r["focus_foreground"], "and the other window kept the focus")

    def test_plain_typing_never_looks_like_silent_raw_input(self):
        app, folder = self.start(env=TRACED)
        # Keys held across foreground changes as well, where the program compares.
        self.h.script("focus", *[f"key tap {vk}" for vk in (VK_A, VK_S) * 10],
                      f"key down {VK_A}", f"winevent {EVENT_SYSTEM_FOREGROUND}", f"key up {VK_A}",
                      f"key down {VK_S}", f"key down {VK_A}", f"winevent {EVENT_SYSTEM_FOREGROUND}",
                      f"key up {VK_A}", f"key up {VK_S}", "sleep 300", check=True)
        self.assert_grid_becomes(expected_grid_of(folder, "default"), "every key released")
        self.assertEqual(self.notes(app), [])


if __name__ == "__main__":
    unittest.main()
