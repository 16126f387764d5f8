#include "vantrel/ani_format.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "formats/icon.h"
#include "framework/decimal.h"
#include "vantrel/settings.h"

namespace {

// A chunk's size as stored: signed, so that a size with the top bit set is
// seen as negative rather than as a jump of gigabytes. Callers have checked
// that the chunk's header lies within the file.
int32_t ChunkSize(ByteView file, uint64_t chunk) {
  RiffChunk c;
  ReadRiffChunk(file, chunk, &c);
  return static_cast<int32_t>(c.ckSize);
}

// The step table must hold that many entries inside its own chunk, and the
// chunk's bytes must be in the input, before anything is sized by that count.
bool AniStepsFit(ByteView file, uint64_t seq, uint64_t steps) {
  int32_t size = ChunkSize(file, seq);
  uint64_t bytes = steps * 4;
  return size > 0 && bytes <= static_cast<uint64_t>(size) &&
         Has(file, seq + RiffChunkHeaderSize, bytes);
}

// Entry k of the step table, which must name one of the frames.
bool ReadAniStep(ByteView file, uint64_t seq, const AniFrameTable& frames, uint32_t k,
                 uint32_t* frame) {
  if (k >= frames.stepCount || !AniStepsFit(file, seq, uint64_t{k} + 1)) return false;
  *frame = Le32(file, seq + RiffChunkHeaderSize + uint64_t{k} * 4);
  return *frame < frames.frameCount;
}

}  // namespace

int TestAniHeader(ByteView head) { return HasAconHeader(head) ? 1 : 0; }

bool FindAniChunk(ByteView file, const char* id, uint64_t* chunk) {
  uint32_t riffSize;
  if (!ReadLe32(file, RiffHeaderField::Size, &riffSize)) return false;
  uint64_t at = RiffHeaderSize;
  while (at <= riffSize) {
    if (!Has(file, at, RiffListHeaderSize)) return false;
    int32_t size = ChunkSize(file, at);
    if (size <= 0) return false;
    if (RiffIdIs(file, at, id)) {
      *chunk = at;
      return true;
    }
    at += RiffChunkHeaderSize + static_cast<uint64_t>(size);
  }
  return false;
}

bool FindAniList(ByteView file, const char* listType, uint64_t* first) {
  if (!Has(file, 0, RiffHeaderSize)) return false;
  uint32_t riffSize = Le32(file, RiffHeaderField::Size);
  if (!Has(file, 0, riffSize)) return false;
  uint64_t at = RiffHeaderSize;
  while (at < riffSize) {
    // The RIFF size may end inside a chunk header; never read past the input for it.
    if (!Has(file, at, RiffListHeaderSize)) return false;
    int32_t size = ChunkSize(file, at);
    if (size <= 0) return false;
    if (RiffIdIs(file, at, "LIST") && RiffIdIs(file, at + RiffListField::ListType, listType)) {
      *first = at + RiffListHeaderSize;
      return true;
    }
    at += RiffChunkHeaderSize + static_cast<uint64_t>(size);
  }
  return false;
}

uint32_t CollectAniFrames(ByteView file, AniFrameTable* table) {
  table->frames.reset();
  table->frameCount = 0;
  if (!TestAniHeader(file)) return 0;
  uint64_t anih;
  if (!FindAniChunk(file, "anih", &anih)) return 0;
  // The counts must lie inside the "anih" chunk itself, not in whatever follows it.
  ByteView anihData = Tail(file, anih + RiffChunkHeaderSize);
  anihData.size = std::min<uint64_t>(anihData.size, static_cast<uint32_t>(ChunkSize(file, anih)));
  AniHeader header;
  if (!ReadAniHeader(anihData, &header)) return 0;
  uint32_t frameCount = header.nFrames;
  uint32_t stepCount = header.nSteps;
  if (frameCount == 0) return 0;
  uint64_t first;
  if (!FindAniList(file, "fram", &first)) return 0;
  // Each frame chunk takes at least its 8-byte header: a count that the input
  // cannot hold is refused before the table is sized by it.
  if (frameCount > (file.size - first) / RiffChunkHeaderSize) return 0;
  std::unique_ptr<uint64_t[]> frames(new (std::nothrow) uint64_t[frameCount]);
  if (!frames) return 0;
  uint64_t at = first;
  for (uint32_t j = 0; j < frameCount; ++j) {
    if (!Has(file, at, AniFrameMinimum)) return 0;
    int32_t size = ChunkSize(file, at);
    if (size < 0) return 0;
    frames[j] = at;
    at += RiffChunkHeaderSize + static_cast<uint64_t>(size);
  }
  table->frames = std::move(frames);
  table->frameCount = frameCount;
  table->stepCount = stepCount;
  return frameCount;
}

void AniMemberName(uint32_t k, ByteView file, uint64_t frameChunk, char* name) {
  // The frame's own icon header says whether it is an icon (type 1) or a cursor.
  uint16_t type = 0;
  ReadLe16(file, frameChunk + RiffChunkHeaderSize + IconHeaderField::Type, &type);
  *name = '#';
  PutText(PutDecimal(name + 1, uint64_t{k} + 1, 5), type == 1 ? ".ICO" : ".CUR");
}

int AddAniFrameEntry(uint32_t k, ByteView file, uint64_t frameChunk, EntryTable* table) {
  int32_t size = ChunkSize(file, frameChunk);
  if (size < 0 || !Has(file, frameChunk, RiffChunkHeaderSize + static_cast<uint64_t>(size)))
    return ResultBrokenData;
  fileInfo* entry = nullptr;
  int result = AcquireEntry(table, &entry);
  if (result != ResultOk) return result;
  std::memset(entry, 0, sizeof *entry);
  std::memcpy(entry->method, "-ani-", 5);
  entry->position = k;
  entry->compsize = static_cast<uint32_t>(size);
  entry->filesize = static_cast<uint32_t>(size);
  AniMemberName(k, file, frameChunk, entry->filename);
  return CommitEntry(table);
}

int ListAniFrames(DataRef data, EntryTable* table) {
  ByteView file = FromHere(data);
  AniFrameTable frames;
  if (!CollectAniFrames(file, &frames)) return ResultBrokenData;
  uint64_t seq;
  bool bySteps = ListAllFrames == 1 && FindAniChunk(file, "seq ", &seq);
  uint32_t members = bySteps ? frames.stepCount : frames.frameCount;
  // The reservation is sized by the count, so the count is checked against the chunk first.
  if (bySteps && !AniStepsFit(file, seq, members)) return ResultBrokenData;
  int result = ReserveEntries(table, members);
  for (uint32_t k = 0; result == ResultOk && k < members; ++k) {
    uint32_t frame = k;
    if (bySteps && !ReadAniStep(file, seq, frames, k, &frame)) return ResultBrokenData;
    result = AddAniFrameEntry(k, file, frames.frames[frame], table);
  }
  return result;
}

int PrepareAniFrame(DataRef data, MemberName* name, uint32_t* outputSize, void* context) {
  // The position is a member number: the file starts that many bytes earlier.
  // Search back for its header, never before the first byte of the input.
  uint64_t header = data.at;
  for (;;) {
    if (!Has(data.input, header, RiffHeaderSize)) return ResultBrokenData;
    if (TestAniHeader(Slice(data.input, header, RiffHeaderSize))) break;
    if (header == 0) return ResultBrokenData;
    --header;
  }
  ByteView file = Tail(data.input, header);
  uint64_t member = data.at - header;
  AniFrameTable frames;
  if (!CollectAniFrames(file, &frames)) return ResultBrokenData;
  if (member > UINT32_MAX) return ResultBrokenData;
  uint32_t k = static_cast<uint32_t>(member);
  uint32_t frame = k;
  uint64_t seq;
  if (ListAllFrames == 1 && FindAniChunk(file, "seq ", &seq)) {
    if (!ReadAniStep(file, seq, frames, k, &frame)) return ResultBrokenData;
  }
  if (frame >= frames.frameCount) return ResultBrokenData;
  uint64_t chunk = frames.frames[frame];
  int32_t size = ChunkSize(file, chunk);
  // Checked here so that no output file is made for a frame that cannot be copied.
  if (size < 0 || !Has(file, chunk, RiffChunkHeaderSize + static_cast<uint64_t>(size)))
    return ResultBrokenData;
  AniMemberName(k, file, chunk, name->narrow);
  *outputSize = static_cast<uint32_t>(size);
  static_cast<AniExtract*>(context)->frameData = header + chunk + RiffChunkHeaderSize;
  return ResultOk;
}

int WriteAniFrame(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback progress,
                  SpiUserValue userValue, void* context) {
  const auto* extract = static_cast<const AniExtract*>(context);
  return CopyWithProgress(data.input, extract->frameData, destination, size, AniCopyBlock,
                          progress, userValue);
}
