#!/usr/bin/env bash
# Builds the Windows release archive: build/win32/dist/KestrovSusiePlugins-<version>-win32.zip
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)" --target release_zip
ls -l build/win32/dist/*.zip
