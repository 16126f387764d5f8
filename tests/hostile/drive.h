// Drives a plug-in through every export a viewer calls, on one hostile input,
// from memory (at the very end of readable memory, so an over-read faults) and
// from a file, with the fuzz targets' contract driver; records what the calls
// answered and how long it all took. A broken promise fails the test.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/harness.h"
#include "host/host.h"
#include "tests/builders/ani.h"
#include "tests/builders/pe.h"

namespace hostile {

// A plug-in loaded afresh from a folder of its own, with the given settings
// (DWORD values under the deliverable's key) in force at its start-up; the
// companions are copied beside it (Quibbet finds Morvane there).
class LoadedPlugin {
 public:
  LoadedPlugin(const char* name, const char* settingsKey,
               std::vector<std::pair<const char*, uint32_t>> settings,
               std::vector<const char*> companions = {});
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;
  const host::Plugin& operator*() const { return plugin_; }
  const host::Plugin* operator->() const { return &plugin_; }
  bool ok() const { return plugin_.library != nullptr; }

 private:
  host::Plugin plugin_;
  std::string dir_;
};

LoadedPlugin Pelorin(uint32_t extractLanguage = 0, uint32_t listAllTypes = 0);
LoadedPlugin Vantrel(uint32_t listAllFrames = 0);
LoadedPlugin Quibbet(uint32_t fileName = 0);
LoadedPlugin Morvane(uint32_t groupIcon = 0);

struct ArchiveRun {
  int headTest = 0;        // IsSupported on the first 2 KB in memory
  int fileTest = 0;        // IsSupported on an open file
  int list = 0;            // GetArchiveInfo, memory input
  int listFromFile = 0;    // GetArchiveInfo, file input at an offset
  std::vector<fileInfo> entries;
  std::vector<int> extract;          // GetFile to memory per member (the first 64), memory input
  std::vector<int> extractFromFile;  // the same from the file
  std::vector<int> lookup;           // GetFileInfo per member, memory input
  double seconds = 0;
};

// Runs every archive export on bytes; the contract checks (result codes, null
// slots on failure, block sizes, names found again) are gtest failures inside.
ArchiveRun RunArchive(const host::Plugin& plugin, const build::Bytes& bytes);
// GetFile to memory with memory input for an address `position` bytes into bytes.
int ExtractAt(const host::Plugin& plugin, const build::Bytes& bytes, uint32_t position,
              std::vector<uint8_t>* member = nullptr);

struct PictureRun {
  int headTest = 0;
  int info = 0, infoFromFile = 0;
  int picture = 0, pictureFromFile = 0;
  int alpha = 0;  // GetPictureAlpha, where the plug-in has it
  PictureInfo record{};
  std::vector<uint8_t> infoBlock, bitsBlock;  // of the memory-input GetPicture
  double seconds = 0;
};
PictureRun RunPicture(const host::Plugin& plugin, const build::Bytes& bytes);

using fuzz::IsResultCode;

// The answer promised for every hostile input; sanitizers slow every read.
#if defined(__SANITIZE_ADDRESS__)
constexpr double PromptSeconds = 4.0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double PromptSeconds = 4.0;
#else
constexpr double PromptSeconds = 1.0;
#endif
#else
constexpr double PromptSeconds = 1.0;
#endif

}  // namespace hostile
