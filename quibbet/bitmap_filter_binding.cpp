// Quibbet has no settings of its own: it loads Morvane and asks its two
// getters at every use, so a change in Morvane's dialog shows at once.
#include <cstring>

#include "framework/shared_settings.h"
#include "platform/platform.h"
#include "quibbet/quibbet.h"

BitmapFilterBinding BitmapFilter;

namespace {

// Replaces path[keep..] by fileName; false when the result would not fit.
bool PutFileName(char* path, size_t keep, const char* fileName) {
  size_t n = std::strlen(fileName);
  if (keep + n >= PathSize) return false;
  std::memcpy(path + keep, fileName, n + 1);
  return true;
}

}  // namespace

void* FindPluginLibrary(const char* fileName) {
  char path[PathSize];
  // Beside our own file: a copy installed with Quibbet wins over any other.
  if (platform::ModulePath(&BitmapFilter, path, sizeof path)) {
    size_t keep = static_cast<size_t>(FindLastSeparator(path) + 1);
    if (PutFileName(path, keep, fileName)) {
      if (void* library = platform::OpenLibrary(path)) return library;
    }
  }
  // The host's plug-in directory. The separator goes on even when the value
  // already ends in one: the system reads a doubled separator as one.
  if (platform::RegistryReadString(HostPluginKey, HostPluginPathValue, path, sizeof path)) {
    size_t n = std::strlen(path);
    if (n + 1 < PathSize) {
      path[n] = platform::PathSeparator();
      if (PutFileName(path, n + 1, fileName)) {
        if (void* library = platform::OpenLibrary(path)) return library;
      }
    }
  }
  return platform::OpenLibrary(fileName);
}

void LoadBitmapFilter() {
  BitmapFilter.library = FindPluginLibrary(BitmapFilterFileName);
  if (!BitmapFilter.library) return;
  void* library = BitmapFilter.library;
  BitmapFilter.configurationDlg =
      reinterpret_cast<ConfigurationDlgFn>(platform::FindSymbol(library, "ConfigurationDlg"));
  BitmapFilter.groupIconSetting =
      reinterpret_cast<GetSettingFn>(platform::FindSymbol(library, "GetGroupIconSetting"));
  BitmapFilter.fileNameSetting =
      reinterpret_cast<GetSettingFn>(platform::FindSymbol(library, "GetFileNameSetting"));
}

void ReleaseBitmapFilter() {
  void* library = BitmapFilter.library;
  BitmapFilter = BitmapFilterBinding{};
  if (library) platform::CloseLibrary(library);
}

bool IconFilesAreArchives() {
  return !BitmapFilter.groupIconSetting || BitmapFilter.groupIconSetting() == TreatAsArchive;
}

bool MembersNamedBySize() {
  return BitmapFilter.fileNameSetting && BitmapFilter.fileNameSetting() == SizeName;
}

int ForwardConfigurationDlg(SpiWindow parent, int function) {
  if (BitmapFilter.configurationDlg) return BitmapFilter.configurationDlg(parent, function);
#if SPI_WINDOWS_ARM64
  platform::ShowWarning(parent, "Not Installed \"MORVANE.SPHA\"", "Warning");
#else
  platform::ShowWarning(parent, SPI_INTERFACE_32 ? "Not Installed \"MORVANE.SPI\"" : "Not Installed \"MORVANE.SPH\"", "Warning");
#endif
  return ResultNotImplemented;
}
