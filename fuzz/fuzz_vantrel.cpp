// Fuzz target: Vantrel through its exports, as a viewer calls them, under each of its settings.
#include "formats/ani.h"
#include "fuzz/harness.h"

namespace {
std::vector<host::Plugin> copies;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  copies = fuzz::LoadVariants("Vantrel", {
      {fuzz::RegistryText("Vantrel", {{"ListAllFrames", 0}})},
      {fuzz::RegistryText("Vantrel", {{"ListAllFrames", 1}})},
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t n) {
  fuzz::RunOne(copies, in, n, [](const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size) {
    fuzz::ArchiveReport report;
    fuzz::DriveArchive(p, control, data, size, &report, fuzz::Reach());
    fuzz::CheckHeadTest(report.headTest, HasAconHeader, data, size);
  });
  return 0;
}
