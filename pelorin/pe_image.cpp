#include "pelorin/pe_image.h"

#include "framework/spi.h"
#include "pelorin/ne_image.h"

namespace {

enum class Level { Type, Name, Language };

struct Walk {
  ResourceVisit visit;
  ResourceVisitor visitor = nullptr;
  void* user = nullptr;
  // Entries the walk may still read. A sound tree holds each directory once,
  // so it never reads more entries than fit in the bytes behind the section
  // start; a tree that points back into itself runs out and ends with 3.
  uint64_t budget = 0;
  uint64_t sectionBudget = SectionScanBudget;
};

int VisitDataEntry(Walk* w, uint64_t entryOffset) {
  ResourceDataEntry entry;
  if (!ReadResourceDataEntry(w->visit.input, entryOffset, &entry)) return ResultBrokenData;
  w->visit.data = ResourceDataOffset(w->visit, entry.offsetToData, &w->sectionBudget);
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

uint64_t ResourceDataOffset(const ResourceVisit& visit, uint32_t dataAddress, uint64_t* budget) {
  uint64_t offset;
  if (!SectionHoldsAddress(visit.home, dataAddress, &offset) &&
      !MapSectionAddress(Tail(visit.input, visit.imageStart), visit.sections, dataAddress, &offset,
                         nullptr, budget))
    return NoOffset;
  return visit.imageStart + offset;
}

int TestExecutable(ByteView image) {
  if (!HasMzSignature(image)) return 0;
  ResourceRoot root;
  return FindResourceRoot(image, &root) || HasNeResourceTable(image) ? ExecutableSupported : 0;
}

int WalkResources(ByteView input, uint64_t imageStart, ResourceVisitor visitor, void* user) {
  ResourceRoot root;
  if (!FindResourceRoot(Tail(input, imageStart), &root)) {
    if (HasNeResourceTable(Tail(input, imageStart)))
      return WalkNeResources(input, imageStart, visitor, user);
    return ResultBrokenData;
  }
  Walk w;
  w.visitor = visitor;
  w.user = user;
  w.visit.input = input;
  w.visit.imageStart = imageStart;
  w.visit.sectionAddress = root.rootAddress;
  w.visit.sectionStart = imageStart + root.rootOffset;
  w.visit.sections = root.sections;
  w.visit.home = root.home;
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
