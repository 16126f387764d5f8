// The terminal dialogs on Linux, driven through a pseudo-terminal as a user
// would: the texts shown, keys to choose, Enter for OK, Escape for Cancel.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "expected_dialogs.h"
#include "framework/spi.h"
#include "test_registry.h"

namespace {

using ProbeFn = int (*)(int);

// Reads what the child printed for up to ms milliseconds of quiet.
void Drain(int master, std::string* out, int ms) {
  for (;;) {
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return;
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) return;
    out->append(buffer, static_cast<size_t>(n));
  }
}

size_t Count(const std::string& s, const char* what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

// Reads until what has been shown at least times times, or ms pass in quiet.
void DrainUntil(int master, std::string* out, const char* what, size_t times, int ms) {
  while (Count(*out, what) < times) {
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return;
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) return;
    out->append(buffer, static_cast<size_t>(n));
  }
}

struct Session {
  std::string screen;  // everything shown, escape sequences removed
  std::string result;  // the child's last line: "result setting0 setting1"
  std::string filter;  // GetPluginInfo(2) after the dialog, for plug-ins that have it
};

// Opens the plug-in's dialog in a child on a pseudo-terminal and types keys,
// one string at a time.
Session Drive(const char* plugin, const std::vector<std::string>& keys) {
  int master = -1;
  pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child == 0) {
    void* library = testreg::LoadFresh(plugin);
    auto dlg = reinterpret_cast<ConfigurationDlgFn>(testreg::Symbol(library, "ConfigurationDlg"));
    auto probe = reinterpret_cast<ProbeFn>(testreg::Symbol(library, "ProbeSetting"));
    auto group = reinterpret_cast<GetSettingFn>(testreg::Symbol(library, "GetGroupIconSetting"));
    auto name = reinterpret_cast<GetSettingFn>(testreg::Symbol(library, "GetFileNameSetting"));
    auto info = reinterpret_cast<GetPluginInfoFn>(testreg::Symbol(library, "GetPluginInfo"));
    if (!dlg) _exit(3);
    int r = dlg(nullptr, 1);
    int a = group ? group() : probe ? probe(0) : -1, b = name ? name() : probe ? probe(1) : -1;
    char filter[64] = "";
    if (info) info(2, filter, sizeof filter);
    printf("\nFILTER [%s]\nRESULT %d %d %d\n", filter, r, a, b);
    fflush(stdout);
    _exit(0);
  }
  Session s;
  if (child < 0) return s;
  // Every drawing of the dialog ends with the key help.
  const char* drawn = "Esc: Cancel";
  std::string raw;
  DrainUntil(master, &raw, drawn, 1, 3000);
  for (const std::string& k : keys) {
    size_t before = Count(raw, drawn);
    if (write(master, k.data(), k.size()) < 0) break;
    DrainUntil(master, &raw, drawn, before + 1, 2000);
  }
  DrainUntil(master, &raw, "RESULT", 1, 3000);
  Drain(master, &raw, 50);
  int status = 0;
  waitpid(child, &status, 0);
  close(master);
  s.screen = std::regex_replace(raw, std::regex("\x1b\\[[0-9;]*[A-Za-z]"), "");
  size_t f = s.screen.rfind("FILTER [");
  if (f != std::string::npos) s.filter = s.screen.substr(f + 8, s.screen.find(']', f) - f - 8);
  size_t at = s.screen.rfind("RESULT ");
  if (at != std::string::npos) {
    s.result = s.screen.substr(at + 7);
    s.result = s.result.substr(0, s.result.find_first_of("\r\n"));
  }
  return s;
}

// A text as shown: "&" markers gone.
std::string Shown(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p)
    if (*p != '&') out += *p;
  return out;
}

void ExpectShows(const Session& s, const expected::Dialog& d, bool japanese) {
  EXPECT_NE(s.screen.find(japanese ? d.japaneseTitle : d.englishTitle), std::string::npos);
  for (int i = 0; i < d.count; ++i) {
    std::string text = Shown(japanese ? d.controls[i].japanese : d.controls[i].english);
    EXPECT_NE(s.screen.find(text), std::string::npos) << text << "\n" << s.screen;
  }
}

uint32_t Stored(const char* key, const char* name) {
  uint32_t v = 0xDEAD;
  testreg::GetDword(key, name, &v);
  return v;
}

class TerminalDialog : public ::testing::Test {
 protected:
  void SetUp() override { testreg::Reset(); }
  void TearDown() override { testreg::Reset(); }
};

TEST_F(TerminalDialog, PelorinEnglishSpaceTogglesEnterConfirms) {
  testreg::PutDword(testreg::ResourceKey, "Japanese", 0);
  Session s = Drive("ProbePelorin", {" ", "\r"});
  ExpectShows(s, expected::Pelorin, false);
  EXPECT_NE(s.screen.find("[x] Add exe"), std::string::npos);
  EXPECT_EQ(s.result, "0 1 0");
  EXPECT_EQ(Stored(testreg::PelorinKey, "AddExtensions"), 1u);
  EXPECT_EQ(Stored(testreg::PelorinKey, "ExtractLanguage"), 0u);
}

TEST_F(TerminalDialog, PelorinJapaneseByDefaultEscapeCancels) {
  Session s = Drive("ProbePelorin", {"l", "\x1b"});
  ExpectShows(s, expected::Pelorin, true);
  EXPECT_NE(s.screen.find("[x] 言語"), std::string::npos) << "the mnemonic ticks the box";
  EXPECT_EQ(s.result, "0 0 0");
  EXPECT_FALSE(testreg::KeyExists(testreg::PelorinKey));
}

TEST_F(TerminalDialog, VantrelEnterOnFocusedCancelCancels) {
  testreg::PutDword(testreg::ResourceKey, "Japanese", 0);
  Session s = Drive("ProbeVantrel", {"f", "\t", "\t", "\r"});
  ExpectShows(s, expected::Vantrel, false);
  EXPECT_EQ(s.result, "0 0 0");
  EXPECT_FALSE(testreg::KeyExists(testreg::VantrelKey));
  s = Drive("ProbeVantrel", {"\x1b[B", "\x1b[A", "F", "\r"});
  EXPECT_EQ(s.result, "0 1 1");
  EXPECT_EQ(Stored(testreg::VantrelKey, "ListAllFrames"), 1u);
}

TEST_F(TerminalDialog, MorvaneRadioGroupsShowAndChoose) {
  testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 2);
  testreg::PutDword(testreg::MorvaneKey, "FileName", 1);
  testreg::PutDword(testreg::ResourceKey, "Japanese", 0);
  Session s = Drive("ProbeMorvane", {"f", "n", "\r"});
  ExpectShows(s, expected::Morvane, false);
  EXPECT_NE(s.screen.find("(*) Show Large Icon"), std::string::npos);
  EXPECT_NE(s.screen.find("(*) Size (WWxHHxCC)"), std::string::npos);
  EXPECT_EQ(s.result, "0 1 0");
  EXPECT_EQ(Stored(testreg::MorvaneKey, "GroupIcon"), 1u);
  EXPECT_EQ(Stored(testreg::MorvaneKey, "FileName"), 0u);

  testreg::PutDword(testreg::ResourceKey, "Japanese", 1);
  s = Drive("ProbeMorvane", {"l", "s", "\x1b"});
  ExpectShows(s, expected::Morvane, true);
  EXPECT_EQ(s.result, "0 1 0") << "Cancel drops the pending choices";
  EXPECT_EQ(Stored(testreg::MorvaneKey, "GroupIcon"), 1u);
}

// The deliverables themselves.
TEST_F(TerminalDialog, RealPelorinOkChangesFilterAtOnce) {
  Session s = Drive("Pelorin", {"e", "\r"});
  ExpectShows(s, expected::RealPelorin, true);
  EXPECT_EQ(s.filter, "*.EXE;*.SCR;*.DLL;*.CPL");
  EXPECT_EQ(Stored(testreg::PelorinKey, "AddExtensions"), 1u);
  EXPECT_EQ(Stored(testreg::PelorinKey, "ExtractLanguage"), 0u);
  testreg::PutDword(testreg::ResourceKey, "Japanese", 0);
  s = Drive("Pelorin", {" ", "\x1b"});
  ExpectShows(s, expected::RealPelorin, false);
  EXPECT_NE(s.screen.find("[x] Add exe"), std::string::npos) << "shows the stored setting";
  EXPECT_EQ(s.filter, "*.EXE;*.SCR;*.DLL;*.CPL") << "Cancel keeps it";
}

TEST_F(TerminalDialog, RealVantrelAndMorvane) {
  testreg::PutDword(testreg::ResourceKey, "Japanese", 0);
  Session s = Drive("Vantrel", {"f", "\r"});
  ExpectShows(s, expected::RealVantrel, false);
  EXPECT_EQ(Stored(testreg::VantrelKey, "ListAllFrames"), 1u);
  testreg::PutDword(testreg::ResourceKey, "Japanese", 1);
  s = Drive("Vantrel", {"\x1b"});
  ExpectShows(s, expected::RealVantrel, true);
  EXPECT_NE(s.screen.find("[x] すべてのコマを表示(F)"), std::string::npos);

  s = Drive("Morvane", {"l", "s", "\r"});
  ExpectShows(s, expected::RealMorvane, true);
  EXPECT_EQ(s.result, "0 2 1");
  EXPECT_EQ(Stored(testreg::MorvaneKey, "GroupIcon"), 2u);
  EXPECT_EQ(Stored(testreg::MorvaneKey, "FileName"), 1u);
}

}  // namespace
