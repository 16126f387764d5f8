// Settings are REG_DWORD values; anything missing or mistyped reads as the
// default, and a failed write is not reported: settings never stop a plug-in.
#include "framework/settings.h"

#include "platform/platform.h"

int ReadDwordSetting(const char* subKey, const char* valueName, int defaultValue) {
  uint32_t value = 0;
  if (!platform::RegistryReadDword(subKey, valueName, &value)) return defaultValue;
  return static_cast<int>(value);
}

int ReadRangedSetting(const char* subKey, const char* valueName, int minimum, int maximum,
                      int defaultValue) {
  int value = ReadDwordSetting(subKey, valueName, defaultValue);
  return value < minimum || value > maximum ? defaultValue : value;
}

void WriteDwordSetting(const char* subKey, const char* valueName, int value) {
  platform::RegistryWriteDword(subKey, valueName, static_cast<uint32_t>(value));
}

int HostUsesJapanese() { return ReadDwordSetting("Software\\Kestrov\\Susie\\Resource", "Japanese", 1); }

void ReadSettings(const SettingsTable& table, int* const* values) {
  for (int i = 0; i < table.count; ++i) {
    const SettingDefinition& s = table.settings[i];
    *values[i] = ReadRangedSetting(table.key, s.valueName, s.minimum, s.maximum, s.defaultValue);
  }
}

void WriteSettings(const SettingsTable& table, const int* const* values) {
  for (int i = 0; i < table.count; ++i)
    WriteDwordSetting(table.key, table.settings[i].valueName, *values[i]);
}
