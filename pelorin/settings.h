// Pelorin's three settings, loaded at start-up and changed by its dialog.
#pragma once

extern int AddExtensions;    // 1: the filter string lists *.EXE;*.SCR;*.DLL;*.CPL
extern int ExtractLanguage;  // 1: listed members carry a language directory
extern int ListAllTypes;     // 1: every numeric type is listed, some as text

void LoadSettings();
void SaveSettings();
