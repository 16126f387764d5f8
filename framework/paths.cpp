// Path primitives over narrow texts: a lead byte and the byte after it are one
// character, so a trail byte equal to the separator is never taken for one.
#include <string.h>

#include "framework/framework.h"
#include "platform/platform.h"

const char* LastCharPointer(const char* s) {
  const char* last = nullptr;
  bool lastWasDouble = false;
  const char* p = s;
  while (*p) {
    if (platform::IsLeadByte(static_cast<uint8_t>(*p))) {
      lastWasDouble = true;
      // A lone lead byte at the end counts as a double-byte character.
      p += p[1] ? 2 : 1;
    } else {
      lastWasDouble = false;
      last = p;
      ++p;
    }
  }
  if (lastWasDouble || !last) return p;
  return last;
}

int FindLastSeparator(const char* s) {
  int found = -1;
  for (int i = 0; s[i];) {
    if (platform::IsLeadByte(static_cast<uint8_t>(s[i]))) {
      i += s[i + 1] ? 2 : 1;
      continue;
    }
    if (platform::IsPathSeparator(s[i])) found = i;
    ++i;
  }
  return found;
}

bool IsDirectory(const char* path) { return platform::IsDirectory(path); }

bool CreateDirectoryChain(char* path, int n) {
  // A drive letter with its colon, or any name of one or two characters, is
  // taken as existing.
  if (n < 3) return true;
  if (platform::IsDirectory(path)) return true;
  int i = FindLastSeparator(path);
  if (i < 0) return false;
  char separator = path[i];
  path[i] = 0;
  bool parent = CreateDirectoryChain(path, i);
  path[i] = separator;
  if (!parent) return false;
  // Another process may have made it meanwhile; what counts is that it is there.
  return platform::MakeDirectory(path) || platform::IsDirectory(path);
}

static bool EndsInSeparator(const char* path) {
  // ':' separates a drive from a name but does not end a directory.
  const char* last = LastCharPointer(path);
  return *last && *last != ':' && platform::IsPathSeparator(*last);
}

bool EnsureDirectory(const char* path) {
  size_t length = strlen(path);
  // An empty name names no directory; writing to the root instead would be a surprise.
  if (length == 0 || length + 1 > static_cast<size_t>(PathSize)) return false;
  char buffer[PathSize];
  memcpy(buffer, path, length + 1);
  if (EndsInSeparator(buffer)) buffer[--length] = 0;
  return CreateDirectoryChain(buffer, static_cast<int>(length));
}

bool AppendPathComponent(char* path, const char* name, int capacity) {
  size_t pathLength = strlen(path);
  size_t nameLength = strlen(name);
  if (capacity < 2 || pathLength + nameLength > static_cast<size_t>(capacity) - 2) return false;
  char* end = path + pathLength;
  if (!EndsInSeparator(path)) *end++ = platform::PathSeparator();
  memcpy(end, name, nameLength + 1);
  return true;
}

bool StaysInDirectory(const char* name) {
  // A member name comes from the file being read: it may name a sub-folder of
  // the destination, but never climb out of it or name another drive or root.
  if (!name[0] || platform::IsPathSeparator(name[0])) return false;
  const char* component = name;
  for (const char* p = name;; ++p) {
    const bool end = *p == '\0';
    if (end || platform::IsPathSeparator(*p)) {
      if (*p == ':') return false;
      if (p - component == 2 && component[0] == '.' && component[1] == '.') return false;
      if (end) return true;
      component = p + 1;
    } else if (platform::IsLeadByte(static_cast<uint8_t>(*p)) && p[1]) {
      ++p;
    }
  }
}
