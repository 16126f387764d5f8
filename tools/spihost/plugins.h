// The set of plug-ins spihost works with, and the choice of the plug-in that
// takes a file, made as a viewer makes it. A plug-in is loaded only when the
// choice reaches it: most files are taken by the first one asked.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "host/host.h"

namespace spihost {

enum class PluginKind { Archive, Image };

// A test of a file's first bytes that a plug-in's own format test begins
// with: false means the plug-in cannot take the file.
using HeadTest = bool (*)(ByteView head);
// As many first bytes as every HeadTest needs.
constexpr size_t kHeadTestSize = 16;

struct LoadedPlugin {
  host::Plugin plugin;
  std::string path;  // where it is loaded from
  std::string file;  // file name without folder, e.g. "Pelorin.spi"
  std::string kind;  // "00AM" or "00IN", once loaded
  PluginKind role = PluginKind::Archive;
  // Our own plug-ins' roles are known before loading, so a choice among
  // image plug-ins need not load the archive ones.
  bool roleKnown = false;
  // Known for our own plug-ins too, so one that cannot take a file is not
  // loaded to be asked.
  HeadTest mayTake = nullptr;
  bool loaded = false, failed = false;
};

struct PluginSet {
  std::string folder;
  // In the order they are asked; fixed once the run starts, loaded or not.
  std::vector<LoadedPlugin> plugins;
  // Jobs on other cores may reach the same plug-in at once.
  std::unique_ptr<std::mutex> loading = std::make_unique<std::mutex>();
  // Told of a plug-in that cannot be loaded, with its file name and why.
  void (*warn)(const std::string& text) = nullptr;
};

// The folders searched when --plugins is not given: the program's own folder,
// then ../lib/susie-plugins beside it (where an install puts them).
std::vector<std::string> DefaultPluginFolders();

// Adds a plug-in file to the set, unloaded; role, when given, is the one it
// is known to have, and mayTake the test its format test begins with.
void AddPlugin(PluginSet* set, const std::string& path, const PluginKind* role, HeadTest mayTake = nullptr);
// Adds every *.spi of folder, in name order; false when it cannot be read.
bool AddPluginFolder(const std::string& folder, PluginSet* set);
// Loads every plug-in not yet loaded and drops those that cannot be (each
// told to set->warn), for the commands that show or use them all.
void LoadEveryPlugin(PluginSet* set);
// Loads one plug-in file of either kind.
bool LoadOnePlugin(const std::string& path, LoadedPlugin* out, std::string* error);
void UnloadPlugins(PluginSet* set);

class Candidates;

// The plug-ins of one role that take the input, in load order, found as the
// walk reaches them.
class Takers {
 public:
  Takers(Candidates* c, PluginKind role) : c_(c), role_(role) {}
  struct iterator {
    Candidates* c;
    PluginKind role;
    size_t index;
    const LoadedPlugin* at;
    const LoadedPlugin* operator*() const { return at; }
    iterator& operator++();
    bool operator==(std::default_sentinel_t) const { return at == nullptr; }
  };
  iterator begin() const;
  std::default_sentinel_t end() const { return {}; }
  bool empty() const { return front() == nullptr; }
  const LoadedPlugin* front() const;

 private:
  Candidates* c_;
  PluginKind role_;
};

// The plug-ins whose IsSupported accepts an input: bytes held in memory (they
// are handed its first 2 KB, as a viewer hands them) or an open file (the
// handle form; the file is closed with this). Each plug-in is asked at most
// once, and only when a walk of its role reaches it.
class Candidates {
 public:
  Candidates() = default;
  Candidates(PluginSet& set, const std::string& name, const std::vector<uint8_t>& data);
  // first: the file's first bytes, at most kHeadTestSize of them.
  Candidates(PluginSet& set, const std::string& path, uintptr_t handle, ByteView first);
  ~Candidates();
  Candidates(Candidates&& other) noexcept { *this = std::move(other); }
  Candidates& operator=(Candidates&& other) noexcept;

  Takers archives() { return Takers(this, PluginKind::Archive); }
  Takers images() { return Takers(this, PluginKind::Image); }
  // The index-th plug-in of role that takes the input, or null past the last.
  const LoadedPlugin* At(PluginKind role, size_t index);

 private:
  bool Takes(const LoadedPlugin& p);
  void Close();

  PluginSet* set_ = nullptr;
  std::string name_;
  std::unique_ptr<host::GuardedBuffer> head_;
  uintptr_t handle_ = 0;
  uint8_t first_[kHeadTestSize] = {};
  size_t firstSize_ = 0;
  // Per plug-in: 0 not asked yet, 1 takes the input, 2 does not.
  std::vector<uint8_t> verdict_;
};

}  // namespace spihost
