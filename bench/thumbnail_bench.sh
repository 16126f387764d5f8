#!/bin/sh
# What a file manager pays per file: the mean wall time of one
# `spihost thumbnail` call, process start included, over the .exe files of
# Wine's libraries (target <= 15 ms). Not a test: it only prints.
#   bench/thumbnail_bench.sh [build folder, default build/native] [library folder] [size]
# The library folder defaults to Wine's 32-bit libraries (installed, else the
# copy extracted under /tmp/w32), else its 64-bit ones.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
spihost=$build/bin/spihost
[ -x "$spihost" ] || { echo "build the native preset first" >&2; exit 1; }
libs=${2:-}
size=${3:-128}
for d in /usr/lib/i386-linux-gnu/wine/i386-windows /tmp/w32/root/usr/lib/i386-linux-gnu/wine/i386-windows \
         /usr/lib/x86_64-linux-gnu/wine/x86_64-windows; do
  [ -n "$libs" ] || { ls "$d"/*.exe >/dev/null 2>&1 && libs=$d; }
done
ls "$libs"/*.exe >/dev/null 2>&1 || { echo "no Wine executables found" >&2; exit 1; }
. "$root/bench/timing.sh"
make_work thumbnail-bench
export SPI_REGISTRY="$work/settings.reg"  # the plug-ins' defaults, not the user's settings
ls "$libs"/*.exe > "$work/files"
count=$(wc -l < "$work/files")

# One round: every file of a list once, as a file manager calls it.
round() {
  while read -r f; do
    "$spihost" thumbnail -s "$size" "$f" "$work/out.png" 2>/dev/null || true
  done < "$1"
}
best_mean() {
  awk -v t="$(best_ns round "$1")" -v n="$(wc -l < "$1")" 'BEGIN {printf "%.2f ms", t / n / 1e6}'
}

shown=0
while read -r f; do
  rm -f "$work/out.png"
  if "$spihost" thumbnail -s "$size" "$f" "$work/out.png" 2>/dev/null; then
    shown=$((shown + 1))
    echo "$f" >> "$work/shown"
  fi
done < "$work/files"
echo "thumbnail -s $size over $count executables of $libs ($shown with an icon)"
echo "mean per call, process start included: $(best_mean "$work/files") (best of 5 rounds; target <= 15)"
[ "$shown" -eq 0 ] || echo "  over the $shown that have an icon: $(best_mean "$work/shown")"
