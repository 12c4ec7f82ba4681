"""What users trip on in the options dialog of the real lumatap.exe under Wine: the keyboard
after 編集, 新規 and the save picture, Alt and F10 on a key slot, the instructions panel,
key buttons outside their pad, the hidden skin list, unset slots and titles the files
cannot hold."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import MSGBOX_CLASS, OPTIONS_CLASS, OPTIONS_TITLE, wait_until  # noqa: E402
import test_options as base  # noqa: E402
from test_options import NEW_BUTTON, SAVE_BUTTON, slot_centre  # noqa: E402
from test_display import POPUP_MENU_CLASS  # noqa: E402

EDIT_BUTTON = (200, 254)
DISCARD_QUESTION = "編集中のプロファイルがあります。\r\n編集内容を破棄して、オプション画面を閉じますか？"


class OptionsUsabilityTest(base.OptionsDialogTest):
    # The helpers only; the new-profile walk-through runs with test_options.py.
    test_a_new_profile_is_shown_after_ok_and_saved_at_the_end = None

    def open_dialog(self, profiles: str = "") -> dict:
        folder = self.h.new_app_folder()
        if profiles:
            (folder / "setting.dat").write_bytes(profiles.encode("cp932"))
        self.start_app(folder)
        self.answer_first_run(yes=False, required=not profiles)
        main = self.wait_main_window()
        self.click(main, (20, 20), "right")
        self.choose_from_popup(2)
        return self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)

    def box_text(self, timeout: float = 5) -> str:
        box = self.h.msgbox(timeout=timeout)
        return box["text"] if box else ""

    def slot_texts(self) -> list[str]:
        r = self.h.driver("children", OPTIONS_CLASS, OPTIONS_TITLE, check=True)
        buttons = [c for c in r.of("children") if c["class"] == "Button" and c["visible"]]
        # The pad's buttons are the square ones, in reading order.
        slots = [c for c in buttons if c["rect"][2] - c["rect"][0] == c["rect"][3] - c["rect"][1]]
        return [c["text"] for c in sorted(slots, key=lambda c: (c["rect"][1], c["rect"][0]))]

    def test_esc_and_tab_still_work_after_the_mouse_switched_edit_mode(self):
        dialog = self.open_dialog()
        for button in (EDIT_BUTTON, NEW_BUTTON):
            with self.subTest(button=button):
                self.click(dialog, button)  # the clicked button is disabled by the switch
                self.keys("TAB", "ESCAPE")
                self.assertEqual(self.box_text(), DISCARD_QUESTION)
                self.h.press("いいえ")
                self.h.wait_gone(MSGBOX_CLASS, timeout=10)
                self.keys("ESCAPE")
                self.assertEqual(self.box_text(), DISCARD_QUESTION, "the keyboard after the box")
                self.h.press("いいえ")
                self.h.wait_gone(MSGBOX_CLASS, timeout=10)
                if button == EDIT_BUTTON:
                    # The save picture ends the edit while it holds the focus.
                    self.click(dialog, SAVE_BUTTON)
                    self.keys("ESCAPE")
                    self.h.wait_gone(OPTIONS_CLASS, OPTIONS_TITLE, timeout=10)
                    main = self.wait_main_window()
                    wait_until(lambda: self.wait_main_window()["enabled"], 10, "the display enabled")
                    self.click(main, (20, 20), "right")
                    self.choose_from_popup(2)
                    dialog = self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)

    def test_alt_and_f10_pressed_on_a_slot_are_assigned_and_open_no_menu(self):
        dialog = self.open_dialog()
        self.click(dialog, EDIT_BUTTON)  # the first profile: six keys, 3:2, 100-pixel buttons
        before = self.slot_texts()
        self.assertEqual(len(before), 6)
        for slot, key, name in ((0, "MENU", "Alt"), (1, "F10", "F10")):
            self.click(dialog, slot_centre(slot, 3, 100))
            self.keys(key)
            wait_until(lambda: self.slot_texts()[slot] == name, 5, f"{name} in slot {slot}")
        # No system menu opened: the next key goes to the slot, not to a menu.
        self.assertIsNone(self.h.find_window(POPUP_MENU_CLASS))
        self.click(dialog, slot_centre(2, 3, 100))
        self.keys("MENU", "Z")
        wait_until(lambda: self.slot_texts()[2] == "Z", 5, "Z in slot 2 after Alt")
        self.assertEqual(self.slot_texts()[3:], before[3:])

    def test_slots_a_raised_key_count_adds_fail_the_save_check(self):
        dialog = self.open_dialog()
        self.click(dialog, (100, 97))  # "OSU！用ZXキー": two keys
        self.click(dialog, EDIT_BUTTON)
        self.click(dialog, base.KEY_COUNT)  # the list drops down with "2" chosen
        self.keys("DOWN", "DOWN", "RETURN")
        wait_until(lambda: self.slot_texts() == ["Z", "X", "未設定", "未設定"], 5, "two unset slots")
        self.click(dialog, SAVE_BUTTON)
        self.assertEqual(self.box_text(), "表示したいキーの設定が完了していません！")
        self.h.press("OK")
        self.h.wait_gone(MSGBOX_CLASS, timeout=10)
        # The first unset slot is marked light red, and the editor stays open.
        shot = self.shot("unset-slot").convert("RGB")
        red = sum(1 for p in shot.getdata() if p == (255, 80, 80))
        self.assertGreater(red, 1000)
        self.keys("ESCAPE")
        self.assertEqual(self.box_text(), DISCARD_QUESTION)
        self.h.press("はい")
        self.h.wait_gone(OPTIONS_CLASS, OPTIONS_TITLE, timeout=10)

    def test_the_panel_under_the_profile_list_keeps_its_border_whole(self):
        dialog = self.open_dialog()
        left, top, width, height = 16, 296, 309, 149  # the skin list's frame; in an edit the
        # instructions panel lies exactly over it
        for state in ("idle", "edit"):
            with self.subTest(state=state):
                if state == "edit":
                    self.click(dialog, EDIT_BUTTON)
                    wait_until(lambda: len(self.slot_texts()) == 6, 5, "the edit")
                self.shot(state)
                client = self.h.window_image(self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE),
                                             client=True).convert("RGB")
                # Each side of the etched edge is one unbroken line of one colour, from
                # below the caption to above the corner.
                sides = {
                    "right": [(left + width - 2, y) for y in range(top + 12, top + height - 4)],
                    "left": [(left + 1, y) for y in range(top + 12, top + height - 4)],
                    "bottom": [(x, top + height - 2) for x in range(left + 4, left + width - 4)],
                }
                for side, points in sides.items():
                    colours = {client.getpixel(p) for p in points}
                    self.assertEqual(len(colours), 1, f"{side} side of the panel: {colours}")
                    inside = client.getpixel((points[0][0] + (3 if side == "left" else -3),
                                              points[0][1] - (3 if side == "bottom" else 0)))
                    self.assertNotEqual(colours, {inside}, f"{side}: no edge drawn")

    def test_key_buttons_are_clipped_by_their_pad(self):
        # A hand-made layout of two rows for six keys puts the last two buttons below the pad.
        dialog = self.open_dialog("六キー\t6\t2:2\tA\tS\tD\tF\tG\tH\r\n")
        self.click(dialog, EDIT_BUTTON)
        wait_until(lambda: len(self.slot_texts()) == 6, 5, "the edit")
        self.shot("clipped-keys")
        client = self.h.window_image(self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE),
                                     client=True).convert("RGB")
        editor = client.getpixel((354, 300))  # the editor frame, left of the pad
        below_pad = {client.getpixel((x, y)) for x in range(370, 700, 3) for y in range(428, 440)}
        self.assertEqual(below_pad, {editor}, "between the pad and the editor's lower edge")
        # The OK button shows its own face, not a key button's.
        ok = {client.getpixel((x, 458)) for x in range(530, 600, 2)}
        self.assertEqual(len(ok), 1, f"OK button face {ok}")
        self.assertEqual(ok, {client.getpixel((x, 458)) for x in range(640, 700, 2)},
                         "OK looks like キャンセル")

    def test_tab_never_reaches_the_skin_list_under_the_instructions(self):
        dialog = self.open_dialog()
        client = lambda: self.h.window_image(self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE),  # noqa: E731
                                             client=True).convert("RGB")
        rows = lambda image: [image.getpixel((40, y)) for y in (330, 347)]  # noqa: E731
        before = rows(client())
        self.assertNotEqual(before[0], before[1], "the first skin selected")
        self.click(dialog, EDIT_BUTTON)
        self.click(dialog, slot_centre(0, 3, 100))  # the focus on a key button
        # Round the whole focus order twice, pressing Down wherever the focus is; all of it
        # but the skin list belongs to the edit, which is thrown away afterwards.
        for _ in range(30):
            self.keys("TAB", "DOWN")
        self.assertIsNone(self.h.find_window(MSGBOX_CLASS))
        self.click(dialog, (702, 28))  # the "×" picture: end the edit without saving
        self.assertTrue(self.box_text().startswith("編集中の内容が失われます。"))
        self.h.press("はい")
        self.h.wait_gone(MSGBOX_CLASS, timeout=10)
        # The skin list shows again once the instructions are gone.
        try:
            wait_until(lambda: rows(client()) == before, 5, "the skin list as it was")
        except TimeoutError:
            pass
        self.assertEqual(rows(client()), before, "the skin choice did not move")

    def title_box(self) -> str:
        r = self.h.driver("children", OPTIONS_CLASS, OPTIONS_TITLE, check=True)
        return next(c["hwnd"] for c in r.of("children") if c["class"] == "Edit")

    def title_length(self) -> int:
        """The title box's length in UTF-16 units, as the box itself reports it."""
        return self.h.driver("send", self.title_box(), "14", "0", "0", check=True).first["result"]  # WM_GETTEXTLENGTH

    def test_a_title_fits_the_files_or_is_refused_at_save(self):
        dialog = self.open_dialog()
        self.click(dialog, NEW_BUTTON)
        self.click(dialog, base.TITLE_BOX)
        # 150 kana are 300 bytes in code page 932; lumatap.ini keeps 254.
        self.h.driver("type", "あ" * 150, check=True)
        wait_until(lambda: self.title_length() >= 127, 10, "the typed title")
        self.h.driver("sleep", "300")
        self.assertEqual(self.title_length(), 127)

        self.h.script(*["key tap BACK"] * 127)
        wait_until(lambda: self.title_length() == 0, 10, "an empty title box")
        self.h.driver("type", "Café😀", check=True)
        wait_until(lambda: self.title_length() == 6, 10, "the second title")
        self.click(dialog, SAVE_BUTTON)
        box = self.h.msgbox(timeout=5)
        self.assertIsNotNone(box, "a title the files cannot hold is refused")
        self.assertEqual(box["text"], "タイトルに、保存できない文字が含まれています！\r\n"
                                      "絵文字やアクセント付きの文字など、シフトJISにない文字は使えません。")
        self.assertEqual(box["icon"], "warning")
        self.h.press("OK")
        self.h.wait_gone(MSGBOX_CLASS, timeout=10)
        self.assertEqual(self.title_length(), 6, "the title stays for mending")

    def test_a_pasted_title_keeps_as_much_as_the_files_hold(self):
        dialog = self.open_dialog()
        self.click(dialog, NEW_BUTTON)
        self.click(dialog, base.TITLE_BOX)
        # 150 different kanji are 300 bytes in code page 932; lumatap.ini keeps 254.
        kanji = "".join(c for c in map(chr, range(0x4E00, 0x5000))
                        if c.encode("cp932", "replace") != b"?")[:150]
        self.h.script(f"clipboard {kanji}", "key down CONTROL", "key tap V", "key up CONTROL")
        wait_until(lambda: self.title_length() > 0, 10, "the pasted title")
        box = self.title_box()
        self.assertEqual(self.h.driver("text", box, check=True).first["text"], kanji[:127])
        selection = self.h.driver("send", box, "176", "0", "0", check=True).first["result"]  # EM_GETSEL
        self.assertEqual((selection & 0xFFFF, selection >> 16), (127, 127), "the caret after it")


if __name__ == "__main__":
    unittest.main()
