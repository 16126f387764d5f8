// Pelorin through its exports, on executables made by the test builder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/builders/pe.h"
#include "pelorin_host.h"
#include "platform/platform.h"
#include "test_files.h"

using namespace build;

namespace {

Bytes Sample() {
  // A cursor image: hotspot (3, 4), then 304 bytes of image.
  Bytes cursor(308, 0);
  for (size_t i = 4; i < cursor.size(); ++i) cursor[i] = static_cast<uint8_t>(i);
  Put16(cursor, 0, 3);
  Put16(cursor, 2, 4);
  return ExecutableWith(Tree({{{1}, {1}, 0x409, cursor},
                              {{2}, {1}, 0x409, BitmapResource(40, 24, 2500)},
                              {{5}, {100}, 0x409, Bytes(20, 0x44)},
                              {{10}, {0, u"Data"}, 0x409, Bytes{1, 2, 3}},
                              {{12}, {1}, 0x409, GroupDirectory(true, {{32, 64, 308, 1}})}}));
}

struct Progress {
  std::vector<std::pair<int, int>> calls;
  int stopAt = -1;
};

int SPI_CALL Record(int done, int total, SpiUserValue user) {
  Progress* p = reinterpret_cast<Progress*>(user);
  p->calls.emplace_back(done, total);
  return static_cast<int>(p->calls.size()) == p->stopAt ? 1 : 0;
}

}  // namespace

TEST_F(PelorinPlugin, InformationAndFormatTest) {
  EXPECT_EQ(host::PluginInfo(plugin, 0), "00AM");
  EXPECT_EQ(host::PluginInfo(plugin, 1),
            "Pelorin " SPI_VERSION_STRING ": resources of Windows programs and libraries (Kestrov)");
  EXPECT_EQ(host::PluginInfo(plugin, 2), " ");
  EXPECT_EQ(host::PluginInfo(plugin, 3), "32Bit Executable (*.EXE;*.SCR;*.DLL;*.CPL)");
  char buffer[8] = "keep";
  EXPECT_EQ(plugin.getPluginInfo(4, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "keep");

  const host::GuardedBuffer exe(Sample());
  EXPECT_EQ(plugin.isSupported("x.exe", reinterpret_cast<uintptr_t>(exe.data())), 2);
  const host::GuardedBuffer junk(Bytes(4096, 'M'));
  EXPECT_EQ(plugin.isSupported("x.exe", reinterpret_cast<uintptr_t>(junk.data())), 0);
  const host::GuardedBuffer none(Executable({{".text", Bytes(16, 0xC3), 0x1000}}));
  EXPECT_EQ(plugin.isSupported("x.exe", reinterpret_cast<uintptr_t>(none.data())), 0);
  ScratchDir dir;
  WriteBytes(dir.Join("none.exe"), Executable({{".text", Bytes(16, 0xC3), 0x1000}}));
  int result = 0;
  ListFile(dir.Join("none.exe"), 0, &result);
  EXPECT_EQ(result, ResultBrokenData);
}

TEST_F(PelorinPlugin, ListsFromMemoryAndFromAnOffsetInAFile) {
  const Bytes exe = Sample();
  const host::GuardedBuffer memory(exe);
  int result = -1;
  const auto list = ListMemory(memory, &result);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(MemberName(list[0]), "#00001.BMP");
  EXPECT_EQ(list[0].position, 1u);
  EXPECT_EQ(MemberName(list[1]), "Data.DAT");
  EXPECT_EQ(list[1].position, 3u);
  EXPECT_EQ(MemberName(list[2]), "#00001.CUR");
  EXPECT_EQ(list[2].filesize, 326u);

  ScratchDir dir;
  Bytes file = exe;
  file.insert(file.begin(), 512, 0x90);
  const std::string path = dir.Join("lib.dll");
  WriteBytes(path, file);
  const auto shifted = ListFile(path, 512, &result);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(shifted.size(), 3u);
  EXPECT_EQ(shifted[1].position, 515u);

  fileInfo info;
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "Data.DAT", InputFile, &info), 0);
  EXPECT_EQ(info.position, 515u);
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "data.dat", InputFile, &info), ResultReadError);
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "data.dat", InputFile | IgnoreCase, &info), 0);
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "#00100", InputFile, &info), ResultReadError);

  // Each member extracts from its listed position, to disk and to memory.
  const std::string out = dir.Join("out");
  ASSERT_EQ(plugin.getFile(path.c_str(), 515, const_cast<char*>(out.c_str()), InputFile, nullptr, 0), 0);
  EXPECT_EQ(ReadBytes(dir.Join("out") + Sep() + "Data.DAT"), (Bytes{1, 2, 3}));
  Bytes cursor;
  ASSERT_EQ(ExtractFile(path, shifted[2].position, shifted[2].filesize, &cursor), 0);
  EXPECT_EQ(Get16(cursor, 10), 3);
  EXPECT_EQ(Get16(cursor, 12), 4);
  SpiHandle block = nullptr;
  ASSERT_EQ(plugin.getFile(memory.source() + 2, 0, &block, InputMemory | (OutputMemory << OutputKindShift),
                           nullptr, 0), 0);
  const Bytes dialog = host::TakeBlock(block, 20);
  EXPECT_EQ(dialog, Bytes(20, 0x44));
}

TEST_F(PelorinPlugin, CopiesReportProgressAndStopWhenAsked) {
  ScratchDir dir;
  const std::string path = dir.Join("lib.dll");
  WriteBytes(path, Sample());
  Progress progress;
  const std::string out = dir.Join("out");
  ASSERT_EQ(plugin.getFile(path.c_str(), 1, const_cast<char*>(out.c_str()), InputFile, Record,
                           reinterpret_cast<SpiUserValue>(&progress)), 0);
  const std::vector<std::pair<int, int>> expected{{0, 1}, {1024, 2500}, {2048, 2500}, {1, 1}};
  EXPECT_EQ(progress.calls, expected);
  const Bytes bmp = ReadBytes(out + Sep() + "#00001.BMP");
  ASSERT_EQ(bmp.size(), 2514u);
  EXPECT_EQ(Get32(bmp, 10), 54u);

  // Stopping in the middle leaves the old file as it was.
  WriteBytes(out + Sep() + "#00001.BMP", Bytes{7});
  Progress stop;
  stop.stopAt = 2;
  EXPECT_EQ(plugin.getFile(path.c_str(), 1, const_cast<char*>(out.c_str()), InputFile, Record,
                           reinterpret_cast<SpiUserValue>(&stop)), ResultAborted);
  EXPECT_EQ(ReadBytes(out + Sep() + "#00001.BMP"), Bytes{7});
}

TEST_F(PelorinPlugin, CraftedSizesCreateNothing) {
  // A raw resource claiming 1.5 GB in a small file: refused before any output exists.
  Bytes exe = ExecutableWith(Tree({{{10}, {1}, 0, Bytes(12, 0x21)}}));
  for (size_t at = 0; at + 8 <= exe.size(); at += 4)
    if (Get32(exe, at + 4) == 12 && Get32(exe, at) >= 0x3000 && Get32(exe, at) < 0x3100) {
      Put32(exe, at + 4, 0x60000000);
      break;
    }
  ScratchDir dir;
  const std::string path = dir.Join("lib.dll");
  WriteBytes(path, exe);
  int result = -1;
  const auto list = ListFile(path, 0, &result);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].compsize, 0x60000000u);
  const std::string out = dir.Join("out");
  EXPECT_EQ(plugin.getFile(path.c_str(), 0, const_cast<char*>(out.c_str()), InputFile, nullptr, 0),
            ResultBrokenData);
  EXPECT_FALSE(Exists(out));
  SpiHandle block = reinterpret_cast<SpiHandle>(1);
  EXPECT_EQ(plugin.getFile(path.c_str(), 0, &block, InputFile | (OutputMemory << OutputKindShift),
                           nullptr, 0), ResultBrokenData);
}

TEST_F(PelorinPlugin, SixtyFourBitImagesListAndExtract) {
  Options o;
  o.pe64 = true;
  const Bytes exe = ExecutableWith(Tree({{{2}, {4}, 0x411, BitmapResource(12, 4, 200)}}), o);
  ScratchDir dir;
  const std::string path = dir.Join("lib64.dll");
  WriteBytes(path, exe);
  int result = -1;
  const auto list = ListFile(path, 0, &result);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(MemberName(list[0]), "#00004.BMP");
  Bytes bmp;
  ASSERT_EQ(ExtractFile(path, list[0].position, list[0].filesize, &bmp), 0);
  EXPECT_EQ(Get32(bmp, 10), 74u);
}

#ifdef _WIN32
#define WIDE_TEXT(s) L##s
#else
#define WIDE_TEXT(s) u##s
#endif

namespace {

using WideText = std::basic_string<SpiWChar>;

WideText FromU16(const std::u16string& s) { return WideText(s.begin(), s.end()); }
WideText Field(const SpiWChar* f) {
  size_t n = 0;
  while (n < 200 && f[n]) ++n;
  return WideText(f, n);
}

}  // namespace

// The Unicode forms take resource names straight from the file's UTF-16: a
// name that no code page holds (Hangul, a character beyond the BMP) survives
// the listing, the lookup and the file name that GetFileW creates, and a long
// name is cut to 199 characters, never inside a surrogate pair.
TEST_F(PelorinPlugin, UnicodeNamesSurviveTheWideForms) {
  ASSERT_NE(plugin.getArchiveInfoW, nullptr);
  const std::u16string odd = u"表ソ日本한😀";
  std::u16string longName(194, u'語');
  longName += u"😀";  // units 194 and 195: the cut at 195 would split the pair
  longName += std::u16string(10, u'x');
  const Bytes exe = ExecutableWith(Tree({{{10}, {0, odd}, 0x409, Bytes{1, 2, 3}},
                                         {{0, u"Ω型"}, {7}, 0x409, Bytes{4, 5}},
                                         {{10}, {0, longName}, 0x409, Bytes{6}}}));
  ScratchDir dir;
  const std::string path = dir.Join("uni.dll");
  WriteBytes(path, exe);
  WideText widePath;
  for (char c : path) widePath += static_cast<SpiWChar>(static_cast<unsigned char>(c));

  SpiHandle h = nullptr;
  ASSERT_EQ(plugin.getArchiveInfoW(widePath.c_str(), 0, InputFile, &h), ResultOk);
  ASSERT_EQ(SpiBlockSize(h) % sizeof(fileInfoW), 0u);
  const std::vector<fileInfoW> list = host::TakeEntryListW(h);
  ASSERT_EQ(list.size(), 3u);
  std::vector<WideText> names;
  for (const fileInfoW& r : list) names.push_back(Field(r.filename));
  const WideText oddName = FromU16(odd) + WIDE_TEXT(".DAT");
  const WideText cutName = FromU16(longName.substr(0, 194)) + WIDE_TEXT(".DAT");
  EXPECT_NE(std::find(names.begin(), names.end(), oddName), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), WideText(WIDE_TEXT("#00007.Ω型"))),
            names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), cutName), names.end());

  // The lookup by the same name, also with the ASCII part in another case.
  fileInfoW found;
  ASSERT_EQ(plugin.getFileInfoW(widePath.c_str(), 0, oddName.c_str(), InputFile, &found),
            ResultOk);
  EXPECT_EQ(found.filesize, 3u);
  const WideText lower = FromU16(odd) + WIDE_TEXT(".dat");
  EXPECT_EQ(plugin.getFileInfoW(widePath.c_str(), 0, lower.c_str(), InputFile, &found),
            ResultReadError);
  EXPECT_EQ(plugin.getFileInfoW(widePath.c_str(), 0, lower.c_str(), InputFile | IgnoreCase,
                                &found),
            ResultOk);

  // Extracted under exactly the listed names, into a folder of such a name.
  const WideText out = widePath + WIDE_TEXT("-出力");
  const WideText sep(1, static_cast<SpiWChar>(Sep()));
  for (const fileInfoW& r : list) {
#ifndef _WIN32
    if (Field(r.filename).size() > 80) continue;  // beyond the 255 bytes of a Linux name
#endif
    ASSERT_EQ(plugin.getFileW(widePath.c_str(), static_cast<SpiLength>(r.position),
                              const_cast<SpiWChar*>(out.c_str()), InputFile, nullptr, 0),
              ResultOk);
    platform::MappedFile f;
    ASSERT_TRUE(platform::MapExisting((out + sep + Field(r.filename)).c_str(), &f));
    EXPECT_EQ(f.size, r.filesize);
    platform::Unmap(&f);
  }
}

// A program as UPX packs it: what stayed in .rsrc lists and extracts, the
// group packed into UPX1 is left out, and the bitmap packed away (its address
// in UPX0, which holds no bytes on disk) lists but cannot be extracted.
TEST_F(PelorinPlugin, UpxPackedProgramListsWhatItCanRead) {
  ScratchDir dir;
  const std::string path = dir.Join("packed.exe");
  WriteBytes(path, UpxPackedPe());
  int result = -1;
  const auto list = ListFile(path, 0, &result);
  ASSERT_EQ(result, 0);
  std::vector<std::string> names;
  for (const fileInfo& f : list) names.push_back(MemberName(f));
  EXPECT_EQ(names, (std::vector<std::string>{"#00005.BMP", "#00001.ICO"}));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].position, 3u);
  std::vector<uint8_t> bytes;
  EXPECT_EQ(ExtractFile(path, list[0].position, list[0].filesize, &bytes), ResultBrokenData);
  ASSERT_EQ(ExtractFile(path, list[1].position, list[1].filesize, &bytes), 0);
  EXPECT_EQ(bytes.size(), list[1].filesize);
  EXPECT_EQ(Get16(bytes, 4), 1u);
}
