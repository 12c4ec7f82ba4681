#!/usr/bin/python3
"""Tests for gen_assets.py and check_assets.py.

    /usr/bin/python3 tools/test_check_assets.py

Most tests damage a copy of the shipped files in a temporary folder and make
sure the checker notices; a checker that always says "fine" is worse than
none.
"""

import contextlib
import io
import shutil
import sys
import tempfile
import unittest
from dataclasses import replace
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_assets as ca  # noqa: E402
import gen_assets as ga  # noqa: E402
from PIL import Image  # noqa: E402

HEADER = "vk\tcell\tname\tcap\n"


class TableParsing(unittest.TestCase):
    def test_reads_rows_caps_and_shared_cells(self):
        keys = ga.parse_table(HEADER + "# c\n\n16\t3\tShift\n160\t3\t左Shift\n8\t4\tBackSpace\tBack\\nSpace\n")
        self.assertEqual([(k.vk, k.cell, k.name) for k in keys],
                         [(16, 3, "Shift"), (160, 3, "左Shift"), (8, 4, "BackSpace")])
        self.assertEqual(ga.caps_by_cell(keys), {3: "Shift", 4: "Back\nSpace"})

    def test_rejects_bad_rows(self):
        bad = {
            "duplicate code": "65\t1\tA\n65\t2\tA2\n",
            "cell 0": "65\t0\tA\n",
            "cell past the strip": "65\t85\tA\n",
            "code 0": "0\t1\tA\n",
            "not CP932": "65\t1\tA\u00e9\u20ac\U0001F600\n",
            "empty name": "65\t1\t\n",
            "too many fields": "65\t1\tA\tA\tx\n",
            "conflicting caps": "65\t1\tA\tA\n66\t1\tB\tB\n",
            "not a number": "0x41\t1\tA\n",
            "no such mouse button": "1\t1\t左クリック\tmouse:X\n",
        }
        for why, rows in bad.items():
            with self.subTest(why), self.assertRaises(ga.TableError):
                ga.parse_table(HEADER + rows)

    def test_requires_header(self):
        with self.assertRaises(ga.TableError):
            ga.parse_table("65\t1\tA\n")

    def test_keylist_bytes_are_cp932_with_crlf(self):
        keys = ga.parse_table(HEADER + "38\t1\t↑\n29\t2\t無変換\n")
        self.assertEqual(ga.keylist_bytes(keys),
                         b"38\t1\t\x81\xaa\r\n29\t2\t\x96\xb3\x95\xcf\x8a\xb7\r\n")


class ShippedTable(unittest.TestCase):
    def setUp(self):
        self.keys = ga.load_table()

    def test_policy_holds(self):
        self.assertEqual(ca.check_table(self.keys), [])

    def test_policy_catches_missing_and_renamed_keys(self):
        keys = [replace(k, name="space") if k.vk == 32 else k for k in self.keys if k.vk != 38]
        errors = "\n".join(ca.check_table(keys))
        self.assertIn("code 38", errors)
        self.assertIn("'Space'", errors)
        self.assertIn("cells without a key", errors)

    def test_policy_catches_a_mouse_button_without_its_own_mouse_picture(self):
        cases = {
            "drawn as a label": lambda k: replace(k, cap="L") if k.vk == 1 else k,
            "another button marked": lambda k: replace(k, cap="mouse:L") if k.vk == 2 else k,
            "sharing a cell": lambda k: replace(k, cell=76) if k.vk == 187 else k,
            "renamed": lambda k: replace(k, name="マウス右") if k.vk == 2 else k,
        }
        for why, edit in cases.items():
            with self.subTest(why):
                errors = "\n".join(ca.check_table([edit(k) for k in self.keys]))
                self.assertRegex(errors, r"code [12] must")

    def test_policy_catches_split_modifier(self):
        keys = [replace(k, cell=1) if k.vk == 160 else k for k in self.keys]
        self.assertTrue(any("160" in e for e in ca.check_table(keys)))

    def test_every_label_fits_and_stays_readable(self):
        w, h = ga.TEXT_AREA
        for cap in ga.caps_by_cell(self.keys).values():
            if ga.mouse_button(cap):
                continue  # a picture, not a label
            with self.subTest(cap=cap):
                m = ga.label_mask(cap)
                self.assertLessEqual(m.width, w)
                self.assertLessEqual(m.height, h)
                for text, size, squeeze in ga.label_layout(cap, w, h):
                    # Below ~9 px the CJK glyphs turn into blobs at 1x.
                    self.assertGreaterEqual(size, 9, text)
                    self.assertGreaterEqual(squeeze, ga.MIN_SQUEEZE, text)


class Generator(unittest.TestCase):
    def test_deterministic(self):
        keys = ga.load_table()
        self.assertEqual(ga.build(keys), ga.build(keys))

    def test_exact_palette_round_trips(self):
        im = Image.new("RGB", (4, 1))
        im.putdata([(1, 2, 3), (250, 0, 0), (1, 2, 3), (0, 0, 9)])
        p = ga.to_gif_image(im)
        self.assertEqual(p.mode, "P")
        self.assertEqual(list(p.convert("RGB").getdata()), list(im.getdata()))


class Checker(unittest.TestCase):
    """Runs the checker on a damaged copy of the repository's assets."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = Path(self.tmp.name)
        (self.root / "tools").mkdir()
        shutil.copy(ga.TABLE_PATH, self.root / "tools" / "keytable.tsv")
        shutil.copytree(ga.ROOT / "assets", self.root / "assets")
        (self.root / ga.ICON_REL).parent.mkdir(parents=True)
        shutil.copy(ga.ROOT / ga.ICON_REL, self.root / ga.ICON_REL)

    def tearDown(self):
        self.tmp.cleanup()

    def errors(self, render=False):
        return "\n".join(ca.check(self.root, render=render))

    def keylist(self):
        return self.root / ga.KEYLIST_REL

    def skin(self, name="default"):
        return self.root / ga.skin_rel(name)

    def edit_skin(self, fn, name="default"):
        with Image.open(self.skin(name)) as im:
            rgb = im.convert("RGB")
        out = fn(rgb)
        out.save(self.skin(name), format="GIF")

    def test_shipped_copy_passes(self):
        self.assertEqual(self.errors(render=True), "")

    def test_icon_missing_a_size_or_drawn_differently(self):
        icon = self.root / ga.ICON_REL
        images = [ga.render_icon(s) for s in ga.ICON_SIZES]
        icon.write_bytes(ga.ico_bytes(images[:-1]))
        self.assertIn("sizes", self.errors(render=True))
        images[1] = images[1].transpose(Image.FLIP_LEFT_RIGHT)
        icon.write_bytes(ga.ico_bytes(images))
        self.assertIn("20 px differs", self.errors(render=True))

    def test_lf_line_ends(self):
        self.keylist().write_bytes(self.keylist().read_bytes().replace(b"\r\n", b"\n"))
        self.assertIn("CR LF", self.errors())

    def test_missing_final_crlf(self):
        self.keylist().write_bytes(self.keylist().read_bytes()[:-2])
        self.assertIn("last line", self.errors())

    def test_utf8_instead_of_cp932(self):
        text = self.keylist().read_bytes().decode("cp932")
        self.keylist().write_bytes(text.encode("utf-8"))
        self.assertIn("keylist.dat", self.errors())

    def test_keylist_drifted_from_table(self):
        data = self.keylist().read_bytes().replace(b"65\t1\tA\r\n", b"65\t2\tA\r\n")
        self.keylist().write_bytes(data)
        self.assertIn("keytable.tsv says (65, 1, 'A')", self.errors())

    def test_table_edit_without_regeneration(self):
        table = self.root / "tools" / "keytable.tsv"
        text = table.read_text(encoding="utf-8").replace("\n27\t58\tEsc\n", "\n27\t58\tEsc\tESC\n")
        self.assertIn("ESC", text)
        table.write_text(text, encoding="utf-8")
        self.assertIn("out of date", self.errors(render=True))

    def test_wrong_size(self):
        self.edit_skin(lambda im: im.crop((0, 0, 4032, 96)))
        self.assertIn("must be 4080x96", self.errors())

    def test_cells_shifted_by_one_pixel(self):
        def shift(im):
            out = Image.new("RGB", im.size, im.getpixel((0, 0)))
            out.paste(im, (1, 0))
            return out
        self.edit_skin(shift)
        self.assertIn("misaligned", self.errors())

    def test_pressed_row_same_as_released(self):
        def copy_up(im):
            im.paste(im.crop((0, 0, 4080, 48)), (0, 48))
            return im
        self.edit_skin(copy_up, "WASD黒ルコ")
        self.assertIn("pressed picture changes only 0%", self.errors())

    def test_blank_and_duplicate_cells(self):
        def wipe(im):
            blank = im.crop((0, 0, 48, 96))
            im.paste(blank, (5 * 48, 0))          # cell 5 loses its label
            im.paste(im.crop((48, 0, 96, 96)), (9 * 48, 0))   # cell 9 shows cell 1
            return im
        self.edit_skin(wipe)
        errors = self.errors()
        self.assertIn("cell 5 released picture is the blank cap", errors)
        self.assertIn("cells 1 and 9 look the same", errors)

    def test_missing_skin(self):
        self.skin("WASD黒ルコ").unlink()
        self.assertIn("WASD黒ルコ/keys.gif: missing", self.errors())

    def test_command_line_exit_status(self):
        args = ["--root", str(self.root), "--no-render"]
        with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()):
            ok = ca.main(args)
            self.keylist().write_bytes(b"")
            broken = ca.main(args)
        self.assertEqual((ok, broken), (0, 1))


if __name__ == "__main__":
    unittest.main()
