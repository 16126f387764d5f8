# The checks of the built Windows plug-ins that both CI (test.sh) and a release
# (release.sh) pass; sourced by both. Each prints what is wrong and returns non-zero.

# The exports every plug-in of a kind must have, under their plain names.
ARCHIVE_EXPORTS="GetPluginInfo IsSupported GetArchiveInfo GetFileInfo GetFile ConfigurationDlg
  GetPluginInfoW IsSupportedW GetArchiveInfoW GetFileInfoW GetFileW"
IMAGE_EXPORTS="GetPluginInfo IsSupported GetPictureInfo GetPicture GetPreview ConfigurationDlg
  GetGroupIconSetting GetFileNameSetting GetPictureAlpha
  GetPluginInfoW IsSupportedW GetPictureInfoW GetPictureW GetPreviewW GetPictureAlphaW"

# Every export of every Windows plug-in under its plain name (no @n decoration),
# and none missing: check_exports <preset> <objdump> <suffix>.
check_exports() {
  local preset=$1 objdump=$2 suffix=$3 bad=0 found=0
  for spi in build/$preset/bin/{Pelorin,Vantrel,Quibbet,Morvane}$suffix; do
    [ -e "$spi" ] || continue
    found=$((found + 1))
    local names want
    names=$("$objdump" -p "$spi" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^\s*\[ *[0-9]*\] //p')
    if [ -z "$names" ] || grep -q '@' <<<"$names"; then
      echo "exports of $spi: ${names:-none}" >&2
      bad=1
    fi
    case "$spi" in *Morvane*) want=$IMAGE_EXPORTS ;; *) want=$ARCHIVE_EXPORTS ;; esac
    for e in $want; do
      grep -qx "$e" <<<"$names" || { echo "$spi lacks $e" >&2; bad=1; }
    done
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
