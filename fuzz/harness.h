// What every fuzz target shares: loading copies of a plug-in under several
// settings, and driving its exports on one input exactly as a viewer does,
// checking the promises a host relies on (result codes, handle slots, no file
// left behind) so that a broken promise stops the run like a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "host/host.h"

namespace fuzz {

// The first input byte steers the run; the rest is the file under test.
enum Control : uint8_t {
  ControlVariant = 0x03,     // which settings copy of the plug-in answers
  ControlFromFile = 0x04,    // input by file name (else a memory image)
  ControlToDirectory = 0x08, // members also extracted into a directory
  ControlOffset = 0x10,      // file input: the data starts 5 bytes into the file
  ControlIgnoreCase = 0x20,  // name lookups with IgnoreCase
  ControlAbort = 0x40,       // the progress callback asks to stop on its second call
  ControlNoProgress = 0x80,  // no progress callback at all
};

// One settings copy: registry text in REGEDIT4 form for the copy's load.
struct Variant {
  std::string registry;
};

// Loads one copy of `name`.spi (and of each `companions` file beside it) per
// variant, each from its own folder with SPI_REGISTRY naming that variant's
// settings file while it loads. Aborts when a plug-in cannot be loaded.
std::vector<host::Plugin> LoadVariants(const char* name, const std::vector<Variant>& variants,
                                       const std::vector<const char*>& companions = {});

// A REGEDIT4 text setting DWORD values under Software\Kestrov\Susie\Plug-in\<plugin>.
std::string RegistryText(const char* plugin,
                         const std::vector<std::pair<const char*, uint32_t>>& values);

// What one drive saw, for callers that check more than the promises.
struct ArchiveReport {
  int headTest = 0;  // IsSupported on the first 2 KB in memory
  int list = 0;      // GetArchiveInfo
  std::vector<fileInfo> entries;
  std::vector<int> extract;  // GetFile to memory, per member driven
  std::vector<int> lookup;   // GetFileInfo, per name looked up
};
struct PictureReport {
  int headTest = 0;
  int info = 0;     // GetPictureInfo
  int picture = 0;  // GetPicture
  int alpha = 0;    // GetPictureAlpha of 32-bit rows, where the plug-in has it
  PictureInfo record{};
  std::vector<uint8_t> infoBlock, bitsBlock;  // of a successful GetPicture
};

// How far one input is driven. Every export call with memory input reads the
// process's memory map: the fuzz runs drive few members per input, the first
// ones and the last one, where the edge cases sit, and look up one of them.
struct Reach {
  size_t members = 4;
  bool lookUpEach = false;
};

// Drives an archive plug-in (IsSupported, GetArchiveInfo, GetFileInfo, GetFile)
// on the first `reach.members` - 1 members and the last.
void DriveArchive(const host::Plugin& plugin, uint8_t control, const uint8_t* data, size_t size,
                  ArchiveReport* report, const Reach& reach);
// Drives an image plug-in (IsSupported, GetPictureInfo, GetPicture, GetPreview).
void DrivePicture(const host::Plugin& plugin, uint8_t control, const uint8_t* data, size_t size,
                  PictureReport* report);
// The same for a fuzz run: no report, few members.
inline void DriveArchive(const host::Plugin& plugin, uint8_t control, const uint8_t* data, size_t size) {
  DriveArchive(plugin, control, data, size, nullptr, Reach());
}
inline void DrivePicture(const host::Plugin& plugin, uint8_t control, const uint8_t* data, size_t size) {
  DrivePicture(plugin, control, data, size, nullptr);
}

// IsSupported with the handle of a file holding the data, as a viewer that opened it.
int TestFile(const host::Plugin& plugin, const uint8_t* data, size_t size);
// GetFile to memory for the address `position` bytes into the data, with its checks.
int ExtractFromMemory(const host::Plugin& plugin, const uint8_t* data, size_t size, size_t position,
                      std::vector<uint8_t>* member = nullptr);

// The host passes over one of our plug-ins, unasked, when the test of the
// first bytes its format test begins with refuses a file: so a head that
// IsSupported took (headTest, from a report) must pass that test.
void CheckHeadTest(int headTest, bool (*mayTake)(ByteView head), const uint8_t* data, size_t size);

// One of the interface's result codes.
bool IsResultCode(int r);

// A broken promise aborts the run, as a crash does; a test may take it instead
// (the handler must not return: it throws or ends the process).
using BrokenHandler = void (*)(const char* what, int result);
void SetBrokenHandler(BrokenHandler handler);

// The run's scratch folder (removed at exit).
std::string ScratchFolder();

// One fuzz input: its first byte picks the settings copy and steers `drive`,
// the rest is the file under test.
using Drive = void (*)(const host::Plugin& plugin, uint8_t control, const uint8_t* data,
                       size_t size);
inline void RunOne(const std::vector<host::Plugin>& copies, const uint8_t* in, size_t n,
                   Drive drive) {
  if (n == 0 || copies.empty()) return;
  uint8_t control = in[0];
  drive(copies[(control & ControlVariant) % copies.size()], control, in + 1, n - 1);
}

}  // namespace fuzz
