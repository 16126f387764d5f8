// Quibbet as the framework sees it: its strings and the icon callbacks, its
// exports stamped out over them, and its dialog, which is Morvane's.
#include "framework/plugin.h"
#include "quibbet/quibbet.h"

namespace {

constexpr ArchivePlugin Quibbet{
    {{"00AM", SPI_DESCRIPTION("Quibbet", "images of icon and cursor files"), "*.ICO;*.CUR",
      "Icon, Cursor (*.ico;*.cur)"},
     nullptr},
    0,
    TestIconArchive,
    ListIconImages,
    ResultNotSupported,
    PrepareIconImage,
    WriteIconImage,
    LoadBitmapFilter,
};

}  // namespace

SPI_ARCHIVE_EXPORTS(Quibbet, IconExtraction)

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow parent, int function) {
  StartOnce(LoadBitmapFilter);
  return ForwardConfigurationDlg(parent, function);
}

SPI_LIBRARY_ENTRY(ReleaseBitmapFilter)
