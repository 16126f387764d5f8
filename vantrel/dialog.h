/* Vantrel's configuration dialog: control id and texts, shared by Vantrel.rc
   and the terminal dialog. UTF-8. */
#pragma once

#include "framework/dialog_resources.h"

#define IDC_LIST_ALL_FRAMES 101

#define VANTREL_LIST_ALL_FRAMES_EN "List All &Frames"
#define VANTREL_LIST_ALL_FRAMES_JA "すべてのコマを表示(&F)"
