// The Tarc format's walk and member callbacks (see tarc.h).
#include "tarc.h"

#include <cstring>

namespace {

bool HasTag(ByteView v, uint64_t off, const char* tag) {
  return Has(v, off, 4) && std::memcmp(v.data + off, tag, 4) == 0;
}

struct EntryView {
  uint32_t size;
  uint8_t pathLength, nameLength;
  uint64_t nameOffset, dataOffset;
};

// The entry header at off of v (data bytes are not checked here).
bool ReadEntry(ByteView v, uint64_t off, EntryView* e) {
  if (!HasTag(v, off, "TENT") || !Has(v, off, TarcEntryHeaderSize)) return false;
  e->size = Le32(v, off + 4);
  e->pathLength = Le8(v, off + 8);
  e->nameLength = Le8(v, off + 9);
  if (e->pathLength >= 200 || e->nameLength >= 200) return false;
  e->nameOffset = off + TarcEntryHeaderSize + e->pathLength;
  e->dataOffset = e->nameOffset + e->nameLength;
  return Has(v, off + TarcEntryHeaderSize, uint64_t{e->pathLength} + e->nameLength);
}

}  // namespace

int TarcFormatTest(ByteView head) { return HasTag(head, 0, "TARC") ? 1 : 0; }

int TarcListEntries(DataRef data, EntryTable* table) {
  ByteView v = FromHere(data);
  if (!HasTag(v, 0, "TARC") || !Has(v, 0, TarcHeaderSize)) return ResultBrokenData;
  uint32_t count = Le32(v, 4);
  uint32_t flags = Le32(v, 8);
  if (flags & TarcReserve) {
    int r = ReserveEntries(table, count);
    if (r != ResultOk) return r;
  }
  uint64_t off = TarcHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    EntryView e;
    if (!ReadEntry(v, off, &e)) return ResultBrokenData;
    fileInfo* r;
    int rc = AcquireEntry(table, &r);
    if (rc != ResultOk) return rc;
    std::memset(r, 0, sizeof *r);
    std::memcpy(r->method, "-tarc-", 6);
    r->position = static_cast<uint32_t>(off);
    r->compsize = e.size;
    r->filesize = e.size;
    std::memcpy(r->path, v.data + off + TarcEntryHeaderSize, e.pathLength);
    std::memcpy(r->filename, v.data + e.nameOffset, e.nameLength);
    if ((flags & TarcLeaveLast) && i + 1 == count) return ResultOk;
    rc = CommitEntry(table);
    if (rc != ResultOk) return rc;
    off = e.dataOffset + e.size;
  }
  return ResultOk;
}

int TarcLocateMember(DataRef data, MemberName* name, uint32_t* outputSize, void* context) {
  EntryView e;
  if (!ReadEntry(data.input, data.at, &e)) return ResultBrokenData;
  std::memcpy(name->narrow, data.input.data + e.nameOffset, e.nameLength);
  name->narrow[e.nameLength] = 0;
  *outputSize = e.size;
  static_cast<TarcContext*>(context)->dataOffset = e.dataOffset;
  return ResultOk;
}

int TarcWriteMember(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback progress,
                    SpiUserValue userValue, void* context) {
  return CopyWithProgress(data.input, static_cast<TarcContext*>(context)->dataOffset, destination,
                          size, 1024, progress, userValue);
}

