#!/usr/bin/env bash
# Builds the Debian package build/deb/spihost_<version>_amd64.deb from the
# native build: spihost in /usr/bin, the plug-ins in /usr/lib/susie-plugins,
# the manual page, the file managers' thumbnailer and the MIME type of icon
# libraries. Its dependencies come from the binaries (dpkg-shlibdeps); lintian
# checks it when installed. On a fresh Debian 12 machine (as root) it first
# installs what the build needs.
#
#   scripts/deb.sh          then: sudo apt install ./build/deb/spihost_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_packages "${DEB_PACKAGES[@]}"
jobs=${SPI_JOBS:-2}
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs" --target Pelorin Vantrel Quibbet Morvane spihost spi_deb_files
rm -rf build/deb
cpack --config build/native/CPackConfig.cmake -B build/deb >/dev/null
rm -rf build/deb/_CPack_Packages
deb=$(echo "$PWD"/build/deb/spihost_*_amd64.deb)
if command -v lintian >/dev/null; then
  echo "==> lintian $deb"
  # Errors refuse the package; warnings are printed for the reader.
  if ! lintian --fail-on error "$deb"; then
    rm -f "$deb"
    echo "package refused: lintian reports errors; removed" >&2
    exit 1
  fi
fi
ls -l "$deb"
