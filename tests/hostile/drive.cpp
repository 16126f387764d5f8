#include "tests/hostile/drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "test_registry.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace hostile {

namespace {

std::atomic<int> folderCount{0};

void WriteFile(const std::string& path, const build::Bytes& bytes, size_t prefix = 0) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (size_t i = 0; i < prefix; ++i) out.put('~');
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// IsSupported with an open handle of the file, as a viewer that opened it.
int TestWithHandle(const host::Plugin& p, const std::string& path) {
#ifdef _WIN32
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -100;
  int r = p.isSupported(path.c_str(), reinterpret_cast<uintptr_t>(h));
  CloseHandle(h);
#else
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -100;
  int r = p.isSupported(path.c_str(), static_cast<uintptr_t>(fd));
  close(fd);
#endif
  return r;
}

int HeadTest(const host::Plugin& p, const build::Bytes& bytes) {
  if (bytes.empty()) return 0;
  host::GuardedBuffer head(bytes.data(), std::min<size_t>(bytes.size(), 2048));
  return p.isSupported("hostile", reinterpret_cast<uintptr_t>(head.data()));
}

int Extract(const host::Plugin& p, const char* source, SpiLength length, unsigned kind,
            const fileInfo* listed, std::vector<uint8_t>* member) {
  SpiHandle slot = nullptr;
  int r = p.getFile(source, length, &slot, kind | (OutputMemory << 8), nullptr, 0);
  EXPECT_TRUE(IsResultCode(r)) << r;
  if (r != ResultOk) {
    EXPECT_EQ(slot, nullptr) << "a failed GetFile leaves a null slot";
    return r;
  }
  EXPECT_NE(slot, nullptr);
  if (listed) {
    EXPECT_EQ(SpiBlockSize(slot), std::max<size_t>(listed->filesize, 2048));
  }
  std::vector<uint8_t> bytes = host::TakeBlock(slot);
  if (member) *member = std::move(bytes);
  return r;
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
  auto start = std::chrono::steady_clock::now();
  std::string dir = (fs::temp_directory_path() / ("spi-hostile-input-" + std::to_string(folderCount++))).string();
  fs::create_directories(dir);
  const std::string plain = dir + "/plain.bin", shifted = dir + "/shifted.bin";
  WriteFile(plain, bytes);
  WriteFile(shifted, bytes, 3);

  run.headTest = HeadTest(p, bytes);
  run.fileTest = TestWithHandle(p, plain);

  host::GuardedBuffer mem(bytes);
  SpiHandle list = nullptr;
  run.list = p.getArchiveInfo(mem.source(), static_cast<int32_t>(bytes.size()), InputMemory, &list);
  EXPECT_TRUE(IsResultCode(run.list)) << run.list;
  EXPECT_EQ(run.list == ResultOk, list != nullptr) << "a list exactly on success";
  if (list) run.entries = host::TakeEntryList(list);

  SpiHandle fileList = nullptr;
  run.listFromFile = p.getArchiveInfo(shifted.c_str(), 3, InputFile, &fileList);
  EXPECT_EQ(run.listFromFile == ResultOk, fileList != nullptr);
  std::vector<fileInfo> fileEntries = fileList ? host::TakeEntryList(fileList) : std::vector<fileInfo>();
  EXPECT_EQ(run.list, run.listFromFile) << "memory and file input answer alike";
  // A file that cannot be opened and an unknown input kind fail like broken
  // data: the slot holds a null handle, whatever it held before.
  for (unsigned kind : {unsigned{InputFile}, 2u}) {
    const std::string source = kind == InputFile ? dir + "/missing.bin" : plain;
    SpiHandle stale = reinterpret_cast<SpiHandle>(uintptr_t{0x5A5A0});
    EXPECT_NE(p.getArchiveInfo(source.c_str(), 0, kind, &stale), ResultOk);
    EXPECT_EQ(stale, nullptr) << "input kind " << kind;
  }
  EXPECT_EQ(run.entries.size(), fileEntries.size());

  for (size_t k = 0; k < run.entries.size() && k < 64; ++k) {
    const fileInfo& e = run.entries[k];
    std::string name = std::string(e.path) + e.filename;
    fileInfo found;
    int r = p.getFileInfo(mem.source(), static_cast<int32_t>(bytes.size()), name.c_str(), InputMemory, &found);
    run.lookup.push_back(r);
    if (e.position <= bytes.size()) {
      std::vector<uint8_t> member;
      run.extract.push_back(Extract(p, mem.source() + e.position,
                                    static_cast<int32_t>(bytes.size() - e.position), InputMemory, &e, &member));
    } else {
      ADD_FAILURE() << "position " << e.position << " lies past the input";
    }
    if (k < fileEntries.size()) {
      EXPECT_EQ(fileEntries[k].position, e.position + 3);
      run.extractFromFile.push_back(
          Extract(p, shifted.c_str(), static_cast<int32_t>(fileEntries[k].position), InputFile, &fileEntries[k], nullptr));
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

int ExtractAt(const host::Plugin& p, const build::Bytes& bytes, uint32_t position,
              std::vector<uint8_t>* member) {
  host::GuardedBuffer mem(bytes);
  if (position > bytes.size()) return -100;
  return Extract(p, mem.source() + position, static_cast<int32_t>(bytes.size() - position), InputMemory,
                 nullptr, member);
}

PictureRun RunPicture(const host::Plugin& p, const build::Bytes& bytes) {
  PictureRun run;
  auto start = std::chrono::steady_clock::now();
  std::string dir = (fs::temp_directory_path() / ("spi-hostile-input-" + std::to_string(folderCount++))).string();
  fs::create_directories(dir);
  const std::string shifted = dir + "/shifted.bin";
  WriteFile(shifted, bytes, 3);
  run.headTest = HeadTest(p, bytes);

  host::GuardedBuffer mem(bytes);
  const int32_t size = static_cast<int32_t>(bytes.size());
  run.info = p.getPictureInfo(mem.source(), size, InputMemory, &run.record);
  PictureInfo fromFile{};
  run.infoFromFile = p.getPictureInfo(shifted.c_str(), 3, InputFile, &fromFile);
  EXPECT_TRUE(IsResultCode(run.info)) << run.info;
  EXPECT_EQ(run.info, run.infoFromFile) << "memory and file input answer alike";

  SpiHandle info = nullptr, bits = nullptr;
  run.picture = p.getPicture(mem.source(), size, InputMemory, &info, &bits, nullptr, 0);
  EXPECT_TRUE(IsResultCode(run.picture)) << run.picture;
  if (run.picture == ResultOk) {
    EXPECT_TRUE(info && bits);
    run.infoBlock = host::TakeBlock(info);
    run.bitsBlock = host::TakeBlock(bits);
  } else {
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
  }
  if (p.getPictureAlpha) {
    // The picture as shown: no more memory than GetPicture's for the same input.
    SpiHandle a = nullptr, b = nullptr;
    run.alpha = p.getPictureAlpha(mem.source(), size, InputMemory, 0, &a, &b, nullptr, 0);
    EXPECT_TRUE(IsResultCode(run.alpha)) << run.alpha;
    if (run.alpha == ResultOk) {
      EXPECT_EQ(run.info, ResultOk) << "GetPictureAlpha succeeds only where GetPictureInfo does";
      EXPECT_TRUE(a && b);
    } else {
      EXPECT_EQ(a, nullptr);
      EXPECT_EQ(b, nullptr);
    }
    if (a) host::TakeBlock(a);
    if (b) host::TakeBlock(b);
  }
  SpiHandle info2 = nullptr, bits2 = nullptr;
  run.pictureFromFile = p.getPicture(shifted.c_str(), 3, InputFile, &info2, &bits2, nullptr, 0);
  EXPECT_EQ(run.picture, run.pictureFromFile);
  if (info2) host::TakeBlock(info2);
  if (bits2) host::TakeBlock(bits2);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

}  // namespace hostile
