# The timing the bench scripts share, sourced by each:
#   . "$root/bench/timing.sh"
# rounds: how often each command runs (default 5); the best round counts,
# since a shared machine only ever makes a run slower.
rounds=${rounds:-5}

# A fresh folder in $work, in memory where there is one (so that the file
# system's own bookkeeping does not decide a race), removed on exit.
make_work() {
  base=/dev/shm
  [ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
  work=$(mktemp -d "$base/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# rounds_of COMMAND...: one line "wall user system peakKB" per round in
# $work/times; $work/out is made anew before each.
rounds_of() {
  : > "$work/times"
  i=0
  while [ $i -lt $rounds ]; do
    rm -rf "$work/out" && mkdir "$work/out"
    /usr/bin/time -a -o "$work/times" -f "%e %U %S %M" "$@" > /dev/null 2>&1 || true
    i=$((i + 1))
  done
}

# measure COMMAND...: best wall seconds, best processor seconds (user +
# system) and peak memory in KB over the rounds.
measure() {
  rounds_of "$@"
  awk '$1 !~ /^[0-9.]+$/ {next} n++ == 0 || $1 < w {w = $1} n == 1 || $2 + $3 < c {c = $2 + $3} $4 > m {m = $4}
       END {print w, c, m}' "$work/times"
}

# best_ns COMMAND...: the least of the nanoseconds the command takes over the rounds.
best_ns() {
  best=
  i=0
  while [ $i -lt $rounds ]; do
    start=$(date +%s%N)
    "$@"
    t=$(( $(date +%s%N) - start ))
    [ -z "$best" ] || [ "$t" -lt "$best" ] && best=$t
    i=$((i + 1))
  done
  echo "$best"
}
