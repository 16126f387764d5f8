#!/bin/sh
# Pelorin against wrestool and 7-Zip on the largest of Wine's libraries (or the
# executable named): the time to list and to extract every member, their
# ratios, and the peak memory of each beside the file's size. Not a test: it
# only prints. Processor time (user + system) is compared as well as wall
# time, since a shared machine makes wall times noisy.
#   bench/pelorin_bench.sh [build folder, default build/native] [executable]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
bench=$build/bin/pelorin_bench
plugin=$build/bin/Pelorin.spi
[ -x "$bench" ] && [ -f "$plugin" ] || { echo "build the native preset first" >&2; exit 1; }
file=${2:-$(ls -S /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll \
                  /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll 2>/dev/null | head -1)}
[ -f "$file" ] || { echo "no Wine libraries found" >&2; exit 1; }
. "$root/bench/timing.sh"
make_work pelorin-bench

size=$(stat -c %s "$file")
echo "file: $file ($size bytes)"
rm -rf "$work/out" && mkdir "$work/out"
/usr/bin/time -o "$work/ourpeak" -f "%M" "$bench" "$plugin" "$file" "$work/out" $rounds \
  > "$work/ours" 2> /dev/null
value() { awk -v k="$1" '$1 == k {print $2}' "$work/ours"; }
seven_l=$(measure 7zz l "$file")
seven_x=$(measure 7zz x -y -o"$work/out" "$file")
wres_x=$(measure wrestool -x -o "$work/out" "$file")

awk -v m="$(value members)" -v n="$(value entries)" \
    -v lw="$(value list_wall)" -v lc="$(value list_cpu)" \
    -v mw="$(value members_wall)" -v mc="$(value members_cpu)" \
    -v ew="$(value every_wall)" -v ec="$(value every_cpu)" -v op="$(cat "$work/ourpeak")" \
    -v wlw="$(value list_w_wall)" -v wlc="$(value list_w_cpu)" \
    -v wmw="$(value members_w_wall)" -v wmc="$(value members_w_cpu)" \
    -v sl="$seven_l" -v sx="$seven_x" -v wx="$wres_x" -v size="$size" 'BEGIN {
  split(sl, a, " "); split(sx, b, " "); split(wx, c, " ")
  printf "Pelorin lists %d members of %d resources\n", m, n
  printf "%-34s %10s %10s\n", "", "wall s", "cpu s"
  printf "%-34s %10.4f %10.4f\n", "Pelorin list", lw, lc
  printf "%-34s %10.4f %10.4f\n", "7zz l", a[1], a[2]
  printf "%-34s %10.4f %10.4f\n", "Pelorin extract every resource", ew, ec
  printf "%-34s %10.4f %10.4f\n", "wrestool -x", c[1], c[2]
  printf "%-34s %10.4f %10.4f\n", "7zz x", b[1], b[2]
  printf "%-34s %10.4f %10.4f\n", "Pelorin extract listed members", mw, mc
  printf "%-34s %10.4f %10.4f\n", "Pelorin list (W exports)", wlw, wlc
  printf "%-34s %10.4f %10.4f\n", "Pelorin extract listed (W exports)", wmw, wmc
  printf "ratio W / plain:                 list wall %.3f, extract wall %.3f\n", wlw / (lw > 0 ? lw : 0.000001), wmw / (mw > 0 ? mw : 0.000001)
  printf "ratio list / 7zz l:              wall %.3f  cpu %.3f  (target <= 1)\n", lw / a[1], lc / (a[2] > 0 ? a[2] : 0.001)
  printf "ratio extract / wrestool -x:     wall %.3f  cpu %.3f  (target <= 0.333)\n", ew / c[1], ec / (c[2] > 0 ? c[2] : 0.001)
  printf "ratio extract / 7zz x:           wall %.3f  cpu %.3f\n", ew / b[1], ec / (b[2] > 0 ? b[2] : 0.001)
  printf "peak memory KB: Pelorin %d, wrestool %d, 7zz %d; file %d (Pelorin minus file: %d)\n",
         op, c[3], b[3], size / 1024, op - size / 1024
}'

# The NE icon library of about 200 groups that the Pelorin NE tests build from
# Wine's icons (run ctest -R pelorin_ne first): listed and extracted beside wrestool.
icl=$build/bin/pelorin_200_groups.icl
if [ -f "$icl" ]; then
  rm -rf "$work/out" && mkdir "$work/out"
  "$bench" "$plugin" "$icl" "$work/out" $rounds > "$work/icl" 2> /dev/null
  icl_value() { awk -v k="$1" '$1 == k {print $2}' "$work/icl"; }
  wres_il=$(measure wrestool -l "$icl")
  wres_ix=$(measure wrestool -x -o "$work/out" "$icl")
  awk -v m="$(icl_value members)" -v lw="$(icl_value list_wall)" -v lc="$(icl_value list_cpu)" \
      -v mw="$(icl_value members_wall)" -v mc="$(icl_value members_cpu)" \
      -v wl="$wres_il" -v wx="$wres_ix" -v size="$(stat -c %s "$icl")" 'BEGIN {
    split(wl, a, " "); split(wx, b, " ")
    printf "NE icon library, %d groups, %d bytes (wall s / cpu s):\n", m, size
    printf "  list:    Pelorin %.4f / %.4f   wrestool -l %.4f / %.4f   ratio wall %.3f\n", lw, lc, a[1], a[2] + 0, lw / (a[1] > 0 ? a[1] : 0.000001)
    printf "  extract: Pelorin %.4f / %.4f   wrestool -x %.4f / %.4f   ratio wall %.3f\n", mw, mc, b[1], b[2] + 0, mw / (b[1] > 0 ? b[1] : 0.000001)
  }'
fi
