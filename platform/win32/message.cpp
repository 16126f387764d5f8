// The one message box a plug-in shows besides its dialogs.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

void ShowWarning(SpiWindow parent, const char* text, const char* caption) {
  MessageBoxA(static_cast<HWND>(parent), text, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace platform
