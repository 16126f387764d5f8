// What the commands share about members and pictures: names, the format
// tests, listing, fetching and describing members.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "commands.h"
#include "console.h"
#include "formats/mz.h"
#include "platform/platform.h"
#include "support.h"

namespace spihost {
namespace {

std::string Field(const char* text, size_t capacity) { return std::string(text, strnlen(text, capacity)); }

// The record without its names, which a Member keeps as UTF-8.
template <class Record>
Member Numbers(const Record& r) {
  Member m{};
  memcpy(m.method, r.method, sizeof m.method);
  m.position = r.position;
  m.compsize = r.compsize;
  m.filesize = r.filesize;
  m.timestamp = r.timestamp;
  m.crc = r.crc;
  return m;
}

std::vector<Member> MembersOf(const auto& records) {
  std::vector<Member> members;
  for (const auto& r : records) members.push_back(MemberOf(r));
  return members;
}

bool OnDisk(unsigned flags) { return (flags & InputKindMask) == InputFile; }

}  // namespace

Member MemberOf(const fileInfo& record) {
  Member m = Numbers(record);
  m.folderText = utf8::FromNarrow(Field(record.path, sizeof record.path));
  m.nameText = utf8::FromNarrow(Field(record.filename, sizeof record.filename));
  return m;
}

Member MemberOf(const fileInfoW& record) {
  Member m = Numbers(record);
  m.folderText = utf8::FromWide(record.path, std::size(record.path));
  m.nameText = utf8::FromWide(record.filename, std::size(record.filename));
  return m;
}

std::string PathOf(const Member& m) { return m.folderText; }
std::string NameOf(const Member& m) { return m.nameText; }
std::string MethodOf(const Member& m) {
  return Field(reinterpret_cast<const char*>(m.method), sizeof m.method);
}

std::string ShownName(const Member& m) {
  std::string s = PathOf(m) + NameOf(m);
  if (platform::PathSeparator() == '/') std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

bool Wanted(const Options& o, const Member& m) {
  if (o.only.empty()) return true;
  for (const std::string& ext : o.only)
    if (EndsWithNoCase(NameOf(m), "." + ext)) return true;
  return false;
}

HeldInput::HeldInput(Job& job) : job_(job) {
  if (job.view || !platform::MapExisting(job.file.c_str(), &file_)) return;
  if (!platform::RecordKnownRegion(file_.data, file_.size)) {
    platform::Unmap(&file_);
    return;
  }
  job.view = file_.data;
  job.viewSize = file_.size;
}

HeldInput::~HeldInput() {
  if (!file_.data) return;
  job_.view = nullptr;
  job_.viewSize = 0;
  platform::ForgetKnownRegion(file_.data);
  platform::Unmap(&file_);
}

InputAt JobInput(const Job& job, uint64_t position) {
  // A position outside the file is the plug-in's to judge, on the file itself.
  if (!job.view || position >= job.viewSize || job.viewSize - position > static_cast<uint64_t>(std::numeric_limits<SpiLength>::max()))
    return InputAt{job.file.c_str(), static_cast<SpiLength>(position), InputFile};
  return InputAt{reinterpret_cast<const char*>(job.view + position),
                 static_cast<SpiLength>(job.viewSize - position), InputMemory};
}

bool CandidatesForFile(PluginSet& set, const std::string& file, Candidates* out,
                       std::string* why, bool* executable) {
  *out = Candidates{};
  *executable = false;
  uintptr_t handle = 0;
  if (!utf8::OpenForReading(file, &handle, why)) return false;
  uint8_t head[kHeadTestSize];
  size_t got = 0;
  const bool read = console::ReadFromStart(handle, head, sizeof head, &got);
  if (!read || got == 0) {
    console::CloseHandleForReading(handle);
    *why = read ? "empty file" : "cannot read";
    return false;
  }
  *executable = HasMzSignature(ByteView{head, got});
  *out = Candidates(set, file, handle, ByteView{head, got});
  return true;
}

std::string NobodyTakes(bool executable) {
  return executable ? "a DOS or Windows program or library without resources: no plug-in takes it"
                    : "no plug-in takes this file";
}

int ListWith(const LoadedPlugin& p, const char* source, SpiLength length, unsigned flags,
             std::vector<Member>* members) {
  SpiHandle block = nullptr;
  bool wide = false;
  int r = !OnDisk(flags) ? p.plugin.getArchiveInfo(source, length, flags, &block)
                         : CallWithPath(
                               source, p.plugin.getArchiveInfoW != nullptr,
                               [&](const char* f) { return p.plugin.getArchiveInfo(f, length, flags, &block); },
                               [&](const SpiWChar* f) {
                                 wide = true;
                                 return p.plugin.getArchiveInfoW(f, length, flags, &block);
                               });
  if (r == ResultOk && block) {
    *members = wide ? MembersOf(host::TakeEntryListW(block)) : MembersOf(host::TakeEntryList(block));
    return ResultOk;
  }
  if (block) SpiFreeBlock(block);
  return r == ResultOk ? ResultBrokenData : r;  // success without a list is no success
}

const LoadedPlugin* ListArchive(Job& job, Takers candidates, const char* source, SpiLength length,
                                unsigned flags, const std::string& member, std::vector<Member>* members) {
  int firstError = 0;
  const LoadedPlugin* firstFailed = nullptr;
  for (const LoadedPlugin* p : candidates) {
    const int r = ListWith(*p, source, length, flags, members);
    if (r == ResultOk) return p;
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
  const unsigned flags = inputKind | (OutputMemory << OutputKindShift);
  int r = !OnDisk(inputKind)
              ? p.plugin.getFile(source, length, &block, flags, OnProgress, UserValue(job))
              : CallWithPath(
                    source, p.plugin.getFileW != nullptr,
                    [&](const char* f) { return p.plugin.getFile(f, length, &block, flags, OnProgress, UserValue(job)); },
                    [&](const SpiWChar* f) {
                      return p.plugin.getFileW(f, length, &block, flags, OnProgress, UserValue(job));
                    });
  if (r != ResultOk) return r;
  if (!block) return ResultBrokenData;
  if (SpiBlockSize(block) < m.filesize) {
    SpiFreeBlock(block);
    return ResultBrokenData;
  }
  *out = host::TakeBlock(block, m.filesize);
  return ResultOk;
}

bool LookupMember(const LoadedPlugin& p, const std::string& file, const std::string& name, Member* out) {
  std::vector<std::string> spellings{name};
  std::string back = name, slash = name;
  std::replace(back.begin(), back.end(), '/', '\\');
  std::replace(slash.begin(), slash.end(), '\\', '/');
  if (back != name) spellings.push_back(back);
  if (slash != name) spellings.push_back(slash);
  if (!p.plugin.getFileInfo) return false;
  for (unsigned flags : {0u, static_cast<unsigned>(IgnoreCase)}) {
    for (const std::string& spelling : spellings) {
      const int r = CallWithPaths(
          file, spelling, p.plugin.getFileInfoW != nullptr,
          [&](const char* f, const char* n) {
            fileInfo record{};
            int code = p.plugin.getFileInfo(f, 0, n, InputFile | flags, &record);
            if (code == ResultOk) *out = MemberOf(record);
            return code;
          },
          [&](const SpiWChar* f, const SpiWChar* n) {
            fileInfoW record{};
            int code = p.plugin.getFileInfoW(f, 0, n, InputFile | flags, &record);
            if (code == ResultOk) *out = MemberOf(record);
            return code;
          });
      if (r == ResultOk) return true;
    }
  }
  return false;
}

std::vector<PictureSize> DescribeMember(Job& job, const std::vector<uint8_t>& data, const std::string& name) {
  std::vector<PictureSize> sizes;
  if (data.empty()) return sizes;
  Candidates c(job.session.plugins, name, data);
  host::GuardedBuffer buffer(data);
  const SpiLength length = static_cast<int32_t>(std::min<size_t>(data.size(), INT32_MAX));
  for (const LoadedPlugin* p : c.images()) {
    PictureInfo info{};
    if (!p->plugin.getPictureInfo || p->plugin.getPictureInfo(buffer.source(), length, InputMemory, &info) != ResultOk)
      continue;
    if (info.hInfo) SpiFreeBlock(info.hInfo);
    sizes.push_back(PictureSize{"", info.width, info.height, info.colorDepth});
    return sizes;
  }
  for (const LoadedPlugin* p : c.archives()) {
    std::vector<Member> members;
    if (ListWith(*p, buffer.source(), length, InputMemory, &members) != ResultOk) continue;
    for (const Member& m : members) {
      if (m.position >= buffer.size()) continue;
      std::vector<uint8_t> bytes;
      if (MemberToMemory(job, *p, buffer.source() + m.position,
                         static_cast<SpiLength>(buffer.size() - m.position), InputMemory, m, &bytes) != ResultOk)
        continue;
      // One level down only: an image of a group is a picture.
      Candidates inner(job.session.plugins, NameOf(m), bytes);
      host::GuardedBuffer one(bytes);
      for (const LoadedPlugin* q : inner.images()) {
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
  if (platform::PathSeparator() != '/') std::replace(s.begin(), s.end(), platform::PathSeparator(), '/');
  return s;
}

}  // namespace spihost
