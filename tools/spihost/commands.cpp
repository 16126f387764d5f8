#include "commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "fetch.h"
#include "picture.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "support.h"

namespace spihost {
namespace {

// A viewer hands IsSupported the first 2 KB of a file.
constexpr size_t kHeadSize = 2048;
// Archives inside archives inside ...: a hostile file could nest forever.
constexpr int kMaxDepth = 4;
// The progress bar appears only for work worth watching: at once for many or
// large members, otherwise once the work has taken a while.
constexpr size_t kManyMembers = 32;
constexpr uint64_t kLargeBytes = 4u << 20;
constexpr int kBarDelayMs = 700;

const char* kLanguageKey = "Software\\Kestrov\\Susie\\Resource";

std::string Field(const char* text, size_t capacity) {
  return std::string(text, strnlen(text, capacity));
}
std::string PathOf(const fileInfo& m) { return Field(m.path, sizeof m.path); }
std::string NameOf(const fileInfo& m) { return Field(m.filename, sizeof m.filename); }
std::string MethodOf(const fileInfo& m) {
  return Field(reinterpret_cast<const char*>(m.method), sizeof m.method);
}
// How a member's path is shown: with the system's separator.
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

// ---- Progress --------------------------------------------------------------

void ClearBar(Session& s) {
  if (!s.barVisible) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  s.barVisible = false;
}

void DrawBar(Session& s, double fraction, bool force) {
  auto now = std::chrono::steady_clock::now();
  // Quick work shows no bar; slow work (many or large members) shows one soon.
  if (!s.barVisible && now - s.progressStart < std::chrono::milliseconds(kBarDelayMs)) return;
  if (!force && now - s.lastDrawn < std::chrono::milliseconds(100)) return;
  s.lastDrawn = now;
  fraction = std::clamp(fraction, 0.0, 1.0);
  int width = platform::TerminalWidth(2);
  if (width <= 0) width = 80;
  const int barWidth = std::clamp(width / 3, 10, 40);
  const int filled = static_cast<int>(fraction * barWidth + 0.5);
  std::string label = s.progressLabel;
  const size_t room = static_cast<size_t>(std::max(0, width - barWidth - 20));
  if (label.size() > room) label = label.substr(0, room);
  std::fprintf(stderr, "\r\x1b[K[%s%s] %zu/%zu %s", std::string(filled, '#').c_str(),
               std::string(barWidth - filled, ' ').c_str(), s.unitsDone, s.unitsTotal,
               label.c_str());
  std::fflush(stderr);
  s.barVisible = true;
}

// The plug-ins' progress callback: moves the bar and passes on Ctrl-C.
int SPI_CALL OnProgress(int done, int total, SpiUserValue user) {
  Session* s = reinterpret_cast<Session*>(user);
  if (s->showProgress && s->unitsTotal) {
    const double part = total > 0 ? static_cast<double>(done) / total : 0.0;
    DrawBar(*s, (s->unitsDone + std::clamp(part, 0.0, 1.0)) / s->unitsTotal, false);
  }
  return platform::InterruptRequested() ? 1 : 0;
}

SpiUserValue UserValue(Session& s) { return reinterpret_cast<SpiUserValue>(&s); }

bool CheckInterrupt(Session& s) {
  if (platform::InterruptRequested() && !s.interrupted) {
    s.interrupted = true;
    Fail(s, "interrupted");
  }
  return s.interrupted;
}

void FailResult(Session& s, const std::string& where, const LoadedPlugin& p, int code) {
  if (code == ResultAborted && platform::InterruptRequested()) {
    CheckInterrupt(s);
    return;
  }
  Fail(s, where + ": " + ResultText(code) + " (" + p.file + ", code " + std::to_string(code) + ")");
}

// ---- Inputs ------------------------------------------------------------------

// The head of a file for IsSupported, or a message why there is none.
std::string ReadHead(const std::string& file, std::vector<uint8_t>* head) {
  std::string why = ReadFileBytes(file, kHeadSize, head);
  if (!why.empty()) return why;
  if (head->empty()) return "empty file";
  return {};
}

bool LooksLikeBmp(const std::vector<uint8_t>& data) {
  size_t a, b, c, d;
  return BmpFileToDib(data, &a, &b, &c, &d).empty();
}

// GetArchiveInfo with the first candidate that lists the input; the others
// are asked only when one fails, as a viewer falls back on the next plug-in.
const LoadedPlugin* ListArchive(Session& s, const std::vector<const LoadedPlugin*>& candidates,
                                const char* source, int32_t length, unsigned flags,
                                const std::string& where, std::vector<fileInfo>* members) {
  int firstError = 0;
  const LoadedPlugin* firstFailed = nullptr;
  for (const LoadedPlugin* p : candidates) {
    SpiHandle block = nullptr;
    int r = p->plugin.getArchiveInfo(source, length, flags, &block);
    if (r == ResultOk && block) {
      *members = host::TakeEntryList(block);
      return p;
    }
    if (r == ResultOk) r = ResultBrokenData;  // success without a list is no success
    if (!firstFailed) {
      firstFailed = p;
      firstError = r;
    }
  }
  if (firstFailed) FailResult(s, where, *firstFailed, firstError);
  return nullptr;
}

// GetPicture into two byte vectors.
int FetchPicture(Session& s, const LoadedPlugin& p, const char* source, int32_t length,
                 unsigned flags, std::vector<uint8_t>* info, std::vector<uint8_t>* bits) {
  SpiHandle hInfo = nullptr, hBits = nullptr;
  int r = p.plugin.getPicture(source, length, flags, &hInfo, &hBits, OnProgress, UserValue(s));
  if (r != ResultOk) return r;
  if (!hInfo || !hBits) {
    if (hInfo) SpiFreeBlock(hInfo);
    if (hBits) SpiFreeBlock(hBits);
    return ResultBrokenData;
  }
  *info = host::TakeBlock(hInfo);
  *bits = host::TakeBlock(hBits);
  return ResultOk;
}

// Writes a picture to path as PNG, or as BMP when asBmp.
bool WritePicture(Session& s, const std::string& where, const uint8_t* info, size_t infoSize,
                  const uint8_t* bits, size_t bitsSize, const std::string& path, bool asBmp) {
  std::vector<uint8_t> bytes;
  std::string why;
  if (asBmp) {
    why = DibToBmpFile(info, infoSize, bits, bitsSize, &bytes);
  } else {
    RgbaImage image;
    why = DibToImage(info, infoSize, bits, bitsSize, &image);
    if (why.empty() && !EncodePng(image, &bytes)) why = "PNG encoding failed";
  }
  if (why.empty()) why = WriteWholeFile(path, bytes);
  if (!why.empty()) {
    Fail(s, where + ": " + why);
    return false;
  }
  s.written.insert(PathKey(path));
  return true;
}

// Writes a picture fetched from an image plug-in as PNG: encoded and written
// on another core while the plug-ins go on; FlushPictures reports failures.
void WriteShownPicture(Session& s, const std::string& where, ShownPicture picture,
                       const std::string& path) {
  s.written.insert(PathKey(path));
  auto shared = std::make_shared<ShownPicture>(std::move(picture));
  s.pictures.Run([shared, where, path] {
    std::vector<uint8_t> bytes;
    std::string why = ShownPicturePng(*shared, &bytes) ? WriteWholeFile(path, bytes) : "PNG encoding failed";
    return why.empty() ? why : where + ": " + why;
  });
}

// Waits for the pictures handed on and reports their failures in order.
void FlushPictures(Session& s) {
  for (const std::string& failure : s.pictures.Wait())
    if (!failure.empty()) Fail(s, failure);
}

// A picture file name beside the member, never one this run already wrote.
std::string PicturePath(Session& s, const std::string& folder, const std::string& name,
                        const std::string& suffix) {
  return JoinPath(folder, UniqueName(folder, name + suffix, s.written));
}

// ---- Members -----------------------------------------------------------------

// GetFile into memory; the member's bytes as its record announces them.
int MemberToMemory(Session& s, const LoadedPlugin& p, const char* source, int32_t length,
                   unsigned inputKind, const fileInfo& m, std::vector<uint8_t>* out) {
  SpiHandle block = nullptr;
  int r = p.plugin.getFile(source, length, &block, inputKind | (OutputMemory << OutputKindShift),
                           OnProgress, UserValue(s));
  if (r != ResultOk) return r;
  if (!block) return ResultBrokenData;
  if (SpiBlockSize(block) < m.filesize) {
    SpiFreeBlock(block);
    return ResultBrokenData;
  }
  *out = host::TakeBlock(block, m.filesize);
  return ResultOk;
}

void OpenNested(Session& s, const std::vector<uint8_t>& data, const std::string& name,
                const std::string& folder, const std::string& where, int depth);

// Writes the PNGs of one member that is a picture or an archive of pictures.
void NestedArchive(Session& s, const LoadedPlugin& p, const host::GuardedBuffer& buffer,
                   const std::vector<fileInfo>& members, const std::string& folder,
                   const std::string& where, int depth) {
  for (const fileInfo& m : members) {
    if (CheckInterrupt(s)) return;
    const std::string inner = where + "/" + ShownName(m);
    if (m.position >= buffer.size()) {
      Fail(s, inner + ": broken data (position outside the member, " + p.file + ")");
      continue;
    }
    std::vector<uint8_t> bytes;
    int r = MemberToMemory(s, p, buffer.source() + m.position,
                           static_cast<int32_t>(buffer.size() - m.position), InputMemory, m, &bytes);
    if (r != ResultOk) {
      FailResult(s, inner, p, r);
      continue;
    }
    std::string sub = folder;
    for (const std::string& part : SafePathComponents(PathOf(m))) sub = JoinPath(sub, part);
    std::string name = SafeComponent(NameOf(m));
    OpenNested(s, bytes, name.empty() ? "member" : name, sub, inner, depth + 1);
  }
}

void OpenNested(Session& s, const std::vector<uint8_t>& data, const std::string& name,
                const std::string& folder, const std::string& where, int depth) {
  if (data.empty() || depth > kMaxDepth) return;
  const size_t headSize = std::min(data.size(), kHeadSize);
  Candidates c = FindCandidates(s.plugins, name, data.data(), headSize);
  host::GuardedBuffer buffer(data);
  const int32_t length = static_cast<int32_t>(std::min<size_t>(data.size(), INT32_MAX));
  if (!c.images.empty()) {
    int r = ResultOk;
    for (const LoadedPlugin* p : c.images) {
      ShownPicture picture;
      r = FetchShownPicture(p->plugin, buffer.source(), length, InputMemory, true, OnProgress,
                            UserValue(s), &picture);
      if (r == ResultOk) {
        if (!MakeFolders(folder).empty()) {
          Fail(s, where + ": cannot create folder " + folder);
          return;
        }
        WriteShownPicture(s, where, std::move(picture), PicturePath(s, folder, name, ".png"));
        return;
      }
    }
    FailResult(s, where, *c.images.front(), r);
    return;
  }
  if (!c.archives.empty()) {
    std::vector<fileInfo> members;
    const LoadedPlugin* p = ListArchive(s, c.archives, buffer.source(), length, InputMemory, where, &members);
    if (p) NestedArchive(s, *p, buffer, members, JoinPath(folder, name + ".images"), where, depth);
    return;
  }
  size_t io, is, bo, bs;
  if (BmpFileToDib(data, &io, &is, &bo, &bs).empty()) {
    // Bitmaps the viewer shows itself; no plug-in is asked for them.
    RgbaImage probe;
    if (DibToImage(data.data() + io, is, data.data() + bo, bs, &probe).empty() &&
        MakeFolders(folder).empty()) {
      WritePicture(s, where, data.data() + io, is, data.data() + bo, bs,
                   PicturePath(s, folder, name, ".png"), false);
    }
  }
}

// One member of a file on disk, through GetFile into its folder; through
// memory when the plug-in's name cannot be used as it stands.
void ExtractMember(Session& s, const std::string& file, const LoadedPlugin& p, const fileInfo& m,
                   const std::string& outFolder) {
  const std::string where = file + ": " + ShownName(m);
  s.progressLabel = ShownName(m);
  std::string folder = outFolder;
  for (const std::string& part : SafePathComponents(PathOf(m))) folder = JoinPath(folder, part);
  std::string why = MakeFolders(folder);
  if (!why.empty()) {
    Fail(s, where + ": " + why);
    return;
  }
  const std::string name = NameOf(m);
  // With --png the bytes are needed in memory anyway: one GetFile, not two.
  bool viaMemory = !IsSafeFileName(name) || m.filesize == 0 || s.options.png;
  std::string outName = IsSafeFileName(name) ? name : SafeComponent(name);
  if (outName.empty()) outName = "member";
  if (s.written.count(PathKey(JoinPath(folder, outName)))) {
    // Two members of one name (the same resource in two languages, say).
    outName = UniqueName(folder, outName, s.written);
    viaMemory = true;
  }
  const std::string target = JoinPath(folder, outName);
  std::vector<uint8_t> bytes;
  bool haveBytes = false;
  if (!viaMemory) {
    const bool existed = FileExists(target);
    int r = p.plugin.getFile(file.c_str(), static_cast<int32_t>(m.position), (void*)folder.c_str(),
                             InputFile | (OutputFile << OutputKindShift), OnProgress, UserValue(s));
    if (r != ResultOk) {
      // A failed extraction may leave the target it created empty.
      if (!existed && FileExists(target) && FileSize(target) == 0) platform::RemoveFile(target.c_str());
      FailResult(s, where, p, r);
      return;
    }
    if (!FileExists(target)) {
      Fail(s, where + ": the plug-in wrote no file of that name (" + p.file + ")");
      return;
    }
  } else {
    int r = MemberToMemory(s, p, file.c_str(), static_cast<int32_t>(m.position), InputFile, m, &bytes);
    if (r != ResultOk) {
      FailResult(s, where, p, r);
      return;
    }
    haveBytes = true;
    why = WriteWholeFile(target, bytes);
    if (!why.empty()) {
      Fail(s, where + ": " + why);
      return;
    }
  }
  s.written.insert(PathKey(target));
  if (!s.options.png || CheckInterrupt(s)) return;
  if (!haveBytes) {
    int r = MemberToMemory(s, p, file.c_str(), static_cast<int32_t>(m.position), InputFile, m, &bytes);
    if (r != ResultOk) {
      FailResult(s, where, p, r);
      return;
    }
  }
  OpenNested(s, bytes, outName, folder, where, 1);
}

// Finds the named members with GetFileInfo: as typed, with the other
// separator, then ignoring case.
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

void BeginProgress(Session& s, const std::vector<fileInfo>& members) {
  uint64_t bytes = 0;
  for (const fileInfo& m : members) bytes += m.filesize;
  s.unitsDone = 0;
  s.unitsTotal = members.size();
  s.showProgress = platform::IsTerminal(2);
  s.progressStart = std::chrono::steady_clock::now();
  if (members.size() >= kManyMembers || bytes >= kLargeBytes) s.progressStart -= std::chrono::seconds(1);
}

std::string BaseName(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
  base = SafeComponent(base);
  return base.empty() ? "picture" : base;
}

void ExtractFile(Session& s, const std::string& file) {
  const Options& o = s.options;
  std::vector<uint8_t> head;
  std::string why = ReadHead(file, &head);
  if (!why.empty()) {
    Fail(s, file + ": " + why);
    return;
  }
  Candidates c = FindCandidates(s.plugins, file, head.data(), head.size());
  const std::string outFolder = o.output.empty() ? "." : o.output;
  if (c.archives.empty()) {
    if (o.png && (!c.images.empty() || LooksLikeBmp(head))) {
      // A picture file: its PNG is all there is to extract.
      std::vector<uint8_t> data;
      why = ReadFileBytes(file, SIZE_MAX, &data);
      if (!why.empty()) {
        Fail(s, file + ": " + why);
        return;
      }
      OpenNested(s, data, BaseName(file), outFolder, file, 0);
      FlushPictures(s);
      return;
    }
    Fail(s, file + (c.images.empty() ? ": no plug-in takes this file"
                                     : ": a picture, not an archive (" + c.images.front()->file +
                                           "); use 'spihost convert' or 'extract --png'"));
    return;
  }
  std::vector<fileInfo> members;
  const LoadedPlugin* p = ListArchive(s, c.archives, file.c_str(), 0, InputFile, file, &members);
  if (!p) return;
  // Named members, in the order asked.
  std::vector<std::string> names(o.operands.begin() + 1, o.operands.end());
  if (!names.empty()) {
    std::vector<fileInfo> chosen;
    for (const std::string& n : names) {
      fileInfo record;
      if (LookupMember(*p, file, n, &record)) chosen.push_back(record);
      else Fail(s, file + ": no member named " + n);
    }
    members = chosen;
  }
  if (o.toStdout) {
    if (members.size() != 1) {
      if (names.empty()) {
        Fail(s, file + ": has " + std::to_string(members.size()) + " members; name the one for --stdout");
        s.status = ExitUsage;
      }
      return;
    }
    std::vector<uint8_t> bytes;
    int r = MemberToMemory(s, *p, file.c_str(), static_cast<int32_t>(members[0].position), InputFile,
                           members[0], &bytes);
    if (r != ResultOk) {
      FailResult(s, file + ": " + ShownName(members[0]), *p, r);
      return;
    }
    platform::SetBinaryOutput();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
      Fail(s, "cannot write to standard output");
    std::fflush(stdout);
    return;
  }
  why = MakeFolders(outFolder);
  if (!why.empty()) {
    Fail(s, why);
    return;
  }
  BeginProgress(s, members);
  for (const fileInfo& m : members) {
    if (CheckInterrupt(s)) break;
    ExtractMember(s, file, *p, m, outFolder);
    s.unitsDone++;
    if (s.showProgress) DrawBar(s, static_cast<double>(s.unitsDone) / s.unitsTotal, false);
  }
  FlushPictures(s);
  if (s.showProgress) DrawBar(s, 1.0, true);
  ClearBar(s);
  s.showProgress = false;
}

// ---- Listing -------------------------------------------------------------

void PrintTable(const std::string& file, const LoadedPlugin& p, const std::vector<fileInfo>& members) {
  std::printf("%s: %s (%s), %zu member%s\n", file.c_str(), p.file.c_str(), p.kind.c_str(),
              members.size(), members.size() == 1 ? "" : "s");
  if (members.empty()) return;
  size_t width = 4;
  for (const fileInfo& m : members) width = std::max(width, ShownName(m).size());
  std::printf("  %-*s %10s %10s %10s  %s\n", static_cast<int>(width), "Name", "Size", "Packed",
              "Position", "Method");
  for (const fileInfo& m : members) {
    std::printf("  %-*s %10u %10u %10u  %s\n", static_cast<int>(width), ShownName(m).c_str(),
                m.filesize, m.compsize, m.position, MethodOf(m).c_str());
  }
}

std::string MemberJson(const fileInfo& m) {
  return "{\"path\": " + JsonString(PathOf(m)) + ", \"name\": " + JsonString(NameOf(m)) +
         ", \"size\": " + std::to_string(m.filesize) + ", \"packed\": " + std::to_string(m.compsize) +
         ", \"position\": " + std::to_string(m.position) + ", \"method\": " + JsonString(MethodOf(m)) + "}";
}

}  // namespace

void Fail(Session& s, const std::string& text) {
  ClearBar(s);
  std::fflush(stdout);
  std::fprintf(stderr, "spihost: %s\n", text.c_str());
  if (s.status == ExitOk) s.status = ExitFailed;
}

int RunPlugins(Session& s) {
  std::string json = "[";
  for (const LoadedPlugin& p : s.plugins.plugins) {
    std::string filters;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 2; i < 64; i += 2) {
      std::string pattern = host::PluginInfo(p.plugin, i);
      if (pattern.empty()) break;
      pairs.emplace_back(pattern, host::PluginInfo(p.plugin, i + 1));
    }
    const std::string description = host::PluginInfo(p.plugin, 1);
    if (s.options.json) {
      if (json.size() > 1) json += ",";
      json += "\n  {\"file\": " + JsonString(p.file) + ", \"kind\": " + JsonString(p.kind) +
              ", \"description\": " + JsonString(description) + ", \"filters\": [";
      for (size_t k = 0; k < pairs.size(); k++) {
        json += (k ? ", " : "") + std::string("{\"pattern\": ") + JsonString(pairs[k].first) +
                ", \"name\": " + JsonString(pairs[k].second) + "}";
      }
      json += "]}";
      continue;
    }
    std::printf("%s  %s %s\n  %s\n", p.file.c_str(), p.kind.c_str(),
                p.role == PluginKind::Archive ? "(archive)" : "(image)", description.c_str());
    for (const auto& [pattern, name] : pairs) {
      // Pelorin answers a single space while its extensions are switched off.
      const bool blank = pattern.find_first_not_of(' ') == std::string::npos;
      std::printf("  %s  %s\n", blank ? "(no filter)" : pattern.c_str(), name.c_str());
    }
  }
  if (s.options.json) std::printf("%s\n]\n", json.c_str());
  return s.status;
}

int RunList(Session& s) {
  std::string json = "[";
  for (const std::string& file : s.options.operands) {
    if (CheckInterrupt(s)) break;
    std::string entry;
    std::vector<uint8_t> head;
    std::string why = ReadHead(file, &head);
    Candidates c;
    if (why.empty()) c = FindCandidates(s.plugins, file, head.data(), head.size());
    if (why.empty() && !c.archives.empty()) {
      std::vector<fileInfo> members;
      if (const LoadedPlugin* p = ListArchive(s, c.archives, file.c_str(), 0, InputFile, file, &members)) {
        if (!s.options.json) PrintTable(file, *p, members);
        entry = "{\"file\": " + JsonString(file) + ", \"plugin\": " + JsonString(p->file) +
                ", \"kind\": \"00AM\", \"members\": [";
        for (size_t k = 0; k < members.size(); k++) entry += (k ? ",\n    " : "\n    ") + MemberJson(members[k]);
        entry += "]}";
      } else {
        entry = "{\"file\": " + JsonString(file) + ", \"error\": \"cannot list\"}";
      }
    } else if (why.empty() && !c.images.empty()) {
      const LoadedPlugin& p = *c.images.front();
      PictureInfo info{};
      int r = p.plugin.getPictureInfo ? p.plugin.getPictureInfo(file.c_str(), 0, InputFile, &info)
                                      : static_cast<int>(ResultNotImplemented);
      if (r == ResultOk) {
        if (info.hInfo) SpiFreeBlock(info.hInfo);
        if (!s.options.json) {
          std::printf("%s: %s (%s), picture %d x %d, %d bits\n", file.c_str(), p.file.c_str(),
                      p.kind.c_str(), info.width, info.height, info.colorDepth);
        }
        entry = "{\"file\": " + JsonString(file) + ", \"plugin\": " + JsonString(p.file) +
                ", \"kind\": \"00IN\", \"picture\": {\"width\": " + std::to_string(info.width) +
                ", \"height\": " + std::to_string(info.height) +
                ", \"depth\": " + std::to_string(info.colorDepth) + "}}";
      } else {
        FailResult(s, file, p, r);
        entry = "{\"file\": " + JsonString(file) + ", \"error\": " + JsonString(ResultText(r)) + "}";
      }
    } else {
      if (why.empty()) why = "no plug-in takes this file";
      Fail(s, file + ": " + why);
      entry = "{\"file\": " + JsonString(file) + ", \"error\": " + JsonString(why) + "}";
    }
    if (json.size() > 1) json += ",";
    json += "\n  " + entry;
  }
  if (s.options.json) std::printf("%s\n]\n", json.c_str());
  return s.status;
}

int RunExtract(Session& s) {
  ExtractFile(s, s.options.operands[0]);
  return s.status;
}

int RunConvert(Session& s) {
  const std::string& file = s.options.operands[0];
  const std::string& out = s.options.output;
  std::string ext = out.substr(out.size() - 4);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const bool asBmp = ext == ".bmp";
  std::vector<uint8_t> head;
  std::string why = ReadHead(file, &head);
  if (!why.empty()) {
    Fail(s, file + ": " + why);
    return s.status;
  }
  Candidates c = FindCandidates(s.plugins, file, head.data(), head.size());
  int r = ResultOk;
  for (const LoadedPlugin* p : c.images) {
    if (asBmp) {
      // A .bmp is the bitmap exactly as the plug-in's GetPicture hands it over.
      std::vector<uint8_t> info, bits;
      r = FetchPicture(s, *p, file.c_str(), 0, InputFile, &info, &bits);
      if (r == ResultOk) {
        WritePicture(s, file, info.data(), info.size(), bits.data(), bits.size(), out, true);
        return s.status;
      }
      continue;
    }
    ShownPicture picture;
    r = FetchShownPicture(p->plugin, file.c_str(), 0, InputFile, true, OnProgress, UserValue(s),
                          &picture);
    if (r == ResultOk) {
      WriteShownPicture(s, file, std::move(picture), out);
      FlushPictures(s);
      return s.status;
    }
  }
  if (!c.images.empty()) {
    FailResult(s, file, *c.images.front(), r);
  } else if (LooksLikeBmp(head)) {
    std::vector<uint8_t> data;
    size_t io, is, bo, bs;
    why = ReadFileBytes(file, SIZE_MAX, &data);
    if (why.empty()) why = BmpFileToDib(data, &io, &is, &bo, &bs);
    if (!why.empty()) Fail(s, file + ": " + why);
    else WritePicture(s, file, data.data() + io, is, data.data() + bo, bs, out, asBmp);
  } else if (!c.archives.empty()) {
    Fail(s, file + ": an archive (" + c.archives.front()->file +
                "), not a picture; use 'spihost extract FILE --png'");
  } else {
    Fail(s, file + ": no plug-in takes this file");
  }
  return s.status;
}

int RunConfig(Session& s) {
  const std::string& wanted = s.options.operands[0];
  LoadedPlugin own;
  const LoadedPlugin* p = nullptr;
  auto lower = [](std::string t) {
    for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return t;
  };
  for (const LoadedPlugin& q : s.plugins.plugins) {
    if (lower(q.file) == lower(wanted) || lower(q.file) == lower(wanted) + ".spi") p = &q;
  }
  if (!p && FileExists(wanted) && !platform::IsDirectory(wanted.c_str())) {
    std::string error;
    if (!LoadOnePlugin(wanted, &own, &error)) {
      Fail(s, wanted + ": " + error);
      return s.status;
    }
    p = &own;
  }
  if (!p) {
    Fail(s, "no plug-in named " + wanted);
    s.status = ExitUsage;
    return s.status;
  }
  if (!s.options.language.empty() &&
      !platform::RegistryWriteDword(kLanguageKey, "Japanese", s.options.language == "ja" ? 1 : 0)) {
    Fail(s, "cannot store the language value");
  }
  if (platform::DialogsUseTerminal() && (!platform::IsTerminal(0) || !platform::IsTerminal(1))) {
    // The terminal dialog would silently show nothing.
    Fail(s, "config needs a terminal on standard input and output");
    if (p == &own) host::UnloadPlugin(&own.plugin);
    return s.status;
  }
  int r = p->plugin.configurationDlg ? p->plugin.configurationDlg(nullptr, 1)
                                     : static_cast<int>(ResultNotImplemented);
  if (r == ResultNotImplemented) Fail(s, p->file + ": has no configuration dialog");
  if (p == &own) host::UnloadPlugin(&own.plugin);
  return s.status;
}

}  // namespace spihost
