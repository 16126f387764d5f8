// Vantrel.spi through its exports, as a viewer calls it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "test_files.h"
#include "tests/builders/ani.h"
#include "host/host.h"

using namespace build;

namespace {

// Cursor (.cur) and icon (.ico) files extracted from Wine's user32 at configure
// time, sorted by name; empty when none could be extracted.
std::vector<std::string> RealIconFiles(const std::string& extension) {
  std::vector<std::string> out;
  for (const std::string& name : ListNames(VANTREL_REAL_CURSORS))
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
      out.push_back(std::string(VANTREL_REAL_CURSORS) + Sep() + name);
  return out;
}

class VantrelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host::LoadPlugin(VANTREL_PLUGIN, &plugin, &error)) << error;
    ASSERT_TRUE(plugin.getArchiveInfo && plugin.getFileInfo && plugin.getFile &&
                plugin.isSupported && plugin.configurationDlg);
  }
  void TearDown() override { host::UnloadPlugin(&plugin); }

  std::vector<fileInfo> ListFile(const std::string& path, int32_t offset, int* result) {
    SpiHandle h = nullptr;
    *result = plugin.getArchiveInfo(path.c_str(), offset, InputFile, &h);
    return *result == ResultOk ? host::TakeEntryList(h) : std::vector<fileInfo>{};
  }

  host::Plugin plugin;
  ScratchDir dir;
};

std::vector<Bytes> FourCursors() {
  return {SeededIconFile(2, 40, 1), SeededIconFile(2, 77, 2), SeededIconFile(2, 300, 3),
          SeededIconFile(2, 5, 4)};
}

struct Progress {
  std::vector<std::pair<int, int>> calls;
  int stopAtCall = -1;  // answer non-zero to this call (counted from 0)
};

int SPI_CALL Record(int done, int total, SpiUserValue user) {
  auto* p = reinterpret_cast<Progress*>(user);
  p->calls.emplace_back(done, total);
  return static_cast<int>(p->calls.size()) - 1 == p->stopAtCall ? 1 : 0;
}

TEST_F(VantrelTest, InformationStrings) {
  EXPECT_EQ(host::PluginInfo(plugin, 0), "00AM");
  EXPECT_EQ(host::PluginInfo(plugin, 1),
            "Vantrel " SPI_VERSION_STRING ": frames of animated cursors (Kestrov)");
  EXPECT_EQ(host::PluginInfo(plugin, 2), "*.ani");
  EXPECT_EQ(host::PluginInfo(plugin, 3), "Animation Cursor (*.ani)");
  char buffer[8] = "xyz";
  EXPECT_EQ(plugin.getPluginInfo(4, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "xyz");
}

TEST_F(VantrelTest, IsSupportedReadsTwelveBytesOfTheHead) {
  Bytes head = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'A', 'C', 'O', 'N'};
  host::GuardedBuffer good(head);
  EXPECT_EQ(plugin.isSupported("x.ani", reinterpret_cast<uintptr_t>(good.data())), 1);
  head[8] = 'W';
  host::GuardedBuffer wave(head);
  EXPECT_EQ(plugin.isSupported("x.ani", reinterpret_cast<uintptr_t>(wave.data())), 0);

  // Through a file handle: a complete head answers 1, a head cut short 0.
  AniLayout layout;
  layout.frames = FourCursors();
  Bytes file = BuildAni(layout);
  for (size_t n : {file.size(), size_t{12}, size_t{11}}) {
    std::string path = dir.Write("head.ani", Bytes(file.begin(), file.begin() + n));
#ifdef _WIN32
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(plugin.isSupported(path.c_str(), reinterpret_cast<uintptr_t>(f)), n >= 12 ? 1 : 0);
    CloseHandle(f);
#else
    int f = open(path.c_str(), O_RDONLY);
    ASSERT_GE(f, 0);
    EXPECT_EQ(plugin.isSupported(path.c_str(), static_cast<uintptr_t>(f)), n >= 12 ? 1 : 0);
    close(f);
#endif
  }
}

TEST_F(VantrelTest, ListsLooksUpAndExtractsAtOffset512) {
  AniLayout layout;
  layout.frames = FourCursors();
  layout.offset = 512;
  std::string path = dir.Write("offset.bin", BuildAni(layout));

  int result;
  std::vector<fileInfo> list = ListFile(path, 512, &result);
  ASSERT_EQ(result, ResultOk);
  ASSERT_EQ(list.size(), 4u);
  for (uint32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(list[k].position, 512 + k);
    EXPECT_EQ(std::string(list[k].filename), "#0000" + std::to_string(k + 1) + ".CUR");
    EXPECT_EQ(list[k].filesize, layout.frames[k].size());
  }

  fileInfo info;
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "#00003.CUR", InputFile, &info), ResultOk);
  EXPECT_EQ(info.position, 514u);
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "#00003.cur", InputFile, &info),
            ResultNotSupported);
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "#00003.cur", InputFile | IgnoreCase, &info),
            ResultOk);
  EXPECT_EQ(plugin.getFileInfo(path.c_str(), 512, "#00005.CUR", InputFile, &info),
            ResultNotSupported);

  std::string out = dir.Join("out");
  for (uint32_t k = 0; k < 4; ++k) {
    ASSERT_EQ(plugin.getFile(path.c_str(), static_cast<int32_t>(list[k].position), const_cast<char*>(out.c_str()),
                             InputFile | (OutputFile << OutputKindShift), nullptr, 0),
              ResultOk);
    EXPECT_EQ(ReadBytes(dir.Join("out/" + std::string(list[k].filename))), layout.frames[k]);
    SpiHandle block = nullptr;
    ASSERT_EQ(plugin.getFile(path.c_str(), static_cast<int32_t>(list[k].position), &block,
                             InputFile | (OutputMemory << OutputKindShift), nullptr, 0),
              ResultOk);
    EXPECT_EQ(host::TakeBlock(block, layout.frames[k].size()), layout.frames[k]);
  }
}

TEST_F(VantrelTest, MemoryInputListsAndExtracts) {
  AniLayout layout;
  layout.frames = FourCursors();
  host::GuardedBuffer buf(BuildAni(layout));
  SpiHandle h = nullptr;
  ASSERT_EQ(plugin.getArchiveInfo(buf.source(), 777, InputMemory, &h), ResultOk);
  std::vector<fileInfo> list = host::TakeEntryList(h);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[2].position, 2u);
  // The position of a member of memory input is passed as the source address.
  SpiHandle block = nullptr;
  ASSERT_EQ(plugin.getFile(buf.source() + 2, 0, &block,
                           InputMemory | (OutputMemory << OutputKindShift), nullptr, 0),
            ResultOk);
  EXPECT_EQ(host::TakeBlock(block, layout.frames[2].size()), layout.frames[2]);
}

TEST_F(VantrelTest, ProgressInBlocksOf1024AndAbort) {
  AniLayout layout;
  layout.frames = {SeededIconFile(2, 2478, 9)};  // a frame of 2500 bytes
  ASSERT_EQ(layout.frames[0].size(), 2500u);
  host::GuardedBuffer buf(BuildAni(layout));
  const unsigned toMemory = InputMemory | (OutputMemory << OutputKindShift);

  Progress p;
  SpiHandle block = nullptr;
  ASSERT_EQ(plugin.getFile(buf.source(), 0, &block, toMemory, Record, reinterpret_cast<SpiUserValue>(&p)),
            ResultOk);
  EXPECT_EQ(host::TakeBlock(block, 2500), layout.frames[0]);
  std::vector<std::pair<int, int>> expected = {{0, 1}, {1024, 2500}, {2048, 2500}, {1, 1}};
  EXPECT_EQ(p.calls, expected);

  Progress stop;
  stop.stopAtCall = 2;  // at (2048, 2500)
  block = reinterpret_cast<SpiHandle>(1);
  EXPECT_EQ(plugin.getFile(buf.source(), 0, &block, toMemory, Record,
                           reinterpret_cast<SpiUserValue>(&stop)),
            ResultAborted);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(stop.calls.size(), 3u);

  // On disk an aborted copy leaves an existing target as it was.
  std::string path = dir.Write("big.ani", BuildAni(layout));
  dir.Write("#00001.CUR", Bytes{'o', 'l', 'd'});
  Progress stopDisk;
  stopDisk.stopAtCall = 1;
  EXPECT_EQ(plugin.getFile(path.c_str(), 0, const_cast<char*>(dir.path().c_str()), InputFile,
                           Record, reinterpret_cast<SpiUserValue>(&stopDisk)),
            ResultAborted);
  EXPECT_EQ(ReadBytes(dir.Join("#00001.CUR")), (Bytes{'o', 'l', 'd'}));
}

TEST_F(VantrelTest, BrokenFrameCreatesNothing) {
  AniLayout layout;
  layout.frames = FourCursors();
  Bytes file = BuildAni(layout);
  // The last frame claims more bytes than the file holds.
  size_t last = file.size() - layout.frames[3].size() - 8;
  Put32(file, last + 4, static_cast<uint32_t>(layout.frames[3].size() + 1));
  std::string path = dir.Write("broken.ani", file);

  int result;
  ListFile(path, 0, &result);
  EXPECT_EQ(result, ResultBrokenData);
  std::string out = dir.Join("never");
  EXPECT_EQ(plugin.getFile(path.c_str(), 3, const_cast<char*>(out.c_str()), InputFile, nullptr, 0),
            ResultBrokenData);
  EXPECT_FALSE(Exists(out));
  // The intact frames still extract.
  EXPECT_EQ(plugin.getFile(path.c_str(), 2, const_cast<char*>(out.c_str()), InputFile, nullptr, 0),
            ResultOk);
  EXPECT_EQ(ReadBytes(dir.Join("never/#00003.CUR")), layout.frames[2]);
}

TEST_F(VantrelTest, HostileCountsFailPromptly) {
  AniLayout layout;
  layout.frames = FourCursors();
  for (uint32_t count : {0u, 0xFFFFFFFFu, 5u}) {
    layout.frameCount = count;
    host::GuardedBuffer buf(BuildAni(layout));
    auto start = std::chrono::steady_clock::now();
    SpiHandle h = reinterpret_cast<SpiHandle>(1);
    EXPECT_EQ(plugin.getArchiveInfo(buf.source(), 0, InputMemory, &h), ResultBrokenData) << count;
    EXPECT_EQ(h, nullptr);
    SpiHandle block = nullptr;
    EXPECT_EQ(plugin.getFile(buf.source(), 0, &block,
                             InputMemory | (OutputMemory << OutputKindShift), nullptr, 0),
              ResultBrokenData)
        << count;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << count;
  }
}

// Real cursors and icons assembled into an animated cursor list and extract
// back exactly those files.
TEST_F(VantrelTest, RealCursorsComeBackUnchanged) {
  std::vector<std::string> cursors = RealIconFiles(".cur");
  std::vector<std::string> icons = RealIconFiles(".ico");
  if (cursors.size() < 4) GTEST_SKIP() << "no cursors extracted from Wine's user32";
  std::vector<std::string> sources(cursors.begin(), cursors.begin() + 4);
  if (!icons.empty()) sources.push_back(icons.front());
  AniLayout layout;
  for (const std::string& s : sources) layout.frames.push_back(ReadBytes(s));
  std::string path = dir.Write("real.ani", BuildAni(layout));

  int result;
  std::vector<fileInfo> list = ListFile(path, 0, &result);
  ASSERT_EQ(result, ResultOk);
  ASSERT_EQ(list.size(), sources.size());
  std::string out = dir.Join("real");
  for (size_t k = 0; k < list.size(); ++k) {
    std::string ext = sources[k].substr(sources[k].size() - 4);
    EXPECT_EQ(std::string(list[k].filename),
              "#0000" + std::to_string(k + 1) + (ext == ".cur" ? ".CUR" : ".ICO"));
    EXPECT_EQ(list[k].filesize, layout.frames[k].size());
    ASSERT_EQ(plugin.getFile(path.c_str(), static_cast<int32_t>(list[k].position),
                             const_cast<char*>(out.c_str()), InputFile, nullptr, 0),
              ResultOk);
    EXPECT_EQ(ReadBytes(dir.Join("real/" + std::string(list[k].filename))), layout.frames[k])
        << sources[k];
  }
}

}  // namespace
