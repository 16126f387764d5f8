// What the commands share about members and pictures: names, the format
// tests, listing, fetching and describing members.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "commands.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "support.h"

namespace spihost {
namespace {

// A viewer hands IsSupported the first 2 KB of a member held in memory.
constexpr size_t kHeadSize = 2048;

std::string Field(const char* text, size_t capacity) { return std::string(text, strnlen(text, capacity)); }

std::string Lower(std::string t) {
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

}  // namespace

std::string PathOf(const fileInfo& m) { return Field(m.path, sizeof m.path); }
std::string NameOf(const fileInfo& m) { return Field(m.filename, sizeof m.filename); }
std::string MethodOf(const fileInfo& m) {
  return Field(reinterpret_cast<const char*>(m.method), sizeof m.method);
}

std::string ShownName(const fileInfo& m) {
  std::string s = PathOf(m) + NameOf(m);
  if (platform::PathSeparator() == '/') {
    for (size_t i = 0; i < s.size(); i++) {
      if (platform::IsLeadByte(static_cast<unsigned char>(s[i]))) i++;
      else if (s[i] == '\\') s[i] = '/';
    }
  }
  return s;
}

bool Wanted(const Options& o, const fileInfo& m) {
  if (o.only.empty()) return true;
  const std::string name = Lower(NameOf(m));
  for (const std::string& ext : o.only) {
    const std::string tail = "." + ext;
    if (name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0) return true;
  }
  return false;
}

bool CandidatesForFile(const PluginSet& set, const std::string& file, Candidates* out,
                       std::string* why, bool* executable) {
  *out = Candidates{};
  *executable = false;
  uintptr_t handle = 0;
  if (!platform::OpenForReading(file.c_str(), &handle, why)) return false;
  // Every plug-in reads the file from its first byte, as far as it needs.
  for (const LoadedPlugin& p : set.plugins) {
    if (!platform::RewindHandle(handle)) break;
    if (p.plugin.isSupported(file.c_str(), handle) == 0) continue;
    (p.role == PluginKind::Archive ? out->archives : out->images).push_back(&p);
  }
  std::vector<uint8_t> head;
  const std::string readWhy = ReadFileBytes(file, 2, &head);
  platform::CloseHandleForReading(handle);
  if (!readWhy.empty()) {
    *why = readWhy;
    return false;
  }
  if (head.empty()) {
    *why = "empty file";
    return false;
  }
  *executable = head.size() == 2 && head[0] == 'M' && head[1] == 'Z';
  return true;
}

std::string NobodyTakes(bool executable) {
  return executable ? "a Windows program or library without resources: no plug-in takes it"
                    : "no plug-in takes this file";
}

const LoadedPlugin* ListArchive(Job& job, const std::vector<const LoadedPlugin*>& candidates,
                                const char* source, SpiLength length, unsigned flags,
                                const std::string& member, std::vector<fileInfo>* members) {
  int firstError = 0;
  const LoadedPlugin* firstFailed = nullptr;
  for (const LoadedPlugin* p : candidates) {
    SpiHandle block = nullptr;
    int r = p->plugin.getArchiveInfo(source, length, flags, &block);
    if (r == ResultOk && block) {
      *members = host::TakeEntryList(block);
      return p;
    }
    if (block) SpiFreeBlock(block);
    if (r == ResultOk) r = ResultBrokenData;  // success without a list is no success
    if (!firstFailed) {
      firstFailed = p;
      firstError = r;
    }
  }
  if (firstFailed) FailResult(job, member, *firstFailed, firstError);
  return nullptr;
}

int MemberToMemory(Job& job, const LoadedPlugin& p, const char* source, SpiLength length,
                   unsigned inputKind, const fileInfo& m, std::vector<uint8_t>* out) {
  SpiHandle block = nullptr;
  int r = p.plugin.getFile(source, length, &block, inputKind | (OutputMemory << OutputKindShift),
                           OnProgress, UserValue(job));
  if (r != ResultOk) return r;
  if (!block) return ResultBrokenData;
  if (SpiBlockSize(block) < m.filesize) {
    SpiFreeBlock(block);
    return ResultBrokenData;
  }
  *out = host::TakeBlock(block, m.filesize);
  return ResultOk;
}

bool LookupMember(const LoadedPlugin& p, const std::string& file, const std::string& name, fileInfo* out) {
  std::vector<std::string> spellings{name};
  std::string back = name, slash = name;
  std::replace(back.begin(), back.end(), '/', '\\');
  std::replace(slash.begin(), slash.end(), '\\', '/');
  if (back != name) spellings.push_back(back);
  if (slash != name) spellings.push_back(slash);
  if (!p.plugin.getFileInfo) return false;
  for (unsigned flags : {0u, static_cast<unsigned>(IgnoreCase)}) {
    for (const std::string& spelling : spellings) {
      fileInfo record{};
      if (p.plugin.getFileInfo(file.c_str(), 0, spelling.c_str(), InputFile | flags, &record) == ResultOk) {
        *out = record;
        return true;
      }
    }
  }
  return false;
}

std::vector<PictureSize> DescribeMember(Job& job, const std::vector<uint8_t>& data, const std::string& name) {
  std::vector<PictureSize> sizes;
  if (data.empty()) return sizes;
  Candidates c = FindCandidates(job.session.plugins, name, data.data(), std::min(data.size(), kHeadSize));
  host::GuardedBuffer buffer(data);
  const SpiLength length = static_cast<int32_t>(std::min<size_t>(data.size(), INT32_MAX));
  for (const LoadedPlugin* p : c.images) {
    PictureInfo info{};
    if (!p->plugin.getPictureInfo || p->plugin.getPictureInfo(buffer.source(), length, InputMemory, &info) != ResultOk)
      continue;
    if (info.hInfo) SpiFreeBlock(info.hInfo);
    sizes.push_back(PictureSize{"", info.width, info.height, info.colorDepth});
    return sizes;
  }
  for (const LoadedPlugin* p : c.archives) {
    SpiHandle block = nullptr;
    if (p->plugin.getArchiveInfo(buffer.source(), length, InputMemory, &block) != ResultOk || !block) {
      if (block) SpiFreeBlock(block);
      continue;
    }
    for (const fileInfo& m : host::TakeEntryList(block)) {
      if (m.position >= buffer.size()) continue;
      std::vector<uint8_t> bytes;
      if (MemberToMemory(job, *p, buffer.source() + m.position,
                         static_cast<SpiLength>(buffer.size() - m.position), InputMemory, m, &bytes) != ResultOk)
        continue;
      // One level down only: an image of a group is a picture.
      Candidates inner = FindCandidates(job.session.plugins, NameOf(m), bytes.data(), std::min(bytes.size(), kHeadSize));
      host::GuardedBuffer one(bytes);
      for (const LoadedPlugin* q : inner.images) {
        PictureInfo info{};
        if (!q->plugin.getPictureInfo ||
            q->plugin.getPictureInfo(one.source(), static_cast<int32_t>(one.size()), InputMemory, &info) != ResultOk)
          continue;
        if (info.hInfo) SpiFreeBlock(info.hInfo);
        sizes.push_back(PictureSize{ShownName(m), info.width, info.height, info.colorDepth});
        break;
      }
    }
    return sizes;
  }
  return sizes;
}

std::string Json(const std::string& text) { return JsonString(text); }

std::string SlashPath(const std::string& path) {
  std::string s = path;
  if (platform::PathSeparator() != '/') {
    for (size_t i = 0; i < s.size(); i++) {
      if (platform::IsLeadByte(static_cast<unsigned char>(s[i]))) i++;
      else if (s[i] == platform::PathSeparator()) s[i] = '/';
    }
  }
  return s;
}

}  // namespace spihost
