#include "morvane/png_image.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

const uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// No single allocation of the decoder may pass the limit of the image being
// decoded: twice its largest raw form (16-bit RGBA, one filter byte a
// row). A zlib stream that inflates far beyond its image (a "bomb") then fails
// at once instead of eating memory. The decoder's allocator takes no context,
// so decodes take turns with one limit. Not a thread-local: in a library loaded
// at run time that is dynamic TLS, which LeakSanitizer's final scan crashed on.
// The turn is a flag, not a mutex: a plug-in carries no threading runtime.
std::atomic_flag DecodeTurn;
size_t AllocationLimit = 0;

void* PngAlloc(size_t size) { return size <= AllocationLimit ? std::malloc(size) : nullptr; }
void* PngRealloc(void* p, size_t size) {
  return size <= AllocationLimit ? std::realloc(p, size) : nullptr;
}
void PngFree(void* p) { std::free(p); }

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// CRC-32 of the PNG chunks, eight bytes a step ("slicing by eight"): every
// chunk is checked each time an image is located, so this is on the hot path.
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

#define STBI_MALLOC(size) PngAlloc(size)
#define STBI_REALLOC(p, size) PngRealloc(p, size)
#define STBI_FREE(p) PngFree(p)
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_NO_THREAD_LOCALS
#define STBI_MAX_DIMENSIONS PngMaxDimension
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
// The decoder is Debian's libstb; its own style is not held to our warnings.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wtype-limits"
#pragma GCC diagnostic ignored "-Wshadow"
#include "stb_image.h"
#pragma GCC diagnostic pop

bool IsPngImage(ByteView block) {
  return Has(block, 0, sizeof PngSignature) &&
         std::memcmp(block.data, PngSignature, sizeof PngSignature) == 0;
}

bool CheckPngImage(ByteView png, uint32_t* width, uint32_t* height) {
  if (!IsPngImage(png)) return false;
  uint64_t at = sizeof PngSignature;
  bool first = true;
  for (;;) {
    if (!Has(png, at, 8)) return false;
    uint32_t length = Be32(png.data + at);
    // Chunk type and data are covered by the CRC that follows them.
    if (length > 0x7FFFFFFFu || !Has(png, at + 8, uint64_t{length} + 4)) return false;
    const uint8_t* type = png.data + at + 4;
    if (Crc32(type, length + 4u) != Be32(png.data + at + 8 + length)) return false;
    if (first) {
      if (std::memcmp(type, "IHDR", 4) != 0 || length != 13) return false;
      *width = Be32(png.data + at + 8);
      *height = Be32(png.data + at + 12);
      if (*width == 0 || *height == 0 || *width > PngMaxDimension || *height > PngMaxDimension)
        return false;
      first = false;
    }
    if (std::memcmp(type, "IEND", 4) == 0) return true;
    at += 12u + uint64_t{length};
  }
}

bool DecodePngImage(ByteView png, uint32_t width, uint32_t height, uint8_t* bits,
                    uint32_t bitsSize) {
  if (uint64_t{width} * height * 4 != bitsSize || png.size > INT32_MAX) return false;
  int w = 0, h = 0, channels = 0;
  stbi_uc* rgba;
  {
    while (DecodeTurn.test_and_set(std::memory_order_acquire)) platform::YieldThread();
    AllocationLimit = 2 * (size_t{height} * (1 + size_t{width} * 8)) + (1u << 20);
    rgba = stbi_load_from_memory(png.data, static_cast<int>(png.size), &w, &h, &channels, 4);
    DecodeTurn.clear(std::memory_order_release);
  }
  if (!rgba) return false;
  bool ok = static_cast<uint32_t>(w) == width && static_cast<uint32_t>(h) == height;
  if (ok) {
    // PNG rows run top down in red, green, blue, alpha; the bitmap's bottom up in BGRA.
    const size_t rowBytes = size_t{width} * 4;
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* in = rgba + size_t{y} * rowBytes;
      uint8_t* out = bits + size_t{height - 1 - y} * rowBytes;
      for (uint32_t x = 0; x < width; ++x) {
        out[4 * x] = in[4 * x + 2];
        out[4 * x + 1] = in[4 * x + 1];
        out[4 * x + 2] = in[4 * x];
        out[4 * x + 3] = in[4 * x + 3];
      }
    }
  }
  stbi_image_free(rgba);
  return ok;
}
