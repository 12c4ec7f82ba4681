#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<name>/.

Seeds are small, deliberate files: the shipped data files, the built-in tables, and the
awkward shapes each reader has to survive. Running this twice gives the same bytes.
Reproducers of findings are kept beside them (named repro-*) and are never rewritten here.

    /usr/bin/python3 tests/fuzz/make_seeds.py

Needs Debian's python3-pil for the GIF seeds and the crops of the shipped skins.
"""

import io
import re
import struct
from pathlib import Path

from PIL import Image

ROOT = Path(__file__).resolve().parents[2]
CORPUS = ROOT / "tests" / "fuzz" / "corpus"


def cp932(text):
    return text.encode("cp932")


def write(corpus, name, data):
    folder = CORPUS / corpus
    folder.mkdir(parents=True, exist_ok=True)
    assert len(data) <= 4096 or corpus != "image", (name, len(data))
    (folder / name).write_bytes(data)


def built_in_profiles():
    """The built-in setting.dat, taken from display/form1.cpp so the two never disagree."""
    source = (ROOT / "display" / "form1.cpp").read_text(encoding="utf-8")
    block = source.split("Form1::TxtSetting =", 1)[1].split(";", 1)[0]
    text = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', block))
    return text.replace("\\t", "\t").replace("\\r", "\r").replace("\\n", "\n")


def default_cols():
    source = (ROOT / "options" / "frmOptions.h").read_text(encoding="utf-8")
    block = re.split(r"kDefaultLayoutLines\[\w+\] = {", source, maxsplit=1)[1].split("};", 1)[0]
    return "\r\n".join(re.findall(r'"([^"]*)"', block))


# --------------------------------------------------------------------------------------
# lumatap.ini: section NUL key NUL value NUL file

def ini_seeds():
    standard = ("[window]\r\nX=100\r\nY=200\r\nframe=0\r\n[style]\r\nskin=default\r\n"
                "[key]\r\nprofile=WASDスタンダード\r\n")
    files = {
        "standard": standard,
        "mixed-case": "[WINDOW]\r\nx=5\r\ny=-7\r\nFRAME=1\r\n[Style]\r\nSKIN=WASD黒ルコ\r\n[KEY]\r\nProfile=東方弾幕風\r\n",
        "blanks": "  [ window ]  \r\n  X  =  12  \r\n\t frame\t=\t1\t\r\n\r\n\r\n[style]\r\n skin =  spaced out  \r\n",
        "quotes": "[style]\r\nskin=\"quoted\"\r\n[key]\r\nprofile=' single '\r\n[window]\r\nX=\"12\r\nY='3\"\r\n",
        "repeated": "[window]\r\nX=1\r\nX=2\r\n[style]\r\nskin=a\r\n[window]\r\nY=3\r\nframe=1\r\n[WINDOW]\r\nframe=0\r\n",
        "no-final-line-end": "[window]\r\nX=1\r\n[style]\r\nskin=default",
        "lone-cr": "[window]\rX=1\rY=2\r[style]\rskin=default\r",
        "lone-lf": "[window]\nX=1\nY=2\n[key]\nprofile=矢印スタンダード\n",
        "long-ascii": "[style]\r\nskin=" + "A" * 300 + "\r\n[key]\r\nprofile=" + "b" * 254 + "\r\n",
        "long-japanese": "[style]\r\nskin=" + "あ" * 130 + "\r\n[key]\r\nprofile=x" + "ル" * 130 + "\r\n",
        "japanese-names": "[設定]\r\n表示=はい\r\n[ＡＢＣ]\r\nΑΒΓ=ギリシャ\r\nЖЁ=キリル\r\n[key]\r\nprofile=ＯＳＵ！用ＺＸキー\r\n",
        "odd-lines": "key before any section=1\r\n[window\r\nX=9\r\n[window]\r\nnoequals\r\n;X=comment\r\nX=5=6\r\n=novalue\r\n[]\r\nY=1\r\n",
        "nul-and-eof": "[window]\r\nX=1\x002\r\nframe=0\r\n\x1a",
        "empty-values": "[window]\r\nX=\r\nY=  \r\nframe=\"\"\r\n[style]\r\nskin=\r\n",
        "numbers": "[window]\r\nX=&H7FFF\r\nY=-99999999\r\nframe=1e3\r\n",
    }
    pairs = [
        ("window", "X", "123"),
        ("style", "skin", ' "x" '),
        ("key", "profile", "矢印スタンダード"),
        ("ａｂｃ", "αβγ", "全角"),
        ("window", "frame", "line\r\nbreak"),
        ("Style", "SKIN", "'" + "い" * 140 + "'"),
        (" window ", " Y ", "  -5  "),
        ("new section", "new key", "v"),
    ]
    # fuzz_ini takes the names as the file holds them (code page 932), fuzz_settings as the
    # program passes them (UTF-8).
    for corpus, encode in (("ini", cp932), ("settings", lambda t: t.encode("utf-8"))):
        for i, (name, text) in enumerate(sorted(files.items())):
            section, key, value = pairs[i % len(pairs)]
            head = "\0".join([section, key, value, ""])
            write(corpus, name, encode(head) + cp932(text))
            write(corpus, "raw-" + name, cp932(text))
        # Section names whose ']' or '\' is the second byte of a double-byte character.
        write(corpus, "trail-bytes", encode("ソ\0表\0x\0") + cp932("[ソ]\r\n表=1\r\n[‐]\r\nk=2\r\n"))
        write(corpus, "absent-file", encode("window\0X\0" "42\0"))
    # The settings as an editor may save them: UTF-8 with and without a byte order mark,
    # UTF-16 both ways round, and UTF-16 with a lone surrogate the end must keep a copy of.
    lone = "\ufeff[window]\r\nX=1\r\n;".encode("utf-16-le") + b"\x00\xd8" + "\r\n".encode("utf-16-le")
    for name, data in (("utf8-bom", b"\xef\xbb\xbf" + standard.encode("utf-8")),
                       ("utf8", standard.encode("utf-8")),
                       ("utf16-le", ("\ufeff" + standard).encode("utf-16-le")),
                       ("utf16-be", ("\ufeff" + standard).encode("utf-16-be")),
                       ("utf16-lone-surrogate", lone)):
        write("settings", name, "window\0frame\0" "1\0".encode("utf-8") + data)
        write("settings", "raw-" + name, data)


# --------------------------------------------------------------------------------------
# keylist.dat

def keylist_seeds():
    shipped = (ROOT / "assets" / "keylist.dat").read_bytes()
    write("keylist", "shipped", shipped)
    write("keylist", "shipped-lf", shipped.replace(b"\r\n", b"\n"))
    write("keylist", "shipped-no-final-line-end", shipped.rstrip(b"\r\n"))
    write("keylist", "limits", cp932(
        "0\t0\tzero\r\n254\t84\tLast\r\n255\t1\tnever\r\n256\t1\tbig\r\n-1\t1\tneg\r\n"
        "65\t85\tcell85\r\n66\t-1\tcellneg\r\n67\t84.9\tfrac\r\n68.9\t3\tfrac code\r\n"))
    write("keylist", "numbers", cp932(
        "&H41\t&H3\tA\r\n&O102\t4\tB\r\n 6 7 \t 5 \tC\r\n1e2\t6\tsci\r\n+70\t+7\tplus\r\n"
        "&HFFFF\t1\twraps\r\n99999999999\t1\thuge\r\n\t\t\r\n"))
    write("keylist", "fields", cp932(
        "65\t1\r\n66\t2\tB\textra\tmore\r\n67\t3\t\r\n\r\n68\r\n69\t4\t名前\r\n69\t5\t上書き\r\n"
        "\t\tname only\r\n70 \t 6\t  spaced  \r"))
    write("keylist", "japanese", cp932("37\t49\t←\r\n38\t50\t↑\r\n39\t51\t→\r\n40\t52\t↓\r\n"
                                       "244\t70\t半角/全角\r\n29\t71\t無変換\r\n28\t72\t変換\r\n"))
    write("keylist", "broken-cp932", b"65\t1\t\x81\r\n66\t2\t\xff\xfe\r\n67\t3\t\x82\xa0\x82\r\n")


# --------------------------------------------------------------------------------------
# setting.dat

def profile_seeds():
    builtin = built_in_profiles()
    write("profiles", "built-in", cp932(builtin))
    write("profiles", "built-in-lf", cp932(builtin.replace("\r\n", "\n")))
    write("profiles", "built-in-cr", cp932(builtin.replace("\r\n", "\r")))
    lines = builtin.split("\r\n")[:-1]
    write("profiles", "twelve-lines", cp932("\r\n".join((lines * 3)[:12]) + "\r\n"))
    write("profiles", "counts", cp932(
        "zero\t0\t1:1\tShift\r\nthirteen\t13\t5:3\tA\tB\tC\tD\tE\tF\tG\tH\tI\tJ\tK\tL\tM\r\n"
        "negative\t-1\t1:1\r\nfraction\t2.7\t2:1\tZ\tX\r\nhex\t&HC\t4:3\tW\r\n"
        "huge\t99999\t1:1\tA\r\n"))
    write("profiles", "layouts", cp932(
        "none\t1\t0:0\tA\r\nwide\t2\t30000:1\tA\tB\r\ntall\t2\t1:30000\tA\tB\r\n"
        "nocolon\t1\t3\tA\r\nmany colons\t1\t1:2:3\tA\r\nnegative\t1\t-3:-4\tA\r\n"
        "overflow\t1\t40000:1\tA\r\nblank\t1\t:\tA\r\n"))
    write("profiles", "damaged", cp932(
        "\r\n\t6\t3:2\tShift\r\nonly title\r\ntitle\tcount\r\nt\tx\ty\r\n"
        "unknown keys\t3\t3:1\tNoSuchKey\t\tA\r\n"))
    write("profiles", "names", cp932(
        "WASDスタンダード\t6\t3:2\tShift\tW\tSpace\tA\tS\tD\r\n"
        "WASDスタンダード\t2\t2:1\tZ\tX\r\n  spaced title  \t1\t1:1\tSpace\r\n"
        "全角　タイトル\t4\t2:2\t↑\t↓\t←\t→\r\n"))
    write("profiles", "empty", b"")
    write("profiles", "broken-cp932", b"\x81\t2\t2:1\tZ\tX\r\nt\xff\t1\t1:1\t\x82\r\n")


# --------------------------------------------------------------------------------------
# cols.dat

def cols_seeds():
    default = default_cols()
    write("cols", "default", cp932(default))
    write("cols", "default-lf", cp932(default.replace("\r\n", "\n") + "\n"))
    write("cols", "hand-made", cp932("1:1\r\n2:1/\r\n\r\nx\r\n5:1\r\nabc/0:2/3:0/2:2\r\n7:1\r\n8:1\r\n9:1\r\n1:1\r\n"))
    write("cols", "limits", cp932(
        "300:1\r\n1:300/150:2\r\n301:1/1:301\r\n32767:1/1:32767/32768:1\r\n-1:2/2:-1\r\n"
        "&H10:1/1.5:2.5\r\n 3 : 2 /2 :3\r\n1e2:1/0.5:0.5\r\n9:9/30:30/2:1\r\n"))
    write("cols", "separators", cp932("/\r\n//\r\n:\r\n:/:\r\n1:1:1\r\n/1:1/\r\n\r\n\r\n\r\n"))
    write("cols", "japanese", cp932("１：１\r\n二:一\r\n3:1/横\r\n\r\n5:1\r"))
    write("cols", "absent", b"")


# --------------------------------------------------------------------------------------
# Images: tiny BMPs of every kind the decoder meets, and GIFs

def bmp(width, height, bpp, rows, palette=None, compression=0, top_down=False, colors_used=None,
        core=False, data=None, masks=None):
    """A BMP file. rows: list of rows of palette indices or (r, g, b) tuples, top row first."""
    if data is None:
        stride = ((width * bpp + 31) // 32) * 4
        out = bytearray()
        ordered = rows if top_down else list(reversed(rows))
        for row in ordered:
            line = bytearray()
            if bpp < 8:
                acc, nbits = 0, 0
                for v in row:
                    acc = (acc << bpp) | v
                    nbits += bpp
                    if nbits == 8:
                        line.append(acc)
                        acc, nbits = 0, 0
                if nbits:
                    line.append(acc << (8 - nbits))
            elif bpp == 8:
                line.extend(row)
            elif bpp == 16:
                for r, g, b in row:
                    line.extend(struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)))
            else:
                for r, g, b in row:
                    line.extend(bytes([b, g, r]) + (b"\x00" if bpp == 32 else b""))
            line.extend(b"\x00" * (stride - len(line)))
            out.extend(line)
        data = bytes(out)
    pal = b""
    if palette is not None:
        pal = b"".join(bytes([b, g, r]) + (b"" if core else b"\x00") for r, g, b in palette)
    if core:
        header = struct.pack("<IHHHH", 12, width, height, 1, bpp)
    else:
        header = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bpp,
                             compression, len(data), 2835, 2835,
                             len(palette) if colors_used is None and palette else (colors_used or 0), 0)
    extra = b"".join(struct.pack("<I", m) for m in masks) if masks else b""
    offset = 14 + len(header) + len(extra) + len(pal)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + header + extra + pal + data


def rle8(rows):
    """RLE8, bottom-up: runs, an absolute block, a delta and the end marks."""
    out = bytearray()
    for y, row in enumerate(reversed(rows)):
        if y == 1 and len(row) >= 4:  # one absolute run of literal indices
            out += bytes([0, 3]) + bytes(row[:3]) + b"\x00"
            rest = row[3:]
        else:
            rest = row
        i = 0
        while i < len(rest):
            j = i
            while j < len(rest) and rest[j] == rest[i] and j - i < 255:
                j += 1
            out += bytes([j - i, rest[i]])
            i = j
        out += b"\x00\x00"
    out += b"\x00\x01"
    return bytes(out)


def rle4(rows):
    out = bytearray()
    for y, row in enumerate(reversed(rows)):
        if y == 0:
            out += bytes([0, 2, 0, 0])  # delta: skip two pixels of the first row
            row = row[2:]
        i = 0
        while i < len(row):
            a = row[i]
            b = row[i + 1] if i + 1 < len(row) else 0
            n = min(2, len(row) - i)
            out += bytes([n, (a << 4) | b])
            i += n
        out += b"\x00\x00"
    out += b"\x00\x01"
    return bytes(out)


def image_seeds():
    pal2 = [(0, 0, 0), (255, 255, 255)]
    pal16 = [(i * 16, 255 - i * 16, (i * 40) % 256) for i in range(16)]
    pal256 = [(i, (i * 7) % 256, 255 - i) for i in range(256)]
    w, h = 13, 7
    idx = lambda n: [[(x + y) % n for x in range(w)] for y in range(h)]
    rgb = [[((x * 20) % 256, (y * 30) % 256, ((x + y) * 10) % 256) for x in range(w)] for y in range(h)]
    write("image", "bmp1", bmp(w, h, 1, idx(2), pal2))
    write("image", "bmp1-top-down", bmp(w, h, 1, idx(2), pal2, top_down=True))
    write("image", "bmp4", bmp(w, h, 4, idx(16), pal16))
    write("image", "bmp4-short-palette", bmp(w, h, 4, idx(16), pal16[:5], colors_used=5))
    write("image", "bmp8", bmp(w, h, 8, idx(256), pal256))
    write("image", "bmp8-top-down", bmp(w, h, 8, idx(256), pal256, top_down=True))
    write("image", "bmp8-core", bmp(w, h, 8, idx(256), pal256, core=True))
    write("image", "bmp16", bmp(w, h, 16, rgb))
    write("image", "bmp16-bitfields", bmp(w, h, 16, rgb, compression=3, masks=[0x7C00, 0x03E0, 0x001F]))
    write("image", "bmp24", bmp(w, h, 24, rgb))
    write("image", "bmp24-top-down", bmp(w, h, 24, rgb, top_down=True))
    write("image", "bmp32", bmp(w, h, 32, rgb))
    write("image", "bmp32-top-down", bmp(w, h, 32, rgb, top_down=True))
    runs = [[(x // 4 + y) % 16 for x in range(w)] for y in range(h)]
    write("image", "bmp-rle8", bmp(w, h, 8, None, pal256, compression=1, data=rle8(runs)))
    write("image", "bmp-rle4", bmp(w, h, 4, None, pal16, compression=2, data=rle4(runs)))
    # A cell-sized strip: three 48 × 48 cells over two rows, as a skin is laid out.
    strip = [[(x // 48 * 3 + y // 48) % 16 for x in range(144)] for y in range(96)]
    write("image", "bmp-rle8-cells", bmp(144, 96, 8, None, pal256, compression=1, data=rle8(strip)))

    # GIFs through Pillow.
    def gif(im, **kw):
        b = io.BytesIO()
        im.save(b, "GIF", **kw)
        return b.getvalue()

    base = Image.new("P", (40, 24))
    base.putpalette([c for i in range(256) for c in ((i * 3) % 256, (i * 5) % 256, (i * 11) % 256)])
    base.putdata([(x * y + x) % 256 for y in range(24) for x in range(40)])
    write("image", "gif-interlaced", gif(base, interlace=True))
    write("image", "gif-plain", gif(base, interlace=False))
    write("image", "gif-transparent", gif(base, transparency=7, interlace=False))
    # Two frames with their own palettes; the decoder shows the first.
    other = base.copy()
    other.putpalette([c for i in range(256) for c in (255 - i, i, 128)])
    write("image", "gif-two-frames", gif(base, save_all=True, append_images=[other], duration=50))

    # Hand-made GIFs: a local colour table, a first frame smaller than the screen, a
    # transparent index, an interlaced frame, GIF87a.
    write("image", "gif-local-palette", hand_gif(9, 6, local=True, frame=(1, 1, 5, 4), transparent=2))
    write("image", "gif-local-interlaced", hand_gif(16, 10, local=True, interlace=True))
    write("image", "gif87a", hand_gif(5, 3, version=b"87a"))

    # Crops of the shipped skins: the first cells, the last cell, both rows.
    for skin in ("default", "WASD黒ルコ"):
        im = Image.open(ROOT / "assets" / "skin" / skin / "keys.gif")
        tag = "default" if skin == "default" else "wasd"
        for name, box in (("first-cell", (0, 0, 48, 96)), ("last-cell", (84 * 48, 0, 85 * 48, 96)),
                          ("two-cells-released", (48, 0, 144, 48))):
            crop = im.crop(box)
            data = gif(crop)
            if len(data) > 4096:
                data = gif(crop.quantize(16))
            write("image", f"skin-{tag}-{name}", data)


def lzw_uncompressed(indices, min_code_size):
    """GIF LZW without compression: a clear code often enough that the code width never grows."""
    clear = 1 << min_code_size
    width = min_code_size + 1
    limit = (1 << width) - clear - 2  # codes that may follow a clear before the width grows
    bits, nbits, out = 0, 0, bytearray()

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    for n, v in enumerate(indices):
        if n and n % limit == 0:
            emit(clear)
        emit(v)
    emit(clear + 1)
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes([min_code_size]) + bytes(blocks) + b"\x00"


def hand_gif(width, height, local=False, frame=None, transparent=None, interlace=False, version=b"89a"):
    colors = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)]
    table = bytes(c for rgb in colors for c in rgb)
    fx, fy, fw, fh = frame or (0, 0, width, height)
    out = bytearray(b"GIF" + version)
    flags = 0 if local else 0x80 | 0x01  # global table of 4 entries
    out += struct.pack("<HHBBB", width, height, flags, 0, 0)
    if not local:
        out += table
    if transparent is not None:
        out += bytes([0x21, 0xF9, 4, 0x01]) + struct.pack("<H", 0) + bytes([transparent, 0])
    iflags = (0x80 | 0x01 if local else 0) | (0x40 if interlace else 0)
    out += b"\x2C" + struct.pack("<HHHHB", fx, fy, fw, fh, iflags)
    if local:
        out += bytes(reversed(table))  # a palette unlike any global one
    out += lzw_uncompressed([(x + 2 * y) % 4 for y in range(fh) for x in range(fw)], 2)
    out += b"\x3B"
    return bytes(out)


# --------------------------------------------------------------------------------------
# The stream page's server: what one client sends, FF FE FD FC where a piece ends

STREAM_TOKEN = "0123456789abcdef0123456789abcdef"
STREAM_CUT = b"\xff\xfe\xfd\xfc"


def stream_request(target, headers="Host: 127.0.0.1:8080\r\n", method="GET", body=""):
    return f"{method} {target} HTTP/1.1\r\n{headers}\r\n{body}".encode("latin-1")


def stream_seeds():
    t = STREAM_TOKEN
    host = "Host: 127.0.0.1:8080\r\n"
    fillers = "".join(f"X-Filler-{i}: x\r\n" for i in range(40))
    seeds = {
        "page": stream_request(f"/?token={t}"),
        "page-localhost-options": stream_request(
            f"/?scale=2&token={t}&counters=1",
            "Host: localhost:8080\r\nOrigin: http://localhost:8080\r\nUser-Agent: OBS\r\n"),
        "events": stream_request(f"/events?token={t}",
                                 host + "Accept: text/event-stream\r\nOrigin: http://127.0.0.1:8080\r\n"),
        "skin": stream_request(f"/skin?token={t}&v=3"),
        "unknown-path": stream_request(f"/favicon.ico?token={t}"),
        "no-token": stream_request("/"),
        "wrong-token": stream_request("/?token=" + t[:-1] + "0"),
        "short-token": stream_request("/?token=" + t[:-1]),
        "token-twice": stream_request(f"/?token={t}&token={t}"),
        "evil-host": stream_request(f"/?token={t}", "Host: evil.example:8080\r\n"),
        "wrong-port": stream_request(f"/?token={t}", "Host: 127.0.0.1:8081\r\n"),
        "no-host": stream_request(f"/?token={t}", ""),
        "two-hosts": stream_request(f"/?token={t}", host + host),
        "foreign-origin": stream_request(f"/events?token={t}", host + "Origin: http://evil.example\r\n"),
        "post": stream_request(f"/?token={t}", method="POST"),
        "head": stream_request(f"/?token={t}", method="HEAD"),
        "body": stream_request(f"/?token={t}", host + "Content-Length: 5\r\n", body="hello"),
        "chunked": stream_request(f"/?token={t}", host + "Transfer-Encoding: chunked\r\n",
                                  body="5\r\nhello\r\n0\r\n\r\n"),
        "too-many-headers": stream_request(f"/?token={t}", host + fillers),
        "too-long": stream_request(f"/?token={t}&pad=" + "x" * 8300),
        "not-http": b"HELLO\r\n\r\n",
        "incomplete": stream_request(f"/events?token={t}")[:-2],
        "pipelined-pair": stream_request(f"/events?token={t}") + stream_request(f"/skin?token={t}"),
        "split": STREAM_CUT.join([b"GET /even", b"ts?token=" + t[:10].encode(), t[10:].encode() + b" HTTP/1.1\r",
                                  b"\nHost: 127.0.0", b".1:8080\r\n\r", b"\n"]),
    }
    for name, data in seeds.items():
        write("stream", name, data)


def main():
    ini_seeds()
    keylist_seeds()
    profile_seeds()
    cols_seeds()
    image_seeds()
    stream_seeds()


if __name__ == "__main__":
    main()
