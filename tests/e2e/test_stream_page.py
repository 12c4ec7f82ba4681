"""The stream page of the real lumatap.exe under Wine, seen by Debian's Chromium as OBS's
browser source sees it: the grid cell for cell at the chosen scale with true transparency,
keys lit and put out as the window shows them, the profile followed without a reload;
strangers refused; a flood and a slow client never keep a key from the window; a taken
port said once; and the page turned on from the pop-up menu."""

import io
import os
import re
import socket
import sys
import threading
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image  # noqa: E402

from browser import CHROMIUM, Browser  # noqa: E402
from harness import (MAIN_CLASS, MAIN_TITLE, OPTIONS_CLASS, OPTIONS_TITLE, REPO, LumatapTestCase,  # noqa: E402
                     crop_rect, wait_until)
from test_display import CELL, POPUP_MENU_CLASS, cells_by_name, mismatches, read_settings  # noqa: E402

TOKEN = "0123456789abcdef0123456789abcdef"
START = (200, 150)
# Four keys on 3 × 2: two empty cells the page must leave transparent. The second profile
# is what the options dialog switches to.
PROFILES = [("空きのある表", 4, (3, 2), ["W", "A", "S", "D"]),
            ("OSU！用ZXキー", 2, (2, 1), ["Z", "X"])]
VK_A = 0x41


def keep(image: Image.Image, name: str) -> None:
    """Beside the failure screenshots, for a person to look at."""
    folder = Path(os.environ.get("LUMATAP_ARTIFACTS", REPO / "build" / "e2e-artifacts"))
    folder.mkdir(parents=True, exist_ok=True)
    image.save(folder / name)


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def skin_rgba(folder: Path) -> Image.Image:
    with Image.open(folder / "skin" / "default" / "keys.gif") as gif:
        return gif.convert("RGBA")


def expected_page(folder: Path, profile, pressed=()) -> Image.Image:
    """The grid as the page must draw it at scale 1: the skin's cells with their own
    transparency, nothing at all in the empty cells."""
    _, _, (cols, rows), keys = profile
    skin, cells = skin_rgba(folder), cells_by_name(folder)
    grid = Image.new("RGBA", (cols * CELL, rows * CELL), (0, 0, 0, 0))
    for slot, name in enumerate(keys):
        x, y = cells[name] * CELL, CELL if name in pressed else 0
        grid.paste(skin.crop((x, y, x + CELL, y + CELL)), ((slot % cols) * CELL, (slot // cols) * CELL))
    return grid


def http(port: int, request: bytes, host: str = "127.0.0.1", timeout: float = 5) -> bytes:
    """What the server answers to raw request bytes, up to the end of its headers."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(request)
        got = b""
        while b"\r\n\r\n" not in got:
            chunk = s.recv(4096)
            if not chunk:
                break
            got += chunk
        return got


def status_of(answer: bytes) -> int:
    m = re.match(rb"HTTP/1\.[01] (\d{3})", answer)
    return int(m.group(1)) if m else 0


@unittest.skipUnless(os.path.exists(CHROMIUM), f"{CHROMIUM} missing (tools/setup-deps.sh installs it)")
class StreamPageTest(LumatapTestCase):
    def setUp(self) -> None:
        super().setUp()
        self.addCleanup(lambda: self.h.driver("release"))
        self.port = free_port()

    def start(self, stream: str | None = "enabled=1", wait_listening: bool = True):
        folder = self.h.new_app_folder()
        (folder / "setting.dat").write_bytes("".join(
            f"{t}\t{n}\t{c}:{r}\t{chr(9).join(k)}\r\n" for t, n, (c, r), k in PROFILES).encode("cp932"))
        text = (f"[window]\r\nX={START[0]}\r\nY={START[1]}\r\nframe=0\r\n[style]\r\nskin=default\r\n"
                f"[key]\r\nprofile={PROFILES[0][0]}\r\n")
        if stream is not None:
            text += f"[stream]\r\n{stream}\r\nport={self.port}\r\ntoken={TOKEN}\r\n"
        (folder / "lumatap.ini").write_bytes(text.encode("cp932"))
        app = self.h.launch(folder)
        self.wait_main_window()
        if wait_listening:
            wait_until(self.listening, 20, f"the page served on port {self.port}")
        return app, folder

    def listening(self) -> bool:
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def page_url(self, scale: int = 1) -> str:
        return f"http://127.0.0.1:{self.port}/?token={TOKEN}&scale={scale}"

    def grid(self) -> Image.Image:
        return crop_rect(self.h.screenshot(), self.h.wait_window(MAIN_CLASS, MAIN_TITLE)["client"])

    def key_lit_in_window(self, folder: Path, profile, name: str) -> bool:
        _, _, (cols, rows), keys = profile
        want = expected_page(folder, profile, pressed={name}).convert("RGB")
        slot = keys.index(name)
        box = ((slot % cols) * CELL, (slot // cols) * CELL, (slot % cols + 1) * CELL, (slot // cols + 1) * CELL)
        return mismatches(self.grid().crop(box), want.crop(box)) == 0

    def test_the_page_shows_the_grid_lights_keys_and_follows_the_profile(self):
        app, folder = self.start()
        scale = 2
        with Browser() as b:
            # The first request for the skin is lost: the page asks again by itself.
            b.drop_requests("*/skin?*")
            b.open(self.page_url(scale))
            b.evaluate("window.drawn = 0; addEventListener('lumatap-drawn', () => window.drawn++); 0")

            def page(profile) -> Image.Image:
                _, _, (cols, rows), _ = profile
                shot = Image.open(io.BytesIO(b.screenshot((0, 0, cols * CELL * scale, rows * CELL * scale))))
                return shot.convert("RGBA")

            def shows(profile, pressed=()) -> bool:
                want = expected_page(folder, profile, pressed).resize(
                    (expected_page(folder, profile).width * scale, expected_page(folder, profile).height * scale),
                    Image.NEAREST)
                got = page(profile)
                return got.size == want.size and list(got.getdata()) == list(want.getdata())

            wait_until(lambda: shows(PROFILES[0]), 20, "the page's grid, pixel for pixel at scale 2")
            self.assertEqual(b.to_drop, 0, "the skin's first request was not the one lost")
            shot = page(PROFILES[0])
            keep(shot, "stream-page.png")
            self.assertEqual(shot.getpixel((2 * CELL * scale - 1, 2 * CELL * scale - 1))[3], 0,
                             "an empty cell is transparent")
            self.assertEqual(b.evaluate("document.querySelector('canvas').getBoundingClientRect().left"), 0)

            self.h.script("focus", f"key down {VK_A}")
            wait_until(lambda: shows(PROFILES[0], {"A"}), 10, "A lit on the page")
            self.assertTrue(self.key_lit_in_window(folder, PROFILES[0], "A"), "A lit in the window too")
            self.h.script("focus", f"key up {VK_A}")
            wait_until(lambda: shows(PROFILES[0]), 10, "A out again on the page")

            # The options dialog: the last profile of the list, then OK. The page follows with
            # no reload: the same document, still listening.
            b.evaluate("window.sameDocument = true; 0")
            main = self.h.wait_window(MAIN_CLASS, MAIN_TITLE)
            self.h.driver("mouse", "click", str(main["client"][0] + 20), str(main["client"][1] + 20), "right",
                          check=True)
            self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
            for key in ("DOWN", "DOWN", "RETURN"):
                self.h.driver("key", "tap", key, check=True)
            dialog = self.h.wait_window(OPTIONS_CLASS, OPTIONS_TITLE)
            left, top = dialog["client"][:2]
            self.h.driver("mouse", "click", str(left + 100), str(top + 44), check=True)  # the list
            self.h.driver("key", "tap", "35", check=True)  # End: the last row
            self.h.driver("mouse", "click", str(left + 562), str(top + 468), check=True)  # OK
            self.h.wait_gone(OPTIONS_CLASS, OPTIONS_TITLE)
            wait_until(lambda: shows(PROFILES[1]), 10, "the page showing the profile chosen in the dialog")
            self.assertTrue(b.evaluate("window.sameDocument === true"), "the page was reloaded")
        self.h.close_window(MAIN_CLASS, MAIN_TITLE)
        app.wait_exit(timeout=30)

    def test_strangers_are_refused_and_never_hold_up_a_key(self):
        app, folder = self.start()
        p = self.port
        good = f"GET /events?token={TOKEN} HTTP/1.1\r\nHost: 127.0.0.1:{p}\r\n\r\n".encode()
        self.assertEqual(status_of(http(p, good)), 200)
        refused = {
            "no token": f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{p}\r\n\r\n",
            "a wrong token": f"GET /?token={TOKEN[:-1]}0 HTTP/1.1\r\nHost: 127.0.0.1:{p}\r\n\r\n",
            "a short token": f"GET /?token={TOKEN[:16]} HTTP/1.1\r\nHost: 127.0.0.1:{p}\r\n\r\n",
            "another host": f"GET /?token={TOKEN} HTTP/1.1\r\nHost: evil.example:{p}\r\n\r\n",
            "no host": f"GET /?token={TOKEN} HTTP/1.1\r\n\r\n",
            "a foreign origin": (f"GET /events?token={TOKEN} HTTP/1.1\r\nHost: 127.0.0.1:{p}\r\n"
                                 f"Origin: http://evil.example\r\n\r\n"),
            "a post": (f"POST /?token={TOKEN} HTTP/1.1\r\nHost: 127.0.0.1:{p}\r\n"
                       f"Content-Length: 2\r\n\r\nhi"),
        }
        for what, request in refused.items():
            with self.subTest(what):
                answer = http(p, request.encode())
                self.assertIn(status_of(answer), (0, 400, 403, 404, 405, 413, 431), answer)
                self.assertNotIn(b"<canvas", answer)
        with self.assertRaises(OSError, msg="served on another address than 127.0.0.1"):
            socket.create_connection(("127.0.0.2", p), timeout=2).close()

        # A flood of connections that never finish a request, and one that sends a byte a
        # second: keys still light the window.
        flood = []
        for _ in range(200):
            try:
                s = socket.create_connection(("127.0.0.1", p), timeout=2)
                s.sendall(b"GET /?token=")
                flood.append(s)
            except OSError:
                break
        stop = threading.Event()

        def slow():
            try:
                with socket.create_connection(("127.0.0.1", p), timeout=2) as s:
                    for byte in good:
                        if stop.wait(1.0):
                            return
                        s.sendall(bytes([byte]))
            except OSError:
                pass
        trickle = threading.Thread(target=slow)
        trickle.start()
        try:
            self.h.script("focus", f"key down {VK_A}")
            wait_until(lambda: self.key_lit_in_window(folder, PROFILES[0], "A"), 10,
                       "A lit in the window during the flood")
            self.h.script("focus", f"key up {VK_A}")
        finally:
            stop.set()
            trickle.join()
            for s in flood:
                s.close()
        def served() -> bool:
            try:
                return status_of(http(p, good)) == 200
            except OSError:
                return False  # the flood's connections not all let go yet
        wait_until(served, 10, "served again after the flood")
        self.h.close_window(MAIN_CLASS, MAIN_TITLE)
        app.wait_exit(timeout=30)

    def test_a_taken_port_is_said_once_and_the_keys_still_light(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", self.port))
            taken.listen(1)
            app, folder = self.start(wait_listening=False)
            box = self.h.msgbox(timeout=20)
            self.assertIsNotNone(box, "no message about the port")
            self.assertIn(str(self.port), box["text"])
            self.h.driver("msgbox-press", "OK", check=True)
            self.assertIsNone(self.h.msgbox(timeout=2), "said more than once")
            self.h.script("focus", f"key down {VK_A}")
            wait_until(lambda: self.key_lit_in_window(folder, PROFILES[0], "A"), 10, "A lit in the window")
            self.h.script("focus", f"key up {VK_A}")
        self.h.close_window(MAIN_CLASS, MAIN_TITLE)
        app.wait_exit(timeout=30)
        self.assertEqual(read_settings(folder)[("stream", "enabled")], "1", "the choice was kept")

    def test_turned_on_from_the_menu_with_a_new_secret_kept_in_the_settings(self):
        app, folder = self.start(stream=None, wait_listening=False)
        self.assertFalse(self.listening(), "served before the user turned it on")
        main = self.h.wait_window(MAIN_CLASS, MAIN_TITLE)
        self.h.driver("mouse", "click", str(main["client"][0] + 20), str(main["client"][1] + 20), "right",
                      check=True)
        self.h.wait_window(POPUP_MENU_CLASS, timeout=10)
        # The third item opens the submenu; its first item turns the page on.
        for key in ("DOWN", "DOWN", "DOWN", "RIGHT", "RETURN"):
            self.h.driver("key", "tap", key, check=True)
        box = self.h.msgbox(timeout=20)
        self.assertIsNotNone(box, "no word that the page is on")
        address = re.search(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", box["text"])
        self.assertIsNotNone(address, box["text"])
        self.h.driver("msgbox-press", "OK", check=True)
        settings = read_settings(folder)
        self.assertEqual(settings[("stream", "enabled")], "1")
        self.assertEqual(settings[("stream", "token")], address.group(2))
        self.assertNotEqual(address.group(2), TOKEN)
        port = int(address.group(1))
        request = f"GET /?token={address.group(2)} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n"
        self.assertEqual(status_of(http(port, request.encode())), 200)
        self.h.close_window(MAIN_CLASS, MAIN_TITLE)
        app.wait_exit(timeout=30)


if __name__ == "__main__":
    unittest.main()
