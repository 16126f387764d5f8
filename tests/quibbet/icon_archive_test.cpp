// The icon archive format driven directly, with Morvane's getters replaced by
// values the test sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "tests/builders/icon.h"
#include "morvane/settings.h"
#include "quibbet/quibbet.h"

using namespace build;

namespace {

int groupIcon = 0;
int fileName = 0;
int groupIconCalls = 0;
int SPI_CALL GroupIconGetter() {
  ++groupIconCalls;
  return groupIcon;
}
int SPI_CALL FileNameGetter() { return fileName; }

class IconArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    groupIcon = fileName = groupIconCalls = 0;
    BitmapFilter = BitmapFilterBinding{};
    BitmapFilter.groupIconSetting = GroupIconGetter;
    BitmapFilter.fileNameSetting = FileNameGetter;
  }
  void TearDown() override { BitmapFilter = BitmapFilterBinding{}; }
};

int HeaderTest(const std::vector<uint8_t>& f) { return TestIconArchive(ByteView{f.data(), f.size()}); }

std::vector<TestImage> Images(size_t n) { return std::vector<TestImage>(n); }

// GetArchiveInfo's body over memory input, with the list handed back as records.
int List(const std::vector<uint8_t>& f, std::vector<fileInfo>* out) {
  host::GuardedBuffer input(f);
  SpiHandle block = nullptr;
  int r = BuildArchiveInfo(input.source(), 0, InputMemory, &block, ListIconImages);
  *out = block ? host::TakeEntryList(block) : std::vector<fileInfo>{};
  return r;
}

std::vector<std::string> Names(const std::vector<fileInfo>& list) {
  std::vector<std::string> names;
  for (const fileInfo& r : list) names.push_back(r.filename);
  return names;
}

// GetFile's body over memory input: the host passes the member's entry address.
int Extract(const std::vector<uint8_t>& f, uint32_t position, std::vector<uint8_t>* out,
            std::string* name = nullptr) {
  host::GuardedBuffer input(f);
  SpiHandle block = reinterpret_cast<SpiHandle>(1);  // untouched unless a block was made
  IconExtraction x;
  int r = ExtractMember(input.source() + position, 0, &block,
                        InputMemory | (OutputMemory << OutputKindShift), nullptr, 0, &x,
                        PrepareIconImage, WriteIconImage);
  if (name) {
    MemberName buffer{};
    uint32_t size = 0;
    IconExtraction y;
    if (PrepareIconImage(DataRef{ByteView{f.data(), f.size()}, position}, &buffer, &size, &y) ==
        ResultOk)
      *name = buffer.narrow;
  }
  if (r == ResultOk) {
    *out = host::TakeBlock(block, 22 + Get32(f, position + 8));
  } else {
    EXPECT_EQ(block, reinterpret_cast<SpiHandle>(1)) << "nothing may be handed over on failure";
  }
  return r;
}

TEST_F(IconArchive, HeaderTestAcceptsOnlyTwoOrMoreImagesRightBehindTheDirectory) {
  std::vector<uint8_t> two = MakeIconFile(1, Images(2));
  ASSERT_EQ(Get32(two, 18), 38u);
  EXPECT_EQ(HeaderTest(two), 1);

  std::vector<uint8_t> gap = two;
  Put32(gap, 18, 40);
  EXPECT_EQ(HeaderTest(gap), 0);

  EXPECT_EQ(HeaderTest(MakeIconFile(1, Images(1))), 0);
  EXPECT_EQ(HeaderTest(MakeIconFile(2, Images(3))), 2);

  for (uint16_t type : {0, 3}) {
    std::vector<uint8_t> f = two;
    Put16(f, 2, type);
    EXPECT_EQ(HeaderTest(f), 0) << "type " << type;
  }
  std::vector<uint8_t> reserved = two;
  Put16(reserved, 0, 1);
  EXPECT_EQ(HeaderTest(reserved), 0);

  EXPECT_EQ(TestIconArchive(ByteView{two.data(), 5}), 0) << "header cut short";
  EXPECT_EQ(TestIconArchive(ByteView{two.data(), 37}), 0) << "directory cut short";
  EXPECT_EQ(TestIconArchive(ByteView{two.data(), 38}), 1) << "the blocks are not looked at";
}

TEST_F(IconArchive, HeaderTestFollowsTheGroupIconSettingAtEveryCall) {
  std::vector<uint8_t> cursor = MakeIconFile(2, Images(3));
  for (int setting : {1, 2, 0, 7}) {
    groupIcon = setting;
    EXPECT_EQ(HeaderTest(cursor), setting == 0 ? 2 : 0) << "setting " << setting;
  }
  BitmapFilter.groupIconSetting = nullptr;
  EXPECT_EQ(HeaderTest(cursor), 2) << "without the getter icon files are archives";
}

TEST_F(IconArchive, HeaderTestStepsRunInOrder) {
  // Reserved and type are judged before the setting is asked...
  std::vector<uint8_t> f = MakeIconFile(1, Images(2));
  Put16(f, 2, 3);
  HeaderTest(f);
  Put16(f, 0, 1);
  HeaderTest(f);
  EXPECT_EQ(groupIconCalls, 0);
  // ...the setting before the count and the directory.
  HeaderTest(MakeIconFile(1, Images(1)));
  std::vector<uint8_t> two = MakeIconFile(1, Images(2));
  TestIconArchive(ByteView{two.data(), 20});
  EXPECT_EQ(groupIconCalls, 2);
}

TEST_F(IconArchive, HeaderTestReadsAFullDirectoryOf65535Entries) {
  const uint32_t directoryEnd = 6 + 16 * 65535u;
  ASSERT_EQ(directoryEnd, 1048566u);
  std::vector<uint8_t> f(directoryEnd, 0);
  Put16(f, 2, 1);
  Put16(f, 4, 65535);
  Put32(f, 18, directoryEnd);
  EXPECT_EQ(HeaderTest(f), 1);
  EXPECT_EQ(TestIconArchive(ByteView{f.data(), f.size() - 1}), 0);
  Put32(f, 18, directoryEnd + 1);
  EXPECT_EQ(HeaderTest(f), 0);
}

TEST_F(IconArchive, ListsEveryImageOfACursorInDirectoryOrder) {
  std::vector<TestImage> images(3);
  images[0].byteSize = 100;
  images[1].byteSize = 300;
  images[2].byteSize = 0;
  std::vector<fileInfo> list;
  ASSERT_EQ(List(MakeIconFile(2, images), &list), ResultOk);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"#00001.CUR", "#00002.CUR", "#00003.CUR"}));
  for (size_t i = 0; i < 3; ++i) {
    const fileInfo& r = list[i];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.method), 8),
              std::string("CURSOR\0\0", 8));
    EXPECT_EQ(r.position, 6 + 16 * i);
    EXPECT_EQ(r.compsize, images[i].byteSize);
    EXPECT_EQ(r.filesize, images[i].byteSize + 22);
    EXPECT_EQ(r.timestamp, 0u);
    EXPECT_EQ(r.crc, 0u);
    EXPECT_EQ(std::string(r.path, 200), std::string(200, '\0'));
  }
  ASSERT_EQ(List(MakeIconFile(1, Images(2)), &list), ResultOk);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(list[0].method), 8),
            std::string("ICON\0\0\0\0", 8));
}

TEST_F(IconArchive, ListingIgnoresTheSettingAndTheImageCountButNotTheHeader) {
  groupIcon = 2;
  std::vector<fileInfo> list;
  EXPECT_EQ(List(MakeIconFile(1, Images(3)), &list), ResultOk);
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(List(MakeIconFile(1, Images(1)), &list), ResultOk);
  EXPECT_EQ(Names(list), std::vector<std::string>{"#00001.ICO"});

  // No entry at all: bytes 18..21 hold 6 and are still read.
  std::vector<uint8_t> empty = MakeIconFile(1, {});
  empty.resize(22, 0);
  Put32(empty, 18, 6);
  EXPECT_EQ(List(empty, &list), ResultOk);
  EXPECT_TRUE(list.empty());
  empty.resize(20);
  EXPECT_EQ(List(empty, &list), ResultBrokenData);

  std::vector<uint8_t> bad = MakeIconFile(1, Images(2));
  Put32(bad, 18, 40);
  EXPECT_EQ(List(bad, &list), ResultBrokenData);
  bad = MakeIconFile(1, Images(2));
  Put16(bad, 2, 3);
  EXPECT_EQ(List(bad, &list), ResultBrokenData);
}

TEST_F(IconArchive, NumberNamesCountFromOneInFiveDigits) {
  char name[MemberNameSize];
  IconDirEntry e;
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "#00001.ICO"}, {9, "#00010.ICO"}, {12344, "#12345.ICO"}, {65534, "#65535.ICO"}};
  for (const auto& [index, expected] : cases) {
    IconMemberName(index, e, 1, name);
    EXPECT_STREQ(name, expected);
  }
  IconMemberName(0, e, 2, name);
  EXPECT_STREQ(name, "#00001.CUR");
}

TEST_F(IconArchive, SizeNamesWriteEachByteAsStored) {
  fileName = SizeName;
  char name[MemberNameSize];
  struct Case {
    uint8_t w, h, c;
    uint16_t type;
    const char* expected;
  };
  const Case cases[] = {
      {32, 32, 16, 1, "32x32x16.ICO"}, {48, 48, 0, 1, "48x48.ICO"},
      {0, 0, 0, 1, "0x0.ICO"},         {5, 100, 255, 1, "5x100x255.ICO"},
      {255, 9, 2, 2, "255x9x2.CUR"},
  };
  for (const Case& c : cases) {
    IconDirEntry e;
    e.width = c.w;
    e.height = c.h;
    e.colorCount = c.c;
    IconMemberName(3, e, c.type, name);
    EXPECT_STREQ(name, c.expected);
  }
  // Only the value 1 asks for size names; a missing getter means number names.
  IconDirEntry e;
  fileName = 2;
  IconMemberName(3, e, 1, name);
  EXPECT_STREQ(name, "#00004.ICO");
  fileName = SizeName;
  BitmapFilter.fileNameSetting = nullptr;
  IconMemberName(3, e, 1, name);
  EXPECT_STREQ(name, "#00004.ICO");
}

TEST_F(IconArchive, SizeNamesRepeatAndLookupFindsTheFirst) {
  fileName = SizeName;
  std::vector<TestImage> images(3);
  images[0].colorCount = 16;
  images[1].colorCount = 0;
  images[2].width = images[2].height = 16;
  std::vector<uint8_t> f = MakeIconFile(1, images);
  std::vector<fileInfo> list;
  ASSERT_EQ(List(f, &list), ResultOk);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"32x32x16.ICO", "32x32.ICO", "16x16x16.ICO"}));

  images[1].colorCount = 16;
  images[1].byteSize = 60;
  f = MakeIconFile(1, images);
  ASSERT_EQ(List(f, &list), ResultOk);
  EXPECT_EQ(list[0].filename, std::string("32x32x16.ICO"));
  EXPECT_EQ(list[1].filename, std::string("32x32x16.ICO"));

  host::GuardedBuffer input(f);
  fileInfo record;
  ASSERT_EQ(LookupFileInfo(input.source(), 0, "32x32x16.ICO", InputMemory, &record,
                           ListIconImages, ResultNotSupported),
            ResultOk);
  EXPECT_EQ(record.position, 6u);
  EXPECT_EQ(LookupFileInfo(input.source(), 0, "32x32x16.ico", InputMemory, &record,
                           ListIconImages, ResultNotSupported),
            ResultNotSupported);
  EXPECT_EQ(LookupFileInfo(input.source(), 0, "32x32x16.ico", InputMemory | IgnoreCase, &record,
                           ListIconImages, ResultNotSupported),
            ResultOk);

  // Both members of the one name come out, each with its own image.
  for (uint32_t i : {0u, 1u}) {
    std::vector<uint8_t> out;
    ASSERT_EQ(Extract(f, 6 + 16 * i, &out), ResultOk);
    EXPECT_EQ(out, ExpectedSingle(f, i));
  }
}

TEST_F(IconArchive, ExtractsEachImageAsAOneImageFile) {
  std::vector<TestImage> images(3);
  images[1].byteSize = 296;
  images[1].width = 0;
  images[1].height = 0;
  images[1].colorCount = 0;
  std::vector<uint8_t> f = MakeIconFile(1, images);
  for (uint32_t i = 0; i < 3; ++i) {
    std::vector<uint8_t> out;
    std::string name;
    ASSERT_EQ(Extract(f, 6 + 16 * i, &out, &name), ResultOk) << i;
    EXPECT_EQ(out, ExpectedSingle(f, i)) << i;
    EXPECT_EQ(name, "#0000" + std::to_string(i + 1) + ".ICO");
  }
  std::vector<uint8_t> second;
  ASSERT_EQ(Extract(f, 22, &second), ResultOk);
  EXPECT_EQ(second.size(), 318u);
  EXPECT_EQ(Get32(second, 18), 22u);
  EXPECT_EQ(second[6], 0);
  EXPECT_EQ(second[8], 0);
}

TEST_F(IconArchive, ACursorImageKeepsItsHotspotAndType) {
  std::vector<TestImage> images(6);
  images[5].planes = 7;
  images[5].bitCount = 11;
  images[5].reserved = 0x5A;
  std::vector<uint8_t> f = MakeIconFile(2, images);
  std::vector<uint8_t> out;
  std::string name;
  ASSERT_EQ(Extract(f, 6 + 16 * 5, &out, &name), ResultOk);
  EXPECT_EQ(out, ExpectedSingle(f, 5));
  EXPECT_EQ(out[2], 2);
  EXPECT_EQ(out[6 + 3], 0x5A);
  EXPECT_EQ(out[6 + 4], 7);
  EXPECT_EQ(out[6 + 6], 11);
  EXPECT_EQ(name, "#00006.CUR");
}

TEST_F(IconArchive, ExtractionNamesByTheSettingInForceThen) {
  std::vector<uint8_t> f = MakeIconFile(1, Images(2));
  std::vector<uint8_t> out;
  std::string name;
  ASSERT_EQ(Extract(f, 22, &out, &name), ResultOk);
  EXPECT_EQ(name, "#00002.ICO");
  fileName = SizeName;
  ASSERT_EQ(Extract(f, 22, &out, &name), ResultOk);
  EXPECT_EQ(name, "32x32x16.ICO");
}

TEST_F(IconArchive, ExtractionRefusesWhatIsNoMemberOfAnArchive) {
  std::vector<uint8_t> out;
  // A file of one image is listed, but it is no archive.
  EXPECT_EQ(Extract(MakeIconFile(1, Images(1)), 6, &out), ResultBrokenData);
  // Once the setting gives icon files to Morvane, an earlier listing is stale.
  std::vector<uint8_t> f = MakeIconFile(1, Images(3));
  groupIcon = ShowFirstIcon;
  EXPECT_EQ(Extract(f, 22, &out), ResultBrokenData);
  groupIcon = TreatAsArchive;
  // Positions that are no entry: before a whole entry, inside the header,
  // and past the directory, where the header search would still succeed.
  // The bytes behind the directory are made to look like an entry whose
  // block lies within the file.
  Put32(f, 54 + 8, 4);
  Put32(f, 54 + 12, 0);
  for (uint32_t position : {0u, 5u, 7u, 54u, 70u}) {
    EXPECT_EQ(Extract(f, position, &out), ResultBrokenData) << position;
  }
  // The search stops at the first byte of the input.
  std::vector<uint8_t> notIcon = f;
  Put16(notIcon, 2, 3);
  EXPECT_EQ(Extract(notIcon, 38, &out), ResultBrokenData);
}

TEST_F(IconArchive, ExtractionFindsTheNearestHeaderThatPasses) {
  // An icon archive embedded 32 bytes into other data.
  std::vector<uint8_t> icon = MakeIconFile(1, Images(2));
  std::vector<uint8_t> f = Concat(std::vector<uint8_t>(32, 0xEE), icon);
  std::vector<uint8_t> out;
  ASSERT_EQ(Extract(f, 32 + 22, &out), ResultOk);
  EXPECT_EQ(out, ExpectedSingle(icon, 1));
}

TEST_F(IconArchive, AnImageBlockOutsideTheInputIsRefusedBeforeAnyOutput) {
  std::vector<uint8_t> f = MakeIconFile(1, Images(2));
  std::vector<uint8_t> out;
  std::vector<uint8_t> longBlock = f;
  Put32(longBlock, 22 + 8, 41);  // one byte past the end of the file
  EXPECT_EQ(Extract(longBlock, 22, &out), ResultBrokenData);
  std::vector<uint8_t> farBlock = f;
  Put32(farBlock, 22 + 12, 0xFFFFFFF0u);
  EXPECT_EQ(Extract(farBlock, 22, &out), ResultBrokenData);
  std::vector<uint8_t> hugeBlock = f;
  Put32(hugeBlock, 22 + 8, 0xFFFFFFFFu);
  EXPECT_EQ(Extract(hugeBlock, 22, &out), ResultBrokenData);
  // The block that ends exactly at the end of the input is fine.
  EXPECT_EQ(Extract(f, 22, &out), ResultOk);
}

TEST_F(IconArchive, AHugeByteSizeIsNotListedAsATinyFile) {
  std::vector<uint8_t> f = MakeIconFile(1, Images(2));
  Put32(f, 22 + 8, 0xFFFFFFF0u);
  std::vector<fileInfo> list;
  ASSERT_EQ(List(f, &list), ResultOk);
  EXPECT_EQ(list[1].compsize, 0xFFFFFFF0u);
  EXPECT_EQ(list[1].filesize, 0xFFFFFFFFu);
}

}  // namespace
