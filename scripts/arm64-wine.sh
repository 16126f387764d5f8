#!/usr/bin/env bash
# Runs the ARM64 plug-ins (build/winarm64) under Debian's arm64 Wine, emulated
# by qemu-aarch64: bin/plugin_smoke.exe over the fuzz seed corpus, whose lines
# must equal those of bin/plugin_smoke_x64.exe over the x64 plug-ins
# (build/win64) under wine64. Exit 0 equal, 1 different, 2 not run here.
# arm64 Wine cannot be installed beside the x64 one (wine64:arm64 replaces
# wine64), so its packages are unpacked into build/arm64-wine/root instead.
# Wine re-executes its loader, so ARM64 programs need a binfmt_misc entry for
# qemu-aarch64: one is registered for the run when none exists, and removed after.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
W=$PWD/build/arm64-wine
ROOT=$W/root
BIN=$PWD/build/winarm64/bin
notrun() { echo "arm64 Wine: $*" >&2; exit 2; }
[ -x "$BIN/plugin_smoke.exe" ] && [ -e build/win64/bin/Morvane.sph ] || notrun "build winarm64 and win64 first"
command -v qemu-aarch64-static >/dev/null || notrun "no qemu-aarch64-static"
if [ ! -x "$ROOT/usr/lib/wine/wine64" ]; then
  # The architecture is added only to download; nothing arm64 is installed, so
  # the machine's package set is left as it was.
  added=
  dpkg --print-foreign-architectures | grep -qx arm64 || { dpkg --add-architecture arm64 && added=1; }
  apt-get update -q >/dev/null 2>&1
  mkdir -p "$W/debs" && (cd "$W/debs" && apt-get download "${ARM64_WINE_PACKAGES[@]}" >/dev/null 2>&1)
  got=$?
  [ -n "$added" ] && dpkg --remove-architecture arm64
  [ $got = 0 ] || notrun "could not download ${ARM64_WINE_PACKAGES[*]}"
  for d in "$W"/debs/*.deb; do dpkg -x "$d" "$ROOT"; done
fi
B=/proc/sys/fs/binfmt_misc
[ -e $B/register ] || mount -t binfmt_misc binfmt_misc $B 2>/dev/null || notrun "no binfmt_misc"
ours=
if ! grep -qs 'magic 7f454c460201010000000000000000000200b700' $B/*; then
  echo ':spi-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-aarch64-static:F' >$B/register ||
    notrun "cannot register qemu-aarch64 with binfmt_misc"
  ours=$B/spi-aarch64
fi
export QEMU_LD_PREFIX=$ROOT WINEPREFIX=$W/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The packaged wineserver script starts the host's x64 server, which takes no
# ARM64 client: the ARM64 server is started here, for the length of the run.
# The server works in the prefix: on a first run it must exist before the
# server starts, or the server quits and the host's one is started instead.
mkdir -p "$WINEPREFIX"
"$ROOT/usr/lib/wine/wineserver64" -p60
corpus=$PWD/build/winarm64/seeds
rm -rf "$corpus" && "${SPI_CORPUS_TOOL:-build/native/bin/spi_fuzz_corpus}" "$corpus" >/dev/null 2>&1 ||
  { [ -n "$ours" ] && echo -1 >"$ours"; notrun "no seed corpus (build the native preset)"; }
win() { printf 'Z:%s' "${1//\//\\}"; }
timeout 900 "$ROOT/usr/lib/wine/wine64" "$BIN/plugin_smoke.exe" "$(win "$BIN")" "$(win "$corpus")" >"$W/arm64.txt" 2>"$W/arm64.err"
rc=$?
"$ROOT/usr/lib/wine/wineserver64" -k 2>/dev/null
[ -n "$ours" ] && echo -1 >"$ours"
[ $rc = 0 ] || { tail -5 "$W/arm64.err" >&2; echo "plugin_smoke.exe under arm64 Wine: exit $rc" >&2; exit 1; }
WINEPREFIX=$PWD/build/win64/wineprefix timeout 600 /usr/lib/wine/wine64 "$BIN/plugin_smoke_x64.exe" \
  "$(win "$PWD/build/win64/bin")" "$(win "$corpus")" >"$W/x64.txt" 2>/dev/null || { echo "the x64 smoke host failed" >&2; exit 1; }
diff "$W/x64.txt" "$W/arm64.txt" >&2 || { echo "ARM64 and x64 plug-ins disagree" >&2; exit 1; }
echo "$(grep -c '^  ' "$W/arm64.txt") seed files, the same results and digests as x64"
