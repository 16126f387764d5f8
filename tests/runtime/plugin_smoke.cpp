// A bare host for the Windows plug-ins of one machine, with nothing but
// kernel32 (it is built like them, without a C runtime): loads the four from
// a folder and runs every seed file of the fuzz corpus (the copies without a
// control byte of their own, "*-00") through their exports, the files read
// from offset 1, past the control byte. It prints one line per plug-in and
// per file: the results and a digest of every record and block handed back.
// Built for ARM64 and x64, the two must print the same lines.
//
//   plugin_smoke PLUGIN_FOLDER CORPUS_FOLDER
#include "framework/spi.h"

namespace {

#if defined(__aarch64__)
constexpr const char* Suffix = ".spha";
#else
constexpr const char* Suffix = ".sph";
#endif

char line[1024];
unsigned lineLength;

void Put(const char* text) {
  while (*text && lineLength < sizeof line - 2) line[lineLength++] = *text++;
}
void PutNumber(long long v) {
  char digits[24];
  int n = 0;
  unsigned long long u = v < 0 ? 0 - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  do digits[n++] = static_cast<char>('0' + u % 10); while (u /= 10);
  if (v < 0) Put("-");
  char one[2] = {0, 0};
  while (n) {
    one[0] = digits[--n];
    Put(one);
  }
}
void EndLine() {
  line[lineLength++] = '\n';
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, lineLength, &written, nullptr);
  lineLength = 0;
}

struct Digest {
  unsigned long long h = 14695981039346656037ull;
  void Add(const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
  }
  void AddInt(long long v) { Add(&v, sizeof v); }
  void AddBlock(SpiHandle block) {
    if (!block) return AddInt(-1);
    AddInt(static_cast<long long>(LocalSize(block)));
    if (void* p = LocalLock(block)) {
      Add(p, LocalSize(block));
      LocalUnlock(block);
    }
    LocalFree(block);
  }
};

void PutDigest(const Digest& d) {
  static const char hex[] = "0123456789abcdef";
  char text[17] = {};
  for (int i = 0; i < 16; ++i) text[i] = hex[(d.h >> (60 - 4 * i)) & 15];
  Put(text);
}

void Join(char* out, const char* a, const char* b, const char* c) {
  const char* parts[] = {a, "\\", b, c};
  char* p = out;
  for (const char* s : parts)
    while (*s) *p++ = *s++;
  *p = 0;
}

struct Plugin {
  HMODULE module;
  template <typename Fn>
  Fn Get(const char* name) const { return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))); }
};

// The first 2 KB after the control byte, as a host hands IsSupported a file's head.
char head[2048];

void RunArchive(const Plugin& p, const char* path, Digest& d) {
  auto getArchiveInfo = p.Get<GetArchiveInfoFn>("GetArchiveInfo");
  auto getFile = p.Get<GetFileFn>("GetFile");
  SpiHandle list = nullptr;
  int r = getArchiveInfo(path, 1, InputFile, &list);
  Put(" list=");
  PutNumber(r);
  d.AddInt(r);
  if (r != ResultOk || !list) return;
  const fileInfo* entries = static_cast<const fileInfo*>(LocalLock(list));
  size_t count = LocalSize(list) / sizeof(fileInfo);
  int members = 0, extracted = 0;
  for (size_t i = 0; i < count && entries[i].method[0]; ++i, ++members) {
    d.Add(&entries[i], sizeof entries[i]);
    SpiHandle member = nullptr;
    int f = getFile(path, static_cast<SpiLength>(entries[i].position), &member,
                    InputFile | (OutputMemory << OutputKindShift), nullptr, 0);
    d.AddInt(f);
    if (f == ResultOk) ++extracted;
    d.AddBlock(f == ResultOk ? member : nullptr);
  }
  LocalUnlock(list);
  LocalFree(list);
  Put(" members=");
  PutNumber(members);
  Put(" extracted=");
  PutNumber(extracted);
}

void RunPicture(const Plugin& p, const char* path, Digest& d) {
  PictureInfo info = {};
  int r = p.Get<GetPictureInfoFn>("GetPictureInfo")(path, 1, InputFile, &info);
  d.AddInt(r);
  d.Add(&info, offsetof(PictureInfo, hInfo));
  SpiHandle header = nullptr, bits = nullptr;
  int g = p.Get<GetPictureFn>("GetPicture")(path, 1, InputFile, &header, &bits, nullptr, 0);
  Put(" info=");
  PutNumber(r);
  Put(" picture=");
  PutNumber(g);
  d.AddInt(g);
  d.AddBlock(g == ResultOk ? header : nullptr);
  d.AddBlock(g == ResultOk ? bits : nullptr);
}

int Run(const char* plugins, const char* corpus) {
  static const struct {
    const char* name;
    const char* seeds;
    bool picture;
  } kinds[] = {{"Pelorin", "pelorin", false}, {"Vantrel", "vantrel", false},
               {"Quibbet", "quibbet", false}, {"Morvane", "morvane", true}};
  static char path[MAX_PATH * 2];
  int failures = 0;
  for (const auto& kind : kinds) {
    Join(path, plugins, kind.name, Suffix);
    Plugin p{LoadLibraryA(path)};
    Put(kind.name);
    if (!p.module) {
      Put(": does not load, error ");
      PutNumber(GetLastError());
      EndLine();
      ++failures;
      continue;
    }
    char info[256];
    for (int i = 0; i < 4; ++i) {
      int n = p.Get<GetPluginInfoFn>("GetPluginInfo")(i, info, sizeof info);
      Put(i ? " | " : ": ");
      if (n > 0) Put(info);
    }
    EndLine();
    static char pattern[MAX_PATH * 2];
    char seeds[64];
    Join(seeds, kind.seeds, "*-00", "");
    Join(pattern, corpus, seeds, "");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
      Put("  no seeds in ");
      Put(pattern);
      EndLine();
      ++failures;
      continue;
    }
    do {
      Join(path, corpus, kind.seeds, "");
      Join(path, path, found.cFileName, "");
      HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      DWORD got = 0;
      for (char& c : head) c = 0;
      if (file != INVALID_HANDLE_VALUE) {
        char control;
        ReadFile(file, &control, 1, &got, nullptr);
        ReadFile(file, head, sizeof head, &got, nullptr);
        CloseHandle(file);
      }
      Digest d;
      Put("  ");
      Put(found.cFileName);
      int s = p.Get<IsSupportedFn>("IsSupported")(path, reinterpret_cast<uintptr_t>(head));
      Put(" supported=");
      PutNumber(s);
      d.AddInt(s);
      if (kind.picture) {
        RunPicture(p, path, d);
      } else {
        RunArchive(p, path, d);
      }
      Put(" digest=");
      PutDigest(d);
      EndLine();
    } while (FindNextFileA(search, &found));
    FindClose(search);
    FreeLibrary(p.module);
  }
  return failures;
}

// The next argument of the command line, in place: quotes group, nothing escapes.
char* NextArgument(char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
  if (!*p) return nullptr;
  bool quoted = *p == '"';
  char* start = quoted ? ++p : p;
  while (*p && (quoted ? *p != '"' : (*p != ' ' && *p != '\t'))) ++p;
  if (*p) *p++ = 0;
  return start;
}

}  // namespace

extern "C" void mainCRTStartup() {
  char* p = GetCommandLineA();
  NextArgument(p);
  char* plugins = NextArgument(p);
  char* corpus = NextArgument(p);
  if (!plugins || !corpus) {
    Put("usage: plugin_smoke PLUGIN_FOLDER CORPUS_FOLDER");
    EndLine();
    ExitProcess(2);
  }
  ExitProcess(Run(plugins, corpus) ? 1 : 0);
}
