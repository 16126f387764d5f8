// Version information (type 16) and string tables (type 6) as text people
// read: UTF-8 with a byte-order mark and CRLF line ends.
//
//   version, PE form        wLength(16) wValueLength(16) wType(16) szKey (UTF-16, 0)
//                           pad to 4, Value, pad to 4, Children; values of type 1
//                           are UTF-16 text
//   version, NE form        cbNode(16) cbData(16) szKey (code page, 0) pad to 4,
//                           Value, pad to 4, Children; text in the code page
//   root "VS_VERSION_INFO": VS_FIXEDFILEINFO (52 bytes, signature 0xFEEF04BD),
//                           then "StringFileInfo" > tables ("040904B0") > strings,
//                           and "VarFileInfo" > "Translation": (language, code page)
//                           pairs of 16 bits
//   string table block      16 strings: length (16 bits of UTF-16 units in PE,
//                           8 bits of code-page bytes in NE), then the text; block
//                           n holds the ids (n - 1) * 16 to (n - 1) * 16 + 15
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "pelorin/pe_image.h"

// Where text goes: with a null out only counted. Bytes past capacity are
// counted but not written.
struct TextSink {
  uint8_t* out = nullptr;
  uint64_t capacity = 0;
  uint64_t size = 0;
};

// A byte of Windows-1252 in UTF-16 (U+FFFD for the five it leaves undefined).
uint16_t Windows1252ToUtf16(uint8_t b);

// The resource as a resource compiler's VERSIONINFO statement. ResultBrokenData
// when the data is not a sound version resource.
int VersionText(ByteView data, ImageKind kind, TextSink* sink);
// Either text of a visit's resource, chosen by its type (6 or 16).
int ResourceText(const ResourceVisit* visit, TextSink* sink);

// One "id<TAB>text" line per non-empty string of block blockId, with tab,
// newline, carriage return and backslash escaped. ResultBrokenData when the
// 16 strings do not lie within the data or the block id is not a number >= 1.
int StringTableText(ByteView data, ImageKind kind, uint32_t blockId, TextSink* sink);
