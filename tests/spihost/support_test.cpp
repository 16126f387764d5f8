// Names from archives made safe for the disk, JSON text, and result messages.
#include <gtest/gtest.h>

#include "support.h"

namespace {

TEST(Names, HostileComponentsStayInsideTheOutputFolder) {
  EXPECT_EQ(spihost::SafeComponent(".."), "__");
  EXPECT_EQ(spihost::SafeComponent("."), "");
  EXPECT_EQ(spihost::SafeComponent(""), "");
  EXPECT_EQ(spihost::SafeComponent("a/b\\c:d"), "a_b_c_d");
  EXPECT_EQ(spihost::SafeComponent("name."), "name._");
  EXPECT_EQ(spihost::SafeComponent(std::string("a\x01") + "b"), "a_b");
  EXPECT_EQ(spihost::SafeComponent("#00001.ICO"), "#00001.ICO");

  EXPECT_EQ(spihost::SafePathComponents("JAPANESE\\"), std::vector<std::string>{"JAPANESE"});
  EXPECT_EQ(spihost::SafePathComponents("\\a/../b\\\\.\\"), (std::vector<std::string>{"a", "__", "b"}));
  EXPECT_TRUE(spihost::SafePathComponents("").empty());

  EXPECT_TRUE(spihost::IsSafeFileName("#00001.BMP"));
  EXPECT_FALSE(spihost::IsSafeFileName("..\\evil"));
  EXPECT_FALSE(spihost::IsSafeFileName(".."));
  EXPECT_FALSE(spihost::IsSafeFileName(""));
  EXPECT_FALSE(spihost::IsSafeFileName("c:x"));
  // UTF-8 names: no byte of 表 (E8 A1 A8) or ぁ (E3 81 81) is a separator.
  EXPECT_EQ(spihost::SafePathComponents("\xE8\xA1\xA8\\\xE3\x81\x81\\"),
            (std::vector<std::string>{"\xE8\xA1\xA8", "\xE3\x81\x81"}));
  EXPECT_TRUE(spihost::IsSafeFileName("\xE3\x81\x81.bmp"));
}

TEST(Names, UniqueNamesNumberTheStem) {
  std::set<std::string> used{spihost::PathKey(spihost::JoinPath("out", "#00001.BMP"))};
  EXPECT_EQ(spihost::UniqueName("out", "#00002.BMP", used), "#00002.BMP");
  EXPECT_EQ(spihost::UniqueName("out", "#00001.BMP", used), "#00001-2.BMP");
  used.insert(spihost::PathKey(spihost::JoinPath("out", "#00001-2.BMP")));
  EXPECT_EQ(spihost::UniqueName("out", "#00001.bmp", used), "#00001-3.bmp");  // case folded
  used.insert(spihost::PathKey(spihost::JoinPath("out", "README")));
  EXPECT_EQ(spihost::UniqueName("out", "README", used), "README-2");
}

TEST(Json, EscapesAndRepairsText) {
  EXPECT_EQ(spihost::JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
  EXPECT_EQ(spihost::JsonString("JAPANESE\\"), "\"JAPANESE\\\\\"");
  // spihost's text is UTF-8 on every system: kept when well formed, repaired when not.
  EXPECT_EQ(spihost::JsonString("\xE6\x97\xA5"), "\"\xE6\x97\xA5\"");
  EXPECT_EQ(spihost::JsonString("a\xFF" "b"), "\"a\xEF\xBF\xBD" "b\"");
  EXPECT_EQ(spihost::JsonString("\xE6\x97"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(Messages, EveryResultCodeHasWords) {
  EXPECT_EQ(spihost::ResultText(3), "broken data");
  EXPECT_EQ(spihost::ResultText(6), "cannot read");
  EXPECT_EQ(spihost::ResultText(9), "cannot write");
  EXPECT_EQ(spihost::ResultText(1), "aborted");
  EXPECT_EQ(spihost::ResultText(77), "unknown result 77");
}

}  // namespace
