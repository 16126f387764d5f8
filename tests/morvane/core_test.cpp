// The decoder driven directly: header test, image choice, layout checks, the
// block builder's handle rules and the input dispatch.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/host.h"
#include "tests/builders/icon.h"
#include "morvane/icon_picture.h"
#include "framework/picture.h"
#include "morvane/png_image.h"
#include "morvane/settings.h"
#include "platform/fault.h"

// The plug-in's settings live in its own library; the tests set them directly.
int GroupIcon = TreatAsArchive;
int FileName = NumberName;

using namespace build;

ByteView View(const Bytes& b) { return ByteView{b.data(), b.size()}; }

namespace {

struct GroupIconScope {
  explicit GroupIconScope(int v) : saved(GroupIcon) { GroupIcon = v; }
  ~GroupIconScope() { GroupIcon = saved; }
  int saved;
};

SpiHandle const Untouched = reinterpret_cast<SpiHandle>(static_cast<uintptr_t>(0x5A5A5A50));

struct Dib {
  int result = 0;
  std::vector<uint8_t> info;
  std::vector<uint8_t> bits;
};

Dib Build(const Bytes& file) {
  Dib d;
  SpiHandle hi = Untouched, hb = Untouched;
  d.result = BuildDib(View(file), FillIconPictureInfo, CopyIconBits, nullptr, 0, &hi, &hb);
  if (d.result == ResultOk) {
    d.info = host::TakeBlock(hi);
    d.bits = host::TakeBlock(hb);
  } else {
    EXPECT_TRUE(hi == nullptr || hi == Untouched);
  }
  return d;
}

}  // namespace

TEST(MorvaneStride, PadsRowsToFourBytes) {
  EXPECT_EQ(DibStride(16, 1), 4);
  EXPECT_EQ(DibStride(33, 1), 8);
  EXPECT_EQ(DibStride(32, 1), 4);
  EXPECT_EQ(DibStride(1, 4), 4);
  EXPECT_EQ(DibStride(9, 4), 8);
  EXPECT_EQ(DibStride(32, 4), 16);
  EXPECT_EQ(DibStride(5, 8), 8);
  EXPECT_EQ(DibStride(3, 16), 8);
  EXPECT_EQ(DibStride(48, 24), 144);
  EXPECT_EQ(DibStride(3, 24), 12);
  EXPECT_EQ(DibStride(0, 8), 0);
  EXPECT_EQ(DibStride(-1, 8), -1);
  EXPECT_EQ(DibStride(INT32_MAX, 65535), -1);
}

TEST(MorvaneTest, HeaderFieldsDecide) {
  Bytes one = IconFile(ImageSpec{});
  Bytes cur = IconFile(ImageSpec{}, 2);
  Bytes three = IconFile({ImageBlock({}), ImageBlock({}), ImageBlock({})});
  for (int g : {TreatAsArchive, ShowFirstIcon, ShowLargeIcon}) {
    GroupIconScope scope(g);
    EXPECT_EQ(TestIconPicture(View(one)), 1);
    EXPECT_EQ(TestIconPicture(View(cur)), 2);
    EXPECT_EQ(TestIconPicture(View(three)), g == TreatAsArchive ? 0 : 1) << g;

    Bytes bad = one;
    bad[0] = 1;  // reserved
    EXPECT_EQ(TestIconPicture(View(bad)), 0);
    bad = one;
    bad[2] = 3;  // type
    EXPECT_EQ(TestIconPicture(View(bad)), 0);
    bad = one;
    Put32(bad, ImageOffsetAt(0), 22 + 2);  // first block not behind the directory
    EXPECT_EQ(TestIconPicture(View(bad)), 0);
    // An empty directory whose offset field happens to say 6.
    Bytes empty = one;
    empty[4] = 0;
    Put32(empty, ImageOffsetAt(0), 6);
    EXPECT_EQ(TestIconPicture(View(empty)), 0);
    // Too short to hold entry 0's offset.
    EXPECT_EQ(TestIconPicture(ByteView{one.data(), 21}), 0);
    EXPECT_EQ(TestIconPicture(ByteView{}), 0);
  }
}

TEST(MorvaneInfo, ReportsTheImageOfA4BitIcon) {
  Bytes f = IconFile(ImageSpec{32, 32, 4});
  PictureInfo info;
  std::memset(&info, 0x77, sizeof info);
  ASSERT_EQ(FillIconPictureInfo(View(f), &info), ResultOk);
  EXPECT_EQ(info.left, 0);
  EXPECT_EQ(info.top, 0);
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.height, 32);
  EXPECT_EQ(info.x_density, 1);
  EXPECT_EQ(info.y_density, 1);
  EXPECT_EQ(info.colorDepth, 4);
  SpiHandle text = info.hInfo;  // a copy: the packed field is unaligned
  EXPECT_EQ(text, nullptr);
}

TEST(MorvaneInfo, FailureLeavesTheRecordAlone) {
  Bytes f = IconFile(ImageSpec{});
  f[2] = 7;
  PictureInfo info;
  std::memset(&info, 0x77, sizeof info);
  PictureInfo before = info;
  EXPECT_EQ(FillIconPictureInfo(View(f), &info), ResultBrokenData);
  EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
}

TEST(MorvaneDib, BlocksForEachBitCount) {
  struct Case { int w, h, bits; size_t infoSize, bitsSize; };
  const Case cases[] = {
      {32, 32, 4, 104, 512},   {16, 16, 1, 48, 64},  {48, 48, 24, 40, 6912},
      {13, 7, 1, 48, 28},      {5, 3, 4, 104, 12},   {7, 9, 8, 1064, 72},
      {3, 5, 16, 40, 40},      {3, 5, 24, 40, 60},
  };
  for (const Case& c : cases) {
    ImageSpec s{c.w, c.h, c.bits};
    s.seed = 3;
    Dib d = Build(IconFile(s));
    ASSERT_EQ(d.result, ResultOk) << c.w << "x" << c.h << "x" << c.bits;
    ASSERT_EQ(d.info.size(), c.infoSize);
    ASSERT_EQ(d.bits.size(), c.bitsSize);
    EXPECT_EQ(Get32(d.info, 0), 40u);
    EXPECT_EQ(Get32(d.info, 4), static_cast<uint32_t>(c.w));
    EXPECT_EQ(Get32(d.info, 8), static_cast<uint32_t>(c.h));
    EXPECT_EQ(d.info[12] | d.info[13] << 8, 1);
    EXPECT_EQ(d.info[14] | d.info[15] << 8, c.bits);
    EXPECT_EQ(Get32(d.info, 16), 0u);
    EXPECT_EQ(Get32(d.info, 20), c.bitsSize);
    for (size_t at = 24; at < 40; at += 4) EXPECT_EQ(Get32(d.info, at), 0u);
    Bytes pal = PaletteOf(s, 4);
    EXPECT_EQ(Bytes(d.info.begin() + 40, d.info.end()), pal);
    EXPECT_EQ(d.bits, ColourBitsOf(s));
  }
}

TEST(MorvaneDib, ShortHeaderPaletteIsWidened) {
  for (int bits : {1, 4, 8, 24}) {
    ImageSpec s{9, 5, bits};
    s.shortHeader = true;
    Dib d = Build(IconFile(s));
    ASSERT_EQ(d.result, ResultOk) << bits;
    EXPECT_EQ(Bytes(d.info.begin() + 40, d.info.end()), PaletteOf(s, 4));
    EXPECT_EQ(d.bits, ColourBitsOf(s));
  }
}

TEST(MorvaneDib, OddHeaderHeightIsHalvedDown) {
  ImageSpec s{16, 16, 8};
  s.headerHeight = 33;
  Dib d = Build(IconFile(s));
  ASSERT_EQ(d.result, ResultOk);
  EXPECT_EQ(Get32(d.info, 8), 16u);
  EXPECT_EQ(d.bits.size(), 16u * 16u);
}

TEST(MorvaneDib, HeaderSizeAboveFortyMovesThePalette) {
  ImageSpec s{8, 8, 4};
  s.headerSize = 108;  // a version-4 header
  Dib d = Build(IconFile(s));
  ASSERT_EQ(d.result, ResultOk);
  EXPECT_EQ(Bytes(d.info.begin() + 40, d.info.end()), PaletteOf(s, 4));
  EXPECT_EQ(d.bits, ColourBitsOf(s));
}

TEST(MorvaneDib, DepthsNotHandedOverLeaveTheHandles) {
  for (int bits : {0, 2, 48}) {
    Bytes f = IconFile(ImageSpec{8, 8, bits});
    PictureInfo info{};
    ASSERT_EQ(FillIconPictureInfo(View(f), &info), ResultOk) << bits;
    EXPECT_EQ(info.colorDepth, bits);
    SpiHandle hi = Untouched, hb = Untouched;
    EXPECT_EQ(BuildDib(View(f), FillIconPictureInfo, CopyIconBits, nullptr, 0, &hi, &hb),
              ResultNotImplemented);
    EXPECT_EQ(hi, Untouched);
    EXPECT_EQ(hb, Untouched);
  }
}

TEST(MorvaneDib, ThirtyTwoBitsKeepTheirAlpha) {
  ImageSpec s{7, 5, 32};
  s.seed = 1;
  Dib d = Build(IconFile(s));
  ASSERT_EQ(d.result, ResultOk);
  EXPECT_EQ(d.info.size(), 40u);
  EXPECT_EQ(d.info[14], 32);
  EXPECT_EQ(Get32(d.info, 20), 7u * 4u * 5u);
  EXPECT_EQ(d.bits, ColourBitsOf(s));
}

TEST(MorvaneDib, AllZeroAlphaComesFromTheMask) {
  ImageSpec s{9, 3, 32};  // mask 0xAA: odd columns shown, even ones transparent
  Bytes f = IconFile(s);
  for (size_t i = 22 + 40 + 3; i < 22 + 40 + 9 * 4 * 3; i += 4) f[i] = 0;
  Dib d = Build(f);
  ASSERT_EQ(d.result, ResultOk);
  Bytes colour = ColourBitsOf(s);
  for (size_t p = 0; p < 9 * 3; ++p) {
    size_t x = p % 9;
    EXPECT_EQ(d.bits[4 * p + 3], x % 2 ? 255 : 0) << p;
    EXPECT_EQ(d.bits[4 * p], colour[4 * p]) << p;
  }
  // Without a whole mask in the input every pixel is shown.
  Bytes cut(f.begin(), f.end() - 1);
  d = Build(cut);
  ASSERT_EQ(d.result, ResultOk);
  for (size_t p = 0; p < 9 * 3; ++p) EXPECT_EQ(d.bits[4 * p + 3], 255) << p;
}

namespace {

Bytes PngIcon(const Bytes& png, uint16_t type = 1) { return IconFile(std::vector<Bytes>{png}, type); }

}  // namespace

TEST(MorvanePng, DecodesToBottomUpBgra) {
  // 3 x 2: top row red, green, blue; bottom row half-transparent grey, black, white.
  Bytes rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255,
                128, 128, 128, 128, 0, 0, 0, 0, 255, 255, 255, 255};
  Bytes f = PngIcon(Png(3, 2, rgba));
  PictureInfo info{};
  ASSERT_EQ(FillIconPictureInfo(View(f), &info), ResultOk);
  EXPECT_EQ(info.width, 3);
  EXPECT_EQ(info.height, 2);
  EXPECT_EQ(info.colorDepth, 32);
  Dib d = Build(f);
  ASSERT_EQ(d.result, ResultOk);
  EXPECT_EQ(d.info.size(), 40u);
  EXPECT_EQ(Get32(d.info, 8), 2u);
  EXPECT_EQ(Get32(d.info, 20), 24u);
  Bytes want = {128, 128, 128, 128, 0, 0, 0, 0, 255, 255, 255, 255,
                0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255};
  EXPECT_EQ(d.bits, want);
}

TEST(MorvanePng, CorruptImagesAreRefused) {
  GroupIconScope scope(ShowLargeIcon);
  Bytes rgba(16 * 16 * 4, 0x40);
  Bytes png = Png(16, 16, rgba);
  ASSERT_EQ(Build(PngIcon(png)).result, ResultOk);

  Bytes badCrc = png;
  badCrc[badCrc.size() - 20] ^= 1;  // inside IDAT
  Bytes truncated(png.begin(), png.end() - 12);  // no IEND
  Bytes wrongFirst = png;
  std::memcpy(&wrongFirst[12], "IHDX", 4);
  Bytes huge = Png(100000, 100000, {}, &png);  // any IDAT: the size alone is refused
  Bytes zero = Png(0, 16, {}, &png);
  Bytes bomb = ZlibBomb(400000);  // 100 MB from 650 KB
  Bytes bombPng = Png(16, 16, {}, &bomb);
  Bytes garbage = ZlibStored(Bytes(100, 7));
  Bytes garbagePng = Png(16, 16, {}, &garbage);  // too few bytes for 16 rows
  for (const Bytes* p : {&badCrc, &truncated, &wrongFirst, &huge, &zero, &bombPng, &garbagePng}) {
    Dib d = Build(PngIcon(*p));
    EXPECT_EQ(d.result, ResultBrokenData) << (p - &badCrc);
  }
  // The entry's byte size reaching past the input, or cutting the PNG short.
  Bytes f = PngIcon(png);
  Put32(f, ByteSizeAt(0), static_cast<uint32_t>(png.size() + 1));
  EXPECT_EQ(Build(f).result, ResultBrokenData);
  Put32(f, ByteSizeAt(0), static_cast<uint32_t>(png.size() - 1));
  EXPECT_EQ(Build(f).result, ResultBrokenData);
}

// Each decode is held to its own image's allocation limit, also while other
// threads decode images of other sizes at the same time.
TEST(MorvanePng, ConcurrentDecodesKeepTheirOwnLimits) {
  Bytes large = Png(1024, 1024, Bytes(1024 * 1024 * 4, 0x33));  // needs more than the small limit
  Bytes bomb = ZlibBomb(400000);
  Bytes small = Png(16, 16, {}, &bomb);
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      Bytes bits;
      for (int i = 0; i < 6; ++i) {
        bool big = (t + i) % 2 == 0;
        uint32_t side = big ? 1024 : 16;
        bits.assign(size_t{side} * side * 4, 0);
        bool ok = DecodePngImage(View(big ? large : small), side, side, bits.data(),
                                 static_cast<uint32_t>(bits.size()));
        if (ok != big || (big && bits[0] != 0x33)) ++failures[t];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// Whole groups of Wine's libraries under the settings that show a group.
TEST(MorvaneWine, EveryGroupDecodesWhenShown) {
  std::ifstream manifest("samples/wine/manifest.txt");
  if (!manifest) GTEST_SKIP() << "no Wine icons extracted at build time";
  std::string name;
  int files = 0;
  while (manifest >> name) {
    std::ifstream in("samples/wine/" + name, std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int g : {ShowFirstIcon, ShowLargeIcon}) {
      GroupIconScope scope(g);
      EXPECT_EQ(Build(file).result, ResultOk) << name << " " << g;
    }
    ++files;
  }
  EXPECT_GT(files, 0);
}

TEST(MorvaneChoice, LargestByteSizeEarliestAmongEquals) {
  ImageSpec small{16, 16, 4}, big{32, 32, 8}, mid{24, 24, 8};
  small.seed = 1;
  big.seed = 2;
  mid.seed = 3;
  Bytes f = IconFile({ImageBlock(small), ImageBlock(big), ImageBlock(mid), ImageBlock(big)});
  {
    GroupIconScope scope(TreatAsArchive);
    EXPECT_EQ(Build(f).result, ResultBrokenData);
  }
  {
    GroupIconScope scope(ShowFirstIcon);
    Dib d = Build(f);
    ASSERT_EQ(d.result, ResultOk);
    EXPECT_EQ(d.bits, ColourBitsOf(small));
  }
  {
    GroupIconScope scope(ShowLargeIcon);
    Dib d = Build(f);
    ASSERT_EQ(d.result, ResultOk);
    EXPECT_EQ(Get32(d.info, 4), 32u);
    EXPECT_EQ(d.bits, ColourBitsOf(big));
    // Only the byte size counts, read as signed: a "huge" negative one loses.
    Bytes g = f;
    Put32(g, ByteSizeAt(2), 0x80000000u);
    Put32(g, ByteSizeAt(0), 0x7FFFFFFFu);
    d = Build(g);
    ASSERT_EQ(d.result, ResultOk);
    EXPECT_EQ(d.bits, ColourBitsOf(small));
    // No byte size above 0: entry 0.
    for (int i = 0; i < 4; ++i) Put32(g, ByteSizeAt(i), 0);
    d = Build(g);
    ASSERT_EQ(d.result, ResultOk);
    EXPECT_EQ(d.bits, ColourBitsOf(small));
  }
}

TEST(MorvaneBounds, EveryPartMustLieWithinTheInput) {
  GroupIconScope scope(ShowLargeIcon);
  ImageSpec s{16, 16, 8};
  s.withMask = false;
  Bytes f = IconFile(s);
  ASSERT_EQ(Build(f).result, ResultOk);
  // One byte short of the colour bitmap, of the palette, of the header.
  size_t headerAt = 22;
  for (size_t size : {f.size() - 1, headerAt + 40 + 1024 - 1, headerAt + 39, headerAt + 3,
                      size_t{21}}) {
    Bytes cut(f.begin(), f.begin() + static_cast<ptrdiff_t>(size));
    EXPECT_EQ(Build(cut).result, ResultBrokenData) << size;
    PictureInfo info{};
    EXPECT_EQ(FillIconPictureInfo(View(cut), &info), ResultBrokenData) << size;
  }
  // A directory that claims more entries than the input holds.
  Bytes two = IconFile({ImageBlock(s), ImageBlock(s)});
  two[4] = 200;
  Put32(two, ImageOffsetAt(0), 6 + 16 * 200);
  EXPECT_EQ(Build(two).result, ResultBrokenData);
  // The chosen entry's block lies outside.
  two = IconFile({ImageBlock(s), ImageBlock(s)});
  Put32(two, ByteSizeAt(1), 1u << 30);
  Put32(two, ImageOffsetAt(1), 0xFFFFFFF0u);
  EXPECT_EQ(Build(two).result, ResultBrokenData);
  // A header size that pushes the palette past the end (and would wrap in 32 bits).
  Bytes g = f;
  Put32(g, headerAt, 0xFFFFFFFFu);
  EXPECT_EQ(Build(g).result, ResultBrokenData);
}

TEST(MorvaneBounds, CraftedDimensionsAreRefusedBeforeAllocating) {
  struct Case { int32_t width, headerHeight; uint16_t bits; };
  const Case cases[] = {
      {-16, 32, 8},          {16, -32, 8},          {0, 32, 8},       {16, 1, 8},
      {16, 0, 8},            {INT32_MAX, 32, 24},   {16, INT32_MIN, 8},
      {0x10000, 2, 1},       {1, 0x7FFFFFFE, 1},    {65535, 65535 * 2, 65535},
  };
  for (const Case& c : cases) {
    ImageSpec s{16, 16, 8};
    Bytes f = IconFile(s);
    Put32(f, 22 + 4, static_cast<uint32_t>(c.width));
    Put32(f, 22 + 8, static_cast<uint32_t>(c.headerHeight));
    Put16(f, 22 + 14, static_cast<uint16_t>(c.bits));
    EXPECT_EQ(Build(f).result, ResultBrokenData) << c.width << " " << c.headerHeight;
  }
}

namespace {

struct ProgressLog {
  std::vector<std::vector<int>> calls;
  int answer = 0;
};

int SPI_CALL Progress(int done, int total, SpiUserValue user) {
  auto* log = reinterpret_cast<ProgressLog*>(user);
  log->calls.push_back({done, total});
  return log->answer;
}

int FailingInfo(ByteView, PictureInfo*) { return ResultBrokenData; }
int FailingBits(ByteView, const DibTarget*, ProgressCallback, SpiUserValue) {
  return ResultBrokenData;
}

}  // namespace

TEST(MorvaneFrame, ProgressBeforeAndAfterSuccessOnly) {
  Bytes f = IconFile(ImageSpec{});
  const char* mem = reinterpret_cast<const char*>(f.data());
  int32_t len = static_cast<int32_t>(f.size());
  ProgressLog log;
  SpiHandle hi = Untouched, hb = Untouched;
  ASSERT_EQ(PictureFromInput(mem, len, InputMemory, &hi, &hb, Progress,
                             reinterpret_cast<SpiUserValue>(&log), FillIconPictureInfo,
                             CopyIconBits),
            ResultOk);
  host::TakeBlock(hi);
  host::TakeBlock(hb);
  EXPECT_EQ(log.calls, (std::vector<std::vector<int>>{{0, 1}, {1, 1}}));

  // Stop at once: nothing opened, handles untouched, no second call.
  log = ProgressLog{};
  log.answer = 1;
  hi = hb = Untouched;
  EXPECT_EQ(PictureFromInput("no such file", 0, InputFile, &hi, &hb, Progress,
                             reinterpret_cast<SpiUserValue>(&log), FillIconPictureInfo,
                             CopyIconBits),
            ResultAborted);
  EXPECT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(hi, Untouched);
  EXPECT_EQ(hb, Untouched);

  // A failure reports nothing after the first call.
  log = ProgressLog{};
  Bytes bad = f;
  bad[2] = 9;
  EXPECT_EQ(PictureFromInput(reinterpret_cast<const char*>(bad.data()), len, InputMemory, &hi,
                             &hb, Progress, reinterpret_cast<SpiUserValue>(&log),
                             FillIconPictureInfo, CopyIconBits),
            ResultBrokenData);
  EXPECT_EQ(log.calls.size(), 1u);
}

TEST(MorvaneFrame, HandleRulesOnFailure) {
  Bytes f = IconFile(ImageSpec{});
  SpiHandle hi = Untouched, hb = Untouched;
  EXPECT_EQ(BuildDib(View(f), FailingInfo, CopyIconBits, nullptr, 0, &hi, &hb),
            ResultBrokenData);
  EXPECT_EQ(hi, Untouched);
  EXPECT_EQ(hb, Untouched);
  EXPECT_EQ(BuildDib(View(f), FillIconPictureInfo, FailingBits, nullptr, 0, &hi, &hb),
            ResultBrokenData);
  EXPECT_EQ(hi, nullptr);
  EXPECT_EQ(hb, nullptr);
}

TEST(MorvaneFrame, InputKinds) {
  Bytes f = IconFile(ImageSpec{8, 8, 24});
  const char* mem = reinterpret_cast<const char*>(f.data());
  int32_t len = static_cast<int32_t>(f.size());
  for (unsigned flags = 2; flags <= 7; ++flags) {
    PictureInfo info{};
    SpiHandle hi = Untouched, hb = Untouched;
    EXPECT_EQ(PictureInfoFromInput(mem, len, flags, FillIconPictureInfo, &info),
              ResultNotImplemented);
    EXPECT_EQ(PictureFromInput(mem, len, flags, &hi, &hb, nullptr, 0, FillIconPictureInfo,
                               CopyIconBits),
              ResultNotImplemented);
    EXPECT_EQ(hi, Untouched);
  }
  PictureInfo info{};
  EXPECT_EQ(PictureInfoFromInput(mem, len, 0x11, FillIconPictureInfo, &info), ResultOk);
  EXPECT_EQ(info.width, 8);
  // The given length bounds memory input (the mask, 32 bytes, is never read).
  EXPECT_EQ(PictureInfoFromInput(mem, len - 32, InputMemory, FillIconPictureInfo, &info), ResultOk);
  EXPECT_EQ(PictureInfoFromInput(mem, len - 33, InputMemory, FillIconPictureInfo, &info),
            ResultBrokenData);
  // No length: the readable memory around the icon bounds it.
  EXPECT_EQ(PictureInfoFromInput(mem, 0, InputMemory, FillIconPictureInfo, &info), ResultOk);
  EXPECT_EQ(PictureInfoFromInput(mem, -1, InputMemory, FillIconPictureInfo, &info),
            ResultBrokenData);

  // File input from an offset, with flags 0x10 meaning file input too.
  std::string path = "morvane_core_test_input.bin";
  Bytes padded = Concat(Bytes(100, 0xEE), f);
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(padded.data(), 1, padded.size(), out);
  std::fclose(out);
  info = PictureInfo{};
  EXPECT_EQ(PictureInfoFromInput(path.c_str(), 100, 0x10, FillIconPictureInfo, &info), ResultOk);
  EXPECT_EQ(info.colorDepth, 24);
  EXPECT_EQ(PictureInfoFromInput(path.c_str(), 0, InputFile, FillIconPictureInfo, &info),
            ResultBrokenData);
  EXPECT_EQ(PictureInfoFromInput(path.c_str(), 1 << 30, InputFile, FillIconPictureInfo, &info),
            ResultBrokenData);
  SpiHandle hi = Untouched, hb = Untouched;
  ASSERT_EQ(PictureFromInput(path.c_str(), 100, InputFile, &hi, &hb, nullptr, 0,
                             FillIconPictureInfo, CopyIconBits),
            ResultOk);
  EXPECT_EQ(host::TakeBlock(hb), ColourBitsOf(ImageSpec{8, 8, 24}));
  host::TakeBlock(hi);
  std::remove(path.c_str());
  hi = hb = Untouched;
  EXPECT_EQ(PictureFromInput(path.c_str(), 100, InputFile, &hi, &hb, nullptr, 0,
                             FillIconPictureInfo, CopyIconBits),
            ResultReadError);
  EXPECT_EQ(hi, Untouched);
  EXPECT_EQ(PictureInfoFromInput(path.c_str(), 0, InputFile, FillIconPictureInfo, &info),
            ResultReadError);
}

#ifdef SPI_FAULT_INJECTION
// Each failure of a block operation, in the order BuildDib meets them.
TEST(MorvaneFrame, BlockFailureRows) {
  Bytes f = IconFile(ImageSpec{16, 16, 8});
  struct Row { platform::FaultKind kind; int nth; int result; bool infoNull, bitsNull; };
  const Row rows[] = {
      {platform::FaultAlloc, 1, ResultNoMemory, true, false},    // information block
      {platform::FaultLock, 1, ResultMemoryError, true, true},
      {platform::FaultAlloc, 2, ResultNoMemory, true, true},     // bits block
      {platform::FaultLock, 2, ResultMemoryError, true, true},
  };
  for (const Row& r : rows) {
    SpiHandle hi = Untouched, hb = Untouched;
    platform::FailNth(r.kind, r.nth);
    EXPECT_EQ(BuildDib(View(f), FillIconPictureInfo, CopyIconBits, nullptr, 0, &hi, &hb),
              r.result);
    platform::ClearFaults();
    EXPECT_EQ(hi, r.infoNull ? nullptr : Untouched);
    EXPECT_EQ(hb, r.bitsNull ? nullptr : Untouched);
  }
  // A file that cannot be mapped.
  std::string path = "morvane_core_test_map.ico";
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(f.data(), 1, f.size(), out);
  std::fclose(out);
  SpiHandle hi = Untouched, hb = Untouched;
  platform::FailNth(platform::FaultMap, 1);
  EXPECT_EQ(PictureFromInput(path.c_str(), 0, InputFile, &hi, &hb, nullptr, 0,
                             FillIconPictureInfo, CopyIconBits),
            ResultReadError);
  platform::ClearFaults();
  EXPECT_EQ(hi, Untouched);
  EXPECT_EQ(hb, Untouched);
  std::remove(path.c_str());
}
#endif
