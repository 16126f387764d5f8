/* Morvane's configuration dialog: control ids and texts, shared by Morvane.rc
   and the terminal dialog. UTF-8. The first group box and the first radio
   button share the id 101. */
#pragma once

#include "framework/dialog_resources.h"

#define IDC_GROUP_ICON_BOX 101
#define IDC_TREAT_AS_ARCHIVE 101
#define IDC_SHOW_FIRST_ICON 102
#define IDC_SHOW_LARGE_ICON 103
#define IDC_FILE_NAME_BOX 105
#define IDC_NUMBER_NAME 111
#define IDC_SIZE_NAME 112

#define MORVANE_TITLE_EN "Configuration (Morvane.spi, Quibbet.spi)"
#define MORVANE_TITLE_JA "設定 (Morvane.spi, Quibbet.spi)"
#define MORVANE_GROUP_ICON_EN "&Group Icon"
#define MORVANE_GROUP_ICON_JA "ｸﾞﾙｰﾌﾟｱｲｺﾝ(&G)"
#define MORVANE_TREAT_AS_ARCHIVE_EN "Treat as &Archive"
#define MORVANE_TREAT_AS_ARCHIVE_JA "ｱｰｶｲﾌﾞをして扱う(&A)"
#define MORVANE_SHOW_FIRST_ICON_EN "Show &First Icon"
#define MORVANE_SHOW_FIRST_ICON_JA "最初のｱｲｺﾝを表示(&F)"
#define MORVANE_SHOW_LARGE_ICON_EN "Show &Large Icon"
#define MORVANE_SHOW_LARGE_ICON_JA "大きいｱｲｺﾝを表示(&L)"
#define MORVANE_FILE_NAME_EN "F&ile Name"
#define MORVANE_FILE_NAME_JA "ﾌｧｲﾙ名(&I)"
#define MORVANE_NUMBER_NAME_EN "&Number (#NNNNN)"
#define MORVANE_NUMBER_NAME_JA "番号(&N) (#NNNNN)"
#define MORVANE_SIZE_NAME_EN "&Size (WWxHHxCC)"
#define MORVANE_SIZE_NAME_JA "ｻｲｽﾞ(&S) (WWxHHxCC)"
