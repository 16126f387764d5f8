#!/bin/sh
# Lists the resources of every Windows library and program in the given
# folders with icoutils' wrestool into one file, each listing after a line
# "FILE <path>". One wrestool process reads them all; an empty marker file
# before each names the file whose listing follows.
set -e
out="$1"
shift
marks=$(mktemp -d)
trap 'rm -rf "$marks"' EXIT
: > "$out.part"
for dir in "$@"; do
  [ -d "$dir" ] || continue
  mkdir -p "$marks$dir"
  for f in "$dir"/*.dll "$dir"/*.exe; do
    [ -f "$f" ] || continue
    : > "$marks$f"
    printf '%s\0%s\0' "$marks$f" "$f"
  done
done | xargs -0 -r stdbuf -o0 wrestool -l 2>&1 |
  awk -v marks="$marks" '
    index($0, "wrestool: " marks "/") == 1 {
      path = substr($0, length("wrestool: " marks) + 1)
      sub(/: file has a size of 0$/, "", path)
      print "FILE " path
      next
    }
    /^--type=/ { print }
  ' >> "$out.part"
mv "$out.part" "$out"
