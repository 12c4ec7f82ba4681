#!/usr/bin/python3
"""Checks that no #include runs upward between the program's layers.

    /usr/bin/python3 tools/check_layers.py [--root DIR] [--graph]

Exits 0 when every quoted include of the program's sources points at its own
layer or one below, 1 otherwise, printing one line per upward include. Each
top-level folder is a layer, from the top down (docs/STYLE.md draws them):

    main         the executables' entry points: they only call the program's Main
    app          start and end, the data files; the one place that knows both windows
    options      the options dialog; may use the display's public procedures
    display      the display window
    state        the shared state and the profile table with its operations
    platform     the portable half and its backends; keyhook, the hook library, beside it

Tests, tools and benchmarks sit outside the layers and may include anything.
--graph prints the folder-level picture instead: one line per pair of folders
that an include joins, with how many includes join them.
"""

import argparse
import collections
import re
import sys
from pathlib import Path

LAYERS = ["platform", "state", "display", "options", "app", "main"]
# The hook library is its own binary, but its messages are part of the platform's
# interface, so it shares the bottom layer.
FOLDER_LAYER = {"platform": "platform", "keyhook": "platform", "state": "state",
                "display": "display", "options": "options", "app": "app", "main": "main"}
SOURCE_DIRS = list(FOLDER_LAYER)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path: str) -> str:
    """The layer of a file given by its path inside the repository."""
    top = path.split("/")[0]
    if top not in FOLDER_LAYER:
        raise ValueError(f"not a program source: {path}")
    return FOLDER_LAYER[top]


def includes(root: Path):
    """Yields (file, line number, included path) for every include of another folder's file."""
    for d in SOURCE_DIRS:
        for f in sorted((root / d).rglob("*")):
            if f.suffix not in (".h", ".cpp"):
                continue
            rel = f.relative_to(root).as_posix()
            for n, line in enumerate(f.read_text(encoding="utf-8").splitlines(), 1):
                m = INCLUDE.match(line)
                if m and m.group(1).split("/")[0] in FOLDER_LAYER:
                    yield rel, n, m.group(1)  # not a file beside it or a generated header


def upward_includes(root: Path):
    """Yields (file, line number, included path) for every include that runs upward."""
    for rel, n, target in includes(root):
        if LAYERS.index(layer_of(target)) > LAYERS.index(layer_of(rel)):
            yield rel, n, target


def folder_graph(root: Path):
    """{(from folder, to folder): count} for includes between different top-level folders."""
    edges = collections.Counter()
    for rel, _, target in includes(root):
        a, b = rel.split("/")[0], target.split("/")[0]
        if a != b:
            edges[(a, b)] += 1
    return edges


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--root", type=Path, default=Path(__file__).resolve().parent.parent)
    ap.add_argument("--graph", action="store_true", help="print the folder-level includes")
    args = ap.parse_args(argv)
    if args.graph:
        for (a, b), n in sorted(folder_graph(args.root).items(),
                                key=lambda e: (-LAYERS.index(layer_of(e[0][0])), e[0])):
            up = LAYERS.index(layer_of(b)) > LAYERS.index(layer_of(a))
            print(f"{a:>8} -> {b:<8} {n:3d}{'   UPWARD' if up else ''}")
    bad = list(upward_includes(args.root))
    for rel, n, target in bad:
        print(f"{rel}:{n}: includes {target}, which lies in a layer above "
              f"({layer_of(rel)} -> {layer_of(target)})")
    if not bad and not args.graph:
        print("check_layers: no include runs upward")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
