// The DOS header at the start of every Windows executable, old (NE) or new
// (PE): the signature and where the new header lies.
//
//   offset 0   e_magic(2) = "MZ"
//   offset 60  e_lfanew(4): offset of the new header from the image start
//   64 bytes in all
#pragma once

#include <cstdint>

#include "formats/bytes.h"

constexpr uint32_t DosHeaderSize = 64;
constexpr uint16_t MzSignature = 0x5A4D;  // "MZ"

namespace DosHeaderField {
constexpr uint32_t Magic = 0, Lfanew = 60;
}
static_assert(DosHeaderField::Lfanew + 4 == DosHeaderSize);

struct DosHeader {
  uint16_t magic = 0;
  uint32_t lfanew = 0;  // the new header's offset from the image start
};

// "MZ" at the start: every DOS or Windows executable, old or new, starts so.
inline bool HasMzSignature(ByteView image) { return Has(image, 0, 2) && Le16(image, 0) == MzSignature; }

// Reads the DOS header at the start of image; false when its 64 bytes are
// not within image or the signature is not "MZ".
inline bool ReadDosHeader(ByteView image, DosHeader* h) {
  if (!Has(image, 0, DosHeaderSize)) return false;
  h->magic = Le16(image, DosHeaderField::Magic);
  h->lfanew = Le32(image, DosHeaderField::Lfanew);
  return h->magic == MzSignature;
}
