"""Mouse buttons on the grid, under Wine, from outside: clicks light their cells while
another program has the focus and on the program's own grid, and a profile without a
mouse button leaves mouse movement costing the program nothing."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image  # noqa: E402

import measure_records as mr  # noqa: E402
from harness import MAIN_CLASS, MAIN_TITLE, POPUP_MENU_CLASS, LumatapTestCase, crop_rect, wait_until  # noqa: E402
from test_display import CELL, START, cells_by_name, mismatches, write_settings  # noqa: E402

KEYS = ["Shift", "W", "Space", "A", "左クリック", "右クリック"]  # 3 columns by 2 rows
AWAY = (920, 580)  # the middle of the driver's own window, far from the grid


def expected_grid(folder: Path, keys: list[str], pressed=()) -> Image.Image:
    with Image.open(folder / "skin" / "default" / "keys.gif") as gif:
        image = gif.convert("RGB")
    cells = cells_by_name(folder)
    grid = Image.new("RGB", (3 * CELL, 2 * CELL))
    for slot, name in enumerate(keys):
        x, row = cells[name] * CELL, CELL if name in pressed else 0
        grid.paste(image.crop((x, row, x + CELL, row + CELL)), ((slot % 3) * CELL, (slot // 3) * CELL))
    return grid


class MouseButtonsTest(LumatapTestCase):
    def setUp(self) -> None:
        super().setUp()
        self.addCleanup(lambda: self.h.driver("release"))

    def start(self, keys: list[str]):
        folder = self.h.new_app_folder()
        write_settings(folder, frame=1)
        mr.write_profile(folder, keys)
        app = self.h.launch(folder)
        wait_until(lambda: self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["rect"][:2] == list(START), 10,
                   "the window at its saved place")
        return app, folder

    def grid(self):
        return crop_rect(self.h.screenshot(), self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["client"])

    def assert_grid_becomes(self, expected, what: str, cell=None) -> None:
        """The grid, or one cell of it (column, row) but its bottom-right pixel, shows what is
        expected."""
        def differ():
            got = self.grid()
            if cell is None:
                return mismatches(got, expected)
            box = (cell[0] * CELL, cell[1] * CELL, (cell[0] + 1) * CELL - 1, (cell[1] + 1) * CELL - 1)
            return mismatches(got.crop(box), expected.crop(box))
        try:
            wait_until(lambda: differ() == 0, 10, what, interval=0.1)
        except TimeoutError:
            self.fail(f"{what}: {differ()} pixels differ")

    def test_clicks_light_their_cells_on_the_grid_itself_and_while_another_program_has_the_focus(self):
        _, folder = self.start(KEYS)
        released = expected_grid(folder, KEYS)
        self.assert_grid_becomes(released, "the released grid")
        # The grid first, while Wine's desktop window is in front. (Once the driver's window
        # is gone no window at all is in front, which Windows never has, and Wine then drops
        # the Raw Input of the next press.) The left button drags the window, the right one
        # opens its menu.
        left, top, right, bottom = self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["client"]
        self.h.driver("mouse", "down", str(left + 10), str(top + 10), "left", check=True)
        self.assert_grid_becomes(expected_grid(folder, KEYS, pressed={"左クリック"}), "左クリック lit while dragging")
        self.h.driver("mouse", "up", str(left + 10), str(top + 10), "left", check=True)
        self.assert_grid_becomes(released, "左クリック released after the drag")
        # The menu opens at the cursor, on the grid's last pixel, and right of and below it.
        self.h.driver("mouse", "down", str(right - 1), str(bottom - 1), "right", check=True)
        self.assert_grid_becomes(expected_grid(folder, KEYS, pressed={"右クリック"}), "右クリック lit on the grid")
        self.h.driver("mouse", "up", str(right - 1), str(bottom - 1), "right", check=True)
        self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        self.assert_grid_becomes(released, "右クリック released under the open menu", cell=(2, 1))
        self.h.driver("key", "tap", "ESCAPE", check=True)

        # The driver's window has the focus and takes the clicks.
        x, y = AWAY
        for button, name in (("left", "左クリック"), ("right", "右クリック")):
            self.h.script("focus", f"mouse down {x} {y} {button}", check=True)
            self.assert_grid_becomes(expected_grid(folder, KEYS, pressed={name}), f"{name} lit")
            self.h.script("focus", f"mouse up {x} {y} {button}", check=True)
            self.assert_grid_becomes(released, f"{name} released")

    def test_mouse_movement_costs_nothing_without_a_mouse_button_in_the_profile(self):
        def switches_while_moving(keys: list[str]) -> int:
            app, _ = self.start(keys)
            self.h.driver("mouse", "move", str(AWAY[0]), str(AWAY[1]), check=True)
            time.sleep(1.0)
            before = mr.unix_stats(app.proc.pid)["switches"]
            self.h.driver("mousemove-cost", "3000", "1000", check=True, timeout=60)
            after = mr.unix_stats(app.proc.pid)["switches"]
            self.h.close_window(MAIN_CLASS, MAIN_TITLE)
            app.wait_exit(timeout=30)
            return after - before

        self.assertEqual(switches_while_moving(mr.PROFILE_KEYS), 0,
                         "3 s of mouse movement woke a thread of the program without a mouse button shown")
        # The same movement with buttons shown wakes the watching thread: the count above
        # is no blind spot of the measurement.
        self.assertGreater(switches_while_moving(KEYS), 1000)
