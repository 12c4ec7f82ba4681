"""The end of the program when its files cannot be written, under Wine: a full disk, a
read-only folder, a file another program holds open. Each file is left as it was or
replaced whole by the new one, never half written, and the user is told by name which
file kept its old content.

The disk and the folder are real: a small tmpfs mounted for the test (as root), filled up
or remounted read-only, with the program folder on it. Where mounting is refused those
tests are skipped and say why."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (MAIN_CLASS, MAIN_TITLE, MSGBOX_CLASS, LumatapTestCase,  # noqa: E402
                     to_windows_path, wait_until)

WM_CLOSE = 0x0010
UNSAVED = "ファイルを保存できませんでした。"
APP_TITLE = "Lumatap"

# What the folder holds before the run. Both differ from what the end writes, so the end
# has to replace them: the settings lack the profile, the profiles have LF line ends.
OLD_SETTINGS = ("[window]\r\nX=200\r\nY=150\r\nframe=1\r\n"
                "[style]\r\nskin=default\r\n").encode("cp932")
PROFILES = ("WASDスタンダード\t6\t3:2\tShift\tW\tSpace\tA\tS\tD\n"
            "OSU！用ZXキー\t2\t2:1\tZ\tX\n")
OLD_PROFILES = PROFILES.encode("cp932")
NEW_PROFILES = PROFILES.replace("\n", "\r\n").encode("cp932")
# Files the end would keep beside the new ones first: the settings saved as UTF-16 with a
# lone surrogate, the profiles with a line that cannot be read.
UNREAD_SETTINGS = (("\ufeff" + OLD_SETTINGS.decode("cp932")).encode("utf-16-le")
                   + b"\x00\xd8" + "\r\n".encode("utf-16-le"))
UNREAD_PROFILES = OLD_PROFILES + "壊れた行\n".encode("cp932")
NEW_SETTINGS = {("window", "x"): "200", ("window", "y"): "150", ("window", "frame"): "1",
                ("style", "skin"): "default", ("key", "profile"): "WASDスタンダード"}


def settings_values(data: bytes) -> dict:
    values, section = {}, ""
    for line in data.decode("cp932").splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].lower()
        elif "=" in line:
            key, value = line.split("=", 1)
            values[(section, key.strip().lower())] = value.strip()
    return values


class EndSequenceFaultTest(LumatapTestCase):
    def prepare(self, folder: Path, settings: bytes = OLD_SETTINGS, profiles: bytes = OLD_PROFILES) -> None:
        (folder / "lumatap.ini").write_bytes(settings)
        (folder / "setting.dat").write_bytes(profiles)

    def mount_tmpfs(self, size_kib: int) -> Path:
        """An empty tmpfs of that size, unmounted after the test (after its programs end).
        The folder around it stays writable, for the program's log."""
        around = Path(tempfile.mkdtemp(prefix="lumatap-fault-"))
        point = around / "app"
        point.mkdir()
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size_kib}k,mode=0755", "tmpfs",
                            str(point)], capture_output=True, text=True)
        if r.returncode != 0:
            shutil.rmtree(around)
            self.skipTest(f"cannot mount a tmpfs here (needs root): {r.stderr.strip()}")

        def unmount() -> None:
            for app in self.h._apps:  # nothing of ours may keep the mount busy
                app.kill()
            if subprocess.run(["umount", str(point)], capture_output=True).returncode != 0:
                subprocess.run(["umount", "-l", str(point)], capture_output=True)
            shutil.rmtree(around, ignore_errors=True)
        self.addCleanup(unmount)
        return point

    def folder_on(self, mount: Path, *files: bytes) -> Path:
        """The program folder is the mount itself."""
        shutil.copytree(self.h.dist, mount, dirs_exist_ok=True)
        self.prepare(mount, *files)
        return mount

    def end_and_collect_boxes(self, app) -> list[list[str]]:
        """Closes the display window and answers every message box the end shows; returns
        the lines of each box's text, in order."""
        self.h.post(self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["hwnd"], WM_CLOSE)
        boxes = []
        deadline = time.monotonic() + 60
        while True:
            box = self.h.msgbox(timeout=2, title=APP_TITLE)
            if box is None:
                if not app.running():
                    break
                self.assertLess(time.monotonic(), deadline, "the program neither ended nor asked")
                continue
            boxes.append(box["text"].splitlines())
            self.assertEqual(box["buttons"], ["OK"])
            self.assertEqual(box["icon"], "warning")
            self.h.press("OK")
            # The next box may follow at once under the same title; wait for this one.
            wait_until(lambda: all(w["hwnd"] != box["hwnd"] for w in self.h.find_windows(MSGBOX_CLASS)),
                       10, "the message box to close")
            self.assertLess(len(boxes), 3, boxes)
        self.assertEqual(app.wait_exit(timeout=20), 0)
        return boxes

    def unsaved(self, folder: Path, *names: str) -> list[list[str]]:
        return [[UNSAVED, to_windows_path(folder / n)] for n in names]

    def assert_boxes(self, boxes: list[list[str]], folder: Path, *names: str) -> None:
        # Wine gives the program folder in the case the test wrote it; compare without
        # case all the same, as Windows paths are.
        fold = lambda bs: [[line.lower() for line in b] for b in bs]  # noqa: E731
        self.assertEqual(fold(boxes), fold(self.unsaved(folder, *names)))

    def assert_old_files(self, folder: Path, settings: bytes = OLD_SETTINGS,
                         profiles: bytes = OLD_PROFILES) -> None:
        self.assertEqual((folder / "lumatap.ini").read_bytes(), settings)
        self.assertEqual((folder / "setting.dat").read_bytes(), profiles)
        self.assertEqual(sorted(p.name for p in folder.glob("*.tmp~")), [])
        self.assertEqual(sorted(p.name for p in folder.glob("*.bak")), [])

    # ------------------------------------------------------------------------------------

    def test_a_full_disk_keeps_both_old_files_and_names_each_one(self):
        dist_kib = sum(p.stat().st_size for p in self.h.dist.rglob("*") if p.is_file()) // 1024
        # Files with something the program cannot read are to be kept beside the new ones
        # first; on a full disk neither the copy nor the new file may be left half written.
        for what, files in (("files the program wrote", (OLD_SETTINGS, OLD_PROFILES)),
                            ("files it cannot read whole", (UNREAD_SETTINGS, UNREAD_PROFILES))):
            with self.subTest(what):
                mount = self.mount_tmpfs(dist_kib + 1024)
                folder = self.folder_on(mount, *files)
                filler = os.open(mount / "filler", os.O_WRONLY | os.O_CREAT, 0o644)
                try:
                    for chunk in (1 << 16, 1 << 12, 1):
                        try:
                            while True:
                                os.write(filler, b"\0" * chunk)
                        except OSError:
                            pass
                finally:
                    os.close(filler)
                with self.assertRaises(OSError, msg="the disk still takes a new file"):
                    (mount / "probe").write_bytes(b"x")

                app = self.h.launch(folder)
                boxes = self.end_and_collect_boxes(app)

                self.assert_boxes(boxes, folder, "lumatap.ini", "setting.dat")
                self.assert_old_files(folder, *files)

    def test_a_read_only_folder_keeps_both_old_files_and_names_each_one(self):
        mount = self.mount_tmpfs(8192)
        folder = self.folder_on(mount)
        r = subprocess.run(["mount", "-o", "remount,ro", str(mount)], capture_output=True, text=True)
        if r.returncode != 0:
            self.skipTest(f"cannot remount the tmpfs read-only: {r.stderr.strip()}")
        with self.assertRaises(OSError, msg="root can still write to the folder"):
            (folder / "probe").write_bytes(b"x")

        app = self.h.launch(folder)
        boxes = self.end_and_collect_boxes(app)

        self.assert_boxes(boxes, folder, "lumatap.ini", "setting.dat")
        self.assert_old_files(folder)

    def test_a_file_another_program_holds_open_keeps_its_content_and_the_other_is_saved(self):
        for held, other in (("lumatap.ini", "setting.dat"), ("setting.dat", "lumatap.ini")):
            with self.subTest(held=held):
                folder = self.h.new_app_folder()
                self.prepare(folder)
                app = self.h.launch(folder)
                self.wait_main_window()
                release = folder.parent / "release"
                holder = self.h.spawn_driver(
                    "script", f"hold {to_windows_path(folder / held)}",
                    f"wait-file {to_windows_path(release)} 120000")
                wait_until(lambda: '"cmd": "hold"' in holder.log() or not holder.running(), 30,
                           f"the driver to hold {held}")
                self.assertTrue(holder.running(), holder.log())

                boxes = self.end_and_collect_boxes(app)
                release.touch()
                holder.wait_exit(timeout=30)

                self.assert_boxes(boxes, folder, held)
                old = {"lumatap.ini": OLD_SETTINGS, "setting.dat": OLD_PROFILES}
                self.assertEqual((folder / held).read_bytes(), old[held])
                if other == "setting.dat":
                    self.assertEqual((folder / other).read_bytes(), NEW_PROFILES)
                else:
                    self.assertEqual(settings_values((folder / other).read_bytes()), NEW_SETTINGS)
                self.assertEqual(sorted(p.name for p in folder.glob("*.tmp~")), [])


if __name__ == "__main__":
    unittest.main()
