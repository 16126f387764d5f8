// Turns the two blocks of a picture into RGB rows, top row first, the form in
// which the reference decoder's pixels are stored.
#pragma once

#include <cstdint>
#include <vector>

namespace dibrgb {

inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Empty when the blocks are not a bottom-up 1/4/8/16/24-bit bitmap.
inline std::vector<uint8_t> ToRgb(const std::vector<uint8_t>& info,
                                  const std::vector<uint8_t>& bits) {
  if (info.size() < 40) return {};
  int w = static_cast<int>(Get32(info, 4)), h = static_cast<int>(Get32(info, 8));
  int bc = info[14] | info[15] << 8;
  int stride = ((w * bc + 7) / 8 + 3) & ~3;
  if (w <= 0 || h <= 0 || bits.size() < static_cast<size_t>(stride) * h) return {};
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(w) * h * 3);
  for (int y = h - 1; y >= 0; --y) {
    const uint8_t* row = bits.data() + static_cast<size_t>(y) * stride;
    for (int x = 0; x < w; ++x) {
      uint8_t r = 0, g = 0, b = 0;
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
      } else {
        return {};
      }
      out.push_back(r);
      out.push_back(g);
      out.push_back(b);
    }
  }
  return out;
}

}  // namespace dibrgb
