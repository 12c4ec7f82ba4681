"""The display window of the real lumatap.exe under Wine: the grid compared pixel by pixel
with the skin's cells, keys typed into another program lighting it, the frame switch by
menu and by double-click, dragging, and the settings file written at the end."""

import contextlib
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image, ImageChops  # noqa: E402

from harness import MAIN_CLASS, MAIN_TITLE, LumatapTestCase, crop_rect, wait_until  # noqa: E402

CELL = 48
WM_CLOSE = 0x0010
VK_A = 0x41
POPUP_MENU_CLASS = "#32768"

PROFILE = "WASDスタンダード"
PROFILE_KEYS = ["Shift", "W", "Space", "A", "S", "D"]  # 3 columns by 2 rows
GRID = (3 * CELL, 2 * CELL)
START = (200, 150)


def cells_by_name(folder: Path) -> dict[str, int]:
    """Skin cell of each key name in keylist.dat, the lowest code winning as the program
    reads it."""
    found: dict[int, tuple[str, int]] = {}
    for line in (folder / "keylist.dat").read_bytes().decode("cp932").splitlines():
        fields = line.split("\t")
        if len(fields) >= 3 and fields[0].strip().isdigit() and fields[1].strip().isdigit():
            found[int(fields[0])] = (fields[2], int(fields[1]))
    cells: dict[str, int] = {}
    for code in sorted(found):
        name, cell = found[code]
        cells.setdefault(name, cell)
    return cells


def write_settings(folder: Path, frame: int, skin: str = "default", at=START) -> None:
    text = (f"[window]\r\nX={at[0]}\r\nY={at[1]}\r\nframe={frame}\r\n"
            f"[style]\r\nskin={skin}\r\n[key]\r\nprofile={PROFILE}\r\n")
    (folder / "lumatap.ini").write_bytes(text.encode("cp932"))


def read_settings(folder: Path) -> dict[tuple[str, str], str]:
    values, section = {}, ""
    for line in (folder / "lumatap.ini").read_bytes().decode("cp932").splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].lower()
        elif "=" in line:
            key, value = line.split("=", 1)
            values[(section, key.strip().lower())] = value.strip()
    return values


def expected_grid_of(folder: Path, skin: str, pressed=()) -> Image.Image:
    """The profile's grid as the skin draws it, with the named keys pressed."""
    with Image.open(folder / "skin" / skin / "keys.gif") as gif:
        image = gif.convert("RGB")
    cells = cells_by_name(folder)
    grid = Image.new("RGB", GRID)
    for slot, name in enumerate(PROFILE_KEYS):
        x, row = cells[name] * CELL, CELL if name in pressed else 0
        grid.paste(image.crop((x, row, x + CELL, row + CELL)),
                   ((slot % 3) * CELL, (slot // 3) * CELL))
    return grid


def size(rect) -> tuple[int, int]:
    return rect[2] - rect[0], rect[3] - rect[1]


def mismatches(a: Image.Image, b: Image.Image) -> int:
    if a.size != b.size:
        return a.width * a.height + 1
    diff = ImageChops.difference(a, b).convert("L")
    return sum(1 for v in diff.getdata() if v)


class DisplayWindowTest(LumatapTestCase):
    def setUp(self) -> None:
        super().setUp()
        # An injected key stays down until released; never leave one for the next test.
        self.addCleanup(lambda: self.h.driver("release"))

    def start(self, frame: int, skin: str = "default"):
        folder = self.h.new_app_folder()
        write_settings(folder, frame, skin)
        app = self.h.launch(folder)
        self.wait_main_window()
        self.wait_placed(lambda w: w["rect"][:2] == list(START), "the window at its saved place")
        return app, folder

    @contextlib.contextmanager
    def running(self, frame: int, skin: str = "default"):
        """The program for one sub-test, ended even when the sub-test fails, so the next
        one does not meet it (a second copy would not start)."""
        app, folder = self.start(frame, skin)
        try:
            yield folder
        finally:
            app.kill()
            self.h.wait_gone(MAIN_CLASS, MAIN_TITLE)

    def window(self) -> dict:
        return self.h.wait_window(MAIN_CLASS, MAIN_TITLE, timeout=10)

    def wait_placed(self, condition, what: str, timeout: float = 10) -> dict:
        """The main window once `condition(window)` holds for it."""
        def placed():
            w = self.window()
            return w if condition(w) else None
        return wait_until(placed, timeout, what)

    def expected_grid(self, folder: Path, skin: str, pressed=()) -> Image.Image:
        return expected_grid_of(folder, skin, pressed)

    def grid_image(self) -> Image.Image:
        return crop_rect(self.h.screenshot(), self.window()["client"])

    def assert_grid_becomes(self, expected: Image.Image, what: str) -> None:
        try:
            wait_until(lambda: mismatches(self.grid_image(), expected) == 0, 10, what, interval=0.1)
        except TimeoutError:
            self.fail(f"{what}: {mismatches(self.grid_image(), expected)} pixels differ")

    def grid_point(self, dx: int = 70, dy: int = 40) -> tuple[int, int]:
        client = self.window()["client"]
        return client[0] + dx, client[1] + dy

    def mouse(self, action: str, *coords: int, button: str = "left") -> None:
        self.h.driver("mouse", action, *map(str, coords), button, check=True)

    # ------------------------------------------------------------------------------------

    def test_the_grid_shows_the_skins_released_cells_for_the_current_profile(self):
        for skin in ("default", "WASD黒ルコ"):
            for frame in (1, 0):
                with self.subTest(skin=skin, frame=frame), self.running(frame, skin) as folder:
                    win = self.window()
                    self.assertEqual(size(win["client"]), GRID)
                    if frame:
                        self.assertEqual(win["client"], win["rect"])
                    self.assert_grid_becomes(self.expected_grid(folder, skin), "the released grid")

    def test_a_key_typed_into_another_window_lights_its_cell_until_released(self):
        _, folder = self.start(frame=1)
        released = self.expected_grid(folder, "default")
        self.assert_grid_becomes(released, "the released grid")

        down = self.h.script("focus", f"key down {VK_A}")
        self.assertTrue(down.of("focus")[0]["foreground"], "the driver's window had no focus")
        self.assert_grid_becomes(self.expected_grid(folder, "default", pressed={"A"}),
                                 "A lit at (0, 48)")

        self.h.script("focus", f"key up {VK_A}")
        self.assert_grid_becomes(released, "A released again")

    def test_the_frame_switch_by_menu_and_by_double_click_keeps_the_grid_in_view(self):
        _, folder = self.start(frame=0)
        framed = self.window()
        self.assertEqual(size(framed["client"]), GRID)
        framed_size = size(framed["rect"])
        self.assertGreater(framed_size[0], GRID[0])
        self.assertGreater(framed_size[1], GRID[1])

        # Right-click, then the first item, "フレームなし".
        self.mouse("click", *self.grid_point(), button="right")
        menu = self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        self.mouse("click", menu["rect"][0] + 30, menu["rect"][1] + 10)
        win = self.wait_placed(lambda w: size(w["rect"]) == GRID, "the frameless size")
        self.assertEqual(win["rect"][:2], list(START))
        self.assertEqual(win["client"], win["rect"])

        for want in (framed_size, GRID, framed_size):
            self.mouse("dblclick", *self.grid_point())
            win = self.wait_placed(lambda w, want=want: size(w["rect"]) == want,
                                   f"a {want[0]} x {want[1]} window after a double-click")
            self.assertEqual(win["rect"][:2], list(START))
            self.assertEqual(size(win["client"]), GRID)
        self.assert_grid_becomes(self.expected_grid(folder, "default"), "the grid after switching")

    def test_only_a_left_button_drag_moves_the_window(self):
        for frame in (1, 0):
            with self.subTest(frame=frame), self.running(frame):
                x, y = self.grid_point()
                self.mouse("drag", x, y, x + 40, y + 30, button="middle")
                self.mouse("drag", x, y, x + 100, y + 60)
                moved = (START[0] + 100, START[1] + 60)
                win = self.wait_placed(lambda w: tuple(w["rect"][:2]) == moved,
                                       f"the window dragged to {moved}")
                self.assertEqual(size(win["client"]), GRID)

    def test_the_settings_file_written_at_the_end_holds_the_new_place_and_frame(self):
        app, folder = self.start(frame=0)
        x, y = self.grid_point()
        self.mouse("drag", x, y, x + 120, y + 80)
        moved = (START[0] + 120, START[1] + 80)
        self.wait_placed(lambda w: tuple(w["rect"][:2]) == moved, f"the window at {moved}")
        self.mouse("dblclick", *self.grid_point())
        self.wait_placed(lambda w: size(w["rect"]) == GRID, "the frameless window")

        self.h.post(self.window()["hwnd"], WM_CLOSE)
        self.assertEqual(app.wait_exit(timeout=20), 0)

        settings = read_settings(folder)
        self.assertEqual(settings[("window", "x")], str(moved[0]))
        self.assertEqual(settings[("window", "y")], str(moved[1]))
        self.assertEqual(settings[("window", "frame")], "1")
        self.assertEqual(settings[("style", "skin")], "default")
        self.assertEqual(settings[("key", "profile")], PROFILE)


if __name__ == "__main__":
    unittest.main()
