#include "pelorin/pe_image.h"

#include "framework/spi.h"
#include "pelorin/ne_image.h"

namespace {

// ".rsrc" in any mix of ASCII cases, then a zero byte.
bool IsResourceSectionName(ByteView v, uint64_t off) {
  static const char kName[] = ".rsrc";
  for (int i = 0; i < 5; ++i) {
    uint8_t c = Le8(v, off + i);
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
    if (c != static_cast<uint8_t>(kName[i])) return false;
  }
  return Le8(v, off + 5) == 0;
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
  const ByteView in = w->visit.input;
  if (!Has(in, entryOffset, ResourceDataEntrySize)) return ResultBrokenData;
  w->visit.data = ResourceDataOffset(w->visit.sectionStart, w->visit.sectionAddress,
                                     Le32(in, entryOffset));
  w->visit.size = Le32(in, entryOffset + 4);
  int answer = w->visitor(&w->visit, w->user);
  ++w->visit.index;
  return answer;
}

int IterateDirectory(Walk* w, uint64_t directory, Level level) {
  const ByteView in = w->visit.input;
  if (!Has(in, directory, ResourceDirectorySize)) return ResultBrokenData;
  const uint64_t count = uint64_t{Le16(in, directory + 12)} + Le16(in, directory + 14);
  if (!Has(in, directory + ResourceDirectorySize, count * ResourceEntrySize))
    return ResultBrokenData;
  if (count > w->budget) return ResultBrokenData;
  w->budget -= count;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = directory + ResourceDirectorySize + i * ResourceEntrySize;
    const uint32_t nameField = Le32(in, entry);
    const uint32_t offsetField = Le32(in, entry + 4);
    const uint64_t target = w->visit.sectionStart + (offsetField & ~HighBit);
    const bool isDirectory = (offsetField & HighBit) != 0;
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
  if (!Has(image, 0, DosHeaderSize)) return false;
  if (Le16(image, 0) != MzSignature) return false;
  const uint64_t newHeader = Le32(image, NewHeaderOffsetField);
  if (!Has(image, newHeader, NewHeaderMinimum)) return false;
  if (Le32(image, newHeader) != PeSignature) return false;
  const uint32_t sections = Le16(image, newHeader + 6);
  // The section table follows the optional header, whose length differs
  // between 32-bit (224) and 64-bit (240) images.
  const uint64_t table = newHeader + FileHeaderEnd + Le16(image, newHeader + 20);
  for (uint32_t i = 0; i < sections; ++i) {
    const uint64_t header = table + uint64_t{SectionHeaderSize} * i;
    if (!Has(image, header, SectionHeaderSize)) return false;
    if (IsResourceSectionName(image, header)) {
      out->address = Le32(image, header + 12);
      out->rawPointer = Le32(image, header + 20);
      return true;
    }
  }
  return false;
}

int TestExecutable(ByteView image) {
  ResourceSection section;
  return FindResourceSection(image, &section) || HasNeResourceTable(image) ? 2 : 0;
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
  w.budget = (input.size - w.visit.sectionStart) / ResourceEntrySize * 4 + 16;
  return IterateDirectory(&w, w.visit.sectionStart, Level::Type);
}

bool FindImageStart(ByteView input, uint64_t at, uint64_t* imageStart) {
  if (!Has(input, at, DosHeaderSize)) return false;
  for (uint64_t candidate = at;; --candidate) {
    if (TestExecutable(Tail(input, candidate)) == 2) {
      *imageStart = candidate;
      return true;
    }
    if (candidate == 0) return false;
  }
}
