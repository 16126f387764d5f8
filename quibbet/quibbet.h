// Quibbet: an icon or cursor file of two or more images seen as an archive of
// one-image files. Its two settings belong to Morvane and are asked through
// the binding below at every use.
#pragma once

#include <cstdint>

#include "framework/framework.h"
#include "quibbet/icon_format.h"

// ---- Binding to Morvane ------------------------------------------------------

// Set once when the library is attached; any of the four may be null on its own.
struct BitmapFilterBinding {
  void* library = nullptr;
  ConfigurationDlgFn configurationDlg = nullptr;
  GetSettingFn groupIconSetting = nullptr;
  GetSettingFn fileNameSetting = nullptr;
};

extern BitmapFilterBinding BitmapFilter;

// Each build pairs with the Morvane of its own interface and machine: .spi,
// .sph, or .spha on ARM64.
constexpr const char* BitmapFilterFileName = "Morvane" SPI_PLUGIN_SUFFIX;
constexpr const char* HostPluginKey = "Software\\Kestrov\\Susie\\Plug-in";
constexpr const char* HostPluginPathValue = "Path";

// Loads fileName from beside this library, else from the host's plug-in
// directory, else through the system's own search; null when none loads.
void* FindPluginLibrary(const char* fileName);
void LoadBitmapFilter();
void ReleaseBitmapFilter();

// True unless a bound Morvane says icon files are single pictures.
bool IconFilesAreArchives();
// True only when a bound Morvane asks for names by width, height and colours.
bool MembersNamedBySize();

// Quibbet's ConfigurationDlg: Morvane's dialog, or a warning when it is missing.
int ForwardConfigurationDlg(SpiWindow parent, int function);

// ---- Format -------------------------------------------------------------------

// The archive header test: the type (1 or 2) when head starts an icon archive, else 0.
int TestIconArchive(ByteView head);
// The header checks that listing makes: no setting, and 0 or 1 entries pass.
bool PassesIconListingTest(ByteView head, IconHeader* header);

// Member name of entry index (0-based) in the form the setting asks for now.
void IconMemberName(uint32_t index, const IconDirEntry& entry, uint16_t type,
                    char name[MemberNameSize]);

int ListIconImages(DataRef data, EntryTable* table);

// What PrepareIconImage leaves for WriteIconImage.
struct IconExtraction {
  uint64_t headerAt = 0;  // offset of the header within the input
  uint16_t type = 0;
  IconDirEntry entry;
};

int PrepareIconImage(DataRef data, MemberName* name, uint32_t* outputSize, void* context);
int WriteIconImage(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback progress,
                   SpiUserValue userValue, void* context);
