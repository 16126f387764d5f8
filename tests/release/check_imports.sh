#!/bin/sh
# check_imports.sh OBJDUMP ALLOWLIST DLL...: every function each DLL imports
# ("DLL function", as in the allowlist) must be listed there; the list names
# only functions that Windows XP SP3 provides.
set -e
objdump="$1"
list="$2"
shift 2
bad=0
for dll in "$@"; do
  imports=$("$objdump" -p "$dll" | awk '
    /^\tDLL Name: / { name = toupper($3); next }
    /^\tvma: / { next }
    name != "" && /^\t[0-9a-f]+\t +[0-9]+ / { print name " " $3; next }
    name != "" && /^$/ { name = "" }')
  if [ -z "$imports" ]; then
    echo "$dll: no imports read" >&2
    bad=1
    continue
  fi
  unlisted=$(printf '%s\n' "$imports" | grep -vxF -f "$list" || true)
  if [ -n "$unlisted" ]; then
    echo "$dll imports functions not in $list:" >&2
    printf '%s\n' "$unlisted" | sed 's/^/  /' >&2
    bad=1
  fi
done
exit $bad
