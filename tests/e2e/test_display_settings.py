"""The [display] section of lumatap.ini under Wine: a chosen background colour in the
grid's empty cells, a see-through background over another window with dragging, the
pop-up menu and the frame switch still working on the key pictures, and the section kept
as the user wrote it through every end."""

import os
import sys
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import MAIN_CLASS, MAIN_TITLE, LumatapTestCase, crop_rect, wait_until  # noqa: E402
from test_display import cells_by_name, size  # noqa: E402

from PIL import Image  # noqa: E402

CELL = 48
START = (200, 150)
POPUP_MENU_CLASS = "#32768"
# Four keys on a 3 × 2 grid: the last two cells of the second row stay empty.
PROFILE = "空きのある表"
KEYS = ["W", "A", "S", "D"]
GRID = (3 * CELL, 2 * CELL)
EMPTY = [(1, 1), (2, 1)]


def settings_bytes(display: str, frame: int = 1) -> bytes:
    return (f"[window]\r\nX={START[0]}\r\nY={START[1]}\r\nframe={frame}\r\n"
            f"[style]\r\nskin=default\r\n[key]\r\nprofile={PROFILE}\r\n" + display).encode("cp932")


def expected_key_cells(folder: Path) -> dict[tuple[int, int], Image.Image]:
    with Image.open(folder / "skin" / "default" / "keys.gif") as gif:
        image = gif.convert("RGB")
    cells = cells_by_name(folder)
    return {(slot % 3, slot // 3): image.crop((cells[k] * CELL, 0, cells[k] * CELL + CELL, CELL))
            for slot, k in enumerate(KEYS)}


def cell_of(grid: Image.Image, col: int, row: int) -> Image.Image:
    return grid.crop((col * CELL, row * CELL, col * CELL + CELL, row * CELL + CELL))


def keep_screenshot(shot: Image.Image, name: str) -> None:
    """Into LUMATAP_SCREENSHOTS when it names a folder, for a person to look at."""
    if folder := os.environ.get("LUMATAP_SCREENSHOTS"):
        shot.save(str(Path(folder) / name))


def colours(img: Image.Image) -> set:
    return set(img.getdata())


class DisplaySettingsTest(LumatapTestCase):
    def start(self, display: str, frame: int = 1):
        folder = self.h.new_app_folder()
        (folder / "setting.dat").write_bytes(f"{PROFILE}\t4\t3:2\t{chr(9).join(KEYS)}\r\n".encode("cp932"))
        (folder / "lumatap.ini").write_bytes(settings_bytes(display, frame))
        app = self.h.launch(folder)
        return app, folder, self.placed(lambda w: w["rect"][:2] == list(START), "the window at its place")

    def placed(self, condition, what: str) -> dict:
        def check():
            w = self.window()
            return w if condition(w) else None
        return wait_until(check, 20, what)

    def window(self) -> dict:
        return self.h.wait_window(MAIN_CLASS, MAIN_TITLE, timeout=10)

    def grid(self, path: str | None = None) -> Image.Image:
        shot = self.h.screenshot()
        if path:
            shot.save(path)
        return crop_rect(shot, self.window()["client"])

    def test_the_chosen_background_fills_the_empty_cells(self):
        app, folder, win = self.start("[display]\r\nbackColor=00FF00\r\n")
        self.assertEqual(size(win["client"]), GRID)
        want = expected_key_cells(folder)

        def drawn() -> bool:
            g = self.grid()
            return all(colours(cell_of(g, *c)) == {(0, 255, 0)} for c in EMPTY) and all(
                list(cell_of(g, *c).getdata()) == list(img.getdata()) for c, img in want.items())
        wait_until(drawn, 10, "green empty cells beside the skin's key cells")
        keep_screenshot(self.h.screenshot(), "background-green.png")
        self.h.close_window(MAIN_CLASS, MAIN_TITLE)
        app.wait_exit(timeout=30)

    def test_a_see_through_background_shows_the_window_behind_and_the_keys_still_work(self):
        # Another program's window where the grid will stand, for as long as the checks take.
        result = []
        behind = threading.Thread(target=lambda: result.append(self.h.script(
            f"focus {START[0] - 60} {START[1] - 40} 400 300 behind", "sleep 20000", timeout=40, check=False)))
        behind.start()
        self.addCleanup(behind.join)
        wait_until(lambda: self.h.find_window("LumatapDriverFocus", "behind"), 10, "the window behind")
        app, folder, win = self.start("[display]\r\nbackColor=FF00FF\r\nseeThrough=1\r\n", frame=0)
        want = expected_key_cells(folder)
        time.sleep(1.0)
        client = self.window()["client"]
        outside = (client[0] - 20, client[1] + 20)  # the window behind, beside the grid

        def see_through():
            shot = self.h.screenshot()
            back = shot.getpixel(outside)
            g = crop_rect(shot, self.window()["client"])
            ok = back != (255, 0, 255) and all(colours(cell_of(g, *c)) == {back} for c in EMPTY) and all(
                list(cell_of(g, *c).getdata()) == list(img.getdata()) for c, img in want.items())
            return (shot, back) if ok else None
        try:
            shot, back = wait_until(see_through, 10, "the window behind in the empty cells")
        finally:
            keep_screenshot(self.h.screenshot(), "see-through.png")
        print(f"\nbehind the empty cells: {back}")

        # On a key picture: the pop-up menu, the frame switch and dragging.
        key = (client[0] + CELL // 2, client[1] + CELL // 2)  # W
        self.h.driver("mouse", "click", *map(str, key), "right", check=True)
        menu = self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        self.h.driver("key", "tap", "27", check=False)  # Esc closes it
        self.h.wait_gone(POPUP_MENU_CLASS, timeout=10)
        self.assertTrue(menu)
        self.assertNotEqual(size(self.window()["rect"]), GRID, "started with a frame")
        self.h.driver("mouse", "dblclick", *map(str, key), "left", check=True)
        framed = self.placed(lambda w: size(w["rect"]) == GRID, "the frame gone after a double-click")
        self.assertEqual(framed["client"], framed["rect"])
        c = framed["client"]
        key = (c[0] + CELL // 2, c[1] + CELL // 2)
        self.h.driver("mouse", "drag", *map(str, key), str(key[0] + 50), str(key[1] + 30), "left", check=True)
        wait_until(lambda: self.window()["rect"][:2] == [framed["rect"][0] + 50, framed["rect"][1] + 30],
                   10, "the window dragged by a key picture")
        self.h.close_window(MAIN_CLASS, MAIN_TITLE)
        app.wait_exit(timeout=30)

    def test_the_users_display_section_survives_every_end_unchanged(self):
        display = "[display]\r\nminLitMs=50\r\nbackColor=#00ff00\r\nseeThrough=0\r\n"
        folder = None
        for run in range(2):
            with self.subTest(run=run):
                if folder is None:
                    app, folder, _ = self.start(display)
                else:
                    app = self.h.launch(folder)
                    self.window()
                    time.sleep(1.0)
                self.h.close_window(MAIN_CLASS, MAIN_TITLE)
                self.assertEqual(app.wait_exit(timeout=30), 0)
                self.assertEqual((folder / "lumatap.ini").read_bytes(), settings_bytes(display))


if __name__ == "__main__":
    unittest.main()
