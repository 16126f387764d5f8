// The PNG encoder of the Windows build: stb_image_write, since no mingw build
// of libspng or libpng is packaged. Its own code is not held to our warning flags.
#include "picture.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace spihost {
namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

}  // namespace

bool EncodePng(const RgbaImage& image, std::vector<uint8_t>* out) {
  if (image.width <= 0 || image.height <= 0) return false;
  out->clear();
  if (image.hasAlpha) {
    return stbi_write_png_to_func(Append, out, image.width, image.height, 4, image.pixels.data(),
                                  image.width * 4) != 0;
  }
  std::vector<uint8_t> rgb(static_cast<size_t>(image.width) * image.height * 3);
  for (size_t i = 0, j = 0; i < image.pixels.size(); i += 4, j += 3) {
    rgb[j] = image.pixels[i];
    rgb[j + 1] = image.pixels[i + 1];
    rgb[j + 2] = image.pixels[i + 2];
  }
  return stbi_write_png_to_func(Append, out, image.width, image.height, 3, rgb.data(),
                                image.width * 3) != 0;
}

bool DecodePng(const std::vector<uint8_t>&, size_t, RgbaImage*) { return false; }

}  // namespace spihost
