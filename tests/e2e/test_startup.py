"""Starting and ending lumatap.exe under Wine: the window, the single instance, WM_CLOSE."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (FIRST_RUN_TITLE, MAIN_CLASS, MAIN_TITLE, LumatapTestCase,  # noqa: E402
                     wait_until)

WM_CLOSE = 0x0010


class StartupTest(LumatapTestCase):
    def start_and_answer(self):
        app = self.start_app()
        box = self.answer_first_run(yes=False)
        return app, box, self.wait_main_window()

    def test_first_start_asks_then_shows_a_topmost_window(self):
        _, box, win = self.start_and_answer()

        self.assertEqual(box["title"], FIRST_RUN_TITLE)
        self.assertEqual(box["buttons"], ["はい", "いいえ"])
        self.assertEqual(win["class"], MAIN_CLASS)
        self.assertEqual(win["title"], MAIN_TITLE)
        self.assertTrue(win["visible"])
        self.assertTrue(win["topmost"], f"exstyle {win['exstyle']} lacks WS_EX_TOPMOST")
        left, top, right, bottom = win["rect"]
        self.assertGreater(right - left, 0)
        self.assertGreater(bottom - top, 0)

    def test_second_start_leaves_the_first_alone(self):
        first_app, _, before = self.start_and_answer()
        known_pids = {p["pid"] for p in self.h.processes()}

        second = self.h.launch(first_app.folder)
        # Every window the second process shows while it runs; it should show none.
        stray = {}

        def second_gone():
            for w in self.h.list_windows(visible_only=True):
                if w["pid"] not in known_pids:
                    stray[w["hwnd"]] = w
            return not second.running()

        try:
            wait_until(second_gone, 20, "the second lumatap.exe to exit", interval=0.1)
            exited = True
        except TimeoutError:
            exited = False

        self.assertEqual(stray, {}, "the second instance showed windows")
        self.assertTrue(exited, "the second lumatap.exe still runs after 20 s")
        self.assertTrue(first_app.running(), "the first instance ended")
        mains = [w for w in self.h.find_windows(MAIN_CLASS) if w["visible"]]
        self.assertEqual(len(mains), 1, mains)
        self.assertEqual(mains[0]["hwnd"], before["hwnd"])
        self.assertEqual(mains[0]["rect"], before["rect"])

    def test_wm_close_ends_the_process(self):
        app, _, win = self.start_and_answer()

        self.h.post(win["hwnd"], WM_CLOSE)

        self.assertEqual(app.wait_exit(timeout=20), 0)
        self.assertIsNone(self.h.find_window(MAIN_CLASS))


if __name__ == "__main__":
    unittest.main()
