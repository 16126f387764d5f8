#include "pelorin/resource_list.h"

#include <cstring>

#include "pelorin/resource_extract.h"
#include "pelorin/resource_text.h"
#include "pelorin/settings.h"
#include "platform/platform.h"

const char LanguageDirectoryTable[64][12] = {
    "",           "$01\\",       "BULGARIAN\\", "$03\\",     "CHINESE\\",  "CZECH\\",
    "DANISH\\",   "GERMAN\\",    "GREEK\\",     "ENGLISH\\", "SPANISH\\",  "FINNISH\\",
    "FRENCH\\",   "$0D\\",       "HUNGARIAN\\", "ICELANDIC\\", "ITALIAN\\", "JAPANESE\\",
    "KOREAN\\",   "DUTCH\\",     "NORWEGIAN\\", "POLISH\\",  "PORTUGUESE\\", "$17\\",
    "ROMANIAN\\", "RUSSIAN\\",   "CROATIAN\\",  "SLOVAK\\",  "$1C\\",      "SWEDISH\\",
    "$1E\\",      "TURKISH\\",   "$20\\",       "$21\\",     "$22\\",      "$23\\",
    "SLOVENIAN\\", "$25\\",      "$26\\",       "$27\\",     "$28\\",      "$29\\",
    "$2A\\",      "$2B\\",       "$2C\\",       "$2D\\",     "$2E\\",      "$2F\\",
    "$30\\",      "$31\\",       "$32\\",       "$33\\",     "$34\\",      "$35\\",
    "$36\\",      "$37\\",       "$38\\",       "$39\\",     "$3A\\",      "$3B\\",
    "$3C\\",      "$3D\\",       "$3E\\",       "$3F\\",
};

namespace {

constexpr char kMethod[8] = {'-', 'R', 'E', 'S', '3', '2', '-', 0};

// Copies ASCII text into out at *used, at most limit characters in all;
// returns the characters added.
template <class Char>
uint32_t AppendText(Char* out, uint32_t* used, uint32_t limit, const char* text) {
  uint32_t n = 0;
  while (text[n] != 0 && *used < limit) out[(*used)++] = static_cast<Char>(text[n++]);
  return n;
}

template <class Char>
uint32_t TextLength(const Char* text, uint32_t limit) {
  uint32_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

// One code point of a name in the form of the output: the code page's
// bytes, or the UTF-16 units themselves.
size_t CodePointText(const uint16_t* units, size_t n, char* out, size_t capacity) {
  return platform::Utf16ToNarrow(units, n, out, capacity);
}
size_t CodePointText(const uint16_t* units, size_t n, SpiWChar* out, size_t capacity) {
  if (n > capacity) return 0;
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<SpiWChar>(units[i]);
  return n;
}

template <class Char>
void ClearField(Char* out) {
  std::memset(out, 0, TextFieldSize * sizeof(Char));
}

template <class Char>
void SetExtension(Char* ext, const char* text) {
  uint32_t used = 0;
  AppendText(ext, &used, TextFieldSize - 1, text);
}

struct Listing {
  EntryTable* table = nullptr;
  GroupBudget budget;
  // The icon and cursor images, opened once for every group of the listing.
  MemberDirectory images[2];
  enum { Unopened, Opened, Absent } state[2] = {Unopened, Unopened};
};

}  // namespace

namespace {

// PE: a 16-bit count of UTF-16 units.
template <class Char>
bool Utf16NameText(ByteView input, uint64_t text, Char* out, uint32_t capacity,
                   uint32_t* written) {
  ByteView name;
  if (!ReadResourceNameString(input, text, &name)) return false;
  const uint32_t length = static_cast<uint32_t>(name.size / 2);
  // One code point at a time, so a cut never splits a character in any code page.
  for (uint32_t i = 0; i < length && *written < capacity;) {
    uint16_t units[2] = {Le16(name, 2 * uint64_t{i}), 0};
    size_t n = 1;
    if (units[0] >= 0xD800 && units[0] < 0xDC00 && i + 1 < length) {
      const uint16_t low = Le16(name, 2 * uint64_t{i + 1});
      if (low >= 0xDC00 && low < 0xE000) {
        units[1] = low;
        n = 2;
      }
    }
    Char piece[16];
    const size_t bytes = CodePointText(units, n, piece, sizeof piece / sizeof *piece);
    if (bytes > capacity - *written) break;
    std::memcpy(out + *written, piece, bytes * sizeof(Char));
    *written += static_cast<uint32_t>(bytes);
    i += static_cast<uint32_t>(n);
  }
  return true;
}

// One character of an NE name in UTF-16: as the system's code page reads it,
// else as Windows-1252, in which 16-bit resources are nearly always written.
// Both forms of a listing then come from the same units.
size_t CodePageCharUnits(const char* bytes, size_t n, uint16_t* units) {
  const char piece[3] = {bytes[0], n > 1 ? bytes[1] : char{0}, 0};
  SpiWChar wide[4];
  if (platform::NarrowToUtf16(piece, wide, 4) && wide[0] != 0) {
    size_t count = 0;
    while (count < 3 && wide[count] != 0) {
      units[count] = static_cast<uint16_t>(wide[count]);
      ++count;
    }
    return count;
  }
  units[0] = Windows1252ToUtf16(static_cast<uint8_t>(bytes[0]));
  return 1;
}

// NE: a length byte and that many bytes in the code page; a zero byte ends it.
template <class Char>
bool CodePageNameText(ByteView table, uint64_t text, Char* out, uint32_t capacity,
                      uint32_t* written) {
  if (!Has(table, text, 1)) return false;
  const uint32_t length = Le8(table, text);
  if (!Has(table, text + 1, length)) return false;
  const char* bytes = reinterpret_cast<const char*>(table.data + text + 1);
  for (uint32_t i = 0; i < length && bytes[i] != 0 && *written < capacity;) {
    const size_t n =
        platform::IsLeadByte(static_cast<uint8_t>(bytes[i])) && i + 1 < length && bytes[i + 1] != 0
            ? 2 : 1;
    uint16_t units[4];
    const size_t count = CodePageCharUnits(bytes + i, n, units);
    Char piece[16];
    const size_t produced = CodePointText(units, count, piece, sizeof piece / sizeof *piece);
    if (produced == 0 || produced > capacity - *written) break;
    std::memcpy(out + *written, piece, produced * sizeof(Char));
    *written += static_cast<uint32_t>(produced);
    i += static_cast<uint32_t>(n);
  }
  return true;
}

}  // namespace

NameSource NamesOf(const ResourceVisit* visit) {
  if (visit->kind == ImageNe)
    return NameSource{Slice(visit->input, visit->sectionStart, visit->tableSize), 0, ImageNe};
  return NameSource{visit->input, visit->sectionStart, ImagePe};
}

template <class Char>
bool NameText(const NameSource& names, uint64_t text, Char* out, uint32_t capacity,
              uint32_t* written) {
  *written = 0;
  if (names.kind == ImageNe) return CodePageNameText(names.input, text, out, capacity, written);
  return Utf16NameText(names.input, names.base + text, out, capacity, written);
}

bool IsListedType(uint32_t type) {
  if (type & ResourceHighBit) return true;
  switch (type) {
    case ResourceBitmap:
    case ResourceRawData:
    case ResourceCursorGroup:
    case ResourceIconGroup:
      return true;
    case ResourceCursor:
    case ResourceIcon:
      return false;  // they live inside their groups
    default:
      return ListAllTypes != 0;
  }
}

bool IsTextType(uint32_t type) {
  return ListAllTypes != 0 && (type == ResourceStringTable || type == ResourceVersion);
}

namespace {

// The extension of a numeric type that only ListAllTypes lists: the file
// format it holds, or the type's standard name; null for one without.
const char* AllTypesExtension(uint32_t type) {
  switch (type) {
    case 4: return ".MENU";
    case 5: return ".DIALOG";
    case ResourceStringTable: return ".STRING.TXT";
    case 7: return ".FONTDIR";
    case 8: return ".FNT";
    case 9: return ".ACCELERATOR";
    case 11: return ".MESSAGETABLE";
    case ResourceVersion: return ".VERSION.TXT";
    case 17: return ".DLGINCLUDE";
    case 19: return ".PLUGPLAY";
    case 20: return ".VXD";
    case 21:
    case 22: return ".ANI";
    case 23: return ".HTM";
    case 24: return ".MANIFEST";
    default: return nullptr;
  }
}

}  // namespace

GroupBudget GroupBudgetFor(ByteView input) {
  return GroupBudget{input.size / IconGroupEntrySize * 4 + 1024};
}

template <class Char>
int ResourceExtension(const ResourceVisit* visit, Char* ext, uint32_t* extraSize,
                      GroupBudget* budget) {
  ClearField(ext);
  *extraSize = 0;
  const ByteView in = visit->input;
  const uint32_t type = visit->type;
  if (type & ResourceHighBit) {
    ext[0] = '.';
    uint32_t n;
    if (!NameText(NamesOf(visit), type & ~ResourceHighBit, ext + 1, TextFieldSize - 2, &n))
      return ResultBrokenData;
    return ResultOk;
  }
  switch (type) {
    case ResourceBitmap:
      SetExtension(ext, ".BMP");
      *extraSize = BitmapFileHeaderSize;
      return ResultOk;
    case ResourceRawData:
      SetExtension(ext, ".DAT");
      return ResultOk;
    case ResourceCursorGroup:
    case ResourceIconGroup:
      break;
    default: {
      if (!ListAllTypes) return ResultOk;
      const char* name = AllTypesExtension(type);
      char number[16];
      if (!name) {
        // "." and the type's number.
        int n = 15;
        number[n] = 0;
        uint32_t x = type;
        do {
          number[--n] = static_cast<char>('0' + x % 10);
          x /= 10;
        } while (x != 0);
        number[--n] = '.';
        name = number + n;
      }
      SetExtension(ext, name);
      if (IsTextType(type)) {
        // The member's size is the text's; unsigned arithmetic makes size +
        // extra exactly that. Broken data lists at its own size and fails
        // when extracted.
        TextSink count;
        if (ResourceText(visit, &count) == ResultOk && count.size <= UINT32_MAX)
          *extraSize = static_cast<uint32_t>(count.size) - visit->size;
      }
      return ResultOk;
    }
  }
  SetExtension(ext, type == ResourceIconGroup ? ".ICO" : ".CUR");
  IconHeader group;
  if (!ReadIconHeader(in, visit->data, &group)) return ResultBrokenData;
  const uint16_t count = group.count;
  if (!Has(in, visit->data, IconGroupEntryOffset(count))) return ResultBrokenData;
  if (budget) {
    if (count > budget->entries) return ResultBrokenData;
    budget->entries -= count;
  }
  // 32-bit sums, as the file's sizes are: a sum that wraps makes an output
  // size that the rebuild then finds too small and refuses.
  uint32_t extra = 2u * count;
  for (uint32_t i = 0; i < count; ++i) {
    // Icon and cursor group entries keep their byte count at the same place.
    IconGroupEntry entry;
    ReadIconGroupEntry(in, visit->data + IconGroupEntryOffset(i), &entry);
    extra += Pad4(entry.bytes) - (type == ResourceCursorGroup ? CursorHotspotSize : 0);
  }
  // An NE group's length is rounded up to whole alignment units; the file is
  // rebuilt from its directory alone, so the rounding does not count.
  if (visit->kind == ImageNe) extra -= visit->size - static_cast<uint32_t>(IconGroupEntryOffset(count));
  *extraSize = extra;
  return ResultOk;
}

template <class Char>
int ResourceFileName(const NameSource& names, uint32_t nameField, const Char* ext, Char* out) {
  ClearField(out);
  const uint32_t last = TextFieldSize - 1;  // room for the terminating zero
  const uint32_t extLength = TextLength(ext, last);
  uint32_t used = 0;
  if (nameField & ResourceHighBit) {
    uint32_t n;
    if (!NameText(names, nameField & ~ResourceHighBit, out, last - extLength, &n))
      return ResultBrokenData;
    used = n;
  } else {
    char number[7] = {'#', 0, 0, 0, 0, 0, 0};
    uint32_t id = nameField;
    for (int k = 5; k >= 1; --k) {
      number[k] = static_cast<char>('0' + id % 10);
      id /= 10;
    }
    AppendText(out, &used, last, number);
  }
  for (uint32_t i = 0; i < extLength && used < last; ++i) out[used++] = ext[i];
  return ResultOk;
}

template <class Char>
int LanguageDirectory(const NameSource& names, uint32_t language, Char* out) {
  ClearField(out);
  if (!(language & ResourceHighBit)) {
    uint32_t used = 0;
    AppendText(out, &used, TextFieldSize - 1, LanguageDirectoryTable[language & 63]);
    return ResultOk;
  }
  uint32_t n;
  if (!NameText(names, language & ~ResourceHighBit, out, TextFieldSize - 2, &n))
    return ResultBrokenData;
  out[n] = '\\';
  return ResultOk;
}

int CountResources(const ResourceVisit*, void* counter) {
  ++*static_cast<uint32_t*>(counter);
  return 0;
}

namespace {

// The extension, the language directory and the file name of an entry.
template <class Char>
int FillNames(const ResourceVisit* visit, uint32_t* extra, GroupBudget* budget, Char* path,
              Char* filename) {
  Char ext[TextFieldSize];
  int result = ResourceExtension(visit, ext, extra, budget);
  if (result != 0) return result;
  if (visit->language != 0 && ExtractLanguage != 0) {
    result = LanguageDirectory(NamesOf(visit), visit->language, path);
    if (result != 0) return result;
  } else {
    ClearField(path);
  }
  return ResourceFileName(NamesOf(visit), visit->name, ext, filename);
}

// True when the group's icon or cursor file can be built: the extraction
// would fail on any other, so it is not listed.
bool GroupRebuilds(const ResourceVisit* visit, uint32_t extra, Listing* listing) {
  const int kind = visit->type == ResourceIconGroup ? 1 : 0;
  MemberDirectory& images = listing->images[kind];
  if (listing->state[kind] == Listing::Unopened)
    listing->state[kind] = OpenMemberDirectory(*visit, &images) ? Listing::Opened : Listing::Absent;
  return listing->state[kind] == Listing::Opened && Has(visit->input, visit->data, visit->size) &&
         RebuildIconGroup(*visit, &images, nullptr, visit->size + extra) == ResultOk;
}

}  // namespace

int AddResourceEntry(const ResourceVisit* visit, void* user) {
  Listing* listing = static_cast<Listing*>(user);
  if (!IsListedType(visit->type)) return 0;
  fileInfo* entry = nullptr;
  int result = AcquireEntry(listing->table, &entry);
  if (result != 0) return result;
  // A Unicode listing gets the names straight from the resource's UTF-16.
  WideNames* wide = EntryWideNames(listing->table);
  uint32_t extra = 0;
  result = wide ? FillNames(visit, &extra, &listing->budget, wide->path, wide->filename)
                : FillNames(visit, &extra, &listing->budget, entry->path, entry->filename);
  // A damaged resource (a name or group outside the input, a group that
  // cannot be rebuilt) is left out and costs no other member; the entry
  // acquired for it is taken again by the next.
  if (result == ResultBrokenData) return 0;
  if (result != 0) return result;
  if ((visit->type == ResourceIconGroup || visit->type == ResourceCursorGroup) &&
      !GroupRebuilds(visit, extra, listing))
    return 0;
  std::memcpy(entry->method, kMethod, sizeof kMethod);
  entry->position = static_cast<uint32_t>(visit->index);
  entry->compsize = visit->size;
  entry->filesize = visit->size + extra;
  entry->timestamp = 0;
  entry->crc = 0;
  return CommitEntry(listing->table);
}

int ListResources(DataRef data, EntryTable* table) {
  if (TestExecutable(FromHere(data)) != ExecutableSupported) return ResultBrokenData;
  uint32_t counter = 0;
  int result = WalkResources(data.input, data.at, CountResources, &counter);
  if (result != 0) return result;
  if (counter == 0) return ResultOk;
  result = ReserveEntries(table, counter);
  if (result != 0) return result;
  Listing listing;
  listing.table = table;
  listing.budget = GroupBudgetFor(data.input);
  return WalkResources(data.input, data.at, AddResourceEntry, &listing);
}

#define PELORIN_NAME_TEXTS(Char)                                                             \
  template bool NameText(const NameSource&, uint64_t, Char*, uint32_t, uint32_t*);           \
  template int ResourceExtension(const ResourceVisit*, Char*, uint32_t*, GroupBudget*);      \
  template int ResourceFileName(const NameSource&, uint32_t, const Char*, Char*);            \
  template int LanguageDirectory(const NameSource&, uint32_t, Char*);
PELORIN_NAME_TEXTS(char)
PELORIN_NAME_TEXTS(SpiWChar)
