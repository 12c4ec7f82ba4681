#!/usr/bin/python3
"""Builds assets/keylist.dat, the two shipped skins and the program icon.

The key table is the only place where key codes, cells and names live; both the
key definition file and the pictures come from it, so they cannot disagree.
The output is committed, so building Lumatap never needs Python or Pillow.

Needs Debian's python3-pil and fonts-noto-cjk.  Running it twice gives the
same bytes: nothing here depends on time, randomness or dict order.

    /usr/bin/python3 tools/gen_assets.py            # writes into the repository
    /usr/bin/python3 tools/gen_assets.py --out DIR  # writes DIR/assets/...
"""

import argparse
import io
import os
import struct
import sys
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TABLE_PATH = ROOT / "tools" / "keytable.tsv"

CELL = 48                  # one cell is CELL x CELL, released row on top
CELL_COUNT = 85            # cell 0 is the blank cap for unassigned slots
SKIN_SIZE = (CELL * CELL_COUNT, CELL * 2)

KEYLIST_REL = Path("assets") / "keylist.dat"

# A cap "mouse:<button>" draws a mouse seen from above with that button marked: the left
# and right buttons, the wheel, and the thumb's side buttons 4 (back) and 5 (forward).
MOUSE_PREFIX = "mouse:"
MOUSE_BUTTONS = ("L", "R", "M", "4", "5")


def mouse_button(cap):
    """The button a mouse cap marks, or None for a cap that is a label."""
    return cap[len(MOUSE_PREFIX):] if cap.startswith(MOUSE_PREFIX) else None
SKINS = ("default", "WASD黒ルコ")


def skin_rel(skin):
    return Path("assets") / "skin" / skin / "keys.gif"


# --------------------------------------------------------------------------
# key table


class TableError(ValueError):
    pass


@dataclass(frozen=True)
class Key:
    vk: int
    cell: int
    name: str
    cap: str       # label drawn on the key; "\n" separates lines
    line: int      # line number in keytable.tsv, for error messages


def parse_table(text):
    """Parses keytable.tsv text into Keys in file order.

    Rejects anything that would make a broken keylist.dat or an ambiguous
    picture: duplicate codes, cells out of range, names the Windows side
    cannot read in CP932, and keys sharing a cell with different caps.
    """
    keys = []
    seen_vk = {}
    cap_of_cell = {}
    header_seen = False
    for lineno, raw in enumerate(text.split("\n"), 1):
        line = raw.rstrip("\r")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split("\t")
        if not header_seen:
            if fields[:3] != ["vk", "cell", "name"]:
                raise TableError(f"line {lineno}: expected the header 'vk<TAB>cell<TAB>name<TAB>cap'")
            header_seen = True
            continue
        if not 3 <= len(fields) <= 4:
            raise TableError(f"line {lineno}: expected 3 or 4 TAB-separated fields, got {len(fields)}")
        vk_s, cell_s, name = fields[:3]
        cap_s = fields[3] if len(fields) == 4 else ""
        try:
            vk = int(vk_s)
            cell = int(cell_s)
        except ValueError:
            raise TableError(f"line {lineno}: vk and cell must be decimal numbers") from None
        if not 1 <= vk <= 254:
            raise TableError(f"line {lineno}: virtual-key code {vk} is outside 1..254")
        if not 1 <= cell < CELL_COUNT:
            raise TableError(f"line {lineno}: cell {cell} is outside 1..{CELL_COUNT - 1} (cell 0 is the blank cap)")
        if vk in seen_vk:
            raise TableError(f"line {lineno}: code {vk} already defined on line {seen_vk[vk]}")
        if not name or name != name.strip():
            raise TableError(f"line {lineno}: name is empty or has surrounding blanks")
        try:
            name.encode("cp932")
        except UnicodeEncodeError:
            raise TableError(f"line {lineno}: name {name!r} cannot be written in CP932") from None
        cap = (cap_s or name).replace("\\n", "\n")
        if cap.startswith(MOUSE_PREFIX) and cap[len(MOUSE_PREFIX):] not in MOUSE_BUTTONS:
            raise TableError(f"line {lineno}: {cap!r} names no mouse button (one of {', '.join(MOUSE_BUTTONS)})")
        if cell in cap_of_cell:
            # Extra codes of the same physical key inherit its cap.
            if cap_s and cap != cap_of_cell[cell]:
                raise TableError(f"line {lineno}: cell {cell} already has the cap {cap_of_cell[cell]!r}")
            cap = cap_of_cell[cell]
        else:
            cap_of_cell[cell] = cap
        seen_vk[vk] = lineno
        keys.append(Key(vk, cell, name, cap, lineno))
    if not header_seen:
        raise TableError("no header line found")
    if not keys:
        raise TableError("the table has no keys")
    return keys


def load_table(path=TABLE_PATH):
    return parse_table(Path(path).read_text(encoding="utf-8"))


def caps_by_cell(keys):
    caps = {}
    for k in keys:
        caps.setdefault(k.cell, k.cap)
    return caps


def keylist_bytes(keys):
    """keylist.dat as the app reads it: CP932, CR LF after every line."""
    return b"".join(f"{k.vk}\t{k.cell}\t{k.name}\r\n".encode("cp932") for k in keys)


# --------------------------------------------------------------------------
# drawing

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont  # noqa: E402

FONT_BOLD = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc"
FONT_JP_INDEX = 0          # "Noto Sans CJK JP" inside the collection
SS = 4                     # shapes are drawn at 4x and box-filtered down

# Cap geometry in cell pixels.  The cap body leaves a 1 px gap to the cell
# edge (2 px between neighbours).  The face sits higher than the body so the
# thicker bottom rim reads as the side of a key; pressed, the face drops by
# PRESS_DROP and the side almost disappears.
BODY = (1, 1, 47, 47)      # left, top, right, bottom (exclusive)
BODY_RADIUS = 7
FACE = (3, 2, 45, 41)
FACE_RADIUS = 5
PRESS_DROP = 3
# The dropped face must stay inside the body's rim, or it pokes out below.
assert FACE[3] + PRESS_DROP <= BODY[3] - 2
TEXT_PAD_X = 2             # keeps ink off the face's rounded edge
TEXT_PAD_Y = 2
# Room for a label: the face less its top highlight line and the padding.
TEXT_AREA = (FACE[2] - FACE[0] - 2 * TEXT_PAD_X, FACE[3] - FACE[1] - 1 - 2 * TEXT_PAD_Y)


@dataclass(frozen=True)
class Look:
    rim: tuple             # outline of the cap body
    side: tuple            # body colour seen below/around the face
    face_top: tuple        # face gradient, top
    face_bottom: tuple     # face gradient, bottom
    highlight: tuple       # 1 px line along the top of the face
    text: tuple
    glow: tuple = None     # colour bled into the gap around the cap


@dataclass(frozen=True)
class Style:
    background: tuple
    released: Look
    pressed: Look


STYLES = {
    # Light and neutral, for a normal desktop window.  Pressed keys turn
    # amber: it reads as "lit" and keeps dark text legible.
    "default": Style(
        background=(238, 240, 243),
        released=Look(
            rim=(160, 166, 176),
            side=(196, 201, 209),
            face_top=(250, 251, 252),
            face_bottom=(226, 229, 234),
            highlight=(255, 255, 255),
            text=(36, 40, 48),
        ),
        pressed=Look(
            rim=(176, 98, 10),
            side=(222, 128, 20),
            face_top=(255, 205, 96),
            face_bottom=(255, 160, 36),
            highlight=(255, 232, 170),
            text=(52, 28, 0),
        ),
    ),
    # Black, for a frameless window laid over a game: the caps stay quiet
    # until pressed, then light up cyan with a glow into the gap.
    "WASD黒ルコ": Style(
        background=(0, 0, 0),
        released=Look(
            rim=(58, 61, 70),
            side=(30, 32, 37),
            face_top=(34, 36, 42),
            face_bottom=(20, 21, 25),
            highlight=(64, 68, 78),
            text=(232, 234, 240),
        ),
        pressed=Look(
            rim=(150, 250, 255),
            side=(0, 150, 176),
            face_top=(120, 246, 255),
            face_bottom=(0, 214, 240),
            highlight=(210, 255, 255),
            text=(0, 22, 30),
            glow=(0, 230, 255),
        ),
    ),
}


_font_cache = {}


def font(size):
    f = _font_cache.get(size)
    if f is None:
        f = ImageFont.truetype(FONT_BOLD, size, index=FONT_JP_INDEX)
        _font_cache[size] = f
    return f


def _scaled(box, dy=0):
    l, t, r, b = box
    return (l * SS, (t + dy) * SS, r * SS - 1, (b + dy) * SS - 1)


def _rounded_mask(box, radius, dy=0):
    m = Image.new("L", (CELL * SS, CELL * SS), 0)
    ImageDraw.Draw(m).rounded_rectangle(_scaled(box, dy), radius * SS, fill=255)
    return m


def _gradient(top, bottom, y0, y1):
    """Full-size image with a vertical gradient between rows y0 and y1."""
    h = CELL * SS
    col = Image.new("RGB", (1, h))
    px = col.load()
    span = max(1, y1 - y0 - 1)
    for y in range(h):
        t = min(1.0, max(0.0, (y - y0) / span))
        px[0, y] = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return col.resize((CELL * SS, h), Image.NEAREST)


def _ink(text, size):
    m = font(size).getmask(text, mode="L")
    if not (m.size[0] and m.size[1]):
        return Image.new("L", (1, 1))
    im = Image.frombytes("L", m.size, bytes(m))
    bbox = im.getbbox()
    return im.crop(bbox) if bbox else im


def _line_ink(text, size, squeeze=1.0):
    """Mask of one text line, cropped to its ink.

    squeeze < 1 narrows the glyphs: words like "Space" stay tall enough to
    read instead of shrinking to a smudge.  Squeezed text is rendered large
    and filtered down, which keeps its edges smooth.
    """
    if squeeze >= 1.0:
        return _ink(text, size)
    big = _ink(text, size * SS)
    w = max(1, round(big.width * squeeze / SS))
    h = max(1, round(big.height / SS))
    return big.resize((w, h), Image.BOX)


def _max_size(text, line_count):
    # One glyph gets the biggest type so letters and digits look the same;
    # punctuation and arrows have little ink, so they go bigger still.
    # Longer words and two-line labels start smaller and shrink to fit.
    if len(text) == 1:
        if line_count > 1:
            return 20
        return 22 if text.isalnum() else 28
    return 15 if line_count > 1 else 18


LINE_GAP = 3
MIN_SIZE = 7
MIN_SQUEEZE = 0.78


def _fit_line(text, size, width):
    """Largest (size, squeeze) not above size whose ink fits in width."""
    while True:
        w = _ink(text, size).width
        if w <= width:
            return size, 1.0
        if w * MIN_SQUEEZE <= width or size <= MIN_SIZE:
            return size, max(MIN_SQUEEZE, width / w)
        size -= 1


def label_layout(label, width, height):
    """(text, font size, squeeze) for each line of a label, fitted into
    width x height."""
    lines = label.split("\n")
    fits = [_fit_line(t, _max_size(t, len(lines)), width) for t in lines]
    while True:
        inks = [_line_ink(t, s, q) for t, (s, q) in zip(lines, fits)]
        total = sum(i.height for i in inks) + LINE_GAP * (len(inks) - 1)
        top = max(s for s, _ in fits)
        if total <= height or top <= MIN_SIZE:
            return [(t, s, q) for t, (s, q) in zip(lines, fits)]
        fits = [_fit_line(t, s - 1, width) if s == top else (s, q)
                for t, (s, q) in zip(lines, fits)]


def label_mask(label, width=None, height=None):
    """Anti-aliased mask of a label, cropped to its ink."""
    width = TEXT_AREA[0] if width is None else width
    height = TEXT_AREA[1] if height is None else height
    inks = [_line_ink(t, s, q) for t, s, q in label_layout(label, width, height)]
    w = max(i.width for i in inks)
    total = sum(i.height for i in inks) + LINE_GAP * (len(inks) - 1)
    out = Image.new("L", (w, total), 0)
    y = 0
    for ink in inks:
        out.paste(ink, ((w - ink.width) // 2, y))
        y += ink.height + LINE_GAP
    return out


# The mouse in cell pixels: body, the line between the two buttons, the wheel and the
# side buttons on the left flank, forward (5) above back (4) as a right thumb meets them.
# A side button's cell also carries its number in the body's lower half.
MOUSE_BODY = (16, 5, 37, 40)
MOUSE_RADIUS = 9
MOUSE_SPLIT_Y = 18
MOUSE_WHEEL = (24, 8, 29, 16)
MOUSE_SIDE = {"5": (10, 18, 19, 25), "4": (10, 27, 19, 34)}
MOUSE_LINE = 2
MOUSE_DIGIT_SIZE = 13


def mouse_mask(button, dy=0):
    """Mask of the mouse with `button` marked, at SS times the cell size."""
    m = Image.new("L", (CELL * SS, CELL * SS), 0)
    d = ImageDraw.Draw(m)
    line = MOUSE_LINE * SS
    for side, box in MOUSE_SIDE.items():
        d.rounded_rectangle(_scaled(box, dy), 2 * SS, fill=255 if side == button else 0, outline=255, width=line)
    # The body hides the side buttons' inner halves.
    body = _scaled(MOUSE_BODY, dy)
    d.rounded_rectangle(body, MOUSE_RADIUS * SS, fill=0, outline=255, width=line)
    split = (MOUSE_SPLIT_Y + dy) * SS
    mid = (body[0] + body[2] + 1) // 2
    if button in ("L", "R"):
        # The button is the body's top corner on its side, down to the split line.
        shape = Image.new("L", m.size, 0)
        ImageDraw.Draw(shape).rounded_rectangle(body, MOUSE_RADIUS * SS, fill=255)
        keep = Image.new("L", m.size, 0)
        x0, x1 = (body[0], mid) if button == "L" else (mid, body[2])
        ImageDraw.Draw(keep).rectangle((x0, body[1], x1, split), fill=255)
        m.paste(255, (0, 0), ImageChops.multiply(shape, keep))
    d.rectangle((body[0], split - line // 2, body[2], split + line // 2 - 1), fill=255)
    d.rectangle((mid - line // 2, body[1], mid + line // 2 - 1, split), fill=255)
    wheel = _scaled(MOUSE_WHEEL, dy)
    if button == "M":
        d.rounded_rectangle((wheel[0] - SS, wheel[1] - SS, wheel[2] + SS, wheel[3] + SS), 2 * SS, fill=255)
    else:
        d.rounded_rectangle(wheel, 2 * SS, fill=0, outline=255, width=SS)
    if button in MOUSE_SIDE:
        digit = _ink(button, MOUSE_DIGIT_SIZE * SS)
        cx = (body[0] + body[2]) // 2
        cy = (split + body[3]) // 2
        m.paste(255, (cx - digit.width // 2, cy - digit.height // 2), digit)
    return m


def render_cell(style, label, pressed):
    """One 48 x 48 cell; label None draws the blank cap."""
    look = style.pressed if pressed else style.released
    dy = PRESS_DROP if pressed else 0
    big = Image.new("RGB", (CELL * SS, CELL * SS), style.background)

    body = _rounded_mask(BODY, BODY_RADIUS)
    if look.glow:
        halo = body.filter(ImageFilter.GaussianBlur(2.5 * SS))
        big.paste(Image.new("RGB", big.size, look.glow), (0, 0), halo)

    big.paste(Image.new("RGB", big.size, look.rim), (0, 0), body)
    inner = (BODY[0] + 1, BODY[1] + 1, BODY[2] - 1, BODY[3] - 1)
    big.paste(Image.new("RGB", big.size, look.side), (0, 0), _rounded_mask(inner, BODY_RADIUS - 1))

    face = FACE
    big.paste(Image.new("RGB", big.size, look.highlight), (0, 0), _rounded_mask(face, FACE_RADIUS, dy))
    face_lower = (face[0], face[1] + 1, face[2], face[3])
    grad = _gradient(look.face_top, look.face_bottom, (face[1] + dy) * SS, (face[3] + dy) * SS)
    big.paste(grad, (0, 0), _rounded_mask(face_lower, FACE_RADIUS, dy))

    button = mouse_button(label) if label else None
    if button:
        big.paste(Image.new("RGB", big.size, look.text), (0, 0), mouse_mask(button, dy))
    cell = big.reduce(SS)
    if label and not button:
        m = label_mask(label)
        cx = face[0] + (face[2] - face[0]) / 2
        cy = face[1] + 1 + dy + (face[3] - face[1] - 1) / 2
        x = int(cx - m.width / 2 + 0.5)
        y = int(cy - m.height / 2 + 0.5)
        cell.paste(Image.new("RGB", m.size, look.text), (x, y), m)
    return cell


def render_skin(style, caps):
    """The whole strip: 85 cells, released on top, pressed below."""
    sheet = Image.new("RGB", SKIN_SIZE, style.background)
    blank = render_cell(style, None, False)
    for k in range(CELL_COUNT):
        label = caps.get(k) if k else None
        if label is None:
            # Unassigned slots show the same quiet cap whether held or not.
            up = down = blank
        else:
            up = render_cell(style, label, False)
            down = render_cell(style, label, True)
        sheet.paste(up, (k * CELL, 0))
        sheet.paste(down, (k * CELL, CELL))
    return sheet


def to_gif_image(rgb):
    """Palette image for GIF; exact when the picture has few colours."""
    colours = rgb.getcolors(256)
    if colours is not None:
        return _exact_palette(rgb, colours)
    return rgb.quantize(colors=256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)


def _exact_palette(rgb, colours):
    palette = sorted(c for _, c in colours)
    index = {c: i for i, c in enumerate(palette)}
    p = Image.new("P", rgb.size)
    p.putdata([index[c] for c in rgb.getdata()])
    flat = [v for c in palette for v in c]
    p.putpalette(flat + [0] * (768 - len(flat)))
    return p


def gif_bytes(rgb):
    buf = io.BytesIO()
    to_gif_image(rgb).save(buf, format="GIF", optimize=False)
    return buf.getvalue()


# --------------------------------------------------------------------------


# --------------------------------------------------------------------------
# program icon: four caps, the top-left one lit, in the look of the dark skin


ICON_REL = Path("main") / "win32" / "lumatap.ico"
ICON_SIZES = (16, 20, 24, 32, 48, 256)
ICON_SS = 8


def render_icon(size):
    """RGBA icon of size x size, drawn for that size (not scaled from another)."""
    style = STYLES["WASD黒ルコ"]
    big = size * ICON_SS
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)
    # Two caps a side, a gap between them and around them of about a sixteenth.
    gap = max(1, round(size / 16)) * ICON_SS
    cap = (big - 3 * gap) // 2
    radius = max(ICON_SS, cap // 5)
    for row in range(2):
        for col in range(2):
            lit = row == 0 and col == 0
            look = style.pressed if lit else style.released
            x0 = gap + col * (cap + gap)
            y0 = gap + row * (cap + gap)
            box = (x0, y0, x0 + cap - 1, y0 + cap - 1)
            draw.rounded_rectangle(box, radius, fill=look.rim + (255,))
            rim = max(ICON_SS, cap // 14)
            face = (x0 + rim, y0 + rim, x0 + cap - 1 - rim, y0 + cap - 1 - 2 * rim)
            draw.rounded_rectangle(face, max(1, radius - rim), fill=look.face_top + (255,))
            lower = (face[0], (face[1] + face[3]) // 2, face[2], face[3])
            draw.rounded_rectangle(lower, max(1, radius - rim), fill=look.face_bottom + (255,))
    return img.reduce(ICON_SS)


def _dib_entry(img):
    """An icon image as a bottom-up 32-bit DIB with its AND mask, as .ico files hold it."""
    w, h = img.size
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
    px = img.load()
    colour = bytearray()
    mask = bytearray()
    stride = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(stride)
        for x in range(w):
            r, g, b, a = px[x, y]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def ico_bytes(images):
    """An .ico file of the images: small ones as DIBs, 256 px as PNG (as Windows expects)."""
    entries = []
    for img in images:
        if img.size[0] >= 256:
            buf = io.BytesIO()
            img.save(buf, format="PNG", optimize=False, compress_level=9)
            entries.append((img.size[0], buf.getvalue()))
        else:
            entries.append((img.size[0], _dib_entry(img)))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in entries:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in entries)


def build(keys):
    """Every generated file as {relative path: bytes}."""
    caps = caps_by_cell(keys)
    out = {KEYLIST_REL: keylist_bytes(keys)}
    for skin in SKINS:
        out[skin_rel(skin)] = gif_bytes(render_skin(STYLES[skin], caps))
    out[ICON_REL] = ico_bytes([render_icon(s) for s in ICON_SIZES])
    return out


def _write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    os.replace(tmp, path)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--table", default=str(TABLE_PATH), help="key table (default: tools/keytable.tsv)")
    ap.add_argument("--out", default=str(ROOT), help="root to write assets/ under (default: the repository)")
    args = ap.parse_args(argv)
    try:
        keys = load_table(args.table)
    except TableError as e:
        print(f"gen_assets: {args.table}: {e}", file=sys.stderr)
        return 1
    for rel, data in build(keys).items():
        _write(Path(args.out) / rel, data)
        print(f"wrote {rel} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
