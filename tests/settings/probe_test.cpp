// Start-up, ConfigurationDlg's answers, and (on Windows) the compiled dialog
// resources, through probe plug-ins built from the deliverables' settings code.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "expected_dialogs.h"
#include "framework/spi.h"
#include "test_registry.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using ProbeFn = int(SPI_CALL*)(int);

struct Probe {
  void* library = nullptr;
  ConfigurationDlgFn configurationDlg = nullptr;
  ProbeFn setting = nullptr;
  GetSettingFn groupIcon = nullptr;
  GetSettingFn fileName = nullptr;

  explicit Probe(const char* name) {
    library = testreg::LoadFresh(name);
    if (!library) return;
    configurationDlg = reinterpret_cast<ConfigurationDlgFn>(testreg::Symbol(library, "ConfigurationDlg"));
    setting = reinterpret_cast<ProbeFn>(testreg::Symbol(library, "ProbeSetting"));
    groupIcon = reinterpret_cast<GetSettingFn>(testreg::Symbol(library, "GetGroupIconSetting"));
    fileName = reinterpret_cast<GetSettingFn>(testreg::Symbol(library, "GetFileNameSetting"));
  }
  ~Probe() { testreg::Unload(library); }
  bool ok() const { return library && configurationDlg && setting; }
};

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override { testreg::Reset(); }
  void TearDown() override { testreg::Reset(); }
};

TEST_F(StartUp, NoKeyGivesDefaultsAndWritesNothing) {
  {
    Probe p("ProbePelorin"), v("ProbeVantrel"), m("ProbeMorvane");
    ASSERT_TRUE(p.ok() && v.ok() && m.ok());
    EXPECT_EQ(p.setting(0), 0);
    EXPECT_EQ(p.setting(1), 0);
    EXPECT_EQ(p.setting(2), 0);
    EXPECT_EQ(v.setting(0), 0);
    ASSERT_TRUE(m.groupIcon && m.fileName);
    EXPECT_EQ(m.groupIcon(), 0);
    EXPECT_EQ(m.fileName(), 0);
  }
  EXPECT_FALSE(testreg::KeyExists(testreg::PelorinKey));
  EXPECT_FALSE(testreg::KeyExists(testreg::VantrelKey));
  EXPECT_FALSE(testreg::KeyExists(testreg::MorvaneKey));
}

TEST_F(StartUp, StoredValuesAreLoaded) {
  testreg::PutDword(testreg::PelorinKey, "AddExtensions", 1);
  testreg::PutDword(testreg::PelorinKey, "ExtractLanguage", 1);
  testreg::PutDword(testreg::PelorinKey, "ListAllTypes", 1);
  testreg::PutDword(testreg::VantrelKey, "ListAllFrames", 1);
  testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 2);
  testreg::PutDword(testreg::MorvaneKey, "FileName", 1);
  Probe p("ProbePelorin"), v("ProbeVantrel"), m("ProbeMorvane");
  ASSERT_TRUE(p.ok() && v.ok() && m.ok());
  EXPECT_EQ(p.setting(0), 1);
  EXPECT_EQ(p.setting(1), 1);
  EXPECT_EQ(p.setting(2), 1);
  EXPECT_EQ(v.setting(0), 1);
  EXPECT_EQ(m.groupIcon(), 2);
  EXPECT_EQ(m.fileName(), 1);
}

TEST_F(StartUp, MistypedOrOutOfRangeValuesGiveDefaults) {
  testreg::PutDword(testreg::PelorinKey, "AddExtensions", 2);
  testreg::PutString(testreg::PelorinKey, "ExtractLanguage", "1");
  testreg::PutDword(testreg::PelorinKey, "ListAllTypes", 2);
  testreg::PutString(testreg::VantrelKey, "ListAllFrames", "1");
  testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 3);
  testreg::PutDword(testreg::MorvaneKey, "FileName", 2);
  {
    Probe p("ProbePelorin"), v("ProbeVantrel"), m("ProbeMorvane");
    ASSERT_TRUE(p.ok() && v.ok() && m.ok());
    EXPECT_EQ(p.setting(0), 0);
    EXPECT_EQ(p.setting(1), 0);
    EXPECT_EQ(v.setting(0), 0);
    EXPECT_EQ(m.groupIcon(), 0);
    EXPECT_EQ(m.fileName(), 0);
  }
  testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 0xFFFFFFFFu);
  testreg::PutString(testreg::MorvaneKey, "FileName", "1");
  Probe m("ProbeMorvane");
  ASSERT_TRUE(m.ok());
  EXPECT_EQ(m.groupIcon(), 0);
  EXPECT_EQ(m.fileName(), 0);
  // Nothing is corrected in the store until a dialog is confirmed.
  uint32_t stored = 0;
  ASSERT_TRUE(testreg::GetDword(testreg::MorvaneKey, "GroupIcon", &stored));
  EXPECT_EQ(stored, 0xFFFFFFFFu);
}

// Loading runs under the system's loader lock, so the library entry reads
// nothing: the settings are read at the first call, and only then.
TEST_F(StartUp, SettingsAreReadAtTheFirstCallAndOnlyThen) {
  Probe p("ProbePelorin"), m("ProbeMorvane");
  ASSERT_TRUE(p.ok() && m.ok() && m.groupIcon);
  testreg::PutDword(testreg::PelorinKey, "AddExtensions", 1);
  testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 2);
  EXPECT_EQ(p.setting(0), 1);
  EXPECT_EQ(m.groupIcon(), 2);
  testreg::PutDword(testreg::PelorinKey, "AddExtensions", 0);
  testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 1);
  EXPECT_EQ(p.setting(0), 1);
  EXPECT_EQ(m.groupIcon(), 2);
}

TEST_F(StartUp, FunctionOtherThanOneIsNotImplemented) {
  for (const char* name : {"ProbePelorin", "ProbeVantrel", "ProbeMorvane"}) {
    Probe p(name);
    ASSERT_TRUE(p.ok()) << name;
    EXPECT_EQ(p.configurationDlg(nullptr, 0), ResultNotImplemented) << name;
    EXPECT_EQ(p.configurationDlg(nullptr, 2), ResultNotImplemented) << name;
    EXPECT_EQ(p.configurationDlg(nullptr, -1), ResultNotImplemented) << name;
  }
  EXPECT_FALSE(testreg::KeyExists(testreg::PelorinKey));
}

#ifndef _WIN32
// Without a terminal the dialog cannot be shown: nothing is printed, nothing
// changes, and the answer is still 0.
TEST_F(StartUp, WithoutTerminalNothingIsShown) {
  testreg::PutDword(testreg::ResourceKey, "Japanese", 0);
  for (const char* name : {"ProbePelorin", "ProbeVantrel", "ProbeMorvane"}) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int null = open("/dev/null", O_RDONLY);
      dup2(null, 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      Probe p(name);
      _exit(!p.ok() ? 10 : p.configurationDlg(nullptr, 1) != 0 ? 11 : p.setting(0) != 0 ? 12 : 0);
    }
    close(out[1]);
    std::string printed;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) printed.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << " " << status;
    EXPECT_EQ(printed, "") << name;
  }
  EXPECT_FALSE(testreg::KeyExists(testreg::PelorinKey));
}
#endif

#ifdef _WIN32
// Reads the classic dialog template of a module resource.
struct Reader {
  const uint8_t* p;
  const uint8_t* end;
  bool ok = true;
  uint16_t Word() {
    if (end - p < 2) { ok = false; return 0; }
    uint16_t w = static_cast<uint16_t>(p[0] | (p[1] << 8));
    p += 2;
    return w;
  }
  uint32_t Dword() { uint32_t lo = Word(); return lo | (static_cast<uint32_t>(Word()) << 16); }
  std::string Text() {  // a zero-terminated UTF-16 string, as UTF-8
    std::wstring w;
    for (uint16_t c; ok && (c = Word()) != 0;) w.push_back(static_cast<wchar_t>(c));
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
  }
  // A name or ordinal: 0, 0xFFFF + ordinal, or text.
  std::string NameOrOrdinal() {
    if (end - p >= 2 && p[0] == 0xFF && p[1] == 0xFF) {
      Word();
      char ordinal[8];
      snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(Word()));
      return ordinal;
    }
    return Text();
  }
  void AlignDword(const uint8_t* base) { while ((p - base) % 4) ++p; }
};

TEST(CompiledResources, TemplatesMatchBothLanguages) {
  for (const expected::Dialog* d : expected::All) {
    HMODULE module = LoadLibraryExA((testreg::BinaryDir() + "\\" + d->plugin + SPI_PLUGIN_SUFFIX).c_str(),
                                    nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << d->plugin;
    for (int language = 1; language <= 2; ++language) {
      SCOPED_TRACE(std::string(d->plugin) + " template " + std::to_string(language));
      HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(language), MAKEINTRESOURCEA(5));
      ASSERT_NE(info, nullptr);
      const uint8_t* base = static_cast<const uint8_t*>(LockResource(LoadResource(module, info)));
      Reader r{base, base + SizeofResource(module, info)};
      EXPECT_EQ(r.Dword(), expected::DialogStyle);
      EXPECT_EQ(r.Dword(), 0u);  // extended style
      uint16_t count = r.Word();
      EXPECT_EQ(count, d->count);
      EXPECT_EQ(static_cast<short>(r.Word()), d->x);
      EXPECT_EQ(static_cast<short>(r.Word()), d->y);
      EXPECT_EQ(static_cast<short>(r.Word()), d->cx);
      EXPECT_EQ(static_cast<short>(r.Word()), d->cy);
      EXPECT_EQ(r.NameOrOrdinal(), "");  // no menu
      EXPECT_EQ(r.NameOrOrdinal(), "");  // the standard dialog class
      EXPECT_EQ(r.Text(), language == 1 ? d->englishTitle : d->japaneseTitle);
      EXPECT_EQ(r.Word(), language == 1 ? 8 : 10);
      EXPECT_EQ(r.Text(), language == 1 ? expected::EnglishFont : expected::JapaneseFont);
      for (int i = 0; i < d->count && i < count; ++i) {
        const expected::Control& c = d->controls[i];
        SCOPED_TRACE("control " + std::to_string(i));
        r.AlignDword(base);
        EXPECT_EQ(r.Dword(), c.style);
        EXPECT_EQ(r.Dword(), 0u);
        EXPECT_EQ(static_cast<short>(r.Word()), c.x);
        EXPECT_EQ(static_cast<short>(r.Word()), c.y);
        EXPECT_EQ(static_cast<short>(r.Word()), language == 2 && c.cxJapanese ? c.cxJapanese : c.cx);
        EXPECT_EQ(static_cast<short>(r.Word()), c.cy);
        EXPECT_EQ(r.Word(), c.id);
        EXPECT_EQ(r.NameOrOrdinal(), "#128");  // the button class
        EXPECT_EQ(r.NameOrOrdinal(), language == 1 ? c.english : c.japanese);
        EXPECT_EQ(r.Word(), 0);  // no creation data
      }
      EXPECT_TRUE(r.ok);
    }
    FreeLibrary(module);
  }
}
#endif

}  // namespace
