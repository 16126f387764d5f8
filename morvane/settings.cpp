// Placeholder until the settings store and dialog land: defaults only.
#include "morvane/settings.h"

#include "framework/spi.h"
#include "framework/startup.h"

int GroupIcon = TreatAsArchive;
int FileName = NumberName;

void LoadSettings() {}
void SaveSettings() {}

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow, int function) {
  return function == 1 ? ResultOk : ResultNotImplemented;
}
SPI_EXPORT int SPI_CALL GetGroupIconSetting() { return GroupIcon; }
SPI_EXPORT int SPI_CALL GetFileNameSetting() { return FileName; }

SPI_LIBRARY_STARTUP(LoadSettings, nullptr)
