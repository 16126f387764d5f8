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
