// Morvane.spi loaded and called exactly as a viewer does.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "dib_rgb.h"
#include "host/host.h"
#include "icon_builder.h"
#include "quibbet/icon_format.h"

using namespace iconbuild;

namespace {

std::string PluginPath() {
  std::string p = MORVANE_PLUGIN;
#ifdef _WIN32
  if (!p.empty() && p[0] == '/') p = "Z:" + p;  // Wine's drive for the Unix root
#endif
  return p;
}

class MorvaneExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(host::LoadPlugin(PluginPath(), &plugin, &error)) << error;
  }
  static void TearDownTestSuite() { host::UnloadPlugin(&plugin); }
  static host::Plugin plugin;
};
host::Plugin MorvaneExports::plugin;

SpiHandle const Untouched = reinterpret_cast<SpiHandle>(static_cast<uintptr_t>(0x5A5A5A50));

struct Picture {
  int result = 0;
  std::vector<uint8_t> info, bits;
};

Picture GetFromMemory(const host::Plugin& p, const Bytes& file) {
  host::GuardedBuffer buffer(file);
  Picture pic;
  SpiHandle hi = Untouched, hb = Untouched;
  pic.result = p.getPicture(buffer.source(), static_cast<int32_t>(buffer.size()), InputMemory, &hi,
                            &hb, nullptr, 0);
  if (pic.result == ResultOk) {
    pic.info = host::TakeBlock(hi);
    pic.bits = host::TakeBlock(hb);
  }
  return pic;
}

Picture GetFromFile(const host::Plugin& p, const std::string& path, int32_t offset = 0) {
  Picture pic;
  SpiHandle hi = Untouched, hb = Untouched;
  pic.result = p.getPicture(path.c_str(), offset, InputFile, &hi, &hb, nullptr, 0);
  if (pic.result == ResultOk) {
    pic.info = host::TakeBlock(hi);
    pic.bits = host::TakeBlock(hb);
  }
  return pic;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST_F(MorvaneExports, InformationStrings) {
  EXPECT_EQ(host::PluginInfo(plugin, 0), "00IN");
  EXPECT_EQ(host::PluginInfo(plugin, 2), "*.ICO;*.CUR");
  EXPECT_EQ(host::PluginInfo(plugin, 3), "Icon, Cursor (*.ico;*.cur)");
  std::string description = host::PluginInfo(plugin, 1);
  EXPECT_EQ(description.rfind("Morvane", 0), 0u);
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(plugin.getPluginInfo(1, buffer, 10), 9);
  EXPECT_EQ(std::string(buffer), description.substr(0, 9));
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(plugin.getPluginInfo(4, buffer, 16), 0);
  EXPECT_EQ(plugin.getPluginInfo(-1, buffer, 16), 0);
  EXPECT_EQ(buffer[0], 'x');
}

TEST_F(MorvaneExports, IsSupportedAnswersTheType) {
  ASSERT_NE(plugin.getGroupIconSetting, nullptr);
  int group = plugin.getGroupIconSetting();
  host::GuardedBuffer icon(IconFile(ImageSpec{}));
  host::GuardedBuffer cursor(IconFile(ImageSpec{}, 2));
  host::GuardedBuffer two(IconFile({ImageBlock({}), ImageBlock({})}));
  EXPECT_EQ(plugin.isSupported("x.ico", reinterpret_cast<uintptr_t>(icon.data())), 1);
  EXPECT_EQ(plugin.isSupported("x.cur", reinterpret_cast<uintptr_t>(cursor.data())), 2);
  EXPECT_EQ(plugin.isSupported("x.ico", reinterpret_cast<uintptr_t>(two.data())),
            group == 0 ? 0 : 1);
  host::GuardedBuffer text(Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
  EXPECT_EQ(plugin.isSupported("x.ico", reinterpret_cast<uintptr_t>(text.data())), 0);
}

TEST_F(MorvaneExports, PictureFromMemoryAndFile) {
  ImageSpec s{32, 32, 4};
  Bytes f = IconFile(s);
  host::GuardedBuffer buffer(f);
  PictureInfo info;
  std::memset(&info, 0x55, sizeof info);
  ASSERT_EQ(plugin.getPictureInfo(buffer.source(), static_cast<int32_t>(f.size()), InputMemory,
                                  &info),
            ResultOk);
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.height, 32);
  EXPECT_EQ(info.colorDepth, 4);
  EXPECT_EQ(info.hInfo, nullptr);

  Picture m = GetFromMemory(plugin, f);
  ASSERT_EQ(m.result, ResultOk);
  EXPECT_EQ(m.info.size(), 104u);
  EXPECT_EQ(m.bits, ColourBitsOf(s));

  Bytes padded(100, 0);
  padded.insert(padded.end(), f.begin(), f.end());
  WriteFile("morvane_exports_input.ico", padded);
  Picture d = GetFromFile(plugin, "morvane_exports_input.ico", 100);
  ASSERT_EQ(d.result, ResultOk);
  EXPECT_EQ(d.info, m.info);
  EXPECT_EQ(d.bits, m.bits);
  std::remove("morvane_exports_input.ico");
  EXPECT_EQ(GetFromFile(plugin, "morvane_exports_input.ico", 100).result, ResultReadError);
  EXPECT_EQ(plugin.getPictureInfo("morvane_exports_input.ico", 0, InputFile, &info),
            ResultReadError);
}

TEST_F(MorvaneExports, RefusalsKeepTheirHandleRules) {
  Bytes f32 = IconFile(ImageSpec{16, 16, 32});
  host::GuardedBuffer b32(f32);
  PictureInfo info{};
  ASSERT_EQ(plugin.getPictureInfo(b32.source(), static_cast<int32_t>(f32.size()), InputMemory,
                                  &info),
            ResultOk);
  EXPECT_EQ(info.colorDepth, 32);
  SpiHandle hi = Untouched, hb = Untouched;
  EXPECT_EQ(plugin.getPicture(b32.source(), static_cast<int32_t>(f32.size()), InputMemory, &hi,
                              &hb, nullptr, 0),
            ResultNotImplemented);
  EXPECT_EQ(hi, Untouched);
  EXPECT_EQ(hb, Untouched);

  Bytes f = IconFile(ImageSpec{});
  host::GuardedBuffer b(f);
  for (unsigned flags : {2u, 3u, 4u, 5u, 6u, 7u}) {
    EXPECT_EQ(plugin.getPicture(b.source(), static_cast<int32_t>(f.size()), flags, &hi, &hb,
                                nullptr, 0),
              ResultNotImplemented);
    EXPECT_EQ(plugin.getPictureInfo(b.source(), static_cast<int32_t>(f.size()), flags, &info),
              ResultNotImplemented);
  }
  EXPECT_EQ(plugin.getPicture(b.source(), static_cast<int32_t>(f.size()), 0x11, &hi, &hb, nullptr,
                              0),
            ResultOk);
  host::TakeBlock(hi);
  host::TakeBlock(hb);
  hi = hb = Untouched;
  EXPECT_EQ(plugin.getPreview(b.source(), static_cast<int32_t>(f.size()), InputMemory, &hi, &hb,
                              nullptr, 0),
            ResultNotImplemented);
  EXPECT_EQ(hi, Untouched);

  // Broken data: both slots stay as they were (the info step refuses first).
  Bytes cut(f.begin(), f.end() - 70);
  Picture p = GetFromMemory(plugin, cut);
  EXPECT_EQ(p.result, ResultBrokenData);
}

// Icons and cursors written by icotool and ImageMagick decode to the pixels Pillow reports.
TEST_F(MorvaneExports, PixelsMatchAnIndependentDecoder) {
  std::ifstream manifest("samples/pixels/manifest.txt");
  if (!manifest) GTEST_SKIP() << "no samples (icotool, ImageMagick or Pillow missing at build time)";
  std::string name;
  int bits = 0;
  std::map<int, int> perDepth;
  while (manifest >> name >> bits) {
    std::string path = "samples/pixels/" + name;
    Bytes expected = ReadFile(path + ".rgb");
    ASSERT_GT(expected.size(), 8u) << name;
    Bytes rows(expected.begin() + 8, expected.end());
    Bytes file = ReadFile(path);
    Picture m = GetFromMemory(plugin, file);
    ASSERT_EQ(m.result, ResultOk) << name;
    EXPECT_EQ(m.info[14], bits) << name;
    EXPECT_EQ(dibrgb::ToRgb(m.info, m.bits), rows) << name;
    Picture d = GetFromFile(plugin, path);
    ASSERT_EQ(d.result, ResultOk) << name;
    EXPECT_EQ(d.bits, m.bits) << name;
    ++perDepth[bits];
  }
  for (int depth : {1, 4, 8, 24}) EXPECT_GT(perDepth[depth], 0) << depth;
}

// Every icon and cursor group of Wine's libraries, whole and image by image:
// decoded, or refused with a code the picture calls may give; never a crash.
TEST_F(MorvaneExports, WineIconsDecodeOrAreRefused) {
  std::ifstream manifest("samples/wine/manifest.txt");
  if (!manifest) GTEST_SKIP() << "no Wine icons extracted at build time";
  std::string name;
  std::map<int, int> outcomes;
  int files = 0;
  while (manifest >> name) {
    Bytes file = ReadFile("samples/wine/" + name);
    ++files;
    IconHeader header;
    ASSERT_TRUE(ReadIconHeader(ByteView{file.data(), file.size()}, 0, &header)) << name;
    std::vector<Bytes> singles{file};
    for (uint32_t i = 0; i < header.count; ++i) {
      IconDirEntry e;
      if (!ReadIconDirEntry(ByteView{file.data(), file.size()}, IconDirEntryOffset(i), &e)) break;
      ByteView image = Slice(ByteView{file.data(), file.size()}, e.imageOffset, e.byteSize);
      if (!image.data) continue;
      Bytes one(IconSingleFileHeaderSize + image.size);
      WriteIconSingleFile(one.data(), header.type, e, image);
      singles.push_back(one);
    }
    for (const Bytes& one : singles) {
      host::GuardedBuffer b(one);
      PictureInfo info{};
      int infoResult =
          plugin.getPictureInfo(b.source(), static_cast<int32_t>(one.size()), InputMemory, &info);
      Picture p = GetFromMemory(plugin, one);
      EXPECT_TRUE(p.result == ResultOk || p.result == ResultBrokenData ||
                  p.result == ResultNotImplemented)
          << name << " " << p.result;
      if (p.result == ResultOk) {
        EXPECT_EQ(infoResult, ResultOk);
        EXPECT_EQ(dibrgb::ToRgb(p.info, p.bits).size(),
                  static_cast<size_t>(info.width) * info.height * 3)
            << name;
      }
      if (p.result == ResultNotImplemented) EXPECT_EQ(info.colorDepth, 32) << name;
      ++outcomes[p.result];
    }
  }
  std::printf("%d Wine files: %d decoded, %d refused as broken, %d not handed over\n", files,
              outcomes[ResultOk], outcomes[ResultBrokenData], outcomes[ResultNotImplemented]);
  EXPECT_GT(outcomes[ResultOk], 0);
}
