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
  *out = std::move(p);
  return true;
}

bool LoadPluginFolder(const std::string& folder, PluginSet* set, std::vector<std::string>* warnings) {
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(FsPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string ext = Lower(PathText(it->path().extension()));
    if (ext == SPI_PLUGIN_SUFFIX && it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) return false;
  std::sort(files.begin(), files.end());
  set->folder = folder;
  for (const fs::path& f : files) {
    LoadedPlugin p;
    std::string error;
    if (LoadOnePlugin(PathText(f), &p, &error)) {
      set->plugins.push_back(std::move(p));
    } else {
      warnings->push_back(PathText(f.filename()) + ": " + error);
    }
  }
  return true;
}

void UnloadPlugins(PluginSet* set) {
  // Reverse order: Quibbet holds Morvane, so let the holder go first.
  for (auto it = set->plugins.rbegin(); it != set->plugins.rend(); ++it) host::UnloadPlugin(&it->plugin);
  set->plugins.clear();
}

Candidates FindCandidates(const PluginSet& set, const std::string& name, const std::vector<uint8_t>& data) {
  Candidates c;
  if (data.empty()) return c;
  // The head ends where readable memory ends, so a plug-in that reads past it
  // faults here rather than seeing garbage. The plug-ins only read it.
  host::GuardedBuffer buffer(data.data(), std::min(data.size(), kHeadSize));
  for (const LoadedPlugin& p : set.plugins) {
    const uintptr_t head = reinterpret_cast<uintptr_t>(buffer.data());
    // The name is only a hint: one the plug-in cannot be given is no reason to refuse.
    const int r = CallWithPath(
        name, p.plugin.isSupportedW != nullptr, [&](const char* n) { return p.plugin.isSupported(n, head); },
        [&](const SpiWChar* n) { return p.plugin.isSupportedW(n, head); });
    if (r == ResultNoNarrowName ? p.plugin.isSupported("", head) == 0 : r == 0) continue;
    (p.role == PluginKind::Archive ? c.archives : c.images).push_back(&p);
  }
  return c;
}

}  // namespace spihost
