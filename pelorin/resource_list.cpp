#include "pelorin/resource_list.h"

#include <cstring>

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

// Copies text into out at *used, at most limit bytes in all; returns the bytes added.
uint32_t AppendText(char* out, uint32_t* used, uint32_t limit, const char* text) {
  uint32_t n = 0;
  while (text[n] != 0 && *used < limit) out[(*used)++] = text[n++];
  return n;
}

uint32_t TextLength(const char* text, uint32_t limit) {
  uint32_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

struct Listing {
  EntryTable* table = nullptr;
  GroupBudget budget;
};

}  // namespace

bool NameText(ByteView input, uint64_t text, char* out, uint32_t capacity, uint32_t* written) {
  *written = 0;
  uint16_t length;
  if (!ReadLe16(input, text, &length)) return false;
  if (!Has(input, text + 2, uint64_t{length} * 2)) return false;
  // One code point at a time, so a cut never splits a character in any code page.
  for (uint32_t i = 0; i < length && *written < capacity;) {
    uint16_t units[2] = {Le16(input, text + 2 + 2 * uint64_t{i}), 0};
    size_t n = 1;
    if (units[0] >= 0xD800 && units[0] < 0xDC00 && i + 1 < length) {
      const uint16_t low = Le16(input, text + 2 + 2 * uint64_t{i + 1});
      if (low >= 0xDC00 && low < 0xE000) {
        units[1] = low;
        n = 2;
      }
    }
    char narrow[16];
    const size_t bytes = platform::Utf16ToNarrow(units, n, narrow, sizeof narrow);
    if (bytes > capacity - *written) break;
    std::memcpy(out + *written, narrow, bytes);
    *written += static_cast<uint32_t>(bytes);
    i += static_cast<uint32_t>(n);
  }
  return true;
}

GroupBudget GroupBudgetFor(ByteView input) {
  return GroupBudget{input.size / GroupEntrySize * 4 + 1024};
}

int ResourceExtension(const ResourceVisit* visit, char* ext, uint32_t* extraSize,
                      GroupBudget* budget) {
  std::memset(ext, 0, TextFieldSize);
  *extraSize = 0;
  const ByteView in = visit->input;
  const uint32_t type = visit->type;
  if (type & HighBit) {
    ext[0] = '.';
    uint32_t n;
    if (!NameText(in, visit->sectionStart + (type & ~HighBit), ext + 1, TextFieldSize - 2, &n))
      return ResultBrokenData;
    return ResultOk;
  }
  switch (type) {
    case ResourceBitmap:
      std::memcpy(ext, ".BMP", 4);
      *extraSize = BitmapFileHeaderSize;
      return ResultOk;
    case ResourceRawData:
      std::memcpy(ext, ".DAT", 4);
      return ResultOk;
    case ResourceCursorGroup:
    case ResourceIconGroup:
      break;
    default:
      return ResultOk;
  }
  std::memcpy(ext, type == ResourceIconGroup ? ".ICO" : ".CUR", 4);
  uint16_t count;
  if (!ReadLe16(in, visit->data + 4, &count)) return ResultBrokenData;
  if (!Has(in, visit->data, GroupHeaderSize + uint64_t{GroupEntrySize} * count))
    return ResultBrokenData;
  if (budget) {
    if (count > budget->entries) return ResultBrokenData;
    budget->entries -= count;
  }
  // 32-bit sums, as the file's sizes are: a sum that wraps makes an output
  // size that the rebuild then finds too small and refuses.
  uint32_t extra = 2u * count;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t bytes = Le32(in, visit->data + GroupHeaderSize + GroupEntrySize * i + 8);
    extra += Pad4(bytes) - (type == ResourceCursorGroup ? 4 : 0);
  }
  *extraSize = extra;
  return ResultOk;
}

int ResourceFileName(ByteView input, uint32_t nameField, const char* ext, uint64_t sectionStart,
                     char* out) {
  std::memset(out, 0, TextFieldSize);
  const uint32_t last = TextFieldSize - 1;  // room for the terminating zero
  const uint32_t extLength = TextLength(ext, last);
  uint32_t used = 0;
  if (nameField & HighBit) {
    uint32_t n;
    if (!NameText(input, sectionStart + (nameField & ~HighBit), out, last - extLength, &n))
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
  AppendText(out, &used, last, ext);
  return ResultOk;
}

int LanguageDirectory(ByteView input, uint32_t language, uint64_t sectionStart, char* out) {
  std::memset(out, 0, TextFieldSize);
  if (!(language & HighBit)) {
    std::memcpy(out, LanguageDirectoryTable[language & 63], 12);
    return ResultOk;
  }
  uint32_t n;
  if (!NameText(input, sectionStart + (language & ~HighBit), out, TextFieldSize - 2, &n))
    return ResultBrokenData;
  out[n] = '\\';
  return ResultOk;
}

int CountResources(const ResourceVisit*, void* counter) {
  ++*static_cast<uint32_t*>(counter);
  return 0;
}

int AddResourceEntry(const ResourceVisit* visit, void* user) {
  Listing* listing = static_cast<Listing*>(user);
  const uint32_t type = visit->type;
  if (!(type & HighBit) && type != ResourceBitmap && type != ResourceRawData &&
      type != ResourceCursorGroup && type != ResourceIconGroup)
    return 0;
  fileInfo* entry = nullptr;
  int result = AcquireEntry(listing->table, &entry);
  if (result != 0) return result;
  char ext[TextFieldSize];
  uint32_t extra = 0;
  result = ResourceExtension(visit, ext, &extra, &listing->budget);
  if (result != 0) return result;
  std::memcpy(entry->method, kMethod, sizeof kMethod);
  entry->position = static_cast<uint32_t>(visit->index);
  entry->compsize = visit->size;
  entry->filesize = visit->size + extra;
  entry->timestamp = 0;
  if (visit->language != 0 && ExtractLanguage != 0) {
    result = LanguageDirectory(visit->input, visit->language, visit->sectionStart, entry->path);
    if (result != 0) return result;
  } else {
    std::memset(entry->path, 0, sizeof entry->path);
  }
  result = ResourceFileName(visit->input, visit->name, ext, visit->sectionStart, entry->filename);
  if (result != 0) return result;
  entry->crc = 0;
  return CommitEntry(listing->table);
}

int ListResources(DataRef data, EntryTable* table) {
  if (TestExecutable(FromHere(data)) != 2) return ResultBrokenData;
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
