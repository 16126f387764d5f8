// Quibbet's operations on the icon and cursor container (formats/icon.h):
// the one-image file an extracted member becomes.
//
//   offset 0   IconHeader    0, the source's type, count 1
//   offset 6   IconDirEntry  the source entry, its image offset set to 22
//   offset 22  the source's image block, byteSize bytes
#pragma once

#include <cstdint>
#include <cstring>

#include "formats/icon.h"

constexpr uint32_t IconSingleFileHeaderSize = IconHeaderSize + IconDirEntrySize;
static_assert(IconSingleFileHeaderSize == 22);

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
