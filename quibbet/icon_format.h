// The icon and cursor container, shared by every deliverable that reads or
// writes it.
//
//   offset 0   IconHeader     reserved(2)=0  type(2)=1 icon|2 cursor  count(2)
//   offset 6   IconDirEntry[count], 16 bytes each:
//                width(1) height(1) colourCount(1) reserved(1)
//                planes|hotspotX(2) bitCount|hotspotY(2) byteSize(4) imageOffset(4)
//   offset 6+16*count  image blocks (IconImage): bitmap header (12 or 40+ bytes),
//                palette, colour rows bottom-up, 1-bit AND mask
//
// Entry 0's image offset is 6 + 16 * count in every file we accept or write.
#pragma once

#include <cstdint>
#include <cstring>

#include "framework/bytes.h"

constexpr uint32_t IconHeaderSize = 6;
constexpr uint32_t IconDirEntrySize = 16;
constexpr uint32_t IconSingleFileHeaderSize = IconHeaderSize + IconDirEntrySize;  // 22
constexpr uint16_t IconTypeIcon = 1;
constexpr uint16_t IconTypeCursor = 2;

struct IconHeader {
  uint16_t reserved = 0;
  uint16_t type = 0;
  uint16_t count = 0;
};

struct IconDirEntry {
  uint8_t width = 0;
  uint8_t height = 0;
  uint8_t colorCount = 0;
  uint8_t reserved = 0;
  uint16_t planes = 0;    // hotspot x in cursor files
  uint16_t bitCount = 0;  // hotspot y in cursor files
  uint32_t byteSize = 0;
  uint32_t imageOffset = 0;
};

// Offset of directory entry i from the start of the header.
constexpr uint64_t IconDirEntryOffset(uint32_t i) {
  return IconHeaderSize + uint64_t{IconDirEntrySize} * i;
}

// Reads the header at offset off of v; false when its 6 bytes are not within v.
inline bool ReadIconHeader(ByteView v, uint64_t off, IconHeader* h) {
  if (!Has(v, off, IconHeaderSize)) return false;
  h->reserved = Le16(v, off);
  h->type = Le16(v, off + 2);
  h->count = Le16(v, off + 4);
  return true;
}

// Reads the directory entry at offset off of v; false when not within v.
inline bool ReadIconDirEntry(ByteView v, uint64_t off, IconDirEntry* e) {
  if (!Has(v, off, IconDirEntrySize)) return false;
  e->width = Le8(v, off);
  e->height = Le8(v, off + 1);
  e->colorCount = Le8(v, off + 2);
  e->reserved = Le8(v, off + 3);
  e->planes = Le16(v, off + 4);
  e->bitCount = Le16(v, off + 6);
  e->byteSize = Le32(v, off + 8);
  e->imageOffset = Le32(v, off + 12);
  return true;
}

inline void WriteIconHeader(uint8_t* out, const IconHeader& h) {
  PutLe16(out, h.reserved);
  PutLe16(out + 2, h.type);
  PutLe16(out + 4, h.count);
}

inline void WriteIconDirEntry(uint8_t* out, const IconDirEntry& e) {
  out[0] = e.width;
  out[1] = e.height;
  out[2] = e.colorCount;
  out[3] = e.reserved;
  PutLe16(out + 4, e.planes);
  PutLe16(out + 6, e.bitCount);
  PutLe32(out + 8, e.byteSize);
  PutLe32(out + 12, e.imageOffset);
}

// The bitmap header at the start of an image block (short form 12 bytes, long form 40).
struct IconImage {
  uint32_t headerSize = 0;
  int32_t width = 0;
  int32_t height = 0;  // twice the picture height: colour rows and mask rows
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t paletteEntries = 0;    // 2, 16, 256 or 0 by bit count
  uint32_t paletteEntrySize = 0;  // 3 after a short header, 4 otherwise
};

inline uint32_t IconPaletteEntries(uint16_t bitCount) {
  return bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
}

// Reads the bitmap header at the start of block; false when it is not within block.
inline bool ReadIconImage(ByteView block, IconImage* img) {
  uint32_t size;
  if (!ReadLe32(block, 0, &size)) return false;
  img->headerSize = size;
  if (size == 12) {
    if (!Has(block, 0, 12)) return false;
    img->width = Le16(block, 4);
    img->height = Le16(block, 6);
    img->planes = Le16(block, 8);
    img->bitCount = Le16(block, 10);
    img->paletteEntrySize = 3;
  } else {
    if (!Has(block, 0, 40)) return false;
    img->width = static_cast<int32_t>(Le32(block, 4));
    img->height = static_cast<int32_t>(Le32(block, 8));
    img->planes = Le16(block, 12);
    img->bitCount = Le16(block, 14);
    img->paletteEntrySize = 4;
  }
  img->paletteEntries = IconPaletteEntries(img->bitCount);
  return true;
}

// IconSingleFile: a one-image file of 22 + byteSize bytes made from a source
// entry and its image block. out must hold 22 + image.size bytes.
inline void WriteIconSingleFile(uint8_t* out, uint16_t type, const IconDirEntry& source,
                                ByteView image) {
  WriteIconHeader(out, IconHeader{0, type, 1});
  IconDirEntry e = source;
  e.imageOffset = IconSingleFileHeaderSize;
  WriteIconDirEntry(out + IconHeaderSize, e);
  if (image.size) std::memcpy(out + IconSingleFileHeaderSize, image.data, image.size);
}
