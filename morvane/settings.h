// Morvane's two settings, which Quibbet reads through the two getters.
#pragma once

enum GroupIconMode { TreatAsArchive = 0, ShowFirstIcon = 1, ShowLargeIcon = 2 };
enum FileNameMode { NumberName = 0, SizeName = 1 };

extern int GroupIcon;  // current group-icon value (GroupIconMode)
extern int FileName;   // current file-name value (FileNameMode)

void LoadSettings();
void SaveSettings();
