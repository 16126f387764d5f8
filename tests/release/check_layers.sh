#!/bin/sh
# The layers run one way: each folder includes only itself and the folders
# below it, and no plug-in includes another plug-in's headers.
# check_layers.sh SOURCE_DIR
cd "$1" || exit 2
below() {  # the folders a folder may include besides itself
  case "$1" in
    interface) echo "" ;;
    platform) echo "interface" ;;
    formats) echo "interface" ;;
    framework) echo "interface platform formats" ;;
    pelorin|vantrel|quibbet|morvane) echo "interface platform formats framework" ;;
    host) echo "interface platform formats framework" ;;
    tools/spihost) echo "interface platform formats framework host pelorin vantrel quibbet morvane" ;;
  esac
}
bad=0
for dir in interface platform formats framework pelorin vantrel quibbet morvane host tools/spihost; do
  [ -d "$dir" ] || continue
  allowed="$dir $(below "$dir")"
  for inc in $(grep -rhoE '#include "[a-z_]+(/[a-z_]+)?/' "$dir" --include='*.cpp' --include='*.h' |
               sed 's/#include "//; s|/$||' | sort -u); do
    top=${inc%%/*}
    [ "$inc" = tools/spihost ] && top=tools/spihost
    case " $allowed " in
      *" $top "*) ;;
      *) grep -rnE "#include \"$top/" "$dir" --include='*.cpp' --include='*.h' >&2
         echo "$dir must not include $top/" >&2
         bad=1 ;;
    esac
  done
done
[ $bad = 0 ] && echo "layers: every include runs downwards"
exit $bad
