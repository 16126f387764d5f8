// Inputs the fuzzers found, minimised and kept: inputs/<target>/<name>, each in
// the fuzz targets' form (one control byte, then the file). Every one is run
// through its plug-in under every setting the fuzz target varies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/hostile/drive.h"

using build::Bytes;
using namespace hostile;
namespace fs = std::filesystem;

namespace {

std::vector<Bytes> Inputs(const char* target) {
  std::vector<Bytes> files;
  fs::path dir = fs::path(SPI_HOSTILE_INPUTS) / target;
  if (!fs::is_directory(dir)) return files;
  std::vector<fs::path> paths;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) paths.push_back(e.path());
  std::sort(paths.begin(), paths.end());
  for (const fs::path& p : paths) {
    std::ifstream in(p, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!b.empty()) files.emplace_back(b.begin() + 1, b.end());  // drop the control byte
  }
  return files;
}

template <typename Load>
void RunArchives(const char* target, std::initializer_list<uint32_t> settings, Load load) {
  std::vector<Bytes> inputs = Inputs(target);
  for (uint32_t s : settings) {
    auto plugin = load(s);
    for (size_t i = 0; i < inputs.size(); ++i) {
      ArchiveRun run = RunArchive(*plugin, inputs[i]);
      EXPECT_TRUE(IsResultCode(run.list)) << target << " input " << i;
      EXPECT_LT(run.seconds, PromptSeconds) << target << " input " << i << " setting " << s;
    }
  }
}

// Settings 0 to 3: ExtractLanguage in bit 0, ListAllTypes in bit 1.
TEST(FuzzFindings, Pelorin) {
  RunArchives("pelorin", {0, 1, 2, 3}, [](uint32_t s) { return Pelorin(s & 1, s >> 1); });
}
TEST(FuzzFindings, Vantrel) { RunArchives("vantrel", {0, 1}, [](uint32_t s) { return Vantrel(s); }); }
TEST(FuzzFindings, Quibbet) { RunArchives("quibbet", {0, 1}, [](uint32_t s) { return Quibbet(s); }); }

TEST(FuzzFindings, Morvane) {
  std::vector<Bytes> inputs = Inputs("morvane");
  for (uint32_t s : {0u, 1u, 2u}) {
    auto m = Morvane(s);
    for (size_t i = 0; i < inputs.size(); ++i) {
      PictureRun run = RunPicture(*m, inputs[i]);
      EXPECT_LT(run.seconds, PromptSeconds) << "input " << i << " setting " << s;
    }
  }
}

}  // namespace
