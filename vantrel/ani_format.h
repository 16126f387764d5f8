// Animated cursors read as archives of their frames (the layout is drawn in
// formats/ani.h). Chunks are walked without a pad byte after odd sizes, and a
// chunk's size is read as signed, so that a size with the top bit set ends a
// walk instead of jumping gigabytes ahead.
//
// A member is a frame (ListAllFrames 0, or no "seq ") or a step of the sequence;
// its position is its member number, so GetFile's data pointer lies that many
// bytes behind the file's first byte and the header is found by searching back.
#pragma once

#include <cstdint>
#include <memory>

#include "formats/ani.h"
#include "framework/framework.h"

// A frame chunk's header and the frame's own 6-byte icon header plus 2 bytes.
constexpr uint32_t AniFrameMinimum = 16;
constexpr uint32_t AniCopyBlock = 1024;

// Offsets of the frame chunks from the file's first byte, in file order.
struct AniFrameTable {
  std::unique_ptr<uint64_t[]> frames;
  uint32_t frameCount = 0;
  uint32_t stepCount = 0;
};

// What PrepareAniFrame leaves for WriteAniFrame: where the frame's bytes start
// within the whole input.
struct AniExtract {
  uint64_t frameData = 0;
};

// 1 when head starts with "RIFF", four bytes, "ACON"; else 0.
int TestAniHeader(ByteView head);

// The top-level chunk with this identifier, searched while the candidate's
// offset is at most the RIFF size; false when absent or a walk step is broken.
bool FindAniChunk(ByteView file, const char* id, uint64_t* chunk);
// The first chunk inside the top-level "LIST" of this list type, searched while
// the candidate's offset is below the RIFF size; the file must hold RIFF size bytes.
bool FindAniList(ByteView file, const char* listType, uint64_t* first);
// Fills table with every frame chunk; the frame count, 0 on any failure.
uint32_t CollectAniFrames(ByteView file, AniFrameTable* table);

// "#" + (k + 1) in five digits + ".ICO" or ".CUR" by the frame's own type.
void AniMemberName(uint32_t k, ByteView file, uint64_t frameChunk, char* name);
int AddAniFrameEntry(uint32_t k, ByteView file, uint64_t frameChunk, EntryTable* table);

// The framework's callbacks.
int ListAniFrames(DataRef data, EntryTable* table);
int PrepareAniFrame(DataRef data, MemberName* name, uint32_t* outputSize, void* context);
int WriteAniFrame(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback progress,
                  SpiUserValue userValue, void* context);
