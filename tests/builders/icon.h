// Icon and cursor files byte by byte, so that tests can craft both sound files
// and every kind of broken one: image blocks, the container around them, and
// the PNG images that a container may hold instead of a bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/builders/bytes.h"

namespace build {

inline int Stride(int width, int bitCount) { return ((width * bitCount + 7) / 8 + 3) & ~3; }
inline int Entries(int bitCount) {
  return bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
}

// What the bytes after the header hold, so that a block copied from the wrong
// place shows at once.
enum class Palette {
  Ramp,      // entry i is (i, 2i, 3i) in blue, green, red
  Grey,      // an even grey ramp
  Count32,   // entry i is the 32-bit number 0x00102030 + i
  CountBytes,  // byte k of the palette is k
  Fill,      // every byte is the seed
};

// One image block: a bitmap header (height doubled for the mask unless
// headerHeight is set), palette, colour rows whose byte k is k * step + seed,
// and AND mask rows of maskByte.
struct ImageSpec {
  int width = 16;
  int height = 16;
  int bitCount = 4;
  bool shortHeader = false;
  int headerHeight = -1;    // as stored, when not -1
  uint32_t headerSize = 0;  // as stored, when not 0 (long form)
  uint8_t seed = 0;
  bool withMask = true;
  Palette palette = Palette::Ramp;
  uint8_t step = 7;
  uint8_t maskByte = 0xAA;
};

inline Bytes PaletteOf(const ImageSpec& s, int entrySize) {
  Bytes p;
  const int n = Entries(s.bitCount);
  for (int i = 0; i < n; ++i) {
    uint8_t grey = static_cast<uint8_t>(n > 1 ? i * 255 / (n - 1) : 0);
    switch (s.palette) {
      case Palette::Ramp:
        p.push_back(static_cast<uint8_t>(i));
        p.push_back(static_cast<uint8_t>(2 * i));
        p.push_back(static_cast<uint8_t>(3 * i));
        if (entrySize == 4) p.push_back(0);
        break;
      case Palette::Grey:
        p.insert(p.end(), {grey, grey, grey});
        if (entrySize == 4) p.push_back(0);
        break;
      case Palette::Count32:
        Add32(p, 0x00102030u + static_cast<uint32_t>(i));
        break;
      case Palette::CountBytes:
        for (int k = 0; k < entrySize; ++k) p.push_back(static_cast<uint8_t>(p.size()));
        break;
      case Palette::Fill:
        p.resize(p.size() + static_cast<size_t>(entrySize), s.seed);
        break;
    }
  }
  return p;
}

inline Bytes ColourBitsOf(const ImageSpec& s) {
  Bytes b(static_cast<size_t>(Stride(s.width, s.bitCount)) * s.height);
  for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<uint8_t>(k * s.step + s.seed);
  return b;
}

inline Bytes ImageBlock(const ImageSpec& s) {
  Bytes b;
  int storedHeight = s.headerHeight != -1 ? s.headerHeight : 2 * s.height;
  if (s.shortHeader) {
    Add32(b, 12);
    Add16(b, static_cast<uint16_t>(s.width));
    Add16(b, static_cast<uint16_t>(storedHeight));
    Add16(b, 1);
    Add16(b, static_cast<uint16_t>(s.bitCount));
  } else {
    uint32_t size = s.headerSize ? s.headerSize : 40;
    Add32(b, size);
    Add32(b, static_cast<uint32_t>(s.width));
    Add32(b, static_cast<uint32_t>(storedHeight));
    Add16(b, 1);
    Add16(b, static_cast<uint16_t>(s.bitCount));
    if (b.size() < size) b.resize(size, 0);
  }
  AddBytes(b, PaletteOf(s, s.shortHeader ? 3 : 4));
  AddBytes(b, ColourBitsOf(s));
  if (s.withMask) b.resize(b.size() + static_cast<size_t>(Stride(s.width, 1)) * s.height, s.maskByte);
  return b;
}

// The blocks of the older test families, each with its own byte pattern.
// Palette 0x00102030 + i, colour byte k is k * 7 + 1, an empty mask.
inline Bytes IconImageBlock(int32_t width, int32_t height, uint16_t bitCount) {
  ImageSpec s;
  s.width = width;
  s.height = height;
  s.bitCount = bitCount;
  s.palette = Palette::Count32;
  s.seed = 1;
  s.maskByte = 0;
  return ImageBlock(s);
}
// The short (12-byte) header form: palette byte k is k, every later byte 0x5A.
inline Bytes IconImageBlockShort(uint16_t width, uint16_t height, uint16_t bitCount) {
  ImageSpec s;
  s.width = width;
  s.height = height;
  s.bitCount = bitCount;
  s.shortHeader = true;
  s.palette = Palette::CountBytes;
  s.seed = s.maskByte = 0x5A;
  s.step = 0;
  return ImageBlock(s);
}
// Every byte after the header is `fill`.
inline Bytes FilledImageBlock(uint32_t width, uint32_t height, uint16_t bitCount, uint8_t fill) {
  ImageSpec s;
  s.width = static_cast<int>(width);
  s.height = static_cast<int>(height);
  s.bitCount = bitCount;
  s.palette = Palette::Fill;
  s.seed = s.maskByte = fill;
  s.step = 0;
  return ImageBlock(s);
}
// A grey palette, colour byte k is k * 13, an empty mask.
inline Bytes GreyImageBlock(int32_t width, int32_t height, uint16_t bitCount) {
  ImageSpec s;
  s.width = width;
  s.height = height;
  s.bitCount = bitCount;
  s.palette = Palette::Grey;
  s.step = 13;
  s.maskByte = 0;
  return ImageBlock(s);
}

// ---- The container ------------------------------------------------------------

// One directory entry and its block.
struct IconImageSpec {
  uint8_t width = 16, height = 16, colorCount = 0;
  uint16_t planes = 1, bitCount = 4;  // hotspot x and y in cursor files
  Bytes block;
  uint8_t reserved = 0;
};

inline IconImageSpec IconImage(int32_t width, int32_t height, uint16_t bitCount) {
  IconImageSpec s;
  s.width = static_cast<uint8_t>(width);
  s.height = static_cast<uint8_t>(height);
  s.colorCount = bitCount == 4 ? 16 : bitCount == 1 ? 2 : 0;
  s.bitCount = bitCount;
  s.block = IconImageBlock(width, height, bitCount);
  return s;
}

// Offsets of directory entry i's fields within an icon file.
inline size_t EntryAt(size_t i) { return 6 + 16 * i; }
inline size_t ByteSizeAt(size_t i) { return EntryAt(i) + 8; }
inline size_t ImageOffsetAt(size_t i) { return EntryAt(i) + 12; }

// A complete icon (type 1) or cursor (type 2) file; blocks follow the directory.
inline Bytes IconFile(uint16_t type, const std::vector<IconImageSpec>& images) {
  Bytes b;
  Add16(b, 0);
  Add16(b, type);
  Add16(b, static_cast<uint16_t>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (const IconImageSpec& s : images) {
    b.insert(b.end(), {s.width, s.height, s.colorCount, s.reserved});
    Add16(b, s.planes);
    Add16(b, s.bitCount);
    Add32(b, static_cast<uint32_t>(s.block.size()));
    Add32(b, offset);
    offset += static_cast<uint32_t>(s.block.size());
  }
  for (const IconImageSpec& s : images) AddBytes(b, s.block);
  return b;
}

// The given blocks under 16x16 entries (hotspot 3, 5 in a cursor).
inline Bytes IconFile(const std::vector<Bytes>& blocks, uint16_t type = 1) {
  std::vector<IconImageSpec> images(blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    images[i].colorCount = 0;
    images[i].planes = type == 2 ? 3 : 1;
    images[i].bitCount = type == 2 ? 5 : 4;
    images[i].block = blocks[i];
  }
  return IconFile(type, images);
}

inline Bytes IconFile(const ImageSpec& s, uint16_t type = 1) {
  return IconFile(std::vector<Bytes>{ImageBlock(s)}, type);
}

inline Bytes SmallIcon(uint16_t type = 1, int images = 1) {
  std::vector<IconImageSpec> v;
  for (int i = 0; i < images; ++i)
    v.push_back(IconImage(16 + 16 * (i % 2), 16 + 16 * (i % 2), i % 3 == 2 ? 8 : 4));
  return IconFile(type, v);
}

// A one-image icon (type 1) or cursor (type 2) file of 22 + imageBytes bytes
// whose image bytes follow from seed, so that every frame is different.
inline Bytes SeededIconFile(uint16_t type, uint32_t imageBytes, uint8_t seed) {
  IconImageSpec s;
  s.colorCount = 0;
  s.planes = seed % 16;
  s.bitCount = 1;
  s.block.resize(imageBytes);
  std::minstd_rand gen(seed + 1u);
  for (uint8_t& b : s.block) b = static_cast<uint8_t>(gen());
  return IconFile(type, {s});
}

// Directory entries whose blocks hold byteSize bytes of 0x40 + 7n + k: each
// block its own bytes, not a decodable image.
struct TestImage {
  uint8_t width = 32;
  uint8_t height = 32;
  uint8_t colorCount = 16;
  uint8_t reserved = 0;
  uint16_t planes = 1;     // hotspot x in cursors
  uint16_t bitCount = 4;   // hotspot y in cursors
  uint32_t byteSize = 40;  // bytes of the image block
};

inline IconImageSpec EntryOf(const TestImage& i, Bytes block) {
  IconImageSpec s;
  s.width = i.width;
  s.height = i.height;
  s.colorCount = i.colorCount;
  s.reserved = i.reserved;
  s.planes = i.planes;
  s.bitCount = i.bitCount;
  s.block = std::move(block);
  return s;
}

inline Bytes MakeIconFile(uint16_t type, const std::vector<TestImage>& images) {
  std::vector<IconImageSpec> specs;
  for (size_t n = 0; n < images.size(); ++n) {
    Bytes block(images[n].byteSize);
    for (uint32_t k = 0; k < images[n].byteSize; ++k) block[k] = static_cast<uint8_t>(0x40 + n * 7 + k);
    specs.push_back(EntryOf(images[n], std::move(block)));
  }
  return IconFile(type, specs);
}

// A file of the given blocks under the given entries (their byte sizes ignored).
inline Bytes MakeIconFileOf(uint16_t type, const std::vector<Bytes>& blocks,
                            const std::vector<TestImage>& entries) {
  std::vector<IconImageSpec> specs;
  for (size_t i = 0; i < blocks.size(); ++i) specs.push_back(EntryOf(entries[i], blocks[i]));
  return IconFile(type, specs);
}

inline Bytes BlockOf(const Bytes& file, size_t index) {
  uint32_t size = Get32(file, ByteSizeAt(index));
  uint32_t offset = Get32(file, ImageOffsetAt(index));
  return Bytes(file.begin() + offset, file.begin() + offset + size);
}

// The one-image file that extracting image index of file must give.
inline Bytes ExpectedSingle(const Bytes& file, size_t index) {
  Bytes out(22, 0);
  out[2] = file[2];
  out[3] = file[3];
  out[4] = 1;
  std::memcpy(out.data() + 6, file.data() + EntryAt(index), 16);
  Put32(out, 18, 22);
  return Concat(out, BlockOf(file, index));
}

// ---- PNG files, enough to craft sound and hostile ones ----------------------

inline uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

inline void PngChunk(Bytes& png, const char* type, const Bytes& data) {
  AddBe32(png, static_cast<uint32_t>(data.size()));
  size_t start = png.size();
  AddRaw(png, type, 4);
  AddBytes(png, data);
  AddBe32(png, Crc32(png.data() + start, png.size() - start));
}

// A zlib stream of stored blocks.
inline Bytes ZlibStored(const Bytes& raw) {
  Bytes z{0x78, 0x01};
  size_t at = 0;
  do {
    size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
    z.push_back(at + n == raw.size() ? 1 : 0);
    Add16(z, static_cast<uint16_t>(n));
    Add16(z, static_cast<uint16_t>(~n));
    AddRaw(z, raw.data() + at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  AddBe32(z, b << 16 | a);
  return z;
}

// A zlib stream that inflates to one zero byte followed by repeats * 258 more:
// a few bytes that ask for megabytes.
inline Bytes ZlibBomb(uint32_t repeats) {
  Bytes z{0x78, 0x01};
  uint32_t acc = 0;
  int n = 0;
  auto bits = [&](uint32_t v, int count) {  // v's bits least significant first
    for (int i = 0; i < count; ++i) {
      acc |= ((v >> i) & 1u) << n;
      if (++n == 8) {
        z.push_back(static_cast<uint8_t>(acc));
        acc = 0;
        n = 0;
      }
    }
  };
  auto code = [&](uint32_t v, int count) {  // Huffman codes go most significant first
    for (int i = count - 1; i >= 0; --i) bits((v >> i) & 1u, 1);
  };
  bits(1, 1);           // final block
  bits(1, 2);           // fixed Huffman codes
  code(0x30, 8);        // literal 0
  for (uint32_t i = 0; i < repeats; ++i) {
    code(0xC5, 8);      // length 258
    code(0, 5);         // distance 1
  }
  code(0, 7);           // end of block
  if (n) z.push_back(static_cast<uint8_t>(acc));
  AddBe32(z, 0);
  return z;
}

// An 8-bit RGBA PNG of rgba (top row first); idat replaces the image data when
// given, split into two chunks after its first split bytes when that is shorter.
inline Bytes Png(uint32_t width, uint32_t height, const Bytes& rgba, const Bytes* idat = nullptr,
                 size_t split = SIZE_MAX) {
  Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  AddBe32(ihdr, width);
  AddBe32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
  PngChunk(png, "IHDR", ihdr);
  if (idat && split < idat->size()) {
    PngChunk(png, "IDAT", Bytes(idat->begin(), idat->begin() + static_cast<std::ptrdiff_t>(split)));
    PngChunk(png, "IDAT", Bytes(idat->begin() + static_cast<std::ptrdiff_t>(split), idat->end()));
  } else if (idat) {
    PngChunk(png, "IDAT", *idat);
  } else {
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
      raw.push_back(0);  // no filter
      AddRaw(raw, rgba.data() + size_t{y} * width * 4, size_t{width} * 4);
    }
    PngChunk(png, "IDAT", ZlibStored(raw));
  }
  PngChunk(png, "IEND", {});
  return png;
}

}  // namespace build
