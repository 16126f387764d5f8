// Export of the probe plug-ins: the settings globals as the plug-in holds them,
// so tests can see what start-up loaded and what a dialog's OK made current.
#include "framework/spi.h"
#include "framework/startup.h"

#if defined(PROBE_PELORIN)
#include "pelorin/settings.h"
SPI_EXPORT int SPI_CALL ProbeSetting(int index) {
  StartOnce(LoadSettings);
  return index == 0 ? AddExtensions : index == 1 ? ExtractLanguage : ListAllTypes;
}
#elif defined(PROBE_VANTREL)
#include "vantrel/settings.h"
SPI_EXPORT int SPI_CALL ProbeSetting(int) {
  StartOnce(LoadSettings);
  return ListAllFrames;
}
#elif defined(PROBE_MORVANE)
#include "morvane/settings.h"
SPI_EXPORT int SPI_CALL ProbeSetting(int index) {
  StartOnce(LoadSettings);
  return index == 0 ? PendingGroupIcon : PendingFileName;
}
#endif
