// Builds icon and cursor files byte by byte, so that tests can craft both
// sound files and every kind of broken one.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/bytes.h"

namespace iconbuild {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline int Stride(int width, int bitCount) { return ((width * bitCount + 7) / 8 + 3) & ~3; }
inline int Entries(int bitCount) {
  return bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
}

// One image block. Palette entry i is (i, 2i, 3i) in blue, green, red; colour
// byte k of the bitmap is (k * 7 + seed) & 0xFF; the AND mask bytes are 0xAA.
struct ImageSpec {
  int width = 16;
  int height = 16;  // picture height; the header stores twice this unless headerHeight is set
  int bitCount = 4;
  bool shortHeader = false;
  int headerHeight = -1;   // as stored, when not -1
  uint32_t headerSize = 0; // as stored, when not 0 (long form)
  uint8_t seed = 0;
  bool withMask = true;
};

inline Bytes PaletteOf(const ImageSpec& s, int entrySize) {
  Bytes p;
  for (int i = 0; i < Entries(s.bitCount); ++i) {
    p.push_back(static_cast<uint8_t>(i));
    p.push_back(static_cast<uint8_t>(2 * i));
    p.push_back(static_cast<uint8_t>(3 * i));
    if (entrySize == 4) p.push_back(0);
  }
  return p;
}

inline Bytes ColourBitsOf(const ImageSpec& s) {
  Bytes b(static_cast<size_t>(Stride(s.width, s.bitCount)) * s.height);
  for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<uint8_t>(k * 7 + s.seed);
  return b;
}

inline Bytes ImageBlock(const ImageSpec& s) {
  Bytes b;
  int storedHeight = s.headerHeight != -1 ? s.headerHeight : 2 * s.height;
  if (s.shortHeader) {
    Put32(b, 12);
    Put16(b, static_cast<uint16_t>(s.width));
    Put16(b, static_cast<uint16_t>(storedHeight));
    Put16(b, 1);
    Put16(b, static_cast<uint16_t>(s.bitCount));
  } else {
    uint32_t size = s.headerSize ? s.headerSize : 40;
    Put32(b, size);
    Put32(b, static_cast<uint32_t>(s.width));
    Put32(b, static_cast<uint32_t>(storedHeight));
    Put16(b, 1);
    Put16(b, static_cast<uint16_t>(s.bitCount));
    while (b.size() < size) b.push_back(0);
  }
  Bytes pal = PaletteOf(s, s.shortHeader ? 3 : 4);
  b.insert(b.end(), pal.begin(), pal.end());
  Bytes bits = ColourBitsOf(s);
  b.insert(b.end(), bits.begin(), bits.end());
  if (s.withMask) b.insert(b.end(), static_cast<size_t>(Stride(s.width, 1)) * s.height, 0xAA);
  return b;
}

// A whole file: header, directory (byte size and offset filled in), blocks.
inline Bytes IconFile(const std::vector<Bytes>& blocks, uint16_t type = 1) {
  Bytes f;
  Put16(f, 0);
  Put16(f, type);
  Put16(f, static_cast<uint16_t>(blocks.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(blocks.size());
  for (const Bytes& b : blocks) {
    f.insert(f.end(), {16, 16, 0, 0});
    Put16(f, type == 2 ? 3 : 1);
    Put16(f, type == 2 ? 5 : 4);
    Put32(f, static_cast<uint32_t>(b.size()));
    Put32(f, offset);
    offset += static_cast<uint32_t>(b.size());
  }
  for (const Bytes& b : blocks) f.insert(f.end(), b.begin(), b.end());
  return f;
}

inline Bytes IconFile(const ImageSpec& s, uint16_t type = 1) {
  return IconFile(std::vector<Bytes>{ImageBlock(s)}, type);
}

// Offsets within a file made by IconFile.
inline size_t EntryAt(int i) { return 6 + 16 * static_cast<size_t>(i); }
inline size_t ByteSizeAt(int i) { return EntryAt(i) + 8; }
inline size_t ImageOffsetAt(int i) { return EntryAt(i) + 12; }

inline ByteView View(const Bytes& b) { return ByteView{b.data(), b.size()}; }

// ---- PNG files, enough to craft sound and hostile ones ----------------------

inline uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

inline void PutBe32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void PngChunk(Bytes& png, const char* type, const Bytes& data) {
  PutBe32(png, static_cast<uint32_t>(data.size()));
  size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBe32(png, Crc32(png.data() + start, png.size() - start));
}

// A zlib stream of stored blocks.
inline Bytes ZlibStored(const Bytes& raw) {
  Bytes z{0x78, 0x01};
  size_t at = 0;
  do {
    size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
    z.push_back(at + n == raw.size() ? 1 : 0);
    Put16(z, static_cast<uint16_t>(n));
    Put16(z, static_cast<uint16_t>(~n));
    z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(at),
             raw.begin() + static_cast<ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(z, b << 16 | a);
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
  PutBe32(z, 0);
  return z;
}

// An 8-bit RGBA PNG of rgba (top row first); idat replaces the image data when given.
inline Bytes Png(uint32_t width, uint32_t height, const Bytes& rgba, const Bytes* idat = nullptr) {
  Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
  PngChunk(png, "IHDR", ihdr);
  if (idat) {
    PngChunk(png, "IDAT", *idat);
  } else {
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
      raw.push_back(0);  // no filter
      raw.insert(raw.end(), rgba.begin() + static_cast<ptrdiff_t>(y * width * 4),
                 rgba.begin() + static_cast<ptrdiff_t>((y + 1) * width * 4));
    }
    PngChunk(png, "IDAT", ZlibStored(raw));
  }
  PngChunk(png, "IEND", {});
  return png;
}

}  // namespace iconbuild
