#!/bin/sh
# spihost at the floor, in one run beside wrestool + icotool and /bin/true.
# Not a test: it only prints. The machine may be shared, so each figure is
# taken over several rounds and the best and the median are shown; judge by
# processor time rather than wall time.
#   bench/spihost_bench.sh [build folder, default build/native] [library folder]
# 1. shell32 to PNG: `spihost extract --png` against wrestool -x + icotool -x,
#    wall and processor (target <= 0.3 of the two tools, every round: the
#    slowest round against their fastest).
# 2. System calls per file written (members and PNGs) by that run, counted
#    with strace -f -c (target <= 6).
# 3. `spihost thumbnail` over Wine's executables, mean per call against
#    /bin/true (target <= 1.5 x /bin/true); one executable with hyperfine.
# 4. Every icon and cursor of all the libraries to PNG in one run, against the
#    two-tool route: processor time (target <= 0.4) and peak memory (which
#    must not grow with the number of inputs: shown for a tenth, for all, and
#    for shell32 alone, the largest).
# Needs BENCH_PACKAGES of scripts/packages.sh.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
spihost=$build/bin/spihost
[ -x "$spihost" ] || { echo "build the native preset first" >&2; exit 1; }
libs=${2:-}
for d in /usr/lib/wine/i386-windows /usr/lib/i386-linux-gnu/wine/i386-windows \
         /usr/lib/x86_64-linux-gnu/wine/x86_64-windows; do
  [ -n "$libs" ] || { [ -f "$d/shell32.dll" ] && libs=$d; }
done
[ -f "$libs/shell32.dll" ] || { echo "no Wine libraries found" >&2; exit 1; }
for t in wrestool icotool strace hyperfine /usr/bin/time; do
  command -v $t >/dev/null || { echo "missing $t: install BENCH_PACKAGES (scripts/packages.sh)" >&2; exit 1; }
done
. "$root/bench/timing.sh"
make_work spihost-bench
export SPI_REGISTRY="$work/settings.reg"  # the plug-ins' defaults, not the user's settings
file=$libs/shell32.dll

# best_median FIELD: "best median" of wall (1) or cpu (2) of $work/times.
best_median() {
  # time(1) adds a line of its own for a command that failed: only the figures count.
  awk -v f="$1" '$1 ~ /^[0-9.]+$/ {v = f == 1 ? $1 : $2 + $3; print v}' "$work/times" | sort -g |
    awk '{a[NR] = $1} END {print a[1], a[int((NR + 1) / 2)]}'
}
# worst FIELD: the slowest round's wall (1) or cpu (2).
worst() { awk -v f="$1" '$1 ~ /^[0-9.]+$/ {v = f == 1 ? $1 : $2 + $3; if (v > m) m = v} END {print m + 0}' "$work/times"; }
peak() { awk '$1 ~ /^[0-9.]+$/ && $4 > m {m = $4} END {print m + 0}' "$work/times"; }

two_tools='wrestool -x -t14 -o "$1" "$2" && wrestool -x -t12 -o "$1" "$2" &&
  for f in "$1"/*.ico "$1"/*.cur; do [ -f "$f" ] && icotool -x -o "$1" "$f"; done; true'

echo "1. $file to PNG ($rounds rounds; best / median)"
rounds_of "$spihost" extract "$file" -o "$work/out" --png
ow=$(best_median 1) oc=$(best_median 2) owx=$(worst 1) ocx=$(worst 2)
rounds_of sh -c "$two_tools" sh "$work/out" "$file"
tw=$(best_median 1) tc=$(best_median 2)
echo "$ow $oc $tw $tc $owx $ocx" | awk '{
  printf "   spihost extract --png:  wall %.3f / %.3f s, processor %.3f / %.3f s\n", $1, $2, $3, $4
  printf "   wrestool + icotool:     wall %.3f / %.3f s, processor %.3f / %.3f s\n", $5, $6, $7, $8
  printf "   ratio (best, median):   wall %.2f %.2f, processor %.2f %.2f (target <= 0.3)\n",
         $1 / $5, $2 / $6, $3 / $7, $4 / $8
  # Every round: the slowest of spihost against the fastest of the two tools.
  printf "   every round (slowest / fastest): wall %.2f, processor %.2f (target <= 0.3)\n", $9 / $5, $10 / $7 }'

rm -rf "$work/out" && mkdir "$work/out"
strace -f -c -o "$work/strace" "$spihost" extract "$file" -o "$work/out" --png > /dev/null 2>&1 || true
written=$(find "$work/out" -type f | wc -l)
calls=$(awk '$NF == "total" {print $(NF - 2) + 0}' "$work/strace")
echo "2. system calls: $calls for $written files written: $(awk -v c="$calls" -v n="$written" \
  'BEGIN {printf "%.2f", c / n}') per file (target <= 6)"
awk 'NR > 2 && $NF != "total" && $NF !~ /^-/ {printf "   %s %s", $NF, ($5 ~ /^[0-9]+$/ && NF == 6) ? $4 : $4} END {print ""}' \
  "$work/strace" | fold -s -w 100

ls "$libs"/*.exe > "$work/exes"
echo "3. thumbnail -s 128 over $(wc -l < "$work/exes") executables of $libs"
: > "$work/one"
for f in $(cat "$work/exes"); do
  "$spihost" thumbnail "$f" "$work/t.png" 2>/dev/null && echo "$f" >> "$work/one" || true
done
pick=$(head -1 "$work/one")
hyperfine -N -w 3 -r 30 --export-json "$work/hf.json" /bin/true \
  "$spihost thumbnail $pick $work/t.png" > /dev/null 2>&1 || true
python3 - "$work/hf.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
t, s = r[0], r[1]
print("   /bin/true %.2f ms (median %.2f), thumbnail of %s %.2f ms (median %.2f); ratio %.2f mean, %.2f median (target <= 1.5)"
      % (t["mean"] * 1e3, t["median"] * 1e3, s["command"].split()[2].rsplit("/", 1)[-1], s["mean"] * 1e3,
         s["median"] * 1e3, s["mean"] / t["mean"], s["median"] / t["median"]))
PY
# The target's own measure: every executable, each call beside one of
# /bin/true so that both see the same machine, started straight from here.
python3 - "$spihost" "$work/exes" "$work/t.png" "${thumb_rounds:-5}" <<'PY'
import os, statistics, sys, time
spihost, listing, out, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
files = open(listing).read().split()
null = os.open(os.devnull, os.O_WRONLY)
def run(argv):
    t = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)])
    status = os.waitpid(pid, 0)[1]
    return time.perf_counter() - t, status
true, thumb, shown = {f: [] for f in files}, {f: [] for f in files}, set()
for _ in range(rounds):
    for f in files:
        true[f].append(run(["/bin/true"])[0])
        t, status = run([spihost, "thumbnail", f, out])
        thumb[f].append(t)
        if status == 0: shown.add(f)
mean = lambda d, fs: statistics.mean(statistics.median(d[f]) for f in fs)
base = mean(true, files)
print("   all %d, per file the median of %d rounds: /bin/true %.2f ms, thumbnail %.2f ms: ratio %.2f (target <= 1.5)"
      % (len(files), rounds, base * 1e3, mean(thumb, files) * 1e3, mean(thumb, files) / base))
icons = sorted(shown)
rest = [f for f in files if f not in shown]
if icons and rest:
    print("   the %d with an icon %.2f ms (%.2f), the %d without %.2f ms (%.2f)"
          % (len(icons), mean(thumb, icons) * 1e3, mean(thumb, icons) / base,
             len(rest), mean(thumb, rest) * 1e3, mean(thumb, rest) / base))
PY

ls "$libs"/*.dll "$libs"/*.exe > "$work/all"
head -n $(( $(wc -l < "$work/all") / 10 + 1 )) "$work/all" > "$work/tenth"
echo "4. every icon and cursor of $(wc -l < "$work/all") libraries to PNG (best / median processor)"
rounds=${folder_rounds:-3}
rounds_of sh -c '"$1" extract -o "$2" --png --only ico,cur $(cat "$3")' sh "$spihost" "$work/out" "$work/tenth"
tenth_peak=$(peak)
rounds_of "$spihost" extract -o "$work/out" --png --only ico,cur "$file"
one_peak=$(peak)
rounds_of sh -c '"$1" extract -o "$2" --png --only ico,cur $(cat "$3")' sh "$spihost" "$work/out" "$work/all"
oc=$(best_median 2) opk=$(peak)
# A folder of its own per library, as spihost gives each its own: icotool
# must see only that library's icons.
rounds_of sh -c "i=0; for f in \$(cat \"\$3\"); do i=\$((i + 1)); mkdir \"\$2/\$i\";
  sh -c '$two_tools' sh \"\$2/\$i\" \"\$f\" 2>/dev/null; done; true" sh "" "$work/out" "$work/all"
tc=$(best_median 2)
echo "$oc $tc $opk $tenth_peak $one_peak" | awk '{
  printf "   spihost %.2f / %.2f s, wrestool + icotool %.2f / %.2f s: ratio %.2f / %.2f (target <= 0.4)\n",
         $1, $2, $3, $4, $1 / $3, $2 / $4
  printf "   peak memory: %d KB over all inputs, %d KB over a tenth of them, %d KB for shell32 alone\n", $5, $6, $7
  printf "   (two inputs are open at once on two cores: the peak follows the largest, not their number)\n" }'
