// GetArchiveInfo's and GetFileInfo's bodies: one listing callback per
// deliverable, reporting into a table that either collects or looks up.
#include <string.h>

#include "framework/callback.h"
#include "framework/framework.h"
#include "framework/input.h"
#include "platform/platform.h"

namespace {

constexpr size_t RecordSize = sizeof(fileInfo);
// Blocks are sized in 32 bits on the host's side; a count from a file that
// would need more is refused before any arithmetic can wrap.
constexpr uint64_t MaxBlockBytes = 0x7FFFFFFF;

// Length of a record field that a deliverable may have filled to the brim.
size_t FieldLength(const char* field, size_t width) {
  const void* zero = memchr(field, 0, width);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : width;
}

}  // namespace

int OpenEntryList(EntryTable* table, uintptr_t baseOffset) {
  *table = EntryTable{};
  table->mode = EntryListMode;
  table->baseOffset = baseOffset;
  table->block = platform::BlockAlloc(RecordSize);
  if (!table->block) return ResultNoMemory;
  table->records = static_cast<fileInfo*>(platform::BlockLock(table->block));
  if (!table->records) {
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
  uint64_t bytes = (uint64_t{n} + 1) * RecordSize;
  if (bytes > MaxBlockBytes || bytes > SIZE_MAX) return ResultNoMemory;
  if (table->records) platform::BlockUnlock(table->block);
  table->records = nullptr;
  table->current = nullptr;
  SpiHandle grown = platform::BlockRealloc(table->block, static_cast<size_t>(bytes));
  if (!grown) {
    // The old block is intact; lock it again so the table stays whole.
    table->records = static_cast<fileInfo*>(platform::BlockLock(table->block));
    return ResultNoMemory;
  }
  table->block = grown;
  table->records = static_cast<fileInfo*>(platform::BlockLock(grown));
  if (!table->records) return ResultMemoryError;
  // Shrinking below the committed entries drops those beyond the new room,
  // but keeps every one that still fits.
  if (n < table->count) table->count = n;
  table->capacity = n;
  return ResultOk;
}

int AcquireEntry(EntryTable* table, fileInfo** entry) {
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

int CommitEntry(EntryTable* table) {
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
  if (platform::CompareText(table->name, key, table->ignoreCase) != 0) return 0;
  e->position += table->baseOffset;
  return 1;
}

void CloseEntryList(EntryTable* table, int result) {
  if (table->mode != EntryListMode) return;
  if (result == ResultOk && table->records)
    memset(&table->records[table->count], 0, RecordSize);
  if (table->records) platform::BlockUnlock(table->block);
  table->records = nullptr;
  table->current = nullptr;
  if (result != ResultOk && table->block) {
    platform::BlockFree(table->block);
    table->block = nullptr;
  }
}

namespace {

int RunList(DataRef data, uintptr_t baseOffset, SpiHandle* handleSlot,
            ListEntriesCallback callback) {
  if (!platform::IsWritable(handleSlot, sizeof *handleSlot)) return ResultMemoryError;
  *handleSlot = nullptr;
  EntryTable table;
  int result = OpenEntryList(&table, baseOffset);
  if (result == ResultOk) {
    result = CallGuarded([&] { return callback(data, &table); });
    // A walk that ignored a failed relock cannot be terminated: not a list.
    if (result == ResultOk && !table.records) result = ResultMemoryError;
    if (result == ResultOk) *handleSlot = table.block;
  }
  CloseEntryList(&table, result);
  if (result != ResultOk) *handleSlot = nullptr;
  return result;
}

int RunLookup(DataRef data, uintptr_t baseOffset, const char* name, bool ignoreCase,
              fileInfo* record, ListEntriesCallback callback, int notFound) {
  EntryTable table;
  table.mode = EntryLookupMode;
  table.baseOffset = baseOffset;
  table.current = record;
  table.name = name;
  table.ignoreCase = ignoreCase;
  int result = CallGuarded([&] { return callback(data, &table); });
  if (result == 1) return ResultOk;
  if (result == 0) return notFound;
  return result;
}

}  // namespace

int BuildArchiveInfo(const char* source, SpiLength length, unsigned flags, SpiHandle* handleSlot,
                     ListEntriesCallback callback) {
  // Hosts free whatever the slot holds after any failure, so it is cleared
  // before anything can fail, not only once the input is open.
  if (!platform::IsWritable(handleSlot, sizeof *handleSlot)) return ResultMemoryError;
  *handleSlot = nullptr;
  switch (flags & InputKindMask) {
    case InputFile: {
      platform::MappedFile file;
      if (!platform::MapExisting(source, &file)) return ResultReadError;
      int result = RunList(FileInput(file, length), static_cast<uintptr_t>(length), handleSlot,
                           callback);
      platform::Unmap(&file);
      return result;
    }
    case InputMemory:
      return RunList(MemoryInput(source), 0, handleSlot, callback);
    default:
      return ResultNotImplemented;
  }
}

int LookupFileInfo(const char* source, SpiLength length, const char* name, unsigned flags,
                   fileInfo* record, ListEntriesCallback callback, int notFound) {
  if (!platform::IsWritable(record, sizeof *record)) return ResultMemoryError;
  memset(record, 0, sizeof *record);
  if (!name) return notFound;
  bool ignoreCase = (flags & IgnoreCase) != 0;
  switch (flags & InputKindMask) {
    case InputFile: {
      platform::MappedFile file;
      if (!platform::MapExisting(source, &file)) return ResultReadError;
      int result = RunLookup(FileInput(file, length), static_cast<uintptr_t>(length), name,
                             ignoreCase, record, callback, notFound);
      platform::Unmap(&file);
      return result;
    }
    case InputMemory:
      return RunLookup(MemoryInput(source), 0, name, ignoreCase, record, callback, notFound);
    default:
      return ResultNotImplemented;
  }
}
