"""The user's files under Wine, when the program cannot read all of them: an empty or
damaged keylist.dat leaves every profile's key names as they were; a setting.dat with lines
the program cannot read is kept beside the new one; a lumatap.ini that an editor saved as
UTF-8 or UTF-16 is read and written back in its encoding; a damaged skin gives way to the
default one instead of ending the program; a negative key count is written back as it was.
And a run with good files writes exactly the bytes it always wrote."""

import sys
import time
import unittest
from contextlib import contextmanager
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image  # noqa: E402

from harness import (MAIN_CLASS, MAIN_TITLE, MSGBOX_CLASS, OPTIONS_CLASS, OPTIONS_TITLE,  # noqa: E402
                     LumatapTestCase, crop_rect, wait_until)
from test_display import CELL, POPUP_MENU_CLASS, cells_by_name, mismatches  # noqa: E402

WM_CLOSE = 0x0010
MISSING_SKIN = ["スキンが壊れているか存在しません。", "デフォルトのスキンを読み込みます。"]
START = (200, 150)
BUILT_IN = ("WASDスタンダード\t6\t3:2\tShift\tW\tSpace\tA\tS\tD\r\n"
            "矢印スタンダード\t6\t3:2\tShift\t↑\tSpace\t←\t↓\t→\r\n"
            "東方弾幕風\t8\t4:2\tShift\t↑\tZ\tX\t←\t↓\t→\tSpace\r\n"
            "OSU！用ZXキー\t2\t2:1\tZ\tX\r\n")
WASD_KEYS = ["Shift", "W", "Space", "A", "S", "D"]  # 3 columns by 2 rows
GRID_BACKGROUND = (64, 64, 64)


def settings_text(skin: str = "default", profile: str = "WASDスタンダード", at=START) -> str:
    return (f"[window]\r\nX={at[0]}\r\nY={at[1]}\r\nframe=0\r\n"
            f"[style]\r\nskin={skin}\r\n[key]\r\nprofile={profile}\r\n")


def size(rect) -> tuple[int, int]:
    return rect[2] - rect[0], rect[3] - rect[1]


class UserFilesTest(LumatapTestCase):
    @contextmanager
    def case(self, what: str):
        """One case of a table: a failing one ends its programs, so the next case does not
        meet a window or a message box left over (a second start would not even run)."""
        with self.subTest(what):
            try:
                yield
            finally:
                for app in self.h._apps:
                    app.kill()
                self.h._apps.clear()

    def folder_with(self, settings: bytes, profiles: bytes = None) -> Path:
        folder = self.h.new_app_folder()
        (folder / "lumatap.ini").write_bytes(settings)
        if profiles is not None:
            (folder / "setting.dat").write_bytes(profiles)
        return folder

    def window(self) -> dict:
        return self.h.wait_window(MAIN_CLASS, MAIN_TITLE, timeout=30)

    def wait_placed(self, condition, what: str) -> dict:
        def placed():
            w = self.window()
            return w if condition(w) else None
        return wait_until(placed, 10, what)

    def assert_no_message(self) -> None:
        box = self.h.msgbox(timeout=0.5)
        self.assertIsNone(box, f"a message box showed: {box}")

    def close_and_wait(self, app) -> None:
        self.h.post(self.window()["hwnd"], WM_CLOSE)
        self.assertEqual(app.wait_exit(timeout=30), 0)

    def run_untouched(self, folder: Path) -> None:
        """Starts the program, lets it come up without any message, and ends it."""
        app = self.h.launch(folder)
        self.wait_placed(lambda w: w["rect"][:2] == list(START), "the window at its saved place")
        self.assert_no_message()
        self.close_and_wait(app)

    def grid_image(self) -> Image.Image:
        return crop_rect(self.h.screenshot(), self.window()["client"])

    def expected_grid(self, folder: Path, skin: str, keys: list[str], cols: int) -> Image.Image:
        with Image.open(folder / "skin" / skin / "keys.gif") as gif:
            image = gif.convert("RGB")
        cells = cells_by_name(folder)
        rows = (len(keys) + cols - 1) // cols
        grid = Image.new("RGB", (cols * CELL, rows * CELL))
        for slot, name in enumerate(keys):
            x = cells[name] * CELL
            grid.paste(image.crop((x, 0, x + CELL, CELL)), ((slot % cols) * CELL, (slot // cols) * CELL))
        return grid

    def assert_grid_becomes(self, expected: Image.Image, what: str) -> None:
        try:
            wait_until(lambda: mismatches(self.grid_image(), expected) == 0, 10, what, interval=0.1)
        except TimeoutError:
            self.fail(f"{what}: {mismatches(self.grid_image(), expected)} pixels differ")

    # ------------------------------------------------------------------------------------

    def test_an_empty_or_damaged_key_list_leaves_every_profile_as_it_was(self):
        profiles = (BUILT_IN + "自作\t3\t3:1\tF1\t未設定\t\r\n").encode("cp932")
        for name, keylist in (("empty", b""), ("damaged", b"\x00\x01garbage\r\n300\t1\tW\r\n")):
            with self.case(f"{name} keylist.dat"):
                folder = self.folder_with(settings_text().encode("cp932"), profiles)
                good = (folder / "keylist.dat").read_bytes()
                (folder / "keylist.dat").write_bytes(keylist)
                self.run_untouched(folder)
                self.assertEqual((folder / "setting.dat").read_bytes(), profiles,
                                 "the key names became 未設定")
                self.assertFalse((folder / "setting.dat.bak").exists())

                # With the key list mended, the profile shows its keys again.
                (folder / "keylist.dat").write_bytes(good)
                app = self.h.launch(folder)
                self.assert_grid_becomes(self.expected_grid(folder, "default", WASD_KEYS, 3),
                                         "the WASD keys")
                self.close_and_wait(app)

    def test_a_profile_file_with_lines_that_cannot_be_read_is_kept_beside_the_new_one(self):
        good = "WASDスタンダード\t6\t3:2\tShift\tW\tSpace\tA\tS\tD\r\n".encode("cp932")
        # What the new file starts with; the file then ends there, except after a byte that
        # is no Shift_JIS, which Wine turns into a character of its own choosing.
        cases = (
            ("a damaged line among good ones", good + "メモ：ここは壊れた行\r\n".encode("cp932"), good, True),
            ("no line that can be read", "壊れた\r\n行\tだけ\r\n".encode("cp932"),
             BUILT_IN.encode("cp932"), True),
            ("a byte that is no Shift_JIS", good + b"t\t1\t1:1\t\x82\x20\r\n", good + b"t\t1\t1:1\t", False),
        )
        for what, old, new, whole in cases:
            with self.case(what):
                folder = self.folder_with(settings_text().encode("cp932"), old)
                (folder / "setting.dat.bak").write_bytes(b"an older copy")
                self.run_untouched(folder)
                self.assertEqual((folder / "setting.dat.bak").read_bytes(), old)
                written = (folder / "setting.dat").read_bytes()
                if whole:
                    self.assertEqual(written, new)
                else:
                    self.assertTrue(written.startswith(new) and written.endswith(b"\r\n"), written)
                self.assertEqual(sorted(p.name for p in folder.glob("*.tmp~")), [])

    def test_a_settings_file_saved_as_utf8_or_utf16_is_read_and_written_back_in_it(self):
        text = settings_text(skin="WASD黒ルコ", profile="東方弾幕風")
        moved_text = settings_text(skin="WASD黒ルコ", profile="東方弾幕風", at=(START[0] + 40, START[1] + 30))
        encodings = (
            ("UTF-8 with a BOM", lambda t: b"\xef\xbb\xbf" + t.encode("utf-8")),
            ("UTF-8 without a BOM", lambda t: t.encode("utf-8")),
            ("UTF-16 LE", lambda t: ("\ufeff" + t).encode("utf-16-le")),
            ("UTF-16 BE", lambda t: ("\ufeff" + t).encode("utf-16-be")),
        )
        for what, encode in encodings:
            with self.case(what):
                folder = self.folder_with(encode(text))
                app = self.h.launch(folder)
                win = self.wait_placed(lambda w: w["rect"][:2] == list(START), "the window at its saved place")
                self.assert_no_message()  # the skin was found
                self.assertEqual(size(win["client"]), (4 * CELL, 2 * CELL), "東方弾幕風 is 4 by 2")
                x, y = win["client"][0] + 70, win["client"][1] + 40
                self.h.driver("mouse", "drag", str(x), str(y), str(x + 40), str(y + 30), "left", check=True)
                self.wait_placed(lambda w: w["rect"][:2] == [START[0] + 40, START[1] + 30], "the moved window")
                self.close_and_wait(app)
                self.assertEqual((folder / "lumatap.ini").read_bytes(), encode(moved_text))
                self.assertFalse((folder / "lumatap.ini.bak").exists())

    def test_a_utf16_settings_file_that_cannot_be_read_whole_is_kept_beside_the_new_one(self):
        text = settings_text()
        old = ("\ufeff" + text + ";").encode("utf-16-le") + b"\x00\xd8" + "\r\n".encode("utf-16-le")
        folder = self.folder_with(old)
        app = self.h.launch(folder)
        win = self.wait_placed(lambda w: w["rect"][:2] == list(START), "the window at its saved place")
        x, y = win["client"][0] + 70, win["client"][1] + 40
        self.h.driver("mouse", "drag", str(x), str(y), str(x + 40), str(y + 30), "left", check=True)
        self.wait_placed(lambda w: w["rect"][:2] == [START[0] + 40, START[1] + 30], "the moved window")
        self.close_and_wait(app)
        self.assertEqual((folder / "lumatap.ini.bak").read_bytes(), old)
        moved = settings_text(at=(START[0] + 40, START[1] + 30))
        self.assertEqual((folder / "lumatap.ini").read_bytes(),
                         ("\ufeff" + moved + ";\ufffd\r\n").encode("utf-16-le"))

    def test_a_damaged_skin_gives_way_to_the_default_skin_and_keeps_its_name(self):
        folder = self.folder_with(settings_text(skin="壊れたスキン").encode("cp932"))
        (folder / "skin" / "壊れたスキン").mkdir()
        (folder / "skin" / "壊れたスキン" / "keys.gif").write_bytes(b"GIF89a and nothing after it")
        app = self.h.launch(folder)
        box = self.h.msgbox(timeout=30)
        self.assertIsNotNone(box)
        self.assertEqual(box["text"].splitlines(), MISSING_SKIN)
        self.h.press("OK")
        main = self.window()
        self.assert_grid_becomes(self.expected_grid(folder, "default", WASD_KEYS, 3), "the default skin")
        # The options dialog, where another skin can be chosen, opens from the grid's menu.
        left, top = main["client"][:2]
        self.h.driver("mouse", "click", str(left + 20), str(top + 20), "right", check=True)
        self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        for key in ("DOWN", "DOWN", "RETURN"):  # "オプション"
            self.h.driver("key", "tap", key, check=True)
        self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)
        self.h.close_window(OPTIONS_CLASS, OPTIONS_TITLE)
        self.h.wait_gone(OPTIONS_CLASS, OPTIONS_TITLE)
        wait_until(lambda: self.window()["enabled"], 10, "the display window enabled again")
        self.close_and_wait(app)
        text = (folder / "lumatap.ini").read_bytes().decode("cp932")
        self.assertIn("skin=壊れたスキン\r\n", text)

    def test_a_damaged_default_skin_still_ends_the_start_with_its_message(self):
        folder = self.folder_with(settings_text(skin="壊れたスキン").encode("cp932"))
        (folder / "skin" / "壊れたスキン").mkdir()
        (folder / "skin" / "壊れたスキン" / "keys.gif").write_bytes(b"GIF89a broken")
        (folder / "skin" / "default" / "keys.gif").write_bytes(b"GIF89a broken too")
        app = self.h.launch(folder)
        boxes = []
        deadline = time.monotonic() + 60
        while app.running() and time.monotonic() < deadline:
            box = self.h.msgbox(timeout=2)
            if box is None:
                continue
            boxes.append(box["text"].splitlines())
            self.h.press("OK")
            wait_until(lambda: all(w["hwnd"] != box["hwnd"] for w in self.h.find_windows(MSGBOX_CLASS)),
                       10, "the message box to close")
        app.wait_exit(timeout=20)
        self.assertEqual(len(boxes), 2, boxes)
        self.assertEqual(boxes[0], MISSING_SKIN)
        self.assertIn("Lumatapを終了します。", boxes[1])
        self.assertIn("default", boxes[1][1])
        self.assertEqual((folder / "lumatap.ini").read_bytes(), settings_text(skin="壊れたスキン").encode("cp932"))

    def test_a_negative_key_count_is_written_back_as_read_and_shows_no_key(self):
        profiles = ("負の数\t-1\t2:1\tZ\r\n" + BUILT_IN).encode("cp932")
        folder = self.folder_with(settings_text(profile="負の数").encode("cp932"), profiles)
        app = self.h.launch(folder)
        win = self.wait_placed(lambda w: w["rect"][:2] == list(START), "the window at its saved place")
        self.assertEqual(size(win["client"]), (2 * CELL, CELL))
        # The grid is drawn in one go, so once its background shows, so would any key.
        wait_until(lambda: (GRID_BACKGROUND in [c for _, c in self.grid_image().getcolors(1 << 16)]),
                   10, "the grid drawn")
        colours = self.grid_image().getcolors(1 << 16)
        self.assertEqual(colours, [(2 * CELL * CELL, GRID_BACKGROUND)], "only the grid's background")
        self.close_and_wait(app)
        self.assertEqual((folder / "setting.dat").read_bytes(),
                         ("負の数\t-1\t2:1\t\r\n" + BUILT_IN).encode("cp932"))

    def test_a_run_with_good_files_writes_exactly_the_bytes_it_always_wrote(self):
        settings = settings_text(skin="WASD黒ルコ", profile="矢印スタンダード").encode("cp932")
        folder = self.folder_with(settings, BUILT_IN.encode("cp932"))
        self.run_untouched(folder)
        self.assertEqual((folder / "lumatap.ini").read_bytes(), settings)
        self.assertEqual((folder / "setting.dat").read_bytes(), BUILT_IN.encode("cp932"))

        # Moved and with its frame off, the window's new place is all that changes.
        app = self.h.launch(folder)
        win = self.wait_placed(lambda w: w["rect"][:2] == list(START), "the window at its saved place")
        x, y = win["client"][0] + 70, win["client"][1] + 40
        self.h.driver("mouse", "drag", str(x), str(y), str(x + 40), str(y + 30), "left", check=True)
        self.wait_placed(lambda w: w["rect"][:2] == [START[0] + 40, START[1] + 30], "the moved window")
        self.h.driver("mouse", "dblclick", str(x + 40), str(y + 30), "left", check=True)
        self.wait_placed(lambda w: w["client"] == w["rect"], "the frameless window")
        self.close_and_wait(app)
        expected = settings_text(skin="WASD黒ルコ", profile="矢印スタンダード", at=(START[0] + 40, START[1] + 30))
        self.assertEqual((folder / "lumatap.ini").read_bytes(),
                         expected.replace("frame=0", "frame=1").encode("cp932"))
        self.assertEqual((folder / "setting.dat").read_bytes(), BUILT_IN.encode("cp932"))
        self.assertEqual(sorted(p.name for p in folder.iterdir() if p.suffix in (".bak", ".tmp~")), [])


if __name__ == "__main__":
    unittest.main()
