#!/usr/bin/python3
"""Checks that the shipped key definitions and skins match tools/keytable.tsv.

Run from anywhere; exits 0 when everything matches, 1 otherwise, printing
one line per problem:

    /usr/bin/python3 tools/check_assets.py [--root DIR] [--no-render]

--no-render skips re-drawing the skins and comparing pixels (useful where
the Noto CJK fonts are not installed).
"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import gen_assets as ga  # noqa: E402
from PIL import Image  # noqa: E402

# Keys the app's presets and docs refer to by name or code.
REQUIRED_NAMES = {
    "Shift": 16, "W": 87, "A": 65, "S": 83, "D": 68, "Space": 32,
    "Z": 90, "X": 88, "↑": 38, "←": 37, "↓": 40, "→": 39,
    "Ctrl": 17, "Alt": 18, "Enter": 13, "Esc": 27, "Tab": 9,
}
REQUIRED_CODES = (
    list(range(ord("A"), ord("Z") + 1))
    + list(range(ord("0"), ord("9") + 1))
    + list(range(112, 124))             # F1..F12
    + [37, 38, 39, 40, 8, 9, 13, 16, 17, 18, 27, 32]
    + list(range(96, 106))              # keypad digits
)
SIDED = {160: 16, 161: 16, 162: 17, 163: 17, 164: 18, 165: 18}
# The mouse buttons by their virtual-key codes, each with its own cell showing a mouse with
# that button marked.
MOUSE = {1: ("左クリック", "L"), 2: ("右クリック", "R"), 4: ("中クリック", "M"), 5: ("マウス4", "4"), 6: ("マウス5", "5")}

# A pressed cap must differ from the released one over a good part of the
# cell, not just in a few pixels, or players will not see it light up.
MIN_PRESSED_CHANGE = 0.25


def check_table(keys):
    errors = []
    by_vk = {k.vk: k for k in keys}
    used = {k.cell for k in keys}
    missing_cells = sorted(set(range(1, ga.CELL_COUNT)) - used)
    if missing_cells:
        errors.append(f"keytable: cells without a key: {missing_cells}")
    for name, vk in REQUIRED_NAMES.items():
        k = by_vk.get(vk)
        if k is None or k.name != name:
            got = "missing" if k is None else repr(k.name)
            errors.append(f"keytable: code {vk} must be named {name!r} ({got})")
    for vk in REQUIRED_CODES:
        if vk not in by_vk:
            errors.append(f"keytable: code {vk} is not defined")
    for vk, base in SIDED.items():
        if vk in by_vk and base in by_vk and by_vk[vk].cell != by_vk[base].cell:
            errors.append(f"keytable: code {vk} must share cell {by_vk[base].cell} with code {base}")
    for vk, (name, button) in MOUSE.items():
        k = by_vk.get(vk)
        if k is None or k.name != name:
            got = "missing" if k is None else repr(k.name)
            errors.append(f"keytable: code {vk} must be named {name!r} ({got})")
        elif ga.mouse_button(k.cap) != button:
            errors.append(f"keytable: code {vk} must show the mouse with button {button} marked, not {k.cap!r}")
        elif sum(1 for other in keys if other.cell == k.cell) > 1:
            errors.append(f"keytable: code {vk} must have cell {k.cell} to itself")
    names = {}
    for k in keys:
        if k.name in names:
            errors.append(f"keytable: name {k.name!r} used by codes {names[k.name]} and {k.vk}")
        names[k.name] = k.vk
    caps = {}
    for cell, cap in ga.caps_by_cell(keys).items():
        if cap in caps:
            errors.append(f"keytable: cells {caps[cap]} and {cell} have the same cap {cap!r}")
        caps[cap] = cell
    return errors


def parse_keylist(data):
    """Reads keylist.dat the way the app does; returns (rows, errors)."""
    errors = []
    rows = []
    if not data.endswith(b"\r\n"):
        errors.append("keylist.dat: last line does not end with CR LF")
    try:
        text = data.decode("cp932")
    except UnicodeDecodeError as e:
        return rows, errors + [f"keylist.dat: not valid CP932 at byte {e.start}"]
    body = text[:-2] if text.endswith("\r\n") else text
    for n, line in enumerate(body.split("\r\n"), 1):
        if "\r" in line or "\n" in line:
            errors.append(f"keylist.dat line {n}: stray CR or LF (lines must end with CR LF)")
            continue
        fields = line.split("\t")
        if len(fields) != 3:
            errors.append(f"keylist.dat line {n}: expected 3 TAB-separated fields, got {len(fields)}")
            continue
        try:
            vk, cell = int(fields[0]), int(fields[1])
        except ValueError:
            errors.append(f"keylist.dat line {n}: code and cell must be decimal")
            continue
        if not 1 <= cell < ga.CELL_COUNT:
            errors.append(f"keylist.dat line {n}: cell {cell} out of range")
        if not fields[2]:
            errors.append(f"keylist.dat line {n}: empty name")
        rows.append((vk, cell, fields[2]))
    return rows, errors


def check_keylist(root, keys):
    path = root / ga.KEYLIST_REL
    if not path.is_file():
        return [f"{ga.KEYLIST_REL}: missing"]
    data = path.read_bytes()
    rows, errors = parse_keylist(data)
    want = [(k.vk, k.cell, k.name) for k in keys]
    if not errors and rows != want:
        for n, (got, exp) in enumerate(zip(rows, want), 1):
            if got != exp:
                errors.append(f"keylist.dat line {n}: {got} but keytable.tsv says {exp}")
                break
        if len(rows) != len(want):
            errors.append(f"keylist.dat: {len(rows)} keys, keytable.tsv has {len(want)}")
    if not errors and data != ga.keylist_bytes(keys):
        errors.append("keylist.dat: bytes differ from what gen_assets.py writes")
    if errors:
        errors.append("keylist.dat: regenerate with /usr/bin/python3 tools/gen_assets.py")
    return errors


def _cell(img, k, row):
    return img.crop((k * ga.CELL, row * ga.CELL, (k + 1) * ga.CELL, (row + 1) * ga.CELL))


def _changed_share(a, b):
    pa, pb = a.getdata(), b.getdata()
    return sum(1 for x, y in zip(pa, pb) if x != y) / len(pa)


def check_skin(root, skin, keys):
    rel = ga.skin_rel(skin)
    path = root / rel
    if not path.is_file():
        return [f"{rel}: missing"]
    errors = []
    with Image.open(path) as im:
        if im.format != "GIF":
            errors.append(f"{rel}: not a GIF ({im.format})")
        if im.size != ga.SKIN_SIZE:
            return errors + [f"{rel}: size {im.size[0]}x{im.size[1]}, must be {ga.SKIN_SIZE[0]}x{ga.SKIN_SIZE[1]}"]
        if getattr(im, "n_frames", 1) != 1:
            errors.append(f"{rel}: has {im.n_frames} frames; only the first is shown")
        rgb = im.convert("RGB")

    # Every cap sits centred in its cell with the same gap on all sides, so
    # opposite edges of a cell match; a strip shifted by even one pixel
    # (wrong cell width, stray margin) breaks that.
    for k in range(ga.CELL_COUNT):
        for row in (0, 1):
            c = _cell(rgb, k, row)
            last = ga.CELL - 1
            left = [c.getpixel((0, y)) for y in range(ga.CELL)]
            right = [c.getpixel((last, y)) for y in range(ga.CELL)]
            top = [c.getpixel((x, 0)) for x in range(ga.CELL)]
            bottom = [c.getpixel((x, last)) for x in range(ga.CELL)]
            if left != right or top != bottom:
                errors.append(f"{rel}: cell {k} row {row}: uneven gap around the cap; cells misaligned?")

    blank_up, blank_down = _cell(rgb, 0, 0), _cell(rgb, 0, 1)
    if blank_up.tobytes() != blank_down.tobytes():
        errors.append(f"{rel}: cell 0 must be the same blank cap in both rows")
    seen = {}
    for cell in sorted(ga.caps_by_cell(keys)):
        up, down = _cell(rgb, cell, 0), _cell(rgb, cell, 1)
        if up.tobytes() == blank_up.tobytes():
            errors.append(f"{rel}: cell {cell} released picture is the blank cap (no label)")
        share = _changed_share(up, down)
        if share < MIN_PRESSED_CHANGE:
            errors.append(f"{rel}: cell {cell} pressed picture changes only {share:.0%} of the cell")
        key = up.tobytes()
        if key in seen:
            errors.append(f"{rel}: cells {seen[key]} and {cell} look the same")
        seen[key] = cell
    return errors


def check_rendered(root, keys):
    """Re-draws the skins and compares pixels, so a table edit that was not
    followed by a regeneration is caught."""
    errors = []
    caps = ga.caps_by_cell(keys)
    for skin in ga.SKINS:
        rel = ga.skin_rel(skin)
        path = root / rel
        if not path.is_file():
            continue
        want = ga.to_gif_image(ga.render_skin(ga.STYLES[skin], caps)).convert("RGB")
        with Image.open(path) as im:
            got = im.convert("RGB")
        if got.size != want.size or got.tobytes() != want.tobytes():
            errors.append(f"{rel}: out of date with keytable.tsv; run /usr/bin/python3 tools/gen_assets.py")
    return errors


def check_icon(root):
    """The icon holds every size the program asks Windows for, each as drawn for it."""
    path = root / ga.ICON_REL
    if not path.is_file():
        return [f"{ga.ICON_REL}: missing; run /usr/bin/python3 tools/gen_assets.py"]
    errors = []
    with Image.open(path) as im:
        sizes = sorted(w for w, _ in im.info.get("sizes", ()))
        if sizes != sorted(ga.ICON_SIZES):
            return [f"{ga.ICON_REL}: sizes {sizes}, must be {list(ga.ICON_SIZES)}"]
        for size in ga.ICON_SIZES:
            got = im.ico.getimage((size, size)).convert("RGBA")
            if got.tobytes() != ga.render_icon(size).tobytes():
                errors.append(f"{ga.ICON_REL}: {size} px differs from what gen_assets.py draws")
    return errors


def check(root, render=True):
    root = Path(root)
    try:
        keys = ga.load_table(root / "tools" / "keytable.tsv")
    except (ga.TableError, OSError) as e:
        return [f"keytable.tsv: {e}"]
    errors = check_table(keys)
    errors += check_keylist(root, keys)
    for skin in ga.SKINS:
        errors += check_skin(root, skin, keys)
    if render:
        if Path(ga.FONT_BOLD).is_file():
            errors += check_rendered(root, keys)
            errors += check_icon(root)
        else:
            print(f"check_assets: {ga.FONT_BOLD} not installed; skipping the pixel comparison", file=sys.stderr)
    return errors


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--root", default=str(ga.ROOT), help="repository root (default: this checkout)")
    ap.add_argument("--no-render", action="store_true", help="do not re-draw the skins for comparison")
    args = ap.parse_args(argv)
    errors = check(args.root, render=not args.no_render)
    for e in errors:
        print(e)
    if errors:
        print(f"check_assets: {len(errors)} problem(s)", file=sys.stderr)
        return 1
    print("check_assets: keylist.dat and skins match keytable.tsv")
    return 0


if __name__ == "__main__":
    sys.exit(main())
