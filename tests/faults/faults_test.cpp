// Failures a healthy machine never shows: the n-th allocation, lock, mapping,
// temporary file, write or rename fails on purpose. Each case checks the
// result code, the host's handle slots, that the disk holds no temporary file
// and no new empty target, and that an existing target is unchanged; leaks
// are caught by the sanitizer build of this same test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "framework/framework.h"
#include "host/host.h"
#include "morvane/icon_picture.h"
#include "framework/picture.h"
#include "morvane/settings.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "quibbet/quibbet.h"
#include "test_files.h"
#include "tests/builders/icon.h"

// Morvane's settings live with its exports, which this test does not link.
int GroupIcon = TreatAsArchive;
int FileName = NumberName;

namespace {

using platform::FailNth;
using platform::FaultAlloc;
using platform::FaultLock;
using platform::FaultMap;
using platform::FaultRename;
using platform::FaultTempFile;
using platform::FaultWrite;

SpiHandle const Untouched = reinterpret_cast<SpiHandle>(static_cast<uintptr_t>(0x5EED));

// ---- A deliverable of the simplest kind: n members of known bytes -------------

struct Members {
  uint32_t count = 3;
  bool reserve = true;
  uint32_t size = 3000;  // bytes of each member
};
Members shape;

int ListMembers(DataRef, EntryTable* table) {
  if (shape.reserve) {
    int r = ReserveEntries(table, shape.count);
    if (r != ResultOk) return r;
  }
  for (uint32_t i = 0; i < shape.count; ++i) {
    fileInfo* e;
    int r = AcquireEntry(table, &e);
    if (r != ResultOk) return r;
    std::memset(e, 0, sizeof *e);
    std::memcpy(e->method, "FAULT", 5);
    e->position = i;
    e->compsize = e->filesize = shape.size;
    std::snprintf(e->filename, sizeof e->filename, "M%u.BIN", i);
    r = CommitEntry(table);
    if (r != ResultOk) return r;
  }
  return ResultOk;
}

struct Job {
  int writeResult = ResultOk;
};

int Locate(DataRef, MemberName* name, uint32_t* size, void*) {
  std::strcpy(name->narrow, "MEMBER.BIN");
  *size = shape.size;
  return ResultOk;
}

std::vector<uint8_t> Content() { return Pattern(shape.size, 9); }

int Write(DataRef, uint8_t* out, uint32_t size, ProgressCallback progress, SpiUserValue user, void* context) {
  std::vector<uint8_t> bytes = Content();
  int r = CopyWithProgress(ByteView{bytes.data(), bytes.size()}, 0, out, size, 1024, progress, user);
  if (r != ResultOk) return r;
  return static_cast<Job*>(context)->writeResult;
}

int progressCalls = 0;
int stopAtCall = 0;
int SPI_CALL Progress(int, int, SpiUserValue) {
  ++progressCalls;
  return progressCalls == stopAtCall ? 1 : 0;
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearFaults();
    shape = Members{};
    progressCalls = 0;
    stopAtCall = 0;
    input = dir.Join("input.bin");
    WriteBytes(input, std::vector<uint8_t>(64, 1));
    dest = dir.Join("out");
    target = dest + Sep() + "MEMBER.BIN";
  }
  void TearDown() override { platform::ClearFaults(); }

  int Extract(unsigned flags, void* destination, Job job = {}) {
    static const uint8_t memory[16] = {};
    progressCalls = 0;
    const char* source = (flags & InputKindMask) == InputFile ? input.c_str() : reinterpret_cast<const char*>(memory);
    return ExtractMember(source, 0, destination, flags, Progress, 0, &job, Locate, Write);
  }
  int ExtractToDisk(unsigned input = InputMemory, Job job = {}) {
    return Extract(input | (OutputFile << OutputKindShift), const_cast<char*>(dest.c_str()), job);
  }

  // What the destination folder holds besides what a test put there.
  std::vector<std::string> Left() { return Exists(dest) ? ListNames(dest) : std::vector<std::string>{}; }

  ScratchDir dir;
  std::string input, dest, target;
};

// ---- Entry table ---------------------------------------------------------------

TEST_F(Faults, EntryListAllocationAndLockFailures) {
  struct Case { platform::FaultKind kind; int n; bool reserve; int expected; const char* what; };
  const Case cases[] = {
      {FaultAlloc, 1, true, ResultNoMemory, "the first record"},
      {FaultLock, 1, true, ResultMemoryError, "locking the first record"},
      {FaultAlloc, 2, true, ResultNoMemory, "the reservation"},
      {FaultLock, 2, true, ResultMemoryError, "locking after the reservation"},
      {FaultAlloc, 2, false, ResultNoMemory, "growth by the first commit"},
      {FaultAlloc, 4, false, ResultNoMemory, "growth by the third commit"},
      {FaultLock, 3, false, ResultMemoryError, "locking after the second growth"},
  };
  for (const Case& c : cases) {
    shape.reserve = c.reserve;
    for (unsigned kind : {unsigned{InputMemory}, unsigned{InputFile}}) {
      const char* source = kind == InputFile ? input.c_str() : input.c_str();
      SpiHandle slot = Untouched;
      FailNth(c.kind, c.n);
      int r = BuildArchiveInfo(source, 0, kind, &slot, ListMembers);
      platform::ClearFaults();
      EXPECT_EQ(r, c.expected) << c.what;
      EXPECT_EQ(slot, nullptr) << c.what << ": the slot holds a null handle";
    }
  }
}

TEST_F(Faults, EntryListInputCannotBeMapped) {
  SpiHandle slot = Untouched;
  FailNth(FaultMap, 1);
  EXPECT_EQ(BuildArchiveInfo(input.c_str(), 0, InputFile, &slot, ListMembers), ResultReadError);
  EXPECT_EQ(slot, nullptr) << "the slot holds a null handle";
  fileInfo record;
  std::memset(&record, 0x77, sizeof record);
  FailNth(FaultMap, 1);
  EXPECT_EQ(LookupFileInfo(input.c_str(), 0, "M1.BIN", InputFile, &record, ListMembers, ResultNotSupported),
            ResultReadError);
}

TEST_F(Faults, EntryListSucceedsOnceTheFaultIsSpent) {
  // A fault scheduled past the last call never fires: the same listing succeeds.
  SpiHandle slot = nullptr;
  FailNth(FaultAlloc, 100);
  ASSERT_EQ(BuildArchiveInfo(input.c_str(), 0, InputFile, &slot, ListMembers), ResultOk);
  EXPECT_EQ(host::TakeEntryList(slot).size(), 3u);
}

TEST_F(Faults, LookupNeverAllocates) {
  fileInfo record;
  FailNth(FaultAlloc, 1);
  EXPECT_EQ(LookupFileInfo(input.c_str(), 0, "M2.BIN", InputMemory, &record, ListMembers, ResultNotSupported),
            ResultOk);
  EXPECT_STREQ(record.filename, "M2.BIN");
}

// ---- Extraction to a folder -------------------------------------------------------

TEST_F(Faults, InputCannotBeMapped) {
  FailNth(FaultMap, 1);
  EXPECT_EQ(ExtractToDisk(InputFile), ResultReadError);
  EXPECT_EQ(progressCalls, 1) << "only the (0, 1) report";
  EXPECT_TRUE(Left().empty());
}

TEST_F(Faults, DiskFailuresLeaveNoTraceAndNoNewTarget) {
  struct Case { platform::FaultKind kind; int n; const char* what; };
  // With memory input the temporary file's mapping is the first.
  const Case cases[] = {{FaultTempFile, 1, "temporary file"},
                        {FaultMap, 1, "mapping the temporary file"},
                        {FaultWrite, 1, "writing the view back"},
                        {FaultRename, 1, "the final rename"}};
  for (const Case& c : cases) {
    FailNth(c.kind, c.n);
    EXPECT_EQ(ExtractToDisk(), ResultWriteError) << c.what;
    platform::ClearFaults();
    EXPECT_TRUE(Left().empty()) << c.what << ": nothing left, not even an empty target";
  }
  // The same with file input, whose own mapping comes first.
  FailNth(FaultMap, 2);
  EXPECT_EQ(ExtractToDisk(InputFile), ResultWriteError);
  EXPECT_TRUE(Left().empty());
}

TEST_F(Faults, DiskFailuresKeepAnExistingTarget) {
  const std::vector<uint8_t> old = Pattern(777, 3);
  std::filesystem::create_directories(dest);
  WriteBytes(target, old);
  struct Case { platform::FaultKind kind; int n; int expected; const char* what; };
  const Case cases[] = {{FaultTempFile, 1, ResultWriteError, "temporary file"},
                        {FaultMap, 1, ResultWriteError, "mapping the temporary file"},
                        {FaultWrite, 1, ResultWriteError, "writing the view back"},
                        {FaultRename, 1, ResultWriteError, "the final rename"}};
  for (const Case& c : cases) {
    FailNth(c.kind, c.n);
    EXPECT_EQ(ExtractToDisk(), c.expected) << c.what;
    platform::ClearFaults();
    EXPECT_EQ(Left(), std::vector<std::string>{"MEMBER.BIN"}) << c.what << ": no temporary file left";
    EXPECT_EQ(ReadBytes(target), old) << c.what << ": the old target is whole";
  }
  // An abort from the host during the copy, and a deliverable that fails late.
  stopAtCall = 2;
  EXPECT_EQ(ExtractToDisk(), ResultAborted);
  stopAtCall = 0;
  EXPECT_EQ(ExtractToDisk(InputMemory, Job{ResultBrokenData}), ResultBrokenData);
  EXPECT_EQ(Left(), std::vector<std::string>{"MEMBER.BIN"});
  EXPECT_EQ(ReadBytes(target), old);
  // And once nothing fails, the member replaces it.
  EXPECT_EQ(ExtractToDisk(), ResultOk);
  EXPECT_EQ(ReadBytes(target), Content());
  EXPECT_EQ(Left(), std::vector<std::string>{"MEMBER.BIN"});
}

TEST_F(Faults, AbortAndLateFailureLeaveNoNewTarget) {
  stopAtCall = 3;  // (0, 1), (1024, 3000), then stop at (2048, 3000)
  EXPECT_EQ(ExtractToDisk(), ResultAborted);
  EXPECT_TRUE(Left().empty());
  stopAtCall = 0;
  EXPECT_EQ(ExtractToDisk(InputFile, Job{ResultBrokenData}), ResultBrokenData);
  EXPECT_TRUE(Left().empty());
}

TEST_F(Faults, TargetHeldOpenOrNotAFile) {
  // The target's name is taken by a folder: it cannot be opened.
  std::filesystem::create_directories(target);
  EXPECT_EQ(ExtractToDisk(), ResultWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(target));
  EXPECT_EQ(Left(), std::vector<std::string>{"MEMBER.BIN"}) << "no temporary file left";
  std::filesystem::remove_all(dest);
  // The destination itself is a file.
  WriteBytes(dest, {1, 2, 3});
  EXPECT_EQ(ExtractToDisk(), ResultWriteError);
  EXPECT_EQ(ReadBytes(dest), (std::vector<uint8_t>{1, 2, 3}));
}

// ---- Extraction to memory -----------------------------------------------------------

TEST_F(Faults, MemoryBlockFailures) {
  for (unsigned input : {unsigned{InputMemory}, unsigned{InputFile}}) {
    SpiHandle slot = Untouched;
    FailNth(FaultAlloc, 1);
    EXPECT_EQ(Extract(input | (OutputMemory << OutputKindShift), &slot), ResultNoMemory);
    EXPECT_EQ(slot, Untouched) << "an allocation failure leaves the slot alone";
    FailNth(FaultLock, 1);
    EXPECT_EQ(Extract(input | (OutputMemory << OutputKindShift), &slot), ResultMemoryError);
    EXPECT_EQ(slot, Untouched) << "a lock failure frees the block and leaves the slot alone";
    platform::ClearFaults();
    stopAtCall = 2;
    EXPECT_EQ(Extract(input | (OutputMemory << OutputKindShift), &slot), ResultAborted);
    EXPECT_EQ(slot, nullptr) << "an abort during the copy frees the block and clears the slot";
    stopAtCall = 0;
    slot = Untouched;
    EXPECT_EQ(Extract(input | (OutputMemory << OutputKindShift), &slot, Job{ResultBrokenData}), ResultBrokenData);
    EXPECT_EQ(slot, nullptr);
    FailNth(FaultMap, 1);
    slot = Untouched;
    if (input == InputFile) {
      EXPECT_EQ(Extract(input | (OutputMemory << OutputKindShift), &slot), ResultReadError);
      EXPECT_EQ(slot, Untouched);
    }
    platform::ClearFaults();
  }
}

// ---- A real deliverable under the same faults ---------------------------------------------

TEST_F(Faults, IconSplitterListingAndExtraction) {
  build::Bytes icon = build::SmallIcon(2, 3);
  host::GuardedBuffer mem(icon);
  for (auto [kind, n, expected] : {std::tuple{FaultAlloc, 1, ResultNoMemory}, std::tuple{FaultAlloc, 2, ResultNoMemory},
                                   std::tuple{FaultLock, 1, ResultMemoryError}, std::tuple{FaultLock, 2, ResultMemoryError}}) {
    SpiHandle slot = Untouched;
    FailNth(kind, n);
    EXPECT_EQ(BuildArchiveInfo(mem.source(), 0, InputMemory, &slot, ListIconImages), expected);
    platform::ClearFaults();
    EXPECT_EQ(slot, nullptr);
  }
  IconExtraction job;
  FailNth(FaultTempFile, 1);
  EXPECT_EQ(ExtractMember(mem.source() + 22, 0, const_cast<char*>(dest.c_str()), InputMemory, nullptr, 0, &job,
                          PrepareIconImage, WriteIconImage),
            ResultWriteError);
  EXPECT_TRUE(Left().empty());
  FailNth(FaultRename, 1);
  EXPECT_EQ(ExtractMember(mem.source() + 22, 0, const_cast<char*>(dest.c_str()), InputMemory, nullptr, 0, &job,
                          PrepareIconImage, WriteIconImage),
            ResultWriteError);
  EXPECT_TRUE(Left().empty());
  platform::ClearFaults();
  EXPECT_EQ(ExtractMember(mem.source() + 22, 0, const_cast<char*>(dest.c_str()), InputMemory, nullptr, 0, &job,
                          PrepareIconImage, WriteIconImage),
            ResultOk);
  EXPECT_EQ(Left(), std::vector<std::string>{"#00002.CUR"});
}

// ---- The bitmap blocks of the picture plug-in -----------------------------------------------

int FailingBits(ByteView, const DibTarget*, ProgressCallback, SpiUserValue) { return ResultBrokenData; }

TEST_F(Faults, PictureBlockFailures) {
  GroupIcon = TreatAsArchive;
  build::Bytes icon = build::IconFile(1, {build::IconImage(32, 32, 4)});
  host::GuardedBuffer mem(icon);
  const int32_t size = static_cast<int32_t>(icon.size());
  struct Case { platform::FaultKind kind; int n; int expected; bool infoNull, bitsNull; const char* what; };
  const Case cases[] = {
      {FaultAlloc, 1, ResultNoMemory, true, false, "the information block"},
      {FaultLock, 1, ResultMemoryError, true, true, "locking the information block"},
      {FaultAlloc, 2, ResultNoMemory, true, true, "the bits block"},
      {FaultLock, 2, ResultMemoryError, true, true, "locking the bits block"},
  };
  for (const Case& c : cases) {
    SpiHandle info = Untouched, bits = Untouched;
    FailNth(c.kind, c.n);
    int r = PictureFromInput(mem.source(), size, InputMemory, &info, &bits, Progress, 0, FillIconPictureInfo,
                             CopyIconBits);
    platform::ClearFaults();
    EXPECT_EQ(r, c.expected) << c.what;
    EXPECT_EQ(info, c.infoNull ? nullptr : Untouched) << c.what;
    EXPECT_EQ(bits, c.bitsNull ? nullptr : Untouched) << c.what;
  }
  progressCalls = 0;
  SpiHandle info = Untouched, bits = Untouched;
  EXPECT_EQ(BuildDib(ByteView{icon.data(), icon.size()}, FillIconPictureInfo, FailingBits, nullptr, 0, &info, &bits),
            ResultBrokenData);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(bits, nullptr);

  // File input that cannot be mapped: nothing is written at all, and no report follows (0, 1).
  std::string file = dir.Join("icon.ico");
  WriteBytes(file, icon);
  info = bits = Untouched;
  progressCalls = 0;
  FailNth(FaultMap, 1);
  EXPECT_EQ(PictureFromInput(file.c_str(), 0, InputFile, &info, &bits, Progress, 0, FillIconPictureInfo,
                             CopyIconBits),
            ResultReadError);
  EXPECT_EQ(info, Untouched);
  EXPECT_EQ(bits, Untouched);
  EXPECT_EQ(progressCalls, 1);
  PictureInfo record;
  std::memset(&record, 0x44, sizeof record);
  FailNth(FaultMap, 1);
  EXPECT_EQ(PictureInfoFromInput(file.c_str(), 0, InputFile, FillIconPictureInfo, &record), ResultReadError);
  EXPECT_EQ(record.width, 0x44444444) << "the record is left as it was";

  // Once nothing fails the same call hands over both blocks.
  platform::ClearFaults();
  ASSERT_EQ(PictureFromInput(file.c_str(), 0, InputFile, &info, &bits, nullptr, 0, FillIconPictureInfo,
                             CopyIconBits),
            ResultOk);
  EXPECT_EQ(host::TakeBlock(info).size(), 40u + 16 * 4);
  EXPECT_EQ(host::TakeBlock(bits).size(), 16u * 32);
}

}  // namespace
