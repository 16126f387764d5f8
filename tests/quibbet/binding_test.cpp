// Where Quibbet finds Morvane, what it does without it or without one of its
// exports, and that it lets it go when it is unloaded. Each case lays out the
// files in folders of its own; this program lives in a folder without any
// Morvane, so the system's own search finds none unless a case puts one there.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "framework/spi.h"
#include "framework/shared_settings.h"
#include "tests/builders/icon.h"
#include "platform/platform.h"
#include "support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

const std::vector<uint8_t> ThreeIcons = build::MakeIconFile(1, std::vector<build::TestImage>(3));

void FakeSettings(const fs::path& folder, int groupIcon, int fileName) {
  WriteText(folder / "fake_morvane.txt",
            std::to_string(groupIcon) + " " + std::to_string(fileName) + "\n");
}

// What a loaded Quibbet shows of its binding.
struct Seen {
  int isSupported = -2;
  std::string firstName;
};

Seen Observe(host::Plugin& q) {
  Seen s;
  s.isSupported = q.isSupported("x.ico", reinterpret_cast<uintptr_t>(ThreeIcons.data()));
  host::GuardedBuffer input(ThreeIcons);
  SpiHandle block = nullptr;
  if (q.getArchiveInfo(input.source(), 0, InputMemory, &block) == ResultOk) {
    std::vector<fileInfo> list = host::TakeEntryList(block);
    if (!list.empty()) s.firstName = list[0].filename;
  }
  return s;
}

// ConfigurationDlg of a Quibbet without a dialog to forward to: the result,
// and the warning that the user saw.
int CallWarningDialog(host::Plugin& q, int function, std::string* shown) {
#ifdef _WIN32
  std::string seen;
  std::thread closer([&seen] {
    for (int tries = 0; tries < 500; ++tries) {
      if (HWND box = FindWindowA("#32770", "Warning")) {
        char text[256] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        seen = std::string("Warning: ") + text;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(20);
    }
  });
  int r = q.configurationDlg(nullptr, function);
  closer.join();
  *shown = seen;
  return r;
#else
  testing::internal::CaptureStderr();
  int r = q.configurationDlg(nullptr, function);
  *shown = testing::internal::GetCapturedStderr();
  return r;
#endif
}

class Binding : public ::testing::Test {
 protected:
  void SetUp() override { ClearHostPluginPath(); }
  void TearDown() override {
    host::UnloadPlugin(&quibbet);
    ClearHostPluginPath();
  }
  void LoadQuibbetFrom(const ScratchDir& folder) {
    CopyPlugin("Quibbet" SPI_PLUGIN_SUFFIX, folder / "Quibbet" SPI_PLUGIN_SUFFIX);
    quibbet = LoadOrFail(folder / "Quibbet" SPI_PLUGIN_SUFFIX);
    ASSERT_NE(quibbet.library, nullptr);
  }
  static void PutMorvane(const ScratchDir& folder, const std::string& built, int groupIcon,
                         int fileName) {
    CopyPlugin(built, folder / "Morvane" SPI_PLUGIN_SUFFIX);
    FakeSettings(folder.path(), groupIcon, fileName);
  }

  host::Plugin quibbet;
};

TEST_F(Binding, MorvaneBesideQuibbetWinsOverTheHostsFolder) {
  ScratchDir own, host;
  PutMorvane(own, "FakeMorvane" SPI_PLUGIN_SUFFIX, TreatAsArchive, SizeName);
  PutMorvane(host, "FakeMorvane" SPI_PLUGIN_SUFFIX, ShowLargeIcon, NumberName);
  SetHostPluginPath(host.text());
  LoadQuibbetFrom(own);
  Seen s = Observe(quibbet);
  EXPECT_EQ(s.isSupported, 1);
  EXPECT_EQ(s.firstName, "32x32x16.ICO");
  EXPECT_FALSE(fs::exists(host / "fake_morvane.log"));
}

TEST_F(Binding, MorvaneOnlyInTheHostsFolderIsFoundWithOrWithoutATrailingSeparator) {
  for (bool trailing : {false, true}) {
    ScratchDir own, host;
    PutMorvane(host, "FakeMorvane" SPI_PLUGIN_SUFFIX, ShowFirstIcon, SizeName);
    SetHostPluginPath(host.text() + (trailing ? std::string(1, platform::PathSeparator()) : ""));
    LoadQuibbetFrom(own);
    Seen s = Observe(quibbet);
    EXPECT_EQ(s.isSupported, 0) << "trailing " << trailing;
    EXPECT_EQ(s.firstName, "32x32x16.ICO") << "trailing " << trailing;
    EXPECT_EQ(quibbet.configurationDlg(nullptr, 1), 1001);
    host::UnloadPlugin(&quibbet);
  }
}

TEST_F(Binding, WithoutMorvaneIconFilesAreArchivesNamedByNumberAndTheDialogWarns) {
  ScratchDir own, host;
  PutMorvane(host, "FakeMorvane" SPI_PLUGIN_SUFFIX, ShowFirstIcon, SizeName);
  SetHostPluginPathNumber(7);  // a number is no folder: not even looked at
  LoadQuibbetFrom(own);
  Seen s = Observe(quibbet);
  EXPECT_EQ(s.isSupported, 1);
  EXPECT_EQ(s.firstName, "#00001.ICO");
  for (int function : {0, 1}) {
    std::string shown;
    EXPECT_EQ(CallWarningDialog(quibbet, function, &shown), ResultNotImplemented);
    EXPECT_NE(shown.find(SPI_INTERFACE_32 ? "Not Installed \"MORVANE.SPI\"" : "Not Installed \"MORVANE.SPH\""), std::string::npos) << shown;
    EXPECT_NE(shown.find("Warning"), std::string::npos) << shown;
  }
  EXPECT_FALSE(fs::exists(host / "fake_morvane.log"));
}

TEST_F(Binding, MorvaneLeftToTheSystemsSearchIsFound) {
  ScratchDir own;
#ifdef _WIN32
  // The current folder is one of the places the system searches.
  ScratchDir bare;
  fs::path before = fs::current_path();
  fs::current_path(bare.path());
  fs::path bareDir = bare.path();
#else
  // The tests run with this folder on the library search path.
  const char* searched = std::getenv("QUIBBET_BARE_DIR");
  if (!searched) GTEST_SKIP() << "QUIBBET_BARE_DIR is not set";
  fs::path bareDir = searched;
  fs::create_directories(bareDir);
#endif
  CopyPlugin("FakeMorvane" SPI_PLUGIN_SUFFIX, bareDir / "Morvane" SPI_PLUGIN_SUFFIX);
  FakeSettings(bareDir, ShowLargeIcon, SizeName);
  LoadQuibbetFrom(own);
  Seen s = Observe(quibbet);
  host::UnloadPlugin(&quibbet);
#ifdef _WIN32
  fs::current_path(before);
#endif
  std::error_code ec;
  fs::remove(bareDir / "Morvane" SPI_PLUGIN_SUFFIX, ec);
  fs::remove(bareDir / "fake_morvane.txt", ec);
  fs::remove(bareDir / "fake_morvane.log", ec);
  EXPECT_EQ(s.isSupported, 0);
  EXPECT_EQ(s.firstName, "32x32x16.ICO");
}

TEST_F(Binding, EachMissingExportFallsBackOnItsOwn) {
  {
    ScratchDir own;
    PutMorvane(own, "FakeMorvaneNoDialog" SPI_PLUGIN_SUFFIX, ShowLargeIcon, SizeName);
    LoadQuibbetFrom(own);
    Seen s = Observe(quibbet);
    EXPECT_EQ(s.isSupported, 0);
    EXPECT_EQ(s.firstName, "32x32x16.ICO");
    std::string shown;
    EXPECT_EQ(CallWarningDialog(quibbet, 1, &shown), ResultNotImplemented);
    EXPECT_NE(shown.find(SPI_INTERFACE_32 ? "Not Installed \"MORVANE.SPI\"" : "Not Installed \"MORVANE.SPH\""), std::string::npos);
    host::UnloadPlugin(&quibbet);
  }
  {
    ScratchDir own;
    PutMorvane(own, "FakeMorvaneNoGroupIcon" SPI_PLUGIN_SUFFIX, ShowLargeIcon, SizeName);
    LoadQuibbetFrom(own);
    Seen s = Observe(quibbet);
    EXPECT_EQ(s.isSupported, 1);
    EXPECT_EQ(s.firstName, "32x32x16.ICO");
    EXPECT_EQ(quibbet.configurationDlg(nullptr, 0), 1000);
    host::UnloadPlugin(&quibbet);
  }
  {
    ScratchDir own;
    PutMorvane(own, "FakeMorvaneNoFileName" SPI_PLUGIN_SUFFIX, ShowLargeIcon, SizeName);
    LoadQuibbetFrom(own);
    Seen s = Observe(quibbet);
    EXPECT_EQ(s.isSupported, 0);
    EXPECT_EQ(s.firstName, "#00001.ICO");
    EXPECT_EQ(quibbet.configurationDlg(nullptr, 1), 1001);
    host::UnloadPlugin(&quibbet);
  }
}

TEST_F(Binding, UnloadingQuibbetReleasesMorvaneOnce) {
  ScratchDir own;
  PutMorvane(own, "FakeMorvane" SPI_PLUGIN_SUFFIX, TreatAsArchive, NumberName);
  fs::path log = own / "fake_morvane.log";
  // Alone, Quibbet's reference is the last one. Quibbet binds Morvane at its
  // first call, not while the system loads it (under the loader lock).
  LoadQuibbetFrom(own);
  EXPECT_FALSE(fs::exists(log)) << "Morvane loaded before any call";
  Observe(quibbet);
  EXPECT_EQ(ReadText(log), "attach\n");
  Observe(quibbet);
  host::UnloadPlugin(&quibbet);
  EXPECT_EQ(ReadText(log), "attach\ndetach\n");
  // With a reference of our own, only ours is left after Quibbet has gone.
  fs::remove(log);
  void* ours = platform::OpenLibrary((own / "Morvane" SPI_PLUGIN_SUFFIX).string().c_str());
  ASSERT_NE(ours, nullptr);
  quibbet = LoadOrFail(own / "Quibbet" SPI_PLUGIN_SUFFIX);
  Observe(quibbet);
  host::UnloadPlugin(&quibbet);
  EXPECT_EQ(ReadText(log), "attach\n");
  platform::CloseLibrary(ours);
  EXPECT_EQ(ReadText(log), "attach\ndetach\n");
}

// ---- With the real Morvane -------------------------------------------------------

// Runs Quibbet's ConfigurationDlg(function 1), which opens Morvane's dialog,
// and clicks the controls given by their identifiers, then OK.
int ConfigureThroughQuibbet(host::Plugin& q, const std::vector<int>& controls,
                            const std::string& keys) {
#ifdef _WIN32
  (void)keys;
  std::thread clicker([&controls] {
    for (int tries = 0; tries < 500; ++tries) {
      if (HWND dialog = FindWindowA("#32770", "Configuration (Morvane.spi, Quibbet.spi)")) {
        for (int id : controls) SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
      }
      Sleep(20);
    }
  });
  int r = q.configurationDlg(nullptr, 1);
  clicker.join();
  return r;
#else
  // Without a window system the dialog runs in the terminal: give it one whose
  // keyboard is ours, and type the controls' mnemonics, then Enter.
  (void)controls;
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -100;
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (slave < 0) return -100;
  std::fflush(stdout);
  int savedIn = dup(0), savedOut = dup(1);
  dup2(slave, 0);
  dup2(slave, 1);
  std::atomic<bool> done{false};
  std::thread typist([&] {
    bool typed = false;
    char buffer[4096];
    while (!done) {
      struct pollfd p = {master, POLLIN, 0};
      if (poll(&p, 1, 20) > 0 && read(master, buffer, sizeof buffer) > 0 && !typed) {
        // The dialog has drawn itself, so its keyboard is in raw mode now.
        std::string typed_keys = keys + "\r";
        if (write(master, typed_keys.data(), typed_keys.size()) > 0) typed = true;
      }
    }
  });
  int r = q.configurationDlg(nullptr, 1);
  done = true;
  typist.join();
  std::fflush(stdout);
  dup2(savedIn, 0);
  dup2(savedOut, 1);
  close(savedIn);
  close(savedOut);
  close(slave);
  close(master);
  return r;
#endif
}

class RealMorvane : public Binding {
 protected:
  void SetUp() override {
    if (!fs::exists(PluginFile("Morvane" SPI_PLUGIN_SUFFIX))) GTEST_SKIP() << "Morvane.spi is not built";
    Binding::SetUp();
  }
  void Registry(uint32_t groupIcon, uint32_t fileName) {
    TestRegistry r;
    r.groupIcon = &groupIcon;
    r.fileName = &fileName;
    uint32_t english = 0;
    r.japanese = &english;
    ApplyTestRegistry(r);
  }
};

TEST_F(RealMorvane, ItsStoredSettingsReachQuibbet) {
  ScratchDir own;
  CopyPlugin("Morvane" SPI_PLUGIN_SUFFIX, own / "Morvane" SPI_PLUGIN_SUFFIX);
  Registry(ShowLargeIcon, SizeName);
  LoadQuibbetFrom(own);
  Seen s = Observe(quibbet);
  EXPECT_EQ(s.isSupported, 0);
  EXPECT_EQ(s.firstName, "32x32x16.ICO");
  host::UnloadPlugin(&quibbet);

  Registry(TreatAsArchive, NumberName);
  quibbet = LoadOrFail(own / "Quibbet" SPI_PLUGIN_SUFFIX);
  s = Observe(quibbet);
  EXPECT_EQ(s.isSupported, 1);
  EXPECT_EQ(s.firstName, "#00001.ICO");
}

TEST_F(RealMorvane, ItsDialogOpenedThroughQuibbetChangesQuibbetAtOnce) {
  ScratchDir own;
  CopyPlugin("Morvane" SPI_PLUGIN_SUFFIX, own / "Morvane" SPI_PLUGIN_SUFFIX);
  Registry(TreatAsArchive, NumberName);
  LoadQuibbetFrom(own);
  ASSERT_EQ(Observe(quibbet).isSupported, 1);

  // "Show &Large Icon" (103), OK.
  ASSERT_EQ(ConfigureThroughQuibbet(quibbet, {103}, "l"), ResultOk);
  Seen s = Observe(quibbet);
  EXPECT_EQ(s.isSupported, 0);
  EXPECT_EQ(s.firstName, "#00001.ICO");

  // "Treat as &Archive" (101) and "&Size" (112), OK.
  ASSERT_EQ(ConfigureThroughQuibbet(quibbet, {101, 112}, "as"), ResultOk);
  s = Observe(quibbet);
  EXPECT_EQ(s.isSupported, 1);
  EXPECT_EQ(s.firstName, "32x32x16.ICO");
}

}  // namespace
