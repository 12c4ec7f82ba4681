"""Counters on the window under Wine: with counters=1 in [display], keys tapped through
SendInput (50 taps of A, fewer of others) show their counts in the corners of their cells,
pixel for pixel as the program's own font draws them, at 100 % and at 200 % display scale.
At 100 % the stream page is on as well and Debian's Chromium shows it with counters=1: the
same counts in its cells, and a KPS line that falls to 0 a second after the last tap,
pushed by the program (the page runs no clock of its own).

Each scale needs its own Wine session, so the class runs both once, up front. Screenshots
are left in the artifacts folder ("counters-<dpi>.png", the window and a margin;
"stream-counters.png", the page)."""

import contextlib
import io
import os
import re
import socket
import sys
import unittest
from pathlib import Path

from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (MAIN_CLASS, MAIN_TITLE, REPO, Harness, crop_rect, require_dist,  # noqa: E402
                     to_windows_path, wait_until)
from test_display import CELL, PROFILE, PROFILE_KEYS, cells_by_name  # noqa: E402
from browser import CHROMIUM, Browser  # noqa: E402
from test_stream_page import TOKEN, free_port  # noqa: E402

SCALES = {96: 1, 192: 2}
SCREEN = (1024, 768)
AT = (40, 40)
# Taps per key, as virtual-key codes; Shift is left at 0.
TAPS = {"A": (65, 50), "S": (83, 37), "D": (68, 12), "W": (87, 8), "Space": (32, 3)}


def digit_rows() -> list[list[str]]:
    """The program's digits, read from its source so the test draws what it draws."""
    source = (REPO / "display" / "counters.cpp").read_text(encoding="utf-8")
    rows = re.findall(r'\{("[#.]{3}"(?:,\s*"[#.]{3}"){4})\}', source)
    digits = [re.findall(r'"([#.]{3})"', r) for r in rows]
    assert len(digits) == 10, digits
    return digits


def count_block(count: int) -> list[str]:
    """'#' ink, 'o' its one-pixel outline, '.' clear, digits four pixels apart."""
    font = digit_rows()
    text = str(count)
    width, height = 4 * len(text) + 1, 7
    ink = {(4 * i + 1 + c, 1 + r) for i, ch in enumerate(text)
           for r, row in enumerate(font[int(ch)]) for c, px in enumerate(row) if px == "#"}
    return ["".join("#" if (x, y) in ink else
                    "o" if any((x + dx, y + dy) in ink for dx in (-1, 0, 1) for dy in (-1, 0, 1)) else "."
                    for x in range(width)) for y in range(height)]


def expected_grid(skin: Image.Image, cells: dict[str, int], counts: dict[str, int], scale: int) -> Image.Image:
    grid = Image.new("RGB", (3 * CELL, 2 * CELL))
    for slot, name in enumerate(PROFILE_KEYS):
        x0, y0 = (slot % 3) * CELL, (slot // 3) * CELL
        grid.paste(skin.crop((cells[name] * CELL, 0, cells[name] * CELL + CELL, CELL)), (x0, y0))
        block = count_block(counts.get(name, 0))
        left, top = x0 + CELL - 1 - len(block[0]), y0 + CELL - 1 - len(block)
        for y, row in enumerate(block):
            for x, px in enumerate(row):
                if px != ".":
                    grid.putpixel((left + x, top + y), (255, 255, 255) if px == "#" else (0, 0, 0))
    return grid.resize((grid.width * scale, grid.height * scale), Image.NEAREST)


def artifacts() -> Path:
    folder = Path(os.environ.get("LUMATAP_ARTIFACTS", REPO / "build" / "e2e-artifacts"))
    folder.mkdir(parents=True, exist_ok=True)
    return folder


# What the page records of itself, each time it draws: when, its counts, its KPS line.
RECORD_PAGE = """window.seen = [];
addEventListener('lumatap-drawn', () => seen.push([performance.now(),
    Array.from(document.querySelectorAll('.count'), e => e.textContent),
    document.getElementById('kps').textContent])); 0"""
KPS_LINE = re.compile(r"KPS (\d+)（最高 (\d+)）")


def run_at(dpi: int, page: bool = False) -> dict:
    seen = {}
    with Harness(screen=SCREEN, dpi=dpi) as h, Browser() if page else contextlib.nullcontext() as b:
        folder = h.new_app_folder()
        port = free_port()
        stream = f"[stream]\r\nenabled=1\r\nport={port}\r\ntoken={TOKEN}\r\n" if page else ""
        (folder / "lumatap.ini").write_bytes(
            (f"[window]\r\nX={AT[0]}\r\nY={AT[1]}\r\nframe=1\r\n[style]\r\nskin=default\r\n"
             f"[key]\r\nprofile={PROFILE}\r\n[display]\r\ncounters=1\r\n{stream}").encode("cp932"))
        h.launch(folder)
        main = h.wait_window(MAIN_CLASS, MAIN_TITLE)
        if page:
            def listening() -> bool:
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    return True
                except OSError:
                    return False
            wait_until(listening, 20, f"the page served on port {port}")
            b.open(f"http://127.0.0.1:{port}/?token={TOKEN}&scale=2&counters=1")
            b.wait_for(f"document.querySelectorAll('.count').length === {len(PROFILE_KEYS)} && "
                       "document.getElementById('kps').textContent !== ''", 20, "a count in every cell")
            b.evaluate(RECORD_PAGE)
            seen["page zero"] = (b.evaluate("Array.from(document.querySelectorAll('.count'), e => e.textContent)"),
                                 b.evaluate("document.getElementById('kps').textContent"))
        with Image.open(folder / "skin" / "default" / "keys.gif") as gif:
            skin = gif.convert("RGB")
        cells = cells_by_name(folder)
        scale = SCALES[dpi]
        grid = lambda: crop_rect(h.screenshot(), main["client"])  # noqa: E731
        zero = expected_grid(skin, cells, {}, scale).tobytes()
        seen["zero"] = wait_until(lambda: grid().tobytes() == zero, 10, "every cell at 0")

        # The driver's own window holds the focus, as a game would; taps of 2 ms, 15 ms apart.
        times = h.new_tmp_dir() / "keys.tsv"
        steps = [f"keytimes {vk} {n} 2000 15 {to_windows_path(times)}" for vk, n in TAPS.values()]
        h.script("focus 700 500 200 100", *steps, timeout=120)
        want = expected_grid(skin, cells, {k: n for k, (_, n) in TAPS.items()}, scale)
        try:
            seen["counted"] = bool(wait_until(lambda: grid().tobytes() == want.tobytes(), 10,
                                              "the counts in their cells"))
        finally:
            shot = h.screenshot()
            margin = 8 * scale
            r = main["rect"]
            crop_rect(shot, [r[0] - margin, r[1] - margin, r[2] + margin, r[3] + margin]).save(
                artifacts() / f"counters-{dpi}.png")
            seen["got"], seen["want"] = grid(), want
        if page:
            counts = [str(dict((k, n) for k, (_, n) in TAPS.items()).get(name, 0)) for name in PROFILE_KEYS]
            last = lambda: b.evaluate("seen.length ? seen[seen.length - 1] : null")  # noqa: E731
            wait_until(lambda: (last() or [0, None])[1] == counts, 10, "the counts on the page")
            wait_until(lambda: KPS_LINE.fullmatch(last()[2]).group(1) == "0", 10, "KPS back to 0 on the page")
            seen["page counts"], seen["page record"] = counts, b.evaluate("seen")
            # The grid at scale 2 and the KPS line under it (16 pixels a scale).
            shot = Image.open(io.BytesIO(b.screenshot((0, 0, 6 * CELL, 4 * CELL + 32))))
            shot.save(artifacts() / "stream-counters.png")
        h.close_window(MAIN_CLASS, MAIN_TITLE)
    return seen


class CountersTest(unittest.TestCase):
    runs: dict = {}

    @classmethod
    def setUpClass(cls) -> None:
        require_dist()
        cls.runs = {}
        for dpi in SCALES:
            try:
                cls.runs[dpi] = run_at(dpi, page=dpi == 96 and os.path.exists(CHROMIUM))
            except TimeoutError as e:
                cls.runs[dpi] = {"error": str(e)}

    def test_tapped_keys_show_their_counts_pixel_for_pixel_at_every_scale(self):
        for dpi, seen in self.runs.items():
            with self.subTest(dpi=dpi):
                self.assertNotIn("error", seen, seen.get("error"))
                self.assertTrue(seen["zero"])
                self.assertTrue(seen["counted"])

    @unittest.skipUnless(os.path.exists(CHROMIUM), f"{CHROMIUM} missing (tools/setup-deps.sh installs it)")
    def test_the_stream_page_shows_the_counts_and_kps_falls_a_second_after_the_last_tap(self):
        seen = self.runs[96]
        self.assertNotIn("error", seen, seen.get("error"))
        self.assertEqual(seen["page zero"], (["0"] * len(PROFILE_KEYS), "KPS 0（最高 0）"))
        record = seen["page record"]
        # The moment the last tap's count arrived, and the moment KPS read 0 after it.
        done = next(t for t, counts, _ in record if counts == seen["page counts"])
        zero = next(t for t, _, line in record if t >= done and KPS_LINE.fullmatch(line).group(1) == "0")
        self.assertGreaterEqual(zero - done, 800, "KPS fell before the last tap had left the second")
        self.assertLessEqual(zero - done, 3000, "KPS did not fall when the last tap left the second")
        # The page may skip a KPS it was never sent in time (it reads the newest), never
        # show one above the peak.
        kps = [int(KPS_LINE.fullmatch(line).group(1)) for _, _, line in record]
        peaks = {int(KPS_LINE.fullmatch(line).group(2)) for _, counts, line in record if counts == seen["page counts"]}
        self.assertEqual(len(peaks), 1, peaks)
        self.assertGreater(max(kps), 1)
        self.assertLessEqual(max(kps), peaks.pop())


if __name__ == "__main__":
    unittest.main()
