// spihost extract FILE... [MEMBER...] [-o DIR] [--png] [--only EXT,...] [--json] [--stdout]
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "resources.h"
#include "picture.h"
#include "console.h"
#include "platform/platform.h"
#include "support.h"

namespace spihost {
namespace {

// Archives inside archives inside ...: a hostile file could nest forever.
constexpr int kMaxDepth = 4;

std::string BaseName(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  std::string base = SafeComponent(cut == std::string::npos ? path : path.substr(cut + 1));
  return base.empty() ? "input" : base;
}

// A path not yet taken by this input's output, remembered from now on.
std::string TakePath(Job& job, const std::string& folder, const std::string& name) {
  const std::string unique = UniqueName(folder, name, job.used);
  const std::string path = JoinPath(folder, unique);
  job.used.insert(PathKey(path));
  return path;
}

bool LooksLikeBmp(const std::string& file) {
  std::vector<uint8_t> data;
  size_t a, b, c, d;
  // Only a file that begins as a bitmap is read whole.
  if (!ReadFileBytes(file, 2, &data).empty() || data.size() != 2 || data[0] != 'B' || data[1] != 'M') return false;
  return ReadFileBytes(file, SIZE_MAX, &data).empty() && BmpFileToDib(data, &a, &b, &c, &d).empty();
}

std::shared_ptr<WrittenFile> Record(Job& job, const std::string& path, uint64_t bytes) {
  auto w = std::make_shared<WrittenFile>();
  w->path = path;
  w->bytes = bytes;
  job.written.push_back(w);
  return w;
}

// The system's words for why folder cannot take a new file.
std::string WhyNotWritable(const std::string& folder) {
  std::string temp;
  if (utf8::WriteTempFile(folder, "SPH", "", 0, &temp)) {
    utf8::RemoveFile(temp);
    return "cannot write";
  }
  return "cannot write: " + console::LastErrorText();
}

// Hands a picture to the background: encoded, written, and counted there.
void WritePictureLater(Job& job, const std::string& member, ShownPicture picture, const std::string& path) {
  auto record = Record(job, path, 0);
  record->png = true;
  record->width = picture.width;
  record->height = picture.height;
  record->depth = picture.depth;
  job.pngs++;
  auto shared = std::make_shared<ShownPicture>(std::move(picture));
  const std::string where = member;
  job.pictures.Run([shared, record, where, path] {
    std::vector<uint8_t> bytes;
    std::string why = ShownPicturePng(*shared, &bytes) ? WriteWholeFile(path, bytes) : "PNG encoding failed";
    if (why.empty()) record->bytes = bytes.size();
    // The member the failure belongs to travels with it, before a tab.
    return why.empty() ? why : where + "\t" + why;
  });
}

// Waits for the pictures handed on and records their failures in order.
void FlushPictures(Job& job) {
  for (const std::string& failure : job.pictures.Wait()) {
    if (failure.empty()) continue;
    const size_t tab = failure.find('\t');
    job.pngs--;
    Fail(job, failure.substr(0, tab), failure.substr(tab + 1));
  }
  // Pictures that failed are no files.
  job.written.erase(std::remove_if(job.written.begin(), job.written.end(),
                                   [](const auto& w) { return w->png && w->bytes == 0; }),
                    job.written.end());
}

bool MakeFolderFor(Job& job, const std::string& member, const std::string& folder) {
  // Asked of the system once per folder: a folder taken away meanwhile fails the write.
  if (job.folders.count(folder)) return true;
  std::string why = MakeFolders(folder);
  if (why.empty()) {
    job.folders.insert(folder);
    return true;
  }
  Fail(job, member, why + " (nothing more of this file is written)");
  job.stopped = true;
  return false;
}

void OpenNested(Job& job, const std::vector<uint8_t>& data, const std::string& name,
                const std::string& folder, const std::string& member, int depth, bool inGroup);

// The pictures of a member that is an archive of pictures, in MEMBER.images/.
void NestedArchive(Job& job, const LoadedPlugin& p, const host::GuardedBuffer& buffer,
                   const std::vector<Member>& members, const std::string& folder,
                   const std::string& member, int depth) {
  for (const Member& m : members) {
    if (Interrupted() || job.stopped) return;
    const std::string inner = member + "/" + ShownName(m);
    if (m.position >= buffer.size()) {
      Fail(job, inner, "broken data (position outside the member, " + p.file + ")");
      continue;
    }
    std::vector<uint8_t> bytes;
    int r = MemberToMemory(job, p, buffer.source() + m.position,
                           static_cast<SpiLength>(buffer.size() - m.position), InputMemory, m, &bytes);
    if (r != ResultOk) {
      FailResult(job, inner, p, r);
      continue;
    }
    std::string sub = folder;
    for (const std::string& part : SafePathComponents(PathOf(m))) sub = JoinPath(sub, part);
    std::string name = SafeComponent(NameOf(m));
    OpenNested(job, bytes, name.empty() ? "member" : name, sub, inner, depth + 1, true);
  }
}

// Writes the PNGs of one member that is a picture or an archive of pictures.
// An image of a group is named after what it shows: WIDTHxHEIGHTxDEPTH.png.
void OpenNested(Job& job, const std::vector<uint8_t>& data, const std::string& name,
                const std::string& folder, const std::string& member, int depth, bool inGroup) {
  if (data.empty() || depth > kMaxDepth) return;
  Candidates c(job.session.plugins, name, data);
  host::GuardedBuffer buffer(data);
  const SpiLength length = static_cast<int32_t>(std::min<size_t>(data.size(), INT32_MAX));
  if (!c.images().empty()) {
    int r = ResultOk;
    for (const LoadedPlugin* p : c.images()) {
      ShownPicture picture;
      r = FetchShownPicture(p->plugin, buffer.source(), length, InputMemory, true, OnProgress,
                            UserValue(job), &picture);
      if (r != ResultOk) continue;
      if (!MakeFolderFor(job, member, folder)) return;
      const std::string file = inGroup ? std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                                             "x" + std::to_string(picture.depth) + ".png"
                                       : name + ".png";
      WritePictureLater(job, member, std::move(picture), TakePath(job, folder, file));
      return;
    }
    FailResult(job, member, *c.images().front(), r);
    return;
  }
  if (!c.archives().empty()) {
    std::vector<Member> members;
    const LoadedPlugin* p = ListArchive(job, c.archives(), buffer.source(), length, InputMemory, member, &members);
    if (p) NestedArchive(job, *p, buffer, members, JoinPath(folder, name + ".images"), member, depth);
    return;
  }
  size_t io, is, bo, bs;
  if (BmpFileToDib(data, &io, &is, &bo, &bs).empty()) {
    // Bitmaps the viewer shows itself; no plug-in is asked for them.
    ShownPicture picture;
    if (DibToImage(data.data() + io, is, data.data() + bo, bs, &picture.image).empty() &&
        MakeFolderFor(job, member, folder)) {
      picture.width = picture.image.width;
      picture.height = picture.image.height;
      picture.depth = data.size() >= io + 16 ? data[io + 14] | (data[io + 15] << 8) : 0;
      WritePictureLater(job, member, std::move(picture), TakePath(job, folder, name + ".png"));
    }
  }
}

// One member of a file on disk: through GetFile into its folder, or through
// memory when the bytes are needed anyway (--png) or the plug-in's own name
// cannot be used as it stands.
void ExtractMember(Job& job, const LoadedPlugin& p, const Member& m, const std::string& outFolder) {
  const Options& o = job.session.options;
  const std::string member = ShownName(m);
  job.progressLabel = member;
  std::string folder = outFolder;
  for (const std::string& part : SafePathComponents(PathOf(m))) folder = JoinPath(folder, part);
  if (!MakeFolderFor(job, member, folder)) return;
  const std::string name = NameOf(m);
  bool viaMemory = !IsSafeFileName(name) || m.filesize == 0 || o.png;
  std::string outName = IsSafeFileName(name) ? name : SafeComponent(name);
  if (outName.empty()) outName = "member";
  if (job.used.count(PathKey(JoinPath(folder, outName)))) viaMemory = true;  // two members of one name
  const std::string target = TakePath(job, folder, outName);
  if (target != JoinPath(folder, outName)) viaMemory = true;
  std::vector<uint8_t> bytes;
  if (!viaMemory) {
    const bool existed = FileExists(target);
    const InputAt in = JobInput(job, m.position);
    const bool named = in.kind == InputFile;
    const unsigned flags = in.kind | (OutputFile << OutputKindShift);
    int r = CallWithPaths(
        named ? job.file : std::string(), folder, p.plugin.getFileW != nullptr,
        [&](const char* f, const char* to) {
          return p.plugin.getFile(named ? f : in.source, in.length, const_cast<char*>(to), flags, OnProgress,
                                  UserValue(job));
        },
        [&](const SpiWChar* f, const SpiWChar* to) {
          return p.plugin.getFileW(named ? f : reinterpret_cast<const SpiWChar*>(in.source), in.length,
                                   const_cast<SpiWChar*>(to), flags, OnProgress, UserValue(job));
        });
    if (r != ResultOk) {
      // A failed extraction may leave the target it created empty.
      if (!existed && FileExists(target) && FileSize(target) == 0) utf8::RemoveFile(target);
      if (r == ResultWriteError) {
        Fail(job, member, WhyNotWritable(folder) + " (" + p.file + "; nothing more of this file is written)");
        job.stopped = true;
      } else {
        FailResult(job, member, p, r);
      }
      return;
    }
    if (!FileExists(target)) {
      Fail(job, member, "the plug-in wrote no file of that name (" + p.file + ")");
      return;
    }
  } else {
    const InputAt in = JobInput(job, m.position);
    int r = MemberToMemory(job, p, in.source, in.length, in.kind, m, &bytes);
    if (r != ResultOk) {
      FailResult(job, member, p, r);
      return;
    }
    std::string why = WriteWholeFile(target, bytes);
    if (!why.empty()) {
      Fail(job, member, why + " (nothing more of this file is written)");
      job.stopped = true;
      return;
    }
  }
  Record(job, target, m.filesize);
  job.members++;
  // The pictures take the name the member got: "#00001-2.BMP.png" beside "#00001-2.BMP".
  const std::string taken = target.substr(JoinPath(folder, "").size());
  if (o.png && !Interrupted()) OpenNested(job, bytes, taken, folder, member, 1, false);
}

void ToStandardOutput(Job& job, const LoadedPlugin& p, const std::vector<Member>& members, bool named) {
  if (members.size() != 1) {
    if (!named) {
      Fail(job, "", "has " + std::to_string(members.size()) + " members; name the one for --stdout");
      job.status = ExitUsage;
    }
    return;
  }
  std::vector<uint8_t> bytes;
  const InputAt in = JobInput(job, members[0].position);
  int r = MemberToMemory(job, p, in.source, in.length, in.kind, members[0], &bytes);
  if (r != ResultOk) {
    FailResult(job, ShownName(members[0]), p, r);
    return;
  }
  console::SetBinaryOutput();
  if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) ||
      std::fflush(stdout) != 0)
    Fail(job, ShownName(members[0]), "cannot write to standard output: " + console::LastErrorText());
  else
    job.members++;
}

std::string JobJson(const Job& job, const std::string& plugin, const std::string& found) {
  std::string j = "  {\"file\": " + Json(SlashPath(job.file));
  if (!plugin.empty()) j += ", \"plugin\": " + Json(plugin) + found;
  j += ", \"written\": [";
  for (size_t k = 0; k < job.written.size(); ++k) {
    const WrittenFile& w = *job.written[k];
    j += (k ? ",\n    " : "\n    ") + std::string("{\"path\": ") + Json(SlashPath(w.path)) +
         ", \"bytes\": " + std::to_string(w.bytes);
    if (w.png) {
      j += ", \"width\": " + std::to_string(w.width) + ", \"height\": " + std::to_string(w.height) +
           ", \"depth\": " + std::to_string(w.depth);
    }
    j += "}";
  }
  j += "], \"failures\": [";
  for (size_t k = 0; k < job.failed.size(); ++k) {
    j += (k ? ",\n    " : "\n    ") + std::string("{\"member\": ") + Json(job.failed[k].first) +
         ", \"reason\": " + Json(job.failed[k].second) + "}";
  }
  return j + "]}";
}

void ExtractInput(Job& job) {
  const Options& o = job.session.options;
  std::string plugin, found;
  std::string outFolder = o.output.empty() ? "." : o.output;
  if (job.session.inputs.size() > 1) outFolder = JoinPath(outFolder, BaseName(job.file));
  [&] {
    Candidates c;
    std::string why;
    bool executable = false;
    if (!CandidatesForFile(job.session.plugins, job.file, &c, &why, &executable)) {
      Fail(job, "", why);
      return;
    }
    if (c.archives().empty()) {
      std::vector<uint8_t> data;
      if (o.png && !o.toStdout && (!c.images().empty() || LooksLikeBmp(job.file))) {
        // A picture file: its PNG is all there is to extract.
        why = ReadFileBytes(job.file, SIZE_MAX, &data);
        if (!why.empty()) {
          Fail(job, "", why);
          return;
        }
        if (!MakeFolderFor(job, "", outFolder)) return;
        OpenNested(job, data, BaseName(job.file), outFolder, "", 0, false);
        FlushPictures(job);
        return;
      }
      if (!c.images().empty())
        Fail(job, "", "a picture, not an archive (" + c.images().front()->file +
                          "); use 'spihost convert' or 'extract --png'");
      else
        Fail(job, "", NobodyTakes(executable));
      return;
    }
    HeldInput held(job);
    const InputAt in = JobInput(job, 0);
    std::vector<Member> members;
    const LoadedPlugin* p = ListArchive(job, c.archives(), in.source, in.length, in.kind, "", &members);
    if (!p) return;
    plugin = p->file;
    found = ReportResources(job, InspectResources(job, *p, members));
    if (!job.session.memberNames.empty()) {
      std::vector<Member> chosen;
      for (const std::string& n : job.session.memberNames) {
        Member record;
        if (LookupMember(*p, job.file, n, &record)) chosen.push_back(record);
        else Fail(job, "", "no member named " + n);
      }
      members = chosen;
    }
    members.erase(std::remove_if(members.begin(), members.end(), [&](const Member& m) { return !Wanted(o, m); }),
                  members.end());
    if (o.toStdout) {
      ToStandardOutput(job, *p, members, !job.session.memberNames.empty());
      return;
    }
    if (!MakeFolderFor(job, "", outFolder)) return;
    uint64_t bytes = 0;
    for (const Member& m : members) bytes += m.filesize;
    BeginProgress(job, members.size(), bytes);
    for (const Member& m : members) {
      if (Interrupted() || job.stopped) break;
      ExtractMember(job, *p, m, outFolder);
      StepProgress(job);
    }
    FlushPictures(job);
  }();
  if (o.json) job.out = (job.index ? ",\n" : "") + JobJson(job, plugin, found);
}

}  // namespace

std::string CheckExtractOptions(const Options& o) {
  if (o.toStdout && (o.png || !o.output.empty() || o.json)) return "--stdout goes with neither --png, -o nor --json";
  if (o.toStdout && o.operands.size() > 2) return "--stdout writes one member; name at most one";
  return {};
}

int RunExtract(Session& s) {
  const Options& o = s.options;
  // The first operand is an input; later ones are inputs when they are files
  // on disk, else names of members to pick.
  s.inputs = {o.operands[0]};
  for (size_t i = 1; i < o.operands.size(); ++i) {
    const std::string& a = o.operands[i];
    if (FileExists(a) && !utf8::IsDirectory(a)) s.inputs.push_back(a);
    else s.memberNames.push_back(a);
  }
  if (o.toStdout && s.inputs.size() > 1) {
    FailRun(s, "--stdout writes one member of one file");
    return ExitUsage;
  }
  if (o.json) PrintOut(s, "[\n");
  RunJobs(s, s.inputs, ExtractInput);
  if (o.json) PrintOut(s, "\n]\n");
  if (!o.toStdout) {
    ClearBar();
    std::fprintf(stderr, "spihost: %zu file%s, %zu member%s and %zu PNG%s written; %zu failed\n",
                 s.filesDone, s.filesDone == 1 ? "" : "s", s.membersWritten, s.membersWritten == 1 ? "" : "s",
                 s.pngsWritten, s.pngsWritten == 1 ? "" : "s", s.failures);
  }
  return s.status;
}

}  // namespace spihost
