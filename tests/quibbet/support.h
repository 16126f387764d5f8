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

// ---- The host's "Path" value -------------------------------------------------

#ifdef _WIN32
inline void SetHostPluginPath(const std::string* text, const uint32_t* number) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kestrov\\Susie\\Plug-in", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (text) {
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                   static_cast<DWORD>(text->size() + 1));
  } else if (number) {
    RegSetValueExA(key, "Path", 0, REG_DWORD, reinterpret_cast<const BYTE*>(number), 4);
  } else {
    RegDeleteValueA(key, "Path");
  }
  RegCloseKey(key);
}
#else
// The registry stand-in is a REGEDIT4 file that SPI_REGISTRY names; each test
// gets one of its own, holding only this value.
inline void SetHostPluginPath(const std::string* text, const uint32_t* number) {
  static std::string file;
  if (file.empty()) {
    file = (fs::temp_directory_path() / ("quibbet-registry-" + std::to_string(getpid()) + ".reg"))
               .string();
    setenv("SPI_REGISTRY", file.c_str(), 1);
  }
  std::string body = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kestrov\\Susie\\Plug-in]\r\n";
  if (text) {
    std::string escaped;
    for (char c : *text) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    body += "\"Path\"=\"" + escaped + "\"\r\n";
  } else if (number) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", *number);
    body += std::string("\"Path\"=dword:") + hex + "\r\n";
  }
  WriteText(file, body + "\r\n");
}
#endif

inline void SetHostPluginPath(const std::string& text) { SetHostPluginPath(&text, nullptr); }
inline void SetHostPluginPathNumber(uint32_t number) { SetHostPluginPath(nullptr, &number); }
inline void ClearHostPluginPath() { SetHostPluginPath(nullptr, nullptr); }

// Loads a plug-in file, failing the test when it does not load.
inline host::Plugin LoadOrFail(const fs::path& file) {
  host::Plugin p;
  std::string error;
  EXPECT_TRUE(host::LoadPlugin(file.string(), &p, &error)) << file << ": " << error;
  return p;
}
