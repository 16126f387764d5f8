// Executables read as they lie on disk, and the walk of their resource tree
// (the layouts are drawn in formats/pe.h): the first section named ".rsrc"
// holds the root directory (else the data directory names it); its entries
// are types, their subdirectories' entries names, and the entries below those
// languages, each naming a data entry, whose address the section table maps.
#pragma once

#include <cstdint>

#include "formats/pe.h"

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
  SectionTable sections;   // PE: maps data addresses to file positions,
  SectionHeader home;      // first through the section of the root
};

// WalkContinue to go on; anything else ends the walk with that answer.
using ResourceVisitor = int (*)(const ResourceVisit* visit, void* user);

// IsSupported's answer for an executable with resources.
constexpr int ExecutableSupported = 2;
// ExecutableSupported when image is a PE executable with a resource section or
// an NE one with a resource table, else 0.
int TestExecutable(ByteView image);
// Visits every data entry of the tree of the image at imageStart in walk order.
// 0 when all were visited, the first non-zero visitor answer, or
// ResultBrokenData when there is no resource section or the tree is broken.
int WalkResources(ByteView input, uint64_t imageStart, ResourceVisitor visitor, void* user);
// The nearest image start at or before at (never before offset 0).
bool FindImageStart(ByteView input, uint64_t at, uint64_t* imageStart);

// Offset in the input of the data a data entry's address names, through the
// section whose raw data holds it (as the loader maps it); NoOffset when no
// section's does, or when the section headers that budget allows have been
// read. NoOffset lies beyond every input and stays there when small offsets
// are added to it.
constexpr uint64_t NoOffset = uint64_t{1} << 62;
uint64_t ResourceDataOffset(const ResourceVisit& visit, uint32_t dataAddress, uint64_t* budget);
// Section headers that the data addresses of one walk or rebuild may read
// beyond the root's own section: sound files need a few per packed resource.
constexpr uint64_t SectionScanBudget = uint64_t{1} << 13;
