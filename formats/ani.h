// Animated cursors: a RIFF file of form "ACON", whose frames are complete
// icon or cursor files (formats/icon.h).
//
//   offset 0   RIFF header, 12 bytes: "RIFF" size(4) "ACON"
//   offset 12  chunks one after another: ckID(4) ckSize(4) data[ckSize]
//     "anih"   ANIHEADER, 36 bytes: cbSize(4) nFrames(4) nSteps(4) iWidth(4)
//              iHeight(4) iBitCount(4) nPlanes(4) iDispRate(4) bfAttributes(4)
//     "LIST"   listType(4) = "fram", then nFrames "icon" chunks, each one
//              icon or cursor file
//     "rate"   nSteps display rates(4 each)
//     "seq "   nSteps frame numbers(4 each): the animation sequence
#pragma once

#include <cstdint>
#include <cstring>

#include "formats/bytes.h"

constexpr uint32_t RiffHeaderSize = 12;
constexpr uint32_t RiffChunkHeaderSize = 8;
// A "LIST" chunk's header and its list type, after which its chunks follow.
constexpr uint32_t RiffListHeaderSize = 12;
constexpr uint32_t AniHeaderSize = 36;
// The bytes of an "anih" chunk up to and including nSteps.
constexpr uint32_t AniHeaderCountsSize = 12;

namespace RiffHeaderField {
constexpr uint32_t Riff = 0, Size = 4, FormType = 8;
}
static_assert(RiffHeaderField::FormType + 4 == RiffHeaderSize);

namespace RiffChunkField {
constexpr uint32_t CkId = 0, CkSize = 4;
}
static_assert(RiffChunkField::CkSize + 4 == RiffChunkHeaderSize);

namespace RiffListField {
constexpr uint32_t ListType = 8;
}
static_assert(RiffListField::ListType + 4 == RiffListHeaderSize);

namespace AniHeaderField {
constexpr uint32_t CbSize = 0, NFrames = 4, NSteps = 8, IWidth = 12, IHeight = 16, IBitCount = 20,
                   NPlanes = 24, IDispRate = 28, BfAttributes = 32;
}
static_assert(AniHeaderField::BfAttributes + 4 == AniHeaderSize);
static_assert(AniHeaderField::NSteps + 4 == AniHeaderCountsSize);

struct RiffChunk {
  uint32_t ckSize = 0;  // bytes of data behind the 8-byte header
};

struct AniHeader {
  uint32_t cbSize = 0;
  uint32_t nFrames = 0;
  uint32_t nSteps = 0;
  uint32_t iWidth = 0;
  uint32_t iHeight = 0;
  uint32_t iBitCount = 0;
  uint32_t nPlanes = 0;
  uint32_t iDispRate = 0;
  uint32_t bfAttributes = 0;
};

// True when the four bytes at off are within v and spell id.
inline bool RiffIdIs(ByteView v, uint64_t off, const char id[4]) {
  return Has(v, off, 4) && std::memcmp(v.data + off, id, 4) == 0;
}

// "RIFF" and form type "ACON": every animated cursor starts so.
inline bool HasAconHeader(ByteView v) {
  return RiffIdIs(v, RiffHeaderField::Riff, "RIFF") && RiffIdIs(v, RiffHeaderField::FormType, "ACON");
}

// Reads the header of the chunk at off; false when its 8 bytes are not within v.
inline bool ReadRiffChunk(ByteView v, uint64_t off, RiffChunk* c) {
  if (!Has(v, off, RiffChunkHeaderSize)) return false;
  c->ckSize = Le32(v, off + RiffChunkField::CkSize);
  return true;
}

// Reads an "anih" chunk's data: its first 12 bytes (up to nSteps) must be in
// data, the later fields are read where data reaches them and zero elsewhere.
inline bool ReadAniHeader(ByteView data, AniHeader* h) {
  if (!Has(data, 0, AniHeaderCountsSize)) return false;
  *h = AniHeader{};
  auto field = [&](uint32_t at) { return Has(data, at, 4) ? Le32(data, at) : 0; };
  h->cbSize = field(AniHeaderField::CbSize);
  h->nFrames = field(AniHeaderField::NFrames);
  h->nSteps = field(AniHeaderField::NSteps);
  h->iWidth = field(AniHeaderField::IWidth);
  h->iHeight = field(AniHeaderField::IHeight);
  h->iBitCount = field(AniHeaderField::IBitCount);
  h->nPlanes = field(AniHeaderField::NPlanes);
  h->iDispRate = field(AniHeaderField::IDispRate);
  h->bfAttributes = field(AniHeaderField::BfAttributes);
  return true;
}
