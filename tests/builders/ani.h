// Animated cursors: RIFF "ACON" files from chunks, so that a test can build a
// sound file in one call or bend any chunk of it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/builders/icon.h"

namespace build {

// A chunk; with pad, an odd-sized one gets the pad byte that strict RIFF writers add.
inline Bytes Chunk(const char* id, const Bytes& data, bool pad = false) {
  Bytes b;
  AddRaw(b, id, 4);
  Add32(b, static_cast<uint32_t>(data.size()));
  AddBytes(b, data);
  if (pad && data.size() % 2) b.push_back(0);
  return b;
}

// The "anih" chunk's data; flags 1 says the frames are icon files, 3 adds a sequence.
inline Bytes AniHeaderData(uint32_t frames, uint32_t steps, uint32_t flags = 1) {
  Bytes b;
  Add32(b, 36);
  Add32(b, frames);
  Add32(b, steps);
  for (int i = 0; i < 4; ++i) Add32(b, 0);  // width, height, bit count, planes
  Add32(b, 10);  // display rate
  Add32(b, flags);
  return b;
}

inline Bytes FramList(const std::vector<Bytes>& frames, bool padOdd = false) {
  Bytes body;
  AddText(body, "fram");
  for (const Bytes& f : frames) AddBytes(body, Chunk("icon", f, padOdd));
  return Chunk("LIST", body);
}

inline Bytes SeqChunk(const std::vector<uint32_t>& steps) {
  Bytes d;
  for (uint32_t s : steps) Add32(d, s);
  return Chunk("seq ", d);
}

// RIFF "ACON" around the given top-level chunks; the RIFF size counts from offset 8.
inline Bytes Riff(const std::vector<Bytes>& chunks) {
  Bytes b;
  AddText(b, "RIFF");
  Add32(b, 0);
  AddText(b, "ACON");
  for (const Bytes& c : chunks) AddBytes(b, c);
  Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
  return b;
}

// An animated cursor of `frames` one-image cursor frames, with a "seq " chunk when
// steps is not empty.
inline Bytes Ani(int frames, const std::vector<uint32_t>& steps = {}) {
  std::vector<Bytes> f;
  for (int i = 0; i < frames; ++i) f.push_back(SmallIcon(2, 1));
  std::vector<Bytes> chunks;
  chunks.push_back(Chunk("anih", AniHeaderData(static_cast<uint32_t>(frames),
                                               static_cast<uint32_t>(steps.empty() ? frames : steps.size()))));
  if (!steps.empty()) chunks.push_back(SeqChunk(steps));
  chunks.push_back(FramList(f));
  return Riff(chunks);
}

// An animated cursor as real files lay it out, every part adjustable.
struct AniLayout {
  std::vector<Bytes> frames;                  // each one complete icon or cursor file
  std::optional<std::vector<uint32_t>> steps;  // a "seq " chunk when present
  std::optional<uint32_t> frameCount;          // "anih" counts; default: as many as given
  std::optional<uint32_t> stepCount;
  bool infoList = true;      // a "LIST"/"INFO" chunk ahead of "anih", as real files have
  bool padOddFrames = false;  // a pad byte after odd frames, as strict RIFF writers do
  size_t offset = 0;         // filler bytes ahead of the "RIFF" header
};

inline Bytes BuildAni(const AniLayout& layout) {
  std::vector<Bytes> chunks;
  if (layout.infoList) {
    Bytes info;
    AddText(info, "INFO");
    AddBytes(info, Chunk("INAM", Bytes{'t', 'e', 's', 't', 0, 0}));
    chunks.push_back(Chunk("LIST", info));
  }
  const uint32_t frames = static_cast<uint32_t>(layout.frames.size());
  const uint32_t steps = layout.steps ? static_cast<uint32_t>(layout.steps->size()) : frames;
  chunks.push_back(Chunk("anih", AniHeaderData(layout.frameCount.value_or(frames),
                                               layout.stepCount.value_or(steps), layout.steps ? 3 : 1)));
  if (layout.steps) chunks.push_back(SeqChunk(*layout.steps));
  chunks.push_back(FramList(layout.frames, layout.padOddFrames));
  return Concat(Bytes(layout.offset, 0x5A), Riff(chunks));
}

// Offset of the first occurrence of the 4-byte identifier id at or after from.
inline size_t FindId(const Bytes& bytes, const char* id, size_t from = 0) {
  for (size_t at = from; at + 4 <= bytes.size(); ++at)
    if (std::memcmp(bytes.data() + at, id, 4) == 0) return at;
  return bytes.size();
}

}  // namespace build
