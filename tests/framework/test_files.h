// Scratch directories and file helpers for the framework tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/spi.h"

// A fresh directory under the system's temporary folder, removed with all it
// holds when the test ends.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // The directory, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() joined with name by the native separator.
  std::string Join(const std::string& name) const;
  // Writes a file of that name in the directory; answers its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::string path_;
};

char Sep();
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool Exists(const std::string& path);
// Names of the entries of a directory, sorted.
std::vector<std::string> ListNames(const std::string& dir);
// The folder of the running test program, where the plug-ins are built too.
std::string ProgramDir();
// A plug-in beside the test program: "<Name>.spi".
std::string PluginPath(const std::string& name);
std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 1);

// A file handle as a host passes it to IsSupported (a descriptor on Linux).
uintptr_t OpenHostHandle(const std::string& path);
void CloseHostHandle(uintptr_t handle);

// Records the progress calls of one GetFile; its address is the user value.
struct ProgressLog {
  struct Call {
    int done, total;
    bool operator==(const Call& o) const { return done == o.done && total == o.total; }
  };
  std::vector<Call> calls;
  int stopAtCall = -1;        // answer non-zero to this call (0-based)
  SpiUserValue value() { return reinterpret_cast<SpiUserValue>(this); }
};
int SPI_CALL RecordProgress(int done, int total, SpiUserValue user);
