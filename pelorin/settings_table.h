// Pelorin's settings as the registry keeps them: read by its settings code and
// by spihost's settings command.
#pragma once

#include "framework/settings.h"

inline constexpr SettingDefinition PelorinSettingDefinitions[] = {
    {"AddExtensions", 0, 1, 0},    // 1: the filter string lists *.EXE;*.SCR;*.DLL;*.CPL
    {"ExtractLanguage", 0, 1, 0},  // 1: listed members carry a language directory
    {"ListAllTypes", 0, 1, 0},     // 1: every numeric type is listed, some as text
};
inline constexpr SettingsTable PelorinSettings{"Software\\Kestrov\\Susie\\Plug-in\\Pelorin",
                                               PelorinSettingDefinitions, 3};
