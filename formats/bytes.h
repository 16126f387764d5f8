// Bounded views of untrusted input, the bottom of the formats layer. Every
// parser reads through these: a read asks first whether its bytes lie within
// the input, and offsets are checked by subtraction so that a huge value from a
// file can never wrap around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct ByteView {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// The "data pointer" handed to a deliverable's callbacks: the whole input that
// may be read (file mapping, or the readable extent of a host's memory block),
// and the offset within it at which the deliverable's data starts. Backward
// searches may step down to offset 0 and never further.
struct DataRef {
  ByteView input;
  uint64_t at = 0;
};

// True when n bytes at offset off lie within v.
inline bool Has(ByteView v, uint64_t off, uint64_t n) {
  return off <= v.size && n <= v.size - off;
}

// The bytes from off to the end of v (empty when off is outside).
inline ByteView Tail(ByteView v, uint64_t off) {
  if (off > v.size) return ByteView{v.data + v.size, 0};
  return ByteView{v.data + off, static_cast<size_t>(v.size - off)};
}

// n bytes at off, or an empty view when they do not all lie within v.
inline ByteView Slice(ByteView v, uint64_t off, uint64_t n) {
  if (!Has(v, off, n)) return ByteView{};
  return ByteView{v.data + off, static_cast<size_t>(n)};
}

// The input from the data pointer on.
inline ByteView FromHere(const DataRef& d) { return Tail(d.input, d.at); }

// Little-endian readers; callers check Has() first. Byte copies, never overlays,
// because file data is not aligned.
inline uint8_t Le8(ByteView v, uint64_t off) { return v.data[off]; }
inline uint16_t Le16(ByteView v, uint64_t off) {
  return static_cast<uint16_t>(v.data[off] | (v.data[off + 1] << 8));
}
inline uint32_t Le32(ByteView v, uint64_t off) {
  return static_cast<uint32_t>(v.data[off]) | (static_cast<uint32_t>(v.data[off + 1]) << 8) |
         (static_cast<uint32_t>(v.data[off + 2]) << 16) |
         (static_cast<uint32_t>(v.data[off + 3]) << 24);
}

// Checked forms: false when the bytes are not within v.
inline bool ReadLe16(ByteView v, uint64_t off, uint16_t* out) {
  if (!Has(v, off, 2)) return false;
  *out = Le16(v, off);
  return true;
}
inline bool ReadLe32(ByteView v, uint64_t off, uint32_t* out) {
  if (!Has(v, off, 4)) return false;
  *out = Le32(v, off);
  return true;
}

inline void PutLe16(uint8_t* p, uint16_t x) {
  p[0] = static_cast<uint8_t>(x);
  p[1] = static_cast<uint8_t>(x >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t x) {
  p[0] = static_cast<uint8_t>(x);
  p[1] = static_cast<uint8_t>(x >> 8);
  p[2] = static_cast<uint8_t>(x >> 16);
  p[3] = static_cast<uint8_t>(x >> 24);
}
