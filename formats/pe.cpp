#include "formats/pe.h"

#include <cstring>

bool ReadPeFileHeader(ByteView image, uint64_t off, PeFileHeader* h) {
  if (!Has(image, off, PeSignatureSize + PeFileHeaderSize)) return false;
  if (Le32(image, off) != PeSignature) return false;
  const uint64_t f = off + PeSignatureSize;
  h->machine = Le16(image, f + PeFileHeaderField::Machine);
  h->numberOfSections = Le16(image, f + PeFileHeaderField::NumberOfSections);
  h->timeDateStamp = Le32(image, f + PeFileHeaderField::TimeDateStamp);
  h->pointerToSymbolTable = Le32(image, f + PeFileHeaderField::PointerToSymbolTable);
  h->numberOfSymbols = Le32(image, f + PeFileHeaderField::NumberOfSymbols);
  h->sizeOfOptionalHeader = Le16(image, f + PeFileHeaderField::SizeOfOptionalHeader);
  h->characteristics = Le16(image, f + PeFileHeaderField::Characteristics);
  return true;
}

bool ReadSectionHeader(ByteView image, uint64_t off, SectionHeader* h) {
  if (!Has(image, off, SectionHeaderSize)) return false;
  std::memcpy(h->name, image.data + off + SectionHeaderField::Name, SectionNameSize);
  h->virtualSize = Le32(image, off + SectionHeaderField::VirtualSize);
  h->virtualAddress = Le32(image, off + SectionHeaderField::VirtualAddress);
  h->sizeOfRawData = Le32(image, off + SectionHeaderField::SizeOfRawData);
  h->pointerToRawData = Le32(image, off + SectionHeaderField::PointerToRawData);
  return true;
}

bool ReadResourceDirectory(ByteView v, uint64_t off, ResourceDirectory* d) {
  if (!Has(v, off, ResourceDirectorySize)) return false;
  d->characteristics = Le32(v, off + ResourceDirectoryField::Characteristics);
  d->timeDateStamp = Le32(v, off + ResourceDirectoryField::TimeDateStamp);
  d->majorVersion = Le16(v, off + ResourceDirectoryField::MajorVersion);
  d->minorVersion = Le16(v, off + ResourceDirectoryField::MinorVersion);
  d->numberOfNamedEntries = Le16(v, off + ResourceDirectoryField::NumberOfNamedEntries);
  d->numberOfIdEntries = Le16(v, off + ResourceDirectoryField::NumberOfIdEntries);
  const uint64_t entries = uint64_t{ResourceDirectoryEntryCount(*d)} * ResourceDirectoryEntrySize;
  return Has(v, off + ResourceDirectorySize, entries);
}

bool ReadResourceDirectoryEntry(ByteView v, uint64_t off, ResourceDirectoryEntry* e) {
  if (!Has(v, off, ResourceDirectoryEntrySize)) return false;
  e->name = Le32(v, off + ResourceDirectoryEntryField::Name);
  e->offsetToData = Le32(v, off + ResourceDirectoryEntryField::OffsetToData);
  return true;
}

bool ReadResourceDataEntry(ByteView v, uint64_t off, ResourceDataEntry* e) {
  if (!Has(v, off, ResourceDataEntrySize)) return false;
  e->offsetToData = Le32(v, off + ResourceDataEntryField::OffsetToData);
  e->size = Le32(v, off + ResourceDataEntryField::Size);
  e->codePage = Le32(v, off + ResourceDataEntryField::CodePage);
  e->reserved = Le32(v, off + ResourceDataEntryField::Reserved);
  return true;
}

bool ReadResourceNameString(ByteView v, uint64_t off, ByteView* units) {
  uint16_t length;
  if (!ReadLe16(v, off + ResourceNameStringField::Length, &length)) return false;
  *units = Slice(v, off + ResourceNameStringField::NameString, uint64_t{length} * 2);
  return units->size == uint64_t{length} * 2;
}

bool ReadSectionTable(ByteView image, uint64_t* newHeader, PeFileHeader* file, SectionTable* table) {
  DosHeader dos;
  if (!ReadDosHeader(image, &dos)) return false;
  *newHeader = dos.lfanew;
  if (!Has(image, *newHeader, PeNewHeaderMinimum)) return false;
  if (!ReadPeFileHeader(image, *newHeader, file)) return false;
  // The table follows the optional header, whose length differs between
  // 32-bit (224) and 64-bit (240) images.
  table->offset = *newHeader + PeSignatureSize + PeFileHeaderSize + file->sizeOfOptionalHeader;
  table->count = file->numberOfSections;
  return true;
}

bool SectionHoldsAddress(const SectionHeader& s, uint32_t rva, uint64_t* offset) {
  if (rva < s.virtualAddress || rva - s.virtualAddress >= s.sizeOfRawData) return false;
  *offset = uint64_t{s.pointerToRawData} + (rva - s.virtualAddress);
  return true;
}

bool MapSectionAddress(ByteView image, const SectionTable& table, uint32_t rva, uint64_t* offset,
                       SectionHeader* holder, uint64_t* budget) {
  for (uint32_t i = 0; i < table.count; ++i) {
    if (budget) {
      if (*budget == 0) return false;
      --*budget;
    }
    SectionHeader s;
    if (!ReadSectionHeader(image, table.offset + uint64_t{SectionHeaderSize} * i, &s)) return false;
    if (SectionHoldsAddress(s, rva, offset)) {
      if (holder) *holder = s;
      return true;
    }
  }
  return false;
}

namespace {

// ".rsrc" in any mix of ASCII cases, then a zero byte.
bool IsResourceSectionName(const SectionHeader& section) {
  static const char kName[] = ".rsrc";
  for (int i = 0; i < 5; ++i) {
    uint8_t c = section.name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
    if (c != static_cast<uint8_t>(kName[i])) return false;
  }
  return section.name[5] == 0;
}

// Slot 2 of the data directory: the resource tree's address, 0 when absent.
uint32_t ResourceDirectoryAddress(ByteView image, uint64_t newHeader, const PeFileHeader& file) {
  const uint64_t optional = newHeader + PeSignatureSize + PeFileHeaderSize;
  uint16_t magic;
  if (!ReadLe16(image, optional + PeOptionalHeaderField::Magic, &magic)) return 0;
  uint32_t countAt, directory;
  if (magic == PeOptionalMagic32) {
    countAt = PeOptionalHeaderField::NumberOfRvaAndSizes32;
    directory = PeOptionalHeaderField::DataDirectory32;
  } else if (magic == PeOptionalMagic64) {
    countAt = PeOptionalHeaderField::NumberOfRvaAndSizes64;
    directory = PeOptionalHeaderField::DataDirectory64;
  } else {
    return 0;
  }
  const uint32_t slot = directory + ResourceDataDirectorySlot * DataDirectorySlotSize;
  uint32_t slots, rva;
  if (slot + DataDirectorySlotSize > file.sizeOfOptionalHeader) return 0;
  if (!ReadLe32(image, optional + countAt, &slots) || slots <= ResourceDataDirectorySlot) return 0;
  if (!ReadLe32(image, optional + slot, &rva)) return 0;
  return rva;
}

}  // namespace

bool FindResourceRoot(ByteView image, ResourceRoot* out) {
  uint64_t newHeader;
  PeFileHeader file;
  if (!ReadSectionTable(image, &newHeader, &file, &out->sections)) return false;
  for (uint32_t i = 0; i < file.numberOfSections; ++i) {
    SectionHeader section;
    if (!ReadSectionHeader(image, out->sections.offset + uint64_t{SectionHeaderSize} * i, &section))
      return false;
    if (IsResourceSectionName(section)) {
      out->rootAddress = section.virtualAddress;
      out->rootOffset = section.pointerToRawData;
      out->home = section;
      return true;
    }
  }
  const uint32_t rva = ResourceDirectoryAddress(image, newHeader, file);
  if (rva == 0) return false;
  out->rootAddress = rva;
  return MapSectionAddress(image, out->sections, rva, &out->rootOffset, &out->home);
}
