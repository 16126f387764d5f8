// The 32-bit Windows executable (PE) as it lies on disk: the headers that
// find its sections, and the resource directory tree of its .rsrc section.
//
//   image start   DOS header (formats/mz.h); e_lfanew -> new header
//   new header    Signature(4) = "PE\0\0"
//                 IMAGE_FILE_HEADER, 20 bytes: Machine(2) NumberOfSections(2)
//                   TimeDateStamp(4) PointerToSymbolTable(4) NumberOfSymbols(4)
//                   SizeOfOptionalHeader(2) Characteristics(2)
//                 optional header, SizeOfOptionalHeader bytes (224 in 32-bit images)
//                 IMAGE_SECTION_HEADER[NumberOfSections], 40 bytes each:
//                   Name(8) VirtualSize(4) VirtualAddress(4) SizeOfRawData(4)
//                   PointerToRawData(4) PointerToRelocations(4)
//                   PointerToLinenumbers(4) NumberOfRelocations(2)
//                   NumberOfLinenumbers(2) Characteristics(4)
//
//   resource section, offsets from its start:
//   IMAGE_RESOURCE_DIRECTORY, 16 bytes: Characteristics(4) TimeDateStamp(4)
//     MajorVersion(2) MinorVersion(2) NumberOfNamedEntries(2) NumberOfIdEntries(2)
//     then (named + id) IMAGE_RESOURCE_DIRECTORY_ENTRY, 8 bytes each, named first:
//       Name(4): top bit set -> offset of a name string, else an id
//       OffsetToData(4): top bit set -> offset of a subdirectory, else of a data entry
//   IMAGE_RESOURCE_DATA_ENTRY, 16 bytes: OffsetToData(4, a virtual address)
//     Size(4) CodePage(4) Reserved(4)
//   name string: Length(2) in UTF-16 units, then the units, no terminator
//   three levels below the root: type, name, language
//
//   optional header: Magic(2) = 0x10B (32-bit) or 0x20B (64-bit); its data
//   directory of NumberOfRvaAndSizes slots (8 bytes each: VirtualAddress(4)
//   Size(4)) starts at 96 (32-bit) or 112 (64-bit); slot 2 is the resources.
//   An address (RVA) lies in the file where the section whose raw data holds
//   it put that data: PointerToRawData + (RVA - VirtualAddress).
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "formats/mz.h"

constexpr uint32_t PeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t PeSignatureSize = 4;
constexpr uint32_t PeFileHeaderSize = 20;
constexpr uint32_t PeOptionalHeader32Size = 224;
// Bytes of the new header that a 32-bit image holds before its section table.
constexpr uint32_t PeNewHeaderMinimum = PeSignatureSize + PeFileHeaderSize + PeOptionalHeader32Size;
static_assert(PeNewHeaderMinimum == 248);
constexpr uint32_t SectionHeaderSize = 40;
constexpr uint32_t SectionNameSize = 8;
constexpr uint32_t ResourceDirectorySize = 16;
constexpr uint32_t ResourceDirectoryEntrySize = 8;
constexpr uint32_t ResourceDataEntrySize = 16;
// The top bit of a directory entry's two fields.
constexpr uint32_t ResourceHighBit = 0x80000000u;

// Offsets from the first byte of the file header (behind the signature).
namespace PeFileHeaderField {
constexpr uint32_t Machine = 0, NumberOfSections = 2, TimeDateStamp = 4, PointerToSymbolTable = 8,
                   NumberOfSymbols = 12, SizeOfOptionalHeader = 16, Characteristics = 18;
}
static_assert(PeFileHeaderField::Characteristics + 2 == PeFileHeaderSize);

namespace SectionHeaderField {
constexpr uint32_t Name = 0, VirtualSize = 8, VirtualAddress = 12, SizeOfRawData = 16,
                   PointerToRawData = 20, PointerToRelocations = 24, PointerToLinenumbers = 28,
                   NumberOfRelocations = 32, NumberOfLinenumbers = 34, Characteristics = 36;
}
static_assert(SectionHeaderField::Characteristics + 4 == SectionHeaderSize);
static_assert(SectionHeaderField::Name + SectionNameSize == SectionHeaderField::VirtualSize);

namespace PeOptionalHeaderField {
constexpr uint32_t Magic = 0, NumberOfRvaAndSizes32 = 92, DataDirectory32 = 96,
                   NumberOfRvaAndSizes64 = 108, DataDirectory64 = 112;
}
constexpr uint16_t PeOptionalMagic32 = 0x10B, PeOptionalMagic64 = 0x20B;
constexpr uint32_t DataDirectorySlotSize = 8;
constexpr uint32_t ResourceDataDirectorySlot = 2;

namespace ResourceDirectoryField {
constexpr uint32_t Characteristics = 0, TimeDateStamp = 4, MajorVersion = 8, MinorVersion = 10,
                   NumberOfNamedEntries = 12, NumberOfIdEntries = 14;
}
static_assert(ResourceDirectoryField::NumberOfIdEntries + 2 == ResourceDirectorySize);

namespace ResourceDirectoryEntryField {
constexpr uint32_t Name = 0, OffsetToData = 4;
}
static_assert(ResourceDirectoryEntryField::OffsetToData + 4 == ResourceDirectoryEntrySize);

namespace ResourceDataEntryField {
constexpr uint32_t OffsetToData = 0, Size = 4, CodePage = 8, Reserved = 12;
}
static_assert(ResourceDataEntryField::Reserved + 4 == ResourceDataEntrySize);

namespace ResourceNameStringField {
constexpr uint32_t Length = 0, NameString = 2;
}

// The file header that follows the signature.
struct PeFileHeader {
  uint16_t machine = 0;
  uint16_t numberOfSections = 0;
  uint32_t timeDateStamp = 0;
  uint32_t pointerToSymbolTable = 0;
  uint32_t numberOfSymbols = 0;
  uint16_t sizeOfOptionalHeader = 0;
  uint16_t characteristics = 0;
};

struct SectionHeader {
  uint8_t name[SectionNameSize] = {};
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t sizeOfRawData = 0;
  uint32_t pointerToRawData = 0;
};

struct ResourceDirectory {
  uint32_t characteristics = 0;
  uint32_t timeDateStamp = 0;
  uint16_t majorVersion = 0;
  uint16_t minorVersion = 0;
  uint16_t numberOfNamedEntries = 0;
  uint16_t numberOfIdEntries = 0;
};

struct ResourceDirectoryEntry {
  uint32_t name = 0;          // as stored: an id, or the top bit and a name string's offset
  uint32_t offsetToData = 0;  // as stored: the top bit marks a subdirectory
};

struct ResourceDataEntry {
  uint32_t offsetToData = 0;  // a virtual address
  uint32_t size = 0;
  uint32_t codePage = 0;
  uint32_t reserved = 0;
};

// Reads the signature and file header of the new header at off; false when
// they are not within image or the signature is not "PE\0\0".
bool ReadPeFileHeader(ByteView image, uint64_t off, PeFileHeader* h);
// Reads the section header at off; false when its 40 bytes are not within image.
bool ReadSectionHeader(ByteView image, uint64_t off, SectionHeader* h);

// The section table of a PE image: where it lies and how many headers it holds.
struct SectionTable {
  uint64_t offset = 0;  // from the image start
  uint16_t count = 0;
};

// Where the resource tree of a PE image lies: the root directory's file
// position and address, and the section table that maps its data addresses.
struct ResourceRoot {
  uint64_t rootOffset = 0;  // from the image start
  uint32_t rootAddress = 0;
  SectionTable sections;
  SectionHeader home;  // the section that holds the root, which holds most data too
};

// Reads the DOS and PE headers of image and locates its section table; false
// when the 248 bytes of a 32-bit header are not within image or a signature is wrong.
bool ReadSectionTable(ByteView image, uint64_t* newHeader, PeFileHeader* file, SectionTable* table);
// True when the raw data of section holds the address rva, with its file position.
bool SectionHoldsAddress(const SectionHeader& section, uint32_t rva, uint64_t* offset);
// The file position (from the image start) of the address rva: the first
// section of the table whose raw data holds it; false when none does. With a
// budget, each header read spends one unit, and none left finds nothing: a
// table of 65535 sections read for every data entry would take minutes.
bool MapSectionAddress(ByteView image, const SectionTable& table, uint32_t rva, uint64_t* offset,
                       SectionHeader* holder = nullptr, uint64_t* budget = nullptr);
// Finds the resource tree: the first section named ".rsrc" (any case, then a
// zero byte); where there is none, as Windows does, through slot 2 of the
// optional header's data directory, whose address a section's raw data must
// hold. Some packers and linkers rename the section. False when neither finds it.
bool FindResourceRoot(ByteView image, ResourceRoot* out);

// Reads the directory at off and checks that its entry array lies within v
// too; false otherwise.
bool ReadResourceDirectory(ByteView v, uint64_t off, ResourceDirectory* d);
// Named and id entries together.
inline uint32_t ResourceDirectoryEntryCount(const ResourceDirectory& d) {
  return uint32_t{d.numberOfNamedEntries} + d.numberOfIdEntries;
}
// Offset of entry i of the directory at directory.
constexpr uint64_t ResourceDirectoryEntryOffset(uint64_t directory, uint32_t i) {
  return directory + ResourceDirectorySize + uint64_t{i} * ResourceDirectoryEntrySize;
}
// Reads the entry at off; false when its 8 bytes are not within v.
bool ReadResourceDirectoryEntry(ByteView v, uint64_t off, ResourceDirectoryEntry* e);
// Reads the data entry at off; false when its 16 bytes are not within v.
bool ReadResourceDataEntry(ByteView v, uint64_t off, ResourceDataEntry* e);
// The UTF-16 units of the name string at off (2 bytes each); false when the
// string is not within v.
bool ReadResourceNameString(ByteView v, uint64_t off, ByteView* units);

inline bool IsResourceSubdirectory(const ResourceDirectoryEntry& e) {
  return (e.offsetToData & ResourceHighBit) != 0;
}
// The offset from the section start that the entry's OffsetToData names.
inline uint32_t ResourceEntryTarget(const ResourceDirectoryEntry& e) {
  return e.offsetToData & ~ResourceHighBit;
}
