// The set of plug-ins spihost works with, and the choice of the plug-in that
// takes a file, made as a viewer makes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"

namespace spihost {

enum class PluginKind { Archive, Image };

struct LoadedPlugin {
  host::Plugin plugin;
  std::string file;  // file name without folder, e.g. "Pelorin.spi"
  std::string kind;  // "00AM" or "00IN"
  PluginKind role = PluginKind::Archive;
};

struct PluginSet {
  std::string folder;
  std::vector<LoadedPlugin> plugins;
};

// The folders searched when --plugins is not given: the program's own folder,
// then ../lib/susie-plugins beside it (where an install puts them).
std::vector<std::string> DefaultPluginFolders();

// Loads every *.spi of folder, in name order. Files that cannot be loaded or
// are of another kind are skipped with a line in warnings.
bool LoadPluginFolder(const std::string& folder, PluginSet* set, std::vector<std::string>* warnings);
// Loads one plug-in file of either kind.
bool LoadOnePlugin(const std::string& path, LoadedPlugin* out, std::string* error);
void UnloadPlugins(PluginSet* set);

// The plug-ins whose IsSupported accepts data held in memory, archive
// plug-ins and image plug-ins separately, in load order. They are handed its
// first 2 KB, as a viewer hands them.
struct Candidates {
  std::vector<const LoadedPlugin*> archives;
  std::vector<const LoadedPlugin*> images;
};
Candidates FindCandidates(const PluginSet& set, const std::string& name, const std::vector<uint8_t>& data);

}  // namespace spihost
