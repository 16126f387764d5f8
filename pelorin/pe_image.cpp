#include "pelorin/pe_image.h"

#include "framework/spi.h"
#include "pelorin/ne_image.h"

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

enum class Level { Type, Name, Language };

struct Walk {
  ResourceVisit visit;
  ResourceVisitor visitor = nullptr;
  void* user = nullptr;
  // Entries the walk may still read. A sound tree holds each directory once,
  // so it never reads more entries than fit in the bytes behind the section
  // start; a tree that points back into itself runs out and ends with 3.
  uint64_t budget = 0;
};

int VisitDataEntry(Walk* w, uint64_t entryOffset) {
  ResourceDataEntry entry;
  if (!ReadResourceDataEntry(w->visit.input, entryOffset, &entry)) return ResultBrokenData;
  w->visit.data = ResourceDataOffset(w->visit.sectionStart, w->visit.sectionAddress,
                                     entry.offsetToData);
  w->visit.size = entry.size;
  int answer = w->visitor(&w->visit, w->user);
  ++w->visit.index;
  return answer;
}

int IterateDirectory(Walk* w, uint64_t directory, Level level) {
  const ByteView in = w->visit.input;
  ResourceDirectory d;
  if (!ReadResourceDirectory(in, directory, &d)) return ResultBrokenData;
  const uint32_t count = ResourceDirectoryEntryCount(d);
  if (count > w->budget) return ResultBrokenData;
  w->budget -= count;
  for (uint32_t i = 0; i < count; ++i) {
    // Within the input: ReadResourceDirectory checked the whole entry array.
    ResourceDirectoryEntry entry;
    ReadResourceDirectoryEntry(in, ResourceDirectoryEntryOffset(directory, i), &entry);
    const uint32_t nameField = entry.name;
    const uint64_t target = w->visit.sectionStart + ResourceEntryTarget(entry);
    const bool isDirectory = IsResourceSubdirectory(entry);
    int answer = 0;
    switch (level) {
      case Level::Type:
        w->visit.type = nameField;
        // A data entry straight below the root has no type to list it under.
        if (isDirectory) answer = IterateDirectory(w, target, Level::Name);
        break;
      case Level::Name:
        w->visit.name = nameField;
        if (isDirectory) {
          answer = IterateDirectory(w, target, Level::Language);
        } else {
          w->visit.language = 0;
          answer = VisitDataEntry(w, target);
        }
        break;
      case Level::Language:
        w->visit.language = nameField;
        // A fourth level is not part of the format; passed over.
        if (!isDirectory) answer = VisitDataEntry(w, target);
        break;
    }
    if (answer != 0) return answer;
  }
  return 0;
}

}  // namespace

uint64_t ResourceDataOffset(uint64_t sectionStart, uint32_t sectionAddress, uint32_t dataAddress) {
  // The distance is taken modulo 2^32 as a signed number, so data that an
  // address places before the section is still found where it lies.
  const int64_t delta = static_cast<int32_t>(dataAddress - sectionAddress);
  if (delta < 0 && static_cast<uint64_t>(-delta) > sectionStart) return NoOffset;
  return sectionStart + delta;
}

bool FindResourceSection(ByteView image, ResourceSection* out) {
  DosHeader dos;
  if (!ReadDosHeader(image, &dos)) return false;
  const uint64_t newHeader = dos.lfanew;
  if (!Has(image, newHeader, PeNewHeaderMinimum)) return false;
  PeFileHeader file;
  if (!ReadPeFileHeader(image, newHeader, &file)) return false;
  // The section table follows the optional header, whose length differs
  // between 32-bit (224) and 64-bit (240) images.
  const uint64_t table =
      newHeader + PeSignatureSize + PeFileHeaderSize + file.sizeOfOptionalHeader;
  for (uint32_t i = 0; i < file.numberOfSections; ++i) {
    SectionHeader section;
    if (!ReadSectionHeader(image, table + uint64_t{SectionHeaderSize} * i, &section)) return false;
    if (IsResourceSectionName(section)) {
      out->address = section.virtualAddress;
      out->rawPointer = section.pointerToRawData;
      return true;
    }
  }
  return false;
}

int TestExecutable(ByteView image) {
  ResourceSection section;
  return FindResourceSection(image, &section) || HasNeResourceTable(image) ? ExecutableSupported
                                                                          : 0;
}

int WalkResources(ByteView input, uint64_t imageStart, ResourceVisitor visitor, void* user) {
  ResourceSection section;
  if (!FindResourceSection(Tail(input, imageStart), &section)) {
    if (HasNeResourceTable(Tail(input, imageStart)))
      return WalkNeResources(input, imageStart, visitor, user);
    return ResultBrokenData;
  }
  Walk w;
  w.visitor = visitor;
  w.user = user;
  w.visit.input = input;
  w.visit.imageStart = imageStart;
  w.visit.sectionAddress = section.address;
  w.visit.sectionStart = imageStart + section.rawPointer;
  if (w.visit.sectionStart > input.size) return ResultBrokenData;
  w.budget = (input.size - w.visit.sectionStart) / ResourceDirectoryEntrySize * 4 + 16;
  return IterateDirectory(&w, w.visit.sectionStart, Level::Type);
}

bool FindImageStart(ByteView input, uint64_t at, uint64_t* imageStart) {
  if (!Has(input, at, DosHeaderSize)) return false;
  for (uint64_t candidate = at;; --candidate) {
    if (TestExecutable(Tail(input, candidate)) == ExecutableSupported) {
      *imageStart = candidate;
      return true;
    }
    if (candidate == 0) return false;
  }
}
