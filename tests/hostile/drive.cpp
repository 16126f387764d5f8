#include "tests/hostile/drive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "test_registry.h"

namespace fs = std::filesystem;

namespace hostile {

namespace {

std::atomic<int> folderCount{0};

struct BrokenPromise {
  std::string what;
  int result;
};
[[noreturn]] void ThrowBroken(const char* what, int result) { throw BrokenPromise{what, result}; }

// Runs the contract driver; a promise it finds broken fails the test.
template <typename Drive>
void Guarded(Drive drive) {
  fuzz::SetBrokenHandler(ThrowBroken);
  try {
    drive();
  } catch (const BrokenPromise& b) {
    ADD_FAILURE() << "broken promise: " << b.what << " (result " << b.result << ")";
  }
}

// Memory input, and file input with the data a few bytes into the file; no
// progress callback, as a viewer that shows none.
constexpr uint8_t FromMemory = fuzz::ControlNoProgress;
constexpr uint8_t FromFile = fuzz::ControlNoProgress | fuzz::ControlFromFile | fuzz::ControlOffset;
constexpr uint32_t FileOffset = 5;
// Every member driven and looked up (up to 64 and the last).
constexpr fuzz::Reach Everything{65, true};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

LoadedPlugin::LoadedPlugin(const char* name, const char* settingsKey,
                           std::vector<std::pair<const char*, uint32_t>> settings,
                           std::vector<const char*> companions) {
  testreg::Reset();
  for (const auto& [value, data] : settings) testreg::PutDword(settingsKey, value, data);
  // A folder of its own per load: the start-up runs again and reads these settings.
  dir_ = (fs::temp_directory_path() /
          ("spi-hostile-" + std::to_string(folderCount++) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count())))
             .string();
  fs::create_directories(dir_);
  std::string bin = testreg::BinaryDir();
  for (const char* c : companions)
    fs::copy_file(fs::path(bin) / (std::string(c) + SPI_PLUGIN_SUFFIX), fs::path(dir_) / (std::string(c) + SPI_PLUGIN_SUFFIX));
  std::string path = (fs::path(dir_) / (std::string(name) + SPI_PLUGIN_SUFFIX)).string();
  fs::copy_file(fs::path(bin) / (std::string(name) + SPI_PLUGIN_SUFFIX), path);
  std::string error;
  EXPECT_TRUE(host::LoadPlugin(path, &plugin_, &error)) << error;
}

LoadedPlugin::~LoadedPlugin() {
  if (plugin_.library) host::UnloadPlugin(&plugin_);
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

LoadedPlugin Pelorin(uint32_t extractLanguage, uint32_t listAllTypes) {
  return LoadedPlugin("Pelorin", testreg::PelorinKey,
                      {{"ExtractLanguage", extractLanguage}, {"ListAllTypes", listAllTypes}});
}
LoadedPlugin Vantrel(uint32_t listAllFrames) {
  return LoadedPlugin("Vantrel", testreg::VantrelKey, {{"ListAllFrames", listAllFrames}});
}
LoadedPlugin Quibbet(uint32_t fileName) {
  return LoadedPlugin("Quibbet", testreg::MorvaneKey, {{"GroupIcon", 0}, {"FileName", fileName}},
                      {"Morvane"});
}
LoadedPlugin Morvane(uint32_t groupIcon) {
  return LoadedPlugin("Morvane", testreg::MorvaneKey, {{"GroupIcon", groupIcon}});
}

ArchiveRun RunArchive(const host::Plugin& p, const build::Bytes& bytes) {
  ArchiveRun run;
  const auto start = std::chrono::steady_clock::now();
  fuzz::ArchiveReport mem, file;
  Guarded([&] { fuzz::DriveArchive(p, FromMemory, bytes.data(), bytes.size(), &mem, Everything); });
  Guarded([&] { fuzz::DriveArchive(p, FromFile, bytes.data(), bytes.size(), &file, Everything); });
  Guarded([&] { run.fileTest = fuzz::TestFile(p, bytes.data(), bytes.size()); });
  run.headTest = mem.headTest;
  run.list = mem.list;
  run.listFromFile = file.list;
  run.entries = mem.entries;
  run.extract = mem.extract;
  run.extractFromFile = file.extract;
  run.lookup = mem.lookup;
  EXPECT_EQ(run.list, run.listFromFile) << "memory and file input answer alike";
  EXPECT_EQ(mem.entries.size(), file.entries.size());
  for (size_t k = 0; k < mem.entries.size() && k < file.entries.size(); ++k)
    EXPECT_EQ(file.entries[k].position, mem.entries[k].position + FileOffset) << "member " << k;
  run.seconds = SecondsSince(start);
  return run;
}

int ExtractAt(const host::Plugin& p, const build::Bytes& bytes, uint32_t position,
              std::vector<uint8_t>* member) {
  int r = -100;
  Guarded([&] { r = fuzz::ExtractFromMemory(p, bytes.data(), bytes.size(), position, member); });
  return r;
}

PictureRun RunPicture(const host::Plugin& p, const build::Bytes& bytes) {
  PictureRun run;
  const auto start = std::chrono::steady_clock::now();
  fuzz::PictureReport mem, file;
  Guarded([&] { fuzz::DrivePicture(p, FromMemory, bytes.data(), bytes.size(), &mem); });
  Guarded([&] { fuzz::DrivePicture(p, FromFile, bytes.data(), bytes.size(), &file); });
  run.headTest = mem.headTest;
  run.info = mem.info;
  run.infoFromFile = file.info;
  run.picture = mem.picture;
  run.pictureFromFile = file.picture;
  run.alpha = mem.alpha;
  run.record = mem.record;
  run.infoBlock = std::move(mem.infoBlock);
  run.bitsBlock = std::move(mem.bitsBlock);
  EXPECT_EQ(run.info, run.infoFromFile) << "memory and file input answer alike";
  EXPECT_EQ(run.picture, run.pictureFromFile);
  run.seconds = SecondsSince(start);
  return run;
}

}  // namespace hostile
