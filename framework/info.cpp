// GetPluginInfo's body.
#include <string.h>

#include "framework/framework.h"

int CopyInfoString(int index, char* buffer, int bufferLength, const char* const* strings,
                   int highIndex) {
  if (index < 0 || index > highIndex) return 0;
  // A host that offers no room at all gets nothing written rather than a
  // terminator stored before its buffer.
  if (!buffer || bufferLength <= 0) return 0;
  const char* s = strings[index] ? strings[index] : "";
  size_t length = strlen(s);
  int n = length < static_cast<size_t>(bufferLength) ? static_cast<int>(length) : bufferLength - 1;
  memcpy(buffer, s, static_cast<size_t>(n));
  buffer[n] = 0;
  return n;
}
