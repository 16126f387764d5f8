// Builds icon and cursor files byte by byte, so that tests can craft both
// sound files and every kind of broken one.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/bytes.h"

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

}  // namespace iconbuild
