// spihost: loads Susie plug-ins and calls them as the viewer does, to list,
// extract and convert what they read.
#include <cstdio>
#include <exception>

#include "cli.h"
#include "formats/ani.h"
#include "formats/icon.h"
#include "formats/mz.h"
#include "commands.h"
#include "console.h"
#include "platform/platform.h"
#include "utf8.h"

namespace spihost {
namespace {

// Pelorin's ListAllTypes set for one run and put back as it was when the
// run ends, however it ends short of a crash.
struct AllTypesOverride {
  bool active = false, had = false;
  uint32_t old = 0;
  ~AllTypesOverride() {
    if (!active) return;
    const char* key = "Software\\Kestrov\\Susie\\Plug-in\\Pelorin";
    if (!(had ? platform::RegistryWriteDword(key, "ListAllTypes", old)
              : platform::RegistryDeleteValue(key, "ListAllTypes")))
      std::fputs("spihost: --all-types: cannot put Pelorin's ListAllTypes back\n", stderr);
  }
};

bool SetAllTypes(AllTypesOverride* o) {
  const char* key = "Software\\Kestrov\\Susie\\Plug-in\\Pelorin";
  o->had = platform::RegistryReadDword(key, "ListAllTypes", &o->old);
  o->active = platform::RegistryWriteDword(key, "ListAllTypes", 1);
  return o->active;
}

// The plug-ins spihost uses by default, in the order they are asked, with
// the role each has and the test of the first bytes its format test begins with.
struct OwnPlugin {
  const char* file;
  PluginKind role;
  HeadTest mayTake;
};
const OwnPlugin kOwnPlugins[] = {{"Pelorin" SPI_PLUGIN_SUFFIX, PluginKind::Archive, HasMzSignature},
                                 {"Vantrel" SPI_PLUGIN_SUFFIX, PluginKind::Archive, HasAconHeader},
                                 {"Quibbet" SPI_PLUGIN_SUFFIX, PluginKind::Archive, HasIconFileHeader},
                                 {"Morvane" SPI_PLUGIN_SUFFIX, PluginKind::Image, HasIconFileHeader}};

// Our own plug-ins from the first default folder that holds any of them.
void FindDefaultPlugins(PluginSet* set) {
  for (const std::string& folder : DefaultPluginFolders()) {
    for (const OwnPlugin& own : kOwnPlugins) {
      std::string path = folder + platform::PathSeparator() + own.file;
      if (utf8::FileExists(path)) AddPlugin(set, path, &own.role, own.mayTake);
    }
    if (!set->plugins.empty()) {
      set->folder = folder;
      return;
    }
  }
}

void WarnOfPlugin(const std::string& text) {
  ClearBar();
  utf8::WriteText(stderr, "spihost: warning: " + text + "\n");
}

int Run(int argc, char** argv) {
  Options options;
  std::string error = ParseCommandLine(argc, argv, &options);
  if (!error.empty()) {
    std::fprintf(stderr, "spihost: %s\nTry 'spihost%s%s --help'.\n", error.c_str(),
                 options.command.empty() ? "" : " ", options.command.c_str());
    return ExitUsage;
  }
  if (options.help) {
    std::fputs(HelpText(options.command).c_str(), stdout);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFailed;
  }
  if (options.version) {
    std::printf("spihost %s\n", SPI_VERSION_STRING);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFailed;
  }
  const Command* command = FindCommand(options.command);
  console::CatchInterrupt();
  console::IgnoreBrokenPipe();
  Session s;
  s.options = options;
  // --all-types: Pelorin's setting as the plug-in reads it, put back on every way out.
  AllTypesOverride allTypes;
  if (options.allTypes && !SetAllTypes(&allTypes)) {
    std::fputs("spihost: --all-types: cannot set Pelorin's ListAllTypes\n", stderr);
    return ExitFailed;
  }
  s.plugins.warn = WarnOfPlugin;
  if (!options.pluginFolder.empty()) {
    if (!utf8::IsDirectory(options.pluginFolder)) {
      std::fprintf(stderr, "spihost: --plugins %s: no such folder\n", options.pluginFolder.c_str());
      return ExitUsage;
    }
    AddPluginFolder(options.pluginFolder, &s.plugins);
  } else if (command->plugins != PluginUse::None) {
    FindDefaultPlugins(&s.plugins);
  }
  if (command->plugins != PluginUse::WhenReached) LoadEveryPlugin(&s.plugins);
  const bool needed = command->plugins == PluginUse::Needed || command->plugins == PluginUse::WhenReached;
  if (s.plugins.plugins.empty() && needed) {
    FailRun(s, options.pluginFolder.empty() ? "no plug-ins found beside spihost; use --plugins DIR"
                                            : "no plug-ins found in " + options.pluginFolder);
    return ExitFailed;
  }
  int status = command->run(s);
  std::fflush(stdout);
  UnloadPlugins(&s.plugins);
  if (console::InterruptRequested()) {
    ClearBar();
    std::fputs("spihost: interrupted\n", stderr);
    return ExitInterrupted;
  }
  return status;
}

}  // namespace
}  // namespace spihost

int main(int argc, char** argv) {
  try {
    // The arguments as UTF-8 (on Windows from the UTF-16 command line, which
    // names every file; the narrow argv cannot).
    std::vector<std::string> args = spihost::utf8::Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return spihost::Run(static_cast<int>(args.size()), pointers.data());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "spihost: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "spihost: unexpected failure\n");
  }
  return spihost::ExitFailed;
}
