// Icon and cursor files built to break a container reader and a bitmap
// decoder: sizes that overflow, offsets that wrap, headers that disagree.
#include <gtest/gtest.h>

#include "tests/hostile/drive.h"

using build::Bytes;
using namespace hostile;

namespace {

// A one-image icon whose image header has the given fields.
Bytes IconWithHeader(int32_t width, int32_t headerHeight, uint16_t bitCount, size_t blockSize = 0) {
  Bytes block = build::IconImageBlock(8, 8, 4);
  build::Put32(block, 4, static_cast<uint32_t>(width));
  build::Put32(block, 8, static_cast<uint32_t>(headerHeight));
  build::Put16(block, 14, bitCount);
  if (blockSize) block.resize(blockSize, 0x33);
  build::IconImageSpec s;
  s.block = block;
  return build::IconFile(1, {s});
}

TEST(HostileIcon, DimensionsWhoseProductOverflows) {
  auto m = Morvane();
  struct Case { int32_t width, headerHeight; uint16_t bits; };
  for (Case c : {Case{0x10000, 0x20000, 32}, Case{0x7FFFFFFF, 4, 32}, Case{65535, 2 * 65535, 24},
                 Case{0x40000000, 0x40000000, 8}, Case{3, 0x7FFFFFFE, 1}, Case{0x20000001, 2, 32}}) {
    PictureRun run = RunPicture(*m, IconWithHeader(c.width, c.headerHeight, c.bits));
    EXPECT_NE(run.picture, ResultOk) << c.width << "x" << c.headerHeight << "x" << c.bits;
    EXPECT_LT(run.seconds, PromptSeconds);
  }
}

TEST(HostileIcon, HeightZeroAndNegativeSides) {
  auto m = Morvane();
  for (auto [w, h] : {std::pair<int32_t, int32_t>{8, 0}, {8, 1}, {0, 16}, {-8, 16}, {8, -16},
                      {INT32_MIN, 16}, {8, INT32_MIN}}) {
    PictureRun run = RunPicture(*m, IconWithHeader(w, h, 4));
    EXPECT_NE(run.picture, ResultOk) << w << "x" << h;
    EXPECT_LT(run.seconds, PromptSeconds);
  }
}

TEST(HostileIcon, ColourCountAboveTheDepth) {
  auto m = Morvane();
  Bytes icon = build::IconFile(1, {build::IconImage(16, 16, 8)});
  build::Put32(icon, 22 + 32, 0xFFFFFFFFu);  // colours used: not consulted
  icon[8] = 0xFF;                              // the directory's colour count byte
  PictureRun run = RunPicture(*m, icon);
  EXPECT_EQ(run.picture, ResultOk);
  EXPECT_EQ(run.infoBlock.size(), 40u + 256 * 4);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileIcon, ImageOffsetAndSizeThatWrapOrRunPastTheEnd) {
  auto q = Quibbet();
  struct Case { uint32_t offset, size; };
  for (Case c : {Case{0xFFFFFF00u, 0x200u}, Case{0xFFFFFFFFu, 1u}, Case{0x80000000u, 0x80000000u},
                 Case{0u, 0xFFFFFFF0u}, Case{0u, 0xFFFFFFFFu}, Case{0u, 0x7FFFFFFFu}, Case{0x1000u, 8u}}) {
    Bytes icon = build::SmallIcon(1, 2);
    uint32_t offset = c.offset ? c.offset : build::Get32(icon, build::ImageOffsetAt(1));
    build::Put32(icon, build::ImageOffsetAt(1), offset);
    build::Put32(icon, build::ByteSizeAt(1), c.size);
    ArchiveRun run = RunArchive(*q, icon);
    EXPECT_EQ(run.list, ResultOk) << "image blocks are not examined by the listing";
    ASSERT_EQ(run.extract.size(), 2u);
    EXPECT_EQ(run.extract[0], ResultOk);
    EXPECT_NE(run.extract[1], ResultOk) << "offset " << c.offset << " size " << c.size;
    EXPECT_NE(run.extractFromFile[1], ResultOk);
    EXPECT_LT(run.seconds, PromptSeconds);

    // The second image chosen as the largest: its block lies outside.
    auto large = Morvane(2);
    PictureRun picture = RunPicture(*large, icon);
    // Chosen by its byte size, which the decoder otherwise ignores: only a block
    // placed outside the file must be refused.
    bool chosen = static_cast<int32_t>(c.size) > static_cast<int32_t>(build::Get32(icon, build::ByteSizeAt(0)));
    if (chosen && c.offset != 0) {
      EXPECT_NE(picture.picture, ResultOk);
    }
    EXPECT_LT(picture.seconds, PromptSeconds);
  }
}

TEST(HostileIcon, EntryOffsetOfTheFirstImagePastTheEnd) {
  auto m = Morvane();
  Bytes icon = build::SmallIcon(1, 1);
  icon.resize(22 + 20);  // the image header is cut short
  PictureRun run = RunPicture(*m, icon);
  EXPECT_EQ(run.info, ResultBrokenData);
  EXPECT_EQ(run.picture, ResultBrokenData);
  Bytes bare = build::SmallIcon(1, 1);
  bare.resize(22);  // directory only
  run = RunPicture(*m, bare);
  EXPECT_EQ(run.info, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileIcon, DirectoryEntryThatDisagreesWithTheImage) {
  auto m = Morvane();
  Bytes icon = build::IconFile(1, {build::IconImage(16, 16, 4)});
  icon[6] = 64;   // the entry claims 64 x 64 at 8 bits
  icon[7] = 64;
  build::Put16(icon, 12, 8);
  PictureRun run = RunPicture(*m, icon);
  EXPECT_EQ(run.info, ResultOk);
  EXPECT_EQ(run.record.width, 16) << "the image's own header decides";
  EXPECT_EQ(run.record.colorDepth, 4);

  // The image header claims more rows than its block and the file hold.
  Bytes tall = build::IconFile(1, {build::IconImage(16, 16, 4)});
  build::Put32(tall, 22 + 8, 2 * 4000);
  run = RunPicture(*m, tall);
  EXPECT_EQ(run.picture, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileIcon, PngWhereABitmapHeaderBelongs) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
               0, 0, 1, 0, 0, 0, 1, 0, 8, 6, 0, 0, 0};
  png.resize(200, 0);
  build::IconImageSpec s;
  s.width = 0;
  s.height = 0;
  s.bitCount = 32;
  s.block = png;
  auto m = Morvane();
  PictureRun run = RunPicture(*m, build::IconFile(1, {s}));
  EXPECT_NE(run.picture, ResultOk);
  EXPECT_LT(run.seconds, PromptSeconds);

  // To the splitter the block is opaque bytes: it comes out whole.
  auto q = Quibbet();
  ArchiveRun archive = RunArchive(*q, build::IconFile(1, {s, build::IconImage(16, 16, 4)}));
  EXPECT_EQ(archive.list, ResultOk);
  ASSERT_EQ(archive.extract.size(), 2u);
  EXPECT_EQ(archive.extract[0], ResultOk);
}

TEST(HostileIcon, CountsFarBeyondTheFile) {
  auto q = Quibbet();
  for (uint16_t count : {uint16_t{3}, uint16_t{1000}, uint16_t{65535}}) {
    Bytes icon = build::SmallIcon(1, 2);
    build::Put16(icon, 4, count);
    build::Put32(icon, 18, 6 + 16u * count);  // entry 0 agrees with the count
    ArchiveRun run = RunArchive(*q, icon);
    if (6 + 16u * count > icon.size()) {
      EXPECT_EQ(run.headTest, 0);
      EXPECT_EQ(run.list, ResultBrokenData) << count;
    }
    EXPECT_LT(run.seconds, PromptSeconds);
    for (uint32_t group : {1u, 2u}) {
      auto m = Morvane(group);
      PictureRun picture = RunPicture(*m, icon);
      if (6 + 16u * count > icon.size()) {
        EXPECT_NE(picture.picture, ResultOk) << count << " under setting " << group;
      }
      EXPECT_LT(picture.seconds, PromptSeconds);
    }
  }
}

TEST(HostileIcon, EmptyDirectoryUnderEverySetting) {
  // No entries, and entry 0's offset field, read all the same, saying 6.
  Bytes empty = build::IconFile(1, {});
  empty.resize(22, 0);
  build::Put32(empty, 18, 6);
  for (uint32_t group : {0u, 1u, 2u}) {
    auto m = Morvane(group);
    PictureRun run = RunPicture(*m, empty);
    EXPECT_NE(run.picture, ResultOk) << "setting " << group;
    EXPECT_LT(run.seconds, PromptSeconds);
  }
  auto q = Quibbet();
  ArchiveRun run = RunArchive(*q, empty);
  EXPECT_EQ(run.list, ResultOk);
  EXPECT_TRUE(run.entries.empty());
}

TEST(HostileIcon, ShortHeaderWithHugeSides) {
  build::IconImageSpec s;
  s.block = build::IconImageBlockShort(8, 8, 8);
  build::Put16(s.block, 4, 0xFFFF);
  build::Put16(s.block, 6, 0xFFFF);
  auto m = Morvane();
  PictureRun run = RunPicture(*m, build::IconFile(1, {s}));
  EXPECT_EQ(run.picture, ResultBrokenData);
  EXPECT_LT(run.seconds, PromptSeconds);
}

TEST(HostileIcon, TruncatedEverywhere) {
  Bytes whole = build::IconFile(2, {build::IconImage(16, 16, 4), build::IconImage(32, 32, 8)});
  auto q = Quibbet();
  auto m = Morvane(2);
  for (size_t n = 0; n < whole.size(); n += (n < 64 ? 1 : 53)) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    ArchiveRun run = RunArchive(*q, cut);
    if (n < 38) {
      EXPECT_NE(run.list, ResultOk) << "cut at " << n;
    }
    for (size_t k = 0; k < run.extract.size(); ++k)
      if (n < whole.size() - 1) {
        EXPECT_TRUE(k == 0 || run.extract[k] != ResultOk) << "cut at " << n;
      }
    PictureRun picture = RunPicture(*m, cut);
    // The decoder reads the larger image up to the end of its colour rows, not the mask.
    const size_t colourEnd = 38 + 296 + 40 + 256 * 4 + 32 * 32;
    if (n < colourEnd) {
      EXPECT_NE(picture.picture, ResultOk) << "cut at " << n;
    }
    EXPECT_LT(run.seconds + picture.seconds, PromptSeconds);
  }
}

}  // namespace
