"""Traces of the real lumatap.exe under Wine. A call to the system that fails, and that the
program goes on without, leaves a note for a debugger (OutputDebugString, which this Wine
prints as a warning of its seh channel); the user sees nothing, no file is written, and no
note ever tells which key was pressed."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import LumatapTestCase, wait_until  # noqa: E402

VK_A = 0x41
TRACED = {"WINEDEBUG": "-all,warn+seh"}


class TraceTest(LumatapTestCase):
    def start_traced(self, folder: Path):
        app = self.h.launch(folder, env=TRACED)
        self.answer_first_run(yes=False)
        self.wait_main_window()
        return app

    @staticmethod
    def notes(app) -> list[str]:
        return [line for line in app.log().splitlines() if ":OutputDebugString" in line]

    def test_a_missing_hook_library_is_noted_and_the_window_shows_all_the_same(self):
        folder = self.h.new_app_folder()
        (folder / "keyhook.dll").unlink()
        before = [p.name for p in folder.iterdir()]

        app = self.h.launch(folder, env=TRACED)
        self.answer_first_run(yes=False)
        # The user is told as well; the window comes up once the message is read.
        box = self.h.msgbox(timeout=30)
        self.assertIsNotNone(box)
        self.assertIn("キーを表示できません", box["text"])
        self.h.press("OK")
        self.wait_main_window()

        wait_until(lambda: any("LoadLibraryExW " in n and "keyhook.dll failed" in n for n in self.notes(app)),
                   10, "the note that keyhook.dll did not load")
        self.assertTrue(app.running())
        # The profile table the program writes when it has none; nothing else.
        after = sorted(p.name for p in folder.iterdir())
        self.assertEqual(after, sorted(before + ["setting.dat"]),
                         "a trace is no file in the program folder")

    def test_a_run_with_keys_pressed_notes_nothing(self):
        app = self.start_traced(self.h.new_app_folder())

        self.h.script("focus", f"key down {VK_A}", f"key up {VK_A}")
        self.h.script("focus", f"key down {VK_A}", f"key up {VK_A}")

        self.assertTrue(app.running())
        self.assertEqual(self.notes(app), [])


if __name__ == "__main__":
    unittest.main()
