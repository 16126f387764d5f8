#!/usr/bin/python3
"""Test inputs for Morvane, made by tools independent of it.

  make_samples.py pixels OUTDIR   icons and cursors written by icotool and
                                  ImageMagick (bitmaps of 1 to 32 bits, PNG
                                  images of every colour type), each with the
                                  RGBA rows that Pillow decodes from it
  make_samples.py wine OUTDIR [LIBRARIES]
                                  every icon and cursor group of Wine's
                                  libraries, extracted by wrestool, and each
                                  of their images as a one-image file with
                                  Pillow's RGBA rows

Each OUTDIR/manifest.txt line names a file and its bit count (32 for PNG
images); FILE.rgba holds width, height (32-bit little-endian) and RGBA rows,
top row first. Below 32 bits only the RGB values are compared: the picture
carries no transparency there.
"""
import struct
import zlib
import os
import random
import shutil
import subprocess
import sys


PNG_MAGIC = b"\x89PNG\r\n\x1a\n"


def write_rgba(path, width, height, rgba):
    with open(path, "wb") as out:
        out.write(width.to_bytes(4, "little"))
        out.write(height.to_bytes(4, "little"))
        out.write(rgba)


def image_bits(block):
    # The bit count in an image block's bitmap header; 32 for a PNG image.
    if block[:8] == PNG_MAGIC:
        return 32
    size = int.from_bytes(block[0:4], "little")
    if size == 12:
        return int.from_bytes(block[10:12], "little")
    return int.from_bytes(block[14:16], "little")


def bit_count_of(path):
    with open(path, "rb") as f:
        data = f.read()
    offset = int.from_bytes(data[18:22], "little")
    return image_bits(data[offset:])


def expected_rgba(path):
    """Pillow's RGBA rows of the one image in path (an icon or cursor file).

    Cursors are shown to Pillow as icons: its cursor reader knows no alpha. A
    32-bit bitmap whose alpha bytes are all 0 takes its alpha from the AND mask,
    as Windows shows it; Pillow keeps the zeros, so that mask is read here.
    """
    import io
    from PIL import Image

    with open(path, "rb") as f:
        data = bytearray(f.read())
    offset = int.from_bytes(data[18:22], "little")
    block = bytes(data[offset:])
    bits = image_bits(block)
    data[2:4] = (1).to_bytes(2, "little")
    data[10:12] = (1).to_bytes(2, "little")
    data[12:14] = bits.to_bytes(2, "little")
    image = Image.open(io.BytesIO(bytes(data)))
    image.load()
    if block[:8] == PNG_MAGIC:
        # The PNG itself: Pillow's icon reader drops a palette's transparency.
        png = Image.open(io.BytesIO(block))
        png.load()
        image = png
        if png.mode == "I;16" or png.mode == "I":
            # 16-bit grey: the high byte of each sample, as 8-bit decoders keep it.
            grey = bytes(min(v >> 8, 255) for v in png.getdata())
            image = Image.frombytes("L", png.size, grey)
    rgba = image.convert("RGBA")
    width, height = rgba.size
    pixels = bytearray(rgba.tobytes())
    if bits == 32 and block[:8] != PNG_MAGIC:
        header = int.from_bytes(block[0:4], "little")
        colour = block[header:header + width * height * 4]
        if all(b == 0 for b in colour[3::4]):
            mask_stride = ((width + 31) // 32) * 4
            mask = block[header + width * height * 4:]
            for y in range(height):
                row = mask[(height - 1 - y) * mask_stride:]
                for x in range(width):
                    transparent = len(row) > x // 8 and (row[x // 8] >> (7 - x % 8)) & 1
                    pixels[(y * width + x) * 4 + 3] = 0 if transparent else 255
    return width, height, bytes(pixels)


def record(outdir, name, samples):
    path = os.path.join(outdir, name)
    width, height, rgba = expected_rgba(path)
    write_rgba(path + ".rgba", width, height, rgba)
    samples.append((name, bit_count_of(path)))


def zero_alpha(path, out):
    # The same 32-bit icon with every alpha byte 0: the AND mask must take over.
    with open(path, "rb") as f:
        data = bytearray(f.read())
    offset = int.from_bytes(data[18:22], "little")
    header = int.from_bytes(data[offset:offset + 4], "little")
    width = int.from_bytes(data[offset + 4:offset + 8], "little")
    height = int.from_bytes(data[offset + 8:offset + 12], "little") // 2
    start = offset + header
    for i in range(width * height):
        data[start + 4 * i + 3] = 0
    with open(out, "wb") as f:
        f.write(data)


def pixels(outdir):
    from PIL import Image

    os.makedirs(outdir, exist_ok=True)
    rng = random.Random(5)
    samples = []
    shapes = {1: [(16, 16), (13, 7), (33, 2)], 4: [(32, 32), (5, 3), (9, 17)],
              8: [(48, 48), (7, 9), (1, 1)], 24: [(32, 32), (3, 5), (17, 33)]}
    for bits, sizes in shapes.items():
        for w, h in sizes:
            colours = [tuple(rng.randrange(256) for _ in range(3)) for _ in range(1 << min(bits, 8))]
            image = Image.new("RGB", (w, h))
            if bits <= 8:
                image.putdata([colours[rng.randrange(len(colours))] for _ in range(w * h)])
            else:
                image.putdata([tuple(rng.randrange(256) for _ in range(3)) for _ in range(w * h)])
            stem = os.path.join(outdir, "b%d_%dx%d" % (bits, w, h))
            image.save(stem + ".png")
            made = []
            subprocess.run(["icotool", "-c", "-b", str(bits), "-o", stem + ".ico", stem + ".png"],
                           check=True)
            made.append(stem + ".ico")
            subprocess.run(["icotool", "-c", "--cursor", "-X", "0", "-Y", str(h - 1), "-b", str(bits),
                            "-o", stem + ".cur", stem + ".png"], check=True)
            made.append(stem + ".cur")
            if bits == 8 and w * h >= 16:
                subprocess.run(["convert", stem + ".png", "-type", "Palette", stem + "_im.ico"],
                               check=True, stderr=subprocess.DEVNULL)
                made.append(stem + "_im.ico")
            for path in made:
                if bit_count_of(path) != bits:
                    sys.exit("%s: expected %d bits per pixel" % (path, bits))
                record(outdir, os.path.basename(path), samples)

    # 32 bits with real alpha, and the same with all alpha 0 and an AND mask.
    for w, h in [(32, 32), (7, 5), (48, 48)]:
        image = Image.new("RGBA", (w, h))
        image.putdata([(rng.randrange(256), rng.randrange(256), rng.randrange(256),
                        rng.choice([0, 255, rng.randrange(256)])) for _ in range(w * h)])
        stem = os.path.join(outdir, "b32_%dx%d" % (w, h))
        image.save(stem + ".png")
        subprocess.run(["icotool", "-c", "-b", "32", "-o", stem + ".ico", stem + ".png"], check=True)
        subprocess.run(["convert", stem + ".png", stem + "_im.ico"], check=True, stderr=subprocess.DEVNULL)
        zero_alpha(stem + ".ico", stem + "_mask.ico")
        for path in (stem + ".ico", stem + "_im.ico", stem + "_mask.ico"):
            if bit_count_of(path) != 32:
                sys.exit("%s: expected 32 bits per pixel" % path)
            record(outdir, os.path.basename(path), samples)

    # PNG images of 256 x 256 in every colour type, stored raw by icotool.
    base = Image.new("RGBA", (256, 256))
    base.putdata([(x, y, (x * y) & 255, (x + 2 * y) & 255) for y in range(256) for x in range(256)])
    grey16 = Image.new("I;16", (256, 256))
    grey16.putdata([(x << 8) | (255 - y) for y in range(256) for x in range(256)])
    pngs = {
        "rgba": lambda p: base.save(p),
        "rgb": lambda p: base.convert("RGB").save(p),
        "palette": lambda p: base.convert("RGB").quantize(200).save(p),
        "palette_trns": lambda p: base.convert("RGB").quantize(16).save(p, transparency=3),
        "grey": lambda p: base.convert("L").save(p),
        "grey_alpha": lambda p: base.convert("LA").save(p),
        "grey16": lambda p: grey16.save(p),
        "rgba16": lambda p: subprocess.run(["convert", stem_png("rgba"), "PNG64:" + p], check=True),
        "interlaced": lambda p: subprocess.run(["convert", stem_png("rgba"), "-interlace", "PNG", p],
                                               check=True),
    }

    def stem_png(kind):
        return os.path.join(outdir, "png_%s.png" % kind)

    for kind, make in pngs.items():
        make(stem_png(kind))
        ico = os.path.join(outdir, "png_%s.ico" % kind)
        subprocess.run(["icotool", "-c", "-r", stem_png(kind), "-o", ico], check=True)
        record(outdir, os.path.basename(ico), samples)

    with open(os.path.join(outdir, "manifest.txt"), "w") as m:
        for name, bits in samples:
            m.write("%s %d\n" % (name, bits))


WINE_DIRS = ["/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
             "/usr/lib/wine/i386-windows", "/usr/lib/wine/x86_64-windows"]


def implied_size(block):
    """The bytes a bitmap image block's header accounts for (all of a PNG)."""
    if block[:8] == PNG_MAGIC or len(block) < 16:
        return len(block)
    header = int.from_bytes(block[0:4], "little")
    if header == 12:
        width, height, bits, entry = (int.from_bytes(block[4:6], "little"),
                                      int.from_bytes(block[6:8], "little"),
                                      int.from_bytes(block[10:12], "little"), 3)
    elif len(block) >= 40:
        width, height, bits, entry = (int.from_bytes(block[4:8], "little", signed=True),
                                      int.from_bytes(block[8:12], "little", signed=True),
                                      int.from_bytes(block[14:16], "little"), 4)
    else:
        return len(block)
    rows = abs(height) // 2
    palette = (1 << bits) * entry if bits <= 8 else 0
    stride = ((width * bits + 31) // 32) * 4
    mask = ((width + 31) // 32) * 4
    return header + palette + (stride + mask) * rows


def wine(outdir, source=None):
    if os.path.isdir(outdir):
        shutil.rmtree(outdir)
    os.makedirs(outdir)
    source = source or next((d for d in WINE_DIRS if os.path.isdir(d)), None)
    names = []
    if source:
        for lib in sorted(os.listdir(source)):
            if not lib.endswith((".dll", ".exe", ".cpl", ".ocx")):
                continue
            for kind in ("14", "12"):
                subprocess.run(["wrestool", "-x", "-t", kind, "-o", outdir, os.path.join(source, lib)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        names = sorted(n for n in os.listdir(outdir) if n.endswith((".ico", ".cur")))
    # Each image once more as a one-image file, with what Pillow decodes from it.
    single = os.path.join(outdir, "single")
    os.makedirs(single)
    singles = []
    for name in names:
        with open(os.path.join(outdir, name), "rb") as f:
            data = f.read()
        count = int.from_bytes(data[4:6], "little")
        for i in range(count):
            entry = data[6 + 16 * i:22 + 16 * i]
            if len(entry) < 16:
                break
            size, offset = struct.unpack("<II", entry[8:16])
            block = data[offset:offset + size]
            if len(block) != size or size < 16:
                continue
            # wrestool counts a cursor's hotspot in the image size and copies
            # that many bytes more; the reference decoder reads the mask from
            # the end, so the block is cut to what its header describes.
            block = block[:max(16, implied_size(block))]
            entry = entry[0:8] + struct.pack("<I", len(block)) + entry[12:16]
            one = data[0:4] + b"\x01\x00" + entry[0:12] + struct.pack("<I", 22) + block
            path = os.path.join(single, "%s.%d%s" % (name[:-4], i, name[-4:]))
            with open(path, "wb") as f:
                f.write(one)
            try:
                width, height, rgba = expected_rgba(path)
            except Exception:
                continue  # Pillow cannot read it: the decode-or-refuse test still runs
            write_rgba(path + ".rgba", width, height, rgba)
            singles.append((os.path.basename(path), image_bits(block)))
    with open(os.path.join(outdir, "manifest.txt"), "w") as m:
        for name in names:
            m.write(name + "\n")
    with open(os.path.join(single, "manifest.txt"), "w") as m:
        for name, bits in singles:
            m.write("%s %d\n" % (name, bits))


if __name__ == "__main__":
    {"pixels": pixels, "wine": wine}[sys.argv[1]](*sys.argv[2:])
