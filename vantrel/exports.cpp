// Vantrel's exports: each hands its arguments and the animated-cursor
// callbacks to one framework operation and returns its result unchanged.
#include "framework/framework.h"
#include "framework/spi.h"
#include "vantrel/ani_format.h"

namespace {

const char* const InfoStrings[] = {
    "00AM",
    "Vantrel " SPI_VERSION_STRING " animated cursor frames, Kestrov",
    "*.ani",
    "Animation Cursor (*.ani)",
};
constexpr int InfoHighIndex = 3;
// Only the RIFF signature and the form type are looked at.
constexpr int HeadLength = 12;

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, InfoStrings, InfoHighIndex);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {
  return RunFormatTest(dw, HeadLength, TestAniHeader);
}

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* source, SpiLength length, unsigned flags,
                                       SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, ListAniFrames);
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* source, SpiLength length, const char* name,
                                    unsigned flags, fileInfo* record) {
  return LookupFileInfo(source, length, name, flags, record, ListAniFrames, ResultNotSupported);
}

SPI_EXPORT int SPI_CALL GetFile(const char* source, SpiLength length, void* destination,
                                unsigned flags, ProgressCallback progress,
                                SpiUserValue userValue) {
  AniExtract extract;
  return ExtractMember(source, length, destination, flags, progress, userValue, &extract,
                       PrepareAniFrame, WriteAniFrame);
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
  return BuildArchiveInfo(source, length, flags, handleSlot, ListAniFrames);
}

SPI_EXPORT int SPI_CALL GetFileInfoW(const SpiWChar* source, SpiLength length,
                                     const SpiWChar* name, unsigned flags, fileInfoW* record) {
  return LookupFileInfo(source, length, name, flags, record, ListAniFrames, ResultNotSupported);
}

SPI_EXPORT int SPI_CALL GetFileW(const SpiWChar* source, SpiLength length, void* destination,
                                 unsigned flags, ProgressCallback progress,
                                 SpiUserValue userValue) {
  AniExtract extract;
  return ExtractMember(source, length, destination, flags, progress, userValue, &extract,
                       PrepareAniFrame, WriteAniFrame);
}
