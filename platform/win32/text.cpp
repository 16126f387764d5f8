// Narrow text in the ANSI code page, which may be a double-byte one.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

bool IsLeadByte(uint8_t c) { return IsDBCSLeadByte(c) != 0; }

char PathSeparator() { return '\\'; }

// Windows takes '/' for '\\' too; ':' ends a drive ("C:name").
bool IsPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

int CompareText(const char* a, const char* b, bool ignoreCase) {
  return ignoreCase ? lstrcmpiA(a, b) : lstrcmpA(a, b);
}

int CompareText(const wchar_t* a, const wchar_t* b, bool ignoreCase) {
  return ignoreCase ? lstrcmpiW(a, b) : lstrcmpW(a, b);
}

bool NarrowToUtf16(const char* text, wchar_t* out, size_t capacity) {
  if (capacity == 0) return false;
  out[0] = 0;
  int cap = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, cap);
  if (n > 0) return true;
  out[0] = 0;
  return false;
}

size_t Utf16ToNarrow(const uint16_t* units, size_t count, char* out, size_t capacity) {
  if (count == 0 || capacity == 0 || count > INT_MAX) return 0;
  int cap = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  const wchar_t* w = reinterpret_cast<const wchar_t*>(units);
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(count), out, cap, nullptr, nullptr);
  if (n > 0) return static_cast<size_t>(n);
  // Too small for all of it: convert the longest prefix that fits, never
  // ending in half a character.
  size_t lo = 0, hi = count;
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    int need = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(mid), nullptr, 0, nullptr,
                                   nullptr);
    if (need > 0 && need <= cap)
      lo = mid;
    else
      hi = mid - 1;
  }
  if (lo == 0) return 0;
  n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(lo), out, cap, nullptr, nullptr);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

}  // namespace platform
