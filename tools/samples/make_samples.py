#!/usr/bin/python3
"""Writes the bundled sample images: icons, cursors, an animated cursor,
bitmaps of several depths and raw data, all drawn here from simple patterns
so that the samples need nothing but this script."""
import os
import struct
import sys


def stride(width, bits):
    return ((width * bits + 31) // 32) * 4


def palette(bits):
    """A palette whose entries are easy to tell apart in a picture."""
    n = 1 << bits
    if bits == 1:
        return [(0, 0, 0), (255, 255, 255)]
    if bits == 4:
        base = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128),
                (128, 0, 128), (0, 128, 128), (192, 192, 192), (128, 128, 128),
                (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
                (255, 0, 255), (0, 255, 255), (255, 255, 255)]
        return base
    return [((i * 37) & 255, (i * 91) & 255, (255 - i) & 255) for i in range(n)]


def pattern(width, height, bits, seed):
    """Pixel values, top row first: palette indices or (r, g, b) triples."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if bits == 1:
                row.append(((x // 4) + (y // 4) + seed) & 1)
            elif bits == 4:
                row.append(((x * 16) // width + (y // 3) + seed) & 15)
            elif bits == 8:
                row.append((x * 7 + y * 3 + seed * 40) & 255)
            else:
                row.append(((x * 255) // max(1, width - 1), (y * 255) // max(1, height - 1),
                            (seed * 60 + (x ^ y) * 4) & 255))
        rows.append(row)
    return rows


def pack_rows(rows, width, bits):
    """Bitmap rows bottom row first, each padded to a multiple of 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bits in (1, 4, 8):
            per = 8 // bits
            for x in range(0, width, per):
                v = 0
                for k in range(per):
                    p = row[x + k] if x + k < width else 0
                    v = (v << bits) | p
                line.append(v)
        elif bits == 16:
            for r, g, b in row:
                line += struct.pack('<H', ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        else:
            for r, g, b in row:
                line += bytes((b, g, r))
        line += bytes(stride(width, bits) - len(line))
        out += line
    return bytes(out)


def dib(width, height, bits, seed, mask=False):
    """Information header, palette and rows of one picture; with mask the
    header counts the AND mask too, as an icon image does."""
    pal = palette(bits) if bits <= 8 else []
    xor = pack_rows(pattern(width, height, bits, seed), width, bits)
    andmask = b''
    if mask:
        # Transparent corners, opaque elsewhere.
        mrows = [[1 if (x < 2 and y < 2) or (x >= width - 2 and y >= height - 2) else 0
                  for x in range(width)] for y in range(height)]
        andmask = pack_rows(mrows, width, 1)
    header = struct.pack('<IiiHHIIiiII', 40, width, height * (2 if mask else 1), 1, bits, 0,
                         len(xor) + len(andmask), 0, 0, 0, 0)
    paldata = b''.join(bytes((b, g, r, 0)) for r, g, b in pal)
    return header + paldata + xor + andmask


def icon_file(images, kind=1, hotspots=None):
    """An icon (kind 1) or cursor (kind 2) file of (width, height, bits, seed) images."""
    blocks = [dib(w, h, b, s, mask=True) for w, h, b, s in images]
    out = bytearray(struct.pack('<HHH', 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for i, ((w, h, b, s), block) in enumerate(zip(images, blocks)):
        colours = (1 << b) if b < 8 else 0
        if kind == 1:
            planes, field = 1, b
        else:
            planes, field = hotspots[i] if hotspots else (w // 2, h // 2)
        out += struct.pack('<BBBBHHII', w & 255, h & 255, colours, 0, planes, field,
                           len(block), offset)
        offset += len(block)
    for block in blocks:
        out += block
    return bytes(out)


def bitmap_file(width, height, bits, seed):
    body = dib(width, height, bits, seed)
    pal = len(palette(bits)) * 4 if bits <= 8 else 0
    return struct.pack('<2sIHHI', b'BM', 14 + len(body), 0, 0, 14 + 40 + pal) + body


def chunk(name, data):
    return name + struct.pack('<I', len(data)) + data + (b'\0' if len(data) & 1 else b'')


def animated_cursor(frames, sequence):
    anih = struct.pack('<9I', 36, len(frames), len(sequence), 0, 0, 0, 0, 8, 3)
    fram = b'fram' + b''.join(chunk(b'icon', f) for f in frames)
    seq = b''.join(struct.pack('<I', n) for n in sequence)
    body = b'ACON' + chunk(b'anih', anih) + chunk(b'LIST', fram) + chunk(b'seq ', seq)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else '.'
    os.makedirs(out, exist_ok=True)
    files = {
        # A multi-image icon: four sizes and depths.
        'multi.ico': icon_file([(16, 16, 1, 0), (16, 16, 4, 1), (32, 32, 8, 2), (48, 48, 24, 3)]),
        # A single cursor with its hotspot in the top-left quarter.
        'pointer.cur': icon_file([(32, 32, 4, 2)], kind=2, hotspots=[(3, 5)]),
        # An animated cursor of four frames played as six steps.
        'spinner.ani': animated_cursor(
            [icon_file([(32, 32, 4, k)], kind=2, hotspots=[(16, 16)]) for k in range(4)],
            [0, 1, 2, 3, 2, 1]),
        # Inputs of the sample executable.
        'app.ico': icon_file([(16, 16, 8, 4), (32, 32, 24, 5)]),
        'app_ja.ico': icon_file([(32, 32, 4, 6)]),
        'logo_en.bmp': bitmap_file(64, 32, 8, 1),
        'logo_ja.bmp': bitmap_file(64, 32, 8, 2),
        'photo.bmp': bitmap_file(40, 30, 24, 3),
        'hicolor.bmp': bitmap_file(20, 10, 16, 4),
        'mono.bmp': bitmap_file(33, 9, 1, 0),
        'data_en.bin': b'Sample data in English.\n' + bytes(range(256)),
        'data_ja.bin': 'サンプルデータ（日本語）\n'.encode('utf-8'),
    }
    for name, data in files.items():
        path = os.path.join(out, name)
        tmp = path + '.tmp'
        with open(tmp, 'wb') as f:
            f.write(data)
        os.replace(tmp, path)


if __name__ == '__main__':
    main()
