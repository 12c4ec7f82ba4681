"""The harness and lumatap_driver.exe themselves, under Wine, without lumatap.exe: if these
fail, a failing end-to-end test says nothing about the program."""

import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (LumatapTestCase, crop_rect, screenshot, start_xvfb,  # noqa: E402
                     stop_xvfb, to_windows_path, wait_until)

from PIL import Image, ImageChops  # noqa: E402


class HelperTest(unittest.TestCase):
    def test_unix_paths_map_to_drive_z(self):
        self.assertEqual(to_windows_path("/tmp/a b/x.bmp"), "Z:\\tmp\\a b\\x.bmp")

    def test_crop_is_clipped_to_the_screen(self):
        img = Image.new("RGB", (100, 50))
        self.assertEqual(crop_rect(img, [-10, 40, 30, 80]).size, (30, 10))

    def test_wait_until_returns_the_value_or_times_out(self):
        calls = []
        self.assertEqual(wait_until(lambda: calls.append(1) or len(calls) >= 3 and "done", 5, "x",
                                    interval=0), "done")
        start = time.monotonic()
        with self.assertRaisesRegex(TimeoutError, "the thing"):
            wait_until(lambda: False, 0.2, "the thing", interval=0.01)
        self.assertLess(time.monotonic() - start, 5)


class XvfbTest(unittest.TestCase):
    def test_the_display_is_the_server_the_harness_started(self):
        # Servers with another screen whose files in /tmp are out of sight, as those of
        # servers outside a chroot are inside it, on the numbers a search by those files
        # would take first: the lowest free one, and the lowest from :90, where the
        # harness used to search.
        def looks_free(n: int) -> bool:
            return not (Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists())

        for search_from in (None, 90):
            wanted = None if search_from is None else \
                f":{next(n for n in range(search_from, 200) if looks_free(n))}"
            try:
                other, display = start_xvfb((640, 480), display=wanted)
            except RuntimeError:
                continue  # a server out of sight holds that number already, which serves as well
            self.addCleanup(stop_xvfb, other)
            Path(f"/tmp/.X11-unix/X{display[1:]}").unlink()

        ours, display = start_xvfb((1280, 800))
        self.addCleanup(stop_xvfb, ours)
        self.assertEqual(screenshot(display).size, (1280, 800))


class DriverTest(LumatapTestCase):
    require_dist = False

    def test_wine_runs_with_the_japanese_code_page_and_screen(self):
        info = self.h.driver("info", check=True).first
        self.assertEqual(info["acp"], 932)
        self.assertEqual(info["user_lcid"], "0x411")
        self.assertEqual((info["screen_w"], info["screen_h"]), (1280, 800))

    def test_keys_reach_the_focus_window_with_vk_and_scan_code(self):
        r = self.h.script("focus", "key down 65", "key up 65", "key tap LSHIFT", "focus-log")
        focus = r.of("focus")[0]
        self.assertTrue(focus["foreground"])
        log = [(e["msg"], e["wparam"], e["lparam"]) for e in r.of("focus-log")]
        self.assertIn(("keydown", 65, "0x1e0001"), log)  # repeat 1, scan code 0x1E
        self.assertIn(("char", ord("a"), "0x1e0001"), log)
        self.assertIn(("keyup", 65, "0xc01e0001"), log)
        self.assertIn(("keydown", 0x10, "0x2a0001"), log)  # windows see VK_SHIFT, scan 0x2A

    def test_release_lets_go_of_held_keys(self):
        self.h.script("key down LSHIFT", "key down 87")
        self.assertTrue(self.h.driver("keystate", "87").first["down"])
        released = self.h.driver("release", check=True).first["released"]
        self.assertEqual(sorted(released), [87, 0xA0])
        self.assertFalse(self.h.driver("keystate", "87").first["down"])
        self.assertFalse(self.h.driver("keystate", "LSHIFT").first["down"])

    def test_the_mouse_lands_on_exact_pixels_up_to_the_edges(self):
        r = self.h.script("mouse move 0 0", "mouse move 1279 799", "mouse move 333 222")
        self.assertEqual([(m["x"], m["y"]) for m in r.of("mouse")],
                         [(0, 0), (1279, 799), (333, 222)])

    def test_gdi_capture_matches_the_x_display(self):
        go = self.h.new_tmp_dir() / "go"
        holder = self.h.spawn_driver("script", "focus 200 150 300 200",
                                     f"wait-file {to_windows_path(go)} 30000")
        try:
            win = wait_until(lambda: self.h.find_window("LumatapDriverFocus"), 20,
                             "the focus window")

            def painted():
                # The client area is one flat window colour, unlike the black desktop.
                shot = self.h.screenshot()
                colours = crop_rect(shot, win["client"]).getcolors(maxcolors=4)
                return shot if colours and len(colours) == 1 and colours[0][1] != (0, 0, 0) \
                    else None

            x_shot = wait_until(painted, 20, "the focus window to be painted")
            gdi = self.h.capture_gdi((0, 0, 1280, 800))
        finally:
            go.touch()
        self.assertEqual(holder.wait_exit(20), 0)

        self.assertEqual(gdi.size, x_shot.size)
        self.assertIsNone(ImageChops.difference(gdi, x_shot).getbbox())

    def test_absent_windows_and_boxes_are_reported_as_such(self):
        self.assertEqual(self.h.driver("find", "NoSuchClass").rc, 1)
        self.assertEqual(self.h.driver("msgbox", "100").rc, 1)
        gone = self.h.driver("wait-gone", "NoSuchClass", "1000")
        self.assertEqual((gone.rc, gone.first.get("gone")), (0, True))
        bad = self.h.driver("key", "sideways", "65")
        self.assertEqual(bad.rc, 2)
        self.assertIn("usage", bad.first["error"])

    def test_japanese_text_survives_the_command_line_and_the_output(self):
        title = "ダウンロードありがとうございます！ ＭＳ"
        r = self.h.script(f"focus 100 100 400 150 '{title}'")
        self.assertEqual(r.of("focus")[0]["title"], title)

if __name__ == "__main__":
    unittest.main()
