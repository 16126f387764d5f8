# The Debian packages each script needs, in one place (sourced by test.sh,
# release.sh and demo.sh), and the check for what is missing.

# The Windows release build: both mingw-w64 compilers, the 32-bit one also in
# its win32 thread model (the plug-ins' runtime, without winpthread), and stb
# for Morvane's PNG decoding. iconv (libc-bin) writes the guides; Debian always
# has it.
RELEASE_PACKAGES=(
  cmake ninja-build libstb-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
)

# The native build and its bundled samples (a small 32-bit program among them).
DEMO_PACKAGES=(cmake ninja-build g++ python3 libstb-dev libspng-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686)

# Every package the builds and the tests need.
TEST_PACKAGES=(
  "${RELEASE_PACKAGES[@]}" g++ clang libclang-rt-14-dev
  wine wine32:i386 wine64 fonts-wine xvfb xauth qemu-user-static
  locales googletest libgmock-dev libbenchmark-dev libpng-dev libspng-dev libcli11-dev
  icoutils imagemagick 7zip python3-pil
  fonts-noto-cjk
)

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
