#!/bin/sh
# Pulls the icon and cursor groups out of Wine's own libraries with icoutils
# and records what icotool -l reports for each. Leaves the folder empty (but
# present) when icoutils or the libraries are missing, so the test skips.
out="$1"; shift
rm -rf "$out"
mkdir -p "$out"
command -v wrestool >/dev/null 2>&1 || exit 0
command -v icotool >/dev/null 2>&1 || exit 0
for lib in "$@"; do
  [ -f "$lib" ] || continue
  wrestool -x -t 14 -o "$out" "$lib" 2>/dev/null
  wrestool -x -t 12 -o "$out" "$lib" 2>/dev/null
done
for f in "$out"/*.ico "$out"/*.cur; do
  [ -f "$f" ] || continue
  icotool -l "$f" > "$f.list" 2>/dev/null || rm -f "$f" "$f.list"
done
exit 0
