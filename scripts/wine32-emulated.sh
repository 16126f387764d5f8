#!/usr/bin/env bash
# Runs a batched subset of the win32 suite with 32-bit Wine under qemu-user
# emulation, for kernels that run no 32-bit programs themselves. Under
# emulation one Wine process costs a minute or more, so the subset is a few
# processes: the contract driver over the hostile inputs (every export of the
# four plug-ins, plain and W, with the progress callback), the registry
# settings, one dialog per language, and spihost.exe listing and extracting
# a real file.
#
#   scripts/wine32-emulated.sh            register qemu only where 32-bit programs do not run natively
#   SPI_WINE32_EMULATION=1 scripts/...    register even so (to test this path on any machine)
#
# A registration made here is removed on exit, Ctrl-C included; one that
# already works is used as it is and never replaced. The prefix
# (build/win32/wineprefix-emulated) is kept for the next run.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BIN=$ROOT/build/win32/bin
BINFMT=/proc/sys/fs/binfmt_misc
ENTRY=$BINFMT/spi-qemu-i386
QEMU=/usr/bin/qemu-i386-static
# The ELF header of a 32-bit x86 executable or shared object, as qemu's own
# binfmt configuration spells it.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
MADE=0

FIRST=$ROOT/build/win32/wineprefix-emulated
export WINEPREFIX=$FIRST WINEARCH=win32 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml=" QEMU_RESERVED_VA=0xc0000000

native_i386() { [ "${SPI_WINE32_EMULATION:-0}" != 1 ] && timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; }

# An enabled entry of someone else's for the same header.
registered() {
  local f
  for f in "$BINFMT"/*; do
    [ "$f" = "$ENTRY" ] && continue
    [ -f "$f" ] && grep -qx enabled "$f" 2>/dev/null && grep -q 'magic 7f454c4601010100000000000000000002000300' "$f" && return 0
  done
  return 1
}

register() {
  [ -x "$QEMU" ] || { echo "no $QEMU (qemu-user-static)" >&2; return 1; }
  if [ ! -e "$BINFMT/register" ]; then
    mount -t binfmt_misc binfmt_misc "$BINFMT" || { echo "cannot mount binfmt_misc" >&2; return 1; }
  fi
  registered && return 0
  [ -e "$ENTRY" ] && echo -1 > "$ENTRY"   # a stale one of ours, left by a killed run
  # F: the kernel opens qemu now, so it also serves programs started in other mount namespaces.
  echo ":spi-qemu-i386:M::$MAGIC:$MASK:$QEMU:F" > "$BINFMT/register" || return 1
  MADE=1
}

LANE=
cleanup() {
  [ -n "$LANE" ] && kill "$LANE" 2>/dev/null
  WINEPREFIX=$FIRST timeout 60 wineserver -k 2>/dev/null
  [ -n "${SECOND:-}" ] && WINEPREFIX=$SECOND timeout 60 wineserver -k 2>/dev/null
  [ $MADE = 1 ] && [ -e "$ENTRY" ] && echo -1 > "$ENTRY"
  MADE=0
}
trap 'cleanup; exit 130' INT TERM
trap cleanup EXIT

if native_i386; then
  echo "32-bit programs run natively here: nothing registered (SPI_WINE32_EMULATION=1 forces emulation)" >&2
  exit 3
fi
[ "$(id -u)" = 0 ] || { echo "registering qemu with binfmt_misc needs root" >&2; exit 2; }
register || { echo "could not register qemu-i386 with binfmt_misc" >&2; exit 2; }
timeout 300 /usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "32-bit Wine does not start under qemu" >&2; exit 2; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "==> creating the 32-bit prefix under emulation (once, several minutes)"
  timeout 900 wine wineboot -i >/dev/null 2>&1
  timeout 300 wineserver -w
  [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] || { echo "prefix creation failed" >&2; exit 2; }
fi
# Two lanes, one per core (each emulated process is mostly one busy thread).
# Each lane has a prefix of its own, a copy of the first, so that the registry
# tests of one never see the settings the other writes.
SECOND=$WINEPREFIX-2
rm -rf "$SECOND" && cp -a "$WINEPREFIX" "$SECOND" || { echo "cannot copy the prefix" >&2; exit 2; }
# One wineserver per prefix for the whole run, so that each program does not start one.
wineserver -p 600
WINEPREFIX=$SECOND wineserver -p 600

LOGS=$ROOT/build/win32/emulated-logs
rm -rf "$LOGS" && mkdir -p "$LOGS"
run() {  # run <name> <command...>: its output kept apart, a .failed mark on failure
  local t=$(date +%s) log=$LOGS/$(echo "$1" | tr -c 'A-Za-z0-9\n' '_')
  if timeout 900 "${@:2}" >"$log.log" 2>&1; then
    echo "==> $1: ok ($(( $(date +%s) - t )) s)"
  else
    echo "==> $1: FAILED ($(( $(date +%s) - t )) s)"; tail -20 "$log.log"; touch "$log.failed"
  fi
}
dialogs() {
  run "configuration dialogs ($1)" env LANG=$1 LC_ALL=$1 \
    xvfb-run -a -s "-screen 0 1280x1024x24" wine settings_dialog_test.exe
}
# A real program nobody here built: Wine's own 32-bit notepad, else the sample.
real=$(ls /usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe 2>/dev/null || echo "$ROOT/build/win32/samples/sample.exe")
out=$ROOT/build/win32/emulated-extract
rm -rf "$out"
cd "$BIN"
{ run "contract driver over the hostile inputs" wine hostile_test.exe
  dialogs ja_JP.UTF-8; } &
LANE=$!
export WINEPREFIX=$SECOND
run "settings in the registry" wine settings_test.exe
dialogs en_US.UTF-8
win=$(printf 'Z:%s' "${real//\//\\}")
run "spihost.exe list" sh -c 'wine spihost.exe list "$1" | grep -q "\.ICO"' sh "$win"
run "spihost.exe extract" sh -c 'wine spihost.exe extract "$1" -o ../emulated-extract --png &&
  ls ../emulated-extract/*.ICO.images/*.png >/dev/null' sh "$win"
wait $LANE
LANE=
! ls "$LOGS"/*.failed >/dev/null 2>&1
