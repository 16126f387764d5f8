// SlowTarc: the Tarc test archive with a copy that pauses after every block,
// so that a test can stop spihost in the middle of a member.
#include <algorithm>
#include <chrono>
#include <thread>

#include "framework/framework.h"
#include "tarc.h"

namespace {

const char* const InfoStrings[] = {"00AM", "SlowTarc test archive", "*.tarc", "Tarc archives"};

int SlowWriteMember(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback progress,
                    SpiUserValue userValue, void* context) {
  const uint64_t start = static_cast<TarcContext*>(context)->dataOffset;
  for (uint32_t done = 0; done < size;) {
    const uint32_t n = std::min<uint32_t>(1024, size - done);
    int r = CopyWithProgress(data.input, start + done, destination + done, n, 1024, nullptr, 0);
    if (r != ResultOk) return r;
    done += n;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (progress && progress(static_cast<int>(done), static_cast<int>(size), userValue)) return ResultAborted;
  }
  return ResultOk;
}

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, InfoStrings, 3);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) { return RunFormatTest(dw, TarcFormatTest); }

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* source, SpiLength length, unsigned flags,
                                       SpiHandle* handleSlot) {
  return BuildArchiveInfo(source, length, flags, handleSlot, TarcListEntries);
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* source, SpiLength length, const char* name,
                                    unsigned flags, fileInfo* record) {
  return LookupFileInfo(source, length, name, flags, record, TarcListEntries, ResultNotSupported);
}

SPI_EXPORT int SPI_CALL GetFile(const char* source, SpiLength length, void* destination,
                                unsigned flags, ProgressCallback progress, SpiUserValue userValue) {
  TarcContext context;
  return ExtractMember(source, length, destination, flags, progress, userValue, &context,
                       TarcLocateMember, SlowWriteMember);
}

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow, int function) {
  return function == 1 ? ResultOk : ResultNotImplemented;
}
