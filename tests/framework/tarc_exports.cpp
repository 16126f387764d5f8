// The exports of the Tarc test plug-ins, stamped out as a real deliverable's.
// TARC_HEAD_FORM builds the variant with the head-reading format test and
// ResultReadError for a name not found.
#include "framework/plugin.h"
#include "tarc.h"

namespace {

constexpr ArchivePlugin Tarc{
#ifdef TARC_HEAD_FORM
    {{"00AM", "TarcHead test archive", "*.tarc", "Tarc archives"}, nullptr},
    12,
#else
    {{"00AM", "Tarc test archive", "*.tarc", "Tarc archives"}, nullptr},
    0,
#endif
    TarcFormatTest,
    TarcListEntries,
#ifdef TARC_HEAD_FORM
    ResultReadError,
#else
    ResultNotSupported,
#endif
    TarcLocateMember,
    TarcWriteMember,
    nullptr,
};

}  // namespace

SPI_ARCHIVE_EXPORTS(Tarc, TarcContext)

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow, int function) {
  return function == 1 ? ResultOk : ResultNotImplemented;
}
