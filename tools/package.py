#!/usr/bin/python3
"""Packs a built Release tree into the release archives (tools/package.sh calls it).

    /usr/bin/python3 tools/package.py --build-dir DIR --out DIR --version X.Y.Z

The program folder comes from CMake's install rules (lumatap.exe, keyhook.dll,
keylist.dat, skin/), plus the guide and the licences as Notepad reads them. The shipped
binaries lose their debug information and symbols; the debug information goes to a
second archive, and each shipped binary names its debug file in a .gnu_debuglink
section, so a crash address reads back to a source line (README: "Reading a crash
address").

Same input, same bytes: entries in sorted order, every time in the archive and in the
PE headers that objcopy writes taken from SOURCE_DATE_EPOCH (the commit's time), fixed
permissions, no extra fields.
"""

from __future__ import annotations

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
OBJCOPY = "x86_64-w64-mingw32-objcopy"

FOLDER = "Lumatap"
BINARIES = ("lumatap.exe", "keyhook.dll")
GUIDE = "使い方.txt"
# Text files beside the program: (source in the repository, name in the folder, BOM).
# CR LF for all of them; the guide is UTF-8 with a BOM, which Notepad reads as UTF-8 on
# every Windows, whatever the system's code page (the others are plain ASCII).
TEXTS = (
    (REPO / "docs" / GUIDE, GUIDE, True),
    (REPO / "LICENSE.txt", "LICENSE.txt", False),
    (REPO / "THIRD-PARTY-NOTICES.txt", "THIRD-PARTY-NOTICES.txt", False),
)


def windows_text(source: Path, bom: bool, version: str) -> bytes:
    text = source.read_text(encoding="utf-8").replace("@VERSION@", version)
    if text.startswith("\ufeff"):
        text = text[1:]
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    return (b"\xef\xbb\xbf" if bom else b"") + text.encode("utf-8")


def run(*cmd: str) -> None:
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


def stage_program(build: Path, stage: Path, debug: Path, version: str) -> None:
    """The program folder in stage/Lumatap and the debug files in debug/."""
    run("cmake", "--install", str(build), "--prefix", str(stage / FOLDER))
    folder = stage / FOLDER
    for name in BINARIES:
        linked = build / name
        debug_file = debug / f"{name}.debug"
        shipped = folder / name
        run(OBJCOPY, "--only-keep-debug", str(linked), str(debug_file))
        run(OBJCOPY, "--strip-all", str(linked), str(shipped))
        # Only the debug file's name and checksum go in; a debugger finds it beside the
        # binary or in a debug folder.
        run(OBJCOPY, f"--add-gnu-debuglink={debug_file}", str(shipped))
    for source, name, bom in TEXTS:
        (folder / name).write_bytes(windows_text(source, bom, version))


def zip_tree(root: Path, top: str, target: Path, epoch: int) -> None:
    """root/top and everything below it as a zip, the same bytes for the same files."""
    # Zip times have no zone and start in 1980; the commit's time in UTC.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    paths = [root / top] + sorted((root / top).rglob("*"), key=lambda p: p.relative_to(root).as_posix())
    tmp = target.with_name(target.name + ".tmp")
    with zipfile.ZipFile(tmp, "w") as z:
        for path in paths:
            name = path.relative_to(root).as_posix()
            if path.is_dir():
                info = zipfile.ZipInfo(name + "/", stamp)
                info.external_attr = (0o40755 << 16) | 0x10  # a folder, for Unix and for DOS
                info.compress_type = zipfile.ZIP_STORED
                data = b""
            else:
                info = zipfile.ZipInfo(name, stamp)
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                data = path.read_bytes()
            info.create_system = 3  # as written on Linux, whatever runs this
            # Non-ASCII names (使い方.txt, skin/WASD黒ルコ) are stored as UTF-8 with the
            # flag that says so, which Windows' own Extract All honours.
            z.writestr(info, data, compresslevel=9)
    tmp.replace(target)


def write_sha256(target: Path) -> Path:
    digest = hashlib.sha256(target.read_bytes()).hexdigest()
    out = target.with_name(target.name + ".sha256")
    out.write_text(f"{digest}  {target.name}\n", encoding="ascii")
    return out


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])  # objcopy reads it too

    build, out = args.build_dir.resolve(), args.out.resolve()
    out.mkdir(parents=True, exist_ok=True)
    base = f"Lumatap-{args.version}-win64"
    work = build / "package"
    shutil.rmtree(work, ignore_errors=True)
    stage, debug_stage = work / "stage", work / "debug"
    debug = debug_stage / f"{base}-debug"
    debug.mkdir(parents=True)
    stage_program(build, stage, debug, args.version)

    release = out / f"{base}.zip"
    zip_tree(stage, FOLDER, release, epoch)
    checksum = write_sha256(release)
    debug_zip = out / f"{base}-debug.zip"
    zip_tree(debug_stage, debug.name, debug_zip, epoch)

    for path in (release, checksum, debug_zip):
        print(f"{path}  {path.stat().st_size:,} bytes")
    for name in BINARIES:
        print(f"  {FOLDER}/{name}  {(stage / FOLDER / name).stat().st_size:,} bytes"
              f" (as linked, with debug information: {(build / name).stat().st_size:,})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
