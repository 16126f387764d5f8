#!/bin/sh
# spihost's main job against the two-tool route, and Morvane's decoding
# against Pillow, in one run on the same files. Not a test: it only prints.
#   bench/icons_bench.sh [build folder, default build/native] [library folder]
# The library folder defaults to Wine's 32-bit libraries (else its 64-bit ones).
# 1. `spihost extract shell32.dll -o DIR --png` against
#    `wrestool -x -t14 -o DIR shell32.dll && icotool -x -o DIR DIR/*.ico`:
#    best wall and processor time of 5 rounds, their ratio (target <= 0.3),
#    and the PNGs written (target: no larger in total than icotool's).
#    Both write into the same memory-backed folder where there is one, so
#    that the file system's own bookkeeping does not decide the race.
# 2. Every image of every icon and cursor group of the libraries, each as a
#    one-image file held in memory: mean microseconds per image through
#    GetPicture and GetPictureAlpha, beside Pillow opening and decoding the
#    same files (target <= 20 us per image).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
spihost=$build/bin/spihost
bench=$build/bin/morvane_bench
[ -x "$spihost" ] && [ -x "$bench" ] || { echo "build the native preset first" >&2; exit 1; }
libs=${2:-}
for d in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows; do
  [ -n "$libs" ] || { [ -f "$d/shell32.dll" ] && libs=$d; }
done
[ -f "$libs/shell32.dll" ] || { echo "no Wine libraries found" >&2; exit 1; }
command -v wrestool >/dev/null && command -v icotool >/dev/null || { echo "install icoutils" >&2; exit 1; }
. "$root/bench/timing.sh"
make_work icons-bench
export SPI_REGISTRY="$work/settings.reg"  # the plug-ins' defaults, not the user's settings
file=$libs/shell32.dll
pngs() { find "$work/out" -name '*.png' | wc -l; }
png_bytes() { find "$work/out" -name '*.png' -exec cat {} + | wc -c; }

echo "file: $file"
ours=$(measure "$spihost" extract "$file" -o "$work/out" --png)
our_pngs=$(pngs) our_bytes=$(png_bytes)
theirs=$(measure sh -c 'wrestool -x -t14 -o "$1" "$2" && icotool -x -o "$1" "$1"/*.ico' sh "$work/out" "$file")
their_pngs=$(pngs) their_bytes=$(png_bytes)
echo "$ours $theirs" | awk -v op="$our_pngs" -v ob="$our_bytes" -v tp="$their_pngs" -v tb="$their_bytes" '{
  printf "spihost extract --png:    %6.3f s wall, %6.3f s processor, %d PNGs, %d bytes\n", $1, $2, op, ob
  printf "wrestool + icotool -x:    %6.3f s wall, %6.3f s processor, %d PNGs, %d bytes\n", $4, $5, tp, tb
  printf "ratio (spihost / icoutils): %.2f wall, %.2f processor (target <= 0.3); PNG bytes %.3f (target <= 1)\n",
         $1 / $4, $2 / $5, ob / tb }'

echo
echo "decoding: every image of the icon and cursor groups of $libs"
/usr/bin/python3 "$root/tests/morvane/make_samples.py" wine "$work/icons" "$libs" > /dev/null 2>&1
(cd "$work/icons/single" && ls | grep -E '\.(ico|cur)$' > "$work/list")
(cd "$work/icons/single" && xargs "$bench" < "$work/list")
(cd "$work/icons/single" && /usr/bin/python3 - "$work/list" <<'PY'
import io, sys, time, warnings
from PIL import Image
warnings.simplefilter("ignore")
files = [open(n.strip(), "rb").read() for n in open(sys.argv[1])]
best = None
for _ in range(5):
    start = time.perf_counter()
    for data in files:
        with Image.open(io.BytesIO(data)) as im:
            im.load()
    took = time.perf_counter() - start
    best = took if best is None or took < best else best
png = sum(1 for d in files if d[22:26] == b"\x89PNG")
print("Pillow open + decode: %.1f us per image (%d images, %d of them PNG)" % (best / len(files) * 1e6, len(files), png))
PY
)
