// Loads a plug-in and binds its exports by name, as a viewer does.
#include "host/host.h"

#include <cstring>

#include "platform/platform.h"

namespace host {

namespace {

template <typename Fn>
void Bind(void* library, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(platform::FindSymbol(library, name));
}

}  // namespace

bool LoadPlugin(const std::string& path, Plugin* out, std::string* error) {
  *out = Plugin{};
  void* library = platform::OpenLibrary(path.c_str());
  if (!library) {
    if (error) *error = "cannot load " + path;
    return false;
  }
  out->library = library;
  out->path = path;
  Bind(library, "GetPluginInfo", &out->getPluginInfo);
  Bind(library, "IsSupported", &out->isSupported);
  Bind(library, "GetArchiveInfo", &out->getArchiveInfo);
  Bind(library, "GetFileInfo", &out->getFileInfo);
  Bind(library, "GetFile", &out->getFile);
  Bind(library, "GetPictureInfo", &out->getPictureInfo);
  Bind(library, "GetPicture", &out->getPicture);
  Bind(library, "GetPreview", &out->getPreview);
  Bind(library, "GetPictureAlpha", &out->getPictureAlpha);
  Bind(library, "ConfigurationDlg", &out->configurationDlg);
  Bind(library, "GetGroupIconSetting", &out->getGroupIconSetting);
  Bind(library, "GetFileNameSetting", &out->getFileNameSetting);
  if (!out->getPluginInfo) {
    if (error) *error = path + " has no GetPluginInfo: not a plug-in";
    UnloadPlugin(out);
    return false;
  }
  return true;
}

void UnloadPlugin(Plugin* plugin) {
  platform::CloseLibrary(plugin->library);
  *plugin = Plugin{};
}

std::string PluginInfo(const Plugin& plugin, int index) {
  if (!plugin.getPluginInfo) return {};
  char buffer[1024];
  std::memset(buffer, 0, sizeof buffer);
  int n = plugin.getPluginInfo(index, buffer, static_cast<int>(sizeof buffer));
  if (n <= 0) return {};
  buffer[sizeof buffer - 1] = 0;
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

std::vector<fileInfo> TakeEntryList(SpiHandle block) {
  std::vector<fileInfo> records;
  if (!block) return records;
  size_t size = SpiBlockSize(block);
  const uint8_t* p = static_cast<const uint8_t*>(SpiLockBlock(block));
  if (p) {
    // The list ends at the first record whose method begins with a zero byte,
    // or at the end of the block should a plug-in have forgotten it.
    for (size_t off = 0; size - off >= sizeof(fileInfo) && size >= off; off += sizeof(fileInfo)) {
      fileInfo r;
      std::memcpy(&r, p + off, sizeof r);
      if (r.method[0] == 0) break;
      records.push_back(r);
    }
    SpiUnlockBlock(block);
  }
  SpiFreeBlock(block);
  return records;
}

std::vector<uint8_t> TakeBlock(SpiHandle block, size_t n) {
  std::vector<uint8_t> bytes;
  if (!block) return bytes;
  size_t size = SpiBlockSize(block);
  if (n > size) n = size;
  const uint8_t* p = static_cast<const uint8_t*>(SpiLockBlock(block));
  if (p) {
    bytes.assign(p, p + n);
    SpiUnlockBlock(block);
  }
  SpiFreeBlock(block);
  return bytes;
}

GuardedBuffer::GuardedBuffer(const std::vector<uint8_t>& bytes)
    : GuardedBuffer(bytes.data(), bytes.size()) {}

GuardedBuffer::GuardedBuffer(const uint8_t* data, size_t size) {
  uint8_t* place = nullptr;
  if (!platform::AllocateGuarded(size, &region_, &regionSize_, &place)) return;
  if (size) std::memcpy(place, data, size);
  data_ = place;
  size_ = size;
}

GuardedBuffer::~GuardedBuffer() { platform::FreeGuarded(region_, regionSize_); }

}  // namespace host
