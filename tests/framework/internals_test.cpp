// Framework operations linked in directly, so that platform calls can be made
// to fail on purpose: the failure rows of the entry table and of extraction.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/framework.h"
#include "framework/input.h"
#include "framework/startup.h"
#include "host/host.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "tarc.h"
#include "test_files.h"

namespace {

using platform::FailNth;

SpiHandle const Untouched = reinterpret_cast<SpiHandle>(static_cast<uintptr_t>(0x5A5A5A50));

const std::vector<TarcMember> Members = {
    {"", "a.bin", Pattern(100, 1)},
    {"", "b.bin", Pattern(3000, 2)},
    {"", "c.bin", Pattern(7, 3)},
};

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearFaults();
    input = dir.Join("in.tarc");
    WriteBytes(input, MakeTarc(Members, reserve ? uint32_t{TarcReserve} : 0u));
  }
  void TearDown() override { platform::ClearFaults(); }

  int List(SpiHandle* slot) {
    return BuildArchiveInfo(input.c_str(), 0, InputFile, slot, TarcListEntries);
  }
  int Extract(size_t i, void* destination, unsigned flags = 0) {
    TarcContext context;
    return ExtractMember(input.c_str(), static_cast<int32_t>(TarcEntryOffset(Members, i)),
                         destination, flags, nullptr, 0, &context, TarcLocateMember,
                         TarcWriteMember);
  }
  int ExtractTo(size_t i, const std::string& directory) {
    return Extract(i, const_cast<char*>(directory.c_str()));
  }

  ScratchDir dir;
  std::string input;
  bool reserve = false;
};

// ---- Entry table ---------------------------------------------------------------

TEST_F(Faults, ListAllocationAndLockFailuresLeaveANullSlot) {
  struct Row {
    platform::FaultKind kind;
    int nth;
    int result;
  } rows[] = {
      {platform::FaultAlloc, 1, ResultNoMemory},     // the first record
      {platform::FaultLock, 1, ResultMemoryError},   // locking it
      {platform::FaultAlloc, 2, ResultNoMemory},     // growing for the first commit
      {platform::FaultAlloc, 3, ResultNoMemory},     // growing later in the walk
      {platform::FaultLock, 2, ResultMemoryError},   // relocking after growth
      {platform::FaultMap, 1, ResultReadError},      // the input
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "kind " << row.kind << " call " << row.nth);
    FailNth(row.kind, row.nth);
    SpiHandle h = Untouched;
    EXPECT_EQ(List(&h), row.result);
    EXPECT_EQ(h, nullptr);
    platform::ClearFaults();
  }
  SpiHandle h = Untouched;
  ASSERT_EQ(List(&h), ResultOk);
  EXPECT_EQ(host::TakeEntryList(h).size(), 3u);
}

TEST_F(Faults, ReservedListGrowsNoMore) {
  reserve = true;
  SetUp();
  // One allocation for the first record, one for the reservation; the walk
  // then commits without growing, so a third failure never happens.
  FailNth(platform::FaultAlloc, 3);
  SpiHandle h = Untouched;
  ASSERT_EQ(List(&h), ResultOk);
  EXPECT_EQ(SpiBlockSize(h), 4 * sizeof(fileInfo));
  EXPECT_EQ(host::TakeEntryList(h).size(), 3u);
}

TEST(EntryTable, RefusesCountsThatCannotBeSized) {
  EntryTable t;
  ASSERT_EQ(OpenEntryList(&t, 0), ResultOk);
  EXPECT_EQ(ReserveEntries(&t, 0xFFFFFFFFu), ResultNoMemory);
  EXPECT_EQ(ReserveEntries(&t, 0x7FFFFFFFu / sizeof(fileInfo)), ResultNoMemory);
  // The table is still whole: a record can be filled and committed.
  fileInfo* r = nullptr;
  ASSERT_EQ(AcquireEntry(&t, &r), ResultOk);
  r->method[0] = 'x';
  EXPECT_EQ(CommitEntry(&t), ResultOk);
  EXPECT_EQ(t.count, 1u);
  CloseEntryList(&t, ResultOk);
  EXPECT_EQ(host::TakeEntryList(t.block).size(), 1u);
}

TEST(EntryTable, ShrinkingKeepsTheEntriesThatFit) {
  EntryTable t;
  ASSERT_EQ(OpenEntryList(&t, 0), ResultOk);
  for (int i = 0; i < 5; ++i) {
    fileInfo* r;
    ASSERT_EQ(AcquireEntry(&t, &r), ResultOk);
    r->method[0] = static_cast<unsigned char>('a' + i);
    ASSERT_EQ(CommitEntry(&t), ResultOk);
  }
  ASSERT_EQ(ReserveEntries(&t, 3), ResultOk);
  EXPECT_EQ(t.count, 3u);
  CloseEntryList(&t, ResultOk);
  std::vector<fileInfo> list = host::TakeEntryList(t.block);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2].method[0], 'c');
}

TEST(EntryTable, CommitWithoutAcquireAndUnknownModes) {
  EntryTable t;
  ASSERT_EQ(OpenEntryList(&t, 0), ResultOk);
  EXPECT_EQ(CommitEntry(&t), ResultInternalError);
  CloseEntryList(&t, ResultInternalError);
  EXPECT_EQ(t.block, nullptr);
  EntryTable odd;
  odd.mode = 3;
  fileInfo* r;
  EXPECT_EQ(ReserveEntries(&odd, 1), ResultInternalError);
  EXPECT_EQ(AcquireEntry(&odd, &r), ResultInternalError);
  EXPECT_EQ(CommitEntry(&odd), ResultInternalError);
}

int ThrowingList(DataRef, EntryTable*) { throw std::runtime_error("walk failed"); }

TEST_F(Faults, ExceptionsBecomeResultCodes) {
#if SPI_FRAMEWORK_WITHOUT_EXCEPTIONS
  GTEST_SKIP() << "the Windows plug-ins' framework is built without exceptions; nothing in it throws";
#endif
  SpiHandle h = Untouched;
  EXPECT_EQ(BuildArchiveInfo(input.c_str(), 0, InputFile, &h, ThrowingList), ResultInternalError);
  EXPECT_EQ(h, nullptr);
  fileInfo r;
  EXPECT_EQ(LookupFileInfo(input.c_str(), 0, "a", InputFile, &r, ThrowingList, 2),
            ResultInternalError);
}

// ---- Extraction ------------------------------------------------------------------

TEST_F(Faults, MemoryOutputAllocationAndLockLeaveTheSlotAlone) {
  SpiHandle h = Untouched;
  FailNth(platform::FaultAlloc, 1);
  EXPECT_EQ(Extract(1, &h, 0x100), ResultNoMemory);
  EXPECT_EQ(h, Untouched);
  FailNth(platform::FaultLock, 1);
  EXPECT_EQ(Extract(1, &h, 0x100), ResultMemoryError);
  EXPECT_EQ(h, Untouched);
  ASSERT_EQ(Extract(1, &h, 0x100), ResultOk);
  EXPECT_EQ(host::TakeBlock(h, 3000), Members[1].data);
}

// Every failure on the way to disk: no new target, no temporary file, and an
// existing target keeps its bytes.
TEST_F(Faults, DiskOutputFailuresLeaveTheDirectoryAsItWas) {
  struct Row {
    platform::FaultKind kind;
    int nth;
    int result;
  } rows[] = {
      {platform::FaultMap, 1, ResultReadError},    // the input
      {platform::FaultTempFile, 1, ResultWriteError},
      {platform::FaultMap, 2, ResultWriteError},   // the temporary file's view
      {platform::FaultWrite, 1, ResultWriteError}, // its bytes reaching the file
      {platform::FaultRename, 1, ResultWriteError},
  };
  for (bool existing : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::Message() << "kind " << row.kind << " existing " << existing);
      ScratchDir out;
      std::string target = out.Join("b.bin");
      if (existing) WriteBytes(target, {'o', 'l', 'd'});
      FailNth(row.kind, row.nth);
      EXPECT_EQ(ExtractTo(1, out.path()), row.result);
      platform::ClearFaults();
      if (existing) {
        EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(ListNames(out.path()), std::vector<std::string>{"b.bin"});
      } else {
        EXPECT_TRUE(ListNames(out.path()).empty());
      }
    }
  }
}

// Mended: the old target is replaced in one step, never deleted first.
TEST_F(Faults, ReplacingKeepsOldTargetUntilTheNewOneIsComplete) {
  std::string target = dir.Join("b.bin");
  WriteBytes(target, Pattern(10000, 7));
  FailNth(platform::FaultRename, 1);
  EXPECT_EQ(ExtractTo(1, dir.path()), ResultWriteError);
  EXPECT_EQ(ReadBytes(target), Pattern(10000, 7));
  ASSERT_EQ(ExtractTo(1, dir.path()), ResultOk);
  EXPECT_EQ(ReadBytes(target), Members[1].data) << "a longer old file leaves no tail";
}

TEST_F(Faults, TargetHeldByAnotherExtraction) {
  std::string target = dir.Join("b.bin");
  intptr_t held;
  bool created;
  ASSERT_TRUE(platform::OpenExclusive(target.c_str(), &held, &created));
  EXPECT_EQ(ExtractTo(1, dir.path()), ResultWriteError);
  platform::CloseFile(held);
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"b.bin", "in.tarc"}));
}

TEST_F(Faults, DirectoryInTheWay) {
  std::string file = dir.Join("plain");
  WriteBytes(file, {'x'});
  EXPECT_EQ(ExtractTo(1, file), ResultWriteError);
  EXPECT_EQ(ExtractTo(1, file + Sep() + "below"), ResultWriteError);
  EXPECT_EQ(ReadBytes(file), std::vector<uint8_t>{'x'});
}

// ---- Copy, input bounds, format test ------------------------------------------------

int SPI_CALL Count(int, int, SpiUserValue user) {
  ++*reinterpret_cast<int*>(user);
  return 0;
}

TEST(CopyWithProgress, BoundsAndBlocks) {
  std::vector<uint8_t> src = Pattern(3000);
  std::vector<uint8_t> dst(3000);
  ByteView in{src.data(), src.size()};
  int calls = 0;
  SpiUserValue user = reinterpret_cast<SpiUserValue>(&calls);
  EXPECT_EQ(CopyWithProgress(in, 1, dst.data(), 3000, 1024, Count, user), ResultBrokenData);
  EXPECT_EQ(CopyWithProgress(in, 0xFFFFFFFFFFFFFFF0ull, dst.data(), 100, 1024, Count, user),
            ResultBrokenData);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(CopyWithProgress(in, 952, dst.data(), 2048, 1024, Count, user), ResultOk);
  EXPECT_EQ(calls, 2) << "a last full block is reported too";
  EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + 2048, src.begin() + 952));
  EXPECT_EQ(CopyWithProgress(in, 3000, dst.data(), 0, 1024, Count, user), ResultOk);
  EXPECT_EQ(CopyWithProgress(in, 0, dst.data(), 3000, 0, nullptr, 0), ResultOk);
}

// The start step runs once, however many first calls come together; those
// that come while it runs return only after it has run.
std::atomic<int> startRuns{0};
void SlowStart() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  startRuns += 1;
}

TEST(StartOnce, RunsTheStepOnceAndCallersWaitForIt) {
  std::atomic<int> sawItRun{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i)
    callers.emplace_back([&] {
      StartOnce(SlowStart);
      if (startRuns == 1) sawItRun += 1;
    });
  for (std::thread& t : callers) t.join();
  StartOnce(SlowStart);
  EXPECT_EQ(startRuns, 1);
  EXPECT_EQ(sawItRun, 4);
  EXPECT_TRUE(spi_startup::Started());
}

TEST(MemoryInput, BoundedByReadableMemory) {
  host::GuardedBuffer buffer(Pattern(5000));
  ASSERT_NE(buffer.data(), nullptr);
  DataRef d = MemoryInput(buffer.data() + 10);
  EXPECT_EQ(d.input.data + d.input.size, buffer.data() + 5000) << "ends at the guard page";
  EXPECT_EQ(d.input.data + d.at, buffer.data() + 10);
  EXPECT_LE(d.input.data, buffer.data());
  EXPECT_EQ(MemoryInput(nullptr).input.size, 0u);
  EXPECT_TRUE(platform::IsWritable(buffer.data(), 5000));
  EXPECT_FALSE(platform::IsWritable(buffer.data(), 5001));
}

// The memory map is read two ways: one mapping at a time where the kernel can,
// else as text. Both must give the same bounds for every kind of address.
const uint8_t constantBytes[64] = {1};
TEST(MemoryInput, MapQueryAndMapTextAgree) {
  host::GuardedBuffer guarded(Pattern(5000));
  std::vector<uint8_t> heap(100000, 7);
  // Larger than one probe of pages: bounded from the map.
  std::vector<uint8_t> large(9u << 20, 7);
  uint8_t stack[64] = {};
  const uint8_t* probes[] = {guarded.data(), guarded.data() + 4999, guarded.data() + 5000,
                             guarded.data() - 1, heap.data() + 50000, large.data() + (6u << 20),
                             stack, constantBytes,
                             reinterpret_cast<const uint8_t*>(&Pattern), nullptr};
  for (const uint8_t* p : probes) {
    const uint8_t *b1 = nullptr, *e1 = nullptr, *b2 = nullptr, *e2 = nullptr;
    bool r1 = platform::ReadableExtent(p, &b1, &e1);
    FailNth(platform::FaultMapQuery, 1);
    bool r2 = platform::ReadableExtent(p, &b2, &e2);
    EXPECT_EQ(r1, r2) << static_cast<const void*>(p);
    if (r1 && r2) {
      EXPECT_EQ(b1, b2) << static_cast<const void*>(p);
      EXPECT_EQ(e1, e2) << static_cast<const void*>(p);
      EXPECT_TRUE(b1 <= p && p < e1);
    }
    for (size_t n : {size_t{1}, size_t{5000}, size_t{5001}}) {
      bool w1 = platform::IsWritable(p, n);
      FailNth(platform::FaultMapQuery, 1);
      EXPECT_EQ(w1, platform::IsWritable(p, n)) << static_cast<const void*>(p) << " " << n;
    }
  }
  platform::ClearFaults();
  const uint8_t *b = nullptr, *e = nullptr;
  EXPECT_FALSE(platform::ReadableExtent(guarded.data() + 5000, &b, &e)) << "guard page";
  EXPECT_TRUE(platform::IsWritable(stack, sizeof stack));
  EXPECT_FALSE(platform::IsWritable(stack, size_t{1} << 30)) << "past the top of the stack";
  std::thread([] {
    uint8_t own[64] = {};
    EXPECT_TRUE(platform::IsWritable(own, sizeof own)) << "a second thread's stack";
    EXPECT_FALSE(platform::IsWritable(own, size_t{1} << 30));
  }).join();
  EXPECT_FALSE(platform::IsWritable(constantBytes, 1)) << "read-only data";
}

size_t seenSize;
int RecordHead(ByteView head) {
  seenSize = head.size;
  return head.size >= 4 && std::memcmp(head.data, "TARC", 4) == 0;
}

TEST(RunFormatTest, HeadReadingSeesOnlyWhatWasRead) {
  ScratchDir d;
  std::string f = d.Join("h");
  WriteBytes(f, {'T', 'A', 'R', 'C', 9});
  uintptr_t h = OpenHostHandle(f);
  EXPECT_EQ(RunFormatTest(h, 12, RecordHead), 1);
  EXPECT_EQ(seenSize, 5u);
  CloseHostHandle(h);
  h = OpenHostHandle(f);
  EXPECT_EQ(RunFormatTest(h, 0, RecordHead), 0);
  EXPECT_EQ(RunFormatTest(h, 100000, RecordHead), 1) << "reads at most 2048 bytes";
  CloseHostHandle(h);
  h = OpenHostHandle(f);
  FailNth(platform::FaultMap, 1);
  EXPECT_EQ(RunFormatTest(h, RecordHead), 0);
  EXPECT_EQ(RunFormatTest(h, RecordHead), 1);
  EXPECT_EQ(seenSize, 5u) << "the whole file from its start";
  CloseHostHandle(h);
  platform::ClearFaults();
}

// ---- Path primitives ------------------------------------------------------------------

TEST(Paths, AppendRespectsCapacityAndSeparators) {
  char path[16] = "abc";
  EXPECT_TRUE(AppendPathComponent(path, "1234567890", 15));  // 3 + 10 = 13 = 15 - 2
  EXPECT_EQ(std::string(path), std::string("abc") + Sep() + "1234567890");
  char full[16] = "abc";
  EXPECT_FALSE(AppendPathComponent(full, "12345678901", 15));
  EXPECT_STREQ(full, "abc") << "unchanged on failure";
  char ends[16];
  std::snprintf(ends, sizeof ends, "abc%c", Sep());
  EXPECT_TRUE(AppendPathComponent(ends, "x", 16));
  EXPECT_EQ(std::string(ends), std::string("abc") + Sep() + "x");
}

TEST(Paths, SeparatorsAndLastCharacter) {
  std::string s = std::string("a") + Sep() + "b" + Sep() + "c";
  EXPECT_EQ(FindLastSeparator(s.c_str()), 3);
  EXPECT_EQ(FindLastSeparator("abc"), -1);
  const char* t = "xyz";
  EXPECT_EQ(LastCharPointer(t), t + 2);
  const char* empty = "";
  EXPECT_EQ(LastCharPointer(empty), empty);
  EXPECT_FALSE(EnsureDirectory(""));
}

TEST(Paths, DoubleByteTrailIsNoSeparator) {
  if (!platform::IsLeadByte(0x95)) GTEST_SKIP() << "needs a double-byte code page (cp932)";
  const char* s = "a\\\x95\x5C";
  EXPECT_EQ(FindLastSeparator(s), 1);
  EXPECT_EQ(LastCharPointer(s), s + 4) << "double-byte last character: the terminator";
  const char* lone = "ab\x95";
  EXPECT_EQ(LastCharPointer(lone), lone + 3);
  char path[32] = "d\x95\x5C";
  EXPECT_TRUE(AppendPathComponent(path, "n", 32));
  EXPECT_STREQ(path, "d\x95\x5C\\n");
}

}  // namespace

TEST(Paths, MemberNamesStayInTheDestination) {
  for (const char* ok : {"#00001.BMP", "sub/name", "a..b", "..name", "name.."})
    EXPECT_TRUE(StaysInDirectory(ok)) << ok;
  for (const char* bad : {"", "..", "../x", "a/../../x", "/etc/x"}) EXPECT_FALSE(StaysInDirectory(bad)) << bad;
#ifdef _WIN32
  for (const char* bad : {"..\\x", "a\\..\\x", "\\x", "C:\\x", "C:x", "name:stream"})
    EXPECT_FALSE(StaysInDirectory(bad)) << bad;
#endif
}
