// GetArchiveInfo's and GetFileInfo's bodies: one listing callback per
// deliverable, reporting into a table that either collects or looks up.
#include <string.h>

#include "framework/callback.h"
#include "framework/framework.h"
#include "framework/input.h"
#include "platform/platform.h"

namespace {

size_t RecordSize(const EntryTable* table) {
  return table->wide ? sizeof(fileInfoW) : sizeof(fileInfo);
}
// Blocks are sized in 32 bits on the host's side; a count from a file that
// would need more is refused before any arithmetic can wrap.
constexpr uint64_t MaxBlockBytes = 0x7FFFFFFF;

// Length of a record field that a deliverable may have filled to the brim.
size_t FieldLength(const char* field, size_t width) {
  const void* zero = memchr(field, 0, width);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : width;
}

// One name field of a Unicode record: the deliverable's UTF-16 name when it
// wrote one, else its narrow name widened.
void WideField(const SpiWChar* wide, const char* narrow, SpiWChar* out) {
  constexpr size_t Width = 200;
  memset(out, 0, Width * sizeof *out);
  if (wide[0]) {
    size_t n = 0;
    while (n < Width - 1 && wide[n]) ++n;
    memcpy(out, wide, n * sizeof *out);
    return;
  }
  char text[Width + 1];
  size_t n = FieldLength(narrow, Width);
  memcpy(text, narrow, n);
  text[n] = 0;
  if (platform::NarrowToUtf16(text, out, Width)) return;
  // Bytes that are no text of the code page still come out one for one.
  for (size_t i = 0; i < n && i < Width - 1; ++i) out[i] = static_cast<unsigned char>(text[i]);
}

void ToWideRecord(const fileInfo& e, const WideNames& names, fileInfoW* out) {
  memset(out, 0, sizeof *out);
  memcpy(out->method, e.method, sizeof out->method);
  out->position = e.position;
  out->compsize = e.compsize;
  out->filesize = e.filesize;
  out->timestamp = e.timestamp;
  WideField(names.path, e.path, out->path);
  WideField(names.filename, e.filename, out->filename);
  out->crc = e.crc;
}

// Points the table at the records of its (possibly moved) block; false when
// the block cannot be locked.
bool LockRecords(EntryTable* table) {
  void* p = platform::BlockLock(table->block);
  table->records = table->wide ? nullptr : static_cast<fileInfo*>(p);
  table->wideRecords = table->wide ? static_cast<fileInfoW*>(p) : nullptr;
  return p != nullptr;
}

void UnlockRecords(EntryTable* table) {
  if (table->records || table->wideRecords) platform::BlockUnlock(table->block);
  table->records = nullptr;
  table->wideRecords = nullptr;
}

bool HasRecords(const EntryTable* table) { return table->records || table->wideRecords; }

}  // namespace

int OpenEntryList(EntryTable* table, uintptr_t baseOffset, bool wide) {
  *table = EntryTable{};
  table->mode = EntryListMode;
  table->baseOffset = baseOffset;
  table->wide = wide;
  table->block = platform::BlockAlloc(RecordSize(table));
  if (!table->block) return ResultNoMemory;
  if (!LockRecords(table)) {
    platform::BlockFree(table->block);
    table->block = nullptr;
    return ResultMemoryError;
  }
  return ResultOk;
}

int ReserveEntries(EntryTable* table, uint32_t n) {
  if (table->mode == EntryLookupMode) return ResultOk;
  if (table->mode != EntryListMode) return ResultInternalError;
  if (!table->block) return ResultMemoryError;
  uint64_t bytes = (uint64_t{n} + 1) * RecordSize(table);
  if (bytes > MaxBlockBytes || bytes > SIZE_MAX) return ResultNoMemory;
  UnlockRecords(table);
  // A Unicode entry being filled lives in the scratch record, not the block.
  if (!table->wide) table->current = nullptr;
  SpiHandle grown = platform::BlockRealloc(table->block, static_cast<size_t>(bytes));
  if (!grown) {
    // The old block is intact; lock it again so the table stays whole.
    LockRecords(table);
    return ResultNoMemory;
  }
  table->block = grown;
  if (!LockRecords(table)) return ResultMemoryError;
  // Shrinking below the committed entries drops those beyond the new room,
  // but keeps every one that still fits.
  if (n < table->count) table->count = n;
  table->capacity = n;
  return ResultOk;
}

int AcquireEntry(EntryTable* table, fileInfo** entry) {
  if (table->wide) {
    table->names = WideNames{};
    if (table->mode == EntryListMode && !table->wideRecords) return ResultMemoryError;
    if (table->mode != EntryListMode && table->mode != EntryLookupMode)
      return ResultInternalError;
    table->scratch = fileInfo{};
    table->current = &table->scratch;
    *entry = table->current;
    return ResultOk;
  }
  if (table->mode == EntryLookupMode) {
    *entry = table->current;
    return ResultOk;
  }
  if (table->mode != EntryListMode) return ResultInternalError;
  if (!table->records) return ResultMemoryError;
  table->current = &table->records[table->count];
  *entry = table->current;
  return ResultOk;
}

WideNames* EntryWideNames(EntryTable* table) { return table->wide ? &table->names : nullptr; }

namespace {

int CommitWide(EntryTable* table) {
  if (table->current != &table->scratch) return ResultInternalError;
  if (table->mode == EntryListMode) {
    if (!table->wideRecords) return ResultInternalError;
    if (table->count >= table->capacity) {
      int r = ReserveEntries(table, table->count + 1);
      if (r != ResultOk) return r;
    }
    table->scratch.position += table->baseOffset;
    ToWideRecord(table->scratch, table->names, &table->wideRecords[table->count]);
    table->count += 1;
    table->current = nullptr;
    return ResultOk;
  }
  if (table->mode != EntryLookupMode) return ResultInternalError;
  fileInfoW record;
  ToWideRecord(table->scratch, table->names, &record);
  SpiWChar key[400];
  size_t pathLength = 0, nameLength = 0;
  while (record.path[pathLength]) ++pathLength;
  while (record.filename[nameLength]) ++nameLength;
  memcpy(key, record.path, pathLength * sizeof *key);
  memcpy(key + pathLength, record.filename, (nameLength + 1) * sizeof *key);
  // As in a narrow lookup, the host's record holds the last entry looked at.
  *table->wideRecord = record;
  if (platform::CompareText(table->wideName, key, table->ignoreCase) != 0) return WalkContinue;
  table->wideRecord->position += table->baseOffset;
  return WalkFound;
}

}  // namespace

int CommitEntry(EntryTable* table) {
  if (table->wide) return CommitWide(table);
  if (table->mode == EntryListMode) {
    if (!table->records || table->current != &table->records[table->count])
      return ResultInternalError;  // nothing acquired since the last commit
    table->current->position += table->baseOffset;
    if (table->count >= table->capacity) {
      int r = ReserveEntries(table, table->count + 1);
      if (r != ResultOk) return r;
    }
    table->count += 1;
    table->current = nullptr;
    return ResultOk;
  }
  if (table->mode != EntryLookupMode) return ResultInternalError;
  fileInfo* e = table->current;
  // The key is path then name. Both fields hold at most 200 bytes, so the
  // key is formed whole in a buffer that fits both rather than cut at 259.
  char key[sizeof e->path + sizeof e->filename + 1];
  size_t pathLength = FieldLength(e->path, sizeof e->path);
  size_t nameLength = FieldLength(e->filename, sizeof e->filename);
  memcpy(key, e->path, pathLength);
  memcpy(key + pathLength, e->filename, nameLength);
  key[pathLength + nameLength] = 0;
  if (platform::CompareText(table->name, key, table->ignoreCase) != 0) return WalkContinue;
  e->position += table->baseOffset;
  return WalkFound;
}

void CloseEntryList(EntryTable* table, int result) {
  if (table->mode != EntryListMode) return;
  if (result == ResultOk && table->records)
    memset(&table->records[table->count], 0, sizeof(fileInfo));
  if (result == ResultOk && table->wideRecords)
    memset(&table->wideRecords[table->count], 0, sizeof(fileInfoW));
  UnlockRecords(table);
  table->current = nullptr;
  if (result != ResultOk && table->block) {
    platform::BlockFree(table->block);
    table->block = nullptr;
  }
}

namespace {

int RunList(DataRef data, uintptr_t baseOffset, bool wide, SpiHandle* handleSlot,
            ListEntriesCallback callback) {
  if (!platform::IsWritable(handleSlot, sizeof *handleSlot)) return ResultMemoryError;
  *handleSlot = nullptr;
  EntryTable table;
  int result = OpenEntryList(&table, baseOffset, wide);
  if (result == ResultOk) {
    result = CallGuarded([&] { return callback(data, &table); });
    // A walk that ignored a failed relock cannot be terminated: not a list.
    if (result == ResultOk && !HasRecords(&table)) result = ResultMemoryError;
    if (result == ResultOk) *handleSlot = table.block;
  }
  CloseEntryList(&table, result);
  if (result != ResultOk) *handleSlot = nullptr;
  return result;
}

int RunLookup(DataRef data, EntryTable* table, ListEntriesCallback callback, int notFound) {
  table->mode = EntryLookupMode;
  int result = CallGuarded([&] { return callback(data, table); });
  if (result == WalkFound) return ResultOk;
  if (result == WalkContinue) return notFound;
  return result;
}

}  // namespace

int BuildArchiveInfo(HostText source, SpiLength length, unsigned flags, SpiHandle* handleSlot,
                     ListEntriesCallback callback) {
  // Hosts free whatever the slot holds after any failure, so it is cleared
  // before anything can fail, not only once the input is open.
  if (!platform::IsWritable(handleSlot, sizeof *handleSlot)) return ResultMemoryError;
  *handleSlot = nullptr;
  return WithInput(source, length, flags, MemoryLength::Ignored, [&](DataRef data, uintptr_t base) {
    return RunList(data, base, source.isWide, handleSlot, callback);
  });
}

namespace {

// Where a lookup puts its name and record, by form.
void Target(EntryTable* table, const char* name, fileInfo* record) {
  table->name = name;
  table->current = record;
}
void Target(EntryTable* table, const SpiWChar* name, fileInfoW* record) {
  table->wide = true;
  table->wideName = name;
  table->wideRecord = record;
}

template <class Char, class Record>
int Lookup(HostText source, SpiLength length, const Char* name, unsigned flags, Record* record,
           ListEntriesCallback callback, int notFound) {
  if (!platform::IsWritable(record, sizeof *record)) return ResultMemoryError;
  memset(record, 0, sizeof *record);
  if (!name) return notFound;
  return WithInput(source, length, flags, MemoryLength::Ignored, [&](DataRef data, uintptr_t base) {
    EntryTable table;
    table.baseOffset = base;
    table.ignoreCase = (flags & IgnoreCase) != 0;
    Target(&table, name, record);
    return RunLookup(data, &table, callback, notFound);
  });
}

}  // namespace

int LookupFileInfo(HostText source, SpiLength length, const char* name, unsigned flags,
                   fileInfo* record, ListEntriesCallback callback, int notFound) {
  return Lookup(source, length, name, flags, record, callback, notFound);
}

int LookupFileInfo(HostText source, SpiLength length, const SpiWChar* name, unsigned flags,
                   fileInfoW* record, ListEntriesCallback callback, int notFound) {
  return Lookup(source, length, name, flags, record, callback, notFound);
}
