// A stand-in for Morvane whose settings the tests control without a registry:
// its getters read "fake_morvane.txt" beside its own file at every call (two
// numbers: group-icon, file-name; 0 0 when missing), and it notes its attach,
// detach and dialog calls in "fake_morvane.log" there. Built in variants that
// leave out one export each.
#include <cstdio>
#include <cstring>

#include "framework/spi.h"
#include "platform/platform.h"

namespace {

char ownDir[260];

void OwnFile(const char* name, char* out, size_t capacity) {
  std::snprintf(out, capacity, "%s%s", ownDir, name);
}

void Note(const char* line) {
  char path[300];
  OwnFile("fake_morvane.log", path, sizeof path);
  if (FILE* f = std::fopen(path, "ab")) {
    std::fputs(line, f);
    std::fputs("\n", f);
    std::fclose(f);
  }
}

int Setting(int which) {
  char path[300];
  OwnFile("fake_morvane.txt", path, sizeof path);
  int values[2] = {0, 0};
  if (FILE* f = std::fopen(path, "rb")) {
    if (std::fscanf(f, "%d %d", &values[0], &values[1]) < 1) values[0] = values[1] = 0;
    std::fclose(f);
  }
  return values[which];
}

void Attach() {
  static int anchor;
  if (platform::ModulePath(&anchor, ownDir, sizeof ownDir)) {
    char* cut = nullptr;
    for (char* p = ownDir; *p; ++p)
      if (*p == '/' || *p == '\\') cut = p;
    if (cut) cut[1] = '\0';
  }
  Note("attach");
}

void Detach() { Note("detach"); }

}  // namespace

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow parent, int function) {
  char line[80];
  std::snprintf(line, sizeof line, "dialog %lu %d",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent)), function);
  Note(line);
  return 1000 + function;
}

SPI_EXPORT int SPI_CALL GetGroupIconSetting() { return Setting(0); }
SPI_EXPORT int SPI_CALL GetFileNameSetting() { return Setting(1); }

// The fake notes attach and detach as the system reports them (a stand-in may
// do file work there; the real plug-ins do not).
#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Attach();
  if (reason == DLL_PROCESS_DETACH) Detach();
  return TRUE;
}
#else
__attribute__((constructor)) static void FakeAttach() { Attach(); }
__attribute__((destructor)) static void FakeDetach() { Detach(); }
#endif
