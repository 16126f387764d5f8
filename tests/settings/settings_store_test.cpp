// The three registry primitives and the host's language value, on both builds.
#include <gtest/gtest.h>

#include "framework/settings.h"
#include "test_registry.h"

namespace {

constexpr const char* Key = testreg::VantrelKey;

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { testreg::Reset(); }
  void TearDown() override { testreg::Reset(); }
};

TEST_F(SettingsStore, MissingKeyOrValueGivesDefault) {
  EXPECT_EQ(ReadDwordSetting(Key, "ListAllFrames", 7), 7);
  EXPECT_EQ(ReadRangedSetting(Key, "ListAllFrames", 0, 1, 1), 1);
  testreg::PutDword(Key, "Other", 1);
  EXPECT_EQ(ReadDwordSetting(Key, "ListAllFrames", -3), -3);
}

TEST_F(SettingsStore, StringInsteadOfNumberGivesDefault) {
  testreg::PutString(Key, "ListAllFrames", "1");
  EXPECT_EQ(ReadDwordSetting(Key, "ListAllFrames", 0), 0);
  EXPECT_EQ(ReadRangedSetting(Key, "ListAllFrames", 0, 1, 0), 0);
}

TEST_F(SettingsStore, RangeIsSignedAndInclusive) {
  testreg::PutDword(Key, "A", 2);
  testreg::PutDword(Key, "B", 0xFFFFFFFFu);  // -1
  testreg::PutDword(Key, "C", 1);
  testreg::PutDword(Key, "D", 0x80000000u);
  EXPECT_EQ(ReadRangedSetting(Key, "A", 0, 1, 0), 0);
  EXPECT_EQ(ReadRangedSetting(Key, "A", 0, 2, 0), 2);
  EXPECT_EQ(ReadRangedSetting(Key, "B", 0, 2, 0), 0);
  EXPECT_EQ(ReadDwordSetting(Key, "B", 0), -1);
  EXPECT_EQ(ReadRangedSetting(Key, "B", -1, 1, 0), -1);
  EXPECT_EQ(ReadRangedSetting(Key, "C", 0, 1, 0), 1);
  EXPECT_EQ(ReadRangedSetting(Key, "D", -5, 5, 3), 3);
}

TEST_F(SettingsStore, WriteCreatesKeyAndStoresDword) {
  WriteDwordSetting(Key, "ListAllFrames", 1);
  WriteDwordSetting(Key, "Negative", -2);
  uint32_t v = 0;
  ASSERT_TRUE(testreg::GetDword(Key, "ListAllFrames", &v));
  EXPECT_EQ(v, 1u);
  ASSERT_TRUE(testreg::GetDword(Key, "Negative", &v));
  EXPECT_EQ(v, 0xFFFFFFFEu);
  EXPECT_EQ(ReadDwordSetting(Key, "Negative", 0), -2);
  // A write replaces a string of the same name with a number.
  testreg::PutString(Key, "Typed", "x");
  WriteDwordSetting(Key, "Typed", 5);
  EXPECT_EQ(ReadDwordSetting(Key, "Typed", 0), 5);
}

TEST_F(SettingsStore, HostLanguage) {
  EXPECT_EQ(HostUsesJapanese(), 1) << "no key: Japanese";
  testreg::PutDword(testreg::ResourceKey, "Japanese", 0);
  EXPECT_EQ(HostUsesJapanese(), 0);
  testreg::PutDword(testreg::ResourceKey, "Japanese", 1);
  EXPECT_EQ(HostUsesJapanese(), 1);
  testreg::PutString(testreg::ResourceKey, "Japanese", "0");
  EXPECT_EQ(HostUsesJapanese(), 1) << "a string is no language value";
}

}  // namespace
