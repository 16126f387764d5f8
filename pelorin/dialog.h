/* Pelorin's configuration dialog: control ids and texts, shared by Pelorin.rc
   and the terminal dialog. UTF-8. */
#pragma once

#include "framework/dialog_resources.h"

#define IDC_ADD_EXTENSIONS 101
#define IDC_EXTRACT_LANGUAGE 102

#define PELORIN_ADD_EXTENSIONS_EN "Add exe, scr, dll and cpl to Filter"
#define PELORIN_ADD_EXTENSIONS_JA "ﾌｨﾙﾀｰに exe,scr,dll,cpl を追加 (&E)"
#define PELORIN_EXTRACT_LANGUAGE_EN "Extract &Language as Directory"
#define PELORIN_EXTRACT_LANGUAGE_JA "言語をディレクトリとして展開 (&L)"
