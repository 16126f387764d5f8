#!/usr/bin/env bash
# Builds the Windows release archive: build/win32/dist/KestrovSusiePlugins-<version>-win32.zip,
# with x86/ (the .spi plug-ins for 32-bit viewers) and x64/ (the .sph plug-ins
# for 64-bit viewers), each with its spihost.exe, arm64/ (the .spha plug-ins
# for ARM64 viewers), and the user guides. On a
# fresh Debian 12 machine (as root) it first installs what the build needs.
#
# The plug-ins pass the checks CI makes (every export under its plain name, and
# the 32-bit ones import only what Windows XP has) before anything is packed,
# and the archive passes its own (sizes, stripping, the guides' encodings);
# otherwise no archive is left.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/checks.sh
install_packages "${RELEASE_PACKAGES[@]}"
jobs=${SPI_JOBS:-2}
rm -rf build/win32/dist
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs" --target Pelorin Vantrel Quibbet Morvane spihost
cmake --preset winarm64 >/dev/null
cmake --build --preset winarm64 -j"$jobs" --target Pelorin Vantrel Quibbet Morvane
cmake --preset win32 -DSPI_RELEASE_OTHER_BIN="$PWD/build/win64/bin" \
  -DSPI_RELEASE_ARM64_BIN="$PWD/build/winarm64/bin" >/dev/null
cmake --build --preset win32 -j"$jobs" --target Pelorin Vantrel Quibbet Morvane spihost

echo "==> checking the plug-ins"
bad=0
check_exports win32 i686-w64-mingw32-objdump .spi || bad=1
check_exports win64 x86_64-w64-mingw32-objdump .sph || bad=1
check_arm64 || bad=1
check_imports || bad=1
if [ $bad != 0 ]; then
  echo "release refused: the plug-ins fail the checks above; no archive written" >&2
  exit 1
fi

cmake --build --preset win32 -j"$jobs" --target release_zip
zip=$(echo "$PWD"/build/win32/dist/*.zip)
echo "==> checking $zip"
if ! cmake -DZIP="$zip" -DWORK="$PWD/build/win32/dist/check" -DARCH="x86;x64;arm64" -DGUIDES="$PWD/docs" \
    -DICONV=iconv -P tests/release/check_release.cmake; then
  rm -f "$zip"
  echo "release refused: the archive fails the checks above; removed" >&2
  exit 1
fi
rm -rf build/win32/dist/check
ls -l "$zip"
