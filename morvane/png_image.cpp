#include "morvane/png_image.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

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

bool CheckPngImage(ByteView png, uint32_t* width, uint32_t* height) {
  PngHeader header;
  if (!ReadPngChunks(png, &header)) return false;
  *width = header.width;
  *height = header.height;
  return header.width != 0 && header.height != 0 && header.width <= PngMaxDimension &&
         header.height <= PngMaxDimension;
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
