// Pelorin as the framework sees it: its strings and callbacks, and its exports
// stamped out over them.
#include "framework/plugin.h"
#include "pelorin/pe_image.h"
#include "pelorin/resource_extract.h"
#include "pelorin/resource_list.h"
#include "pelorin/settings.h"

namespace {

// The filter string follows the setting at every call.
const char* PickInfo(int index, const char* fixed) {
  return index == 2 && AddExtensions == 0 ? " " : fixed;
}

constexpr ArchivePlugin Pelorin{
    {{"00AM", SPI_DESCRIPTION("Pelorin", "resources of Windows programs and libraries"),
      "*.EXE;*.SCR;*.DLL;*.CPL", "32Bit Executable (*.EXE;*.SCR;*.DLL;*.CPL)"},
     PickInfo},
    0,
    TestExecutable,
    ListResources,
    ResultReadError,
    PrepareResource,
    WriteResource,
    LoadSettings,
};

}  // namespace

SPI_ARCHIVE_EXPORTS(Pelorin, ExtractionRequest)
