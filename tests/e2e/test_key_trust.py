"""Keys you can trust for a whole session, under Wine, from outside: the hook removed
behind the program's back comes back at the next key, and no key stays lit that is not
held."""

import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import MAIN_CLASS, MAIN_TITLE, LumatapTestCase, crop_rect, wait_until  # noqa: E402
from test_display import START, expected_grid_of, mismatches, write_settings  # noqa: E402

VK_A, VK_S = 0x41, 0x53
DROP_HOOK_FOR_TEST = 0x8000 + 0x3A
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

    def test_the_hook_removed_behind_the_programs_back_comes_back_at_the_next_key(self):
        app, folder = self.start(env=TRACED)
        released = expected_grid_of(folder, "default")
        self.assert_grid_becomes(released, "the released grid")
        self.h.script("focus", f"key down {VK_A}", check=True)
        self.assert_grid_becomes(expected_grid_of(folder, "default", pressed={"A"}), "A lit")

        # As the system does to a hook that answers too slowly.
        self.h.driver("post-thread", MAIN_CLASS, "LumatapKeyThread", str(DROP_HOOK_FOR_TEST), "0", "0",
                      check=True)
        time.sleep(0.3)
        self.h.script("focus", f"key up {VK_A}", check=True)
        self.assert_grid_becomes(released, "A released, though the hook was gone")
        wait_until(lambda: "installed again" in app.log(), 10, "the note that the hook came back")

        # And the hook is there again: keys light and clear as before, each drawn once.
        before = app.log().count("installed again")
        for _ in range(3):
            self.h.script("focus", f"key down {VK_S}", check=True)
            self.assert_grid_becomes(expected_grid_of(folder, "default", pressed={"S"}), "S lit")
            self.h.script("focus", f"key up {VK_S}", check=True)
            self.assert_grid_becomes(released, "S released")
        self.assertEqual(app.log().count("installed again"), before,
                         "with the hook back, Raw Input only confirms")

    def test_plain_typing_never_looks_like_a_lost_hook(self):
        app, folder = self.start(env=TRACED)
        self.h.script("focus", *[f"key tap {vk}" for vk in (VK_A, VK_S) * 10], "sleep 300", check=True)
        self.assert_grid_becomes(expected_grid_of(folder, "default"), "every key released")
        self.assertNotIn("installed again", app.log())


if __name__ == "__main__":
    unittest.main()
