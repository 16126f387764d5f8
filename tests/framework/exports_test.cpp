// The framework through the exports of the Tarc plug-ins, loaded as a host does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "host/host.h"
#include "platform/platform.h"
#include "tarc.h"
#include "test_files.h"

namespace {

using Call = ProgressLog::Call;

std::string Name(const fileInfo& r) { return std::string(r.filename, strnlen(r.filename, 200)); }
std::string PathOf(const fileInfo& r) { return std::string(r.path, strnlen(r.path, 200)); }

bool AllZero(const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

// "m<i>"; built by append, as GCC 12 misreads "m" + to_string() (-Wrestrict).
std::string MemberName(int i) {
  std::string s = "m";
  s.append(std::to_string(i));
  return s;
}

// A handle value no plug-in may store: tells "untouched" from "set to null".
SpiHandle const Untouched = reinterpret_cast<SpiHandle>(static_cast<uintptr_t>(0x5A5A5A50));
// Read-only memory for pointers that must be refused as unwritable.
const char ReadOnly[512] = "read-only";

const std::vector<TarcMember> ThreeMembers = {
    {"", "one.bin", Pattern(10, 1)},
    {"", "Two.BIN", Pattern(2500, 2)},
    {"", "three.bin", Pattern(5000, 3)},
};

// Every test runs over the plain exports and over their Unicode (W) forms:
// the fixture's calls take narrow texts and widen them for the W form, and
// hand back W records as narrow ones, so that one table checks both.
enum class Form { Ansi, Wide };

using WideText = std::basic_string<SpiWChar>;

WideText Widen(const char* text) {
  std::vector<SpiWChar> w(std::strlen(text) + 1);
  EXPECT_TRUE(platform::NarrowToUtf16(text, w.data(), w.size())) << text;
  return WideText(w.data());
}

std::string Narrow(const SpiWChar* text, size_t width) {
  size_t n = 0;
  while (n < width && text[n]) ++n;
  std::string out(n * 4, '\0');
  out.resize(platform::Utf16ToNarrow(reinterpret_cast<const uint16_t*>(text), n, out.data(),
                                     out.size()));
  return out;
}

fileInfo NarrowRecord(const fileInfoW& w) {
  fileInfo r{};
  std::memcpy(r.method, w.method, sizeof r.method);
  r.position = static_cast<SpiRecordInt>(w.position);
  r.compsize = static_cast<SpiRecordInt>(w.compsize);
  r.filesize = static_cast<SpiRecordInt>(w.filesize);
  r.timestamp = static_cast<SpiRecordInt>(w.timestamp);
  const std::string path = Narrow(w.path, 200), name = Narrow(w.filename, 200);
  std::memcpy(r.path, path.data(), std::min<size_t>(path.size(), 200));
  std::memcpy(r.filename, name.data(), std::min<size_t>(name.size(), 200));
  r.crc = w.crc;
  return r;
}

bool IsMemoryInput(unsigned flags) { return (flags & InputKindMask) == InputMemory; }
bool IsMemoryOutput(unsigned flags) { return (flags & OutputKindMask) >> OutputKindShift == OutputMemory; }

class TarcTest : public ::testing::TestWithParam<Form> {
 protected:
  void SetUp() override { Load("Tarc", &plugin); }
  void TearDown() override { host::UnloadPlugin(&plugin); }
  static void Load(const char* name, host::Plugin* p) {
    std::string error;
    ASSERT_TRUE(host::LoadPlugin(PluginPath(name), p, &error)) << error;
    ASSERT_NE(p->getArchiveInfoW, nullptr) << "every archive export has its W form";
  }
  bool Wide() const { return GetParam() == Form::Wide; }
  size_t RecordSize() const { return Wide() ? sizeof(fileInfoW) : sizeof(fileInfo); }

  // A text argument in the form under test: file names widened, memory input
  // and pointers that must be refused passed as they are.
  const SpiWChar* WideArg(const char* text, bool asPointer) {
    if (!text || asPointer || text == ReadOnly) return reinterpret_cast<const SpiWChar*>(text);
    texts.push_back(Widen(text));
    return texts.back().c_str();
  }

  int GetPluginInfo(const host::Plugin& p, int index, char* buffer, int length) {
    if (!Wide()) return p.getPluginInfo(index, buffer, length);
    std::vector<SpiWChar> w(length > 0 ? length : 1, 'x');
    int n = p.getPluginInfoW(index, length > 0 ? w.data() : nullptr, length);
    for (int i = 0; i < length; ++i) buffer[i] = static_cast<char>(w[i]);
    return n;
  }
  int IsSupported(const host::Plugin& p, const char* name, uintptr_t dw) {
    return Wide() ? p.isSupportedW(WideArg(name, false), dw) : p.isSupported(name, dw);
  }
  int GetArchiveInfo(const host::Plugin& p, const char* source, SpiLength length, unsigned flags,
                     SpiHandle* slot) {
    if (!Wide()) return p.getArchiveInfo(source, length, flags, slot);
    return p.getArchiveInfoW(WideArg(source, IsMemoryInput(flags)), length, flags, slot);
  }
  int GetArchiveInfo(const char* source, SpiLength length, unsigned flags, SpiHandle* slot) {
    return GetArchiveInfo(plugin, source, length, flags, slot);
  }
  int GetFileInfo(const host::Plugin& p, const char* source, SpiLength length, const char* name,
                  unsigned flags, fileInfo* record) {
    if (!Wide()) return p.getFileInfo(source, length, name, flags, record);
    const SpiWChar* src = WideArg(source, IsMemoryInput(flags));
    if (reinterpret_cast<const char*>(record) == ReadOnly)
      return p.getFileInfoW(src, length, WideArg(name, false), flags,
                            reinterpret_cast<fileInfoW*>(record));
    fileInfoW w;
    std::memset(&w, 0xAA, sizeof w);
    int r = p.getFileInfoW(src, length, WideArg(name, false), flags, &w);
    *record = NarrowRecord(w);
    return r;
  }
  int GetFileInfo(const char* source, SpiLength length, const char* name, unsigned flags,
                  fileInfo* record) {
    return GetFileInfo(plugin, source, length, name, flags, record);
  }
  int GetFile(const char* source, SpiLength length, void* destination, unsigned flags,
              ProgressCallback progress, SpiUserValue user) {
    if (!Wide()) return plugin.getFile(source, length, destination, flags, progress, user);
    void* out = IsMemoryOutput(flags) ? destination
                                      : const_cast<SpiWChar*>(WideArg(
                                            static_cast<const char*>(destination), false));
    return plugin.getFileW(WideArg(source, IsMemoryInput(flags)), length, out, flags, progress,
                           user);
  }
  // The records of a list block, as narrow records; frees the block.
  std::vector<fileInfo> TakeList(SpiHandle h) {
    if (!Wide()) return host::TakeEntryList(h);
    std::vector<fileInfo> out;
    for (const fileInfoW& w : host::TakeEntryListW(h)) out.push_back(NarrowRecord(w));
    return out;
  }
  // Record i of a list block's bytes, as a narrow record.
  fileInfo RecordAt(const std::vector<uint8_t>& bytes, size_t i) {
    if (!Wide()) {
      fileInfo r;
      std::memcpy(&r, bytes.data() + i * sizeof r, sizeof r);
      return r;
    }
    fileInfoW w;
    std::memcpy(&w, bytes.data() + i * sizeof w, sizeof w);
    return NarrowRecord(w);
  }

  // Writes an archive with pad bytes before it; returns its file name.
  std::string Archive(const std::vector<TarcMember>& members, uint32_t flags = 0,
                      size_t pad = 0) {
    std::vector<uint8_t> bytes(pad, 0xEE);
    std::vector<uint8_t> tarc = MakeTarc(members, flags);
    bytes.insert(bytes.end(), tarc.begin(), tarc.end());
    std::string path = dir.Join("input" + std::to_string(archives++) + ".tarc");
    WriteBytes(path, bytes);
    return path;
  }
  std::vector<fileInfo> List(const std::string& file, int32_t offset = 0, int* rc = nullptr) {
    SpiHandle h = Untouched;
    int r = GetArchiveInfo(file.c_str(), offset, InputFile, &h);
    if (rc) *rc = r;
    EXPECT_EQ(r, ResultOk);
    return r == ResultOk ? TakeList(h) : std::vector<fileInfo>{};
  }

  host::Plugin plugin;
  ScratchDir dir;
  int archives = 0;
  std::list<WideText> texts;  // the widened arguments, alive until the test ends
};

std::string FormName(const ::testing::TestParamInfo<Form>& info) {
  return info.param == Form::Wide ? "W" : "Ansi";
}

INSTANTIATE_TEST_SUITE_P(Forms, TarcTest, ::testing::Values(Form::Ansi, Form::Wide), FormName);

// ---- Information strings, configuration, format test -------------------------

TEST_P(TarcTest, PluginInfoCutsAndRefuses) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPluginInfo(plugin, 4, buffer, 16), 0);
  EXPECT_EQ(GetPluginInfo(plugin, -1, buffer, 16), 0);
  EXPECT_EQ(buffer[0], 'x') << "an index out of range leaves the buffer alone";
  EXPECT_EQ(GetPluginInfo(plugin, 0, buffer, 1), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(GetPluginInfo(plugin, 0, buffer, 5), 4);
  EXPECT_STREQ(buffer, "00AM");
  EXPECT_EQ(GetPluginInfo(plugin, 0, buffer, 4), 3);
  EXPECT_STREQ(buffer, "00A");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPluginInfo(plugin, 0, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x') << "no room at all: nothing written";
  EXPECT_EQ(host::PluginInfo(plugin, 2), "*.tarc");
  EXPECT_EQ(plugin.configurationDlg(nullptr, 0), ResultNotImplemented);
}

TEST_P(TarcTest, FormatTestByHandleAndByPointer) {
  std::string file = Archive(ThreeMembers);
  uintptr_t h = OpenHostHandle(file);
  ASSERT_LT(h, 0x10000u);
  EXPECT_EQ(IsSupported(plugin, "ignored", h), 1);
  EXPECT_EQ(IsSupported(plugin, "ignored", h), 1) << "the host's handle stays usable";
  CloseHostHandle(h);

  std::string empty = dir.Join("empty.tarc");
  WriteBytes(empty, {});
  h = OpenHostHandle(empty);
  EXPECT_EQ(IsSupported(plugin, "ignored", h), 0);
  CloseHostHandle(h);

  // The head at the very end of readable memory: four bytes are all there is.
  host::GuardedBuffer head(std::vector<uint8_t>{'T', 'A', 'R', 'C'});
  ASSERT_NE(head.data(), nullptr);
  EXPECT_EQ(IsSupported(plugin, "x", reinterpret_cast<uintptr_t>(head.data())), 1);
  host::GuardedBuffer other(std::vector<uint8_t>{'T', 'A', 'R'});
  EXPECT_EQ(IsSupported(plugin, "x", reinterpret_cast<uintptr_t>(other.data())), 0);
  // A region released by larger data and taken again by smaller: the data
  // still ends at the guard, and what the larger data left before it is gone.
  const size_t page = platform::PageSize();
  const uint8_t* bigEnd = nullptr;
  {
    host::GuardedBuffer big(std::vector<uint8_t>(8 * page, 'T'));
    bigEnd = big.data() + big.size();
  }
  host::GuardedBuffer reused(std::vector<uint8_t>{'T', 'A', 'R'});
  host::GuardedBuffer smaller(std::vector<uint8_t>(6 * page + 3, 'R'));
#ifndef _WIN32
  EXPECT_EQ(smaller.data() + smaller.size(), bigEnd);
#else
  (void)bigEnd;  // Windows keeps no regions
#endif
  EXPECT_EQ(reinterpret_cast<uintptr_t>(smaller.data() + smaller.size()) % page, 0u);
  EXPECT_TRUE(AllZero(smaller.data() - (page - 3), page - 3));
  EXPECT_EQ(IsSupported(plugin, "x", reinterpret_cast<uintptr_t>(reused.data())), 0);
  // 65536 is a pointer, to nothing readable.
  EXPECT_EQ(IsSupported(plugin, "x", 65536), 0);
  // 65535 is a handle, and no open one.
  EXPECT_EQ(IsSupported(plugin, "x", 65535), 0);
}

TEST_P(TarcTest, HeadReadingFormatTest) {
  host::Plugin head;
  Load("TarcHead", &head);
  std::string file = Archive(ThreeMembers);
  uintptr_t h = OpenHostHandle(file);
  EXPECT_EQ(IsSupported(head, "x", h), 1);
  // The read moved the position: at the end of the file nothing is read.
  EXPECT_EQ(IsSupported(head, "x", h), 0);
  CloseHostHandle(h);

  // A file shorter than the head still answers from the bytes it has.
  std::string shortFile = dir.Join("short.tarc");
  WriteBytes(shortFile, {'T', 'A', 'R', 'C', 0});
  h = OpenHostHandle(shortFile);
  EXPECT_EQ(IsSupported(head, "x", h), 1);
  CloseHostHandle(h);

  // By pointer the head must be readable for its full 12 bytes.
  host::GuardedBuffer four(std::vector<uint8_t>{'T', 'A', 'R', 'C'});
  EXPECT_EQ(IsSupported(head, "x", reinterpret_cast<uintptr_t>(four.data())), 0);
  std::vector<uint8_t> twelve = {'T', 'A', 'R', 'C', 0, 0, 0, 0, 0, 0, 0, 0};
  host::GuardedBuffer full(twelve);
  EXPECT_EQ(IsSupported(head, "x", reinterpret_cast<uintptr_t>(full.data())), 1);
  host::UnloadPlugin(&head);
}

// ---- Listing ---------------------------------------------------------------

TEST_P(TarcTest, EmptyListIsOneZeroRecord) {
  SpiHandle h = Untouched;
  ASSERT_EQ(GetArchiveInfo(Archive({}).c_str(), 0, InputFile, &h), ResultOk);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(SpiBlockSize(h), RecordSize());
  std::vector<uint8_t> bytes = host::TakeBlock(h);
  EXPECT_TRUE(AllZero(bytes.data(), bytes.size()));
}

TEST_P(TarcTest, ReservedListHoldsTerminatorAndOffsetPositions) {
  std::string file = Archive(ThreeMembers, TarcReserve, 512);
  SpiHandle h = Untouched;
  ASSERT_EQ(GetArchiveInfo(file.c_str(), 512, InputFile, &h), ResultOk);
  ASSERT_EQ(SpiBlockSize(h), 4 * RecordSize());
  std::vector<uint8_t> bytes = host::TakeBlock(h);
  EXPECT_TRUE(AllZero(bytes.data() + 3 * RecordSize(), RecordSize()));
  for (size_t i = 0; i < 3; ++i) {
    fileInfo r = RecordAt(bytes, i);
    EXPECT_EQ(Name(r), ThreeMembers[i].name);
    EXPECT_EQ(r.position, 512 + TarcEntryOffset(ThreeMembers, i));
    EXPECT_EQ(r.filesize, ThreeMembers[i].data.size());
    EXPECT_EQ(r.timestamp, 0u);
    EXPECT_EQ(r.crc, 0u);
  }
  // What a host of this interface reads by offset, without our record type:
  // the stride, the position's width and place, the name's place, zero padding.
  struct Layout { size_t stride, position, width, filename, crc; };
  constexpr Layout narrow = SPI_INTERFACE_32 ? Layout{428, 8, 4, 224, 424}
                                             : Layout{448, 8, 8, 240, 440};
  constexpr Layout wide = SPI_INTERFACE_32 ? Layout{828, 8, 4, 424, 824}
                                           : Layout{848, 8, 8, 440, 840};
  const Layout layout = Wide() ? wide : narrow;
  ASSERT_EQ(RecordSize(), layout.stride);
  for (size_t i = 0; i < 3; ++i) {
    const uint8_t* rec = bytes.data() + i * layout.stride;
    uint64_t position = 0;
    std::memcpy(&position, rec + layout.position, layout.width);
    EXPECT_EQ(position, 512 + TarcEntryOffset(ThreeMembers, i));
    std::string name;
    for (size_t k = layout.filename; rec[k] || (Wide() && rec[k + 1]); k += Wide() ? 2 : 1)
      name += static_cast<char>(rec[k]);
    EXPECT_EQ(name, ThreeMembers[i].name);
    EXPECT_TRUE(AllZero(rec + layout.crc, layout.stride - layout.crc));
  }
}

TEST_P(TarcTest, UnreservedListGrowsOneRecordAtATime) {
  std::vector<TarcMember> many;
  for (int i = 0; i < 40; ++i) many.push_back({"", MemberName(i), Pattern(3, 1)});
  SpiHandle h = Untouched;
  ASSERT_EQ(GetArchiveInfo(Archive(many).c_str(), 0, InputFile, &h), ResultOk);
  EXPECT_EQ(SpiBlockSize(h), 41 * RecordSize());
  std::vector<fileInfo> list = TakeList(h);
  ASSERT_EQ(list.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(Name(list[i]), MemberName(i));
}

TEST_P(TarcTest, UncommittedRecordIsZeroInTheList) {
  SpiHandle h = Untouched;
  ASSERT_EQ(GetArchiveInfo(Archive(ThreeMembers, TarcLeaveLast | TarcReserve).c_str(), 0,
                                  InputFile, &h),
            ResultOk);
  std::vector<uint8_t> bytes = host::TakeBlock(h);
  ASSERT_EQ(bytes.size(), 4 * RecordSize());
  EXPECT_FALSE(AllZero(bytes.data() + RecordSize(), RecordSize()));
  EXPECT_TRUE(AllZero(bytes.data() + 2 * RecordSize(), 2 * RecordSize()));
}

TEST_P(TarcTest, MemoryInputIgnoresLengthAndAddsNoOffset) {
  host::GuardedBuffer mem(MakeTarc(ThreeMembers));
  SpiHandle a = Untouched, b = Untouched;
  ASSERT_EQ(GetArchiveInfo(mem.source(), 0, InputMemory, &a), ResultOk);
  ASSERT_EQ(GetArchiveInfo(mem.source(), 777, InputMemory, &b), ResultOk);
  std::vector<uint8_t> x = host::TakeBlock(a), y = host::TakeBlock(b);
  EXPECT_EQ(x, y);
  fileInfo r = RecordAt(x, 1);
  EXPECT_EQ(r.position, TarcEntryOffset(ThreeMembers, 1));
}

TEST_P(TarcTest, ListFailures) {
  // Every failure leaves a null handle in a writable slot: hosts free what they find there.
  SpiHandle h = Untouched;
  EXPECT_EQ(GetArchiveInfo(dir.Join("missing").c_str(), 0, InputFile, &h),
            ResultReadError);
  EXPECT_EQ(h, nullptr);
  h = Untouched;
  EXPECT_EQ(GetArchiveInfo(Archive(ThreeMembers).c_str(), 0, 2, &h), ResultNotImplemented);
  EXPECT_EQ(h, nullptr);
  std::string empty = dir.Join("empty");
  WriteBytes(empty, {});
  h = Untouched;
  EXPECT_EQ(GetArchiveInfo(empty.c_str(), 0, InputFile, &h), ResultReadError);
  EXPECT_EQ(h, nullptr);
  h = Untouched;
  // Not of the format: the slot is cleared.
  EXPECT_EQ(GetArchiveInfo(Archive(ThreeMembers).c_str(), 1, InputFile, &h),
            ResultBrokenData);
  EXPECT_EQ(h, nullptr);
  // An offset beyond the end of the file is just more broken data.
  h = Untouched;
  EXPECT_EQ(GetArchiveInfo(Archive(ThreeMembers).c_str(), 0x7FFFFFF0, InputFile, &h),
            ResultBrokenData);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(GetArchiveInfo(Archive(ThreeMembers).c_str(), 0, InputFile,
                                  reinterpret_cast<SpiHandle*>(const_cast<char*>(ReadOnly))),
            ResultMemoryError);
}

TEST_P(TarcTest, ListOfTruncatedArchiveStopsAtTheEnd) {
  // The last member's header is cut short: reading stays within the input.
  std::vector<uint8_t> bytes = MakeTarc(ThreeMembers);
  bytes.resize(TarcEntryOffset(ThreeMembers, 2) + 6);
  host::GuardedBuffer mem(bytes);
  SpiHandle h = Untouched;
  EXPECT_EQ(GetArchiveInfo(mem.source(), 0, InputMemory, &h), ResultBrokenData);
  EXPECT_EQ(h, nullptr);
}

// ---- Lookup ----------------------------------------------------------------

TEST_P(TarcTest, RecordedRegionBoundsMemoryInputUntilForgotten) {
  // Memory past the guard page is no input: still a failure, not a crash.
  host::GuardedBuffer guarded(MakeTarc(ThreeMembers));
  SpiHandle h = Untouched;
  const int bad = GetArchiveInfo(guarded.source() + guarded.size(), 0, InputMemory, &h);
  EXPECT_TRUE(bad == ResultBrokenData || bad == ResultMemoryError) << bad;
  // A host's record cuts the archive short where the readable memory does not:
  // the plug-in took its bound from the record, not from the kernel.
  std::vector<uint8_t> bytes = MakeTarc(ThreeMembers);
  const size_t cut = TarcEntryOffset(ThreeMembers, 2) + 6;
  if (!platform::RecordKnownRegion(bytes.data(), cut)) GTEST_SKIP() << "no table on this system";
  h = Untouched;
  EXPECT_EQ(GetArchiveInfo(reinterpret_cast<const char*>(bytes.data()), 0, InputMemory, &h),
            ResultBrokenData);
  platform::ForgetKnownRegion(bytes.data());
  h = Untouched;
  ASSERT_EQ(GetArchiveInfo(reinterpret_cast<const char*>(bytes.data()), 0, InputMemory, &h),
            ResultOk);
  host::TakeBlock(h);
}

TEST_P(TarcTest, LookupMatchesCaseAndIgnoreCase) {
  std::string file = Archive(ThreeMembers, 0, 512);
  fileInfo r;
  EXPECT_EQ(GetFileInfo(file.c_str(), 512, "two.bin", InputFile, &r), ResultNotSupported);
  ASSERT_EQ(GetFileInfo(file.c_str(), 512, "two.bin", InputFile | IgnoreCase, &r),
            ResultOk);
  EXPECT_EQ(Name(r), "Two.BIN");
  EXPECT_EQ(r.position, 512 + TarcEntryOffset(ThreeMembers, 1));
  ASSERT_EQ(GetFileInfo(file.c_str(), 512, "Two.BIN", InputFile, &r), ResultOk);
  EXPECT_EQ(r.filesize, 2500u);
}

TEST_P(TarcTest, LookupJoinsPathAndNameAndTakesTheFirst) {
  std::vector<TarcMember> members = {
      {"dir\\", "same", Pattern(1, 1)},
      {"", "same", Pattern(2, 1)},
      {"", "same", Pattern(3, 1)},
  };
  std::string file = Archive(members);
  fileInfo r;
  ASSERT_EQ(GetFileInfo(file.c_str(), 0, "same", InputFile, &r), ResultOk);
  EXPECT_EQ(r.filesize, 2u) << "the bare name never matches an entry with a path; first wins";
  ASSERT_EQ(GetFileInfo(file.c_str(), 0, "dir\\same", InputFile, &r), ResultOk);
  EXPECT_EQ(r.filesize, 1u);
  EXPECT_EQ(PathOf(r), "dir\\");
}

TEST_P(TarcTest, LookupNotFoundCodesAndRecord) {
  std::string file = Archive(ThreeMembers);
  fileInfo r;
  EXPECT_EQ(GetFileInfo(file.c_str(), 0, "nothing", InputFile, &r), ResultNotSupported);
  EXPECT_EQ(Name(r), "three.bin") << "the record holds what the last entry left";
  host::Plugin head;
  Load("TarcHead", &head);
  EXPECT_EQ(GetFileInfo(head, file.c_str(), 0, "nothing", InputFile, &r), ResultReadError);
  host::UnloadPlugin(&head);
}

TEST_P(TarcTest, LookupFailures) {
  std::string file = Archive(ThreeMembers);
  fileInfo r;
  std::memset(&r, 0xAA, sizeof r);
  EXPECT_EQ(GetFileInfo(file.c_str(), 0, "one.bin", 2, &r), ResultNotImplemented);
  EXPECT_TRUE(AllZero(&r, sizeof r)) << "cleared before the input kind is looked at";
  EXPECT_EQ(GetFileInfo(dir.Join("missing").c_str(), 0, "one.bin", InputFile, &r),
            ResultReadError);
  EXPECT_EQ(GetFileInfo(file.c_str(), 0, "one.bin", InputFile,
                               reinterpret_cast<fileInfo*>(const_cast<char*>(ReadOnly))),
            ResultMemoryError);
  host::GuardedBuffer mem(MakeTarc(ThreeMembers));
  ASSERT_EQ(GetFileInfo(mem.source(), 99, "three.bin", InputMemory, &r), ResultOk);
  EXPECT_EQ(r.position, TarcEntryOffset(ThreeMembers, 2));
}

// ---- Extraction to a directory ------------------------------------------------

class ExtractTest : public TarcTest {
 protected:
  std::string file;
  void SetUp() override {
    TarcTest::SetUp();
    file = Archive(ThreeMembers, 0, 100);
  }
  uint32_t Position(size_t i) { return 100 + TarcEntryOffset(ThreeMembers, i); }
  int Get(size_t i, const std::string& destination, ProgressLog* log = nullptr) {
    return GetFile(file.c_str(), static_cast<int32_t>(Position(i)),
                          const_cast<char*>(destination.c_str()), InputFile,
                          log ? RecordProgress : nullptr, log ? log->value() : 0);
  }
};

INSTANTIATE_TEST_SUITE_P(Forms, ExtractTest, ::testing::Values(Form::Ansi, Form::Wide), FormName);

TEST_P(ExtractTest, CreatesLevelsAndReportsProgressInOrder) {
  std::string out = dir.Join("a") + Sep() + "b" + Sep() + "c";
  ProgressLog log;
  ASSERT_EQ(Get(1, out, &log), ResultOk);
  EXPECT_EQ(ReadBytes(out + Sep() + "Two.BIN"), ThreeMembers[1].data);
  EXPECT_EQ(log.calls, (std::vector<Call>{{0, 1}, {1024, 2500}, {2048, 2500}, {1, 1}}));
  EXPECT_EQ(ListNames(out), std::vector<std::string>{"Two.BIN"}) << "no temporary file left";
}

#ifndef _WIN32
TEST_P(ExtractTest, ExtractedFileHasTheUsualPermissions) {
  mode_t mask = umask(022);
  ASSERT_EQ(Get(0, dir.path()), ResultOk);
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(dir.Join("one.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << "not the temporary file's private mode";
}
#endif

TEST_P(ExtractTest, TrailingSeparatorGivesTheSameTarget) {
  std::string out = dir.Join("x");
  ASSERT_EQ(Get(0, out + Sep()), ResultOk);
  EXPECT_EQ(ReadBytes(out + Sep() + "one.bin"), ThreeMembers[0].data);
  EXPECT_EQ(ListNames(out), std::vector<std::string>{"one.bin"});
  ASSERT_EQ(Get(0, out), ResultOk) << "extracting again replaces the file";
  EXPECT_EQ(ListNames(out), std::vector<std::string>{"one.bin"});
}

TEST_P(ExtractTest, NullProgressGivesTheSameResult) {
  ASSERT_EQ(Get(2, dir.path()), ResultOk);
  EXPECT_EQ(ReadBytes(dir.Join("three.bin")), ThreeMembers[2].data);
}

TEST_P(ExtractTest, AbortDuringCopyKeepsTheOldTarget) {
  std::string target = dir.Join("Two.BIN");
  WriteBytes(target, {'o', 'l', 'd'});
  ProgressLog log;
  log.stopAtCall = 2;  // (2048, 2500)
  EXPECT_EQ(Get(1, dir.path(), &log), ResultAborted);
  EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(log.calls, (std::vector<Call>{{0, 1}, {1024, 2500}, {2048, 2500}}));
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"Two.BIN", "input0.tarc"}));
}

TEST_P(ExtractTest, AbortBeforeAnythingIsOpened) {
  ProgressLog log;
  log.stopAtCall = 0;
  std::string out = dir.Join("never");
  EXPECT_EQ(Get(1, out, &log), ResultAborted);
  EXPECT_FALSE(Exists(out));
}

// Mended: a failure leaves neither a new target nor a temporary file behind.
TEST_P(ExtractTest, FailedWriteLeavesNoNewTargetNorTemporary) {
  std::vector<TarcMember> broken = {{"", "cut.bin", Pattern(50, 1), 5000}};
  std::string f = Archive(broken);
  std::string out = dir.Join("out");
  ProgressLog log;
  EXPECT_EQ(GetFile(f.c_str(), TarcHeaderSize, const_cast<char*>(out.c_str()), InputFile,
                           RecordProgress, log.value()),
            ResultBrokenData);
  EXPECT_TRUE(ListNames(out).empty());
  EXPECT_EQ(log.calls, (std::vector<Call>{{0, 1}})) << "no (1, 1) after a failure";
}

// Mended: a member of no bytes is an empty file.
TEST_P(ExtractTest, EmptyMemberIsAnEmptyFile) {
  std::string f = Archive({{"", "empty.bin", {}}});
  std::string target = dir.Join("empty.bin");
  WriteBytes(target, {'o', 'l', 'd'});
  ProgressLog log;
  ASSERT_EQ(GetFile(f.c_str(), TarcHeaderSize, const_cast<char*>(dir.path().c_str()),
                           InputFile, RecordProgress, log.value()),
            ResultOk);
  EXPECT_TRUE(Exists(target));
  EXPECT_TRUE(ReadBytes(target).empty());
  EXPECT_EQ(log.calls, (std::vector<Call>{{0, 1}, {1, 1}}));
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"empty.bin", "input0.tarc", "input1.tarc"}));
}

TEST_P(ExtractTest, PathLimits) {
  // Directory and name of 258 characters together still fit (259 with the
  // separator); 259 do not.
  // The name is long so that the temporary file's name fits beside it.
  std::string name(30, 'n');
  std::string f = Archive({{"", name, Pattern(5, 1)}});
  std::string base = dir.path() + Sep();
  size_t room = 258 - name.size();
  ASSERT_LT(base.size(), room);
  std::string fits = base + std::string(room - base.size(), 'd');
  auto get = [&](const std::string& out) {
    return GetFile(f.c_str(), TarcHeaderSize, const_cast<char*>(out.c_str()), InputFile,
                          nullptr, 0);
  };
  EXPECT_EQ(get(fits), ResultOk);
  EXPECT_TRUE(Exists(fits + Sep() + name));
  std::string over = fits.substr(0, fits.size() - 1) + "ee";
  EXPECT_EQ(get(over), ResultWriteError);
  EXPECT_TRUE(ListNames(over).empty()) << "created, but nothing written into it";
  std::string tooLong = base + std::string(260 - base.size(), 'f');
  EXPECT_EQ(get(tooLong), ResultWriteError);
  EXPECT_FALSE(Exists(tooLong));
  EXPECT_EQ(get(""), ResultWriteError) << "an empty directory name names nothing";
}

TEST_P(ExtractTest, NameWithMissingSubdirectoryFails) {
  std::vector<TarcMember> sub = {{"", std::string("sub") + Sep() + "f.bin", Pattern(5, 1)}};
  std::string f = Archive(sub);
  std::string out = dir.Join("o");
  EXPECT_EQ(GetFile(f.c_str(), TarcHeaderSize, const_cast<char*>(out.c_str()), InputFile,
                           nullptr, 0),
            ResultWriteError);
  EXPECT_TRUE(ListNames(out).empty());
}

TEST_P(ExtractTest, FlagWordKinds) {
  std::string out = dir.Join("k");
  EXPECT_EQ(GetFile(file.c_str(), Position(0), const_cast<char*>(out.c_str()), 2, nullptr,
                           0),
            ResultNotImplemented);
  // Output kind 2: the member is located first, so a bad position says so.
  EXPECT_EQ(GetFile(file.c_str(), Position(0), const_cast<char*>(out.c_str()), 0x200,
                           nullptr, 0),
            ResultNotImplemented);
  EXPECT_EQ(GetFile(file.c_str(), 1, const_cast<char*>(out.c_str()), 0x200, nullptr, 0),
            ResultBrokenData);
  EXPECT_FALSE(Exists(out));
  EXPECT_EQ(GetFile(dir.Join("missing").c_str(), 0, const_cast<char*>(out.c_str()), 0,
                           nullptr, 0),
            ResultReadError);
}

TEST_P(ExtractTest, DoubleByteNameEndingInTrailBackslash) {
  if (!platform::IsLeadByte(0x95)) GTEST_SKIP() << "needs a double-byte code page (cp932)";
  // 0x95 0x5C is one character whose second byte is the backslash code.
  std::string out = dir.Join("\x95\x5C");
  ASSERT_EQ(Get(0, out), ResultOk);
  EXPECT_TRUE(platform::IsDirectory(out.c_str()));
  EXPECT_TRUE(Exists(out + "\\one.bin"));
  // Nested levels under such a name are created one by one as well.
  std::string nested = out + "\\\x95\x5C\\z";
  ASSERT_EQ(Get(0, nested), ResultOk);
  EXPECT_TRUE(Exists(nested + "\\one.bin"));
}

#ifdef _WIN32
#define WIDE_TEXT(s) L##s
#else
#define WIDE_TEXT(s) u##s
#endif

// Folders whose names a narrow path cannot always carry: 表 and ソ end in the
// byte 0x5C under code page 932, 日本 is two double-byte characters.
TEST_P(ExtractTest, UnicodeFoldersRoundTrip) {
  if (!Wide()) GTEST_SKIP() << "the narrow form has its own test above";
  const WideText sep(1, static_cast<SpiWChar>(Sep()));
  const WideText out = Widen(dir.path().c_str()) + sep + WIDE_TEXT("表") + sep + WIDE_TEXT("ソ") +
                       sep + WIDE_TEXT("日本");
  ASSERT_EQ(plugin.getFileW(Widen(file.c_str()).c_str(), Position(1),
                            const_cast<SpiWChar*>(out.c_str()), InputFile, nullptr, 0),
            ResultOk);
  EXPECT_TRUE(platform::IsDirectory(out.c_str()));
  platform::MappedFile f;
  ASSERT_TRUE(platform::MapExisting((out + sep + WIDE_TEXT("Two.BIN")).c_str(), &f));
  EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.size), ThreeMembers[1].data);
  platform::Unmap(&f);
  EXPECT_EQ(ListNames(dir.path()).size(), 2u) << "the archive and the first folder, nothing else";
}

// ---- Extraction to memory ---------------------------------------------------------

TEST_P(ExtractTest, MemoryBlockHasTheMinimumSizeAndZeroTail) {
  SpiHandle h = Untouched;
  std::vector<TarcMember> hundred = {{"", "h", Pattern(100, 9)}, {"", "z", {}}};
  std::string f = Archive(hundred);
  ASSERT_EQ(GetFile(f.c_str(), TarcHeaderSize, &h, OutputMemory << OutputKindShift,
                           nullptr, 0),
            ResultOk);
  ASSERT_EQ(SpiBlockSize(h), 2048u);
  std::vector<uint8_t> bytes = host::TakeBlock(h);
  EXPECT_TRUE(std::equal(hundred[0].data.begin(), hundred[0].data.end(), bytes.begin()));
  EXPECT_TRUE(AllZero(bytes.data() + 100, 2048 - 100));

  h = Untouched;
  ASSERT_EQ(GetFile(f.c_str(), TarcEntryOffset(hundred, 1), &h, 0x100, nullptr, 0),
            ResultOk);
  ASSERT_EQ(SpiBlockSize(h), 2048u);
  bytes = host::TakeBlock(h);
  EXPECT_TRUE(AllZero(bytes.data(), bytes.size()));

  h = Untouched;
  ProgressLog log;
  ASSERT_EQ(GetFile(file.c_str(), Position(2), &h, 0x100, RecordProgress, log.value()),
            ResultOk);
  ASSERT_EQ(SpiBlockSize(h), 5000u);
  EXPECT_EQ(host::TakeBlock(h), ThreeMembers[2].data);
  EXPECT_EQ(log.calls.size(), 2u + 4u);
}

TEST_P(ExtractTest, MemorySlotRules) {
  SpiHandle h = Untouched;
  ProgressLog log;
  log.stopAtCall = 1;
  EXPECT_EQ(GetFile(file.c_str(), Position(1), &h, 0x100, RecordProgress, log.value()),
            ResultAborted);
  EXPECT_EQ(h, nullptr) << "a failed write leaves a null handle";

  h = Untouched;
  std::string f = Archive({{"", "cut", Pattern(50, 1), 5000}});
  EXPECT_EQ(GetFile(f.c_str(), TarcHeaderSize, &h, 0x100, nullptr, 0), ResultBrokenData);
  EXPECT_EQ(h, nullptr);

  h = Untouched;
  EXPECT_EQ(GetFile(f.c_str(), 3, &h, 0x100, nullptr, 0), ResultBrokenData);
  EXPECT_EQ(h, Untouched) << "a member not found never reaches the slot";

  EXPECT_EQ(GetFile(file.c_str(), Position(0), const_cast<char*>(ReadOnly), 0x100,
                           nullptr, 0),
            ResultMemoryError);
}

TEST_P(ExtractTest, MemoryInputToMemory) {
  std::vector<uint8_t> bytes = MakeTarc(ThreeMembers);
  host::GuardedBuffer mem(bytes);
  SpiHandle h = Untouched;
  // With memory input the source points at the member's entry itself.
  const char* entry = mem.source() + TarcEntryOffset(ThreeMembers, 1);
  ASSERT_EQ(GetFile(entry, 12345, &h, InputMemory | 0x100, nullptr, 0), ResultOk);
  EXPECT_EQ(host::TakeBlock(h, 2500), ThreeMembers[1].data);
  // The last member ends exactly where readable memory ends.
  h = Untouched;
  entry = mem.source() + TarcEntryOffset(ThreeMembers, 2);
  ASSERT_EQ(GetFile(entry, 0, &h, InputMemory | 0x100, nullptr, 0), ResultOk);
  EXPECT_EQ(host::TakeBlock(h), ThreeMembers[2].data);
}

}  // namespace
