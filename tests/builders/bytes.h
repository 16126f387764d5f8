// Little-endian byte helpers that every test builder and test shares.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace build {

using Bytes = std::vector<uint8_t>;

// Writes at `at`, growing the bytes when the field lies past their end.
inline void Put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutBe32(Bytes& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline uint16_t Get16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
inline uint32_t Get32(const Bytes& b, size_t at) {
  return Get16(b, at) | uint32_t{Get16(b, at + 2)} << 16;
}

inline void Add16(Bytes& b, uint16_t v) { Put16(b, b.size(), v); }
inline void Add32(Bytes& b, uint32_t v) { Put32(b, b.size(), v); }
inline void AddBe32(Bytes& b, uint32_t v) { PutBe32(b, b.size(), v); }
// Grown by resize and copy: gcc 12's overflow warning misreads range inserts
// into these small vectors when inlined at -O3.
inline void AddRaw(Bytes& b, const void* p, size_t n) {
  size_t at = b.size();
  b.resize(at + n);
  if (n) std::memcpy(b.data() + at, p, n);
}
inline void AddText(Bytes& b, const char* s) { AddRaw(b, s, std::strlen(s)); }
inline void AddBytes(Bytes& b, const Bytes& more) { AddRaw(b, more.data(), more.size()); }
inline Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  AddBytes(out, b);
  return out;
}

}  // namespace build
