// Settings kept in the current user's registry (a REGEDIT4 text file standing in
// for it on Linux), and the frame of the configuration dialogs.
#pragma once

#include "framework/spi.h"

int ReadDwordSetting(const char* subKey, const char* valueName, int defaultValue);
int ReadRangedSetting(const char* subKey, const char* valueName, int minimum, int maximum,
                      int defaultValue);
void WriteDwordSetting(const char* subKey, const char* valueName, int value);
// The host's language value; 1 (Japanese) when it is missing.
int HostUsesJapanese();

// One setting as the registry keeps it: a REG_DWORD value with its range and
// the default that a missing, mistyped or out-of-range value reads as.
struct SettingDefinition {
  const char* valueName;
  int minimum;
  int maximum;
  int defaultValue;
};

// A deliverable's settings, in the order they are read and written. The one
// table per deliverable: its settings code and spihost's settings command read it.
struct SettingsTable {
  const char* key;  // under HKEY_CURRENT_USER
  const SettingDefinition* settings;
  int count;
};

// Reads every setting of table into values[i] (LoadSettings), and writes them
// back in the same order (SaveSettings).
void ReadSettings(const SettingsTable& table, int* const* values);
void WriteSettings(const SettingsTable& table, const int* const* values);
