// Path primitives over narrow texts, where a lead byte and the byte after it
// are one character (so a trail byte equal to the separator is never taken
// for one), and over UTF-16 texts, where every unit below 0x80 is itself.
#include <string.h>

#include <string>

#include "framework/framework.h"
#include "platform/platform.h"

namespace {

bool IsLead(char c) { return platform::IsLeadByte(static_cast<uint8_t>(c)); }
bool IsLead(SpiWChar) { return false; }
bool IsSeparator(char c) { return platform::IsPathSeparator(c); }
bool IsSeparator(SpiWChar c) { return c < 0x80 && platform::IsPathSeparator(static_cast<char>(c)); }

template <class Char>
bool EndsInSeparator(const Char* path) {
  // ':' separates a drive from a name but does not end a directory.
  const Char* last = LastCharPointer(path);
  return *last && *last != ':' && IsSeparator(*last);
}

}  // namespace

template <class Char>
const Char* LastCharPointer(const Char* s) {
  const Char* last = nullptr;
  bool lastWasDouble = false;
  const Char* p = s;
  while (*p) {
    if (IsLead(*p)) {
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

template <class Char>
int FindLastSeparator(const Char* s) {
  int found = -1;
  for (int i = 0; s[i];) {
    if (IsLead(s[i])) {
      i += s[i + 1] ? 2 : 1;
      continue;
    }
    if (IsSeparator(s[i])) found = i;
    ++i;
  }
  return found;
}

template <class Char>
bool CreateDirectoryChain(Char* path, int n) {
  // A drive letter with its colon, or any name of one or two characters, is
  // taken as existing.
  if (n < 3) return true;
  if (platform::IsDirectory(path)) return true;
  int i = FindLastSeparator(path);
  if (i < 0) return false;
  Char separator = path[i];
  path[i] = 0;
  bool parent = CreateDirectoryChain(path, i);
  path[i] = separator;
  if (!parent) return false;
  // Another process may have made it meanwhile; what counts is that it is there.
  return platform::MakeDirectory(path) || platform::IsDirectory(path);
}

template <class Char>
bool EnsureDirectory(const Char* path) {
  size_t length = std::char_traits<Char>::length(path);
  // An empty name names no directory; writing to the root instead would be a surprise.
  if (length == 0 || length + 1 > static_cast<size_t>(PathSize)) return false;
  Char buffer[PathSize];
  memcpy(buffer, path, (length + 1) * sizeof(Char));
  if (EndsInSeparator(buffer)) buffer[--length] = 0;
  return CreateDirectoryChain(buffer, static_cast<int>(length));
}

template <class Char>
bool AppendPathComponent(Char* path, const Char* name, int capacity) {
  size_t pathLength = std::char_traits<Char>::length(path);
  size_t nameLength = std::char_traits<Char>::length(name);
  if (capacity < 2 || pathLength + nameLength > static_cast<size_t>(capacity) - 2) return false;
  Char* end = path + pathLength;
  if (!EndsInSeparator(path)) *end++ = static_cast<Char>(platform::PathSeparator());
  memcpy(end, name, (nameLength + 1) * sizeof(Char));
  return true;
}

template <class Char>
bool StaysInDirectory(const Char* name) {
  // A member name comes from the file being read: it may name a sub-folder of
  // the destination, but never climb out of it or name another drive or root.
  if (!name[0] || IsSeparator(name[0])) return false;
  const Char* component = name;
  for (const Char* p = name;; ++p) {
    const bool end = *p == '\0';
    if (end || IsSeparator(*p)) {
      if (*p == ':') return false;
      if (p - component == 2 && component[0] == '.' && component[1] == '.') return false;
      if (end) return true;
      component = p + 1;
    } else if (IsLead(*p) && p[1]) {
      ++p;
    }
  }
}

#define SPI_PATH_PRIMITIVES(Char)                                     \
  template const Char* LastCharPointer(const Char*);                  \
  template int FindLastSeparator(const Char*);                        \
  template bool CreateDirectoryChain(Char*, int);                     \
  template bool EnsureDirectory(const Char*);                         \
  template bool AppendPathComponent(Char*, const Char*, int);         \
  template bool StaysInDirectory(const Char*);
SPI_PATH_PRIMITIVES(char)
SPI_PATH_PRIMITIVES(SpiWChar)
