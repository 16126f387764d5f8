// Executables read as they lie on disk, and the walk of their resource tree
// (the layouts are drawn in formats/pe.h): the first section named ".rsrc"
// holds the root directory; its entries are types, their subdirectories'
// entries names, and the entries below those languages, each naming a data entry.
#pragma once

#include <cstdint>

#include "formats/pe.h"

// Where the resource section lies: its file position (from the image start)
// and the virtual address its internal addresses are counted from.
struct ResourceSection {
  uint32_t rawPointer = 0;
  uint32_t address = 0;
};

// One resource data entry as the walk meets it. Offsets count from the start
// of input; data may lie outside it (the walk does not check data).
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
};

// WalkContinue to go on; anything else ends the walk with that answer.
using ResourceVisitor = int (*)(const ResourceVisit* visit, void* user);

// Finds the first section named ".rsrc" (any case) of the executable at image.
bool FindResourceSection(ByteView image, ResourceSection* out);
// IsSupported's answer for an executable with a resource section.
constexpr int ExecutableSupported = 2;
// ExecutableSupported when image is an executable with a resource section, else 0.
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
