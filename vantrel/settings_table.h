// Vantrel's setting as the registry keeps it: read by its settings code and by
// spihost's settings command.
#pragma once

#include "framework/settings.h"

inline constexpr SettingDefinition VantrelSettingDefinitions[] = {
    {"ListAllFrames", 0, 1, 0},  // 1: one member per step of the animation sequence
};
inline constexpr SettingsTable VantrelSettings{"Software\\Kestrov\\Susie\\Plug-in\\Vantrel",
                                               VantrelSettingDefinitions, 1};
