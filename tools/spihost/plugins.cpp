#include "plugins.h"

#include <algorithm>
#include <filesystem>

#include "console.h"
#include "platform/platform.h"
#include "utf8.h"
#include "support.h"

namespace spihost {
namespace {

// A viewer hands IsSupported the first 2 KB of a file held in memory.
constexpr size_t kHeadSize = 2048;

const char* RoleKind(PluginKind role) { return role == PluginKind::Archive ? "00AM" : "00IN"; }

// Loads p if no one has tried yet; true when it is loaded. A plug-in whose
// role was known beforehand must have that role.
bool Load(PluginSet& set, LoadedPlugin& p) {
  std::lock_guard<std::mutex> lock(*set.loading);
  if (p.loaded || p.failed) return p.loaded;
  LoadedPlugin fresh;
  std::string error;
  if (LoadOnePlugin(p.path, &fresh, &error)) {
    if (!p.roleKnown || fresh.role == p.role) {
      p.plugin = std::move(fresh.plugin);
      p.kind = fresh.kind;
      if (!p.roleKnown) p.role = fresh.role;
      p.loaded = true;
      return true;
    }
    error = std::string("not the ") + RoleKind(p.role) + " plug-in expected (kind \"" + fresh.kind + "\")";
    host::UnloadPlugin(&fresh.plugin);
  }
  p.failed = true;
  if (set.warn) set.warn(p.file + ": " + error);
  return false;
}

}  // namespace

namespace fs = std::filesystem;

std::vector<std::string> DefaultPluginFolders() {
  std::vector<std::string> folders;
  std::string exe = utf8::ExecutablePath();
  if (exe.empty()) return {"."};
  fs::path dir = FsPath(exe).parent_path();
  folders.push_back(PathText(dir));
  folders.push_back(PathText((dir / ".." / "lib" / "susie-plugins").lexically_normal()));
  return folders;
}

bool LoadOnePlugin(const std::string& path, LoadedPlugin* out, std::string* error) {
  LoadedPlugin p;
  if (!host::BindPlugin(utf8::OpenLibrary(path), path, &p.plugin, error)) return false;
  p.path = path;
  p.file = PathText(FsPath(path).filename());
  p.kind = host::PluginInfo(p.plugin, 0);
  if (p.kind == "00AM" && p.plugin.isSupported && p.plugin.getArchiveInfo && p.plugin.getFile) {
    p.role = PluginKind::Archive;
  } else if (p.kind == "00IN" && p.plugin.isSupported && p.plugin.getPicture) {
    p.role = PluginKind::Image;
  } else {
    *error = "not an archive (00AM) or image (00IN) plug-in with the needed exports (kind \"" +
             p.kind + "\")";
    host::UnloadPlugin(&p.plugin);
    return false;
  }
  p.loaded = true;
  *out = std::move(p);
  return true;
}

void AddPlugin(PluginSet* set, const std::string& path, const PluginKind* role, HeadTest mayTake) {
  LoadedPlugin p;
  p.mayTake = mayTake;
  p.path = path;
  p.file = PathText(FsPath(path).filename());
  if (role) {
    p.role = *role;
    p.roleKnown = true;
  }
  set->plugins.push_back(std::move(p));
}

bool AddPluginFolder(const std::string& folder, PluginSet* set) {
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(FsPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string ext = Lower(PathText(it->path().extension()));
    if (ext == SPI_PLUGIN_SUFFIX && it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) return false;
  std::sort(files.begin(), files.end());
  set->folder = folder;
  for (const fs::path& f : files) AddPlugin(set, PathText(f), nullptr);
  return true;
}

void LoadEveryPlugin(PluginSet* set) {
  for (LoadedPlugin& p : set->plugins) Load(*set, p);
  std::erase_if(set->plugins, [](const LoadedPlugin& p) { return !p.loaded; });
}

void UnloadPlugins(PluginSet* set) {
  // Reverse order: Quibbet holds Morvane, so let the holder go first.
  for (auto it = set->plugins.rbegin(); it != set->plugins.rend(); ++it)
    if (it->loaded) host::UnloadPlugin(&it->plugin);
  set->plugins.clear();
}

Takers::iterator& Takers::iterator::operator++() {
  at = c->At(role, ++index);
  return *this;
}

Takers::iterator Takers::begin() const { return iterator{c_, role_, 0, c_->At(role_, 0)}; }

const LoadedPlugin* Takers::front() const { return c_->At(role_, 0); }

Candidates::Candidates(PluginSet& set, const std::string& name, const std::vector<uint8_t>& data) {
  if (data.empty()) return;
  set_ = &set;
  name_ = name;
  // The head ends where readable memory ends, so a plug-in that reads past it
  // faults here rather than seeing garbage. The plug-ins only read it.
  head_ = std::make_unique<host::GuardedBuffer>(data.data(), std::min(data.size(), kHeadSize));
  verdict_.assign(set.plugins.size(), 0);
}

Candidates::Candidates(PluginSet& set, const std::string& path, uintptr_t handle, ByteView first)
    : set_(&set), name_(path), handle_(handle), verdict_(set.plugins.size(), 0) {
  firstSize_ = std::min(first.size, sizeof first_);
  std::copy_n(first.data, firstSize_, first_);
}

Candidates::~Candidates() { Close(); }

void Candidates::Close() {
  if (handle_) console::CloseHandleForReading(handle_);
  handle_ = 0;
}

Candidates& Candidates::operator=(Candidates&& other) noexcept {
  if (this == &other) return *this;
  Close();
  set_ = other.set_;
  name_ = std::move(other.name_);
  head_ = std::move(other.head_);
  handle_ = other.handle_;
  std::copy_n(other.first_, sizeof first_, first_);
  firstSize_ = other.firstSize_;
  verdict_ = std::move(other.verdict_);
  other.set_ = nullptr;
  other.handle_ = 0;
  return *this;
}

bool Candidates::Takes(const LoadedPlugin& p) {
  const host::Plugin& plugin = p.plugin;
  if (!head_) {
    // Every plug-in reads the file from its first byte, as far as it needs.
    if (!console::RewindHandle(handle_)) return false;
    const int r = CallWithPath(
        name_, plugin.isSupportedW != nullptr, [&](const char* f) { return plugin.isSupported(f, handle_); },
        [&](const SpiWChar* f) { return plugin.isSupportedW(f, handle_); });
    return r != 0 && r != ResultNoNarrowName;
  }
  const uintptr_t head = reinterpret_cast<uintptr_t>(head_->data());
  // The name is only a hint: one the plug-in cannot be given is no reason to refuse.
  const int r = CallWithPath(
      name_, plugin.isSupportedW != nullptr, [&](const char* n) { return plugin.isSupported(n, head); },
      [&](const SpiWChar* n) { return plugin.isSupportedW(n, head); });
  return r == ResultNoNarrowName ? plugin.isSupported("", head) != 0 : r != 0;
}

const LoadedPlugin* Candidates::At(PluginKind role, size_t index) {
  if (!set_) return nullptr;
  for (size_t i = 0; i < verdict_.size(); ++i) {
    LoadedPlugin& p = set_->plugins[i];
    if (verdict_[i] == 0) {
      // One known to be of the other role waits until a walk of its own reaches it.
      if (p.roleKnown && p.role != role) continue;
      const ByteView first = head_ ? ByteView{head_->data(), std::min(head_->size(), kHeadTestSize)}
                                   : ByteView{first_, firstSize_};
      if (p.mayTake && !p.mayTake(first)) {
        verdict_[i] = 2;
        continue;
      }
      if (!Load(*set_, p)) {
        verdict_[i] = 2;
        continue;
      }
      if (p.role != role) continue;
      verdict_[i] = Takes(p) ? 1 : 2;
    }
    if (verdict_[i] == 1 && p.role == role && index-- == 0) return &p;
  }
  return nullptr;
}

}  // namespace spihost
