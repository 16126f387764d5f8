// The exports of the Tarc test plug-ins: as thin as a real deliverable's.
// TARC_HEAD_FORM builds the variant with the head-reading format test and
// ResultReadError for a name not found.
#include "framework/framework.h"
#include "tarc.h"

namespace {

#ifdef TARC_HEAD_FORM
constexpr int NotFound = ResultReadError;
const char* const InfoStrings[] = {"00AM", "TarcHead test archive", "*.tarc", "Tarc archives"};
#else
constexpr int NotFound = ResultNotSupported;
const char* const InfoStrings[] = {"00AM", "Tarc test archive", "*.tarc", "Tarc archives"};
#endif

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, InfoStrings, 3);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {
#ifdef TARC_HEAD_FORM
  return RunFormatTest(dw, 12, TarcFormatTest);
#else
  return RunFormatTest(dw, TarcFormatTest);
#endif
}

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* source, SpiLength length, unsigned flags,
                                       SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, TarcListEntries);
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* source, SpiLength length, const char* name,
                                    unsigned flags, fileInfo* record) {
  return LookupFileInfo(source, length, name, flags, record, TarcListEntries, NotFound);
}

SPI_EXPORT int SPI_CALL GetFile(const char* source, SpiLength length, void* destination,
                                unsigned flags, ProgressCallback progress,
                                SpiUserValue userValue) {
  TarcContext context;
  return ExtractMember(source, length, destination, flags, progress, userValue, &context,
                       TarcLocateMember, TarcWriteMember);
}

// The Unicode forms: the same operations with UTF-16 texts.
SPI_EXPORT int SPI_CALL GetPluginInfoW(int index, SpiWChar* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, InfoStrings, 3);
}

SPI_EXPORT int SPI_CALL IsSupportedW(const SpiWChar*, uintptr_t dw) {
  return IsSupported(nullptr, dw);
}

SPI_EXPORT int SPI_CALL GetArchiveInfoW(const SpiWChar* source, SpiLength length, unsigned flags,
                                        SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, TarcListEntries);
}

SPI_EXPORT int SPI_CALL GetFileInfoW(const SpiWChar* source, SpiLength length,
                                     const SpiWChar* name, unsigned flags, fileInfoW* record) {
  return LookupFileInfo(source, length, name, flags, record, TarcListEntries, NotFound);
}

SPI_EXPORT int SPI_CALL GetFileW(const SpiWChar* source, SpiLength length, void* destination,
                                 unsigned flags, ProgressCallback progress,
                                 SpiUserValue userValue) {
  TarcContext context;
  return ExtractMember(source, length, destination, flags, progress, userValue, &context,
                       TarcLocateMember, TarcWriteMember);
}

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow, int function) {
  return function == 1 ? ResultOk : ResultNotImplemented;
}
