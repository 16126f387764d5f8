#!/usr/bin/python3
"""Test inputs for Morvane, made by tools independent of it.

  make_samples.py pixels OUTDIR   icons and cursors written by icotool and
                                  ImageMagick, each with the RGB rows that
                                  Pillow decodes from it (OUTDIR/manifest.txt)
  make_samples.py wine OUTDIR     every icon and cursor group of Wine's
                                  libraries, extracted by wrestool
"""
import os
import random
import shutil
import subprocess
import sys


def write_rgb(path, image):
    # Width, height (32-bit little-endian), then RGB rows top row first.
    rgb = image.convert("RGB")
    with open(path, "wb") as out:
        out.write(rgb.size[0].to_bytes(4, "little"))
        out.write(rgb.size[1].to_bytes(4, "little"))
        out.write(rgb.tobytes())


def bit_count_of(path):
    # The bit count in the first image's bitmap header, to be sure a tool wrote
    # the depth that the sample stands for.
    with open(path, "rb") as f:
        data = f.read()
    offset = int.from_bytes(data[18:22], "little")
    size = int.from_bytes(data[offset:offset + 4], "little")
    if size == 12:
        return int.from_bytes(data[offset + 10:offset + 12], "little")
    return int.from_bytes(data[offset + 14:offset + 16], "little")


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
                write_rgb(path + ".rgb", Image.open(path))
                samples.append(os.path.basename(path))
    with open(os.path.join(outdir, "manifest.txt"), "w") as m:
        for name in samples:
            m.write("%s %d\n" % (name, bit_count_of(os.path.join(outdir, name))))


WINE_DIRS = ["/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
             "/usr/lib/wine/i386-windows", "/usr/lib/wine/x86_64-windows"]


def wine(outdir):
    if os.path.isdir(outdir):
        shutil.rmtree(outdir)
    os.makedirs(outdir)
    source = next((d for d in WINE_DIRS if os.path.isdir(d)), None)
    names = []
    if source:
        for lib in sorted(os.listdir(source)):
            if not lib.endswith((".dll", ".exe", ".cpl", ".ocx")):
                continue
            for kind in ("14", "12"):
                subprocess.run(["wrestool", "-x", "-t", kind, "-o", outdir, os.path.join(source, lib)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        names = sorted(n for n in os.listdir(outdir) if n.endswith((".ico", ".cur")))
    with open(os.path.join(outdir, "manifest.txt"), "w") as m:
        for name in names:
            m.write(name + "\n")


if __name__ == "__main__":
    {"pixels": pixels, "wine": wine}[sys.argv[1]](sys.argv[2])
