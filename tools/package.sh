#!/usr/bin/env bash
# Makes the release a Windows user downloads:
#   build/Lumatap-<version>-win64.zip         the program folder Lumatap/, stripped
#   build/Lumatap-<version>-win64.zip.sha256  its SHA-256, as sha256sum writes it
#   build/Lumatap-<version>-win64-debug.zip   the debug information of both binaries
# <version> is the project version of CMakeLists.txt, the one in lumatap.exe's
# VERSIONINFO. The same commit gives the same bytes on every run: times come from the
# commit, not the clock (see tools/package.py).
#
#   tools/package.sh [--build-dir DIR] [--out DIR]
#
# --build-dir is the Release build tree (default build/release, the "release" preset);
# --out is where the archives go (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

build="$root/build/release"
out="$root/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    *) echo "package.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done

tools/setup-deps.sh >/dev/null

# Every time the release carries (the PE headers objcopy writes, the zip entries) is the
# commit's, so a rebuild of the same commit tomorrow gives the same bytes.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  # safe.directory: a checkout owned by another user is still read.
  SOURCE_DATE_EPOCH=$(git -c safe.directory="$root" -C "$root" log -1 --format=%ct 2>/dev/null || true)
  [ -n "$SOURCE_DATE_EPOCH" ] || { echo "package.sh: not a git checkout; set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git -c safe.directory="$root" -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "package.sh: note: the working tree has uncommitted changes; the zip is not the commit's" >&2
fi

echo "== Release build (mingw-w64, debug information kept apart) =="
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target lumatap keyhook -j2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package.sh: no project version in $build/CMakeCache.txt" >&2; exit 1; }

echo "== Package Lumatap $version =="
/usr/bin/python3 tools/package.py --build-dir "$build" --out "$out" --version "$version"
