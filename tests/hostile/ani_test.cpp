// Animated cursors built to break a RIFF reader: headers of the wrong size,
// sequences that name frames that are not there, chunk sizes that lie.
#include <gtest/gtest.h>

#include "tests/hostile/drive.h"

using build::Bytes;
using namespace hostile;

namespace {

Bytes Frame() { return build::SmallIcon(2, 1); }

std::vector<Bytes> Frames(int n) { return std::vector<Bytes>(static_cast<size_t>(n), Frame()); }

// Every member that was listed comes out the same from memory and from a file.
void ExpectMembersExtract(const ArchiveRun& run) {
  for (size_t k = 0; k < run.extract.size(); ++k) {
    EXPECT_EQ(run.extract[k], ResultOk) << "member " << k;
    if (k < run.extractFromFile.size()) {
      EXPECT_EQ(run.extractFromFile[k], ResultOk) << "member " << k;
    }
  }
}

TEST(HostileAni, AnimationHeaderShorterThanItsFields) {
  auto v = Vantrel();
  // The counts would lie past an 8-byte header, which ends the file.
  Bytes header = build::AniHeaderData(2, 2);
  header.resize(8);
  ArchiveRun run = RunArchive(*v, build::Riff({build::FramList(Frames(2)), build::Chunk("anih", header)}));
  EXPECT_TRUE(run.list == ResultOk || run.list == ResultBrokenData) << run.list;
  EXPECT_LT(run.seconds, PromptSeconds);

  // Only the frame count fits: the step count is never needed without a sequence.
  header.resize(6);
  run = RunArchive(*v, build::Riff({build::Chunk("anih", header)}));
  EXPECT_EQ(run.list, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileAni, AnimationHeaderLongerThanItsFields) {
  auto v = Vantrel();
  Bytes header = build::AniHeaderData(3, 3);
  header.resize(100, 0xEE);
  ArchiveRun run = RunArchive(*v, build::Riff({build::Chunk("anih", header), build::FramList(Frames(3))}));
  EXPECT_EQ(run.list, ResultOk);
  EXPECT_EQ(run.entries.size(), 3u);
  ExpectMembersExtract(run);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileAni, StepCountLargerThanFrameCount) {
  auto v = Vantrel(1);
  // Five steps over two frames, every one naming a frame that exists.
  ArchiveRun run = RunArchive(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(2, 5)),
                                               build::SeqChunk({0, 1, 0, 1, 1}), build::FramList(Frames(2))}));
  EXPECT_EQ(run.list, ResultOk);
  EXPECT_EQ(run.entries.size(), 5u);
  ExpectMembersExtract(run);

  // A step count far beyond the sequence chunk, which ends the file.
  run = RunArchive(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(2, 1000000)),
                                    build::FramList(Frames(2)), build::SeqChunk({0, 1})}));
  EXPECT_TRUE(run.list == ResultOk || run.list == ResultBrokenData) << run.list;
  if (run.list == ResultOk) {
    EXPECT_LE(run.entries.size(), 2u) << "only the steps the chunk holds";
  }
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileAni, SequenceEntriesOutsideTheFrames) {
  auto v = Vantrel(1);
  for (uint32_t bad : {2u, 3u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    ArchiveRun run = RunArchive(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(2, 3)),
                                                 build::SeqChunk({0, bad, 1}), build::FramList(Frames(2))}));
    EXPECT_TRUE(run.list == ResultOk || run.list == ResultBrokenData) << run.list;
    EXPECT_LT(run.seconds, PromptSeconds);
    // Extraction by the position of the bad step must refuse it as well.
    EXPECT_NE(ExtractAt(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(2, 3)),
                                        build::SeqChunk({0, bad, 1}), build::FramList(Frames(2))}),
                        1),
              ResultOk);
  }
}

TEST(HostileAni, FrameListWithoutFrames) {
  auto v = Vantrel();
  Bytes emptyList = build::Chunk("LIST", Bytes{'f', 'r', 'a', 'm'});
  ArchiveRun run = RunArchive(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(2, 2)), emptyList}));
  EXPECT_EQ(run.list, ResultBrokenData);
  run = RunArchive(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(0, 0)), build::FramList(Frames(2))}));
  EXPECT_EQ(run.list, ResultBrokenData) << "a frame count of 0";
  EXPECT_LT(run.seconds, PromptSeconds);
}

// The size field of the chunk at offset 12 set to each hostile value.
Bytes WithFirstChunkSize(uint32_t size) {
  Bytes b = build::Riff({build::Chunk("junk", Bytes(8, 0)), build::Chunk("anih", build::AniHeaderData(2, 2)),
                         build::FramList(Frames(2))});
  build::Put32(b, 16, size);
  return b;
}

TEST(HostileAni, ChunkSizesThatLie) {
  auto v = Vantrel();
  // Negative, zero, odd, past the end of the file, and wrapping the offset.
  for (uint32_t size : {0xFFFFFFFFu, 0x80000000u, 0xFFFFFFF8u, 0u, 7u, 9u, 0x7FFFFFFFu, 0x00100000u}) {
    ArchiveRun run = RunArchive(*v, WithFirstChunkSize(size));
    EXPECT_NE(run.list, ResultOk) << "chunk size " << size;
    EXPECT_LT(run.seconds, PromptSeconds);
  }
  ArchiveRun run = RunArchive(*v, WithFirstChunkSize(8));
  EXPECT_EQ(run.list, ResultOk) << "the honest size";
}

TEST(HostileAni, RiffSizeThatLies) {
  auto v = Vantrel();
  for (uint32_t size : {0u, 4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    Bytes b = build::Ani(3);
    build::Put32(b, 4, size);
    ArchiveRun run = RunArchive(*v, b);
    EXPECT_NE(run.list, ResultOk) << "RIFF size " << size;
    EXPECT_LT(run.seconds, PromptSeconds);
  }
}

TEST(HostileAni, FrameChunksThatRunPastTheEndOrTheList) {
  auto v = Vantrel();
  // The last frame's size runs past the end of the file.
  Bytes b = build::Ani(3);
  size_t last = b.size() - Frame().size() - 8;
  build::Put32(b, last + 4, 0x7FFFFFF0u);
  ArchiveRun run = RunArchive(*v, b);
  EXPECT_EQ(run.list, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);

  // The frame count exceeds the frames of the list, whose chunk is followed by
  // another: the frames read on into it, within the file; or the file ends.
  Bytes more = build::Riff({build::Chunk("anih", build::AniHeaderData(4, 4)), build::FramList(Frames(2)),
                            build::Chunk("icon", Frame())});
  run = RunArchive(*v, more);
  EXPECT_TRUE(run.list == ResultOk || run.list == ResultBrokenData) << run.list;
  Bytes fewer = build::Riff({build::Chunk("anih", build::AniHeaderData(4, 4)), build::FramList(Frames(2))});
  run = RunArchive(*v, fewer);
  EXPECT_EQ(run.list, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileAni, HugeFrameCountInASmallFile) {
  auto v = Vantrel();
  for (uint32_t frames : {0xFFFFFFFFu, 0x40000000u, 0x10000000u}) {
    ArchiveRun run = RunArchive(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(frames, 1)),
                                                 build::FramList(Frames(2))}));
    EXPECT_EQ(run.list, ResultBrokenData) << "frame count " << frames;
    EXPECT_LT(run.seconds, PromptSeconds);
    EXPECT_EQ(ExtractAt(*v, build::Riff({build::Chunk("anih", build::AniHeaderData(frames, 1)),
                                         build::FramList(Frames(2))}),
                        0),
              ResultBrokenData);
  }
}

TEST(HostileAni, TruncatedEverywhere) {
  auto v = Vantrel(1);
  Bytes whole = build::Ani(3, {0, 1, 2, 1});
  for (size_t n = 0; n < whole.size(); n += (n < 64 ? 1 : 37)) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    ArchiveRun run = RunArchive(*v, cut);
    EXPECT_NE(run.list, ResultOk) << "cut at " << n;
    EXPECT_LT(run.seconds, PromptSeconds);
  }
}

}  // namespace
