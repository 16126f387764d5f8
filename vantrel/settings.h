// Vantrel's setting, loaded at start-up and changed by its dialog.
#pragma once

extern int ListAllFrames;  // 1: one member per step of the animation sequence

void LoadSettings();
void SaveSettings();
