// Device-independent bitmaps: the header that opens every icon and cursor
// image block, every bitmap resource and the information block a picture
// plug-in hands to its host, and the file header in front of a .bmp file.
//
//   BITMAPFILEHEADER  14 bytes  type(2)="BM" size(4) reserved1(2) reserved2(2) offBits(4)
//   BITMAPCOREHEADER  12 bytes  size(4)=12 width(2) height(2) planes(2) bitCount(2)
//   BITMAPINFOHEADER  40 bytes  size(4) width(4) height(4) planes(2) bitCount(2)
//                               compression(4) sizeImage(4) xPelsPerMeter(4)
//                               yPelsPerMeter(4) clrUsed(4) clrImportant(4)
//                               (longer forms carry more fields behind these)
//   behind the header           colour masks (a 40-byte header with bit fields),
//                               palette: 3-byte entries after a core header, 4 after
//                               any other; rows padded to 4 bytes, bottom row first
//                               unless the info form's height is negative
#pragma once

#include <cstdint>

#include "formats/bytes.h"

constexpr uint32_t BitmapFileHeaderSize = 14;
constexpr uint32_t BitmapCoreHeaderSize = 12;
constexpr uint32_t BitmapInfoHeaderSize = 40;
// The bytes of an info header up to and including its bit count.
constexpr uint32_t BitmapInfoHeaderMinimum = 16;
constexpr uint16_t BitmapFileType = 0x4D42;  // "BM"

// Values of compression.
constexpr uint32_t BitmapRgb = 0;
constexpr uint32_t BitmapRle8 = 1;
constexpr uint32_t BitmapRle4 = 2;
constexpr uint32_t BitmapBitFields = 3;
constexpr uint32_t BitmapAlphaBitFields = 6;

namespace BitmapFileHeaderField {
constexpr uint32_t Type = 0, Size = 2, Reserved1 = 6, Reserved2 = 8, OffBits = 10;
}
static_assert(BitmapFileHeaderField::OffBits + 4 == BitmapFileHeaderSize);

namespace BitmapCoreHeaderField {
constexpr uint32_t Size = 0, Width = 4, Height = 6, Planes = 8, BitCount = 10;
}
static_assert(BitmapCoreHeaderField::BitCount + 2 == BitmapCoreHeaderSize);

namespace BitmapInfoHeaderField {
constexpr uint32_t Size = 0, Width = 4, Height = 8, Planes = 12, BitCount = 14, Compression = 16,
                   SizeImage = 20, XPelsPerMeter = 24, YPelsPerMeter = 28, ClrUsed = 32,
                   ClrImportant = 36;
}
static_assert(BitmapInfoHeaderField::ClrImportant + 4 == BitmapInfoHeaderSize);
static_assert(BitmapInfoHeaderField::BitCount + 2 == BitmapInfoHeaderMinimum);

struct BitmapFileHeader {
  uint16_t type = BitmapFileType;
  uint32_t size = 0;  // of the whole file
  uint16_t reserved1 = 0;
  uint16_t reserved2 = 0;
  uint32_t offBits = 0;  // where the pixel rows start, from the file's first byte
};

// Either form of the header; the core form fills the first five fields.
struct BitmapInfoHeader {
  uint32_t size = 0;  // 12 for the core form
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};

inline bool IsCoreHeader(const BitmapInfoHeader& h) { return h.size == BitmapCoreHeaderSize; }

// Reads the header at the start of v. A size of 12 is the core form, which
// needs its 12 bytes; every other size is read as the info form, which needs
// its first 16 bytes (up to the bit count). The later fields are read where
// both the size and v cover them and are zero elsewhere, as in the shorter
// headers OS/2 wrote. False when the bytes needed are not within v; what a
// caller further demands of the size is its own business.
bool ReadBitmapInfoHeader(ByteView v, BitmapInfoHeader* h);

// Palette entries of the full palette of a bit count: 2, 16, 256, else 0.
constexpr uint32_t BitmapPaletteEntries(uint32_t bitCount) {
  return bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
}

// 3 bytes (blue, green, red) after a core header, 4 after any other.
inline uint32_t BitmapPaletteEntrySize(const BitmapInfoHeader& h) {
  return IsCoreHeader(h) ? 3 : 4;
}

// False when the 14 bytes are not within v.
bool ReadBitmapFileHeader(ByteView v, BitmapFileHeader* h);
void WriteBitmapFileHeader(uint8_t* out, const BitmapFileHeader& h);
