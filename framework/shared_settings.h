// The values of Morvane's two settings, which Quibbet reads through Morvane's
// getters: the one type that two deliverables share.
#pragma once

enum GroupIconMode { TreatAsArchive = 0, ShowFirstIcon = 1, ShowLargeIcon = 2 };
enum FileNameMode { NumberName = 0, SizeName = 1 };
