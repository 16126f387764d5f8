// SlowTarc: the Tarc test archive with a copy that pauses after every block,
// so that a test can stop spihost in the middle of a member.
#include <algorithm>
#include <chrono>
#include <thread>

#include "framework/plugin.h"
#include "tarc.h"

namespace {

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

constexpr ArchivePlugin SlowTarc{
    {{"00AM", "SlowTarc test archive", "*.tarc", "Tarc archives"}, nullptr},
    0,
    TarcFormatTest,
    TarcListEntries,
    ResultNotSupported,
    TarcLocateMember,
    SlowWriteMember,
    nullptr,
};

}  // namespace

SPI_ARCHIVE_EXPORTS(SlowTarc, TarcContext)

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow, int function) {
  return function == 1 ? ResultOk : ResultNotImplemented;
}
