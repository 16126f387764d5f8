#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "framework/spi.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

char Sep() { return platform::PathSeparator(); }

ScratchDir::ScratchDir() {
  static std::atomic<int> serial{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path dir = fs::temp_directory_path() /
                 ("spi-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
  fs::create_directories(dir);
  path_ = dir.string();
  while (!path_.empty() && (path_.back() == '/' || path_.back() == '\\')) path_.pop_back();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(fs::path(path_), ec);
}

std::string ScratchDir::Join(const std::string& name) const { return path_ + Sep() + name; }

std::string ScratchDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::string path = Join(name);
  WriteBytes(path, bytes);
  return path;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) { return platform::FileExists(path.c_str()); }

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(dir), ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ProgramDir() {
  char path[4096];
  if (!platform::ModulePath(reinterpret_cast<const void*>(&ProgramDir), path, sizeof path))
    return ".";
  std::string p(path);
  size_t cut = p.find_last_of("/\\");
  return cut == std::string::npos ? "." : p.substr(0, cut);
}

std::string PluginPath(const std::string& name) { return ProgramDir() + Sep() + name + SPI_PLUGIN_SUFFIX; }

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return v;
}

#ifdef _WIN32
uintptr_t OpenHostHandle(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<uintptr_t>(h);
}
void CloseHostHandle(uintptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
#else
#include <fcntl.h>
#include <unistd.h>
uintptr_t OpenHostHandle(const std::string& path) {
  return static_cast<uintptr_t>(open(path.c_str(), O_RDONLY | O_CLOEXEC));
}
void CloseHostHandle(uintptr_t handle) { close(static_cast<int>(handle)); }
#endif

int SPI_CALL RecordProgress(int done, int total, SpiUserValue user) {
  // The user value is the log itself: a wrong value would not find it.
  ProgressLog* log = reinterpret_cast<ProgressLog*>(user);
  log->calls.push_back({done, total});
  return static_cast<int>(log->calls.size()) - 1 == log->stopAtCall ? 1 : 0;
}
