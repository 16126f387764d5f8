// Narrow text on Linux is UTF-8: no byte of a multi-byte sequence can be
// taken for '/', so there are no lead bytes to step over.
#include <string.h>

#include "platform/platform.h"

namespace platform {

bool IsLeadByte(uint8_t) { return false; }

char PathSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

int CompareText(const char* a, const char* b, bool ignoreCase) {
  if (!ignoreCase) return strcmp(a, b);
  // ASCII folding only, independent of the process locale.
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

int CompareText(const char16_t* a, const char16_t* b, bool ignoreCase) {
  // ASCII folding only, as for narrow texts.
  for (;; ++a, ++b) {
    char16_t x = *a, y = *b;
    if (ignoreCase && x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x - 'A' + 'a');
    if (ignoreCase && y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

bool NarrowToUtf16(const char* text, char16_t* out, size_t capacity) {
  if (capacity == 0) return false;
  size_t n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    uint32_t c = *p;
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0) break;
    c &= extra == 0 ? 0x7F : (0x3F >> extra);
    int k = 1;
    for (; k <= extra && (p[k] & 0xC0) == 0x80; ++k) c = (c << 6) | (p[k] & 0x3F);
    static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (k <= extra || c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) break;
    p += k;
    size_t units = c >= 0x10000 ? 2 : 1;
    if (n + units + 1 > capacity) break;
    if (units == 2) {
      out[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(c);
    }
  }
  if (*p) {
    out[0] = 0;
    return false;
  }
  out[n] = 0;
  return true;
}

size_t Utf16ToNarrow(const uint16_t* units, size_t count, char* out, size_t capacity) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = '?';  // a lone surrogate has no UTF-8 form
    }
    char buf[4];
    size_t len;
    if (c < 0x80) {
      buf[0] = static_cast<char>(c);
      len = 1;
    } else if (c < 0x800) {
      buf[0] = static_cast<char>(0xC0 | (c >> 6));
      buf[1] = static_cast<char>(0x80 | (c & 0x3F));
      len = 2;
    } else if (c < 0x10000) {
      buf[0] = static_cast<char>(0xE0 | (c >> 12));
      buf[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      buf[2] = static_cast<char>(0x80 | (c & 0x3F));
      len = 3;
    } else {
      buf[0] = static_cast<char>(0xF0 | (c >> 18));
      buf[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      buf[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      buf[3] = static_cast<char>(0x80 | (c & 0x3F));
      len = 4;
    }
    // Never a partial character at the end of the buffer.
    if (len > capacity - n) break;
    memcpy(out + n, buf, len);
    n += len;
  }
  return n;
}

}  // namespace platform
