// Lists and extracts every member of one executable through Pelorin's exports,
// as a viewer would, and prints the times (wall and processor) of each phase
// and the peak memory of the process.
//   pelorin_bench <Pelorin.spi> <executable> <output folder> [rounds]
// Phases: the listing; the listed members; every data entry by its index (the
// first position that answers 3 ends it); the listing and the listed members
// again through the Unicode (W) exports. The best round of each is printed.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/host.h"

namespace {

struct Clock {
  std::chrono::steady_clock::time_point wall;
  double cpu;
};

double ProcessorSeconds() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Clock Now() { return {std::chrono::steady_clock::now(), ProcessorSeconds()}; }

struct Best {
  double wall = 1e9, cpu = 1e9;
  void Take(const Clock& since) {
    wall = std::min(wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - since.wall).count());
    cpu = std::min(cpu, ProcessorSeconds() - since.cpu);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s Pelorin.spi executable outdir [rounds]\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  host::Plugin plugin;
  std::string error;
  if (!host::LoadPlugin(argv[1], &plugin, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::vector<fileInfo> list;
  Best listing, members, every, wideListing, wideMembers;
  // The executable's and the folder's UTF-16 names (ours are ASCII).
  const std::string exe = argv[2];
  const std::basic_string<SpiWChar> wideExe(exe.begin(), exe.end());
  uint32_t entries = 0;
  for (int r = 0; r < rounds; ++r) {
    Clock start = Now();
    SpiHandle block = nullptr;
    int result = plugin.getArchiveInfo(argv[2], 0, InputFile, &block);
    if (result != 0) {
      std::fprintf(stderr, "GetArchiveInfo: %d\n", result);
      return 1;
    }
    list = host::TakeEntryList(block);
    listing.Take(start);

    start = Now();
    for (const fileInfo& f : list) {
      // Members of several languages share a name; each lands in a folder of its position.
      const std::string dir = std::string(argv[3]) + "/" + std::to_string(f.position);
      const int r2 = plugin.getFile(argv[2], static_cast<int32_t>(f.position),
                                    const_cast<char*>(dir.c_str()), InputFile, nullptr, 0);
      // A name with a separator in it names a folder that does not exist: 9, as a viewer sees it.
      if (r2 != 0) std::fprintf(stderr, "GetFile %s%s: %d\n", f.path, f.filename, r2);
    }
    members.Take(start);

    // Every data entry by its index, listed or not, into one folder as wrestool -x
    // writes every resource (entries of the same name replace each other).
    start = Now();
    uint32_t position = 0;
    const std::string dir = std::string(argv[3]) + "/all";
    for (;; ++position) {
      const int r3 = plugin.getFile(argv[2], static_cast<int32_t>(position),
                                    const_cast<char*>(dir.c_str()), InputFile, nullptr, 0);
      if (r3 == ResultBrokenData) break;  // past the last data entry
    }
    entries = position;
    every.Take(start);

    if (!plugin.getArchiveInfoW || !plugin.getFileW) continue;
    start = Now();
    block = nullptr;
    if (plugin.getArchiveInfoW(wideExe.c_str(), 0, InputFile, &block) != 0) return 1;
    const std::vector<fileInfoW> wide = host::TakeEntryListW(block);
    wideListing.Take(start);
    start = Now();
    for (const fileInfoW& f : wide) {
      const std::string d = std::string(argv[3]) + "/w" + std::to_string(f.position);
      const std::basic_string<SpiWChar> wideDir(d.begin(), d.end());
      plugin.getFileW(wideExe.c_str(), static_cast<SpiLength>(f.position),
                      const_cast<SpiWChar*>(wideDir.c_str()), InputFile, nullptr, 0);
    }
    wideMembers.Take(start);
  }
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("members %zu\nentries %u\n", list.size(), entries);
  std::printf("list_wall %.6f\nlist_cpu %.6f\n", listing.wall, listing.cpu);
  std::printf("members_wall %.6f\nmembers_cpu %.6f\n", members.wall, members.cpu);
  std::printf("every_wall %.6f\nevery_cpu %.6f\n", every.wall, every.cpu);
  std::printf("list_w_wall %.6f\nlist_w_cpu %.6f\n", wideListing.wall, wideListing.cpu);
  std::printf("members_w_wall %.6f\nmembers_w_cpu %.6f\n", wideMembers.wall, wideMembers.cpu);
  std::printf("peak_kb %ld\n", usage.ru_maxrss);
  host::UnloadPlugin(&plugin);
  return 0;
}
