// Placeholder until the settings store and dialog land: defaults only.
#include "vantrel/settings.h"

#include "framework/spi.h"
#include "framework/startup.h"

int ListAllFrames = 0;

void LoadSettings() {}
void SaveSettings() {}

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow, int function) {
  return function == 1 ? ResultOk : ResultNotImplemented;
}

SPI_LIBRARY_STARTUP(LoadSettings, nullptr)
