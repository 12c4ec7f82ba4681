"""What the user's files go through when the program is closed at an awkward moment, or is
given files made by hand, under Wine: a close or log-off while a start-up message is open
writes nothing; a close while the end reports an unsaved file loses no report; a skin name
cannot reach outside the folder "skin"; a huge line in cols.dat does not freeze the
options dialog."""

import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (FIRST_RUN_TITLE, MAIN_CLASS, MAIN_TITLE, MSGBOX_CLASS,  # noqa: E402
                     OPTIONS_CLASS, OPTIONS_TITLE, LumatapTestCase, wait_until)
from test_display import POPUP_MENU_CLASS  # noqa: E402
import test_faults  # noqa: E402
from test_faults import UNSAVED  # noqa: E402

WM_CLOSE = 0x0010
WM_QUERYENDSESSION = 0x0011
WM_ENDSESSION = 0x0016
MISSING_SKIN = "スキンが壊れているか存在しません。"
SETTINGS = "[window]\r\nX=40\r\nY=40\r\nframe=0\r\n[style]\r\nskin=default\r\n[key]\r\nprofile=東方弾幕風\r\n"
PROFILES = "東方弾幕風\t8\t4:2\tShift\t↑\tZ\tX\t←\t↓\t→\tSpace\r\n"


class CloseDuringStartUpTest(LumatapTestCase):
    def hidden_main_window(self) -> str:
        win = wait_until(lambda: self.h.find_window(MAIN_CLASS), 20, "the hidden display window")
        self.assertFalse(win["visible"], "the window shows only at the end of the load")
        return win["hwnd"]

    def end_session(self, hwnd: str) -> None:
        self.h.post(hwnd, WM_QUERYENDSESSION, 0, 0)
        self.h.post(hwnd, WM_ENDSESSION, 1, 0)

    def test_a_log_off_or_close_during_the_first_run_question_writes_no_file(self):
        for how in ("log-off", "close"):
            with self.subTest(how=how):
                folder = self.h.new_app_folder()
                app = self.h.launch(folder)
                self.assertIsNotNone(self.h.msgbox(timeout=30, title=FIRST_RUN_TITLE))
                hwnd = self.hidden_main_window()
                if how == "log-off":
                    self.end_session(hwnd)
                else:
                    self.h.post(hwnd, WM_CLOSE)
                self.assertEqual(app.wait_exit(timeout=30), 0)
                self.assertFalse((folder / "lumatap.ini").exists(),
                                 "a first run that never finished its load wrote settings")
                self.assertFalse((folder / "setting.dat").exists())

    def test_a_log_off_during_the_missing_skin_message_keeps_the_users_files(self):
        folder = self.h.new_app_folder()
        settings = SETTINGS.replace("skin=default", "skin=消えたスキン").encode("cp932")
        (folder / "lumatap.ini").write_bytes(settings)
        (folder / "setting.dat").write_bytes(PROFILES.encode("cp932"))
        app = self.h.launch(folder)
        box = self.h.msgbox(timeout=30)
        self.assertIsNotNone(box)
        self.assertEqual(box["text"].splitlines()[0], MISSING_SKIN)
        self.end_session(self.hidden_main_window())
        self.assertEqual(app.wait_exit(timeout=30), 0)
        self.assertEqual((folder / "lumatap.ini").read_bytes(), settings)
        self.assertEqual((folder / "setting.dat").read_bytes(), PROFILES.encode("cp932"))


class SkinNameTest(LumatapTestCase):
    def test_a_skin_name_that_climbs_out_of_the_skin_folder_is_a_missing_skin(self):
        for name in ("..\\..\\outside", "../../outside", "default\\..\\..\\..\\outside"):
            with self.subTest(name=name):
                folder = self.h.new_app_folder()
                # A perfectly good skin, where no skin name may lead.
                outside = folder.parent / "outside"
                outside.mkdir(exist_ok=True)
                shutil.copy(folder / "skin" / "WASD黒ルコ" / "keys.gif", outside / "keys.gif")
                (folder / "lumatap.ini").write_bytes(
                    SETTINGS.replace("skin=default", "skin=" + name).encode("cp932"))
                app = self.h.launch(folder)
                box = wait_until(lambda: self.h.msgbox(timeout=1) or
                                 (self.h.find_window(MAIN_CLASS) or {}).get("visible") and {"window": 1},
                                 30, "the missing-skin message or the window")
                self.assertIn("text", box, f"{name} loaded a picture from outside skin")
                self.assertEqual(box["text"].splitlines(), [MISSING_SKIN, "デフォルトのスキンを読み込みます。"])
                self.h.press("OK")
                self.wait_main_window()
                self.h.post(self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["hwnd"], WM_CLOSE)
                self.assertEqual(app.wait_exit(timeout=30), 0)


class HugeColsDatTest(LumatapTestCase):
    def test_the_options_dialog_opens_at_once_with_100000_choices_on_a_line(self):
        folder = self.h.new_app_folder()
        (folder / "lumatap.ini").write_bytes(SETTINGS.encode("cp932"))
        # On the line of the current profile's key count (eight), so opening fills it.
        line = "/".join(f"{i % 8 + 1}:{8 // (i % 8 + 1) + 1}" for i in range(100000))
        (folder / "cols.dat").write_bytes(("1:1\r\n" * 7 + line + "\r\n9:1\r\n").encode("cp932"))
        self.h.launch(folder)
        main = self.wait_main_window()
        left, top = main["client"][:2]
        self.h.driver("mouse", "click", str(left + 20), str(top + 20), "right", check=True)
        self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        for key in ("DOWN", "DOWN", "RETURN"):
            self.h.driver("key", "tap", key, check=True)
        # Filling a drop-down list with 100,000 entries took about ten seconds here, with
        # the display window frozen too; a capped list opens like any other.
        started = time.monotonic()
        self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE, timeout=4)
        self.assertLess(time.monotonic() - started, 4)
        self.assertEqual((folder / "cols.dat").read_bytes()[35:55], line.encode("cp932")[:20])


class CloseWhileReportingTest(LumatapTestCase):
    # The read-only folder of the fault tests, without running those tests again here.
    mount_tmpfs = test_faults.EndSequenceFaultTest.mount_tmpfs
    folder_on = test_faults.EndSequenceFaultTest.folder_on
    prepare = test_faults.EndSequenceFaultTest.prepare
    unsaved = test_faults.EndSequenceFaultTest.unsaved
    assert_boxes = test_faults.EndSequenceFaultTest.assert_boxes
    assert_old_files = test_faults.EndSequenceFaultTest.assert_old_files

    def test_a_close_while_the_first_unsaved_file_is_reported_loses_no_report(self):
        mount = self.mount_tmpfs(8192)
        folder = self.folder_on(mount)
        r = subprocess.run(["mount", "-o", "remount,ro", str(mount)], capture_output=True, text=True)
        if r.returncode != 0:
            self.skipTest(f"cannot remount the tmpfs read-only: {r.stderr.strip()}")
        app = self.h.launch(folder)
        hwnd = self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["hwnd"]
        self.h.post(hwnd, WM_CLOSE)
        boxes = []
        deadline = time.monotonic() + 60
        while app.running() and time.monotonic() < deadline:
            box = self.h.msgbox(timeout=2, title="Lumatap")
            if box is None:
                continue
            boxes.append(box["text"].splitlines())
            if len(boxes) == 1:
                # The user closes the window again, and the session ends, while the first
                # report is open.
                self.h.post(hwnd, WM_CLOSE)
                self.h.post(hwnd, WM_QUERYENDSESSION, 0, 0)
                self.h.post(hwnd, WM_ENDSESSION, 1, 0)
                time.sleep(1)
                self.assertTrue(any(w["hwnd"] == box["hwnd"] for w in self.h.find_windows(MSGBOX_CLASS)),
                                "the report vanished before the user read it")
            self.h.press("OK")
            wait_until(lambda: all(w["hwnd"] != box["hwnd"] for w in self.h.find_windows(MSGBOX_CLASS)),
                       10, "the message box to close")
            self.assertLess(len(boxes), 3, boxes)
        self.assertEqual(app.wait_exit(timeout=20), 0)
        self.assertEqual([b[0] for b in boxes], [UNSAVED, UNSAVED])
        self.assert_boxes(boxes, folder, "lumatap.ini", "setting.dat")
        self.assert_old_files(folder)


if __name__ == "__main__":
    unittest.main()
