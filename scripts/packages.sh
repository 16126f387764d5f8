# The Debian packages each script needs, in one place (sourced by test.sh,
# release.sh and demo.sh), and the check for what is missing.

# The Windows release build: both mingw-w64 compilers, the 32-bit one also in
# its win32 thread model (the plug-ins' runtime, without winpthread), and stb
# for Morvane's PNG decoding. iconv (libc-bin) writes the guides; Debian always
# has it. The ARM64 plug-ins: clang, lld and llvm (dlltool, windres, readobj),
# the Windows headers of mingw-w64-common, the C++ headers of the x64 compiler.
RELEASE_PACKAGES=(
  cmake ninja-build libstb-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  clang lld llvm mingw-w64-common
)

# arm64 Wine for running the ARM64 plug-ins emulated (scripts/arm64-wine.sh):
# downloaded and unpacked, never installed (it would replace the x64 wine64).
ARM64_WINE_PACKAGES=(wine64:arm64 libwine:arm64 libc6:arm64 libgcc-s1:arm64 libunwind8:arm64 liblzma5:arm64)

# The native build and its bundled samples (a small 32-bit program among them).
DEMO_PACKAGES=(cmake ninja-build g++ python3 libstb-dev libdeflate-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686)

# The Debian package (scripts/deb.sh): the native build (its configure step
# wants GoogleTest's sources), dpkg-shlibdeps (dpkg-dev) and file, which CPack
# runs on the binaries, and lintian.
DEB_PACKAGES=(cmake ninja-build g++ libstb-dev libdeflate-dev googletest dpkg-dev file lintian)

# Every package the builds and the tests need.
TEST_PACKAGES=(
  "${RELEASE_PACKAGES[@]}" g++ libclang-rt-14-dev qemu-user-static
  wine wine32:i386 wine64 fonts-wine xvfb xauth
  locales googletest libgmock-dev libbenchmark-dev libpng-dev libdeflate-dev libcli11-dev
  icoutils imagemagick 7zip python3-pil python3-pefile
  fonts-noto-cjk
  "${DEB_PACKAGES[@]}"
  # GNOME's own thumbnail factory, run from Python, with the sandbox it uses.
  python3-gi gir1.2-gnomedesktop-3.0 bubblewrap
  # XFCE's tumbler, run on a private session bus.
  tumbler dbus
  # Real executables that nobody here built, for the corpus tests.
  nsis win32-loader mono-runtime
)

# The benchmarks of bench/ besides the tests' tools: counting system calls,
# timing short runs, and the processor's own counters.
BENCH_PACKAGES=("${TEST_PACKAGES[@]}" strace hyperfine linux-perf time)

# missing_packages NAME...: prints those of the packages that are not installed.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s\n' "$p"
  done
}

# install_packages NAME...: installs what is missing of them (as root); a user
# gets the command to run instead. Fails when anything stays missing.
install_packages() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${missing[*]}; run as root (or: sudo apt-get install ${missing[*]})" >&2
    return 1
  fi
  echo "==> installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # One index failing mid-sync does not stop the install; the install decides.
  apt-get update -q || echo "apt-get update: some index failed to download; installing anyway" >&2
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}
