// Executables built to break a resource reader: directories that loop, counts
// that never end, offsets that leave the section, groups that lie.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "tests/hostile/drive.h"

using build::Bytes;
using build::Res;
using build::Resource;
using namespace hostile;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t Section = build::PeSectionFile;

// Root entry i's offset field, at its place in the file.
size_t RootEntryOffsetField(size_t i) { return Section + 16 + 8 * i + 4; }

TEST(HostileExe, DirectoryThatPointsBackToItselfOrAnAncestor) {
  auto p = Pelorin();
  build::ResourceLayout layout;
  Bytes pe = build::PeWithResources({Res(10, 1, Bytes(8, 1)), Res(10, 2, Bytes(8, 2))}, &layout);
  // The type's name directory points back to the root, and to itself.
  for (uint32_t target : {0u, layout.typeDirs[0]}) {
    Bytes b = pe;
    build::Put32(b, Section + layout.typeDirs[0] + 16 + 4, 0x80000000u | target);
    ArchiveRun run = RunArchive(*p, b);
    EXPECT_TRUE(IsResultCode(run.list));
    EXPECT_LT(run.seconds, PromptSeconds) << "loop to " << target;
  }
  // Every root entry names the root as its subdirectory.
  Bytes self = pe;
  build::Put32(self, RootEntryOffsetField(0), 0x80000000u);
  ArchiveRun run = RunArchive(*p, self);
  EXPECT_LT(run.seconds, PromptSeconds);
}

// A root directory of n entries, each naming the root again: a naive walk of
// three levels makes n + n^2 + n^3 steps.
Bytes SelfNamingRoot(uint32_t n) {
  Bytes section(16 + 8 * size_t{n} + 16, 0);
  build::Put16(section, 14, static_cast<uint16_t>(std::min<uint32_t>(n, 0xFFFF)));
  build::Put16(section, 12, static_cast<uint16_t>(n > 0xFFFF ? n - 0xFFFF : 0));
  for (uint32_t i = 0; i < n; ++i) {
    build::Put32(section, 16 + 8 * size_t{i}, 10);
    build::Put32(section, 16 + 8 * size_t{i} + 4, 0x80000000u);
  }
  return build::PeImage(section);
}

TEST(HostileExe, EntryCountsInTheMillions) {
  auto p = Pelorin();
  for (uint32_t n : {1000u, 65535u, 131070u}) {
    ArchiveRun run = RunArchive(*p, SelfNamingRoot(n));
    EXPECT_TRUE(run.list == ResultOk || run.list == ResultBrokenData) << run.list;
    EXPECT_LT(run.seconds, PromptSeconds) << n << " entries";
  }
  // Counts that the file cannot hold.
  Bytes pe = build::PeWithResources({Res(10, 1, Bytes(8, 1))});
  build::Put16(pe, Section + 12, 0xFFFF);
  build::Put16(pe, Section + 14, 0xFFFF);
  ArchiveRun run = RunArchive(*p, pe);
  EXPECT_EQ(run.list, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileExe, NameAndDataOffsetsOutsideTheSection) {
  auto p = Pelorin();
  Resource named = Res(10, 0, Bytes(8, 1));
  named.name = build::Key(0, u"NAME");
  build::ResourceLayout layout;
  Bytes pe = build::PeWithResources({named, Res(2, 7, build::BitmapData(4, 4, 8))}, &layout);
  for (uint32_t bad : {0x7FFFFFFFu, 0x7FFFFFF0u, 0x00100000u, static_cast<uint32_t>(pe.size() - Section - 1)}) {
    // The name string of the first resource.
    Bytes b = pe;
    build::Put32(b, Section + layout.typeDirs[1] + 16, 0x80000000u | bad);
    ArchiveRun run = RunArchive(*p, b);
    EXPECT_TRUE(IsResultCode(run.list));
    EXPECT_LT(run.seconds, PromptSeconds);
    // The data entry of the bitmap, and then its data address.
    b = pe;
    build::Put32(b, Section + layout.dataEntries[1], build::PeSectionAddress + bad);
    run = RunArchive(*p, b);
    EXPECT_EQ(run.list, ResultOk) << "the walk does not look at the data";
    for (int r : run.extract) {
      EXPECT_TRUE(IsResultCode(r));
    }
    ASSERT_EQ(run.entries.size(), 2u);
    EXPECT_EQ(run.extract[1], ResultBrokenData) << "bitmap data at " << bad;
    EXPECT_EQ(run.extractFromFile[1], ResultBrokenData);
    EXPECT_LT(run.seconds, PromptSeconds);
  }
  // A data entry whose size runs past the end.
  Bytes b = pe;
  build::Put32(b, Section + layout.dataEntries[1] + 4, 0xFFFFFFF0u);
  ArchiveRun run = RunArchive(*p, b);
  ASSERT_EQ(run.extract.size(), 2u);
  EXPECT_NE(run.extract[1], ResultOk);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileExe, ResourceSectionCutShort) {
  auto p = Pelorin();
  Bytes whole = build::SamplePe();
  for (size_t n = 0; n < whole.size(); n += (n < Section + 64 ? 7 : 131)) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    ArchiveRun run = RunArchive(*p, cut);
    EXPECT_TRUE(IsResultCode(run.list));
    if (n < Section + 16) {
      EXPECT_NE(run.list, ResultOk) << "cut at " << n;
    }
    EXPECT_LT(run.seconds, PromptSeconds) << "cut at " << n;
  }
  // The section's file position beyond the file, and near 2^32.
  for (uint32_t raw : {0x00100000u, 0xFFFFFFF0u, 0x80000000u}) {
    Bytes b = whole;
    build::Put32(b, build::PeSectionTable + 20, raw);
    ArchiveRun run = RunArchive(*p, b);
    EXPECT_EQ(run.list, ResultBrokenData) << raw;
  }
}

TEST(HostileExe, ZeroSizedAndDuplicateResources) {
  auto p = Pelorin();
  ArchiveRun run = RunArchive(*p, build::PeWithResources({Res(10, 1, {}), Res(2, 2, {}), Res(10, 1, Bytes(3, 9)),
                                                          Res(10, 1, Bytes(5, 8))}));
  EXPECT_EQ(run.list, ResultOk);
  ASSERT_EQ(run.entries.size(), 4u);
  EXPECT_EQ(run.extract[0], ResultOk) << "a raw resource of 0 bytes is an empty member";
  EXPECT_EQ(run.entries[0].filesize, 0u);
  for (int r : run.lookup) {
    EXPECT_EQ(r, ResultOk);
  }
  EXPECT_LT(run.seconds, PromptSeconds);
}

// A group that cannot be rebuilt is left out; the raw member beside it lists
// and extracts all the same.
TEST(HostileExe, GroupsThatNameMissingOrLyingMembers) {
  auto p = Pelorin();
  Bytes image = build::IconImageBlock(16, 16, 4);
  const uint32_t size = static_cast<uint32_t>(image.size());
  struct Case { const char* what; std::vector<Resource> rs; bool listed; };
  Bytes cursorRes = {1, 0, 2, 0};
  build::AddBytes(cursorRes, image);
  // Counts raised past the group's data, as in a damaged copy of a real program.
  Bytes raised = build::IconGroupData(1, {{1, size}});
  build::Put16(raised, 4, 2);
  Bytes huge = raised;
  build::Put16(huge, 4, 0xFFFF);
  std::vector<Case> cases = {
      {"no image directory at all", {Res(14, 1, build::IconGroupData(1, {{1, size}}))}, false},
      {"an id that is not there", {Res(3, 1, image), Res(14, 1, build::IconGroupData(1, {{2, size}}))}, false},
      {"bytes far beyond the image", {Res(3, 1, image), Res(14, 1, build::IconGroupData(1, {{1, 0x7FFFFFF0u}}))}, false},
      {"bytes that wrap when padded", {Res(3, 1, image), Res(14, 1, build::IconGroupData(1, {{1, 0xFFFFFFFEu}}))}, false},
      {"a count of 0", {Res(3, 1, image), Res(14, 1, build::IconGroupData(1, {}))}, false},
      {"a count raised by one", {Res(3, 1, image), Res(14, 1, raised)}, false},
      {"a count of 65535", {Res(3, 1, image), Res(14, 1, huge)}, false},
      {"a cursor entry of 0 bytes", {Res(1, 1, cursorRes), Res(12, 1, build::IconGroupData(2, {{1, 0}, {1, 0}}))}, false},
      {"a cursor entry of 2 bytes", {Res(1, 1, cursorRes), Res(12, 1, build::IconGroupData(2, {{1, 2}}))}, true},
  };
  for (Case& c : cases) {
    c.rs.push_back(Res(10, 9, Bytes(4, 7)));
    for (uint32_t allTypes : {0u, 1u}) {
      auto q = allTypes ? Pelorin(0, 1) : Pelorin();
      ArchiveRun run = RunArchive(*q, build::PeWithResources(c.rs));
      EXPECT_EQ(run.list, ResultOk) << c.what;
      ASSERT_EQ(run.entries.size(), c.listed ? 2u : 1u) << c.what;
      EXPECT_STREQ(run.entries.back().filename, "#00009.DAT") << c.what;
      EXPECT_EQ(run.extract.back(), ResultOk) << c.what;
      if (c.listed) {
        EXPECT_EQ(run.extract[0], ResultOk) << c.what;
      }
      EXPECT_LT(run.seconds, PromptSeconds) << c.what;
    }
  }
  // A member image outside the input: its data address beyond the file.
  build::ResourceLayout layout;
  Bytes pe = build::PeWithResources({Res(3, 1, image), Res(14, 1, build::IconGroupData(1, {{1, size}})),
                                     Res(14, 2, build::IconGroupData(1, {{1, size}}))}, &layout);
  Bytes outside = pe;
  build::Put32(outside, Section + layout.dataEntries[0], build::PeSectionAddress + 0x100000);
  EXPECT_EQ(RunArchive(*p, outside).entries.size(), 0u);
  ArchiveRun whole = RunArchive(*p, pe);
  ASSERT_EQ(whole.entries.size(), 2u);
  EXPECT_EQ(whole.extract[1], ResultOk);
}

// Found by fuzz_pelorin: a group resource whose data entry claims 822 MB in a
// file of 5 KB is listed with that filesize, and GetFile allocates it all (to
// memory) or makes a file that large (to disk) around a rebuild of 326 bytes.
// Extraction must refuse it before the size is announced.
TEST(HostileExe, GroupResourceLargerThanTheFileIsRefused) {
  auto p = Pelorin();
  Bytes image = build::IconImageBlock(16, 16, 4);
  Bytes cursorRes = {1, 0, 2, 0};
  build::AddBytes(cursorRes, image);
  build::ResourceLayout layout;
  Bytes pe = build::PeWithResources(
      {Res(1, 1, cursorRes), Res(12, 1, build::IconGroupData(2, {{1, static_cast<uint32_t>(cursorRes.size())}}))},
      &layout);
  build::Put32(pe, Section + layout.dataEntries[1] + 4, 0x31000014u);
  ArchiveRun run = RunArchive(*p, pe);
  EXPECT_TRUE(run.entries.empty()) << "a group that cannot be rebuilt is not listed";
  EXPECT_NE(ExtractAt(*p, pe, 1), ResultOk) << "a member of 822 MB from a file of " << pe.size() << " bytes";
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileExe, NewHeaderOffsetNearTheTopOfTheAddressSpace) {
  auto p = Pelorin();
  for (uint32_t off : {0xFFFFFFFFu, 0xFFFFFFF0u, 0xFFFFFF00u, 0x80000000u, 0x7FFFFFFFu, 0x10000u}) {
    Bytes b = build::SamplePe();
    build::Put32(b, 60, off);
    ArchiveRun run = RunArchive(*p, b);
    EXPECT_EQ(run.headTest, 0) << off;
    EXPECT_EQ(run.fileTest, 0) << off;
    EXPECT_EQ(run.list, ResultBrokenData) << off;
    EXPECT_LT(run.seconds, PromptSeconds);
  }
  // Sections counted in the tens of thousands, all beyond the file.
  Bytes b = build::SamplePe();
  build::Put16(b, build::PeNewHeader + 6, 0xFFFF);
  std::memcpy(b.data() + build::PeSectionTable, ".text\0\0\0", 8);
  ArchiveRun run = RunArchive(*p, b);
  EXPECT_EQ(run.list, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);
}

// 1024 names share one data entry whose address no section holds, in an
// image of 65535 sections: mapping it through the whole table at every visit
// would read 67 million section headers per walk.
TEST(HostileExe, DataAddressesThatNoneOfManySectionsHold) {
  auto p = Pelorin();
  const uint32_t names = 1024, entry = 40 + 8 * names;
  Bytes section(entry + 16, 0);
  build::Put16(section, 14, 1);
  build::Put32(section, 16, 10);
  build::Put32(section, 20, 0x80000000u | 24);
  build::Put16(section, 24 + 14, static_cast<uint16_t>(names));
  for (uint32_t i = 0; i < names; ++i) {
    build::Put32(section, 40 + 8 * i, i + 1);
    build::Put32(section, 44 + 8 * i, entry);
  }
  build::Put32(section, entry, 0xFFFFFF00u);
  build::Put32(section, entry + 4, 4);
  Bytes pe = build::PeImage(section);
  build::Put16(pe, build::PeNewHeader + 6, 0xFFFF);
  pe.resize(std::max<size_t>(pe.size(), build::PeSectionTable + 40 * size_t{0xFFFF}), 0);
  ArchiveRun run = RunArchive(*p, pe);
  EXPECT_EQ(run.list, ResultOk);
  EXPECT_EQ(run.entries.size(), size_t{names});
  for (int r : run.extract) {
    EXPECT_EQ(r, ResultBrokenData);
  }
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileExe, PositionsFarFromAnyImage) {
  auto p = Pelorin();
  // A large input with the image at its start: the backward search from its end
  // crosses every byte and must still answer at once.
  Bytes big = build::SamplePe();
  big.resize(4u << 20, 0x4D);
  auto start = std::chrono::steady_clock::now();
  int r = ExtractAt(*p, big, static_cast<uint32_t>(big.size() - 64));
  EXPECT_EQ(r, ResultBrokenData) << "no data entry has that index";
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), PromptSeconds);
}

// A member name must never lead the output outside the folder the host named.
// A name like "../../X" is refused with 9 rather than joined to the destination.
TEST(HostileExe, MemberNamesThatClimbOutOfTheDestination) {
  auto p = Pelorin();
  fs::path root = fs::temp_directory_path() / ("spi-hostile-climb-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(root);
  fs::path dest = root / "a" / "b" / "dest";
  fs::create_directories(dest);
  for (const char16_t* name : {u"../../ESCAPED", u"..\\..\\ESCAPED", u"C:\\ESCAPED"}) {
    Resource r = Res(10, 0, Bytes(16, 0x61));
    r.name = build::Key(0, name);
    Bytes pe = build::PeWithResources({r});
    host::GuardedBuffer mem(pe);
    SpiHandle list = nullptr;
    ASSERT_EQ(p->getArchiveInfo(mem.source(), static_cast<int32_t>(pe.size()), InputMemory, &list), ResultOk);
    std::vector<fileInfo> entries = host::TakeEntryList(list);
    ASSERT_EQ(entries.size(), 1u);
    std::string destText = dest.string();
    p->getFile(mem.source() + entries[0].position, 0, const_cast<char*>(destText.c_str()), InputMemory, nullptr, 0);
    size_t outside = 0;
    std::vector<fs::path> found;
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_regular_file() && e.path().parent_path() != dest) found.push_back(e.path());
    outside = found.size();
    for (const fs::path& f : found) fs::remove(f);
    EXPECT_EQ(outside, 0u) << "a member named " << entries[0].filename << " was written outside " << destText;
    for (const auto& e : fs::directory_iterator(dest)) fs::remove_all(e.path());
  }
  fs::remove_all(root);
}

}  // namespace
