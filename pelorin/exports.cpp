// Pelorin's exports: each hands its arguments and Pelorin's own callbacks to
// one framework operation and returns that operation's answer.
#include "framework/framework.h"
#include "pelorin/pe_image.h"
#include "pelorin/resource_extract.h"
#include "pelorin/resource_list.h"
#include "pelorin/settings.h"

namespace {

// The extension string follows the setting at every call.
template <class Char>
int CopyPluginInfo(int index, Char* buffer, int bufferLength) {
  const char* const strings[4] = {
      "00AM",
      "Pelorin " SPI_VERSION_STRING " (c) Kestrov",
      AddExtensions != 0 ? "*.EXE;*.SCR;*.DLL;*.CPL" : " ",
      "32Bit Executable (*.EXE;*.SCR;*.DLL;*.CPL)",
  };
  return CopyInfoString(index, buffer, bufferLength, strings, 3);
}

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {
  return CopyPluginInfo(index, buffer, bufferLength);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {
  return RunFormatTest(dw, TestExecutable);
}

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* source, SpiLength length, unsigned flags,
                                       SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, ListResources);
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* source, SpiLength length, const char* name,
                                    unsigned flags, fileInfo* record) {
  return LookupFileInfo(source, length, name, flags, record, ListResources, ResultReadError);
}

SPI_EXPORT int SPI_CALL GetFile(const char* source, SpiLength length, void* destination,
                                unsigned flags, ProgressCallback progress,
                                SpiUserValue userValue) {
  ExtractionRequest request;
  return ExtractMember(source, length, destination, flags, progress, userValue, &request,
                       PrepareResource, WriteResource);
}

// The Unicode forms: the same operations with UTF-16 texts.
SPI_EXPORT int SPI_CALL GetPluginInfoW(int index, SpiWChar* buffer, int bufferLength) {
  return CopyPluginInfo(index, buffer, bufferLength);
}

SPI_EXPORT int SPI_CALL IsSupportedW(const SpiWChar*, uintptr_t dw) {
  return IsSupported(nullptr, dw);
}

SPI_EXPORT int SPI_CALL GetArchiveInfoW(const SpiWChar* source, SpiLength length, unsigned flags,
                                        SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, ListResources);
}

SPI_EXPORT int SPI_CALL GetFileInfoW(const SpiWChar* source, SpiLength length,
                                     const SpiWChar* name, unsigned flags, fileInfoW* record) {
  return LookupFileInfo(source, length, name, flags, record, ListResources, ResultReadError);
}

SPI_EXPORT int SPI_CALL GetFileW(const SpiWChar* source, SpiLength length, void* destination,
                                 unsigned flags, ProgressCallback progress,
                                 SpiUserValue userValue) {
  ExtractionRequest request;
  return ExtractMember(source, length, destination, flags, progress, userValue, &request,
                       PrepareResource, WriteResource);
}
