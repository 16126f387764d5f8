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
