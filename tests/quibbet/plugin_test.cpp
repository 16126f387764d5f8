// Quibbet.spi as a host sees it, bound to a stand-in Morvane whose settings
// the tests change through a file beside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/spi.h"
#include "tests/builders/icon.h"
#include "morvane/settings.h"
#include "support.h"

using namespace build;

namespace {

using Calls = std::vector<std::pair<int, int>>;
int SPI_CALL RecordProgress(int done, int total, SpiUserValue user) {
  reinterpret_cast<Calls*>(user)->push_back({done, total});
  return 0;
}

std::vector<std::string> Names(const std::vector<fileInfo>& list) {
  std::vector<std::string> names;
  for (const fileInfo& r : list) names.push_back(r.filename);
  return names;
}

class QuibbetPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearHostPluginPath();
    CopyPlugin("Quibbet" SPI_PLUGIN_SUFFIX, dir / "Quibbet" SPI_PLUGIN_SUFFIX);
    CopyPlugin("FakeMorvane" SPI_PLUGIN_SUFFIX, dir / "Morvane" SPI_PLUGIN_SUFFIX);
    Settings(0, 0);
    quibbet = LoadOrFail(dir / "Quibbet" SPI_PLUGIN_SUFFIX);
    ASSERT_NE(quibbet.library, nullptr);
  }
  void TearDown() override { host::UnloadPlugin(&quibbet); }

  void Settings(int groupIcon, int fileName) {
    WriteText(dir / "fake_morvane.txt",
              std::to_string(groupIcon) + " " + std::to_string(fileName) + "\n");
  }
  int IsSupported(const std::vector<uint8_t>& head) {
    return quibbet.isSupported("x.ico", reinterpret_cast<uintptr_t>(head.data()));
  }
  int List(const fs::path& file, int32_t offset, std::vector<fileInfo>* out) {
    SpiHandle block = nullptr;
    int r = quibbet.getArchiveInfo(file.string().c_str(), offset, InputFile, &block);
    *out = block ? host::TakeEntryList(block) : std::vector<fileInfo>{};
    return r;
  }
  int ExtractToMemory(const fs::path& file, uint32_t position, std::vector<uint8_t>* out) {
    SpiHandle block = nullptr;
    int r = quibbet.getFile(file.string().c_str(), static_cast<int32_t>(position), &block,
                            InputFile | (OutputMemory << OutputKindShift), nullptr, 0);
    if (r == ResultOk) *out = host::TakeBlock(block);
    return r;
  }

  ScratchDir dir;
  host::Plugin quibbet;
};

TEST_F(QuibbetPlugin, AnswersItsInformationStrings) {
  EXPECT_EQ(host::PluginInfo(quibbet, 0), "00AM");
  EXPECT_EQ(host::PluginInfo(quibbet, 1),
            "Quibbet " SPI_VERSION_STRING ": images of icon and cursor files (Kestrov)");
  EXPECT_EQ(host::PluginInfo(quibbet, 2), "*.ICO;*.CUR");
  EXPECT_EQ(host::PluginInfo(quibbet, 3), "Icon, Cursor (*.ico;*.cur)");
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(quibbet.getPluginInfo(4, buffer, 8), 0);
  EXPECT_EQ(quibbet.getPluginInfo(-1, buffer, 8), 0);
  EXPECT_STREQ(buffer, "xxxxxxx");
}

TEST_F(QuibbetPlugin, TheGroupIconSettingDecidesAtOnceBetweenTwoCalls) {
  std::vector<uint8_t> icon = MakeIconFile(1, std::vector<TestImage>(3));
  std::vector<uint8_t> cursor = MakeIconFile(2, std::vector<TestImage>(3));
  EXPECT_EQ(IsSupported(icon), 1);
  EXPECT_EQ(IsSupported(cursor), 2);
  Settings(ShowLargeIcon, 0);
  EXPECT_EQ(IsSupported(icon), 0);
  Settings(ShowFirstIcon, 0);
  EXPECT_EQ(IsSupported(cursor), 0);
  Settings(TreatAsArchive, 0);
  EXPECT_EQ(IsSupported(icon), 1);
  EXPECT_EQ(IsSupported(MakeIconFile(1, std::vector<TestImage>(1))), 0);
}

TEST_F(QuibbetPlugin, ListsAndExtractsAnArchiveThatStartsAtOffset100) {
  std::vector<TestImage> images(3);
  images[0].byteSize = 1500;  // more than one block of copying: still no progress of our own
  images[1].width = images[1].height = 16;
  images[2].colorCount = 0;
  std::vector<uint8_t> icon = MakeIconFile(1, images);
  std::vector<uint8_t> file = Concat(std::vector<uint8_t>(100, 0x77), icon);
  fs::path path = dir / "embedded.bin";
  WriteAll(path, file);

  std::vector<fileInfo> list;
  ASSERT_EQ(List(path, 100, &list), ResultOk);
  ASSERT_EQ(list.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(list[i].position, 106 + 16 * i);

  fileInfo record;
  ASSERT_EQ(quibbet.getFileInfo(path.string().c_str(), 100, "#00002.ICO", InputFile, &record),
            ResultOk);
  EXPECT_EQ(record.position, 122u);
  EXPECT_EQ(record.filesize, images[1].byteSize + 22);
  EXPECT_EQ(quibbet.getFileInfo(path.string().c_str(), 100, "#00004.ICO", InputFile, &record),
            ResultNotSupported);

  ScratchDir out;
  for (uint32_t i = 0; i < 3; ++i) {
    Calls calls;
    ASSERT_EQ(quibbet.getFile(path.string().c_str(), static_cast<int32_t>(list[i].position),
                              const_cast<char*>(out.text().c_str()), InputFile, RecordProgress,
                              reinterpret_cast<SpiUserValue>(&calls)),
              ResultOk);
    EXPECT_EQ(calls, (Calls{{0, 1}, {1, 1}}));
    EXPECT_EQ(ReadAll(out / list[i].filename), ExpectedSingle(icon, i)) << list[i].filename;
    std::vector<uint8_t> inMemory;
    ASSERT_EQ(ExtractToMemory(path, list[i].position, &inMemory), ResultOk);
    inMemory.resize(list[i].filesize);
    EXPECT_EQ(inMemory, ExpectedSingle(icon, i));
  }

  // The file name follows the setting in force at the extraction.
  Settings(TreatAsArchive, SizeName);
  ASSERT_EQ(quibbet.getFile(path.string().c_str(), 122, const_cast<char*>(out.text().c_str()),
                            InputFile, nullptr, 0),
            ResultOk);
  EXPECT_EQ(ReadAll(out / "16x16x16.ICO"), ExpectedSingle(icon, 1));
  ASSERT_EQ(List(path, 100, &list), ResultOk);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"32x32x16.ICO", "16x16x16.ICO", "32x32.ICO"}));
}

TEST_F(QuibbetPlugin, AOneImageFileIsListedButNotExtracted) {
  fs::path path = dir / "one.ico";
  WriteAll(path, MakeIconFile(1, std::vector<TestImage>(1)));
  std::vector<fileInfo> list;
  ASSERT_EQ(List(path, 0, &list), ResultOk);
  EXPECT_EQ(Names(list), std::vector<std::string>{"#00001.ICO"});
  ScratchDir out;
  fs::path target = out / "sub";
  EXPECT_EQ(quibbet.getFile(path.string().c_str(), 6, const_cast<char*>(target.string().c_str()),
                            InputFile, nullptr, 0),
            ResultBrokenData);
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(QuibbetPlugin, AnImageBlockPastTheEndOfTheFileWritesNothing) {
  std::vector<uint8_t> icon = MakeIconFile(1, std::vector<TestImage>(2));
  Put32(icon, 22 + 8, 41);
  fs::path path = dir / "short.ico";
  WriteAll(path, icon);
  ScratchDir out;
  fs::path target = out / "sub";
  EXPECT_EQ(quibbet.getFile(path.string().c_str(), 22, const_cast<char*>(target.string().c_str()),
                            InputFile, nullptr, 0),
            ResultBrokenData);
  EXPECT_FALSE(fs::exists(target));
  SpiHandle block = reinterpret_cast<SpiHandle>(1);
  EXPECT_EQ(quibbet.getFile(path.string().c_str(), 22, &block,
                            InputFile | (OutputMemory << OutputKindShift), nullptr, 0),
            ResultBrokenData);
  EXPECT_EQ(block, reinterpret_cast<SpiHandle>(1));
  // A position beyond the end of the file finds nothing either.
  EXPECT_EQ(quibbet.getFile(path.string().c_str(), 100000, &block,
                            InputFile | (OutputMemory << OutputKindShift), nullptr, 0),
            ResultBrokenData);
}

TEST_F(QuibbetPlugin, ForwardsItsConfigurationDialogUnchanged) {
  SpiWindow parent = reinterpret_cast<SpiWindow>(static_cast<uintptr_t>(4660));
  EXPECT_EQ(quibbet.configurationDlg(parent, 1), 1001);
  EXPECT_EQ(quibbet.configurationDlg(nullptr, 0), 1000);
  EXPECT_EQ(ReadText(dir / "fake_morvane.log"), "attach\ndialog 4660 1\ndialog 0 0\n");
}

TEST_F(QuibbetPlugin, ExtractedImagesAreOnesMorvaneDecodes) {
  fs::path morvaneFile = PluginFile("Morvane" SPI_PLUGIN_SUFFIX);
  if (!fs::exists(morvaneFile)) GTEST_SKIP() << "Morvane.spi is not built";
  host::Plugin morvane = LoadOrFail(morvaneFile);
  if (!morvane.getPictureInfo) {
    host::UnloadPlugin(&morvane);
    GTEST_SKIP() << "Morvane has no GetPictureInfo yet";
  }
  std::vector<TestImage> entries(3);
  entries[0].width = entries[0].height = 16;
  entries[1].width = entries[1].height = 32;
  entries[1].colorCount = 0;
  entries[2].width = 24;
  entries[2].height = 24;
  entries[2].colorCount = 2;
  std::vector<uint8_t> icon = MakeIconFileOf(
      1, {GreyImageBlock(16, 16, 4), GreyImageBlock(32, 32, 8), GreyImageBlock(24, 24, 1)}, entries);
  fs::path path = dir / "three.ico";
  WriteAll(path, icon);
  ScratchDir out;
  const int sizes[] = {16, 32, 24};
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(quibbet.getFile(path.string().c_str(), 6 + 16 * i,
                              const_cast<char*>(out.text().c_str()), InputFile, nullptr, 0),
              ResultOk);
    fs::path single = out / ("#0000" + std::to_string(i + 1) + ".ICO");
    PictureInfo info{};
    EXPECT_EQ(morvane.getPictureInfo(single.string().c_str(), 0, InputFile, &info), ResultOk);
    EXPECT_EQ(info.width, sizes[i]);
    EXPECT_EQ(info.height, sizes[i]);
    if (info.hInfo) SpiFreeBlock(info.hInfo);
  }
  host::UnloadPlugin(&morvane);
}

}  // namespace
