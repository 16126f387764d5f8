// Vantrel as the framework sees it: its strings and the animated-cursor
// callbacks, and its exports stamped out over them.
#include "framework/plugin.h"
#include "vantrel/ani_format.h"
#include "vantrel/settings.h"

namespace {

constexpr ArchivePlugin Vantrel{
    {{"00AM", SPI_DESCRIPTION("Vantrel", "frames of animated cursors"), "*.ani",
      "Animation Cursor (*.ani)"},
     nullptr},
    12,  // only the RIFF signature and the form type are looked at
    TestAniHeader,
    ListAniFrames,
    ResultNotSupported,
    PrepareAniFrame,
    WriteAniFrame,
    LoadSettings,
};

}  // namespace

SPI_ARCHIVE_EXPORTS(Vantrel, AniExtract)
