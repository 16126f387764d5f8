// Icon files taken from Wine's own libraries (made at build time with icoutils)
// split into exactly the images that icotool -l reports, each image block
// byte for byte as the source directory places it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "framework/spi.h"
#include "tests/builders/icon.h"
#include "support.h"

using namespace build;

namespace {

struct Reported {
  int width = 0;
  int height = 0;
};

// The images of one "icotool -l" listing, one line each.
std::vector<Reported> ReadListing(const fs::path& file) {
  std::vector<Reported> images;
  std::istringstream lines(ReadText(file));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("--index=") == std::string::npos) continue;
    Reported r;
    size_t w = line.find("--width="), h = line.find("--height=");
    if (w != std::string::npos) r.width = std::atoi(line.c_str() + w + 8);
    if (h != std::string::npos) r.height = std::atoi(line.c_str() + h + 9);
    images.push_back(r);
  }
  return images;
}

fs::path RealDir() {
  const char* dir = std::getenv("QUIBBET_REAL_DIR");
  return dir ? fs::path(dir) : fs::path();
}

TEST(RealFiles, WineIconsSplitIntoTheImagesIcotoolReports) {
  fs::path real = RealDir();
  if (real.empty() || !fs::is_directory(real)) GTEST_SKIP() << "no sample folder";
  // Quibbet alone, so the group-icon setting is the built-in one.
  ClearHostPluginPath();
  ScratchDir own;
  CopyPlugin("Quibbet" SPI_PLUGIN_SUFFIX, own / "Quibbet" SPI_PLUGIN_SUFFIX);
  host::Plugin quibbet = LoadOrFail(own / "Quibbet" SPI_PLUGIN_SUFFIX);
  ASSERT_NE(quibbet.library, nullptr);

  int files = 0, images = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(real)) {
    fs::path file = e.path();
    if (file.extension() != ".ico" && file.extension() != ".cur") continue;
    std::vector<Reported> reported = ReadListing(file.string() + ".list");
    if (reported.empty()) continue;  // icotool itself refuses the file
    SCOPED_TRACE(file.filename().string());
    std::vector<uint8_t> bytes = ReadAll(file);
    const int type = bytes[2];
    std::string path = file.string();

    std::vector<fileInfo> list;
    SpiHandle block = nullptr;
    ASSERT_EQ(quibbet.getArchiveInfo(path.c_str(), 0, InputFile, &block), ResultOk);
    list = host::TakeEntryList(block);
    ASSERT_EQ(list.size(), reported.size());
    EXPECT_EQ(quibbet.isSupported(path.c_str(), reinterpret_cast<uintptr_t>(bytes.data())),
              reported.size() >= 2 ? type : 0);

    for (size_t i = 0; i < list.size(); ++i) {
      SpiHandle out = nullptr;
      int r = quibbet.getFile(path.c_str(), static_cast<int32_t>(list[i].position), &out,
                              InputFile | (OutputMemory << OutputKindShift), nullptr, 0);
      if (reported.size() < 2) {
        EXPECT_EQ(r, ResultBrokenData);
        continue;
      }
      ASSERT_EQ(r, ResultOk) << i;
      std::vector<uint8_t> single = host::TakeBlock(out, list[i].filesize);
      EXPECT_EQ(single, ExpectedSingle(bytes, i)) << i;
      // The directory's size bytes, with 0 for 256, agree with icotool.
      EXPECT_EQ(single[6] == 0 ? 256 : single[6], reported[i].width) << i;
      EXPECT_EQ(single[7] == 0 ? 256 : single[7], reported[i].height) << i;
      ++images;
    }
    ++files;
  }
  if (files == 0) GTEST_SKIP() << "no icon files were made (icoutils or Wine missing)";
  RecordProperty("files", files);
  RecordProperty("images", images);
  EXPECT_GT(images, files);
  host::UnloadPlugin(&quibbet);
}

}  // namespace
