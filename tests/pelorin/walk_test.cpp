// The executable test, the resource walk and the image start search.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "framework/spi.h"
#include "tests/builders/pe.h"
#include "pelorin/pe_image.h"

using namespace build;

namespace {

ByteView View(const Bytes& b) { return ByteView{b.data(), b.size()}; }

struct Seen {
  int32_t index;
  uint32_t type, name, language, size;
  uint64_t data;
};

int Record(const ResourceVisit* v, void* user) {
  static_cast<std::vector<Seen>*>(user)->push_back(
      {v->index, v->type, v->name, v->language, v->size, v->data});
  return 0;
}

std::vector<Seen> Walk(const Bytes& image, uint64_t start = 0, int* answer = nullptr) {
  std::vector<Seen> seen;
  const int a = WalkResources(View(image), start, Record, &seen);
  if (answer) *answer = a;
  return seen;
}

Node Simple() {
  return Tree({{{2}, {1}, 0x409, Bytes(10, 1)}});
}

uint32_t SectionTableOffset(const Bytes& exe) { return Get32(exe, 60) + 24 + Get16(exe, Get32(exe, 60) + 20); }

}  // namespace

TEST(PelorinExecutableTest, RecognisesHeadersAndSectionNames) {
  const Bytes exe = ExecutableWith(Simple());
  EXPECT_EQ(TestExecutable(View(exe)), 2);
  // Shorter than the DOS header, or without "MZ" or "PE".
  EXPECT_EQ(TestExecutable(ByteView{exe.data(), 63}), 0);
  Bytes noMz = exe;
  noMz[0] = 'X';
  EXPECT_EQ(TestExecutable(View(noMz)), 0);
  Bytes noPe = exe;
  noPe[Get32(exe, 60) + 1] = 'Q';
  EXPECT_EQ(TestExecutable(View(noPe)), 0);
  // A new header that leaves fewer than 248 bytes behind it.
  Bytes late = exe;
  Put32(late, 60, static_cast<uint32_t>(late.size() - 247));
  Put32(late, late.size() - 247, 0x00004550);
  EXPECT_EQ(TestExecutable(View(late)), 0);
  // No sections at all.
  Bytes none = exe;
  Put16(none, Get32(exe, 60) + 6, 0);
  EXPECT_EQ(TestExecutable(View(none)), 0);

  const uint32_t rsrcName = SectionTableOffset(exe) + 40;
  for (const char* name : {".RSRC", ".RsRc"}) {
    Bytes b = exe;
    std::memcpy(&b[rsrcName], name, 5);
    EXPECT_EQ(TestExecutable(View(b)), 2) << name;
  }
  for (const char* name : {".rsrcx\0\0", "rsrc\0\0\0\0", ".rsr\0\0\0\0"}) {
    Bytes b = exe;
    std::memcpy(&b[rsrcName], name, 8);
    EXPECT_EQ(TestExecutable(View(b)), 0) << name;
  }
  // The section table reaching beyond the input: only the head given.
  EXPECT_EQ(TestExecutable(ByteView{exe.data(), rsrcName + 20}), 0);
}

TEST(PelorinExecutableTest, SixtyFourBitImagesReadTheirRealSectionTable) {
  Options o;
  o.pe64 = true;
  const Bytes exe = ExecutableWith(Simple(), o);
  ASSERT_EQ(Get16(exe, Get32(exe, 60) + 20), 240);
  EXPECT_EQ(TestExecutable(View(exe)), 2);
  const auto seen = Walk(exe);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].size, 10u);
  EXPECT_EQ(exe[seen[0].data], 1);
}

TEST(PelorinExecutableTest, FirstOfTwoResourceSectionsWins) {
  const Bytes first = SerialiseSection(Tree({{{2}, {7}, 0, Bytes(5, 7)}}), 0x3000);
  const Bytes second = SerialiseSection(Tree({{{2}, {8}, 0, Bytes(6, 8)}}), 0x5000);
  const Bytes exe = Executable({{".rsrc", first, 0x3000}, {".RSRC", second, 0x5000}});
  const auto seen = Walk(exe);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].name, 7u);
}

TEST(PelorinWalkTest, VisitsInStoredOrderWithRunningIndexes) {
  // Icon images stored before their group: indexes 0 to 3, the group last.
  const Bytes exe = ExecutableWith(Tree({{{3}, {1}, 0x409, Bytes(8, 1)},
                                         {{3}, {2}, 0x409, Bytes(8, 2)},
                                         {{3}, {3}, 0x409, Bytes(8, 3)},
                                         {{14}, {1}, 0x409, Bytes(6 + 42, 0)}}));
  int answer = -5;
  const auto seen = Walk(exe, 0, &answer);
  EXPECT_EQ(answer, 0);
  ASSERT_EQ(seen.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(seen[i].index, i);
  EXPECT_EQ(seen[3].type, 14u);
  EXPECT_EQ(seen[2].name, 3u);
  EXPECT_EQ(seen[0].language, 0x409u);
}

TEST(PelorinWalkTest, OddTreeShapes) {
  // A data entry straight below the root is neither visited nor counted; one
  // directly below a name gets language 0; a fourth level is passed over.
  Node root = Directory({WithId(Leaf(Bytes(4, 9)), 5),
                         WithId(Directory({WithId(Leaf(Bytes(3, 1)), 1),
                                           WithId(Directory({WithId(Directory({WithId(Leaf(Bytes(2, 2)), 1)}), 0x409),
                                                             WithId(Leaf(Bytes(1, 3)), 0x411)}),
                                                  2)}),
                                10)});
  const auto seen = Walk(ExecutableWith(root));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].index, 0);
  EXPECT_EQ(seen[0].language, 0u);
  EXPECT_EQ(seen[0].size, 3u);
  EXPECT_EQ(seen[1].index, 1);
  EXPECT_EQ(seen[1].language, 0x411u);
  // An empty root: no visit, answer 0.
  int answer = -5;
  EXPECT_TRUE(Walk(ExecutableWith(Directory()), 0, &answer).empty());
  EXPECT_EQ(answer, 0);
}

TEST(PelorinWalkTest, VisitorAnswerEndsTheWalk) {
  const Bytes exe = ExecutableWith(Tree({{{2}, {1}, 0, Bytes(4, 1)}, {{2}, {2}, 0, Bytes(4, 2)}}));
  int calls = 0;
  auto stop = [](const ResourceVisit*, void* user) {
    ++*static_cast<int*>(user);
    return 7;
  };
  EXPECT_EQ(WalkResources(View(exe), 0, stop, &calls), 7);
  EXPECT_EQ(calls, 1);
}

TEST(PelorinWalkTest, BrokenTreesEndWithBrokenData) {
  const Bytes exe = ExecutableWith(Simple());
  const uint32_t section = Get32(exe, SectionTableOffset(exe) + 40 + 20);
  int answer = 0;
  // No executable at all.
  Bytes junk(300, 0);
  EXPECT_TRUE(Walk(junk, 0, &answer).empty());
  EXPECT_EQ(answer, ResultBrokenData);
  // A root whose entry count reaches beyond the input.
  Bytes absurd = exe;
  Put16(absurd, section + 14, 0xFFFF);
  Put16(absurd, section + 12, 0xFFFF);
  Walk(absurd, 0, &answer);
  EXPECT_EQ(answer, ResultBrokenData);
  // A subdirectory offset beyond the input.
  Bytes distant = exe;
  Put32(distant, section + 16 + 4, 0x80000000u | 0x7FFFFFF0u);
  Walk(distant, 0, &answer);
  EXPECT_EQ(answer, ResultBrokenData);
  // A section whose file position lies beyond the input.
  Bytes gone = exe;
  Put32(gone, SectionTableOffset(exe) + 40 + 20, 0x7FFFFFFF);
  Walk(gone, 0, &answer);
  EXPECT_EQ(answer, ResultBrokenData);
  // A data entry beyond the input (the language entry of the only resource).
  Bytes entry = exe;
  ASSERT_EQ(Get32(entry, section + 64), 0x409u);
  Put32(entry, section + 68, 0x7FFFFFF0u);
  Walk(entry, 0, &answer);
  EXPECT_EQ(answer, ResultBrokenData);
}

TEST(PelorinWalkTest, TreeThatLoopsOnItselfEndsPromptly) {
  // One directory of many entries, each pointing back at the directory: each
  // level would iterate it again, 60000^3 times without a bound.
  const uint16_t n = 60000;
  Bytes section(16 + 8 * n, 0);
  Put16(section, 14, n);
  for (uint32_t i = 0; i < n; ++i) {
    Put32(section, 16 + 8 * i, i + 1);
    Put32(section, 20 + 8 * i, 0x80000000u);
  }
  const Bytes exe = Executable({{".rsrc", section, 0x3000}});
  const auto start = std::chrono::steady_clock::now();
  int answer = 0;
  Walk(exe, 0, &answer);
  EXPECT_EQ(answer, ResultBrokenData);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  // Two entries of a name level pointing at the same language directory, over
  // and over, also run out of entries.
  Bytes leaf = section;
  for (uint32_t i = 0; i < n; ++i) Put32(leaf, 20 + 8 * i, i % 2 ? 0x80000000u : 16u);
  Walk(Executable({{".rsrc", leaf, 0x3000}}), 0, &answer);
  EXPECT_EQ(answer, ResultBrokenData);
}

TEST(PelorinImageStartTest, SearchesBackNeverBeforeTheInput) {
  Bytes file = ExecutableWith(Simple());
  file.insert(file.begin(), 100, 0x11);
  uint64_t start = 0;
  ASSERT_TRUE(FindImageStart(View(file), 105, &start));
  EXPECT_EQ(start, 100u);
  ASSERT_TRUE(FindImageStart(View(file), 100, &start));
  EXPECT_EQ(start, 100u);
  EXPECT_FALSE(FindImageStart(View(file), 99, &start));
  EXPECT_FALSE(FindImageStart(View(file), 0, &start));
  EXPECT_FALSE(FindImageStart(View(file), file.size() - 10, &start));
  EXPECT_FALSE(FindImageStart(View(file), uint64_t{1} << 40, &start));
}

TEST(PelorinWalkTest, DataAddressesBecomeFilePositions) {
  const Bytes exe = ExecutableWith(Tree({{{10}, {1}, 0, Bytes{1, 2, 3, 4}}}));
  Bytes shifted = exe;
  shifted.insert(shifted.begin(), 64, 0);
  const auto a = Walk(exe);
  const auto b = Walk(shifted, 64);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].data, a[0].data + 64);
  EXPECT_EQ(exe[a[0].data + 3], 4);
}

// Data that a packer moved out of the resource section is found where the
// section table puts it; an address no section's raw data holds has no place.
TEST(PelorinWalkTest, DataAddressesMapThroughTheSectionTable) {
  const Bytes exe = UpxPackedPe();
  const uint32_t table = SectionTableOffset(exe);
  const uint32_t upx1 = Get32(exe, table + 40 + 20), rsrc = Get32(exe, table + 80 + 20);
  const auto seen = Walk(exe);
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[1].data, upx1 + 0x100u);
  EXPECT_EQ(seen[2].data, NoOffset);
  EXPECT_EQ(seen[4].data, upx1 + 0x40u);
  for (size_t i : {0u, 3u, 5u, 6u}) EXPECT_GT(seen[i].data, rsrc) << i;
  // Renamed, the resource section is found through the data directory; an
  // image without that slot has none.
  for (bool slot : {true, false}) {
    Options o;
    o.loaderFields = slot;
    Bytes renamed = ExecutableWith(Simple(), o);
    const Bytes named = renamed;
    std::memcpy(&renamed[SectionTableOffset(renamed) + 40], "UPX2", 4);
    int answer = -1;
    const auto found = Walk(renamed, 0, &answer);
    EXPECT_EQ(answer, slot ? 0 : ResultBrokenData);
    ASSERT_EQ(found.size(), slot ? 1u : 0u);
    if (slot) {
      EXPECT_EQ(found[0].data, Walk(named)[0].data);
    }
  }
}
