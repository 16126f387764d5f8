// The REGEDIT4 file that stands in for the registry on Linux.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "framework/settings.h"
#include "platform/platform.h"
#include "test_registry.h"

namespace {

using testreg::ReadText;
using testreg::RegistryFile;
using testreg::WriteText;

constexpr const char* Key = "Software\\Kestrov\\Susie\\Plug-in\\Morvane";

class RegeditFile : public ::testing::Test {
 protected:
  void SetUp() override { testreg::Reset(); }
  void TearDown() override { testreg::Reset(); }
};

TEST_F(RegeditFile, WritesAFileRegeditImports) {
  WriteDwordSetting(Key, "GroupIcon", 2);
  WriteDwordSetting(Key, "FileName", 1);
  WriteDwordSetting("Software\\Other", "Big", -1);
  WriteDwordSetting(Key, "GroupIcon", 0x1a);
  EXPECT_EQ(ReadText(RegistryFile()),
            "REGEDIT4\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Kestrov\\Susie\\Plug-in\\Morvane]\n"
            "\"GroupIcon\"=dword:0000001a\n"
            "\"FileName\"=dword:00000001\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Other]\n"
            "\"Big\"=dword:ffffffff\n"
            "\n");
  EXPECT_EQ(ReadDwordSetting(Key, "GroupIcon", 0), 0x1a);
  EXPECT_EQ(ReadDwordSetting(Key, "FileName", 0), 1);
  EXPECT_EQ(ReadDwordSetting("Software\\Other", "Big", 0), -1);
}

TEST_F(RegeditFile, HandWrittenFileKeepsEverythingElse) {
  const std::string before =
      "REGEDIT4\r\n"
      "\r\n"
      "; carried over from the office machine\r\n"
      "[HKEY_CURRENT_USER\\Software\\Kestrov\\Susie\\Plug-in]\r\n"
      "\"Path\"=\"C:\\\\Viewer\\\\Plugins\"\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\software\\kestrov\\susie\\plug-in\\morvane]\r\n"
      "\"FileName\"=dword:00000001\r\n"
      "\"Blob\"=hex:01,02,03,\\\r\n"
      "  04,05\r\n"
      "; keep me\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Unrelated]\r\n"
      "\"GroupIcon\"=dword:00000002\r\n";
  WriteText(RegistryFile(), before);
  char path[64];
  ASSERT_TRUE(platform::RegistryReadString("Software\\Kestrov\\Susie\\Plug-in", "Path", path, sizeof path));
  EXPECT_STREQ(path, "C:\\Viewer\\Plugins");
  EXPECT_EQ(ReadDwordSetting(Key, "FileName", 0), 1) << "key names ignore case";
  EXPECT_EQ(ReadDwordSetting(Key, "GroupIcon", 0), 0) << "another key's value is not ours";

  WriteDwordSetting(Key, "GroupIcon", 1);
  WriteDwordSetting(Key, "filename", 0);
  EXPECT_EQ(ReadText(RegistryFile()),
            "REGEDIT4\r\n"
            "\r\n"
            "; carried over from the office machine\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kestrov\\Susie\\Plug-in]\r\n"
            "\"Path\"=\"C:\\\\Viewer\\\\Plugins\"\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\software\\kestrov\\susie\\plug-in\\morvane]\r\n"
            "\"filename\"=dword:00000000\r\n"
            "\"Blob\"=hex:01,02,03,\\\r\n"
            "  04,05\r\n"
            "; keep me\r\n"
            "\"GroupIcon\"=dword:00000001\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Unrelated]\r\n"
            "\"GroupIcon\"=dword:00000002\r\n");
}

TEST_F(RegeditFile, OtherTypesAndEscapes) {
  WriteText(RegistryFile(),
            "REGEDIT4\n"
            "[HKEY_CURRENT_USER\\K]\n"
            "\"Hex4\"=hex(4):2a,01,00,80\n"
            "\"Quoted \\\"name\\\"\"=dword:00000005\n"
            "\"Text\"=\"say \\\"hi\\\"\"\n"
            "\"Binary\"=hex:01,00,00,00\n"
            "\"Twice\"=dword:00000001\n"
            "\"Twice\"=dword:00000002\n");
  EXPECT_EQ(ReadDwordSetting("K", "Hex4", 0), static_cast<int>(0x8000012au));
  EXPECT_EQ(ReadDwordSetting("K", "Quoted \"name\"", 0), 5);
  EXPECT_EQ(ReadDwordSetting("K", "Binary", 9), 9);
  EXPECT_EQ(ReadDwordSetting("K", "Text", 9), 9);
  EXPECT_EQ(ReadDwordSetting("K", "Twice", 0), 2) << "the later line wins, as on import";
  char text[16];
  ASSERT_TRUE(platform::RegistryReadString("K", "Text", text, sizeof text));
  EXPECT_STREQ(text, "say \"hi\"");
  EXPECT_FALSE(platform::RegistryReadString("K", "Text", text, 8)) << "too long for the buffer";
  EXPECT_FALSE(platform::RegistryReadString("K", "Hex4", text, sizeof text));

  WriteDwordSetting("K", "Twice", 3);
  WriteDwordSetting("K", "Back\\slash", 4);
  EXPECT_EQ(ReadDwordSetting("K", "Twice", 0), 3);
  EXPECT_EQ(ReadDwordSetting("K", "Back\\slash", 0), 4);
  EXPECT_NE(ReadText(RegistryFile()).find("\"Back\\\\slash\"=dword:00000004\n"), std::string::npos);
}

// Every prefix of a good file reads without harm: a value is either whole
// and right, or absent and so the default.
TEST_F(RegeditFile, TruncatedFileGivesDefaults) {
  const std::string good =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kestrov\\Susie\\Plug-in\\Morvane]\n"
      "\"GroupIcon\"=dword:00000002\n\"FileName\"=dword:00000001\n";
  for (size_t n = 0; n <= good.size(); ++n) {
    WriteText(RegistryFile(), good.substr(0, n));
    int g = ReadDwordSetting(Key, "GroupIcon", -7), f = ReadDwordSetting(Key, "FileName", -7);
    EXPECT_TRUE(g == -7 || g == 2) << n;
    EXPECT_TRUE(f == -7 || f == 1) << n;
    EXPECT_EQ(f == 1, n >= good.size() - 1) << n;
  }
}

TEST_F(RegeditFile, MalformedLinesGiveDefaults) {
  WriteText(RegistryFile(),
            "REGEDIT4\n"
            "[HKEY_CURRENT_USER\\K]\n"
            "\"A\"=dword:0000001\n"
            "\"B\"=dword:zzzzzzzz\n"
            "\"C\"=dword:000000011\n"
            "\"D\"=\"unterminated\n"
            "\"E\" = dword:00000001\n"
            "E\"=dword:00000001\n"
            "\"F\"=hex(4):01,00,00\n"
            "[HKEY_CURRENT_USER\\K\n"
            "\"G\"=dword:00000001\n");
  for (const char* name : {"A", "B", "C", "D", "E", "F"})
    EXPECT_EQ(ReadDwordSetting("K", name, -1), -1) << name;
  EXPECT_EQ(ReadDwordSetting("K", "G", -1), -1) << "a broken key line names no key";

  WriteText(RegistryFile(), "[HKEY_CURRENT_USER\\K]\n\"A\"=dword:00000001\n");
  EXPECT_EQ(ReadDwordSetting("K", "A", -1), -1) << "no REGEDIT4 header";
}

TEST_F(RegeditFile, ForeignFileIsSetAsideNotOverwritten) {
  const std::string foreign = std::string("\x00\x01 not a registry file\n", 24);
  WriteText(RegistryFile(), foreign);
  EXPECT_EQ(ReadDwordSetting(Key, "GroupIcon", 4), 4);
  WriteDwordSetting(Key, "GroupIcon", 1);
  EXPECT_EQ(ReadDwordSetting(Key, "GroupIcon", 4), 1);
  EXPECT_EQ(ReadText(RegistryFile() + ".bad"), foreign);
}

TEST_F(RegeditFile, TwoWritersAtOnceLoseNothing) {
  constexpr int Writers = 4, Values = 40;
  pid_t children[Writers];
  for (int w = 0; w < Writers; ++w) {
    children[w] = fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      for (int i = 0; i < Values; ++i) {
        std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
        if (!platform::RegistryWriteDword(Key, name.c_str(), static_cast<uint32_t>(w * 1000 + i)))
          _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int w = 0; w < Writers; ++w)
    for (int i = 0; i < Values; ++i) {
      std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
      EXPECT_EQ(ReadDwordSetting(Key, name.c_str(), -1), w * 1000 + i) << name;
    }
}

TEST_F(RegeditFile, DefaultLocationFollowsXdgThenHome) {
  std::string dir = RegistryFile() + ".home";
  ASSERT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/xdg'").c_str()), 0);
  std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
  const char* xdg = getenv("XDG_CONFIG_HOME");
  std::string savedXdg = xdg ? xdg : "";
  unsetenv("SPI_REGISTRY");
  setenv("XDG_CONFIG_HOME", (dir + "/xdg").c_str(), 1);
  setenv("HOME", dir.c_str(), 1);
  WriteDwordSetting("K", "Where", 1);
  unsetenv("XDG_CONFIG_HOME");
  WriteDwordSetting("K", "Where", 2);
  EXPECT_NE(ReadText(dir + "/xdg/susie-plugins/registry.reg").find("dword:00000001"), std::string::npos);
  EXPECT_NE(ReadText(dir + "/.config/susie-plugins/registry.reg").find("dword:00000002"), std::string::npos);
  setenv("HOME", savedHome.c_str(), 1);
  if (xdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
