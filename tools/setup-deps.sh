#!/usr/bin/env bash
# Installs everything needed to build Lumatap natively and for Windows, and to run the
# Windows build under Wine on a virtual X display. Safe to run again: when everything is
# already there it only checks and returns within a second or two.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-deps.sh: run as root (apt-get and locale-gen need it)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive

# Debian packages. Wine is the 64-bit build only: the program and its hook DLL are 64-bit,
# so no i386 architecture is added. Recommends stay on, because Wine's X11 driver loads
# libXi/libXrandr/libXrender from them and the fonts come from there too.
PACKAGES=(
  cmake g++ make
  g++-mingw-w64-x86-64
  wine wine64
  xvfb x11-utils imagemagick
  locales fonts-noto-cjk
  libstb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3-pil
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-deps.sh: installing ${missing[*]}"
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi

# The tools the build and the end-to-end harness call by name; a package can be "installed"
# yet broken, so check the commands themselves as well.
for c in cmake g++ make x86_64-w64-mingw32-g++ wine wineserver Xvfb xwd import xdpyinfo clang; do
  if ! command -v "$c" >/dev/null 2>&1; then
    echo "setup-deps.sh: '$c' is still missing after installing packages" >&2
    exit 1
  fi
done
if ! /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  echo "setup-deps.sh: /usr/bin/python3 cannot import PIL" >&2
  exit 1
fi

# Japanese locale: Wine picks its ANSI code page (932) from LANG/LC_ALL, and that only works
# when the C library knows the locale.
has_ja_locale() { locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$'; }
if ! has_ja_locale; then
  echo "setup-deps.sh: generating ja_JP.UTF-8"
  if grep -qE '^#\s*ja_JP\.UTF-8 UTF-8' /etc/locale.gen; then
    sed -i -E 's/^#\s*(ja_JP\.UTF-8 UTF-8)/\1/' /etc/locale.gen
  elif ! grep -qE '^ja_JP\.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  fi
  locale-gen
  if ! has_ja_locale; then
    echo "setup-deps.sh: ja_JP.UTF-8 is still not available" >&2
    exit 1
  fi
fi

echo "setup-deps.sh: all dependencies present"
