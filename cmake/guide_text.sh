#!/bin/sh
# guide_text.sh IN OUT ENCODING: the user guide IN (UTF-8, LF) as the text file
# OUT that Notepad reads right on every Windows from XP on: CRLF line ends, and
#   cp932: code page 932, the code page of Japanese Windows (no byte-order mark);
#   utf-8: UTF-8, with a byte-order mark when the text has anything beyond ASCII.
# OUT is replaced only when complete.
set -e
in=$1
out=$2
tmp="$out.part"
case "$3" in
  cp932) sed 's/\r*$/\r/' "$in" | iconv -f UTF-8 -t CP932 >"$tmp" ;;
  utf-8)
    {
      if LC_ALL=C grep -q "$(printf '[\200-\377]')" "$in"; then printf '\357\273\277'; fi
      sed 's/\r*$/\r/' "$in"
    } >"$tmp"
    ;;
  *) echo "guide_text.sh: unknown encoding $3" >&2; exit 2 ;;
esac
mv "$tmp" "$out"
