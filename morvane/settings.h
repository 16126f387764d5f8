// Morvane's two settings, which Quibbet reads through the two getters.
#pragma once

#include "framework/shared_settings.h"
#include "framework/spi.h"

extern int GroupIcon;  // current group-icon value (GroupIconMode)
extern int FileName;   // current file-name value (FileNameMode)
// The choices of the open dialog, made current by its OK.
extern int PendingGroupIcon;
extern int PendingFileName;

void LoadSettings();
void SaveSettings();

// The current values, for Quibbet, which binds them by name.
SPI_EXPORT int SPI_CALL GetGroupIconSetting();
SPI_EXPORT int SPI_CALL GetFileNameSetting();
