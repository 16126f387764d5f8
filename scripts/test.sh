#!/usr/bin/env bash
# Builds the presets and runs every test: natively, the 32-bit Windows build
# under Wine, the 64-bit Windows build (the .sph plug-ins) under wine64 and the
# ARM64 one (.spha) under emulated arm64 Wine. On a fresh Debian 12 machine
# (as root) it first installs what is
# missing; when everything is there it goes straight to building.
#
#   scripts/test.sh              everything
#   SPI_SANITIZE=0 scripts/test.sh   without the sanitizer preset
#   SPI_FUZZ_SECONDS=0 ...       without the short fuzz run (25 s per target)
#   SPI_REQUIRE_WINE=1 ...       fail (rather than warn) when 32-bit Wine cannot run here
#   SPI_WINE32_EMULATION=1 ...   the win32 subset under qemu emulation even where 32-bit runs natively
#
# Where the kernel runs no 32-bit programs (IA-32 emulation off), a batched
# subset of the win32 suite runs under qemu-user emulation
# (scripts/wine32-emulated.sh); where neither starts, the win32 plug-ins are
# still built and their exports checked, and the win32 suite is reported NOT RUN.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${SPI_JOBS:-2}

# The package lists (TEST_PACKAGES) and the checks shared with release.sh.
source scripts/packages.sh
source scripts/checks.sh

declare -a SUMMARY=()
FAILED=0
note() { printf '\n==> %s\n' "$*"; }
record() {  # record <stage> <ok|FAILED|NOT RUN> [detail]
  SUMMARY+=("$(printf '%-28s %s' "$1" "$2${3:+ ($3)}")")
  [ "$2" = FAILED ] && FAILED=1
  return 0
}

# The packages of another architecture (wine32:i386): where they cannot be had,
# the rest still installs and the 32-bit Wine suite is reported NOT RUN.
WINE32_WHY=""

install_missing() {
  local missing
  mapfile -t missing < <(missing_packages "${TEST_PACKAGES[@]}")
  local need_locale=0
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' || need_locale=1
  if [ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ]; then
    record "packages" ok "all present"
    return 0
  fi
  if [ "$(id -u)" != 0 ]; then
    echo "missing: ${missing[*]} ${need_locale:+(ja_JP.UTF-8 locale)}; run as root to install" >&2
    record "packages" FAILED "not root"
    return 1
  fi
  local detail=""
  if [ ${#missing[@]} -gt 0 ]; then
    note "installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    mkdir -p build
    # A mirror in the middle of a sync can fail one index while every package
    # still installs: the install, not the update, decides.
    apt-get update -q >build/apt-update.log 2>&1
    local failed
    failed=$(sed -n 's|^E: Failed to fetch \([^ ]*\).*|\1|p' build/apt-update.log | sed 's|.*/dists/||' | sort -u | tr '\n' ' ')
    [ -n "$failed" ] && echo "apt-get update: index failed to download: $failed(installing anyway)" >&2
    local native=() foreign=()
    for p in "${missing[@]}"; do
      case "$p" in *:i386) foreign+=("$p") ;; *) native+=("$p") ;; esac
    done
    if [ ${#native[@]} -gt 0 ] && ! apt-get install -y -q --no-install-recommends "${native[@]}"; then
      record "packages" FAILED "apt-get install${failed:+; failed index: $failed}"
      return 1
    fi
    if [ ${#foreign[@]} -gt 0 ] && ! apt-get install -y -q --no-install-recommends "${foreign[@]}"; then
      WINE32_WHY="${foreign[*]} not installable${failed:+ (index failed to download: ${failed% })}"
      echo "$WINE32_WHY" >&2
      detail="; without ${foreign[*]}"
    fi
  fi
  if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen || { record "packages" FAILED "locale-gen"; return 1; }
  fi
  record "packages" ok "installed ${missing[*]:-locale}$detail"
}

build_preset() {  # build_preset <preset>
  note "configure and build: $1"
  mkdir -p build
  local log="build/$1.log"
  if cmake --preset "$1" >"$log" 2>&1 && cmake --build --preset "$1" -j"$JOBS" >>"$log" 2>&1; then
    record "build $1" ok
    return 0
  fi
  tail -40 "$log"
  record "build $1" FAILED "see $log"
  return 1
}

test_preset() {  # test_preset <preset> [wrapper...]
  local preset=$1
  shift
  note "tests: $preset"
  if "$@" ctest --preset "$preset" -j"$JOBS" --output-on-failure; then
    record "tests $preset" ok
  else
    record "tests $preset" FAILED
  fi
}

# Wine's 32-bit side needs its i386 packages and a kernel that runs 32-bit programs.
wine_usable() { [ -x /usr/lib/wine/wine ] && timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; }

# Where the kernel runs no 32-bit programs (or SPI_WINE32_EMULATION=1 forces
# it), a batched subset under qemu-user emulation; status 3: not needed here.
run_wine32_emulated() {
  local t0=$(date +%s) rc
  note "tests: win32 under emulation (qemu-i386)"
  scripts/wine32-emulated.sh
  rc=$?
  case $rc in
    0) record "tests win32 (Wine under emulation)" ok "$(( $(date +%s) - t0 )) s" ;;
    1) record "tests win32 (Wine under emulation)" FAILED ;;
  esac
  return $rc
}

run_wine_tests() {
  if [ "${SPI_WINE32_EMULATION:-0}" = 1 ] || ! wine_usable; then
    run_wine32_emulated
    [ $? -le 1 ] && return
  fi
  export WINEPREFIX="$ROOT/build/win32/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if ! wine_usable; then
    local why=${WINE32_WHY:-Wine cannot run 32-bit programs, natively or under qemu emulation}
    echo "32-bit Wine cannot start here: $why." >&2
    if [ "${SPI_REQUIRE_WINE:-0}" = 1 ]; then
      record "tests win32 (Wine)" FAILED "$why"
    else
      record "tests win32 (Wine)" "NOT RUN" "$why"
    fi
    return
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    note "initialising the Wine prefix (once)"
    timeout 600 wine wineboot -i >/dev/null 2>&1
    timeout 120 wineserver -w
  fi
  local wrap=()
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then wrap=(xvfb-run -a); fi
  note "tests: win32 (Wine)"
  if "${wrap[@]}" ctest --preset win32 -j"$JOBS" --output-on-failure; then
    record "tests win32 (Wine)" ok
  else
    record "tests win32 (Wine)" FAILED
  fi
}

WINE64=/usr/lib/wine/wine64

# The 64-bit plug-ins and their whole suite under wine64.
run_win64_tests() {
  [ -x "$WINE64" ] || { record "tests win64 (wine64)" "NOT RUN" "no wine64"; return; }
  export WINEPREFIX="$ROOT/build/win64/wineprefix" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    note "initialising the wine64 prefix (once)"
    timeout 600 "$WINE64" wineboot -i >/dev/null 2>&1
    timeout 120 wineserver -w
  fi
  local wrap=()
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then wrap=(xvfb-run -a); fi
  local t0=$(date +%s)
  note "tests: win64"
  if "${wrap[@]}" ctest --preset win64 -j"$JOBS" --output-on-failure; then
    record "tests win64 (wine64)" ok "$(( $(date +%s) - t0 )) s"
  else
    record "tests win64 (wine64)" FAILED
  fi
  unset WINEARCH
}

# The ARM64 plug-ins (.spha): built, checked without an ARM64 machine, the stack
# probe tested under qemu-aarch64, then run under emulated arm64 Wine against
# the x64 results (after the win64 build).
run_arm64() {
  build_preset winarm64 || return
  if check_arm64 && check_arm64_import_names; then
    record "winarm64 checks" ok "AA64, exports, system imports, <= 128 KB"
  else
    record "winarm64 checks" FAILED
  fi
  test_preset winarm64
  local out rc
  out=$(scripts/arm64-wine.sh)
  rc=$?
  case $rc in
    0) record "winarm64 (arm64 Wine)" ok "$out" ;;
    2) record "winarm64 (arm64 Wine)" "NOT RUN" "see above" ;;
    *) record "winarm64 (arm64 Wine)" FAILED ;;
  esac
}

# The Debian package installed into this machine (root only), thumbnails drawn
# by GNOME's own factory under bubblewrap and by XFCE's tumbler, then removed
# without a trace.
run_package_test() {
  if [ "$(id -u)" != 0 ]; then record "package (GNOME, tumbler)" "NOT RUN" "installs into the system: needs root"; return; fi
  note "package: build, install, thumbnails through GNOME's factory, remove"
  if scripts/deb.sh >build/deb.log 2>&1 &&
     /usr/bin/python3 tests/package/factory_test.py build/deb/spihost_*_amd64.deb build/native/samples build/package-test; then
    record "package (GNOME, tumbler)" ok
  else
    record "package (GNOME, tumbler)" FAILED "see build/deb.log"
  fi
}

start=$(date +%s)
install_missing
if build_preset native; then test_preset native; run_package_test; fi
if build_preset win32; then
  if check_exports win32 i686-w64-mingw32-objdump .spi; then
    record "win32 exports" ok "plain names, none missing"
  else
    record "win32 exports" FAILED
  fi
  if check_imports; then record "win32 imports (XP)" ok; else record "win32 imports (XP)" FAILED; fi
  run_wine_tests
fi
if build_preset win64; then
  if check_exports win64 x86_64-w64-mingw32-objdump .sph; then
    record "win64 exports" ok "plain names, none missing"
  else
    record "win64 exports" FAILED
  fi
  run_win64_tests
fi
run_arm64
# The whole suite again under AddressSanitizer, UBSan and LeakSanitizer
# (the hostile inputs and the fault injection included); SPI_SANITIZE=0 skips it.
if [ "${SPI_SANITIZE:-1}" = 1 ]; then
  if build_preset sanitize; then test_preset sanitize; fi
fi
# A short bounded run of every fuzz target from its seeds (SPI_FUZZ_SECONDS
# each, 0 skips); scripts/fuzz.sh with a longer time is the long campaign.
if [ "${SPI_FUZZ_SECONDS:-25}" != 0 ]; then
  note "fuzz: ${SPI_FUZZ_SECONDS:-25} s per target"
  if scripts/fuzz.sh "${SPI_FUZZ_SECONDS:-25}"; then
    record "fuzz (short run)" ok
  else
    record "fuzz (short run)" FAILED "see build/fuzz-logs and build/fuzz-findings"
  fi
fi

echo
echo "==================== summary ($(( $(date +%s) - start )) s) ===================="
printf '%s\n' "${SUMMARY[@]}"
if [ $FAILED = 0 ]; then echo "RESULT: PASS"; else echo "RESULT: FAIL"; fi
exit $FAILED
