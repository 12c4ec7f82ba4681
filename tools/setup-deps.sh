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
# dpkg and locale-gen live in the sbin folders, which a root shell started with plain `su`
# may lack.
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"

# Debian packages. Wine is the 64-bit build only: the program and its hook DLL are 64-bit,
# so no i386 architecture is added. Recommends stay on, because Wine's X11 driver loads
# libXi/libXrandr/libXrender from them and the fonts come from there too.
PACKAGES=(
  cmake g++ make
  g++-mingw-w64-x86-64
  wine wine64
  xvfb imagemagick
  locales fonts-noto-cjk
  libstb-dev node-llhttp
  chromium
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3-pil
  libxdamage-dev
  git
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

# Exactly the programs that the scripts, the CMake files and the tests call by name, each
# from a package above or from the base system (mount, umount, locale): a package can be
# "installed" yet broken, so check the commands themselves as well. The shell tools the
# scripts use (bash, coreutils, grep, sed, dpkg, apt-get) are essential and not checked.
#   cmake ctest make          configure, build and run the tests (cmake, make)
#   gcc g++                   the native builds, C and C++ (g++, which brings gcc)
#   x86_64-w64-mingw32-gcc    the Windows build: C and C++ compilers, resource compiler
#   x86_64-w64-mingw32-g++      (g++-mingw-w64-x86-64 with binutils-mingw-w64-x86-64);
#   x86_64-w64-mingw32-windres  the e2e harness builds its driver with the g++ by hand;
#   x86_64-w64-mingw32-objcopy  tools/package.sh strips the release and keeps its debug
#   x86_64-w64-mingw32-objdump    information apart, and test_release.py reads both
#   x86_64-w64-mingw32-nm         (binutils-mingw-w64-x86-64, which g++-mingw-w64 brings)
#   x86_64-w64-mingw32-addr2line
#   wine wineserver wineboot  the Windows tests, the e2e harness and run.sh (wine, wine64)
#   Xvfb                      the virtual display (xvfb)
#   import                    screenshots of the virtual display (imagemagick)
#   clang clang++             the fuzz preset (clang, libclang-rt-14-dev)
#   /usr/bin/python3          the asset checks and the e2e tests, with PIL (python3-pil)
#   mount umount              the full-disk and read-only e2e tests (mount)
#   locale locale-gen         the Japanese locale below (libc-bin, locales)
#   /usr/bin/chromium         the stream page's end-to-end tests, headless (chromium)
#   git                       tools/package.sh takes the release's times from the commit
for c in cmake ctest make gcc g++ x86_64-w64-mingw32-gcc x86_64-w64-mingw32-g++ \
         x86_64-w64-mingw32-windres x86_64-w64-mingw32-objcopy x86_64-w64-mingw32-objdump \
         x86_64-w64-mingw32-nm x86_64-w64-mingw32-addr2line wine wineserver wineboot Xvfb import \
         clang clang++ /usr/bin/python3 mount umount locale locale-gen /usr/bin/chromium git; do
  if ! command -v "$c" >/dev/null 2>&1; then
    echo "setup-deps.sh: '$c' is still missing after installing packages" >&2
    exit 1
  fi
done
# The HTTP parser of the stream page is compiled from the C sources Debian ships with
# node-llhttp; it installs no command, so check its files.
for f in /usr/share/llhttp/api.c /usr/share/llhttp/http.c /usr/share/llhttp/llhttp.c \
         /usr/share/include/llhttp/llhttp.h; do
  if [ ! -f "$f" ]; then
    echo "setup-deps.sh: '$f' is still missing after installing packages" >&2
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
