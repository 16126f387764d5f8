// Quibbet's exports: each hands its arguments and the icon callbacks to one
// operation and returns its result unchanged.
#include "framework/startup.h"
#include "quibbet/quibbet.h"

namespace {

const char* const InfoStrings[] = {
    "00AM",
    "Quibbet " SPI_VERSION_STRING " icon and cursor images, Kestrov",
    "*.ICO;*.CUR",
    "Icon, Cursor (*.ico;*.cur)",
};
constexpr int InfoHighIndex = 3;

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, InfoStrings, InfoHighIndex);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {
  return RunFormatTest(dw, TestIconArchive);
}

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* source, SpiLength length, unsigned flags,
                                       SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, ListIconImages);
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* source, SpiLength length, const char* name,
                                    unsigned flags, fileInfo* record) {
  return LookupFileInfo(source, length, name, flags, record, ListIconImages, ResultNotSupported);
}

SPI_EXPORT int SPI_CALL GetFile(const char* source, SpiLength length, void* destination,
                                unsigned flags, ProgressCallback progress,
                                SpiUserValue userValue) {
  IconExtraction extraction;
  return ExtractMember(source, length, destination, flags, progress, userValue, &extraction,
                       PrepareIconImage, WriteIconImage);
}

// The Unicode forms: the same operations with UTF-16 texts.
SPI_EXPORT int SPI_CALL GetPluginInfoW(int index, SpiWChar* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, InfoStrings, InfoHighIndex);
}

SPI_EXPORT int SPI_CALL IsSupportedW(const SpiWChar*, uintptr_t dw) {
  return IsSupported(nullptr, dw);
}

SPI_EXPORT int SPI_CALL GetArchiveInfoW(const SpiWChar* source, SpiLength length, unsigned flags,
                                        SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, ListIconImages);
}

SPI_EXPORT int SPI_CALL GetFileInfoW(const SpiWChar* source, SpiLength length,
                                     const SpiWChar* name, unsigned flags, fileInfoW* record) {
  return LookupFileInfo(source, length, name, flags, record, ListIconImages, ResultNotSupported);
}

SPI_EXPORT int SPI_CALL GetFileW(const SpiWChar* source, SpiLength length, void* destination,
                                 unsigned flags, ProgressCallback progress,
                                 SpiUserValue userValue) {
  IconExtraction extraction;
  return ExtractMember(source, length, destination, flags, progress, userValue, &extraction,
                       PrepareIconImage, WriteIconImage);
}

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow parent, int function) {
  return ForwardConfigurationDlg(parent, function);
}

SPI_LIBRARY_STARTUP(LoadBitmapFilter, ReleaseBitmapFilter)
