// Fuzz target: Morvane through its exports, as a viewer calls them, under each of its settings.
#include "formats/icon.h"
#include "fuzz/harness.h"

namespace {
std::vector<host::Plugin> copies;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  copies = fuzz::LoadVariants("Morvane", {
      {fuzz::RegistryText("Morvane", {{"GroupIcon", 0}, {"FileName", 0}})},
      {fuzz::RegistryText("Morvane", {{"GroupIcon", 1}, {"FileName", 0}})},
      {fuzz::RegistryText("Morvane", {{"GroupIcon", 2}, {"FileName", 1}})},
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t n) {
  fuzz::RunOne(copies, in, n, [](const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size) {
    fuzz::PictureReport report;
    fuzz::DrivePicture(p, control, data, size, &report);
    fuzz::CheckHeadTest(report.headTest, HasIconFileHeader, data, size);
  });
  return 0;
}
