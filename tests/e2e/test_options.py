"""The options dialog of the real lumatap.exe under Wine: a new profile made with the mouse
and the keyboard as a user makes it, shown by the display window after OK and written to
setting.dat at the end."""

import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image  # noqa: E402

from harness import (MAIN_CLASS, MAIN_TITLE, OPTIONS_CLASS, OPTIONS_TITLE, REPO,  # noqa: E402
                     LumatapTestCase, crop_rect, wait_until)
from test_display import CELL, POPUP_MENU_CLASS, cells_by_name, mismatches  # noqa: E402

# Where the dialog's controls lie in its client area (their centres).
NEW_BUTTON = (128, 254)
TITLE_BOX = (520, 48)
KEY_COUNT = (454, 76)
SAVE_BUTTON = (664, 62)
OK_BUTTON = (562, 468)
PAD = (364, 96)  # the key buttons' pad; buttons start 10 pixels in


def slot_centre(slot: int, cols: int, size: int) -> tuple[int, int]:
    return (PAD[0] + 10 + (size + 2) * (slot % cols) + size // 2,
            PAD[1] + 10 + (size + 2) * (slot // cols) + size // 2)


class OptionsDialogTest(LumatapTestCase):
    def setUp(self) -> None:
        super().setUp()
        self.addCleanup(lambda: self.h.driver("release"))

    def click(self, window: dict, at, button: str = "left") -> None:
        left, top = window["client"][:2]
        self.h.driver("mouse", "click", str(left + at[0]), str(top + at[1]), button, check=True)

    def keys(self, *names: str) -> None:
        for name in names:
            self.h.driver("key", "tap", name, check=True)

    def choose_from_popup(self, downs: int) -> None:
        """The item `downs` steps down the pop-up menu that is opening."""
        self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        self.keys(*["DOWN"] * downs, "RETURN")
        self.h.wait_gone(POPUP_MENU_CLASS, timeout=10)

    def shot(self, name: str) -> Image.Image:
        """The dialog as it looks now, also left beside the failure screenshots."""
        image = crop_rect(self.h.screenshot(), self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)["rect"])
        folder = Path(os.environ.get("LUMATAP_ARTIFACTS", REPO / "build" / "e2e-artifacts"))
        folder.mkdir(parents=True, exist_ok=True)
        image.save(folder / f"options-{name}.png")
        return image

    def test_a_new_profile_is_shown_after_ok_and_saved_at_the_end(self):
        app = self.start_app()
        self.answer_first_run(yes=False)
        main = self.wait_main_window()

        # Right-click on the grid, "オプション".
        self.click(main, (20, 20), "right")
        self.choose_from_popup(2)
        dialog = self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)
        self.assertEqual((dialog["client"][2] - dialog["client"][0],
                          dialog["client"][3] - dialog["client"][1]), (728, 495))
        self.assertFalse(self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["enabled"])
        idle = self.shot("idle")

        # "新規", the title, four keys (laid out 2:2 by default), then the keys themselves.
        self.click(dialog, NEW_BUTTON)
        self.click(dialog, TITLE_BOX)
        self.h.driver("type", "テスト", check=True)
        self.click(dialog, KEY_COUNT)  # the list drops down with "6" chosen
        self.keys("UP", "UP", "RETURN")
        for slot, key in enumerate(["A", "S", "D"]):
            self.click(dialog, slot_centre(slot, 2, 150))
            self.keys(key)
        # Tab moves the focus on, so it comes from the slot's menu ("Tabキー", the fifth item).
        self.click(dialog, slot_centre(3, 2, 150), "right")
        self.choose_from_popup(5)
        editing = self.shot("edit")
        self.assertGreater(mismatches(idle, editing), 0)
        self.click(dialog, SAVE_BUTTON)
        self.click(dialog, OK_BUTTON)
        self.h.wait_gone(OPTIONS_CLASS, OPTIONS_TITLE)

        # The display shows the new profile's 2 × 2 grid with its keys released.
        main = wait_until(lambda: (w := self.wait_main_window())["enabled"] and w, 10,
                          "the display window enabled again")
        self.assertTrue(main["topmost"])
        folder = app.folder
        with Image.open(folder / "skin" / "default" / "keys.gif") as gif:
            skin = gif.convert("RGB")
        expected = Image.new("RGB", (2 * CELL, 2 * CELL))
        cells = cells_by_name(folder)
        for slot, name in enumerate(["A", "S", "D", "Tab"]):
            x = cells[name] * CELL
            expected.paste(skin.crop((x, 0, x + CELL, CELL)), ((slot % 2) * CELL, (slot // 2) * CELL))
        wait_until(lambda: mismatches(crop_rect(self.h.screenshot(), self.wait_main_window()["client"]),
                                      expected) == 0, 10, "the 2 × 2 grid of the new profile")

        # The end writes the profile table with the new line last.
        self.click(main, (20, 20), "right")
        self.choose_from_popup(5)  # "終了", past the stream page, the reset and the separator
        self.assertEqual(app.wait_exit(timeout=20), 0)
        lines = (folder / "setting.dat").read_bytes().decode("cp932").split("\r\n")
        self.assertEqual(lines[4], "テスト\t4\t2:2\tA\tS\tD\tTab")
        self.assertEqual(lines[5:], [""])


if __name__ == "__main__":
    unittest.main()
