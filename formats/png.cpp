#include "formats/png.h"

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// CRC-32 of the chunks, eight bytes a step ("slicing by eight"): every chunk
// is checked each time an image is located, so this is on the hot path.
constexpr auto CrcTables = [] {
  struct Tables { uint32_t v[8][256]; } t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t.v[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t.v[k][i] = (t.v[k - 1][i] >> 8) ^ t.v[0][t.v[k - 1][i] & 0xFF];
  return t;
}();

uint32_t Crc32(const uint8_t* p, size_t n) {
  const auto& t = CrcTables.v;
  uint32_t c = 0xFFFFFFFFu;
  for (; n >= 8; p += 8, n -= 8) {
    const uint32_t lo = c ^ (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                             static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; n; ++p, --n) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

bool IsPngFile(ByteView block) {
  return Has(block, 0, sizeof kSignature) && std::memcmp(block.data, kSignature, sizeof kSignature) == 0;
}

bool ReadPngChunks(ByteView png, PngHeader* header, PngChunkVisitor visit, void* user) {
  if (!IsPngFile(png)) return false;
  uint64_t at = sizeof kSignature;
  bool first = true;
  for (;;) {
    if (!Has(png, at, 8)) return false;
    const uint32_t length = Be32(png.data + at);
    // Chunk type and data are covered by the CRC that follows them.
    if (length > 0x7FFFFFFFu || !Has(png, at + 8, uint64_t{length} + 4)) return false;
    const uint8_t* type = png.data + at + 4;
    if (Crc32(type, length + 4u) != Be32(png.data + at + 8 + length)) return false;
    if (first) {
      if (std::memcmp(type, "IHDR", 4) != 0 || length != 13) return false;
      const uint8_t* f = png.data + at + 8;
      header->width = Be32(f);
      header->height = Be32(f + 4);
      header->bitDepth = f[8];
      header->colorType = f[9];
      header->interlace = f[12];
      first = false;
    }
    if (visit) visit(user, type, ByteView{png.data + at + 8, length});
    at += 12u + uint64_t{length};
    if (std::memcmp(type, "IEND", 4) == 0) {
      header->end = at;
      return true;
    }
  }
}
