"""Lumatap at 100 %, 150 % and 200 % display scale under Wine (the prefix's LogPixels at
96, 144 and 192). The grid is drawn at a whole-number scale: at 96 and 144 dpi exactly the
skin's pixels, at 192 every skin pixel a 2 x 2 square. The options dialog grows with the
scale, every control keeping its place relative to the others.

Each scale needs its own Wine session, so the class runs the three once, up front, and
the tests look at what each showed. Screenshots of every run are left in the artifacts
folder ("scale-<dpi>-display.png", "scale-<dpi>-options.png")."""

import os
import sys
import unittest
from pathlib import Path

from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (MAIN_CLASS, MAIN_TITLE, OPTIONS_CLASS, OPTIONS_TITLE,  # noqa: E402
                     POPUP_MENU_CLASS, REPO, Harness, crop_rect, require_dist, wait_until)
from test_display import CELL, PROFILE_KEYS, cells_by_name, write_settings  # noqa: E402

SCALES = {96: 1, 144: 1, 192: 2}
DIALOG_CLIENT = (728, 495)  # at 96 dpi
# Room for a 200 % dialog (1456 x 990 and its frame).
SCREEN = (2000, 1300)


def artifacts() -> Path:
    folder = Path(os.environ.get("LUMATAP_ARTIFACTS", REPO / "build" / "e2e-artifacts"))
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def size_of(rect) -> tuple[int, int]:
    return rect[2] - rect[0], rect[3] - rect[1]


def run_at(dpi: int) -> dict:
    """Starts the program at that scale, looks at the grid (released, then with A held),
    opens the options dialog and looks at it; returns what was seen."""
    seen = {}
    with Harness(screen=SCREEN, dpi=dpi) as h:
        folder = h.new_app_folder()
        write_settings(folder, frame=0, skin="default", at=(40, 40))
        h.launch(folder)
        main = h.wait_window(MAIN_CLASS, MAIN_TITLE)
        seen["dpi"] = h.driver("window-dpi", MAIN_CLASS, MAIN_TITLE, check=True).first
        seen["client"] = main["client"]
        seen["cells"] = cells_by_name(folder)
        with Image.open(folder / "skin" / "default" / "keys.gif") as gif:
            seen["skin"] = gif.convert("RGB")
        wait_until(lambda: crop_rect(h.screenshot(), main["client"]).getbbox(), 10, "the grid drawn")
        shot = h.screenshot()
        shot.save(artifacts() / f"scale-{dpi}-display.png")
        seen["released"] = crop_rect(shot, main["client"])

        # A typed into the driver's own window, which holds the focus.
        h.script("focus 900 700 200 100", "key down A", "sleep 400", check=True)
        seen["pressed"] = crop_rect(h.screenshot(), main["client"])
        h.driver("key", "up", "A", check=True)
        h.driver("release")

        left, top = main["client"][:2]
        h.driver("mouse", "click", str(left + 20), str(top + 20), "right", check=True)
        h.wait_window(POPUP_MENU_CLASS, timeout=10)
        for key in ("DOWN", "DOWN", "RETURN"):
            h.driver("key", "tap", key, check=True)
        dialog = h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)
        h.driver("sleep", "500")
        crop_rect(h.screenshot(), dialog["rect"]).save(artifacts() / f"scale-{dpi}-options.png")
        seen["dialog_client"] = dialog["client"]
        seen["children"] = h.driver("children", OPTIONS_CLASS, OPTIONS_TITLE, check=True).of("children")
        h.close_window(OPTIONS_CLASS, OPTIONS_TITLE)
    return seen


def expected_grid(seen: dict, scale: int, pressed=()) -> Image.Image:
    """The skin's cells for the profile, each skin pixel a scale x scale square."""
    grid = Image.new("RGB", (3 * CELL, 2 * CELL))
    for slot, name in enumerate(PROFILE_KEYS):
        x, row = seen["cells"][name] * CELL, CELL if name in pressed else 0
        grid.paste(seen["skin"].crop((x, row, x + CELL, row + CELL)),
                   ((slot % 3) * CELL, (slot // 3) * CELL))
    return grid.resize((grid.width * scale, grid.height * scale), Image.NEAREST)


class DisplayScaleTest(unittest.TestCase):
    runs: dict = {}

    @classmethod
    def setUpClass(cls) -> None:
        require_dist()
        cls.runs = {dpi: run_at(dpi) for dpi in SCALES}

    def test_the_windows_report_the_scale_they_were_started_at(self):
        for dpi, seen in self.runs.items():
            with self.subTest(dpi=dpi):
                self.assertEqual(seen["dpi"]["dpi"], dpi)

    def test_the_grid_is_the_skin_at_a_whole_number_scale_pixel_for_pixel(self):
        for dpi, scale in SCALES.items():
            seen = self.runs[dpi]
            with self.subTest(dpi=dpi):
                self.assertEqual(size_of(seen["client"]), (3 * CELL * scale, 2 * CELL * scale))
                self.assertEqual(seen["released"].tobytes(), expected_grid(seen, scale).tobytes(),
                                 "the released grid")
                self.assertEqual(seen["pressed"].tobytes(),
                                 expected_grid(seen, scale, pressed=("A",)).tobytes(),
                                 "the grid with A held")

    def test_the_options_dialog_grows_with_the_scale_and_keeps_its_layout(self):
        base = {(c["class"], c["text"], i): c["rect"] for i, c in enumerate(self.runs[96]["children"])}
        self.assertEqual(size_of(self.runs[96]["dialog_client"]), DIALOG_CLIENT)
        for dpi in (144, 192):
            seen = self.runs[dpi]
            with self.subTest(dpi=dpi):
                factor = dpi / 96
                want = tuple(round(v * factor) for v in DIALOG_CLIENT)
                got = size_of(seen["dialog_client"])
                self.assertLessEqual(abs(got[0] - want[0]), 1, f"client {got}, about {want}")
                self.assertLessEqual(abs(got[1] - want[1]), 1, f"client {got}, about {want}")
                children = seen["children"]
                self.assertEqual(len(children), len(base))
                for i, c in enumerate(children):
                    key = (c["class"], c["text"], i)
                    self.assertIn(key, base)
                    scaled = [round(v * factor) for v in base[key]]
                    # Combo boxes size their closed box from the font; everything else is
                    # placed exactly where the layout says, give or take a rounded pixel.
                    slack = 4 if c["class"].lower() == "combobox" else 1
                    for edge, (g, w) in enumerate(zip(c["rect"], scaled)):
                        if c["class"].lower() == "combobox" and edge == 3:
                            continue
                        self.assertLessEqual(abs(g - w), slack, f"{key}: {c['rect']}, about {scaled}")


if __name__ == "__main__":
    unittest.main()
