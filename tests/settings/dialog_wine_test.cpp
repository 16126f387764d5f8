// The real configuration dialogs on a (virtual) display: a second thread finds
// the dialog that ConfigurationDlg opened, reads its title and controls,
// clicks, and closes it; the test then checks the settings and the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "expected_dialogs.h"
#include "framework/spi.h"
#include "test_registry.h"

namespace {

using ProbeFn = int(SPI_CALL*)(int);

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// The expected text in the process's ANSI code page (932 under a Japanese locale).
std::string Ansi(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), n);
  w.resize(wcslen(w.c_str()));
  int m = WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), s.data(), m, nullptr, nullptr);
  return s;
}

bool IsAscii(const char* s) {
  for (; *s; ++s)
    if (static_cast<unsigned char>(*s) >= 0x80) return false;
  return true;
}

std::string WideText(HWND w) {
  wchar_t buffer[256];
  int n = GetWindowTextW(w, buffer, 256);
  return Utf8(std::wstring(buffer, static_cast<size_t>(n > 0 ? n : 0)));
}

std::string AnsiText(HWND w) {
  char buffer[256];
  int n = GetWindowTextA(w, buffer, 256);
  return std::string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

struct SeenControl {
  int id;
  std::string className;
  uint32_t style;
  std::string text, ansi;
  bool checked;
};

struct Seen {
  bool found = false;
  std::string title, titleAnsi;
  RECT rect{};
  std::vector<SeenControl> controls;
};

enum Finish { PressOk, PressCancel, PressEscape, CloseBox };

struct Script {
  std::vector<int> clicks;  // control ids; a group box never takes a click
  Finish finish = PressOk;
  std::function<void()> whileOpen;  // runs after the clicks, dialog still open
};

HWND FindButton(HWND dialog, int id) {
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (GetDlgCtrlID(c) == id && (GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX)
      return c;
  return nullptr;
}

BOOL CALLBACK FindDialog(HWND w, LPARAM out) {
  wchar_t name[16];
  if (GetClassNameW(w, name, 16) && wcscmp(name, L"#32770") == 0 && IsWindowVisible(w)) {
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
  }
  return TRUE;
}

// Calls ConfigurationDlg(nullptr, 1) on this thread while a watcher drives the dialog.
Seen RunDialog(ConfigurationDlgFn configurationDlg, const Script& script, int* result) {
  Seen seen;
  DWORD uiThread = GetCurrentThreadId();
  std::atomic<bool> returned{false};
  std::thread watcher([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 400 && !dialog && !returned; ++i) {
      EnumThreadWindows(uiThread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
      if (!dialog) Sleep(25);
    }
    if (!dialog) return;
    seen.found = true;
    seen.title = WideText(dialog);
    seen.titleAnsi = AnsiText(dialog);
    GetWindowRect(dialog, &seen.rect);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t name[32];
      int n = GetClassNameW(c, name, 32);
      seen.controls.push_back({GetDlgCtrlID(c), Utf8(std::wstring(name, static_cast<size_t>(n))),
                               static_cast<uint32_t>(GetWindowLongW(c, GWL_STYLE)), WideText(c),
                               AnsiText(c), SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED});
    }
    for (int id : script.clicks)
      if (HWND b = FindButton(dialog, id)) SendMessageW(b, BM_CLICK, 0, 0);
    if (script.whileOpen) script.whileOpen();
    switch (script.finish) {
      case PressOk:
        SendMessageW(FindButton(dialog, IDOK), BM_CLICK, 0, 0);
        break;
      case PressCancel:
        SendMessageW(FindButton(dialog, IDCANCEL), BM_CLICK, 0, 0);
        break;
      case PressEscape: {
        // The key goes to the control with the focus; the dialog manager turns it into IDCANCEL.
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(uiThread, &info);
        HWND target = info.hwndFocus ? info.hwndFocus : dialog;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001));
        break;
      }
      case CloseBox:
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    // Never leave the test hanging on a dialog that did not close.
    for (int i = 0; i < 200 && IsWindow(dialog); ++i) Sleep(25);
    if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  *result = configurationDlg(nullptr, 1);
  returned = true;
  watcher.join();
  return seen;
}

struct Plugin {
  void* library;
  ConfigurationDlgFn configurationDlg = nullptr;
  ProbeFn setting = nullptr;
  GetSettingFn groupIcon = nullptr, fileName = nullptr;
  GetPluginInfoFn getPluginInfo = nullptr;
  explicit Plugin(const char* name) : library(testreg::LoadFresh(name)) {
    if (!library) return;
    getPluginInfo = reinterpret_cast<GetPluginInfoFn>(testreg::Symbol(library, "GetPluginInfo"));
    configurationDlg = reinterpret_cast<ConfigurationDlgFn>(testreg::Symbol(library, "ConfigurationDlg"));
    setting = reinterpret_cast<ProbeFn>(testreg::Symbol(library, "ProbeSetting"));
    groupIcon = reinterpret_cast<GetSettingFn>(testreg::Symbol(library, "GetGroupIconSetting"));
    fileName = reinterpret_cast<GetSettingFn>(testreg::Symbol(library, "GetFileNameSetting"));
  }
  ~Plugin() { testreg::Unload(library); }
};

// Title, and every control's id, class, style and text, in template order.
void ExpectLooksRight(const Seen& seen, const expected::Dialog& d, bool japanese) {
  ASSERT_TRUE(seen.found);
  const char* title = japanese ? d.japaneseTitle : d.englishTitle;
  // A dialog of the A interface passes its texts through the ANSI code page:
  // the Japanese ones come out whole only under 932, which is what a Japanese
  // user has.
  bool textsSurvive = !japanese || GetACP() == 932;
  if (textsSurvive) {
    EXPECT_EQ(seen.title, title);
  }
  bool compareAnsi = GetACP() == 932 || IsAscii(title);
  if (compareAnsi) {
    EXPECT_EQ(seen.titleAnsi, Ansi(title));
  }
  ASSERT_EQ(seen.controls.size(), static_cast<size_t>(d.count));
  for (int i = 0; i < d.count; ++i) {
    const expected::Control& c = d.controls[i];
    const SeenControl& s = seen.controls[static_cast<size_t>(i)];
    const char* text = japanese ? c.japanese : c.english;
    SCOPED_TRACE("control " + std::to_string(i) + " " + text);
    EXPECT_EQ(s.id, c.id);
    EXPECT_EQ(s.className, "Button");
    // A radio button holds the tab stop only while it is the checked one.
    uint32_t mask = (c.style & 0xF) == expected::AutoRadio ? 0xFFFE000F : 0xFFFF000F;
    EXPECT_EQ(s.style & mask, c.style & mask);
    if (textsSurvive) {
      EXPECT_EQ(s.text, text);
    }
    if (GetACP() == 932 || IsAscii(text)) {
      EXPECT_EQ(s.ansi, Ansi(text));
    }
  }
}

bool CheckedAt(const Seen& seen, size_t index) {
  return index < seen.controls.size() && seen.controls[index].checked;
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override { testreg::Reset(); }
  void TearDown() override { testreg::Reset(); }
  static void English() { testreg::PutDword(testreg::ResourceKey, "Japanese", 0); }
  static uint32_t Stored(const char* key, const char* name) {
    uint32_t v = 0xDEAD;
    testreg::GetDword(key, name, &v);
    return v;
  }
};

TEST_F(Dialogs, PelorinEnglishOkWritesEverySetting) {
  English();
  Plugin p("ProbePelorin");
  ASSERT_TRUE(p.configurationDlg && p.setting);
  int result = -5;
  Seen seen = RunDialog(p.configurationDlg, {{101, 103}, PressOk, nullptr}, &result);
  EXPECT_EQ(result, 0);
  ExpectLooksRight(seen, expected::Pelorin, false);
  EXPECT_FALSE(CheckedAt(seen, 0));
  EXPECT_FALSE(CheckedAt(seen, 1));
  EXPECT_FALSE(CheckedAt(seen, 2));
  EXPECT_EQ(p.setting(0), 1);
  EXPECT_EQ(p.setting(1), 0);
  EXPECT_EQ(p.setting(2), 1);
  EXPECT_EQ(Stored(testreg::PelorinKey, "AddExtensions"), 1u);
  EXPECT_EQ(Stored(testreg::PelorinKey, "ExtractLanguage"), 0u) << "written though unchanged";
  EXPECT_EQ(Stored(testreg::PelorinKey, "ListAllTypes"), 1u);
}

TEST_F(Dialogs, PelorinJapaneseWhenNoLanguageValueCancelChangesNothing) {
  testreg::PutDword(testreg::PelorinKey, "AddExtensions", 1);
  testreg::PutDword(testreg::PelorinKey, "ListAllTypes", 1);
  Plugin p("ProbePelorin");
  ASSERT_TRUE(p.configurationDlg && p.setting);
  int result = -5;
  Seen seen = RunDialog(p.configurationDlg, {{101, 102, 103}, PressCancel, [&] {
                          EXPECT_EQ(p.setting(0), 1) << "a click changes only the box";
                        }}, &result);
  EXPECT_EQ(result, 0);
  ExpectLooksRight(seen, expected::Pelorin, true);
  EXPECT_TRUE(CheckedAt(seen, 0));
  EXPECT_TRUE(CheckedAt(seen, 2));
  EXPECT_EQ(p.setting(0), 1);
  EXPECT_EQ(p.setting(1), 0);
  EXPECT_EQ(p.setting(2), 1);
  EXPECT_EQ(Stored(testreg::PelorinKey, "AddExtensions"), 1u);
  EXPECT_EQ(Stored(testreg::PelorinKey, "ExtractLanguage"), 0xDEADu);
  EXPECT_EQ(Stored(testreg::PelorinKey, "ListAllTypes"), 1u);
}

TEST_F(Dialogs, VantrelEnglishOkAndJapaneseEscape) {
  English();
  {
    Plugin v("ProbeVantrel");
    ASSERT_TRUE(v.configurationDlg && v.setting);
    int result = -5;
    Seen seen = RunDialog(v.configurationDlg, {{101}, PressOk, [&] { EXPECT_EQ(v.setting(0), 0); }}, &result);
    EXPECT_EQ(result, 0);
    ExpectLooksRight(seen, expected::Vantrel, false);
    EXPECT_EQ(v.setting(0), 1);
    EXPECT_EQ(Stored(testreg::VantrelKey, "ListAllFrames"), 1u);
  }
  testreg::PutDword(testreg::ResourceKey, "Japanese", 1);
  Plugin v("ProbeVantrel");
  ASSERT_TRUE(v.configurationDlg && v.setting);
  EXPECT_EQ(v.setting(0), 1);
  int result = -5;
  Seen seen = RunDialog(v.configurationDlg, {{101}, PressEscape, nullptr}, &result);
  EXPECT_EQ(result, 0);
  ExpectLooksRight(seen, expected::Vantrel, true);
  EXPECT_TRUE(CheckedAt(seen, 0));
  EXPECT_EQ(v.setting(0), 1);
  EXPECT_EQ(Stored(testreg::VantrelKey, "ListAllFrames"), 1u);
}

TEST_F(Dialogs, MorvaneShowsCurrentChoicesAndCancelKeepsThem) {
  testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 2);
  testreg::PutDword(testreg::MorvaneKey, "FileName", 1);
  Plugin m("ProbeMorvane");
  ASSERT_TRUE(m.configurationDlg && m.groupIcon && m.fileName && m.setting);
  int result = -5;
  Seen seen = RunDialog(m.configurationDlg, {{102, 111}, PressCancel, [&] {
                          EXPECT_EQ(m.setting(0), 1) << "pending follows the click";
                          EXPECT_EQ(m.setting(1), 0);
                          EXPECT_EQ(m.groupIcon(), 2) << "current stays until OK";
                          EXPECT_EQ(m.fileName(), 1);
                        }}, &result);
  EXPECT_EQ(result, 0);
  ExpectLooksRight(seen, expected::Morvane, true);
  // Order: OK, Cancel, group box, 101, 102, 103, group box, 111, 112.
  EXPECT_FALSE(CheckedAt(seen, 3));
  EXPECT_FALSE(CheckedAt(seen, 4));
  EXPECT_TRUE(CheckedAt(seen, 5));
  EXPECT_FALSE(CheckedAt(seen, 7));
  EXPECT_TRUE(CheckedAt(seen, 8));
  EXPECT_EQ(m.groupIcon(), 2);
  EXPECT_EQ(m.fileName(), 1);
  EXPECT_EQ(Stored(testreg::MorvaneKey, "GroupIcon"), 2u);
  EXPECT_EQ(Stored(testreg::MorvaneKey, "FileName"), 1u);
}

// The first radio button shares its id with the group box before it; it must
// still show the default choice.
TEST_F(Dialogs, MorvaneEnglishOkMakesPendingCurrentAndWritesBoth) {
  English();
  Plugin m("ProbeMorvane");
  ASSERT_TRUE(m.configurationDlg && m.groupIcon && m.fileName);
  int result = -5;
  Seen seen = RunDialog(m.configurationDlg, {{102}, PressOk, nullptr}, &result);
  EXPECT_EQ(result, 0);
  ExpectLooksRight(seen, expected::Morvane, false);
  EXPECT_TRUE(CheckedAt(seen, 3)) << "Treat as Archive shows the default";
  EXPECT_FALSE(CheckedAt(seen, 2)) << "the group box takes no check";
  EXPECT_TRUE(CheckedAt(seen, 7));
  EXPECT_EQ(m.groupIcon(), 1);
  EXPECT_EQ(m.fileName(), 0);
  EXPECT_EQ(Stored(testreg::MorvaneKey, "GroupIcon"), 1u);
  EXPECT_EQ(Stored(testreg::MorvaneKey, "FileName"), 0u);
}

TEST_F(Dialogs, MorvaneCloseBoxIsCancel) {
  English();
  Plugin m("ProbeMorvane");
  ASSERT_TRUE(m.configurationDlg && m.groupIcon);
  int result = -5;
  Seen seen = RunDialog(m.configurationDlg, {{103, 112}, CloseBox, nullptr}, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(m.groupIcon(), 0);
  EXPECT_FALSE(testreg::KeyExists(testreg::MorvaneKey));
}

// A language value other than 0 or 1 names no template: nothing opens, and the
// answer is still 0. A value of 65536 must not wrap onto template 1.
TEST_F(Dialogs, OtherLanguageValuesOpenNothing) {
  Plugin v("ProbeVantrel");
  ASSERT_TRUE(v.configurationDlg);
  for (uint32_t language : {2u, 65536u, 65535u, 0xFFFFFFFFu}) {
    testreg::PutDword(testreg::ResourceKey, "Japanese", language);
    int result = -5;
    Seen seen = RunDialog(v.configurationDlg, {{101}, PressOk, nullptr}, &result);
    EXPECT_EQ(result, 0) << language;
    EXPECT_FALSE(seen.found) << language;
  }
  EXPECT_EQ(v.setting(0), 0);
  EXPECT_FALSE(testreg::KeyExists(testreg::VantrelKey));
}

TEST_F(Dialogs, PlacedOnCursorWithinWorkArea) {
  English();
  RECT work;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  Plugin v("ProbeVantrel"), m("ProbeMorvane");
  ASSERT_TRUE(v.configurationDlg && m.configurationDlg);
  int result = 0;
  auto open = [&](ConfigurationDlgFn fn, int x, int y) {
    SetCursorPos(x, y);
    POINT at;
    GetCursorPos(&at);
    EXPECT_EQ(at.x, x);
    EXPECT_EQ(at.y, y);
    return RunDialog(fn, {{}, PressCancel, nullptr}, &result).rect;
  };
  int midY = (work.top + work.bottom) / 2, midX = (work.left + work.right) / 2;
  RECT r = open(v.configurationDlg, work.right - 3, midY);
  EXPECT_EQ(r.right, work.right) << "near the right edge";
  EXPECT_EQ(r.top, midY - (r.bottom - r.top) / 2);
  r = open(v.configurationDlg, work.left + 1, work.top + 1);
  EXPECT_EQ(r.left, work.left) << "near the top-left corner";
  EXPECT_EQ(r.top, work.top);
  r = open(m.configurationDlg, midX, midY);
  EXPECT_EQ(r.left, midX - (r.right - r.left) / 2 + 8) << "Morvane sits 8 pixels right";
  EXPECT_EQ(r.top, midY - (r.bottom - r.top) / 2);
  r = open(m.configurationDlg, work.right - 1, work.bottom - 1);
  EXPECT_EQ(r.right, work.right);
  EXPECT_EQ(r.bottom, work.bottom);
}

// The deliverables themselves, in both languages: OK makes the new values
// current at once (seen through their own exports) and writes them.
TEST_F(Dialogs, RealPelorinBothLanguages) {
  for (int japanese = 0; japanese <= 1; ++japanese) {
    SCOPED_TRACE(japanese ? "Japanese" : "English");
    testreg::Reset();
    if (!japanese) English();
    Plugin p("Pelorin");
    ASSERT_TRUE(p.configurationDlg && p.getPluginInfo);
    char info[64] = {};
    p.getPluginInfo(2, info, sizeof info);
    EXPECT_STREQ(info, " ");
    int result = -5;
    Seen seen = RunDialog(p.configurationDlg, {{101}, PressOk, nullptr}, &result);
    EXPECT_EQ(result, 0);
    ExpectLooksRight(seen, expected::RealPelorin, japanese != 0);
    p.getPluginInfo(2, info, sizeof info);
    EXPECT_STREQ(info, "*.EXE;*.SCR;*.DLL;*.CPL");
    EXPECT_EQ(Stored(testreg::PelorinKey, "AddExtensions"), 1u);
    EXPECT_EQ(Stored(testreg::PelorinKey, "ExtractLanguage"), 0u);
  }
}

TEST_F(Dialogs, RealVantrelBothLanguages) {
  for (int japanese = 0; japanese <= 1; ++japanese) {
    SCOPED_TRACE(japanese ? "Japanese" : "English");
    testreg::Reset();
    if (!japanese) English();
    {
      Plugin v("Vantrel");
      ASSERT_TRUE(v.configurationDlg);
      int result = -5;
      Seen seen = RunDialog(v.configurationDlg, {{101}, PressOk, nullptr}, &result);
      EXPECT_EQ(result, 0);
      ExpectLooksRight(seen, expected::RealVantrel, japanese != 0);
      EXPECT_FALSE(CheckedAt(seen, 0));
      EXPECT_EQ(Stored(testreg::VantrelKey, "ListAllFrames"), 1u);
    }
    // The next load starts from what OK wrote.
    Plugin v("Vantrel");
    int result = -5;
    Seen seen = RunDialog(v.configurationDlg, {{}, PressCancel, nullptr}, &result);
    EXPECT_TRUE(CheckedAt(seen, 0));
  }
}

TEST_F(Dialogs, RealMorvaneBothLanguages) {
  for (int japanese = 0; japanese <= 1; ++japanese) {
    SCOPED_TRACE(japanese ? "Japanese" : "English");
    testreg::Reset();
    if (!japanese) English();
    testreg::PutDword(testreg::MorvaneKey, "GroupIcon", 2);
    Plugin m("Morvane");
    ASSERT_TRUE(m.configurationDlg && m.groupIcon && m.fileName);
    EXPECT_EQ(m.groupIcon(), 2);
    int result = -5;
    Seen seen = RunDialog(m.configurationDlg, {{102, 112}, PressOk, [&] { EXPECT_EQ(m.groupIcon(), 2); }},
                          &result);
    EXPECT_EQ(result, 0);
    ExpectLooksRight(seen, expected::RealMorvane, japanese != 0);
    EXPECT_TRUE(CheckedAt(seen, 5));
    EXPECT_TRUE(CheckedAt(seen, 7));
    EXPECT_EQ(m.groupIcon(), 1);
    EXPECT_EQ(m.fileName(), 1);
    EXPECT_EQ(Stored(testreg::MorvaneKey, "GroupIcon"), 1u);
    EXPECT_EQ(Stored(testreg::MorvaneKey, "FileName"), 1u);
  }
}

}  // namespace

namespace {
// The Japanese run must really have code page 932, or its text checks would
// have been skipped.
TEST(Locale, JapaneseLocaleMeansCodePage932) {
  const char* lang = getenv("LANG");
  if (lang && strncmp(lang, "ja_JP", 5) == 0) {
    EXPECT_EQ(GetACP(), 932u);
  }
}
}  // namespace
