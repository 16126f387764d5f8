// Icon and cursor files built in memory for the tests: each image block gets
// bytes of its own, so a block copied from the wrong place shows at once.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

struct TestImage {
  uint8_t width = 32;
  uint8_t height = 32;
  uint8_t colorCount = 16;
  uint8_t reserved = 0;
  uint16_t planes = 1;     // hotspot x in cursors
  uint16_t bitCount = 4;   // hotspot y in cursors
  uint32_t byteSize = 40;  // bytes of the image block
};

inline void PutLe16At(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
inline void PutLe32At(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int k = 0; k < 4; ++k) v[at + k] = static_cast<uint8_t>(x >> (8 * k));
}
inline uint32_t GetLe32At(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t{v[at + 3]} << 24);
}

// a followed by b. (Built by hand: gcc 12 at -O3 warns falsely about vector::insert.)
inline std::vector<uint8_t> Concat(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  std::vector<uint8_t> out(a.size() + b.size());
  if (!a.empty()) std::memcpy(out.data(), a.data(), a.size());
  if (!b.empty()) std::memcpy(out.data() + a.size(), b.data(), b.size());
  return out;
}

// A well-formed file: header, directory, then the blocks in directory order.
inline std::vector<uint8_t> MakeIconFile(uint16_t type, const std::vector<TestImage>& images) {
  size_t count = images.size();
  size_t total = 6 + 16 * count;
  for (const TestImage& i : images) total += i.byteSize;
  std::vector<uint8_t> f(total, 0);
  PutLe16At(f, 2, type);
  PutLe16At(f, 4, static_cast<uint16_t>(count));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * count);
  for (size_t n = 0; n < count; ++n) {
    const TestImage& i = images[n];
    size_t e = 6 + 16 * n;
    f[e] = i.width;
    f[e + 1] = i.height;
    f[e + 2] = i.colorCount;
    f[e + 3] = i.reserved;
    PutLe16At(f, e + 4, i.planes);
    PutLe16At(f, e + 6, i.bitCount);
    PutLe32At(f, e + 8, i.byteSize);
    PutLe32At(f, e + 12, offset);
    for (uint32_t b = 0; b < i.byteSize; ++b)
      f[offset + b] = static_cast<uint8_t>(0x40 + n * 7 + b);
    offset += i.byteSize;
  }
  return f;
}

inline std::vector<uint8_t> BlockOf(const std::vector<uint8_t>& file, size_t index) {
  size_t e = 6 + 16 * index;
  uint32_t size = GetLe32At(file, e + 8);
  uint32_t offset = GetLe32At(file, e + 12);
  return std::vector<uint8_t>(file.begin() + offset, file.begin() + offset + size);
}

// The one-image file that extracting image index of file must give.
inline std::vector<uint8_t> ExpectedSingle(const std::vector<uint8_t>& file, size_t index) {
  std::vector<uint8_t> out(22, 0);
  out[2] = file[2];
  out[3] = file[3];
  out[4] = 1;
  std::memcpy(out.data() + 6, file.data() + 6 + 16 * index, 16);
  PutLe32At(out, 18, 22);
  return Concat(out, BlockOf(file, index));
}

// A decodable image block: a 40-byte bitmap header (height doubled), a grey
// palette for bit counts up to 8, the colour rows and an empty AND mask.
inline std::vector<uint8_t> MakeDibBlock(int32_t width, int32_t height, uint16_t bitCount) {
  uint32_t palette = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
  uint32_t colourStride = ((width * bitCount + 31) / 32) * 4;
  uint32_t maskStride = ((width + 31) / 32) * 4;
  std::vector<uint8_t> b(40 + 4 * palette + (colourStride + maskStride) * height, 0);
  PutLe32At(b, 0, 40);
  PutLe32At(b, 4, static_cast<uint32_t>(width));
  PutLe32At(b, 8, static_cast<uint32_t>(height * 2));
  PutLe16At(b, 12, 1);
  PutLe16At(b, 14, bitCount);
  for (uint32_t i = 0; i < palette; ++i) {
    uint8_t grey = static_cast<uint8_t>(i * 255 / (palette - 1));
    b[40 + 4 * i] = b[40 + 4 * i + 1] = b[40 + 4 * i + 2] = grey;
  }
  size_t rows = 40 + 4 * palette;
  for (uint32_t i = 0; i < colourStride * height; ++i) b[rows + i] = static_cast<uint8_t>(i * 13);
  return b;
}

// A file whose blocks are given as they are; the entries follow the blocks.
inline std::vector<uint8_t> MakeIconFileOf(uint16_t type,
                                           const std::vector<std::vector<uint8_t>>& blocks,
                                           const std::vector<TestImage>& entries) {
  std::vector<TestImage> sized = entries;
  for (size_t i = 0; i < sized.size(); ++i) sized[i].byteSize = static_cast<uint32_t>(blocks[i].size());
  std::vector<uint8_t> f = MakeIconFile(type, sized);
  for (size_t i = 0; i < blocks.size(); ++i) {
    uint32_t at = GetLe32At(f, 6 + 16 * i + 12);
    std::memcpy(f.data() + at, blocks[i].data(), blocks[i].size());
  }
  return f;
}
