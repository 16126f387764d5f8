// Morvane's settings as the registry keeps them, which Quibbet shares: read by
// its settings code and by spihost's settings command.
#pragma once

#include "framework/settings.h"
#include "framework/shared_settings.h"

inline constexpr SettingDefinition MorvaneSettingDefinitions[] = {
    {"GroupIcon", TreatAsArchive, ShowLargeIcon, TreatAsArchive},
    {"FileName", NumberName, SizeName, NumberName},
};
inline constexpr SettingsTable MorvaneSettings{"Software\\Kestrov\\Susie\\Plug-in\\Morvane",
                                               MorvaneSettingDefinitions, 2};
