// The NE ("new executable") layout of 16-bit Windows programs, libraries,
// icon libraries (.ICL) and bitmap fonts (.FON), as far as their resources go.
//
//   file start      "MZ" ...  e_lfanew (32 bits at 60): where the NE header lies
//   NE header       "NE" ... ne_rsrctab (16 bits at 36), ne_restab (16 at 38),
//   (64 bytes)      both counted from the NE header; the resource table runs
//                   from ne_rsrctab up to the resident-name table at ne_restab
//   resource table  rscAlignShift (16)
//                   TYPEINFO, 8 bytes:  rtTypeID (16) rtResourceCount (16) rtReserved (32)
//                     NAMEINFO x rtResourceCount, 12 bytes each:
//                       rnOffset (16) rnLength (16) rnFlags (16) rnID (16)
//                       rnHandle (16) rnUsage (16)
//                   ... more TYPEINFO; an rtTypeID of 0 ends them
//                   rscResourceNames: length byte + that many bytes of text in
//                   the code page, ...; a length byte of 0 ends them
//
//   rtTypeID, rnID  bit 15 set: an integer, the low 15 bits. Bit 15 clear: the
//                   offset, from the start of the resource table, of a name in
//                   rscResourceNames. (The reverse of PE's top-bit convention.)
//   rnOffset        where the resource lies in the file, and rnLength how long it
//                   is, both in units of (1 << rscAlignShift) bytes; lengths are
//                   therefore rounded up to whole units.
//
// The records are drawn with the format's field names and checked for size;
// readers copy their fields out with little-endian reads over bounded views,
// never by laying a record over file data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/bytes.h"
#include "formats/mz.h"

namespace ne {

constexpr uint16_t NeSignature = 0x454E;  // "NE"

// The NE header, IMAGE_OS2_HEADER.
struct ImageOs2Header {
  uint16_t ne_magic;
  uint8_t ne_ver;
  uint8_t ne_rev;
  uint16_t ne_enttab;
  uint16_t ne_cbenttab;
  uint32_t ne_crc;
  uint16_t ne_flags;
  uint16_t ne_autodata;
  uint16_t ne_heap;
  uint16_t ne_stack;
  uint32_t ne_csip;
  uint32_t ne_sssp;
  uint16_t ne_cseg;
  uint16_t ne_cmod;
  uint16_t ne_cbnrestab;
  uint16_t ne_segtab;
  uint16_t ne_rsrctab;
  uint16_t ne_restab;
  uint16_t ne_modtab;
  uint16_t ne_imptab;
  uint32_t ne_nrestab;
  uint16_t ne_cmovent;
  uint16_t ne_align;
  uint16_t ne_cres;
  uint8_t ne_exetyp;
  uint8_t ne_flagsothers;
  uint16_t ne_pretthunks;
  uint16_t ne_psegrefbytes;
  uint16_t ne_swaparea;
  uint16_t ne_expver;
};
static_assert(sizeof(ImageOs2Header) == 64);
static_assert(offsetof(ImageOs2Header, ne_rsrctab) == 36);
static_assert(offsetof(ImageOs2Header, ne_restab) == 38);

struct TypeInfo {
  uint16_t rtTypeID;
  uint16_t rtResourceCount;
  uint32_t rtReserved;
};
static_assert(sizeof(TypeInfo) == 8);

struct NameInfo {
  uint16_t rnOffset;
  uint16_t rnLength;
  uint16_t rnFlags;
  uint16_t rnID;
  uint16_t rnHandle;
  uint16_t rnUsage;
};
static_assert(sizeof(NameInfo) == 12);

constexpr uint32_t AlignShiftSize = 2;          // rscAlignShift
constexpr uint16_t IntegerId = 0x8000;          // bit 15 of rtTypeID and rnID
// Shifts above this would let a 16-bit unit count leave 32 bits; real files use 4 to 9.
constexpr uint16_t MaxAlignShift = 16;

// Where the resource table of the image lies, from the image start, and how
// many bytes it has; size 0 when the header names none.
struct ResourceTableSpan {
  uint64_t start = 0;
  uint64_t size = 0;
};

// The resource table of the NE image at the start of image. False when the
// image is not NE (no "MZ", no "NE" at e_lfanew, header beyond the input) or
// the header's offsets run backwards; a table of size 0 means no resources.
inline bool ReadResourceTableSpan(ByteView image, ResourceTableSpan* out) {
  DosHeader dos;
  if (!ReadDosHeader(image, &dos)) return false;
  const uint64_t header = dos.lfanew;
  if (!Has(image, header, sizeof(ImageOs2Header)) || Le16(image, header) != NeSignature)
    return false;
  const uint16_t rsrctab = Le16(image, header + offsetof(ImageOs2Header, ne_rsrctab));
  const uint16_t restab = Le16(image, header + offsetof(ImageOs2Header, ne_restab));
  if (restab < rsrctab) return false;
  out->start = header + rsrctab;
  out->size = restab - rsrctab;
  return true;
}

// The TYPEINFO at off of the table view; false when it does not lie within it.
inline bool ReadTypeInfo(ByteView table, uint64_t off, TypeInfo* out) {
  if (!Has(table, off, sizeof(TypeInfo))) return false;
  out->rtTypeID = Le16(table, off);
  out->rtResourceCount = Le16(table, off + 2);
  out->rtReserved = Le32(table, off + 4);
  return true;
}

// The NAMEINFO at off of the table view; false when it does not lie within it.
inline bool ReadNameInfo(ByteView table, uint64_t off, NameInfo* out) {
  if (!Has(table, off, sizeof(NameInfo))) return false;
  out->rnOffset = Le16(table, off);
  out->rnLength = Le16(table, off + 2);
  out->rnFlags = Le16(table, off + 4);
  out->rnID = Le16(table, off + 6);
  out->rnHandle = Le16(table, off + 8);
  out->rnUsage = Le16(table, off + 10);
  return true;
}

// units << shift, the shift already bounded by MaxAlignShift; never wraps.
inline uint64_t UnitsToBytes(uint16_t units, uint16_t shift) {
  return uint64_t{units} << shift;
}

}  // namespace ne
