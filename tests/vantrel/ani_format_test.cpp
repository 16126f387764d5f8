// The animated cursor walk, linked directly so that the setting can be varied
// and the callbacks driven with exact input bounds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <new>
#include <string>

#include "tests/builders/ani.h"
#include "framework/framework.h"
#include "host/host.h"
#include "vantrel/ani_format.h"

using namespace build;

int ListAllFrames = 0;

// The largest block asked for through nothrow array new while watched: the frame
// table is the only such allocation of the walk.
static size_t largestRequest = 0;
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  if (n > largestRequest) largestRequest = n;
  try {
    return ::operator new[](n);
  } catch (...) {
    return nullptr;
  }
}

namespace {

struct Listing {
  int result = -100;
  std::vector<fileInfo> members;
};

Listing List(const Bytes& file, int listAll) {
  ListAllFrames = listAll;
  host::GuardedBuffer buf(file);
  Listing out;
  EntryTable table;
  out.result = OpenEntryList(&table, 0);
  if (out.result != ResultOk) return out;
  out.result = ListAniFrames(DataRef{ByteView{buf.data(), buf.size()}, 0}, &table);
  CloseEntryList(&table, out.result);
  if (out.result == ResultOk) out.members = host::TakeEntryList(table.block);
  return out;
}

struct Extracted {
  int result = -100;
  std::string name;
  Bytes bytes;
};

// input is the whole readable input; at is where the host's position points.
Extracted Extract(const Bytes& input, uint64_t at, int listAll) {
  ListAllFrames = listAll;
  host::GuardedBuffer buf(input);
  DataRef data{ByteView{buf.data(), buf.size()}, at};
  Extracted out;
  MemberName name{};
  uint32_t size = 0;
  AniExtract context;
  out.result = PrepareAniFrame(data, &name, &size, &context);
  if (out.result != ResultOk) return out;
  out.name = name.narrow;
  out.bytes.resize(size ? size : 1);
  out.bytes.resize(size);
  out.result = WriteAniFrame(data, out.bytes.data(), size, nullptr, 0, &context);
  return out;
}

std::vector<Bytes> FourCursors() {
  return {SeededIconFile(2, 40, 1), SeededIconFile(2, 77, 2), SeededIconFile(2, 300, 3),
          SeededIconFile(2, 5, 4)};
}

std::string Name(const fileInfo& f) { return std::string(f.filename); }

TEST(AniHeader, SignatureAndFormTypeOnly) {
  Bytes head = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'A', 'C', 'O', 'N'};
  EXPECT_EQ(TestAniHeader(ByteView{head.data(), head.size()}), 1);
  EXPECT_EQ(TestAniHeader(ByteView{head.data(), 11}), 0);
  head[11] = 'X';
  EXPECT_EQ(TestAniHeader(ByteView{head.data(), head.size()}), 0);
}

TEST(AniListing, FramesByNumberWithSizesAndMethod) {
  AniLayout layout;
  layout.frames = FourCursors();
  for (int listAll : {0, 1}) {  // without "seq " both settings list the frames
    Listing l = List(BuildAni(layout), listAll);
    ASSERT_EQ(l.result, ResultOk);
    ASSERT_EQ(l.members.size(), 4u);
    for (uint32_t k = 0; k < 4; ++k) {
      const fileInfo& f = l.members[k];
      EXPECT_EQ(Name(f), "#0000" + std::to_string(k + 1) + ".CUR");
      EXPECT_EQ(f.position, k);
      EXPECT_EQ(std::memcmp(f.method, "-ani-\0\0\0", 8), 0);
      EXPECT_EQ(f.compsize, layout.frames[k].size());
      EXPECT_EQ(f.filesize, layout.frames[k].size());
      EXPECT_EQ(f.timestamp, 0u);
      EXPECT_EQ(f.crc, 0u);
      EXPECT_EQ(f.path[0], 0);
    }
  }
}

TEST(AniListing, StepsWhenAllFramesIsOn) {
  AniLayout layout;
  layout.frames = FourCursors();
  layout.steps = std::vector<uint32_t>{0, 1, 2, 3, 2, 1};
  Bytes file = BuildAni(layout);

  Listing steps = List(file, 1);
  ASSERT_EQ(steps.result, ResultOk);
  ASSERT_EQ(steps.members.size(), 6u);
  EXPECT_EQ(Name(steps.members[5]), "#00006.CUR");
  EXPECT_EQ(steps.members[4].filesize, layout.frames[2].size());
  EXPECT_EQ(steps.members[5].filesize, layout.frames[1].size());
  Extracted fifth = Extract(file, 4, 1);
  ASSERT_EQ(fifth.result, ResultOk);
  EXPECT_EQ(fifth.name, "#00005.CUR");
  EXPECT_EQ(fifth.bytes, layout.frames[2]);
  EXPECT_EQ(Extract(file, 5, 1).bytes, layout.frames[1]);

  Listing frames = List(file, 0);
  ASSERT_EQ(frames.result, ResultOk);
  EXPECT_EQ(frames.members.size(), 4u);
  EXPECT_EQ(Extract(file, 3, 0).bytes, layout.frames[3]);
  EXPECT_EQ(Extract(file, 4, 0).result, ResultBrokenData);  // no frame 4
}

TEST(AniListing, StepCountZeroListsNothing) {
  AniLayout layout;
  layout.frames = FourCursors();
  layout.steps = std::vector<uint32_t>{0, 1};
  layout.stepCount = 0;
  Listing l = List(BuildAni(layout), 1);
  EXPECT_EQ(l.result, ResultOk);
  EXPECT_TRUE(l.members.empty());
  EXPECT_EQ(Extract(BuildAni(layout), 0, 1).result, ResultBrokenData);
}

TEST(AniListing, ExtensionFollowsTheFramesOwnType) {
  AniLayout layout;
  layout.frames = {SeededIconFile(1, 10, 1), SeededIconFile(2, 10, 2), SeededIconFile(3, 10, 3),
                   SeededIconFile(0x0101, 10, 4)};
  Listing l = List(BuildAni(layout), 0);
  ASSERT_EQ(l.result, ResultOk);
  ASSERT_EQ(l.members.size(), 4u);
  EXPECT_EQ(Name(l.members[0]), "#00001.ICO");
  EXPECT_EQ(Name(l.members[1]), "#00002.CUR");
  EXPECT_EQ(Name(l.members[2]), "#00003.CUR");
  EXPECT_EQ(Name(l.members[3]), "#00004.CUR");
  EXPECT_EQ(Extract(BuildAni(layout), 0, 0).name, "#00001.ICO");
}

TEST(AniListing, OddFramesAreReadWithoutPadBytes) {
  AniLayout layout;
  layout.frames = {SeededIconFile(2, 1, 1), SeededIconFile(1, 3, 2), SeededIconFile(2, 8, 3)};
  Bytes file = BuildAni(layout);
  Listing l = List(file, 0);
  ASSERT_EQ(l.result, ResultOk);
  ASSERT_EQ(l.members.size(), 3u);
  for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(Extract(file, k, 0).bytes, layout.frames[k]);
  EXPECT_EQ(Name(l.members[1]), "#00002.ICO");

  // A writer that pads odd chunks shifts every later frame by one byte: the
  // misread size runs off the file and is refused.
  layout.padOddFrames = true;
  EXPECT_EQ(List(BuildAni(layout), 0).result, ResultBrokenData);
}

TEST(AniExtraction, EveryMemberByteForByteAtOffset512) {
  AniLayout layout;
  layout.frames = FourCursors();
  layout.offset = 512;
  Bytes input = BuildAni(layout);
  for (uint32_t k = 0; k < 4; ++k) {
    Extracted e = Extract(input, 512 + k, 0);
    ASSERT_EQ(e.result, ResultOk) << k;
    EXPECT_EQ(e.name, "#0000" + std::to_string(k + 1) + ".CUR");
    EXPECT_EQ(e.bytes, layout.frames[k]);
  }
  // Positions before the header find no animated cursor.
  EXPECT_EQ(Extract(input, 511, 0).result, ResultBrokenData);
}

TEST(AniExtraction, HeaderSearchStopsAtTheStartOfTheInput) {
  AniLayout layout;
  layout.frames = FourCursors();
  layout.infoList = false;
  Bytes file = BuildAni(layout);
  // The header is found at offset 0 itself...
  EXPECT_EQ(Extract(file, 3, 0).bytes, layout.frames[3]);
  // ...but an input that begins one byte after it has no header to find, even
  // though the byte before the input would complete one.
  Bytes cut(file.begin() + 1, file.end());
  EXPECT_EQ(Extract(cut, 2, 0).result, ResultBrokenData);
  // A position beyond the input is no member.
  EXPECT_EQ(Extract(file, file.size() + 100, 0).result, ResultBrokenData);
}

// Each damage gives 3 from the listing (both settings) and from extracting member 0.
struct Damage {
  const char* what;
  void (*apply)(Bytes&);
};

uint32_t Le32At(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

const Damage damages[] = {
    {"frame count 0", [](Bytes& b) { Put32(b, FindId(b, "anih") + 12, 0); }},
    {"frame count 4294967295", [](Bytes& b) { Put32(b, FindId(b, "anih") + 12, 0xFFFFFFFF); }},
    {"fram list runs off the end", [](Bytes& b) { Put32(b, FindId(b, "anih") + 12, 5); }},
    {"anih too short for its counts", [](Bytes& b) { Put32(b, FindId(b, "anih") + 4, 8); }},
    {"chunk size negative", [](Bytes& b) { Put32(b, 16, 0x80000000); }},
    {"chunk size -1", [](Bytes& b) { Put32(b, 16, 0xFFFFFFFF); }},
    {"chunk size zero", [](Bytes& b) { Put32(b, 16, 0); }},
    {"chunk size beyond the file", [](Bytes& b) { Put32(b, 16, 0x7FFFFFF0); }},
    {"RIFF size beyond the file", [](Bytes& b) { Put32(b, 4, static_cast<uint32_t>(b.size() + 1)); }},
    {"RIFF size ends before anih", [](Bytes& b) { Put32(b, 4, 20); }},
    {"form type WAVE", [](Bytes& b) { std::memcpy(b.data() + 8, "WAVE", 4); }},
    {"no fram list", [](Bytes& b) { std::memcpy(b.data() + FindId(b, "fram"), "frum", 4); }},
    {"first frame size negative",
     [](Bytes& b) { Put32(b, FindId(b, "fram") + 8, 0xFFFFFF00); }},
    {"first frame size beyond the file",
     [](Bytes& b) { Put32(b, FindId(b, "fram") + 8, Le32At(b, FindId(b, "fram") + 8) + 10000); }},
    {"truncated inside the last frame's header",
     [](Bytes& b) { b.resize(b.size() - (8 + 22 + 5) + 10); }},  // last frame: 22 + 5 bytes
};

TEST(AniHostile, EachDamageGivesBrokenData) {
  AniLayout layout;
  layout.frames = FourCursors();
  layout.steps = std::vector<uint32_t>{0, 1, 2, 3};
  for (const Damage& d : damages) {
    Bytes file = BuildAni(layout);
    d.apply(file);
    EXPECT_EQ(List(file, 0).result, ResultBrokenData) << d.what;
    EXPECT_EQ(List(file, 1).result, ResultBrokenData) << d.what;
    EXPECT_EQ(Extract(file, 0, 0).result, ResultBrokenData) << d.what;
  }
}

TEST(AniHostile, CountsAreReadOnlyInsideAnih) {
  AniLayout layout;
  layout.frames = FourCursors();
  Bytes file = BuildAni(layout);
  // Shrink "anih" to 4 bytes and let a chunk follow whose header bytes would
  // pass for a frame count of 4: the counts are not taken from it.
  size_t anih = FindId(file, "anih");
  Put32(file, anih + 4, 4);
  Put32(file, anih + 12, 4);
  Put32(file, anih + 16, 24);
  ASSERT_EQ(List(file, 0).result, ResultBrokenData);
  Put32(file, anih + 4, 36);
  Put32(file, anih + 12, 4);
  EXPECT_EQ(List(file, 0).result, ResultOk);
}

TEST(AniHostile, StepTableStaysInsideItsChunk) {
  AniLayout layout;
  layout.frames = FourCursors();
  layout.steps = std::vector<uint32_t>{0, 1, 2, 3};
  const uint32_t counts[] = {5, 0x40000000, 0xFFFFFFFF};
  for (uint32_t stepCount : counts) {
    layout.stepCount = stepCount;
    Bytes file = BuildAni(layout);
    EXPECT_EQ(List(file, 1).result, ResultBrokenData) << stepCount;
    EXPECT_EQ(Extract(file, 4, 1).result, ResultBrokenData) << stepCount;
    // Steps inside the chunk still extract; the frames alone still list.
    EXPECT_EQ(Extract(file, 3, 1).bytes, layout.frames[3]) << stepCount;
    EXPECT_EQ(List(file, 0).members.size(), 4u) << stepCount;
  }
}

TEST(AniHostile, StepNamingAFrameBeyondTheCount) {
  AniLayout layout;
  layout.frames = FourCursors();
  for (uint32_t bad : {4u, 0xFFFFFFFFu}) {
    layout.steps = std::vector<uint32_t>{0, bad, 1};
    Bytes file = BuildAni(layout);
    EXPECT_EQ(List(file, 1).result, ResultBrokenData) << bad;
    EXPECT_EQ(Extract(file, 1, 1).result, ResultBrokenData) << bad;
    EXPECT_EQ(Extract(file, 2, 1).bytes, layout.frames[1]) << bad;
  }
}

TEST(AniHostile, HugeFrameCountAllocatesNothingLarge) {
  AniLayout layout;
  layout.frames = FourCursors();
  for (uint32_t count : {0xFFFFFFFFu, 0x10000000u, 200u}) {
    layout.frameCount = count;
    Bytes file = BuildAni(layout);
    largestRequest = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(List(file, 0).result, ResultBrokenData) << count;
    EXPECT_EQ(Extract(file, 0, 0).result, ResultBrokenData) << count;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << count;
    EXPECT_LE(largestRequest, file.size()) << count;
  }
}

// Every prefix and every single-byte damage of a small file: each call ends
// with 0 or 3, never reading outside the guarded input.
TEST(AniHostile, TruncationsAndByteDamageNeverMisbehave) {
  AniLayout layout;
  layout.frames = {SeededIconFile(2, 3, 1), SeededIconFile(1, 9, 2)};
  layout.steps = std::vector<uint32_t>{1, 0, 1};
  const Bytes whole = BuildAni(layout);
  auto check = [](const Bytes& file, const std::string& what) {
    for (int listAll : {0, 1}) {
      int r = List(file, listAll).result;
      EXPECT_TRUE(r == ResultOk || r == ResultBrokenData) << what << " list " << r;
      for (uint64_t k = 0; k < 4; ++k) {
        int e = Extract(file, k, listAll).result;
        EXPECT_TRUE(e == ResultOk || e == ResultBrokenData) << what << " member " << k;
      }
    }
  };
  for (size_t n = 0; n < whole.size(); ++n) check(Bytes(whole.begin(), whole.begin() + n), "prefix");
  for (size_t i = 0; i < whole.size(); ++i) {
    for (uint8_t v : {0x00, 0x80, 0xFF}) {
      Bytes file = whole;
      file[i] = v;
      check(file, "byte " + std::to_string(i));
    }
  }
}

}  // namespace
