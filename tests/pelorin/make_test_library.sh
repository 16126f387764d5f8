#!/bin/sh
# Builds testres.dll, a resource-only library, and the files it was made from,
# into the folder $1: icons of several sizes and depths, a cursor, bitmaps with
# short and long headers, RCDATA, a type given by name, named resources and a
# second language. Needs ImageMagick, icotool and the i686 mingw toolchain.
set -e
out="$1"
mkdir -p "$out"
cd "$out"
convert -size 48x48 gradient:red-blue -depth 8 base.png
convert base.png -define icon:auto-resize=256,48,32,16 multi.ico
convert -size 32x32 xc:white -fill black -draw "polygon 0,0 0,20 12,14" -type palette -depth 8 arrow.png
icotool -c -o small.ico arrow.png
icotool -c --cursor -X 3 -Y 5 -o arrow.cur arrow.png
convert -size 16x16 gradient:yellow-green -depth 8 ja.png
icotool -c -o ja.ico ja.png
convert -seed 1 -size 32x16 plasma:fractal -colors 100 -type palette -compress none BMP3:b8.bmp
convert -size 13x7 gradient:red-white -colors 16 -type palette BMP2:b4.bmp
convert -size 9x5 gradient:blue-black -type truecolor BMP3:b24.bmp
convert -size 17x3 gradient:white-black -colors 100 -type palette -compress none BMP3:b8ja.bmp
printf 'raw data\000\001\002\003 with an odd length' > data.bin
cp base.png pic.png
cat > testres.rc <<'RC'
LANGUAGE 9, 1
1 ICON "multi.ico"
2 ICON "small.ico"
1 CURSOR "arrow.cur"
1 BITMAP "b8.bmp"
2 BITMAP "b4.bmp"
3 BITMAP "b24.bmp"
LOGO BITMAP "b24.bmp"
1 RCDATA "data.bin"
HELLO RCDATA "data.bin"
7 PNG "pic.png"
LANGUAGE 17, 1
1 BITMAP "b8ja.bmp"
1 ICON "ja.ico"
RC
printf 'int __stdcall DllMainCRTStartup(void* m, unsigned r, void* p) { (void)m; (void)r; (void)p; return 1; }\n' > entry.c
i686-w64-mingw32-windres -O coff -o testres.o testres.rc
i686-w64-mingw32-gcc -shared -nostdlib -e _DllMainCRTStartup@12 -o testres.dll entry.c testres.o
