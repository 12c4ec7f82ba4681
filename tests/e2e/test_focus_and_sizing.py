"""The display window of the real lumatap.exe under Wine as an overlay over a game: clicks,
drags, the frame switch and the pop-up menu leave another program's window in the
foreground, closing the options dialog gives it back, and a drag of the sizing frame only
ever shows the window at whole cells."""

import contextlib
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import MAIN_CLASS, MAIN_TITLE, OPTIONS_CLASS, LumatapTestCase, wait_until  # noqa: E402
from test_display import CELL, GRID, START, size, write_settings  # noqa: E402

GAME_CLASS = "LumatapDriverFocus"  # the driver's own window, standing in for the game
GAME_AT = "focus 620 420 200 150"
POPUP_MENU_CLASS = "#32768"
WMSZ = {"left": 1, "right": 2, "top": 3, "topleft": 4, "topright": 5, "bottom": 6,
        "bottomleft": 7, "bottomright": 8}


class OverlayTestCase(LumatapTestCase):
    def setUp(self) -> None:
        super().setUp()
        self.addCleanup(lambda: self.h.driver("release"))

    @contextlib.contextmanager
    def running(self, frame: int):
        """frame=0: framed, 1: frameless, as lumatap.ini says it."""
        folder = self.h.new_app_folder()
        write_settings(folder, frame)
        app = self.h.launch(folder)
        self.wait_main_window()
        wait_until(lambda: self.window()["rect"][:2] == list(START), 10, "the window at its place")
        try:
            yield folder
        finally:
            app.kill()
            self.h.wait_gone(MAIN_CLASS, MAIN_TITLE)

    def window(self) -> dict:
        return self.h.wait_window(MAIN_CLASS, MAIN_TITLE, timeout=10)

    def grid_point(self, dx: int = 70, dy: int = 40) -> tuple[int, int]:
        client = self.window()["client"]
        return client[0] + dx, client[1] + dy

    def foreground_after(self, *steps: str) -> str:
        """Brings the stand-in game to the foreground, runs the steps, and names the class
        of the window in the foreground once they are done."""
        result = self.h.script(GAME_AT, *steps, "sleep 400", "info", timeout=60)
        self.assertTrue(result.of("focus")[0]["foreground"], "the game's window had no focus")
        return result.of("info")[-1]["foreground_class"]


class FocusTest(OverlayTestCase):
    def test_clicks_drags_and_the_menu_leave_the_game_in_the_foreground(self):
        for frame in (0, 1):
            with self.subTest(frame=frame), self.running(frame):
                x, y = self.grid_point()
                self.assertEqual(self.foreground_after(f"mouse click {x} {y} left"), GAME_CLASS,
                                 "after a click on the grid")

                # Away from the click, so that the press is not its double-click.
                x, y = self.grid_point(100, 60)
                self.assertEqual(self.foreground_after(f"mouse drag {x} {y} {x + 60} {y + 40} left"),
                                 GAME_CLASS, "after dragging the grid")
                moved = [START[0] + 60, START[1] + 40]
                with contextlib.suppress(TimeoutError):
                    wait_until(lambda: self.window()["rect"][:2] == moved, 10, "the dragged window")
                self.assertEqual(self.window()["rect"][:2], moved, "the dragged window")

                # The menu opens and works, and closing it gives the game the keyboard back.
                x, y = self.grid_point()
                self.assertEqual(self.foreground_after(f"mouse click {x} {y} right",
                                                       f"wait {POPUP_MENU_CLASS} 5000",
                                                       "key tap ESCAPE",
                                                       f"wait-gone {POPUP_MENU_CLASS} 5000"),
                                 GAME_CLASS, "after the pop-up menu")

                # The double-click still switches the frame, and twice puts it back.
                before = size(self.window()["rect"])
                self.assertEqual(self.foreground_after(f"mouse dblclick {x} {y} left"), GAME_CLASS,
                                 "after a double-click")
                wait_until(lambda: size(self.window()["rect"]) != before, 10, "the frame switched")
                x, y = self.grid_point()
                self.assertEqual(self.foreground_after(f"mouse dblclick {x} {y} left"), GAME_CLASS)
                wait_until(lambda: size(self.window()["rect"]) == before, 10, "the frame back")

    def test_dragging_the_caption_and_the_sizing_frame_leave_the_game_in_the_foreground(self):
        with self.running(frame=0):
            win = self.window()
            rect, client = win["rect"], win["client"]
            cx, cy = rect[0] + 20, (rect[1] + client[1]) // 2
            self.assertEqual(self.foreground_after(f"mouse drag {cx} {cy} {cx + 50} {cy + 30} left"),
                             GAME_CLASS, "after dragging the caption")
            moved = [START[0] + 50, START[1] + 30]
            win = wait_until(lambda: (w := self.window())["rect"][:2] == moved and w, 10,
                             "the window moved by its caption")
            right, bottom = win["rect"][2] - 2, win["rect"][3] - 2
            # The corner, held and taken out beyond the window: the sizing follows it there.
            self.assertEqual(
                self.foreground_after(f"mouse down {right} {bottom} left", "sleep 150",
                                      f"mouse move {right - 25} {bottom + 30}", "sleep 150",
                                      f"mouse move {right - 50} {bottom + 60}", "sleep 150",
                                      f"mouse up {right - 50} {bottom + 60} left"),
                GAME_CLASS, "after dragging the sizing frame")
            wait_until(lambda: size(self.window()["client"]) == (2 * CELL, 3 * CELL), 10,
                       "two columns by three rows")

    def test_closing_the_options_dialog_gives_the_game_its_keyboard_back(self):
        with self.running(frame=0):
            x, y = self.grid_point()
            # Right-click, the second item ("オプション") by keyboard, then close the dialog.
            self.assertEqual(self.foreground_after(f"mouse click {x} {y} right",
                                                   f"wait {POPUP_MENU_CLASS} 5000",
                                                   "key tap DOWN", "key tap DOWN", "key tap RETURN",
                                                   f"wait {OPTIONS_CLASS} 10000", "sleep 300",
                                                   f"close {OPTIONS_CLASS}",
                                                   f"wait-gone {OPTIONS_CLASS} 10000"),
                             GAME_CLASS, "after the options dialog closed")
            self.assertFalse(self.h.find_windows(OPTIONS_CLASS), "the dialog did not close")


class SizingTest(OverlayTestCase):
    def sizing(self, edge: str, rect) -> list[int]:
        out = self.h.driver("sizing", MAIN_CLASS, str(WMSZ[edge]), *map(str, rect), check=True)
        r = out.first
        return [r["left"], r["top"], r["right"], r["bottom"]]

    def test_the_rectangle_dragged_is_snapped_before_it_is_shown(self):
        with self.running(frame=0):
            win = self.window()
            extra_w = size(win["rect"])[0] - size(win["client"])[0]
            extra_h = size(win["rect"])[1] - size(win["client"])[1]
            left, top = win["rect"][:2]

            def outer(cols: int, rows: int) -> tuple[int, int]:
                return cols * CELL + extra_w, rows * CELL + extra_h

            # 6 keys: client 100 x 300 gives 2 x 3, 300 x 100 gives 3 x 2, 190 x 200 gives
            # 4 x 2 (the columns decide), 30 x 30 the single row of 6.
            cases = [((100, 300), (2, 3)), ((300, 100), (3, 2)), ((190, 200), (4, 2)),
                     ((30, 30), (6, 1))]
            for (cw, ch), (cols, rows) in cases:
                w, h = outer(cols, rows)
                for edge in WMSZ:
                    with self.subTest(client=(cw, ch), edge=edge):
                        asked = [left, top, left + cw + extra_w, top + ch + extra_h]
                        got = self.sizing(edge, asked)
                        self.assertEqual((got[2] - got[0], got[3] - got[1]), (w, h))
                        # Only the dragged edges move.
                        self.assertEqual(got[2] if "left" in edge else got[0],
                                         asked[2] if "left" in edge else asked[0])
                        self.assertEqual(got[3] if "top" in edge else got[1],
                                         asked[3] if "top" in edge else asked[1])

    def test_a_mouse_drag_of_the_frame_shows_whole_cells_at_every_step(self):
        with self.running(frame=0):
            win = self.window()
            extra = (size(win["rect"])[0] - GRID[0], size(win["rect"])[1] - GRID[1])
            start_right = win["rect"][2]
            # The left edge, dragged inwards in steps that are not whole cells: 3 x 2 until
            # the grid is narrower than it is high, then 2 columns by 3 rows.
            x, y = win["rect"][0] + 1, (win["rect"][1] + win["rect"][3]) // 2
            steps = [f"mouse down {x} {y} left"]
            for dx in (7, 19, 33, 50):
                steps += [f"mouse move {x + dx} {y}", "sleep 150", f"find {MAIN_CLASS}"]
            steps += [f"mouse up {x + 50} {y} left", "sleep 300", f"find {MAIN_CLASS}"]
            seen = [r["rect"] for r in self.h.script(*steps).of("find")]
            for rect in seen:
                w, h = rect[2] - rect[0] - extra[0], rect[3] - rect[1] - extra[1]
                self.assertEqual((w % CELL, h % CELL), (0, 0), f"a grid of {w} x {h} shown")
                self.assertEqual(rect[2], start_right, "the right edge moved")
            last = seen[-1]
            self.assertEqual((last[2] - last[0] - extra[0], last[3] - last[1] - extra[1]),
                             (2 * CELL, 3 * CELL), "the grid after the drag")

if __name__ == "__main__":
    unittest.main()
