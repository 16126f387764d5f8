// Turns the two blocks of a picture into RGBA rows, top row first, the form in
// which the reference decoder's pixels are stored (see make_samples.py).
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/bitmap.h"

namespace dibrgb {

inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Empty when the blocks are not a bottom-up 1/4/8/16/24/32-bit bitmap. Below
// 32 bits the alpha is 255.
inline std::vector<uint8_t> ToRgba(const std::vector<uint8_t>& info,
                                   const std::vector<uint8_t>& bits) {
  const ByteView v{info.data(), info.size()};
  BitmapInfoHeader header;
  if (!Has(v, 0, BitmapInfoHeaderSize) || !ReadBitmapInfoHeader(v, &header)) return {};
  int w = header.width, h = header.height;
  int bc = header.bitCount;
  int stride = ((w * bc + 7) / 8 + 3) & ~3;
  if (w <= 0 || h <= 0 || bits.size() < static_cast<size_t>(stride) * h) return {};
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(w) * h * 4);
  for (int y = h - 1; y >= 0; --y) {
    const uint8_t* row = bits.data() + static_cast<size_t>(y) * stride;
    for (int x = 0; x < w; ++x) {
      uint8_t r = 0, g = 0, b = 0, a = 255;
      if (bc <= 8) {
        int bitPos = x * bc;
        int index = (row[bitPos / 8] >> (8 - bc - bitPos % 8)) & ((1 << bc) - 1);
        size_t at = 40 + 4 * static_cast<size_t>(index);
        if (at + 3 > info.size()) return {};
        b = info[at];
        g = info[at + 1];
        r = info[at + 2];
      } else if (bc == 16) {
        int v = row[2 * x] | row[2 * x + 1] << 8;
        r = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
        g = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
        b = static_cast<uint8_t>((v & 31) * 255 / 31);
      } else if (bc == 24 || bc == 32) {
        const uint8_t* p = row + static_cast<size_t>(x) * (bc / 8);
        b = p[0];
        g = p[1];
        r = p[2];
        if (bc == 32) a = p[3];
      } else {
        return {};
      }
      out.insert(out.end(), {r, g, b, a});
    }
  }
  return out;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The reference rows of FILE.rgba (without its width and height), with the
// alpha set to 255 below 32 bits, where GetPicture's picture carries none
// (withAlpha: as stored, the mask's alpha included).
inline std::vector<uint8_t> ExpectedRgba(const std::string& file, int bits, int* width,
                                         int* height, bool withAlpha = false) {
  std::vector<uint8_t> e = ReadFile(file + ".rgba");
  if (e.size() < 8) return {};
  *width = static_cast<int>(Get32(e, 0));
  *height = static_cast<int>(Get32(e, 4));
  std::vector<uint8_t> rows(e.begin() + 8, e.end());
  if (bits < 32 && !withAlpha)
    for (size_t i = 3; i < rows.size(); i += 4) rows[i] = 255;
  return rows;
}

// "" when a equals b, else where and how they first differ.
inline std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size())
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i])
      return "pixel " + std::to_string(i / 4) + " channel " + std::to_string(i % 4) + ": " +
             std::to_string(a[i]) + " and " + std::to_string(b[i]);
  return "";
}

}  // namespace dibrgb
