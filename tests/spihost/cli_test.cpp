// The command line: what each command accepts and what is a usage error.
#include <gtest/gtest.h>

#include "cli.h"
#include "commands.h"

namespace {

std::string Parse(std::vector<std::string> args, spihost::Options* o) {
  std::vector<char*> argv{const_cast<char*>("spihost")};
  for (auto& a : args) argv.push_back(a.data());
  return spihost::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), o);
}

TEST(CommandLine, OptionsAnywhereAndWithEquals) {
  spihost::Options o;
  ASSERT_EQ(Parse({"--plugins", "p", "extract", "a.exe", "-o", "out", "#1.ICO", "--png", "--lang=ja"}, &o), "");
  EXPECT_EQ(o.command, "extract");
  EXPECT_EQ(o.operands, (std::vector<std::string>{"a.exe", "#1.ICO"}));
  EXPECT_EQ(o.output, "out");
  EXPECT_EQ(o.pluginFolder, "p");
  EXPECT_EQ(o.language, "ja");
  EXPECT_TRUE(o.png);
  ASSERT_EQ(Parse({"extract", "a", "b", "--only", "ICO,.cur", "-j3"}, &o), "");
  EXPECT_EQ(o.only, (std::vector<std::string>{"ico", "cur"}));
  EXPECT_EQ(o.jobs, 3);
  ASSERT_EQ(Parse({"list", "a", "-j", "2", "--only=dat"}, &o), "");
  EXPECT_EQ(o.jobs, 2);
  ASSERT_EQ(Parse({"settings", "Morvane", "GroupIcon=1"}, &o), "");
  EXPECT_EQ(o.operands, (std::vector<std::string>{"Morvane", "GroupIcon=1"}));
  ASSERT_EQ(Parse({"--version"}, &o), "");
  EXPECT_TRUE(o.version);
  ASSERT_EQ(Parse({"list", "--", "-odd-name", "--json"}, &o), "");
  EXPECT_EQ(o.operands, (std::vector<std::string>{"-odd-name", "--json"}));
  EXPECT_FALSE(o.json);
}

TEST(CommandLine, UsageErrors) {
  spihost::Options o;
  EXPECT_NE(Parse({}, &o), "");
  EXPECT_NE(Parse({"unpack", "x"}, &o), "");
  EXPECT_NE(Parse({"list"}, &o), "");
  EXPECT_NE(Parse({"list", "x", "--png"}, &o), "");     // --png belongs to extract
  EXPECT_NE(Parse({"plugins", "x"}, &o), "");
  EXPECT_NE(Parse({"convert", "x.ico"}, &o), "");       // no -o
  EXPECT_NE(Parse({"convert", "x.ico", "-o", "x.jpg"}, &o), "");
  EXPECT_NE(Parse({"convert", "a", "b", "-o", "x.png"}, &o), "");
  EXPECT_NE(Parse({"extract", "a", "--stdout", "-o", "d"}, &o), "");
  EXPECT_NE(Parse({"extract", "a", "m1", "m2", "--stdout"}, &o), "");
  EXPECT_NE(Parse({"--lang", "fr", "config", "Morvane"}, &o), "");
  EXPECT_NE(Parse({"extract", "a", "-o"}, &o), "");
  EXPECT_NE(Parse({"--json=1", "list", "a"}, &o), "");
  EXPECT_NE(Parse({"thumbnail", "a.exe"}, &o), "");           // no output
  EXPECT_NE(Parse({"thumbnail", "a.exe", "b.png", "c"}, &o), "");
  EXPECT_NE(Parse({"list", "a", "-s", "64"}, &o), "");         // -s belongs to thumbnail
  ASSERT_EQ(Parse({"thumbnail", "-s", "64", "a.exe", "b.png"}, &o), "");
  EXPECT_EQ(o.size, "64");
  EXPECT_NE(Parse({"extract", "a", "-j", "0"}, &o), "");
  EXPECT_NE(Parse({"extract", "a", "-j", "x"}, &o), "");
  EXPECT_NE(Parse({"extract", "a", "--only", "ico,,cur"}, &o), "");
  EXPECT_NE(Parse({"convert", "a", "-o", "x.png", "--only", "ico"}, &o), "");  // not convert's
  EXPECT_NE(Parse({"extract", "a", "--stdout", "--json"}, &o), "");
  EXPECT_NE(Parse({"settings"}, &o), "");
  EXPECT_NE(Parse({"--version=2"}, &o), "");
  // Help needs nothing else.
  ASSERT_EQ(Parse({"convert", "--help"}, &o), "");
  EXPECT_TRUE(o.help);
  EXPECT_NE(spihost::HelpText("convert").find("usage: spihost convert"), std::string::npos);
  // The general help names every command there is.
  for (const spihost::Command& c : spihost::Commands())
    EXPECT_NE(spihost::HelpText("").find(std::string("\n  ") + c.name + " "), std::string::npos) << c.name;
}

}  // namespace
