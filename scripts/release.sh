#!/usr/bin/env bash
# Builds the Windows release archive: build/win32/dist/KestrovSusiePlugins-<version>-win32.zip,
# with x86/ (the .spi plug-ins for 32-bit viewers) and x64/ (the .sph plug-ins
# for 64-bit viewers), each with its spihost.exe, and the user guides.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${SPI_JOBS:-2}
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs" --target Pelorin Vantrel Quibbet Morvane spihost
cmake --preset win32 -DSPI_RELEASE_OTHER_BIN="$PWD/build/win64/bin" >/dev/null
cmake --build --preset win32 -j"$jobs" --target release_zip
ls -l build/win32/dist/*.zip
