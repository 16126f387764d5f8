/* Pelorin's configuration dialog: control ids and texts, shared by Pelorin.rc
   and the terminal dialog. UTF-8. */
#pragma once

#include "framework/dialog_resources.h"

#define IDC_ADD_EXTENSIONS 101
#define IDC_EXTRACT_LANGUAGE 102
#define IDC_LIST_ALL_TYPES 103

#define PELORIN_ADD_EXTENSIONS_EN "Add exe, scr, dll and cpl to Filter"
#define PELORIN_ADD_EXTENSIONS_JA "ﾌｨﾙﾀｰに exe,scr,dll,cpl を追加 (&E)"
#define PELORIN_EXTRACT_LANGUAGE_EN "Extract &Language as Directory"
#define PELORIN_EXTRACT_LANGUAGE_JA "言語をディレクトリとして展開 (&L)"
#define PELORIN_LIST_ALL_TYPES_EN "List &All Resource Types"
#define PELORIN_LIST_ALL_TYPES_JA "すべてのﾘｿｰｽを表示 (&A)"
