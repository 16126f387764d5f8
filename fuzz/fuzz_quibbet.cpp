// Fuzz target: Quibbet through its exports, as a viewer calls them, under each of its settings.
#include "formats/icon.h"
#include "fuzz/harness.h"

namespace {
std::vector<host::Plugin> copies;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  copies = fuzz::LoadVariants("Quibbet", {
      // Quibbet reads its two settings from the Morvane copy beside it.
      {fuzz::RegistryText("Morvane", {{"GroupIcon", 0}, {"FileName", 0}})},
      {fuzz::RegistryText("Morvane", {{"GroupIcon", 0}, {"FileName", 1}})},
      {fuzz::RegistryText("Morvane", {{"GroupIcon", 1}, {"FileName", 1}})},
  }, {"Morvane"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t n) {
  fuzz::RunOne(copies, in, n, [](const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size) {
    fuzz::ArchiveReport report;
    fuzz::DriveArchive(p, control, data, size, &report, fuzz::Reach());
    fuzz::CheckHeadTest(report.headTest, HasIconFileHeader, data, size);
  });
  return 0;
}
