#include "pelorin/resource_text.h"

#include <cstring>

#include "framework/spi.h"

namespace {

constexpr uint32_t FixedFileInfoSignature = 0xFEEF04BD;
constexpr uint32_t FixedFileInfoSize = 52;

void Put(TextSink* s, const char* text, size_t n) {
  if (s->out && s->size < s->capacity) {
    const uint64_t room = s->capacity - s->size;
    std::memcpy(s->out + s->size, text, n < room ? n : room);
  }
  s->size += n;
}
void Put(TextSink* s, const char* text) { Put(s, text, std::strlen(text)); }

void PutCodePoint(TextSink* s, uint32_t c) {
  char b[4];
  size_t n;
  if (c < 0x80) {
    b[0] = static_cast<char>(c);
    n = 1;
  } else if (c < 0x800) {
    b[0] = static_cast<char>(0xC0 | (c >> 6));
    b[1] = static_cast<char>(0x80 | (c & 0x3F));
    n = 2;
  } else if (c < 0x10000) {
    b[0] = static_cast<char>(0xE0 | (c >> 12));
    b[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    b[2] = static_cast<char>(0x80 | (c & 0x3F));
    n = 3;
  } else {
    b[0] = static_cast<char>(0xF0 | (c >> 18));
    b[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    b[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    b[3] = static_cast<char>(0x80 | (c & 0x3F));
    n = 4;
  }
  Put(s, b, n);
}


// How a text is escaped: in a VALUE statement quotes double; in a string
// table line they stay.
enum class Escape { Value, Line };

void PutEscaped(TextSink* s, uint32_t c, Escape e) {
  switch (c) {
    case '\t': Put(s, "\\t"); return;
    case '\n': Put(s, "\\n"); return;
    case '\r': Put(s, "\\r"); return;
    case '\\': Put(s, "\\\\"); return;
    case '"':
      Put(s, e == Escape::Value ? "\"\"" : "\"");
      return;
    default: PutCodePoint(s, c);
  }
}

// n UTF-16 units or n code-page bytes at off, escaped.
void PutText(TextSink* s, ByteView v, uint64_t off, uint64_t n, ImageKind kind, Escape e) {
  if (kind == ImageNe) {
    for (uint64_t i = 0; i < n; ++i) PutEscaped(s, Windows1252ToUtf16(Le8(v, off + i)), e);
    return;
  }
  for (uint64_t i = 0; i < n; ++i) {
    uint32_t c = Le16(v, off + 2 * i);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
      const uint32_t low = Le16(v, off + 2 * (i + 1));
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // half a pair
    PutEscaped(s, c, e);
  }
}

uint64_t Align4(uint64_t x) { return (x + 3) & ~uint64_t{3}; }

// One node of the version tree, its offsets within the resource.
struct VersionNode {
  uint64_t end = 0;       // start + its length
  uint64_t key = 0;       // the key's first character
  uint64_t keyLength = 0; // in characters, without the zero
  uint64_t value = 0;
  uint64_t valueLength = 0;  // as stored: bytes, or UTF-16 units for PE text
  uint16_t type = 0;         // PE: 1 text, 0 binary
  uint64_t children = 0;
};

// Characters of the zero-terminated text at off before limit; false when no
// zero comes before it.
bool TerminatedLength(ByteView v, uint64_t off, uint64_t limit, ImageKind kind, uint64_t* n) {
  const uint64_t unit = kind == ImageNe ? 1 : 2;
  for (uint64_t i = 0; off + unit * (i + 1) <= limit; ++i) {
    if ((kind == ImageNe ? Le8(v, off + i) : Le16(v, off + 2 * i)) == 0) {
      *n = i;
      return true;
    }
  }
  return false;
}

bool ReadNode(ByteView v, uint64_t at, uint64_t limit, ImageKind kind, VersionNode* node) {
  const uint64_t header = kind == ImageNe ? 4 : 6;
  if (at > limit || limit - at < header) return false;
  const uint16_t length = Le16(v, at);
  if (length < header || length > limit - at) return false;
  node->end = at + length;
  node->valueLength = Le16(v, at + 2);
  node->type = kind == ImageNe ? 0 : Le16(v, at + 4);
  node->key = at + header;
  if (!TerminatedLength(v, node->key, node->end, kind, &node->keyLength)) return false;
  const uint64_t unit = kind == ImageNe ? 1 : 2;
  node->value = Align4(node->key + unit * (node->keyLength + 1));
  if (node->value > node->end) node->value = node->end;
  uint64_t valueBytes = node->valueLength;
  if (kind == ImagePe && node->type == 1) valueBytes *= 2;
  if (valueBytes > node->end - node->value) valueBytes = node->end - node->value;
  node->children = Align4(node->value + valueBytes);
  return true;
}

bool KeyIs(ByteView v, const VersionNode& n, ImageKind kind, const char* key) {
  const size_t length = std::strlen(key);
  if (n.keyLength != length) return false;
  for (size_t i = 0; i < length; ++i) {
    const uint32_t c = kind == ImageNe ? Le8(v, n.key + i) : Le16(v, n.key + 2 * i);
    if (c != static_cast<uint8_t>(key[i])) return false;
  }
  return true;
}

// Calls visit(child) for each child of parent; false when one is broken.
template <class Visit>
bool ForEachChild(ByteView v, const VersionNode& parent, ImageKind kind, Visit visit) {
  for (uint64_t at = parent.children; at < parent.end;) {
    VersionNode child;
    if (!ReadNode(v, at, parent.end, kind, &child)) {
      // Padding after the last child is not a node.
      if (parent.end - at < 4 && Le8(v, at) == 0) return true;
      return false;
    }
    if (!visit(child)) return false;
    at = Align4(child.end);
  }
  return true;
}

// Numbers written by hand: the plug-ins carry no printf.
void PutDecimal(TextSink* s, uint64_t x) {
  char b[24];
  int n = 0;
  do {
    b[sizeof b - 1 - n++] = static_cast<char>('0' + x % 10);
    x /= 10;
  } while (x != 0);
  Put(s, b + sizeof b - n, static_cast<size_t>(n));
}

// "0x" and capital hexadecimal digits, at least minDigits of them.
void PutHex(TextSink* s, uint32_t x, int minDigits = 1) {
  char b[10];
  int n = 0;
  while (x != 0 || n < minDigits) {
    b[sizeof b - 1 - n++] = "0123456789ABCDEF"[x & 15];
    x >>= 4;
  }
  Put(s, "0x");
  Put(s, b + sizeof b - n, static_cast<size_t>(n));
}

// " NAME a,b,c,d" of two 32-bit halves, each high word first.
void PutVersion(TextSink* s, const char* name, ByteView v, uint64_t at) {
  Put(s, name);
  const uint64_t order[4] = {at + 2, at, at + 6, at + 4};
  for (int i = 0; i < 4; ++i) {
    if (i) Put(s, ",");
    PutDecimal(s, Le16(v, order[i]));
  }
  Put(s, "\r\n");
}

void PutQuotedKey(TextSink* s, ByteView v, const VersionNode& n, ImageKind kind) {
  Put(s, "\"");
  PutText(s, v, n.key, n.keyLength, kind, Escape::Value);
  Put(s, "\"");
}

bool PutStringTables(TextSink* s, ByteView v, const VersionNode& info, ImageKind kind) {
  Put(s, "    BLOCK \"StringFileInfo\"\r\n    BEGIN\r\n");
  const bool sound = ForEachChild(v, info, kind, [&](const VersionNode& table) {
    Put(s, "        BLOCK ");
    PutQuotedKey(s, v, table, kind);
    Put(s, "\r\n        BEGIN\r\n");
    const bool ok = ForEachChild(v, table, kind, [&](const VersionNode& str) {
      Put(s, "            VALUE ");
      PutQuotedKey(s, v, str, kind);
      Put(s, ", \"");
      uint64_t n = 0;
      // The text runs to its zero or to the end of the node, whatever its
      // stored length says (compilers disagree on units).
      if (!TerminatedLength(v, str.value, str.end, kind, &n))
        n = (str.end - str.value) / (kind == ImageNe ? 1 : 2);
      PutText(s, v, str.value, n, kind, Escape::Value);
      Put(s, "\"\r\n");
      return true;
    });
    Put(s, "        END\r\n");
    return ok;
  });
  Put(s, "    END\r\n");
  return sound;
}

bool PutTranslations(TextSink* s, ByteView v, const VersionNode& info, ImageKind kind) {
  Put(s, "    BLOCK \"VarFileInfo\"\r\n    BEGIN\r\n");
  const bool sound = ForEachChild(v, info, kind, [&](const VersionNode& var) {
    Put(s, "        VALUE ");
    PutQuotedKey(s, v, var, kind);
    uint64_t bytes = var.valueLength;
    if (bytes > var.end - var.value) bytes = var.end - var.value;
    for (uint64_t i = 0; i + 4 <= bytes; i += 4) {
      Put(s, ", ");
      PutHex(s, Le16(v, var.value + i), 4);
      Put(s, ", ");
      PutDecimal(s, Le16(v, var.value + i + 2));
    }
    Put(s, "\r\n");
    return true;
  });
  Put(s, "    END\r\n");
  return sound;
}

const char Bom[] = "\xEF\xBB\xBF";

}  // namespace

// 0x80 to 0x9F are where Windows-1252 differs from Latin-1.
uint16_t Windows1252ToUtf16(uint8_t b) {
  static const uint16_t High[32] = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  return b >= 0x80 && b < 0xA0 ? High[b - 0x80] : b;
}

int VersionText(ByteView v, ImageKind kind, TextSink* s) {
  VersionNode root;
  if (!ReadNode(v, 0, v.size, kind, &root) || !KeyIs(v, root, kind, "VS_VERSION_INFO"))
    return ResultBrokenData;
  Put(s, Bom);
  Put(s, "VS_VERSION_INFO VERSIONINFO\r\n");
  if (root.valueLength != 0) {
    const uint64_t f = root.value;
    if (!Has(v, f, FixedFileInfoSize) || f + FixedFileInfoSize > root.end ||
        Le32(v, f) != FixedFileInfoSignature)
      return ResultBrokenData;
    PutVersion(s, " FILEVERSION ", v, f + 8);
    PutVersion(s, " PRODUCTVERSION ", v, f + 16);
    const char* const fields[] = {" FILEFLAGSMASK ", " FILEFLAGS ", " FILEOS ", " FILETYPE ",
                                  " FILESUBTYPE "};
    for (int i = 0; i < 5; ++i) {
      Put(s, fields[i]);
      PutHex(s, Le32(v, f + 24 + 4 * i));
      Put(s, "\r\n");
    }
  }
  Put(s, "BEGIN\r\n");
  // Every StringFileInfo block first, then the translations, in stored order.
  for (int pass = 0; pass < 2; ++pass) {
    const bool sound = ForEachChild(v, root, kind, [&](const VersionNode& info) {
      if (pass == 0 && KeyIs(v, info, kind, "StringFileInfo"))
        return PutStringTables(s, v, info, kind);
      if (pass == 1 && KeyIs(v, info, kind, "VarFileInfo")) return PutTranslations(s, v, info, kind);
      return true;
    });
    if (!sound) return ResultBrokenData;
  }
  Put(s, "END\r\n");
  return ResultOk;
}

int ResourceText(const ResourceVisit* visit, TextSink* sink) {
  const ByteView data = Slice(visit->input, visit->data, visit->size);
  if (data.data == nullptr && visit->size != 0) return ResultBrokenData;
  if (visit->type == 16) return VersionText(data, visit->kind, sink);
  if (visit->type == 6) return StringTableText(data, visit->kind, visit->name, sink);
  return ResultBrokenData;
}

int StringTableText(ByteView v, ImageKind kind, uint32_t blockId, TextSink* s) {
  if (blockId == 0 || (blockId & ResourceHighBit)) return ResultBrokenData;
  Put(s, Bom);
  uint64_t at = 0;
  for (uint32_t i = 0; i < 16; ++i) {
    uint64_t n;
    if (kind == ImageNe) {
      if (!Has(v, at, 1)) return ResultBrokenData;
      n = Le8(v, at);
      ++at;
      if (!Has(v, at, n)) return ResultBrokenData;
    } else {
      if (!Has(v, at, 2)) return ResultBrokenData;
      n = Le16(v, at);
      at += 2;
      if (!Has(v, at, 2 * n)) return ResultBrokenData;
    }
    if (n != 0) {
      PutDecimal(s, (uint64_t{blockId} - 1) * 16 + i);
      Put(s, "\t");
      PutText(s, v, at, n, kind, Escape::Line);
      Put(s, "\r\n");
    }
    at += kind == ImageNe ? n : 2 * n;
  }
  return ResultOk;
}
