// Pelorin loaded as a host loads it, and the calls the tests make through it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"

class PelorinPlugin : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The members of a file (starting at offset) or of a memory image.
  std::vector<fileInfo> ListFile(const std::string& path, int32_t offset = 0, int* result = nullptr);
  std::vector<fileInfo> ListMemory(const host::GuardedBuffer& image, int* result = nullptr);
  // GetFile to memory of the member at position; the first size bytes of the block.
  int ExtractFile(const std::string& path, uint32_t position, uint32_t size,
                  std::vector<uint8_t>* out);
  host::Plugin plugin;
};

std::string MemberName(const fileInfo& f);
// Where the test library and its inputs are built.
std::string TestLibraryDir();
