// Assembles animated cursors and small icon or cursor files for the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct AniLayout {
  std::vector<Bytes> frames;                  // each one complete icon or cursor file
  std::optional<std::vector<uint32_t>> steps;  // a "seq " chunk when present
  std::optional<uint32_t> frameCount;          // "anih" counts; default: as many as given
  std::optional<uint32_t> stepCount;
  bool infoList = true;      // a "LIST"/"INFO" chunk ahead of "anih", as real files have
  bool padOddFrames = false;  // a pad byte after odd frames, as strict RIFF writers do
  size_t offset = 0;         // filler bytes ahead of the "RIFF" header
};

Bytes BuildAni(const AniLayout& layout);

// A one-image icon (type 1) or cursor (type 2) file of 22 + imageBytes bytes
// whose image bytes follow from seed, so that every frame is different.
Bytes MakeIconFile(uint16_t type, uint32_t imageBytes, uint8_t seed);

// Offset of the first occurrence of the 4-byte identifier id at or after from.
size_t FindId(const Bytes& bytes, const char* id, size_t from = 0);
void PokeLe32(Bytes& bytes, size_t at, uint32_t value);

// Files under a fresh directory of the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const;
  std::string Write(const std::string& name, const Bytes& bytes) const;

 private:
  std::string path_;
};

Bytes ReadWholeFile(const std::string& path);
bool PathExists(const std::string& path);

// Cursor (.cur) and icon (.ico) files extracted from Wine's user32 at configure
// time, sorted by name; empty when none could be extracted.
std::vector<std::string> RealIconFiles(const char* extension);
