// Fuzz target: Pelorin through its exports, as a viewer calls them, under each of its settings.
#include "formats/mz.h"
#include "fuzz/harness.h"

namespace {
std::vector<host::Plugin> copies;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  copies = fuzz::LoadVariants("Pelorin", {
      {fuzz::RegistryText("Pelorin", {{"AddExtensions", 0}, {"ExtractLanguage", 0}})},
      {fuzz::RegistryText("Pelorin", {{"AddExtensions", 1}, {"ExtractLanguage", 1}, {"ListAllTypes", 1}})},
      {fuzz::RegistryText("Pelorin", {{"AddExtensions", 0}, {"ExtractLanguage", 1}})},
      {fuzz::RegistryText("Pelorin", {{"AddExtensions", 0}, {"ExtractLanguage", 0}, {"ListAllTypes", 1}})},
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t n) {
  fuzz::RunOne(copies, in, n, [](const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size) {
    fuzz::ArchiveReport report;
    fuzz::DriveArchive(p, control, data, size, &report, fuzz::Reach());
    fuzz::CheckHeadTest(report.headTest, HasMzSignature, data, size);
  });
  return 0;
}
