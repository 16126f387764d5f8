// Without a window system the warning goes to the terminal's error stream.
#include <stdio.h>

#include "platform/platform.h"

namespace platform {

void ShowWarning(SpiWindow, const char* text, const char* caption) {
  fprintf(stderr, "%s: %s\n", caption, text);
  fflush(stderr);
}

}  // namespace platform
