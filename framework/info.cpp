// GetPluginInfo's body, for narrow and UTF-16 buffers.
#include <string.h>

#include "framework/framework.h"

namespace {

template <class Char>
int CopyInfo(int index, Char* buffer, int bufferLength, const char* const* strings,
             int highIndex) {
  if (index < 0 || index > highIndex) return 0;
  // A host that offers no room at all gets nothing written rather than a
  // terminator stored before its buffer.
  if (!buffer || bufferLength <= 0) return 0;
  const char* s = strings[index] ? strings[index] : "";
  size_t length = strlen(s);
  int n = length < static_cast<size_t>(bufferLength) ? static_cast<int>(length) : bufferLength - 1;
  // The strings are ASCII, so each byte is one character in either form.
  for (int i = 0; i < n; ++i) buffer[i] = static_cast<Char>(static_cast<unsigned char>(s[i]));
  buffer[n] = 0;
  return n;
}

}  // namespace

int CopyInfoString(int index, char* buffer, int bufferLength, const char* const* strings,
                   int highIndex) {
  return CopyInfo(index, buffer, bufferLength, strings, highIndex);
}

int CopyInfoString(int index, SpiWChar* buffer, int bufferLength, const char* const* strings,
                   int highIndex) {
  return CopyInfo(index, buffer, bufferLength, strings, highIndex);
}
