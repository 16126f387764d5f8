#include "image_check.h"

#include "tests/builders/bytes.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#include <stb_image.h>

namespace {

using build::Bytes;
using build::Get32;
using build::Put32;

uint32_t U16(const Bytes& b, size_t at) { return build::Get16(b, at); }

bool Fail(std::string* why, const std::string& text) {
  *why = text;
  return false;
}

bool Decodes(const uint8_t* data, size_t size, int* w, int* h) {
  int c = 0;
  stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(size), w, h, &c, 4);
  if (!pixels) return false;
  stbi_image_free(pixels);
  return true;
}

// An image block of an icon or cursor: a PNG, or a bitmap header of doubled
// height with colour rows and mask rows, decoded as a bitmap of the colour rows.
bool ImageBlockDecodes(const Bytes& block, uint32_t expectWidth, std::string* why) {
  if (block.size() >= 8 && block[0] == 0x89 && block[1] == 'P' && block[2] == 'N' && block[3] == 'G') {
    int w, h;
    if (!Decodes(block.data(), block.size(), &w, &h)) return Fail(why, "PNG image does not decode");
    (void)expectWidth;  // directory sizes of PNG images are advisory (Wine's own differ)
    return true;
  }
  if (block.size() < 12) return Fail(why, "image block too short");
  const uint32_t hs = Get32(block, 0);
  uint32_t width, height, bpp, compression = 0;
  if (hs == 12) {
    width = U16(block, 4), height = U16(block, 6), bpp = U16(block, 10);
  } else {
    if (hs < 40 || block.size() < hs) return Fail(why, "bitmap header size " + std::to_string(hs));
    width = Get32(block, 4), height = Get32(block, 8), bpp = U16(block, 14), compression = Get32(block, 16);
  }
  if (width == 0 || height == 0 || height % 2 || height > 2 * 4096 || width > 4096)
    return Fail(why, "odd image dimensions");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    return Fail(why, "bit count " + std::to_string(bpp));
  const uint32_t colours = bpp <= 8 ? 1u << bpp : 0;
  const uint32_t palette = colours * (hs == 12 ? 3 : 4);
  const uint32_t rows = height / 2;
  const uint64_t need = uint64_t{hs} + palette + uint64_t{(width * bpp + 31) / 32 * 4} * rows +
                        uint64_t{(width + 31) / 32 * 4} * rows;
  if (compression == 0 && block.size() < need)
    return Fail(why, "image block of " + std::to_string(block.size()) + " bytes, needs " +
                         std::to_string(need));
  Bytes file(14, 0);
  file[0] = 'B', file[1] = 'M';
  build::AddBytes(file, block);
  const uint32_t size = static_cast<uint32_t>(file.size()), offset = 14 + hs + palette;
  Put32(file, 2, size);
  Put32(file, 10, offset);
  if (hs == 12) {
    build::Put16(file, 14 + 6, static_cast<uint16_t>(rows));
  } else {
    Put32(file, 14 + 8, rows);
  }
  int w, h;
  if (!Decodes(file.data(), file.size(), &w, &h)) return Fail(why, "bitmap image does not decode");
  if (static_cast<uint32_t>(w) != width || static_cast<uint32_t>(h) != rows)
    return Fail(why, "decoded size differs");
  return true;
}

// Walks a run-length encoded bitmap (stb_image reads none) to its end.
bool RleDecodes(const Bytes& file, uint32_t offset, bool four, uint32_t width, uint32_t height,
                std::string* why) {
  size_t at = offset;
  uint32_t x = 0, y = 0;
  while (at + 2 <= file.size()) {
    const uint32_t count = file[at], value = file[at + 1];
    at += 2;
    if (count > 0) {
      x += count;
    } else if (value == 0) {
      x = 0, ++y;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (at + 2 > file.size()) break;
      x += file[at], y += file[at + 1];
      at += 2;
    } else {
      const size_t bytes = four ? (value + 1) / 2 : value;
      at += (bytes + 1) & ~size_t{1};
      x += value;
    }
    if (y > height || (y < height && x > width)) return Fail(why, "RLE runs outside the bitmap");
  }
  if (y >= height) return true;
  return Fail(why, "RLE data ends early");
}

}  // namespace

bool IsWellFormedBitmapFile(const Bytes& file, std::string* why) {
  if (file.size() < 14 + 12 || file[0] != 'B' || file[1] != 'M') return Fail(why, "no BM header");
  if (Get32(file, 2) != file.size()) return Fail(why, "file size field differs");
  const uint32_t offset = Get32(file, 10);
  if (offset > file.size() || offset < 14 + Get32(file, 14)) return Fail(why, "bits offset out of place");
  const uint32_t hs = Get32(file, 14);
  // The offset must name where the bits start: from there they fill the file
  // exactly (the compressed size where one is given, else rows of 4-byte steps).
  if (hs == 12 || (hs >= 40 && file.size() >= 14 + 40)) {
    const bool core = hs == 12;
    const int64_t width = core ? U16(file, 18) : static_cast<int32_t>(Get32(file, 18));
    const int64_t height = core ? U16(file, 20) : static_cast<int32_t>(Get32(file, 22));
    const uint32_t bitCount = core ? U16(file, 24) : U16(file, 28);
    const uint32_t compression = core ? 0 : Get32(file, 30);
    const int64_t stride = (width * bitCount + 31) / 32 * 4;
    int64_t bits = -1;
    if (compression == 0 || compression == 3) bits = stride * (height < 0 ? -height : height);
    else if ((compression == 1 || compression == 2) && Get32(file, 34) != 0) bits = Get32(file, 34);
    if (bits >= 0 && static_cast<int64_t>(file.size() - offset) != bits)
      return Fail(why, "bits offset " + std::to_string(offset) + " leaves " +
                           std::to_string(file.size() - offset) + " bytes for " +
                           std::to_string(bits));
  }
  if (hs >= 40 && file.size() >= 14 + 40 && (Get32(file, 30) == 1 || Get32(file, 30) == 2)) {
    const int32_t height = static_cast<int32_t>(Get32(file, 22));
    return RleDecodes(file, offset, Get32(file, 30) == 2, Get32(file, 18),
                      static_cast<uint32_t>(height < 0 ? -height : height), why);
  }
  int w, h;
  if (!Decodes(file.data(), file.size(), &w, &h))
    return Fail(why, std::string("does not decode: ") + stbi_failure_reason());
  return true;
}

bool IsWellFormedIconFile(const Bytes& file, uint16_t type, std::string* why) {
  if (file.size() < 6 || U16(file, 0) != 0 || U16(file, 2) != type) return Fail(why, "bad header");
  const uint32_t count = U16(file, 4);
  if (count == 0) return Fail(why, "no images");
  if (file.size() < 6 + 16 * count) return Fail(why, "directory beyond the file");
  if (Get32(file, 6 + 12) != 6 + 16 * count) return Fail(why, "first image not behind the directory");
  for (uint32_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * i;
    const uint32_t size = Get32(file, e + 8), offset = Get32(file, e + 12);
    if (offset > file.size() || size > file.size() - offset) return Fail(why, "image beyond the file");
    const Bytes block(file.begin() + offset, file.begin() + offset + size);
    const uint32_t width = file[e] ? file[e] : 256;
    if (!ImageBlockDecodes(block, type == 1 ? width : 0, why)) {
      *why = "image " + std::to_string(i) + ": " + *why;
      return false;
    }
  }
  return true;
}
