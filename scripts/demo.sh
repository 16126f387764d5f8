#!/usr/bin/env bash
# The main job on the bundled samples: on a fresh Debian 12 machine (as root)
# it first installs what the native build needs, then builds spihost, the four
# plug-ins and the samples, and runs spihost on each sample: lists it, extracts
# everything and writes PNG images, all into one output folder.
#
#   scripts/demo.sh [OUTPUT_FOLDER]      (default: build/demo)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=${1:-$ROOT/build/demo}
case "$OUT" in /*) ;; *) OUT=$PWD/$OUT ;; esac

# What the native build and the samples need (scripts/packages.sh); the full
# test suite needs more (scripts/test.sh installs that).
source scripts/packages.sh
install_packages "${DEMO_PACKAGES[@]}"

echo "==> building spihost, the plug-ins and the samples (log: build/demo-build.log)"
mkdir -p build
if ! { cmake --preset native && cmake --build --preset native -j"${SPI_JOBS:-2}" --target spihost spi_samples; } \
    >build/demo-build.log 2>&1; then
  tail -30 build/demo-build.log
  echo "build failed; see build/demo-build.log" >&2
  exit 1
fi

SPIHOST=$ROOT/build/native/bin/spihost
SAMPLES=$ROOT/build/native/samples
rm -rf "$OUT"
mkdir -p "$OUT"
# The demo's own settings, so the user's are untouched: Pelorin files the
# resources of each language under a folder of its own.
export SPI_REGISTRY=$OUT/settings.reg
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kestrov\\Susie\\Plug-in\\Pelorin]\n"ExtractLanguage"=dword:00000001\n' >"$SPI_REGISTRY"

status=0
for f in sample.exe multi.ico spinner.ani pointer.cur; do
  echo
  echo "==> spihost list $f"
  "$SPIHOST" list "$SAMPLES/$f" || status=1
done
for f in sample.exe multi.ico spinner.ani pointer.cur; do
  echo
  echo "==> spihost extract $f -o $OUT/$f --png"
  "$SPIHOST" extract "$SAMPLES/$f" -o "$OUT/$f" --png || status=1
done

echo
echo "==> written:"
(cd "$OUT" && find . -type f ! -name settings.reg | sed 's|^\./||' | sort | sed 's/^/  /')
count=$(find "$OUT" -type f -name '*.png' | wc -l)
echo
echo "$count PNG images and the extracted files are in $OUT"
exit $status
