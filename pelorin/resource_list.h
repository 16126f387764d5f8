// Which resources become archive members, and how they are named.
//
//   type 2 bitmap -> .BMP (+14 file header)   type 10 raw data -> .DAT
//   type 12 cursor group -> .CUR               type 14 icon group -> .ICO
//   a type given by name -> "." + its name      other numeric types: not listed,
//   unless ListAllTypes: then every numeric type but single images (1, 3),
//   named as AllTypesExtension says; 6 and 16 as text
//   numeric name id -> "#" + five digits        named resource -> its name
//   group resources (formats/icon.h) add a 16-byte file entry for each 14-byte
//   group entry, and each member image padded to 4 bytes.
#pragma once

#include <cstdint>

#include "formats/bitmap.h"
#include "formats/icon.h"
#include "framework/framework.h"
#include "pelorin/pe_image.h"

constexpr uint32_t TextFieldSize = 200;  // path, file name and extension buffers

enum ResourceType : uint32_t {
  ResourceCursor = 1,
  ResourceBitmap = 2,
  ResourceIcon = 3,
  ResourceStringTable = 6,
  ResourceRawData = 10,
  ResourceCursorGroup = 12,
  ResourceIconGroup = 14,
  ResourceVersion = 16,
};

// True when a resource of this type becomes a member under the settings in force.
bool IsListedType(uint32_t type);
// True when the resource is written as text (string tables and version
// information under ListAllTypes).
bool IsTextType(uint32_t type);

// 64 rows of 12 bytes by the low 6 bits of a numeric language.
extern const char LanguageDirectoryTable[64][12];

// (x + 3) AND NOT 3 in 32 bits.
inline uint32_t Pad4(uint32_t x) { return (x + 3) & ~3u; }

// Work that the group sums of one call may still do, in group entries read;
// null for no limit. Keeps shared or looping group data from costing more
// than a sound file of the same size could.
struct GroupBudget {
  uint64_t entries = 0;
};
GroupBudget GroupBudgetFor(ByteView input);

// Where a visit's names are read: PE's UTF-16 strings (offsets from the
// section start), or NE's length-prefixed code-page strings, which must lie
// inside the resource table (the view is the table itself).
struct NameSource {
  ByteView input;
  uint64_t base = 0;
  ImageKind kind = ImagePe;
};
NameSource NamesOf(const ResourceVisit* visit);

// The texts below come narrow (Char = char, the code page) or UTF-16 (Char =
// SpiWChar, for the Unicode exports); sizes count characters of that form.

// The extension text (into ext, TextFieldSize characters) and the bytes that the
// extracted file adds to the resource. ResultBrokenData when a name or group
// directory does not lie within the input.
template <class Char>
int ResourceExtension(const ResourceVisit* visit, Char* ext, uint32_t* extraSize,
                      GroupBudget* budget);
// The member file name of a name field followed by ext, cut to fit
// TextFieldSize characters with the terminating zero (the name is cut first).
template <class Char>
int ResourceFileName(const NameSource& names, uint32_t nameField, const Char* ext, Char* out);
// The language directory ("ENGLISH\", "$01\", a name + "\", or empty).
template <class Char>
int LanguageDirectory(const NameSource& names, uint32_t language, Char* out);

// Pelorin's listing callback: one fileInfo per listed resource.
int ListResources(DataRef data, EntryTable* table);
// Visitors of the two listing passes.
int CountResources(const ResourceVisit* visit, void* counter);
int AddResourceEntry(const ResourceVisit* visit, void* listing);

// Converts the name string at offset text of the names to the form of Char
// (narrow or UTF-16), writing at most capacity characters and never half a
// character; no terminator. False when the string does not lie within them.
template <class Char>
bool NameText(const NameSource& names, uint64_t text, Char* out, uint32_t capacity,
              uint32_t* written);
