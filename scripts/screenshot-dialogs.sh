#!/usr/bin/env bash
# PNG pictures of every real configuration dialog (Pelorin, Vantrel, Morvane),
# in English and in Japanese, as Wine shows them on a virtual display.
#
#   scripts/screenshot-dialogs.sh [output folder]    (default: build/screenshots)
#
# Uses the win32 build where Wine can run 32-bit programs, else a 64-bit
# Windows build of the same sources (build/win64). Needs wine, xvfb,
# imagemagick and a font with Japanese glyphs (fonts-noto-cjk or
# fonts-droid-fallback) for the Japanese pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=${1:-build/screenshots}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

if timeout 60 wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  BUILD=build/win32 WINE=wine
  cmake --preset win32 >/dev/null
else
  BUILD=build/win64 WINE=/usr/lib/wine/wine64
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" -j2 --target Pelorin Vantrel Morvane dialog_shot >/dev/null

export WINEPREFIX="$ROOT/$BUILD/wineprefix-shots" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export BUILD WINE OUT
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  for plugin in Pelorin Vantrel Morvane; do
    for language in 0 1; do
      if [ $language = 0 ]; then name=english locale=en_US.UTF-8; else name=japanese locale=ja_JP.UTF-8; fi
      LANG=$locale LC_ALL=$locale "$WINE" "$BUILD/bin/dialog_shot.exe" "$BUILD/bin/$plugin.spi" $language \
        "$OUT/$plugin-$name.bmp"
      convert "$OUT/$plugin-$name.bmp" "$OUT/$plugin-$name.png"
      rm -f "$OUT/$plugin-$name.bmp"
      echo "$OUT/$plugin-$name.png"
    done
  done
  wineserver -k || true
'
