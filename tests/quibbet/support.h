// Files, folders and the host's registry value for the Quibbet tests.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "host/host.h"

namespace fs = std::filesystem;

inline fs::path ExecutableDir() {
#ifdef _WIN32
  char buffer[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return fs::path(std::string(buffer, n)).parent_path();
#else
  return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

// The plug-ins are built into the test programs' folder, or its parent for
// programs that keep a folder of their own.
inline fs::path PluginFile(const std::string& name) {
  fs::path dir = ExecutableDir();
  if (!fs::exists(dir / name)) dir = dir.parent_path();
  return dir / name;
}

inline std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string ReadText(const fs::path& p) {
  std::vector<uint8_t> b = ReadAll(p);
  return std::string(b.begin(), b.end());
}

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> serial{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("quibbet-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  // The folder as the plug-ins' narrow file functions take it.
  std::string text() const { return path_.string(); }

 private:
  fs::path path_;
};

inline void CopyPlugin(const std::string& built, const fs::path& to) {
  fs::copy_file(PluginFile(built), to, fs::copy_options::overwrite_existing);
}

// ---- The registry values these tests depend on ------------------------------

// What the current user's registry holds for the tests; anything unset is absent.
struct TestRegistry {
  const std::string* path = nullptr;       // the host's "Path", as a string
  const uint32_t* pathNumber = nullptr;    // the host's "Path", as a number
  const uint32_t* groupIcon = nullptr;     // Morvane's "GroupIcon"
  const uint32_t* fileName = nullptr;      // Morvane's "FileName"
  const uint32_t* japanese = nullptr;      // the host's language
};

constexpr const char* HostKeyName = "Software\\Kestrov\\Susie\\Plug-in";
constexpr const char* MorvaneKeyName = "Software\\Kestrov\\Susie\\Plug-in\\Morvane";
constexpr const char* ResourceKeyName = "Software\\Kestrov\\Susie\\Resource";

#ifdef _WIN32
inline void PutRegistryValue(const char* keyName, const char* name, DWORD type,
                             const void* data, DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  if (data) {
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  } else {
    RegDeleteValueA(key, name);
  }
  RegCloseKey(key);
}

inline void ApplyTestRegistry(const TestRegistry& r) {
  if (r.path) {
    PutRegistryValue(HostKeyName, "Path", REG_SZ, r.path->c_str(),
                     static_cast<DWORD>(r.path->size() + 1));
  } else {
    PutRegistryValue(HostKeyName, "Path", REG_DWORD, r.pathNumber, 4);
  }
  PutRegistryValue(MorvaneKeyName, "GroupIcon", REG_DWORD, r.groupIcon, 4);
  PutRegistryValue(MorvaneKeyName, "FileName", REG_DWORD, r.fileName, 4);
  PutRegistryValue(ResourceKeyName, "Japanese", REG_DWORD, r.japanese, 4);
}
#else
// The registry stand-in is a REGEDIT4 file that SPI_REGISTRY names; this
// program gets one of its own, removed when it ends.
struct TestRegistryFile {
  std::string name;
  TestRegistryFile() {
    name = (fs::temp_directory_path() / ("quibbet-registry-" + std::to_string(getpid()) + ".reg"))
               .string();
    setenv("SPI_REGISTRY", name.c_str(), 1);
  }
  ~TestRegistryFile() {
    std::error_code ec;
    fs::remove(name, ec);
    fs::remove(name + ".lock", ec);  // left by the stand-in's writers
  }
};

inline std::string DwordLine(const char* name, const uint32_t* value) {
  if (!value) return "";
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x", *value);
  return std::string("\"") + name + "\"=dword:" + hex + "\r\n";
}

inline void ApplyTestRegistry(const TestRegistry& r) {
  static TestRegistryFile file;
  std::string body = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + std::string(HostKeyName) + "]\r\n";
  if (r.path) {
    std::string escaped;
    for (char c : *r.path) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    body += "\"Path\"=\"" + escaped + "\"\r\n";
  }
  body += DwordLine("Path", r.pathNumber);
  body += "\r\n[HKEY_CURRENT_USER\\" + std::string(MorvaneKeyName) + "]\r\n";
  body += DwordLine("GroupIcon", r.groupIcon) + DwordLine("FileName", r.fileName);
  body += "\r\n[HKEY_CURRENT_USER\\" + std::string(ResourceKeyName) + "]\r\n";
  body += DwordLine("Japanese", r.japanese);
  WriteText(file.name, body + "\r\n");
}
#endif

inline void SetHostPluginPath(const std::string& text) {
  TestRegistry r;
  r.path = &text;
  ApplyTestRegistry(r);
}
inline void SetHostPluginPathNumber(uint32_t number) {
  TestRegistry r;
  r.pathNumber = &number;
  ApplyTestRegistry(r);
}
inline void ClearHostPluginPath() { ApplyTestRegistry(TestRegistry{}); }

// Loads a plug-in file, failing the test when it does not load.
inline host::Plugin LoadOrFail(const fs::path& file) {
  host::Plugin p;
  std::string error;
  EXPECT_TRUE(host::LoadPlugin(file.string(), &p, &error)) << file << ": " << error;
  return p;
}
