// PNG files as stored inside icons or handed over as they are: the signature
// and the chunk structure, every chunk's checksum verified.
#pragma once

#include <cstdint>

#include "formats/bytes.h"

struct PngHeader {
  uint32_t width = 0, height = 0;
  uint8_t bitDepth = 0, colorType = 0, interlace = 0;
  uint64_t end = 0;  // just past IEND
};

// True when block begins with the PNG signature.
bool IsPngFile(ByteView block);

// Told of each chunk whose CRC is right, with its type and data.
using PngChunkVisitor = void (*)(void* user, const uint8_t type[4], ByteView data);

// True when png begins with the signature, IHDR comes first, IEND closes it,
// and every chunk lies within png and carries a right CRC. Gives IHDR's fields
// and where IEND ends; what follows it is not looked at.
bool ReadPngChunks(ByteView png, PngHeader* header, PngChunkVisitor visit = nullptr, void* user = nullptr);
