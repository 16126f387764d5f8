// Loads every plug-in of an unpacked release folder and asks it for its
// information strings, as a viewer does when it scans its plug-in folder.
#include <cstdio>
#include <string>

#include "host/host.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: release_check FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  const char* names[] = {"Pelorin" SPI_PLUGIN_SUFFIX, "Vantrel" SPI_PLUGIN_SUFFIX, "Quibbet" SPI_PLUGIN_SUFFIX, "Morvane" SPI_PLUGIN_SUFFIX};
  const char* kinds[] = {"00AM", "00AM", "00AM", "00IN"};
  int failures = 0;
  for (int i = 0; i < 4; ++i) {
    host::Plugin plugin;
    std::string error;
    const std::string path = dir + "\\" + names[i];
    if (!host::LoadPlugin(path, &plugin, &error)) {
      std::printf("%s: cannot load: %s\n", names[i], error.c_str());
      ++failures;
      continue;
    }
    const std::string kind = host::PluginInfo(plugin, 0);
    const std::string about = host::PluginInfo(plugin, 1);
    std::printf("%s: %s %s\n", names[i], kind.c_str(), about.c_str());
    if (kind != kinds[i] || about.find(SPI_VERSION_STRING) == std::string::npos) ++failures;
    host::UnloadPlugin(&plugin);
  }
  return failures == 0 ? 0 : 1;
}
