// Framework operations linked in directly, with platform faults injected.
#include <gtest/gtest.h>

#include "framework/framework.h"
#include "platform/fault.h"
#include "tarc.h"
#include "test_files.h"

namespace {

TEST(CopyInfoString, CutsToTheBuffer) {
  const char* const strings[] = {"00AM", "b", "c", "d"};
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(CopyInfoString(0, buffer, 4, strings, 3), 3);
  EXPECT_STREQ(buffer, "00A");
}

}  // namespace
