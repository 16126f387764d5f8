// Tarc: a tiny archive format that exists only to drive the framework end to
// end before (and besides) the real deliverables.
//
//   offset 0   "TARC"  count(4)  flags(4)
//   offset 12  entries, one after the other:
//                "TENT"  size(4)  pathLength(1)  nameLength(1)  path  name  data(size)
//
// flags: TarcReserve: the walk reserves count entries before listing;
//        TarcLeaveLast: the last entry is acquired and filled but not committed.
// A member's position is the offset of its entry from the archive's start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/framework.h"

constexpr uint32_t TarcHeaderSize = 12;
constexpr uint32_t TarcEntryHeaderSize = 10;
enum TarcFlags : uint32_t { TarcReserve = 1, TarcLeaveLast = 2 };

int TarcFormatTest(ByteView head);
int TarcListEntries(DataRef data, EntryTable* table);
struct TarcContext {
  uint64_t dataOffset = 0;
};
int TarcLocateMember(DataRef data, MemberName* name, uint32_t* outputSize, void* context);
int TarcWriteMember(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback progress,
                    SpiUserValue userValue, void* context);

// Builds archives for the tests.
struct TarcMember {
  std::string path;
  std::string name;
  std::vector<uint8_t> data;
  // Declared size when it should differ from data.size() (a member that runs
  // past the end of the input).
  int64_t declaredSize = -1;
};
std::vector<uint8_t> MakeTarc(const std::vector<TarcMember>& members, uint32_t flags = 0);
// Offset of member i's entry from the archive's start.
uint32_t TarcEntryOffset(const std::vector<TarcMember>& members, size_t i);
