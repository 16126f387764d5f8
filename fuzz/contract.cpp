// The contract driver: every export a viewer calls, on one input, with the
// promises a host relies on checked. The fuzz targets and the hostile-input
// tests both drive the plug-ins through it.
#include "fuzz/harness.h"
#include "framework/spi.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace fuzz {

namespace {

BrokenHandler brokenHandler = nullptr;

// A broken promise is a finding: stop the run the way a crash does, unless a
// test asked to hear of it.
[[noreturn]] void Broken(const char* what, int result) {
  if (brokenHandler) brokenHandler(what, result);
  std::fprintf(stderr, "\n*** broken promise: %s (result %d)\n", what, result);
  std::abort();
}
void Check(bool ok, const char* what, int result = 0) {
  if (!ok) Broken(what, result);
}

}  // namespace

bool IsResultCode(int r) {
  switch (r) {
    case ResultOk: case ResultAborted: case ResultNotSupported: case ResultBrokenData:
    case ResultNoMemory: case ResultMemoryError: case ResultReadError:
    case ResultInternalError: case ResultWriteError: case ResultNotImplemented:
      return true;
    default:
      return false;
  }
}

namespace {

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

// Scratch space on a RAM disk where there is one: input files, output folders.
struct Scratch {
  std::string root;
  std::string input;    // the input file of this run
  std::string outer;    // a folder that only ever holds `middle`
  std::string middle;   // a folder that only ever holds `dest`
  std::string dest;     // the destination folder of GetFile
};

void RemoveScratch();

Scratch& TheScratch() {
  static Scratch s = [] {
    Scratch x;
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
      fs::path p = base / ("spi-fuzz-" + std::to_string(stamp) + "-" + std::to_string(serial++));
      if (fs::create_directory(p, ec)) {
        x.root = p.string();
        break;
      }
      Check(!ec || ec == std::errc::file_exists, "scratch folder");
    }
    x.input = x.root + "/input.bin";
    x.outer = x.root + "/out";
    x.middle = x.outer + "/a";
    x.dest = x.middle + "/dest";
    fs::create_directories(x.middle, ec);
    return x;
  }();
  // Registered after s is built, so that it runs before s is destroyed.
  static const bool removeAtExit = std::atexit(RemoveScratch) == 0;
  (void)removeAtExit;
  return s;
}

void RemoveScratch() { RemoveTree(TheScratch().root); }

std::vector<std::string> List(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  return names;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string WriteInput(const uint8_t* data, size_t size, uint32_t offset) {
  const std::string& path = TheScratch().input;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  static const char junk[8] = {'j', 'u', 'n', 'k', '!', 0, 0, 0};
  out.write(junk, offset);
  if (size) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  Check(static_cast<bool>(out), "input file written");
  return path;
}

// IsSupported with an open handle of the file, as a viewer that opened it.
int TestWithHandle(const host::Plugin& p, const std::string& path) {
#ifdef _WIN32
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  Check(h != INVALID_HANDLE_VALUE, "input file reopened");
  int r = p.isSupported(path.c_str(), reinterpret_cast<uintptr_t>(h));
  CloseHandle(h);
#else
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  Check(fd >= 0 && fd < 65536, "input file reopened");
  int r = p.isSupported(path.c_str(), static_cast<uintptr_t>(fd));
  close(fd);
#endif
  return r;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The progress callback: counts calls; asks to stop on the second when told to.
int progressCalls = 0;
bool abortOnSecond = false;
int SPI_CALL Progress(int, int, SpiUserValue) {
  ++progressCalls;
  return abortOnSecond && progressCalls == 2 ? 1 : 0;
}

ProgressCallback ProgressFor(uint8_t control) {
  progressCalls = 0;
  abortOnSecond = (control & ControlAbort) != 0;
  return (control & ControlNoProgress) ? nullptr : Progress;
}

// Answers IsSupported's on the first bytes in memory.
int FormatTests(const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size,
                const std::string& path) {
  // The information strings (one depends on a setting), cut to a buffer of any length.
  if (p.getPluginInfo) {
    char buffer[300];
    int length = 1 + static_cast<int>(size % 299);
    for (int index = -1; index <= 4; ++index) {
      std::memset(buffer, 0x5A, sizeof buffer);
      int n = p.getPluginInfo(index, buffer, length);
      if (index < 0 || index > 3) {
        Check(n == 0 && buffer[0] == 0x5A, "GetPluginInfo out of range leaves the buffer", n);
      } else {
        Check(n >= 0 && n < length && buffer[n] == 0 && buffer[length] == 0x5A,
              "GetPluginInfo stays within the buffer", n);
      }
    }
  }
  if (p.configurationDlg) {
    int r = p.configurationDlg(nullptr, 0);
    Check(r == ResultNotImplemented, "ConfigurationDlg of an unknown function", r);
  }
  if (!p.isSupported) return 0;
  int headTest = 0;
  if (size > 0) {
    // A viewer hands over the first 2 KB it read.
    host::GuardedBuffer head(data, std::min<size_t>(size, 2048));
    headTest = p.isSupported("fuzz", reinterpret_cast<uintptr_t>(head.data()));
  }
  if (control & ControlFromFile) TestWithHandle(p, path);
  return headTest;
}

// Extractions into a folder per input: each one creates and removes files.
constexpr size_t MaxDirectoryExtractions = 2;

// Extracts to the destination folder and checks that exactly the member (on
// success) or nothing at all (on failure) is left there, and nothing beside it.
// With wideSource, through GetFileW and the folder's UTF-16 name.
// The UTF-16 form of a path of ours (ASCII).
using WideText = std::basic_string<SpiWChar>;
WideText Widen(const std::string& s) { return WideText(s.begin(), s.end()); }

bool IsAscii(const SpiWChar* s, size_t n) {
  for (size_t i = 0; i < n && s[i]; ++i)
    if (s[i] >= 0x80) return false;
  return true;
}

void ExtractToDirectory(const host::Plugin& p, const char* source, SpiLength length, unsigned flags,
                        uint8_t control, const fileInfo* listed, const std::vector<uint8_t>* inMemory,
                        const SpiWChar* wideSource = nullptr) {
  const Scratch& s = TheScratch();
  ProgressCallback progress = ProgressFor(control);
  const WideText wideDest = Widen(s.dest);
  int r = wideSource ? p.getFileW(wideSource, length, const_cast<SpiWChar*>(wideDest.c_str()),
                                  flags | (OutputFile << 8), progress, 7)
                     : p.getFile(source, length, const_cast<char*>(s.dest.c_str()),
                                 flags | (OutputFile << 8), progress, 7);
  Check(IsResultCode(r), "GetFile to a folder: result code", r);
  std::vector<std::string> left = List(s.dest);
  if (r == ResultOk) {
    Check(left.size() == 1, "GetFile to a folder: exactly the member is written", r);
    std::string target = s.dest + "/" + left[0];
    std::error_code ec;
    Check(fs::is_regular_file(target, ec), "GetFile: member is a file", r);
    const uint64_t fileSize = fs::file_size(target, ec);
    if (listed) Check(fileSize == listed->filesize, "GetFile: file size is the listed filesize", r);
    if (inMemory && listed && listed->filesize <= inMemory->size()) {
      const std::vector<uint8_t> onDisk = ReadAll(target);
      Check(onDisk.size() == fileSize && std::equal(onDisk.begin(), onDisk.end(), inMemory->begin()),
            "GetFile: the member on disk equals the member in memory", r);
    }
  } else {
    Check(left.empty(), "GetFile to a folder failed: no temporary file and no new empty target left", r);
  }
  // A member name must never place a file outside the destination. A known
  // case can be let through (SPI_FUZZ_ALLOW_ESCAPE=1) so a campaign goes on.
  static const bool allowEscape = std::getenv("SPI_FUZZ_ALLOW_ESCAPE") != nullptr;
  bool inside = List(s.outer).size() == 1 && List(s.middle).size() <= 1;
  Check(inside || allowEscape, "GetFile: nothing written outside the destination folder", r);
  if (!inside) {
    for (const std::string& name : List(s.outer))
      if (name != "a") RemoveTree(s.outer + "/" + name);
    for (const std::string& name : List(s.middle))
      if (name != "dest") RemoveTree(s.middle + "/" + name);
  }
  for (const std::string& name : left) RemoveTree(s.dest + "/" + name);
}

// GetFile to memory: a block of max(filesize, 2048) bytes on success, a null slot on failure.
// With wideSource, through GetFileW.
std::vector<uint8_t> ExtractToMemory(const host::Plugin& p, const char* source, SpiLength length,
                                     unsigned flags, uint8_t control, const fileInfo* listed,
                                     int* result, const SpiWChar* wideSource = nullptr) {
  SpiHandle slot = nullptr;
  ProgressCallback progress = ProgressFor(control);
  int r = wideSource ? p.getFileW(wideSource, length, &slot, flags | (OutputMemory << 8), progress, 7)
                     : p.getFile(source, length, &slot, flags | (OutputMemory << 8), progress, 7);
  *result = r;
  Check(IsResultCode(r), "GetFile to memory: result code", r);
  if (r != ResultOk) {
    Check(slot == nullptr, "GetFile to memory failed: slot null", r);
    return {};
  }
  Check(slot != nullptr, "GetFile to memory: a block", r);
  size_t blockSize = SpiBlockSize(slot);
  if (listed) {
    Check(blockSize == std::max<size_t>(listed->filesize, 2048), "GetFile to memory: block size", r);
  }
  return host::TakeBlock(slot, listed ? listed->filesize : SIZE_MAX);
}

bool Terminated(const char* s, size_t n) { return std::memchr(s, 0, n) != nullptr; }

// One input as a host hands it over, after the format tests have seen it: a
// file (the data `offset` bytes in) or a memory image at the very end of
// readable memory, so that an over-read faults.
struct HostInput {
  HostInput(const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size)
      : fromFile(control & ControlFromFile),
        offset(fromFile && (control & ControlOffset) ? 5 : 0),
        path(fromFile ? WriteInput(data, size, offset) : std::string()),
        mem(data, size),
        kind(fromFile ? InputFile : InputMemory),
        source(fromFile ? path.c_str() : mem.source()),
        length(static_cast<int32_t>(fromFile ? offset : size)),
        headTest(FormatTests(p, control, data, size, path)) {}
  const bool fromFile;
  const uint32_t offset;
  const std::string path;
  const host::GuardedBuffer mem;
  const unsigned kind;
  const char* const source;
  const SpiLength length;  // the length argument: the offset for a file, else the size
  const int headTest;
};

}  // namespace

std::string ScratchFolder() { return TheScratch().root; }

void SetBrokenHandler(BrokenHandler handler) { brokenHandler = handler; }

void CheckHeadTest(int headTest, bool (*mayTake)(ByteView head), const uint8_t* data, size_t size) {
  Check(headTest == 0 || mayTake(ByteView{data, size}), "IsSupported took what its head test refuses", headTest);
}

int TestFile(const host::Plugin& p, const uint8_t* data, size_t size) {
  return TestWithHandle(p, WriteInput(data, size, 0));
}

int ExtractFromMemory(const host::Plugin& p, const uint8_t* data, size_t size, size_t position,
                      std::vector<uint8_t>* member) {
  if (position > size) return -100;
  host::GuardedBuffer mem(data, size);
  int r;
  std::vector<uint8_t> bytes = ExtractToMemory(p, mem.source() + position,
                                               static_cast<SpiLength>(size - position), InputMemory,
                                               ControlNoProgress, nullptr, &r);
  if (member) *member = std::move(bytes);
  return r;
}

// The Unicode forms on the same input answer as the plain ones: the same
// result, the same members with the same numbers (and the same names where
// both are ASCII), every name found again by GetFileInfoW, the same bytes
// from GetFileW.
void DriveArchiveWide(const host::Plugin& p, uint8_t control, const HostInput& in, size_t size,
                      int listResult, const std::vector<fileInfo>& entries,
                      const std::vector<size_t>& chosen) {
  Check(p.getArchiveInfoW && p.getFileInfoW && p.getFileW, "Unicode archive exports");
  const WideText widePath = Widen(in.path);
  const SpiWChar* source =
      in.fromFile ? widePath.c_str() : reinterpret_cast<const SpiWChar*>(in.mem.source());
  SpiHandle list = nullptr;
  int r = p.getArchiveInfoW(source, in.length, in.kind, &list);
  Check(r == listResult, "GetArchiveInfoW answers as GetArchiveInfo", r);
  Check((r == ResultOk) == (list != nullptr), "GetArchiveInfoW: a list exactly on success", r);
  if (r != ResultOk) return;
  Check(SpiBlockSize(list) % sizeof(fileInfoW) == 0, "GetArchiveInfoW: whole records");
  std::vector<fileInfoW> wide = host::TakeEntryListW(list);
  Check(wide.size() == entries.size(), "GetArchiveInfoW: as many members", r);
  for (size_t k : chosen) {
    const fileInfo& n = entries[k];
    const fileInfoW& w = wide[k];
    Check(std::memcmp(n.method, w.method, 8) == 0 && n.position == w.position &&
              n.compsize == w.compsize && n.filesize == w.filesize && w.timestamp == 0 && w.crc == 0,
          "fileInfoW: the numbers of fileInfo");
    // Only the 64-bit record has padding; the 32-bit one ends at its crc.
    if (sizeof w == 848) {
      const uint8_t* raw = reinterpret_cast<const uint8_t*>(&w);
      Check(raw[844] == 0 && raw[845] == 0 && raw[846] == 0 && raw[847] == 0, "fileInfoW: padding is 0");
    }
    const WideText path(w.path, std::find(w.path, w.path + 200, 0));
    const WideText name(w.filename, std::find(w.filename, w.filename + 200, 0));
    Check(path.size() < 200 && name.size() < 200, "fileInfoW: names end within their fields");
    if (IsAscii(w.filename, 200) && IsAscii(w.path, 200) && std::strlen(n.filename) < 190)
      Check(Widen(n.path) == path && Widen(n.filename) == name, "fileInfoW: the ASCII names of fileInfo");
    if (k == chosen[size % chosen.size()]) {
      fileInfoW found;
      const WideText key = path + name;
      unsigned flags = in.kind | ((control & ControlIgnoreCase) ? IgnoreCase : 0);
      r = p.getFileInfoW(source, in.length, key.c_str(), flags, &found);
      Check(r == ResultOk, "GetFileInfoW finds every listed name", r);
      // The first member of that name answers, which need not be this one.
      WideText got(found.path, std::find(found.path, found.path + 200, 0));
      got.append(found.filename, std::find(found.filename, found.filename + 200, 0));
      auto fold = [](WideText t) {
        for (SpiWChar& c : t)
          if (c >= 'A' && c <= 'Z') c = static_cast<SpiWChar>(c - 'A' + 'a');
        return t;
      };
      Check((control & ControlIgnoreCase) ? fold(got) == fold(key) : got == key,
            "GetFileInfoW: the record bears the requested name");
    }
    const char* memberSource = in.source;
    const SpiWChar* wideMember = source;
    SpiLength memberLength = static_cast<SpiLength>(n.position);
    if (!in.fromFile) {
      if (n.position > size) continue;
      memberSource = in.mem.source() + n.position;
      wideMember = reinterpret_cast<const SpiWChar*>(memberSource);
      memberLength = static_cast<SpiLength>(size - n.position);
    }
    int rn, rw;
    const std::vector<uint8_t> a = ExtractToMemory(p, memberSource, memberLength, in.kind, control, &n, &rn);
    const std::vector<uint8_t> b =
        ExtractToMemory(p, memberSource, memberLength, in.kind, control, &n, &rw, wideMember);
    Check(rn == rw && a == b, "GetFileW hands over what GetFile does", rw);
    if ((control & ControlToDirectory) && k == chosen.front())
      ExtractToDirectory(p, memberSource, memberLength, in.kind, control, &n,
                         rw == ResultOk && !(control & ControlAbort) ? &b : nullptr, wideMember);
  }
}

void DriveArchive(const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size,
                  ArchiveReport* report, const Reach& reach) {
  Check(p.getArchiveInfo && p.getFileInfo && p.getFile, "archive exports");
  const HostInput in(p, control, data, size);
  const bool fromFile = in.fromFile;
  const uint32_t offset = in.offset;
  const host::GuardedBuffer& mem = in.mem;
  const unsigned kind = in.kind;
  const char* source = in.source;
  const SpiLength length = in.length;

  SpiHandle list = nullptr;
  int r = p.getArchiveInfo(source, length, kind, &list);
  const int listResult = r;
  Check(IsResultCode(r), "GetArchiveInfo: result code", r);
  Check((r == ResultOk) == (list != nullptr), "GetArchiveInfo: a list exactly on success", r);
  std::vector<fileInfo> entries = r == ResultOk ? host::TakeEntryList(list) : std::vector<fileInfo>();
  if (report) {
    report->headTest = in.headTest;
    report->list = listResult;
    report->entries = entries;
    report->extract.clear();
    report->lookup.clear();
  }
  // A file that cannot be opened and an unknown input kind fail like broken
  // data: the slot holds a null handle, whatever it held before.
  for (unsigned badKind : {unsigned{InputFile}, 2u}) {
    const std::string bad = TheScratch().root + "/missing.bin";
    SpiHandle stale = reinterpret_cast<SpiHandle>(uintptr_t{0x5A5A0});
    r = p.getArchiveInfo(badKind == InputFile ? bad.c_str() : source, length, badKind, &stale);
    Check(r != ResultOk && IsResultCode(r) && stale == nullptr, "GetArchiveInfo of no input: a null slot", r);
  }

  size_t toDirectory = 0;
  std::vector<size_t> chosen;
  for (size_t k = 0; k < entries.size() && k + 1 < reach.members; ++k) chosen.push_back(k);
  if (!entries.empty() && chosen.size() < entries.size()) chosen.push_back(entries.size() - 1);
  for (size_t k : chosen) {
    const fileInfo& e = entries[k];
    Check(e.timestamp == 0 && e.crc == 0, "fileInfo: timestamp and crc are 0");
    // The 64-bit record ends in four zero bytes.
    if (sizeof e == 448) {
      const uint8_t* raw = reinterpret_cast<const uint8_t*>(&e);
      Check(raw[444] == 0 && raw[445] == 0 && raw[446] == 0 && raw[447] == 0, "fileInfo: padding is 0");
    }
    Check(Terminated(e.path, sizeof e.path) && Terminated(e.filename, sizeof e.filename),
          "fileInfo: path and filename end within their fields");
    Check(!fromFile || e.position >= offset, "fileInfo: position counts from the file start");

    std::string name = std::string(e.path) + e.filename;
    // Lookups of the first and the last member: a lookup walks the listing anew.
    // One lookup per input, of a member the input's size picks.
    bool lookUp = reach.lookUpEach || k == chosen[size % chosen.size()];
    if (lookUp && name.size() <= 259) {
      fileInfo found;
      unsigned flags = kind | ((control & ControlIgnoreCase) ? IgnoreCase : 0);
      r = p.getFileInfo(source, length, name.c_str(), flags, &found);
      if (report) report->lookup.push_back(r);
      Check(r == ResultOk, "GetFileInfo finds every listed name", r);
      std::string key = std::string(found.path) + found.filename;
      Check((control & ControlIgnoreCase) ? SameIgnoringCase(key, name) : key == name,
            "GetFileInfo: the record bears the requested name");
    }

    // The host hands the position back: with memory input, as an address within its block.
    const char* memberSource = source;
    SpiLength memberLength = static_cast<SpiLength>(e.position);
    if (!fromFile) {
      Check(e.position <= size, "fileInfo: a position within the memory input");
      memberSource = mem.source() + e.position;
      memberLength = static_cast<SpiLength>(size - e.position);
    }
    std::vector<uint8_t> member = ExtractToMemory(p, memberSource, memberLength, kind, control, &e, &r);
    if (report) report->extract.push_back(r);
    // An abort only comes from the callback; without one, a listed member must come out
    // unless its bytes lie outside the input.
    if ((control & ControlNoProgress)) Check(r != ResultAborted, "GetFile aborted without a callback", r);
    if ((control & ControlToDirectory) && toDirectory < MaxDirectoryExtractions) {
      ++toDirectory;
      ExtractToDirectory(p, memberSource, memberLength, kind, control, &e,
                         r == ResultOk && !(control & ControlAbort) ? &member : nullptr);
    }
  }

  // A position no listing gave: the backward searches must stay within the input.
  if (size >= 2) {
    uint32_t pos = (data[size - 1] | (data[size - 2] << 8)) % static_cast<uint32_t>(size + 1);
    int ignored;
    if (fromFile) {
      ExtractToMemory(p, source, static_cast<SpiLength>(pos + offset), kind, control, nullptr, &ignored);
    } else {
      ExtractToMemory(p, mem.source() + pos, static_cast<int32_t>(size - pos), kind, control, nullptr,
                      &ignored);
    }
  }
  fileInfo missing;
  r = p.getFileInfo(source, length, "\x01no such member", kind, &missing);
  Check(r != ResultOk && IsResultCode(r), "GetFileInfo of a name never listed", r);
  // Every other input drives the Unicode forms as well.
  if (size & 1) DriveArchiveWide(p, control, in, size, listResult, entries, chosen);
}

void DrivePicture(const host::Plugin& p, uint8_t control, const uint8_t* data, size_t size,
                  PictureReport* report) {
  Check(p.getPictureInfo && p.getPicture, "picture exports");
  const HostInput in(p, control, data, size);
  const unsigned kind = in.kind;
  const char* source = in.source;
  const SpiLength position = in.length;

  PictureInfo info;
  std::memset(&info, 0xA5, sizeof info);
  int ri = p.getPictureInfo(source, position, kind, &info);
  if (report) {
    *report = PictureReport();
    report->headTest = in.headTest;
    report->info = ri;
    report->record = info;
  }
  Check(IsResultCode(ri), "GetPictureInfo: result code", ri);
  if (ri == ResultOk) {
    Check(info.left == 0 && info.top == 0 && info.x_density == 1 && info.y_density == 1 &&
              info.hInfo == nullptr,
          "PictureInfo: fixed fields");
    // The 64-bit record's two bytes after the depth are zero, whatever the host left there.
    if (sizeof info == 32) {
      const uint8_t* raw = reinterpret_cast<const uint8_t*>(&info);
      Check(raw[22] == 0 && raw[23] == 0, "PictureInfo: padding is 0");
    }
  }

  SpiHandle infoBlock = nullptr, bitsBlock = nullptr;
  ProgressCallback progress = ProgressFor(control & ~ControlAbort);
  int r = p.getPicture(source, position, kind, &infoBlock, &bitsBlock, progress, 3);
  if (report) report->picture = r;
  Check(IsResultCode(r), "GetPicture: result code", r);
  if (r == ResultOk) {
    Check(ri == ResultOk, "GetPicture succeeds only where GetPictureInfo does", r);
    Check(infoBlock && bitsBlock, "GetPicture: both blocks", r);
    std::vector<uint8_t> header = host::TakeBlock(infoBlock);
    std::vector<uint8_t> bits = host::TakeBlock(bitsBlock);
    if (report) {
      report->infoBlock = header;
      report->bitsBlock = bits;
    }
    Check(header.size() >= 40, "GetPicture: information block holds its header", r);
    int32_t width, height;
    uint16_t depth;
    std::memcpy(&width, &header[4], 4);
    std::memcpy(&height, &header[8], 4);
    std::memcpy(&depth, &header[14], 2);
    Check(width == info.width && height == info.height && depth == info.colorDepth,
          "GetPicture: header agrees with GetPictureInfo", r);
    size_t entries = depth == 1 ? 2 : depth == 4 ? 16 : depth == 8 ? 256 : 0;
    Check(header.size() == 40 + 4 * entries, "GetPicture: information block size", r);
    uint64_t stride = ((uint64_t(uint32_t(width)) * depth + 7) / 8 + 3) & ~uint64_t{3};
    Check(bits.size() == stride * uint32_t(height), "GetPicture: bits block size", r);
    if (progress) Check(progressCalls == 2, "GetPicture: progress called twice on success", r);
  } else {
    Check(infoBlock == nullptr && bitsBlock == nullptr, "GetPicture failed: no block left", r);
  }
  if (p.getPictureAlpha) {
    // The picture as shown: the same choice, as 32-bit rows or as the stored PNG.
    for (unsigned options : {0u, static_cast<unsigned>(SpiKeepEncoded)}) {
      SpiHandle a = nullptr, b = nullptr;
      int ra = p.getPictureAlpha(source, position, kind, options, &a, &b, progress, 3);
      Check(IsResultCode(ra), "GetPictureAlpha: result code", ra);
      if (report && options == 0) report->alpha = ra;
      if (ra != ResultOk) {
        Check(!a && !b, "GetPictureAlpha failed: no block left", ra);
        continue;
      }
      Check(ri == ResultOk, "GetPictureAlpha succeeds only where GetPictureInfo does", ra);
      Check(a && b, "GetPictureAlpha: both blocks", ra);
      std::vector<uint8_t> header = host::TakeBlock(a);
      std::vector<uint8_t> bits = host::TakeBlock(b);
      Check(header.size() == 40, "GetPictureAlpha: a bare header", ra);
      int32_t width, height;
      uint32_t compression, imageSize;
      std::memcpy(&width, &header[4], 4);
      std::memcpy(&height, &header[8], 4);
      std::memcpy(&compression, &header[16], 4);
      std::memcpy(&imageSize, &header[20], 4);
      Check(width == info.width && height == info.height, "GetPictureAlpha: size agrees", ra);
      if (compression == SpiCompressionPng) {
        Check(options & SpiKeepEncoded, "GetPictureAlpha: PNG only when asked", ra);
        Check(imageSize == bits.size() && bits.size() >= 8 && bits[0] == 0x89 && bits[1] == 'P',
              "GetPictureAlpha: the PNG file whole", ra);
      } else {
        Check(compression == 0 && header[14] == 32, "GetPictureAlpha: 32-bit rows", ra);
        Check(bits.size() == uint64_t{4} * uint32_t(width) * uint32_t(height),
              "GetPictureAlpha: bits block size", ra);
      }
    }
  }
  if (p.getPreview) {
    SpiHandle a = nullptr, b = nullptr;
    int rp = p.getPreview(source, position, kind, &a, &b, nullptr, 0);
    Check(rp == ResultNotImplemented && !a && !b, "GetPreview: not implemented", rp);
  }
  // Every other input: the Unicode forms hand over the same picture.
  if (size & 1) {
    Check(p.getPictureInfoW && p.getPictureW && p.getPictureAlphaW, "Unicode picture exports");
    const WideText widePath = Widen(in.path);
    const SpiWChar* wide =
        in.fromFile ? widePath.c_str() : reinterpret_cast<const SpiWChar*>(in.mem.source());
    PictureInfo wideInfo;
    std::memset(&wideInfo, 0xA5, sizeof wideInfo);
    int rw = p.getPictureInfoW(wide, position, kind, &wideInfo);
    Check(rw == ri && (ri != ResultOk || std::memcmp(&wideInfo, &info, sizeof info) == 0),
          "GetPictureInfoW answers as GetPictureInfo", rw);
    for (bool alpha : {false, true}) {
      SpiHandle a = nullptr, b = nullptr, c = nullptr, d = nullptr;
      int rn = alpha ? p.getPictureAlpha(source, position, kind, SpiKeepEncoded, &a, &b, nullptr, 0)
                     : p.getPicture(source, position, kind, &a, &b, nullptr, 0);
      rw = alpha ? p.getPictureAlphaW(wide, position, kind, SpiKeepEncoded, &c, &d, nullptr, 0)
                 : p.getPictureW(wide, position, kind, &c, &d, nullptr, 0);
      Check(rn == rw && host::TakeBlock(a) == host::TakeBlock(c) && host::TakeBlock(b) == host::TakeBlock(d),
            "GetPictureW and GetPictureAlphaW hand over what the plain forms do", rw);
    }
  }
}

}  // namespace fuzz