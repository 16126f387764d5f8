#!/usr/bin/env bash
# Fuzzes every plug-in through its exports (libFuzzer, AddressSanitizer, UBSan)
# and prints, per target, the executions, the coverage and the findings.
#
#   scripts/fuzz.sh                    60 s per target
#   scripts/fuzz.sh 3600               a long campaign: an hour per target
#   scripts/fuzz.sh 30 vantrel morvane only these targets
#
# Targets run one process each (SPI_FUZZ_JOBS to change), as many at once as
# there are cores (SPI_FUZZ_PARALLEL to change).
# The corpus grows in build/fuzz-corpus/<target> from run to run; the seeds
# come from the tests' builders and from the real files the tests use.
# A finding is written to build/fuzz-findings/<target>/; minimise it with
#   build/fuzz/bin/fuzz_<target> -minimize_crash=1 -runs=20000 <finding>
# and check it in as tests/hostile/inputs/<target>/<name>, where hostile_test
# replays it under every setting.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_PER_TARGET=${1:-60}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=(pelorin vantrel quibbet morvane)
JOBS=${SPI_FUZZ_JOBS:-1}
BUILD_JOBS=${SPI_JOBS:-2}
MAX_LEN=${SPI_FUZZ_MAX_LEN:-16384}
BIN=$ROOT/build/fuzz/bin
CORPUS=$ROOT/build/fuzz-corpus
SEEDS=$ROOT/build/fuzz-seeds
FINDINGS=$ROOT/build/fuzz-findings
LOGS=$ROOT/build/fuzz-logs

echo "==> building the fuzz targets"
mkdir -p build
if ! { cmake --preset fuzz && cmake --build --preset fuzz -j"$BUILD_JOBS"; } >build/fuzz.log 2>&1; then
  tail -30 build/fuzz.log
  echo "fuzz build failed (see build/fuzz.log)" >&2
  exit 2
fi

echo "==> seeds"
# Real files of the tests and of the tools on this machine, where present.
mapfile -t real < <(find tests -type f \( -iname '*.ico' -o -iname '*.cur' -o -iname '*.ani' -o -iname '*.exe' -o -iname '*.dll' \) -size -1M 2>/dev/null
                    find build/native/tests -type f \( -iname '*.ico' -o -iname '*.cur' -o -iname '*.ani' \) -size -256k 2>/dev/null | head -200
                    find /usr/lib/i386-linux-gnu/wine/i386-windows -type f \( -name '*.exe' -o -name '*.dll' \) -size -48k 2>/dev/null | sort | head -24
                    find /usr/share/wine/fonts -type f -name '*.fon' -size -64k 2>/dev/null | sort | head -8)
rm -rf "$SEEDS"
"$BIN/spi_fuzz_corpus" "$SEEDS" "${real[@]}"

mkdir -p "$LOGS"
# Targets at once: each runs one process, so one per core ends the run sooner
# with the same time per target.
PARALLEL=${SPI_FUZZ_PARALLEL:-$(nproc 2>/dev/null || echo 1)}

fuzz_one() {  # fuzz_one <target>: its log in $LOGS/<target>.log, status in .rc
  local t=$1 exe=$BIN/fuzz_$1 work=$LOGS/$1.jobs
  mkdir -p "$CORPUS/$t" "$FINDINGS/$t"
  # With -jobs (even 1) the workers log to fuzz-<n>.log in the current folder
  # and the parent copies each into its own log as the worker ends: a folder
  # per target keeps targets running at once apart; only the copy is kept.
  rm -rf "$work"
  mkdir -p "$work"
  # Limits make hangs and unbounded allocations findings too.
  (cd "$work" &&
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$exe" "$CORPUS/$t" "$SEEDS/$t" \
      -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
      -max_len="$MAX_LEN" -jobs="$JOBS" -workers="$JOBS" -print_final_stats=1 \
      -artifact_prefix="$FINDINGS/$t/" >"$LOGS/$t.log" 2>&1)
  echo $? >"$LOGS/$t.rc"
  rm -rf "$work"
}

running=0
for t in "${TARGETS[@]}"; do
  rm -f "$LOGS/$t.rc"
  [ -x "$BIN/fuzz_$t" ] || continue
  if [ $running -ge "$PARALLEL" ]; then wait -n; running=$((running - 1)); fi
  echo "==> fuzz_$t for ${SECONDS_PER_TARGET}s"
  fuzz_one "$t" &
  running=$((running + 1))
done
wait

declare -a ROWS=()
total_findings=0
for t in "${TARGETS[@]}"; do
  if [ ! -x "$BIN/fuzz_$t" ]; then
    ROWS+=("$(printf '%-9s %s' "$t" "not built")")
    total_findings=$((total_findings + 1))
    continue
  fi
  log=$LOGS/$t.log
  rc=$(cat "$LOGS/$t.rc" 2>/dev/null || echo 1)
  execs=$(grep -h 'stat::number_of_executed_units' "$log" | awk '{s += $2} END {print s + 0}')
  last=$(grep -hE '^#[0-9]+.*cov: ' "$log" | tail -1)
  cov=$(sed -nE 's/.*cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  corp=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<<"$last")
  rate=$(grep -h 'stat::average_exec_per_sec' "$log" | awk '{s += $2} END {print s + 0}')
  found=$(find "$FINDINGS/$t" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
  [ "$rc" -ne 0 ] && [ "$found" -eq 0 ] && found="?(rc $rc)"
  [ "$found" != 0 ] && total_findings=$((total_findings + 1))
  ROWS+=("$(printf '%-9s %12s %8s %7s %8s %7s   %s' "$t" "${execs:-0}" "${rate:-0}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$found")")
  [ "$found" != 0 ] && grep -hE 'ERROR:|broken promise|SUMMARY' "$log" | head -5
done

echo
printf '%-9s %12s %8s %7s %8s %7s   %s\n' target executions exec/s edges features corpus findings
for r in "${ROWS[@]}"; do echo "$r"; done
echo "(logs in $LOGS, findings in $FINDINGS)"
[ $total_findings -eq 0 ]
