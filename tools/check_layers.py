#!/usr/bin/python3
"""Checks that no #include runs upward between the program's layers.

    /usr/bin/python3 tools/check_layers.py [--root DIR]

Exits 0 when every quoted include of the program's sources points at its own
layer or one below, 1 otherwise, printing one line per upward include. The
layers, from the top down (docs/STYLE.md draws them):

    app          start and end, the data files; the one place that knows both windows
    options      the options dialog; may use the display's public procedures
    display      the display window
    state        app/module1: the shared state and its helpers
    platform     the portable half, its backends and the hook library's messages

Tests, tools and benchmarks sit outside the layers and may include anything, and so do
the executables' entry points (platform/*/main/, platform/win32/measure/), whose only
work is to call the program's Main.
"""

import argparse
import re
import sys
from pathlib import Path

LAYERS = ["platform", "state", "display", "options", "app"]
SOURCE_DIRS = ["app", "display", "options", "platform", "keyhook"]
ENTRY_DIRS = {"tests", "main", "measure"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path: str) -> str:
    """The layer of a file given by its path inside the repository."""
    parts = path.split("/")
    top = parts[0]
    if top in ("platform", "keyhook"):
        return "platform"
    if top == "app":
        return "state" if Path(path).stem == "module1" else "app"
    if top in ("display", "options"):
        return top
    raise ValueError(f"not a program source: {path}")


def upward_includes(root: Path):
    """Yields (file, line number, included path) for every include that runs upward."""
    for d in SOURCE_DIRS:
        for f in sorted((root / d).rglob("*")):
            parts = f.relative_to(root).parts
            if f.suffix not in (".h", ".cpp") or not ENTRY_DIRS.isdisjoint(parts):
                continue
            rel = f.relative_to(root).as_posix()
            here = LAYERS.index(layer_of(rel))
            for n, line in enumerate(f.read_text(encoding="utf-8").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(1)
                if target.split("/")[0] not in ("app", "display", "options", "platform", "keyhook"):
                    continue  # a file beside it, or a generated header
                if LAYERS.index(layer_of(target)) > here:
                    yield rel, n, target


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--root", type=Path, default=Path(__file__).resolve().parent.parent)
    args = ap.parse_args(argv)
    bad = list(upward_includes(args.root))
    for rel, n, target in bad:
        print(f"{rel}:{n}: includes {target}, which lies in a layer above "
              f"({layer_of(rel)} -> {layer_of(target)})")
    if not bad:
        print("check_layers: no include runs upward")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
