// Executables read as they lie on disk, and the walk of their resource tree.
//
//   image start   "MZ" ... new header offset (32 bits at 60)
//   new header    "PE\0\0" | file header: sections(16 at 6), optional size(16 at 20)
//                 | optional header | section table, 40 bytes a section:
//                   name(8) ... virtual address(32 at 12) ... raw data(32 at 20)
//   section start root directory: 16 bytes, named(16 at 12) + id(16 at 14) entries
//                 entries of 8 bytes: name field, offset field (top bit: directory)
//                 three levels: type, name, language; data entries of 16 bytes:
//                 data address(32), size(32), code page, reserved
#pragma once

#include <cstdint>

#include "framework/bytes.h"

constexpr uint32_t DosHeaderSize = 64;
constexpr uint32_t NewHeaderOffsetField = 60;
constexpr uint32_t PeSignature = 0x00004550;
constexpr uint32_t MzSignature = 0x5A4D;
// Bytes of the new header that must be present: signature, file header and
// the optional header of a 32-bit image.
constexpr uint32_t NewHeaderMinimum = 248;
constexpr uint32_t FileHeaderEnd = 24;  // signature and file header
constexpr uint32_t SectionHeaderSize = 40;
constexpr uint32_t ResourceDirectorySize = 16;
constexpr uint32_t ResourceEntrySize = 8;
constexpr uint32_t ResourceDataEntrySize = 16;
constexpr uint32_t HighBit = 0x80000000u;

// Where the resource section lies: its file position (from the image start)
// and the virtual address its internal addresses are counted from.
struct ResourceSection {
  uint32_t rawPointer = 0;
  uint32_t address = 0;
};

// Which executable format a visit comes from: it decides how names are stored.
enum ImageKind : uint8_t { ImagePe, ImageNe };

// One resource data entry as the walk meets it. Offsets count from the start
// of input; data may lie outside it (the walk does not check data).
// In NE images, sectionStart is the resource table's start and type and name
// are given in PE's convention (top bit: a name at sectionStart + the low bits).
struct ResourceVisit {
  uint32_t sectionAddress = 0;
  uint64_t sectionStart = 0;
  int32_t index = 0;
  uint32_t type = 0;
  uint32_t name = 0;
  uint32_t language = 0;
  uint64_t data = 0;
  uint32_t size = 0;
  ByteView input;  // what the offsets above refer to
  ImageKind kind = ImagePe;
  uint64_t imageStart = 0;
  uint64_t tableSize = 0;  // NE: the resource table's bytes, which hold its names
};

// 0 to go on, anything else ends the walk with that answer.
using ResourceVisitor = int (*)(const ResourceVisit* visit, void* user);

// Finds the first section named ".rsrc" (any case) of the PE executable at image.
bool FindResourceSection(ByteView image, ResourceSection* out);
// 2 when image is a PE executable with a resource section or an NE one with
// a resource table, else 0.
int TestExecutable(ByteView image);
// Visits every data entry of the tree of the image at imageStart in walk order.
// 0 when all were visited, the first non-zero visitor answer, or
// ResultBrokenData when there is no resource section or the tree is broken.
int WalkResources(ByteView input, uint64_t imageStart, ResourceVisitor visitor, void* user);
// The nearest image start at or before at (never before offset 0).
bool FindImageStart(ByteView input, uint64_t at, uint64_t* imageStart);

// Offset in the input of the data a data entry's address names, or
// NoOffset when it would lie before the input. NoOffset lies beyond every
// input and stays there when small offsets are added to it.
constexpr uint64_t NoOffset = uint64_t{1} << 62;
uint64_t ResourceDataOffset(uint64_t sectionStart, uint32_t sectionAddress, uint32_t dataAddress);
