// Fuzz target: Morvane through its exports, as a viewer calls them, under each of its settings.
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
  fuzz::RunOne(copies, in, n, fuzz::DrivePicture);
  return 0;
}
