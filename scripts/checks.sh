# The checks of the built Windows plug-ins that both CI (test.sh) and a release
# (release.sh) pass; sourced by both. Each prints what is wrong and returns non-zero.

# The exports every plug-in of a kind must have, under their plain names, from
# the one export list (name, bytes, kinds); run from the source folder.
exports_of() { awk -v kinds=" $* " '/^[A-Za-z]/ { for (i = 3; i <= NF; i++) if (index(kinds, " " $i " ")) { print $1; break } }' framework/exports.list; }
ARCHIVE_EXPORTS=$(exports_of archive)
IMAGE_EXPORTS=$(exports_of picture settings)

# check_export_names <plug-in> <its export names, one a line>: every export of
# its kind present under its plain name (no @n decoration).
check_export_names() {
  local spi=$1 names=$2 want e bad=0
  if [ -z "$names" ] || grep -q '@' <<<"$names"; then
    echo "exports of $spi: ${names:-none}" >&2
    bad=1
  fi
  case "$spi" in *Morvane*) want=$IMAGE_EXPORTS ;; *) want=$ARCHIVE_EXPORTS ;; esac
  for e in $want; do
    grep -qx "$e" <<<"$names" || { echo "$spi lacks $e" >&2; bad=1; }
  done
  return $bad
}

# Every export of every Windows plug-in under its plain name (no @n decoration),
# and none missing: check_exports <preset> <objdump> <suffix>.
check_exports() {
  local preset=$1 objdump=$2 suffix=$3 bad=0 found=0
  for spi in build/$preset/bin/{Pelorin,Vantrel,Quibbet,Morvane}$suffix; do
    [ -e "$spi" ] || continue
    found=$((found + 1))
    local names
    names=$("$objdump" -p "$spi" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^\s*\[ *[0-9]*\] //p')
    check_export_names "$spi" "$names" || bad=1
  done
  if [ $found != 4 ]; then
    echo "$preset: $found of 4 plug-ins built" >&2
    return 1
  fi
  return $bad
}

# The 32-bit plug-ins import nothing that Windows XP SP3 lacks (the xp_imports
# test, run on the build machine, not under Wine).
check_imports() {
  ctest --preset win32 -R '^xp_imports$' --output-on-failure
}

# The ARM64 plug-ins (build/winarm64/bin/<Name>.spha), read with llvm-readobj:
# ARM64 (machine AA64) DLLs, every export of their kind under its plain name,
# imports only from the system DLLs named here, each at most 128 KB.
ARM64_SYSTEM_DLLS="kernel32.dll user32.dll advapi32.dll ucrtbase.dll"
check_arm64() {
  local bad=0 found=0 spi
  for spi in build/winarm64/bin/{Pelorin,Vantrel,Quibbet,Morvane}.spha; do
    [ -e "$spi" ] || continue
    found=$((found + 1))
    local info names dll size
    if ! info=$(llvm-readobj --file-headers --coff-exports --coff-imports "$spi"); then
      bad=1
      continue
    fi
    grep -q 'Machine: IMAGE_FILE_MACHINE_ARM64 (0xAA64)' <<<"$info" && grep -q 'IMAGE_FILE_DLL' <<<"$info" ||
      { echo "$spi: not an ARM64 DLL" >&2; bad=1; }
    names=$(awk '/^Export \{/ { e = 1 } /^Import \{/ { e = 0 } e && $1 == "Name:" && NF == 2 { print $2 }' <<<"$info")
    check_export_names "$spi" "$names" || bad=1
    for dll in $(awk '/^Import \{/ { i = 1 } i && $1 == "Name:" { print tolower($2); i = 0 }' <<<"$info"); do
      tr " " "\n" <<<"$ARM64_SYSTEM_DLLS" | grep -Fqx "$dll" || { echo "$spi imports $dll" >&2; bad=1; }
    done
    size=$(stat -c %s "$spi")
    [ "$size" -le 131072 ] || { echo "$spi: $size bytes, over 128 KB" >&2; bad=1; }
  done
  if [ $found != 4 ]; then
    echo "winarm64: $found of 4 plug-ins built" >&2
    return 1
  fi
  return $bad
}

# Every name the ARM64 import libraries are made from (platform/win32/imports/)
# is one the system DLL exports: checked against Wine's x64 build of each DLL
# (Wine exports what Windows does), since a wrong name would only show when
# Windows loads the plug-in.
WINE_X64_DLLS=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
check_arm64_import_names() {
  local bad=0 def dll exported n
  for def in platform/win32/imports/*.def; do
    dll=$(basename "$def" .def)
    exported=$(llvm-readobj --coff-exports "$WINE_X64_DLLS/$dll.dll" | awk '$1 == "Name:" { print $2 }')
    [ -n "$exported" ] || { echo "no exports read from $WINE_X64_DLLS/$dll.dll" >&2; return 1; }
    for n in $(sed -n 's/^  \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' "$def"); do
      grep -qx "$n" <<<"$exported" || { echo "$dll.dll exports no $n ($def)" >&2; bad=1; }
    done
  done
  return $bad
}
