// spihost list FILE... [--json] [--only EXT,...]
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "resources.h"
#include "support.h"

namespace spihost {
namespace {

std::string SizesJson(const PictureSize& p) {
  return "\"width\": " + std::to_string(p.width) + ", \"height\": " + std::to_string(p.height) +
         ", \"depth\": " + std::to_string(p.depth);
}

std::string MemberJson(Job& job, const LoadedPlugin& p, const Member& m) {
  std::string j = "{\"path\": " + Json(PathOf(m)) + ", \"name\": " + Json(NameOf(m)) +
                  ", \"size\": " + std::to_string(m.filesize) + ", \"packed\": " + std::to_string(m.compsize) +
                  ", \"position\": " + std::to_string(m.position) + ", \"method\": " + Json(MethodOf(m));
  // What the member shows, as the image plug-ins see it.
  std::vector<uint8_t> bytes;
  const InputAt in = JobInput(job, m.position);
  if (MemberToMemory(job, p, in.source, in.length, in.kind, m, &bytes) == ResultOk) {
    std::vector<PictureSize> sizes = DescribeMember(job, bytes, NameOf(m));
    if (sizes.size() == 1 && sizes[0].name.empty()) {
      j += ", " + SizesJson(sizes[0]);
    } else if (!sizes.empty()) {
      j += ", \"images\": [";
      for (size_t k = 0; k < sizes.size(); ++k)
        j += (k ? ", " : "") + std::string("{\"name\": ") + Json(sizes[k].name) + ", " + SizesJson(sizes[k]) + "}";
      j += "]";
    }
  }
  return j + "}";
}

std::string Table(const Job& job, const LoadedPlugin& p, const std::vector<Member>& members) {
  std::string t;
  char line[1024];
  std::snprintf(line, sizeof line, "%s: %s (%s), %zu member%s\n", job.file.c_str(), p.file.c_str(),
                p.kind.c_str(), members.size(), members.size() == 1 ? "" : "s");
  t += line;
  if (members.empty()) return t;
  size_t width = 4;
  for (const Member& m : members) width = std::max(width, ShownName(m).size());
  std::snprintf(line, sizeof line, "  %-*s %10s %10s %10s  %s\n", static_cast<int>(width), "Name", "Size",
                "Packed", "Position", "Method");
  t += line;
  for (const Member& m : members) {
    std::snprintf(line, sizeof line, "  %-*s %10llu %10llu %10llu  %s\n", static_cast<int>(width),
                  ShownName(m).c_str(), static_cast<unsigned long long>(m.filesize),
                  static_cast<unsigned long long>(m.compsize),
                  static_cast<unsigned long long>(m.position), MethodOf(m).c_str());
    t += line;
  }
  return t;
}

void ListInput(Job& job) {
  const Options& o = job.session.options;
  std::string entry;
  Candidates c;
  std::string why;
  bool executable = false;
  const std::string head = "{\"file\": " + Json(SlashPath(job.file));
  if (!CandidatesForFile(job.session.plugins, job.file, &c, &why, &executable)) {
    Fail(job, "", why);
    entry = head + ", \"error\": " + Json(why) + "}";
  } else if (!c.archives().empty()) {
    HeldInput held(job);
    const InputAt in = JobInput(job, 0);
    std::vector<Member> members;
    if (const LoadedPlugin* p = ListArchive(job, c.archives(), in.source, in.length, in.kind, "", &members)) {
      const std::string found = ReportResources(job, InspectResources(job, *p, members));
      members.erase(std::remove_if(members.begin(), members.end(), [&](const Member& m) { return !Wanted(o, m); }),
                    members.end());
      if (!o.json) job.out += Table(job, *p, members);
      entry = head + ", \"plugin\": " + Json(p->file) + ", \"kind\": \"00AM\"" + found + ", \"members\": [";
      if (o.json) {
        for (size_t k = 0; k < members.size() && !Interrupted(); k++)
          entry += (k ? ",\n    " : "\n    ") + MemberJson(job, *p, members[k]);
      }
      entry += "]}";
    } else {
      entry = head + ", \"error\": " + Json(job.failed.empty() ? "cannot list" : job.failed.back().second) + "}";
    }
  } else if (!c.images().empty()) {
    const LoadedPlugin& p = *c.images().front();
    PictureInfo info{};
    int r = !p.plugin.getPictureInfo
                ? static_cast<int>(ResultNotImplemented)
                : CallWithPath(
                      job.file, p.plugin.getPictureInfoW != nullptr,
                      [&](const char* f) { return p.plugin.getPictureInfo(f, 0, InputFile, &info); },
                      [&](const SpiWChar* f) { return p.plugin.getPictureInfoW(f, 0, InputFile, &info); });
    if (r == ResultOk) {
      if (info.hInfo) SpiFreeBlock(info.hInfo);
      char line[1024];
      std::snprintf(line, sizeof line, "%s: %s (%s), picture %d x %d, %d bits\n", job.file.c_str(),
                    p.file.c_str(), p.kind.c_str(), info.width, info.height, info.colorDepth);
      if (!o.json) job.out += line;
      entry = head + ", \"plugin\": " + Json(p.file) + ", \"kind\": \"00IN\", \"picture\": {" +
              SizesJson(PictureSize{"", info.width, info.height, info.colorDepth}) + "}}";
    } else {
      FailResult(job, "", p, r);
      entry = head + ", \"error\": " + Json(ResultText(r)) + "}";
    }
  } else {
    why = NobodyTakes(executable);
    Fail(job, "", why);
    entry = head + ", \"error\": " + Json(why) + "}";
  }
  if (o.json) job.out = (job.index ? ",\n  " : "  ") + entry;
}

}  // namespace

int RunList(Session& s) {
  if (s.options.json) PrintOut(s, "[\n");
  RunJobs(s, s.options.operands, ListInput);
  if (s.options.json) PrintOut(s, "\n]\n");
  return s.status;
}

}  // namespace spihost
