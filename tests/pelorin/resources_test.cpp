// Listing, naming and conversion of resources, called below the exports.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "framework/framework.h"
#include "tests/builders/pe.h"
#include "pelorin/resource_extract.h"
#include "pelorin/resource_list.h"
#include "pelorin/settings.h"
#include "platform/platform.h"

using namespace build;

// The plug-in's settings live in its own library; the tests own these.
int AddExtensions = 0;
int ExtractLanguage = 0;
int ListAllTypes = 0;

namespace {

ByteView View(const Bytes& b) { return ByteView{b.data(), b.size()}; }

std::vector<fileInfo> List(const Bytes& image, uint64_t at = 0, int* result = nullptr) {
  EntryTable table;
  int r = OpenEntryList(&table, 0);
  if (r == 0) r = ListResources(DataRef{View(image), at}, &table);
  std::vector<fileInfo> out;
  if (r == 0)
    for (uint32_t i = 0; i < table.count; ++i) out.push_back(table.records[i]);
  CloseEntryList(&table, r);
  if (r == 0) SpiFreeBlock(table.block);
  if (result) *result = r;
  return out;
}

struct Extracted {
  int result = -100;
  std::string name;
  Bytes bytes;
};

Extracted Extract(const Bytes& image, uint64_t position) {
  Extracted e;
  ExtractionRequest request;
  MemberName name{};
  uint32_t size = 0;
  const DataRef data{View(image), position};
  e.result = PrepareResource(data, &name, &size, &request);
  if (e.result != 0) return e;
  e.name = name.narrow;
  e.bytes.assign(size, 0);
  e.result = WriteResource(data, e.bytes.data(), size, nullptr, 0, &request);
  return e;
}

Bytes Cursor(uint16_t x, uint16_t y, Bytes image) {
  Bytes b(4, 0);
  Put16(b, 0, x);
  Put16(b, 2, y);
  AddBytes(b, image);
  return b;
}

std::string Name(const fileInfo& f) { return std::string(f.path) + f.filename; }

// Text in the narrow code page of the system (ANSI on Windows, UTF-8 elsewhere).
std::string Narrow(const std::u16string& text) {
  char out[600];
  const size_t n = platform::Utf16ToNarrow(reinterpret_cast<const uint16_t*>(text.data()),
                                           text.size(), out, sizeof out);
  return std::string(out, n);
}

}  // namespace

TEST(PelorinNamingTest, FileNamesAndLanguageDirectories) {
  char out[TextFieldSize];
  const Bytes none;
  ASSERT_EQ(ResourceFileName(NameSource{View(none)}, 1, ".BMP", out), 0);
  EXPECT_STREQ(out, "#00001.BMP");
  ResourceFileName(NameSource{View(none)}, 4711, ".ICO", out);
  EXPECT_STREQ(out, "#04711.ICO");
  ResourceFileName(NameSource{View(none)}, 123456, "", out);
  EXPECT_STREQ(out, "#23456");
  const std::pair<uint32_t, const char*> rows[] = {
      {0x411, "JAPANESE\\"}, {0x409, "ENGLISH\\"}, {0x804, "CHINESE\\"}, {0x401, "$01\\"},
      {0x400, ""},           {13, "$0D\\"},       {63, "$3F\\"},         {36, "SLOVENIAN\\"},
      {29, "SWEDISH\\"},     {0x4C0 | 22, "PORTUGUESE\\"}};
  for (const auto& [language, text] : rows) {
    ASSERT_EQ(LanguageDirectory(NameSource{View(none)}, language, out), 0);
    EXPECT_STREQ(out, text) << language;
  }
}

TEST(PelorinNamingTest, NamedTypesNamesAndLanguages) {
  Node root = Tree({{{2}, {0, u"LOGO"}, 0x409, BitmapResource(40, 24, 60)},
                    {{0, u"PNG"}, {101}, 0x409, Bytes(7, 1)},
                    {{0, u"Üml"}, {0, u"grüße"}, 0x409, Bytes(3, 1)},
                    {{2}, {0, u""}, 0x409, BitmapResource(40, 24, 60)}});
  // A language given by name.
  root.children[1].children[0].children.push_back(WithName(Leaf(Bytes(2, 1)), u"Klingon"));
  const Bytes exe = ExecutableWith(root);
  ExtractLanguage = 1;
  int result = -1;
  const auto list = List(exe, 0, &result);
  ExtractLanguage = 0;
  ASSERT_EQ(result, 0);
  ASSERT_EQ(list.size(), 5u);
  // Types given by name come first.
  EXPECT_EQ(Name(list[0]), "ENGLISH\\#00101.PNG");
  EXPECT_EQ(Name(list[1]), "ENGLISH\\" + Narrow(u"grüße") + "." + Narrow(u"Üml"));
  EXPECT_EQ(Name(list[2]), "Klingon\\" + Narrow(u"grüße") + "." + Narrow(u"Üml"));
  EXPECT_EQ(Name(list[3]), "ENGLISH\\LOGO.BMP");
  EXPECT_EQ(Name(list[4]), "ENGLISH\\.BMP");
  for (const fileInfo& f : list) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.method)), "-RES32-");
    EXPECT_EQ(f.timestamp, 0u);
    EXPECT_EQ(f.crc, 0u);
  }
}

TEST(PelorinNamingTest, LongNamesAreCutToTheirFields) {
  const std::u16string longName(400, u'x');
  std::u16string wide;
  for (int i = 0; i < 150; ++i) wide += u'語';  // three bytes each in UTF-8
  Node root = Tree({{{0, longName}, {0, longName}, 0x409, Bytes(4, 1)},
                    {{10}, {0, wide}, 0x409, Bytes(4, 1)}});
  root.children[0].children[0].children.push_back(WithName(Leaf(Bytes(2, 1)), longName));
  const Bytes exe = ExecutableWith(root);
  ExtractLanguage = 1;
  int result = -1;
  const auto list = List(exe, 0, &result);
  ExtractLanguage = 0;
  ASSERT_EQ(result, 0);
  ASSERT_EQ(list.size(), 3u);
  for (const fileInfo& f : list) {
    EXPECT_LT(strnlen(f.filename, 200), 200u);
    EXPECT_LT(strnlen(f.path, 200), 200u);
  }
  // The extension survives a long name; a long extension eats the name.
  const std::string dat(list[2].filename);
  EXPECT_EQ(dat.substr(dat.size() - 4), ".DAT");
  EXPECT_EQ(std::string(list[1].path).back(), '\\');
}

TEST(PelorinListTest, SizesPositionsAndUnlistedTypes) {
  const Bytes icon1 = FilledImageBlock(16, 16, 8, 1), icon2 = FilledImageBlock(16, 16, 4, 2);
  const Bytes exe = ExecutableWith(
      Tree({{{3}, {1}, 0x409, icon1},
            {{3}, {2}, 0x409, icon2},
            {{3}, {3}, 0x409, Bytes(745, 3)},
            {{14}, {1}, 0x409,
             GroupDirectory(false, {{16, 16, uint32_t(icon1.size()), 1},
                                    {16, 16, uint32_t(icon2.size()), 2}})},
            {{14}, {2}, 0x409, GroupDirectory(false, {{1, 1, 745, 3}})},
            {{1}, {1}, 0x409, Cursor(1, 2, Bytes(304, 4))},
            {{12}, {1}, 0x409, GroupDirectory(true, {{32, 64, 308, 1}})},
            {{2}, {1}, 0x409, BitmapResource(40, 8, 1000)},
            {{16}, {1}, 0x409, Bytes(30, 0)},
            {{10}, {1}, 0x409, Bytes(9, 0)}}));
  int result = -1;
  const auto list = List(exe, 0, &result);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(Name(list[0]), "#00001.ICO");
  EXPECT_EQ(list[0].position, 3u);
  EXPECT_EQ(list[0].compsize, 34u);
  EXPECT_EQ(list[0].filesize, 6 + 2 * 16 + icon1.size() + icon2.size());
  EXPECT_EQ(list[1].filesize, 20u + 2 + 748);
  EXPECT_EQ(Name(list[2]), "#00001.CUR");
  EXPECT_EQ(list[2].position, 6u);
  EXPECT_EQ(list[2].filesize, 326u);
  EXPECT_EQ(Name(list[3]), "#00001.BMP");
  EXPECT_EQ(list[3].compsize, 1000u);
  EXPECT_EQ(list[3].filesize, 1014u);
  EXPECT_EQ(Name(list[4]), "#00001.DAT");
  EXPECT_EQ(list[4].position, 9u);

  // Only unlisted types: success without members; an empty tree likewise.
  EXPECT_TRUE(List(ExecutableWith(Tree({{{16}, {1}, 0, Bytes(4, 0)}})), 0, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(List(ExecutableWith(Directory()), 0, &result).empty());
  EXPECT_EQ(result, 0);
  List(Bytes(500, 0), 0, &result);
  EXPECT_EQ(result, ResultBrokenData);
}

TEST(PelorinListTest, LanguagesAsDirectoriesOrNot) {
  const Bytes exe = ExecutableWith(Tree({{{2}, {1}, 0x409, BitmapResource(40, 24, 80)},
                                         {{2}, {1}, 0x411, BitmapResource(40, 24, 80)},
                                         {{2}, {2}, 0, BitmapResource(40, 24, 80)}}));
  const auto plain = List(exe);
  ASSERT_EQ(plain.size(), 3u);
  EXPECT_EQ(Name(plain[0]), "#00001.BMP");
  EXPECT_EQ(Name(plain[1]), "#00001.BMP");
  EXPECT_NE(plain[0].position, plain[1].position);
  ExtractLanguage = 1;
  const auto filed = List(exe);
  ExtractLanguage = 0;
  ASSERT_EQ(filed.size(), 3u);
  EXPECT_EQ(Name(filed[0]), "ENGLISH\\#00001.BMP");
  EXPECT_EQ(Name(filed[1]), "JAPANESE\\#00001.BMP");
  EXPECT_EQ(Name(filed[2]), "#00002.BMP");
  // Extraction names the bare file whatever the setting.
  ExtractLanguage = 1;
  EXPECT_EQ(Extract(exe, filed[1].position).name, "#00001.BMP");
  ExtractLanguage = 0;
}

TEST(PelorinExtractTest, BitmapsGetAFileHeader) {
  // The offset skips header, masks and the colour table the header implies.
  struct Case {
    uint32_t header;
    uint16_t bpp;
    uint32_t compression, used;
    uint32_t bitsOffset;
  } cases[] = {{40, 8, 0, 0, 1078},   {40, 8, 0, 16, 118},  {40, 4, 2, 10, 94},
               {40, 4, 0, 3, 66},     {40, 4, 0, 16, 118},  {40, 4, 0, 99, 118},
               {40, 24, 0, 0, 54},    {40, 24, 0, 16, 118}, {40, 16, 3, 0, 66},
               {40, 32, 3, 0, 66},    {40, 32, 6, 0, 70},   {108, 32, 3, 0, 122},
               {12, 4, 0, 0, 74},     {12, 1, 0, 0, 32},    {16, 8, 0, 0, 1054},
               {40, 24, 0, 0x40000000, 2014}};  // a table beyond the resource ends there
  for (const Case& c : cases) {
    Bytes bmp = BitmapResource(c.header, c.bpp, 2000);
    if (c.header >= 40) {
      Put32(bmp, 16, c.compression);
      Put32(bmp, 32, c.used);
    }
    const Bytes exe = ExecutableWith(Tree({{{2}, {1}, 0, bmp}}));
    const Extracted e = Extract(exe, 0);
    ASSERT_EQ(e.result, 0);
    EXPECT_EQ(e.name, "#00001.BMP");
    ASSERT_EQ(e.bytes.size(), 2014u);
    EXPECT_EQ(e.bytes[0], 'B');
    EXPECT_EQ(e.bytes[1], 'M');
    EXPECT_EQ(Get32(e.bytes, 2), 2014u);
    EXPECT_EQ(Get32(e.bytes, 6), 0u);
    EXPECT_EQ(Get32(e.bytes, 10), c.bitsOffset)
        << c.header << " " << c.bpp << " " << c.compression << " " << c.used;
    EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), e.bytes.begin() + 14));
  }
}

TEST(PelorinExtractTest, IconGroupsAreRebuilt) {
  Bytes img1(744, 0), img2(296, 0);
  for (size_t i = 0; i < img1.size(); ++i) img1[i] = static_cast<uint8_t>(i);
  for (size_t i = 0; i < img2.size(); ++i) img2[i] = static_cast<uint8_t>(255 - i);
  const Bytes group = GroupDirectory(false, {{32, 32, 744, 1, 1, 4, 16}, {16, 16, 296, 2}});
  const Bytes exe = ExecutableWith(Tree({{{3}, {1}, 0, img1}, {{3}, {2}, 0, img2}, {{14}, {9}, 0, group}}));
  const Extracted e = Extract(exe, 2);
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.name, "#00009.ICO");
  ASSERT_EQ(e.bytes.size(), 1078u);
  EXPECT_TRUE(std::equal(group.begin(), group.begin() + 6, e.bytes.begin()));
  EXPECT_TRUE(std::equal(group.begin() + 6, group.begin() + 18, e.bytes.begin() + 6));
  EXPECT_EQ(Get32(e.bytes, 18), 38u);
  EXPECT_TRUE(std::equal(group.begin() + 20, group.begin() + 32, e.bytes.begin() + 22));
  EXPECT_EQ(Get32(e.bytes, 34), 782u);
  EXPECT_TRUE(std::equal(img1.begin(), img1.end(), e.bytes.begin() + 38));
  EXPECT_TRUE(std::equal(img2.begin(), img2.end(), e.bytes.begin() + 782));
}

TEST(PelorinExtractTest, OddSizedIconMembersArePadded) {
  // The member resource is 748 bytes; the group names 745 of them, and the
  // three bytes behind those come along as padding.
  Bytes img(748, 0x55);
  img[745] = 0xA1, img[746] = 0xA2, img[747] = 0xA3;
  const Bytes exe = ExecutableWith(Tree({{{3}, {1}, 0, img},
                                         {{3}, {2}, 0, Bytes(8, 0x66)},
                                         {{14}, {1}, 0, GroupDirectory(false, {{1, 1, 745, 1}, {2, 2, 8, 2}})}}));
  const Extracted e = Extract(exe, 2);
  ASSERT_EQ(e.result, 0);
  ASSERT_EQ(e.bytes.size(), 6u + 32 + 748 + 8);
  EXPECT_EQ(Get32(e.bytes, 6 + 8), 745u);
  EXPECT_EQ(Get32(e.bytes, 22 + 12), 38u + 748);
  EXPECT_EQ(e.bytes[38 + 747], 0xA3);
  EXPECT_EQ(e.bytes[38 + 748], 0x66);
}

TEST(PelorinExtractTest, CursorGroupsCarryHotspots) {
  Bytes image(304, 0);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 3);
  const Bytes exe = ExecutableWith(Tree({{{1}, {5}, 0, Cursor(7, 9, image)},
                                         {{12}, {1}, 0, GroupDirectory(true, {{32, 64, 308, 5}})}}));
  const Extracted e = Extract(exe, 1);
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.name, "#00001.CUR");
  ASSERT_EQ(e.bytes.size(), 326u);
  EXPECT_EQ(Get16(e.bytes, 0), 0);
  EXPECT_EQ(Get16(e.bytes, 2), 2);
  EXPECT_EQ(Get16(e.bytes, 4), 1);
  EXPECT_EQ(e.bytes[6], 32);
  EXPECT_EQ(e.bytes[7], 32);
  EXPECT_EQ(e.bytes[8], 0);
  EXPECT_EQ(e.bytes[9], 0);
  EXPECT_EQ(Get16(e.bytes, 10), 7);
  EXPECT_EQ(Get16(e.bytes, 12), 9);
  EXPECT_EQ(Get32(e.bytes, 14), 304u);
  EXPECT_EQ(Get32(e.bytes, 18), 22u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), e.bytes.begin() + 22));

  // An entry of 0 bytes would move the next image back over this one.
  const Bytes zero = ExecutableWith(Tree({{{1}, {5}, 0, Cursor(7, 9, image)},
                                          {{12}, {1}, 0, GroupDirectory(true, {{32, 64, 0, 5}, {32, 64, 308, 5}})}}));
  EXPECT_EQ(Extract(zero, 1).result, ResultBrokenData);
}

TEST(PelorinExtractTest, GroupMembersFollowTheGroupsLanguage) {
  struct Case {
    uint16_t group;
    std::vector<uint16_t> members;
    uint16_t chosen;
  } cases[] = {{0x411, {0x409, 0x411}, 0x411},
               {0x411, {0x409}, 0x409},
               {0x804, {0x404, 0x1004, 0x0C09}, 0x1004},
               {0x411, {0x407, 0x409}, 0x407}};
  for (const Case& c : cases) {
    std::vector<Resource> rs;
    for (uint16_t language : c.members) {
      Bytes img(8, 0);
      Put16(img, 0, language);
      rs.push_back({{3}, {1}, language, img});
    }
    rs.push_back({{14}, {1}, c.group, GroupDirectory(false, {{1, 1, 8, 1}})});
    const Extracted e = Extract(ExecutableWith(Tree(rs)), c.members.size());
    ASSERT_EQ(e.result, 0);
    EXPECT_EQ(Get16(e.bytes, 22), c.chosen) << std::hex << c.group;
  }
}

TEST(PelorinExtractTest, UnlistedTypesByIndexAndMissingMembers) {
  Bytes dialog(50, 0x42);
  const Bytes exe = ExecutableWith(Tree({{{5}, {100}, 0x409, dialog},
                                         {{14}, {1}, 0, GroupDirectory(false, {{1, 1, 8, 4}})},
                                         {{3}, {1}, 0, Bytes(8, 1)}}));
  const Extracted e = Extract(exe, 0);
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.name, "#00100");
  EXPECT_EQ(e.bytes, dialog);
  // A member id that is not there, and a position past the last entry.
  EXPECT_EQ(Extract(exe, 1).result, ResultBrokenData);
  EXPECT_EQ(Extract(exe, 3).result, ResultBrokenData);
  // No member directory at all.
  const Bytes alone = ExecutableWith(Tree({{{14}, {1}, 0, GroupDirectory(false, {{1, 1, 8, 4}})}}));
  EXPECT_EQ(Extract(alone, 0).result, ResultBrokenData);
}

TEST(PelorinExtractTest, ImageStartIsFoundBehindAnOffset) {
  const Bytes exe = ExecutableWith(Tree({{{10}, {1}, 0, Bytes(5, 1)}, {{10}, {2}, 0, Bytes{9, 8, 7}}}));
  Bytes file = exe;
  file.insert(file.begin(), 1000, 0);
  const Extracted e = Extract(file, 1001);
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.name, "#00002.DAT");
  EXPECT_EQ(e.bytes, (Bytes{9, 8, 7}));
}

TEST(PelorinExtractTest, CraftedSizesFailBeforeAnyOutput) {
  // Data sizes that reach past the input fail in PrepareResource, before the
  // framework would create an output of that size.
  Node root = Tree({{{10}, {1}, 0, Bytes(5, 1)}, {{2}, {1}, 0, BitmapResource(40, 8, 100)}});
  Bytes exe = ExecutableWith(root);
  auto patchSize = [&](uint32_t index, uint32_t size) {
    Bytes b = exe;
    // Data entries follow the directories; find them by their sizes.
    for (size_t at = 0; at + 8 <= b.size(); at += 4)
      if (Get32(b, at + 4) == (index == 0 ? 5u : 100u) && Get32(b, at) >= 0x3000 && Get32(b, at) < 0x4000) {
        Put32(b, at + 4, size);
        return b;
      }
    ADD_FAILURE();
    return b;
  };
  ExtractionRequest request;
  MemberName name{};
  uint32_t size = 0;
  for (uint32_t index : {0u, 1u}) {
    const Bytes b = patchSize(index, 0x7FFFFFF0u);
    EXPECT_EQ(PrepareResource(DataRef{View(b), index}, &name, &size, &request), ResultBrokenData);
  }
  // An icon group whose member is far larger than the input, and one whose
  // sizes wrap the 32-bit output size.
  const Bytes big = ExecutableWith(Tree({{{3}, {1}, 0, Bytes(8, 1)},
                                         {{14}, {1}, 0, GroupDirectory(false, {{1, 1, 0x40000000, 1}})}}));
  EXPECT_EQ(PrepareResource(DataRef{View(big), 1}, &name, &size, &request), ResultBrokenData);
  const Bytes wrap = ExecutableWith(Tree({{{3}, {1}, 0, Bytes(8, 1)},
                                          {{14}, {1}, 0, GroupDirectory(false, {{1, 1, 0xFFFFFFFF, 1}})}}));
  EXPECT_EQ(PrepareResource(DataRef{View(wrap), 1}, &name, &size, &request), ResultBrokenData);
  // A group resource shorter than its entries: the rebuilt file would not fit.
  Bytes group = GroupDirectory(false, {{1, 1, 8, 1}, {1, 1, 8, 1}});
  group.resize(20);
  const Bytes shortGroup = ExecutableWith(Tree({{{3}, {1}, 0, Bytes(8, 1)}, {{14}, {1}, 0, group}}));
  EXPECT_EQ(Extract(shortGroup, 1).result, ResultBrokenData);
  // A bitmap whose header lies beyond the input.
  // The section lies at 1024, behind .text; three directories and a data entry
  // put the data 88 bytes into it.
  Bytes tiny = ExecutableWith(Tree({{{2}, {1}, 0, Bytes{40, 0}}}));
  ASSERT_EQ(Get32(tiny, 1024 + 72), 0x3000u + 88);
  tiny.resize(1024 + 88 + 2);
  EXPECT_EQ(Extract(tiny, 0).result, ResultBrokenData);
}

TEST(PelorinBoundsTest, SharedHugeGroupsEndTheListingPromptly) {
  // 60000 names all pointing at one group of 65535 entries: summing it for
  // every name would read four billion entries. Once the sums have read more
  // than the file could hold, the groups are left out as damaged.
  const uint32_t names = 60000, count = 65535;
  const uint32_t dirA = 24, entry = dirA + 16 + 8 * names, group = entry + 16;
  Bytes section(group + 6 + 14 * count, 0);
  Put16(section, 14, 1);
  Put32(section, 16, 14);
  Put32(section, 20, 0x80000000u | dirA);
  Put16(section, dirA + 14, static_cast<uint16_t>(names));
  for (uint32_t i = 0; i < names; ++i) {
    Put32(section, dirA + 16 + 8 * i, i + 1);
    Put32(section, dirA + 20 + 8 * i, entry);
  }
  Put32(section, entry, 0x3000 + group);
  Put32(section, entry + 4, 6 + 14 * count);
  Put16(section, group + 2, 1);
  Put16(section, group + 4, static_cast<uint16_t>(count));
  const Bytes exe = Executable({{".rsrc", section, 0x3000}});
  const auto start = std::chrono::steady_clock::now();
  int result = 0;
  EXPECT_TRUE(List(exe, 0, &result).empty());
  EXPECT_EQ(result, ResultOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(PelorinBoundsTest, GroupsOverUnsortedDirectoriesEndPromptly) {
  // A group of 65535 members, each the last of 60000 icons stored in falling
  // order, so that no search can stop early.
  const uint16_t icons = 60000;
  std::vector<Node> members;
  members.reserve(icons);
  for (uint32_t i = 0; i < icons; ++i)
    members.push_back(WithId(Directory({WithId(Leaf(Bytes(8, 1)), 0)}), icons - i));
  std::vector<GroupMember> entries(65535, GroupMember{1, 1, 8, 1});
  Node root = Directory({WithId(Directory(std::move(members)), 3),
                         WithId(Directory({WithId(Directory({WithId(Leaf(GroupDirectory(false, entries)), 0)}), 1)}), 14)});
  const Bytes exe = ExecutableWith(root);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Extract(exe, icons).result, ResultBrokenData);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  // The same group over icons in rising order is found by halving, and extracts.
  std::vector<Node> rising;
  for (uint32_t i = 1; i <= icons; ++i) rising.push_back(WithId(Directory({WithId(Leaf(Bytes(8, 1)), 0)}), i));
  Node sorted = Directory({WithId(Directory(std::move(rising)), 3),
                           WithId(Directory({WithId(Directory({WithId(Leaf(GroupDirectory(false, entries)), 0)}), 1)}), 14)});
  const Extracted e = Extract(ExecutableWith(sorted), icons);
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.bytes.size(), 6u + 16 * 65535 + 8 * 65535);
}
