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
#include "platform/platform.h"
#include "formats/icon.h"

using namespace iconbuild;

namespace {

// The plug-in lies beside the test program on both builds.
std::string PluginPath() {
  char path[4096];
  if (!platform::ModulePath(reinterpret_cast<const void*>(&PluginPath), path, sizeof path))
    return "Morvane" SPI_PLUGIN_SUFFIX;
  std::string p(path);
  size_t cut = p.find_last_of("/\\");
  return (cut == std::string::npos ? std::string(".") : p.substr(0, cut)) + "/Morvane" SPI_PLUGIN_SUFFIX;
}

class MorvaneExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(host::LoadPlugin(PluginPath(), &plugin, &error)) << error;
  }
  static void TearDownTestSuite() {
    if (plugin.library) host::UnloadPlugin(&plugin);
  }
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

Picture AlphaFromMemory(const host::Plugin& p, const Bytes& file, unsigned options) {
  host::GuardedBuffer buffer(file);
  Picture pic;
  SpiHandle hi = Untouched, hb = Untouched;
  pic.result = p.getPictureAlpha(buffer.source(), static_cast<int32_t>(buffer.size()), InputMemory,
                                 options, &hi, &hb, nullptr, 0);
  if (pic.result == ResultOk) {
    pic.info = host::TakeBlock(hi);
    pic.bits = host::TakeBlock(hb);
  }
  return pic;
}

// The one image of a one-image file, as its directory entry places it.
Bytes StoredImage(const Bytes& file) {
  uint32_t size = dibrgb::Get32(file, 14), offset = dibrgb::Get32(file, 18);
  return Bytes(file.begin() + offset, file.begin() + offset + size);
}

// GetPictureAlpha of a one-image file against the reference decoder with
// alpha: 32-bit rows, and with SpiKeepEncoded a PNG image's bytes as stored.
std::string AlphaDifference(const host::Plugin& p, const std::string& path, int bits) {
  int width = 0, height = 0;
  Bytes expected = dibrgb::ExpectedRgba(path, bits, &width, &height, true);
  Bytes file = dibrgb::ReadFile(path);
  Picture a = AlphaFromMemory(p, file, 0);
  if (a.result != ResultOk) return "result " + std::to_string(a.result);
  if (a.info.size() != 40 || a.info[14] != 32 || dibrgb::Get32(a.info, 16) != 0) return "not 32-bit rows";
  std::string d = dibrgb::FirstDifference(dibrgb::ToRgba(a.info, a.bits), expected);
  if (!d.empty()) return d;
  Picture k = AlphaFromMemory(p, file, SpiKeepEncoded);
  if (k.result != ResultOk) return "kept: result " + std::to_string(k.result);
  Bytes block = StoredImage(file);
  const bool png = block.size() > 8 && block[0] == 0x89 && block[1] == 'P';
  if (png && (dibrgb::Get32(k.info, 16) != SpiCompressionPng || k.bits != block))
    return "PNG image not handed over as stored";
  if (!png && (k.info != a.info || k.bits != a.bits)) return "kept form differs for a bitmap";
  return "";
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

using dibrgb::ReadFile;

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
  SpiHandle text = info.hInfo;  // a copy: the packed field is unaligned
  EXPECT_EQ(text, nullptr);
  // The record as a host of this interface reads it: 26 bytes with the handle
  // at 22, or 32 with two zero bytes at 22 and the handle at 24.
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(&info);
  ASSERT_EQ(sizeof info, SPI_INTERFACE_32 ? 26u : 32u);
  EXPECT_EQ(raw[20], 4);
  if (!SPI_INTERFACE_32) {
    EXPECT_TRUE(raw[22] == 0 && raw[23] == 0);
  }
  for (size_t i = sizeof info - sizeof(void*); i < sizeof info; ++i) EXPECT_EQ(raw[i], 0) << i;

  Picture m = GetFromMemory(plugin, f);
  ASSERT_EQ(m.result, ResultOk);
  EXPECT_EQ(m.info.size(), 104u);
  EXPECT_EQ(m.bits, ColourBitsOf(s));

  // A length of 0: the input reaches to the end of readable memory, which here
  // ends with the icon; an icon cut short there is still broken data.
  PictureInfo unbounded{};
  EXPECT_EQ(plugin.getPictureInfo(buffer.source(), 0, InputMemory, &unbounded), ResultOk);
  EXPECT_EQ(std::memcmp(&unbounded, &info, sizeof info), 0);
  SpiHandle hi = Untouched, hb = Untouched;
  ASSERT_EQ(plugin.getPicture(buffer.source(), 0, InputMemory, &hi, &hb, nullptr, 0), ResultOk);
  EXPECT_EQ(host::TakeBlock(hi), m.info);
  EXPECT_EQ(host::TakeBlock(hb), m.bits);
  host::GuardedBuffer cut(Bytes(f.begin(), f.begin() + f.size() / 2));
  EXPECT_EQ(plugin.getPicture(cut.source(), 0, InputMemory, &hi, &hb, nullptr, 0),
            ResultBrokenData);

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

#ifdef _WIN32
#define WIDE_TEXT(s) L##s
#else
#define WIDE_TEXT(s) u##s
#endif

// The W forms read a file that only a UTF-16 name reaches (한 has no code
// page 932 form) and hand over exactly what the plain forms do.
TEST_F(MorvaneExports, UnicodeFormsMatchThePlainOnes) {
  ASSERT_TRUE(plugin.getPictureInfoW && plugin.getPictureW && plugin.getPictureAlphaW &&
              plugin.getPluginInfoW && plugin.isSupportedW && plugin.getPreviewW);
  const Bytes f = IconFile(ImageSpec{16, 16, 32});
  const SpiWChar* name = WIDE_TEXT("表한-morvane.ico");
  platform::MappedFile out;
  ASSERT_TRUE(platform::MapNew(name, static_cast<uint32_t>(f.size()), &out));
  std::memcpy(out.data, f.data(), f.size());
  ASSERT_TRUE(platform::FlushMapped(&out));
  platform::Unmap(&out);

  SpiWChar wide[64];
  ASSERT_EQ(plugin.getPluginInfoW(3, wide, 64), 26);
  EXPECT_EQ(std::basic_string<SpiWChar>(wide), WIDE_TEXT("Icon, Cursor (*.ico;*.cur)"));
  host::GuardedBuffer memory(f);
  EXPECT_EQ(plugin.isSupportedW(name, reinterpret_cast<uintptr_t>(memory.data())), 1);

  PictureInfo a{}, b{};
  ASSERT_EQ(plugin.getPictureInfo(memory.source(), static_cast<SpiLength>(f.size()), InputMemory, &a),
            ResultOk);
  ASSERT_EQ(plugin.getPictureInfoW(name, 0, InputFile, &b), ResultOk);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  SpiHandle hi = Untouched, hb = Untouched, wi = Untouched, wb = Untouched;
  ASSERT_EQ(plugin.getPicture(memory.source(), 0, InputMemory, &hi, &hb, nullptr, 0), ResultOk);
  ASSERT_EQ(plugin.getPictureW(name, 0, InputFile, &wi, &wb, nullptr, 0), ResultOk);
  EXPECT_EQ(host::TakeBlock(hi), host::TakeBlock(wi));
  EXPECT_EQ(host::TakeBlock(hb), host::TakeBlock(wb));
  ASSERT_EQ(plugin.getPictureAlpha(memory.source(), 0, InputMemory, 0, &hi, &hb, nullptr, 0),
            ResultOk);
  ASSERT_EQ(plugin.getPictureAlphaW(name, 0, InputFile, 0, &wi, &wb, nullptr, 0), ResultOk);
  EXPECT_EQ(host::TakeBlock(hi), host::TakeBlock(wi));
  EXPECT_EQ(host::TakeBlock(hb), host::TakeBlock(wb));
  // Memory input through a W form is the same bytes.
  ASSERT_EQ(plugin.getPictureW(reinterpret_cast<const SpiWChar*>(memory.source()), 0, InputMemory,
                               &wi, &wb, nullptr, 0),
            ResultOk);
  host::TakeBlock(wi);
  host::TakeBlock(wb);
  EXPECT_EQ(plugin.getPreviewW(name, 0, InputFile, &wi, &wb, nullptr, 0), ResultNotImplemented);

  ASSERT_TRUE(platform::RemoveFile(name));
  EXPECT_EQ(plugin.getPictureInfoW(name, 0, InputFile, &b), ResultReadError);
  wi = wb = Untouched;
  EXPECT_EQ(plugin.getPictureW(name, 0, InputFile, &wi, &wb, nullptr, 0), ResultReadError);
}

TEST_F(MorvaneExports, RefusalsKeepTheirHandleRules) {
  Bytes f32 = IconFile(ImageSpec{16, 16, 48});
  host::GuardedBuffer b32(f32);
  PictureInfo info{};
  ASSERT_EQ(plugin.getPictureInfo(b32.source(), static_cast<int32_t>(f32.size()), InputMemory,
                                  &info),
            ResultOk);
  EXPECT_EQ(info.colorDepth, 48);
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
    int width = 0, height = 0;
    Bytes expected = dibrgb::ExpectedRgba(path, bits, &width, &height);
    ASSERT_FALSE(expected.empty()) << name;
    Bytes file = ReadFile(path);
    Picture m = GetFromMemory(plugin, file);
    ASSERT_EQ(m.result, ResultOk) << name;
    EXPECT_EQ(m.info[14], bits) << name;
    EXPECT_EQ(dibrgb::Get32(m.info, 4), static_cast<uint32_t>(width)) << name;
    EXPECT_EQ(dibrgb::Get32(m.info, 8), static_cast<uint32_t>(height)) << name;
    EXPECT_EQ(dibrgb::FirstDifference(dibrgb::ToRgba(m.info, m.bits), expected), "") << name;
    Picture d = GetFromFile(plugin, path);
    ASSERT_EQ(d.result, ResultOk) << name;
    EXPECT_EQ(d.bits, m.bits) << name;
    EXPECT_EQ(AlphaDifference(plugin, path, bits), "") << name;
    ++perDepth[bits];
  }
  for (int depth : {1, 4, 8, 24, 32}) EXPECT_GT(perDepth[depth], 0) << depth;
}

// Every image of Wine's icon and cursor groups, as a one-image file, decodes to
// the pixels Pillow reports (alpha included from 32 bits on, and at every depth
// through GetPictureAlpha).
TEST_F(MorvaneExports, WineImagesMatchAnIndependentDecoder) {
  std::ifstream manifest("samples/wine/single/manifest.txt");
  if (!manifest) GTEST_SKIP() << "no Wine icons extracted at build time";
  std::string name;
  int bits = 0, images = 0;
  while (manifest >> name >> bits) {
    std::string path = "samples/wine/single/" + name;
    int width = 0, height = 0;
    Bytes expected = dibrgb::ExpectedRgba(path, bits, &width, &height);
    Picture p = GetFromMemory(plugin, ReadFile(path));
    ASSERT_EQ(p.result, ResultOk) << name;
    EXPECT_EQ(dibrgb::FirstDifference(dibrgb::ToRgba(p.info, p.bits), expected), "") << name;
    EXPECT_EQ(AlphaDifference(plugin, path, bits), "") << name;
    ++images;
  }
  std::printf("%d images of Wine's icons and cursors match\n", images);
  EXPECT_GT(images, 0);
}

// Whole groups under the loaded setting: one image always decodes, several
// only when the setting lets Morvane take them.
TEST_F(MorvaneExports, WineGroupsDecodeUnderTheSetting) {
  std::ifstream manifest("samples/wine/manifest.txt");
  if (!manifest) GTEST_SKIP() << "no Wine icons extracted at build time";
  int group = plugin.getGroupIconSetting();
  std::string name;
  int files = 0;
  while (manifest >> name) {
    Bytes file = ReadFile("samples/wine/" + name);
    IconHeader header;
    ASSERT_TRUE(ReadIconHeader(ByteView{file.data(), file.size()}, 0, &header)) << name;
    Picture p = GetFromMemory(plugin, file);
    EXPECT_EQ(p.result, header.count == 1 || group != 0 ? ResultOk : ResultBrokenData) << name;
    ++files;
  }
  EXPECT_GT(files, 0);
}
