// Loads a plug-in and binds its exports by name, as a viewer does.
#include "host/host.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace host {

namespace {

template <typename Fn>
void Bind(void* library, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(platform::FindSymbol(library, name));
}

// The bytes a 32-bit stdcall function takes off the stack: each argument
// rounded up to 4. Checked against the export list, so the list and the
// signatures the host calls through cannot drift apart.
template <typename Fn>
struct StdcallBytes;
template <typename R, typename... Args>
struct StdcallBytes<R(SPI_CALL*)(Args...)> {
  static constexpr int value = (0 + ... + static_cast<int>((sizeof(Args) + 3) / 4 * 4));
};

#define SPI_EXPORT_ENTRY(name, field, bytes)                                         \
  static_assert(sizeof(void*) != 4 ||                                                \
                    StdcallBytes<decltype(Plugin::field)>::value == (bytes),          \
                "framework/exports.list and spi.h disagree on " #name);
#include "export_table.inc"
#undef SPI_EXPORT_ENTRY

}  // namespace

bool LoadPlugin(const std::string& path, Plugin* out, std::string* error) {
  return BindPlugin(platform::OpenLibrary(path.c_str()), path, out, error);
}

bool BindPlugin(void* library, const std::string& path, Plugin* out, std::string* error) {
  *out = Plugin{};
  if (!library) {
    if (error) *error = "cannot load " + path;
    return false;
  }
  out->library = library;
  out->path = path;
#define SPI_EXPORT_ENTRY(name, field, bytes) Bind(library, #name, &out->field);
#include "export_table.inc"
#undef SPI_EXPORT_ENTRY
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

namespace {

template <class Record>
std::vector<Record> TakeRecords(SpiHandle block) {
  std::vector<Record> records;
  if (!block) return records;
  size_t size = SpiBlockSize(block);
  const uint8_t* p = static_cast<const uint8_t*>(SpiLockBlock(block));
  if (p) {
    // The list ends at the first record whose method begins with a zero byte,
    // or at the end of the block should a plug-in have forgotten it.
    for (size_t off = 0; size - off >= sizeof(Record) && size >= off; off += sizeof(Record)) {
      Record r;
      std::memcpy(&r, p + off, sizeof r);
      if (r.method[0] == 0) break;
      records.push_back(r);
    }
    SpiUnlockBlock(block);
  }
  SpiFreeBlock(block);
  return records;
}

}  // namespace

std::vector<fileInfo> TakeEntryList(SpiHandle block) { return TakeRecords<fileInfo>(block); }

std::vector<fileInfoW> TakeEntryListW(SpiHandle block) { return TakeRecords<fileInfoW>(block); }

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

namespace {

// A host makes a guarded buffer for every member and every format test, and
// mapping, protecting and unmapping pages each time costs more than the plug-in
// calls themselves. Released regions are kept per thread and reused for data
// that fills most of one, placed against its rear guard; when the cache is
// full, or holds more than kKeptBytes, the regions released longest ago go.
struct GuardedRegion {
  void* region = nullptr;
  size_t regionSize = 0;
};

struct RegionCache {
  static constexpr size_t Kept = 16;
  static constexpr size_t kKeptBytes = size_t{4} << 20;
  GuardedRegion regions[Kept];  // oldest first
  size_t held = 0, bytes = 0;
  ~RegionCache() {
    for (size_t i = 0; i < held; ++i) platform::FreeGuarded(regions[i].region, regions[i].regionSize);
  }
  // The smallest kept region of at least want bytes that wastes at most a
  // quarter of it on zeroes (and at most 64 KB); taken out of the cache.
  GuardedRegion Take(size_t want) {
    size_t best = held;
    for (size_t i = 0; i < held; ++i) {
      const size_t have = regions[i].regionSize;
      if (have < want || have - want > std::min<size_t>(have / 4, size_t{64} << 10)) continue;
      if (best == held || have < regions[best].regionSize) best = i;
    }
    if (best == held) return {};
    const GuardedRegion r = regions[best];
    std::copy(regions + best + 1, regions + held, regions + best);
    --held;
    bytes -= r.regionSize;
    return r;
  }
  void Keep(GuardedRegion r) {
    if (r.regionSize > kKeptBytes) {
      platform::FreeGuarded(r.region, r.regionSize);
      return;
    }
    while (held == Kept || bytes + r.regionSize > kKeptBytes) {
      platform::FreeGuarded(regions[0].region, regions[0].regionSize);
      bytes -= regions[0].regionSize;
      std::copy(regions + 1, regions + held, regions);
      --held;
    }
    regions[held++] = r;
    bytes += r.regionSize;
  }
};

#ifdef _WIN32
// mingw's thread-local objects with destructors are not safe in threads that
// end (their storage can go before the destructor runs): no cache there.
RegionCache* Cache() { return nullptr; }
#else
thread_local RegionCache regionCache;
RegionCache* Cache() { return &regionCache; }
#endif

}  // namespace

GuardedBuffer::GuardedBuffer(const uint8_t* data, size_t size) {
  // The layout AllocateGuarded makes: a guard page, the body, a guard page.
  const size_t page = platform::PageSize();
  const size_t pages = std::max<size_t>(size / page + (size % page ? 1 : 0), 1);
  uint8_t* place = nullptr;
  if (RegionCache* cache = Cache()) {
    const GuardedRegion r = cache->Take((pages + 2) * page);
    if (r.region) {
      region_ = r.region;
      regionSize_ = r.regionSize;
      uint8_t* body = static_cast<uint8_t*>(region_) + page;
      place = body + (regionSize_ - 2 * page) - size;
      // What a reused region held before the data must not be read as input.
      std::memset(body, 0, static_cast<size_t>(place - body));
    }
  }
  if (!region_ && !platform::AllocateGuarded(size, &region_, &regionSize_, &place)) return;
  if (size) std::memcpy(place, data, size);
  data_ = place;
  size_ = size;
}

GuardedBuffer::~GuardedBuffer() {
  if (!region_) return;
  if (RegionCache* cache = Cache()) {
    cache->Keep(GuardedRegion{region_, regionSize_});
  } else {
    platform::FreeGuarded(region_, regionSize_);
  }
}

}  // namespace host
