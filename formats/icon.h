// The icon and cursor container, and the group resources from which an
// executable's icons and cursors are rebuilt into it.
//
//   icon or cursor file
//   offset 0   IconHeader     reserved(2)=0  type(2)=1 icon|2 cursor  count(2)
//   offset 6   IconDirEntry[count], 16 bytes each:
//                width(1) height(1) colorCount(1) reserved(1)
//                planes|hotspotX(2) bitCount|hotspotY(2) byteSize(4) imageOffset(4)
//   offset 6+16*count  image blocks: a bitmap header (formats/bitmap.h),
//                palette, colour rows bottom-up, 1-bit AND mask; or a PNG file
//
//   group resource (icon group 14, cursor group 12): the same 6-byte header,
//   then count entries of 14 bytes:
//     icon    width(1) height(1) colorCount(1) reserved(1) planes(2) bitCount(2)
//             bytes(4) id(2)
//     cursor  width(2) height(2, doubled) planes(2) bitCount(2) bytes(4) id(2)
//   member image resources: icon (3) an image block; cursor (1) hotspotX(2)
//   hotspotY(2) then an image block
#pragma once

#include <cstdint>

#include "formats/bytes.h"

constexpr uint32_t IconHeaderSize = 6;
constexpr uint32_t IconDirEntrySize = 16;
constexpr uint32_t IconGroupEntrySize = 14;
constexpr uint32_t CursorHotspotSize = 4;
constexpr uint16_t IconTypeIcon = 1;
constexpr uint16_t IconTypeCursor = 2;

namespace IconHeaderField {
constexpr uint32_t Reserved = 0, Type = 2, Count = 4;
}
static_assert(IconHeaderField::Count + 2 == IconHeaderSize);

namespace IconDirEntryField {
constexpr uint32_t Width = 0, Height = 1, ColorCount = 2, Reserved = 3, Planes = 4, BitCount = 6,
                   ByteSize = 8, ImageOffset = 12;
}
static_assert(IconDirEntryField::ImageOffset + 4 == IconDirEntrySize);

namespace IconGroupEntryField {
constexpr uint32_t Width = 0, Height = 1, ColorCount = 2, Reserved = 3, Planes = 4, BitCount = 6,
                   Bytes = 8, Id = 12;
}
static_assert(IconGroupEntryField::Id + 2 == IconGroupEntrySize);

namespace CursorGroupEntryField {
constexpr uint32_t Width = 0, Height = 2, Planes = 4, BitCount = 6, Bytes = 8, Id = 12;
}
static_assert(CursorGroupEntryField::Id + 2 == IconGroupEntrySize);
static_assert(CursorGroupEntryField::Bytes == IconGroupEntryField::Bytes);

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

struct IconGroupEntry {
  uint8_t width = 0;
  uint8_t height = 0;
  uint8_t colorCount = 0;
  uint8_t reserved = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t bytes = 0;  // length of the member image resource
  uint16_t id = 0;     // its name id
};

struct CursorGroupEntry {
  uint16_t width = 0;
  uint16_t height = 0;  // twice the image height: colour rows and mask rows
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t bytes = 0;  // length of the member image resource, hotspot included
  uint16_t id = 0;
};

struct CursorHotspot {
  uint16_t x = 0;
  uint16_t y = 0;
};

// Offset of directory entry i from the start of the header.
constexpr uint64_t IconDirEntryOffset(uint32_t i) {
  return IconHeaderSize + uint64_t{IconDirEntrySize} * i;
}
// Offset of group entry i from the start of a group resource.
constexpr uint64_t IconGroupEntryOffset(uint32_t i) {
  return IconHeaderSize + uint64_t{IconGroupEntrySize} * i;
}

// Reads the header at offset off of v; false when its 6 bytes are not within v.
inline bool ReadIconHeader(ByteView v, uint64_t off, IconHeader* h) {
  if (!Has(v, off, IconHeaderSize)) return false;
  h->reserved = Le16(v, off + IconHeaderField::Reserved);
  h->type = Le16(v, off + IconHeaderField::Type);
  h->count = Le16(v, off + IconHeaderField::Count);
  return true;
}

// The header of an icon or cursor file: reserved 0, type icon or cursor.
// Every reader of those files starts from this test.
inline bool HasIconFileHeader(ByteView v) {
  IconHeader h;
  return ReadIconHeader(v, 0, &h) && h.reserved == 0 && (h.type == IconTypeIcon || h.type == IconTypeCursor);
}

// Reads the directory entry at offset off of v; false when not within v.
inline bool ReadIconDirEntry(ByteView v, uint64_t off, IconDirEntry* e) {
  if (!Has(v, off, IconDirEntrySize)) return false;
  e->width = Le8(v, off + IconDirEntryField::Width);
  e->height = Le8(v, off + IconDirEntryField::Height);
  e->colorCount = Le8(v, off + IconDirEntryField::ColorCount);
  e->reserved = Le8(v, off + IconDirEntryField::Reserved);
  e->planes = Le16(v, off + IconDirEntryField::Planes);
  e->bitCount = Le16(v, off + IconDirEntryField::BitCount);
  e->byteSize = Le32(v, off + IconDirEntryField::ByteSize);
  e->imageOffset = Le32(v, off + IconDirEntryField::ImageOffset);
  return true;
}

inline void WriteIconHeader(uint8_t* out, const IconHeader& h) {
  PutLe16(out + IconHeaderField::Reserved, h.reserved);
  PutLe16(out + IconHeaderField::Type, h.type);
  PutLe16(out + IconHeaderField::Count, h.count);
}

inline void WriteIconDirEntry(uint8_t* out, const IconDirEntry& e) {
  out[IconDirEntryField::Width] = e.width;
  out[IconDirEntryField::Height] = e.height;
  out[IconDirEntryField::ColorCount] = e.colorCount;
  out[IconDirEntryField::Reserved] = e.reserved;
  PutLe16(out + IconDirEntryField::Planes, e.planes);
  PutLe16(out + IconDirEntryField::BitCount, e.bitCount);
  PutLe32(out + IconDirEntryField::ByteSize, e.byteSize);
  PutLe32(out + IconDirEntryField::ImageOffset, e.imageOffset);
}

// Reads an icon group's entry at offset off of v; false when not within v.
inline bool ReadIconGroupEntry(ByteView v, uint64_t off, IconGroupEntry* e) {
  if (!Has(v, off, IconGroupEntrySize)) return false;
  e->width = Le8(v, off + IconGroupEntryField::Width);
  e->height = Le8(v, off + IconGroupEntryField::Height);
  e->colorCount = Le8(v, off + IconGroupEntryField::ColorCount);
  e->reserved = Le8(v, off + IconGroupEntryField::Reserved);
  e->planes = Le16(v, off + IconGroupEntryField::Planes);
  e->bitCount = Le16(v, off + IconGroupEntryField::BitCount);
  e->bytes = Le32(v, off + IconGroupEntryField::Bytes);
  e->id = Le16(v, off + IconGroupEntryField::Id);
  return true;
}

// Reads a cursor group's entry at offset off of v; false when not within v.
inline bool ReadCursorGroupEntry(ByteView v, uint64_t off, CursorGroupEntry* e) {
  if (!Has(v, off, IconGroupEntrySize)) return false;
  e->width = Le16(v, off + CursorGroupEntryField::Width);
  e->height = Le16(v, off + CursorGroupEntryField::Height);
  e->planes = Le16(v, off + CursorGroupEntryField::Planes);
  e->bitCount = Le16(v, off + CursorGroupEntryField::BitCount);
  e->bytes = Le32(v, off + CursorGroupEntryField::Bytes);
  e->id = Le16(v, off + CursorGroupEntryField::Id);
  return true;
}

// Reads the hotspot in front of a cursor image resource at offset off of v.
inline bool ReadCursorHotspot(ByteView v, uint64_t off, CursorHotspot* h) {
  if (!Has(v, off, CursorHotspotSize)) return false;
  h->x = Le16(v, off);
  h->y = Le16(v, off + 2);
  return true;
}
