// Bitmap blocks as image plug-ins hand them over, turned into pixels and into
// PNG and BMP files; the files are read back with stb_image, which shares no
// code with spihost's conversion.
#include <gtest/gtest.h>

#include <cstring>

#include "picture.h"
#include "thumbnail.h"
#include "tests/builders/bytes.h"
#include "tests/builders/icon.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#include <stb_image.h>
#pragma GCC diagnostic pop

using build::Put32;
using spihost::RgbaImage;

namespace {

struct Dib {
  std::vector<uint8_t> info;
  std::vector<uint8_t> bits;
};

// A 40-byte header, then palette entries (blue, green, red, 0).
Dib MakeDib(int width, int height, int bits, const std::vector<uint32_t>& palette,
            uint32_t compression = 0) {
  Dib d;
  d.info.assign(40 + palette.size() * 4, 0);
  Put32(d.info, 0, 40);
  Put32(d.info, 4, static_cast<uint32_t>(width));
  Put32(d.info, 8, static_cast<uint32_t>(height));
  d.info[12] = 1;
  d.info[14] = static_cast<uint8_t>(bits);
  Put32(d.info, 16, compression);
  for (size_t i = 0; i < palette.size(); i++) Put32(d.info, 40 + i * 4, palette[i]);
  const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  d.bits.assign(stride * static_cast<size_t>(height < 0 ? -height : height), 0);
  return d;
}

uint32_t Pixel(const RgbaImage& im, int x, int y) {
  const uint8_t* p = &im.pixels[(static_cast<size_t>(y) * im.width + x) * 4];
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

RgbaImage Convert(const Dib& d) {
  RgbaImage im;
  std::string why = spihost::DibToImage(d.info.data(), d.info.size(), d.bits.data(), d.bits.size(), &im);
  EXPECT_EQ(why, "");
  return im;
}

// Decodes an encoded file with stb_image into RGBA.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& file, int* w, int* h) {
  int channels = 0;
  uint8_t* p = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), w, h, &channels, 4);
  if (!p) return {};
  std::vector<uint8_t> out(p, p + static_cast<size_t>(*w) * *h * 4);
  stbi_image_free(p);
  return out;
}

void ExpectFilesShowImage(const Dib& d, const RgbaImage& im) {
  std::vector<uint8_t> png, bmp;
  ASSERT_TRUE(spihost::EncodePng(im, &png));
  ASSERT_EQ(spihost::DibToBmpFile(d.info.data(), d.info.size(), d.bits.data(), d.bits.size(), &bmp), "");
  int w = 0, h = 0;
  EXPECT_EQ(Decode(png, &w, &h), im.pixels);
  EXPECT_EQ(w, im.width);
  EXPECT_EQ(h, im.height);
  std::vector<uint8_t> fromBmp = Decode(bmp, &w, &h);
  if (im.hasAlpha) {
    // stb reads a 32-bit bitmap's fourth byte as alpha only in newer headers; compare colours.
    for (size_t i = 0; i < fromBmp.size(); i++) {
      if (i % 4 == 3) continue;
      ASSERT_EQ(fromBmp[i], im.pixels[i]) << i;
    }
  } else {
    EXPECT_EQ(fromBmp, im.pixels);
  }
}

TEST(Picture, PaletteDepthsReadBitsFromTheHighEnd) {
  // 1 bit: 10 pixels, pattern 1011001110 in the bottom row (stored first).
  Dib one = MakeDib(10, 2, 1, {0x000000, 0xFF8040});
  one.bits[0] = 0xB3;
  one.bits[1] = 0x80;
  RgbaImage im = Convert(one);
  EXPECT_EQ(Pixel(im, 0, 1), 0xFF8040FFu);
  EXPECT_EQ(Pixel(im, 1, 1), 0x000000FFu);
  EXPECT_EQ(Pixel(im, 8, 1), 0xFF8040FFu);
  EXPECT_EQ(Pixel(im, 9, 1), 0x000000FFu);
  EXPECT_EQ(Pixel(im, 0, 0), 0x000000FFu);  // the top row is stored second and is zero
  ExpectFilesShowImage(one, im);

  Dib four = MakeDib(3, 1, 4, std::vector<uint32_t>(16, 0));
  Put32(four.info, 40 + 4 * 0xA, 0x00112233);
  Put32(four.info, 40 + 4 * 0x5, 0x00445566);
  four.bits[0] = 0xA5;
  four.bits[1] = 0x50;
  im = Convert(four);
  EXPECT_EQ(Pixel(im, 0, 0), 0x112233FFu);
  EXPECT_EQ(Pixel(im, 1, 0), 0x445566FFu);
  EXPECT_EQ(Pixel(im, 2, 0), 0x445566FFu);
  ExpectFilesShowImage(four, im);

  std::vector<uint32_t> grey(256);
  for (uint32_t i = 0; i < 256; i++) grey[i] = i * 0x010101;
  Dib eight = MakeDib(5, 3, 8, grey);
  for (size_t i = 0; i < eight.bits.size(); i++) eight.bits[i] = static_cast<uint8_t>(i * 17);
  im = Convert(eight);
  EXPECT_EQ(Pixel(im, 2, 2), 0x222222FFu);  // bottom row: byte 2
  ExpectFilesShowImage(eight, im);
}

TEST(Picture, ShortPalettesAndOutOfRangeIndices) {
  // Two colours used of an 8-bit palette: index 7 has no entry and shows black.
  Dib d = MakeDib(2, 1, 8, {0xFFFFFF, 0x0000FF});
  Put32(d.info, 32, 2);
  d.bits[0] = 1;
  d.bits[1] = 7;
  RgbaImage im = Convert(d);
  EXPECT_EQ(Pixel(im, 0, 0), 0x0000FFFFu);
  EXPECT_EQ(Pixel(im, 1, 0), 0x000000FFu);
  // A palette block shorter than the depth needs is broken.
  Dib cut = MakeDib(2, 1, 8, {0xFFFFFF});
  RgbaImage unused;
  EXPECT_NE(spihost::DibToImage(cut.info.data(), cut.info.size(), cut.bits.data(), cut.bits.size(), &unused), "");
}

TEST(Picture, HighColourDepths) {
  Dib d16 = MakeDib(2, 1, 16, {});
  d16.bits[0] = 0x00;  // 0x7C00: full red
  d16.bits[1] = 0x7C;
  d16.bits[2] = 0x1F;  // 0x001F: full blue
  d16.bits[3] = 0x00;
  RgbaImage im = Convert(d16);
  EXPECT_EQ(Pixel(im, 0, 0), 0xFF0000FFu);
  EXPECT_EQ(Pixel(im, 1, 0), 0x0000FFFFu);
  ExpectFilesShowImage(d16, im);

  Dib d24 = MakeDib(1, 2, 24, {});
  d24.bits = {0x01, 0x02, 0x03, 0, 0x0A, 0x0B, 0x0C, 0};
  im = Convert(d24);
  EXPECT_EQ(Pixel(im, 0, 1), 0x030201FFu);  // bottom row first in the block
  EXPECT_EQ(Pixel(im, 0, 0), 0x0C0B0AFFu);
  ExpectFilesShowImage(d24, im);

  // Top-down rows (negative height).
  Dib down = MakeDib(1, -2, 24, {});
  down.bits = {0x01, 0x02, 0x03, 0, 0x0A, 0x0B, 0x0C, 0};
  im = Convert(down);
  EXPECT_EQ(Pixel(im, 0, 0), 0x030201FFu);
}

TEST(Picture, ThirtyTwoBitsKeepAlphaUnlessAllZero) {
  Dib d = MakeDib(2, 1, 32, {});
  d.bits = {0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, 0x00};
  RgbaImage im = Convert(d);
  EXPECT_TRUE(im.hasAlpha);
  EXPECT_EQ(Pixel(im, 0, 0), 0x30201080u);
  EXPECT_EQ(Pixel(im, 1, 0), 0x60504000u);
  ExpectFilesShowImage(d, im);

  d.bits[3] = 0;
  im = Convert(d);
  EXPECT_FALSE(im.hasAlpha);
  EXPECT_EQ(Pixel(im, 0, 0), 0x302010FFu);

  // Bit fields: 5-6-5 in 16 bits.
  Dib f = MakeDib(1, 1, 16, {}, 3);
  f.info.resize(52);
  Put32(f.info, 40, 0xF800);
  Put32(f.info, 44, 0x07E0);
  Put32(f.info, 48, 0x001F);
  f.bits[0] = 0xE0;  // 0x07E0: full green
  f.bits[1] = 0x07;
  im = Convert(f);
  EXPECT_EQ(Pixel(im, 0, 0), 0x00FF00FFu);
}

TEST(Picture, RefusesWhatItCannotShow) {
  RgbaImage im;
  auto why = [&](const Dib& d) {
    return spihost::DibToImage(d.info.data(), d.info.size(), d.bits.data(), d.bits.size(), &im);
  };
  EXPECT_NE(why(MakeDib(0, 4, 24, {})), "");                 // no pixels
  EXPECT_NE(why(MakeDib(4, 4, 2, {0, 0, 0, 0})), "");        // depth 2
  EXPECT_NE(why(MakeDib(4, 4, 8, std::vector<uint32_t>(256), 1)), "");  // RLE
  Dib huge = MakeDib(1, 1, 24, {});
  Put32(huge.info, 4, 100000);
  Put32(huge.info, 8, 100000);
  EXPECT_NE(why(huge), "");                                  // absurd size, nothing allocated
  Dib cut = MakeDib(4, 4, 24, {});
  cut.bits.resize(cut.bits.size() - 1);
  EXPECT_NE(why(cut), "");                                   // rows cut short
  Dib header = MakeDib(4, 4, 24, {});
  Put32(header.info, 0, 20);
  EXPECT_NE(why(header), "");                                // unknown header
  std::vector<uint8_t> tiny{40, 0};
  EXPECT_NE(spihost::DibToImage(tiny.data(), tiny.size(), nullptr, 0, &im), "");
}

TEST(Picture, BmpFileHeaderAndBackAgain) {
  Dib d = MakeDib(3, 2, 8, std::vector<uint32_t>(256, 0x123456));
  d.info.resize(d.info.size() + 100);  // a plug-in may hand over a larger block
  std::vector<uint8_t> file;
  ASSERT_EQ(spihost::DibToBmpFile(d.info.data(), d.info.size(), d.bits.data(), d.bits.size(), &file), "");
  EXPECT_EQ(file.size(), 14u + 40 + 1024 + 8);
  EXPECT_EQ(file[10] | (file[11] << 8), 14 + 40 + 1024);
  size_t io, is, bo, bs;
  ASSERT_EQ(spihost::BmpFileToDib(file, &io, &is, &bo, &bs), "");
  EXPECT_EQ(io, 14u);
  EXPECT_EQ(bo, 14u + 40 + 1024);
  EXPECT_EQ(bs, 8u);
  std::vector<uint8_t> bad = file;
  bad[10] = 0xFF;
  bad[11] = 0xFF;
  EXPECT_NE(spihost::BmpFileToDib(bad, &io, &is, &bo, &bs), "");
}

// The image a thumbnail shows: the smallest that covers the size, else the
// largest; the highest depth among equals; the first among true ties.
TEST(Thumbnail, ChoosesTheImageExplorerWould) {
  using C = spihost::ImageChoice;
  const std::vector<C> icon{{16, 16, 32}, {32, 32, 8}, {32, 32, 32}, {48, 48, 4}, {256, 256, 32}};
  const struct { int size; int chosen; } cases[] = {
      {16, 0}, {24, 2}, {32, 2}, {40, 3}, {48, 3}, {64, 4}, {256, 4}, {512, 4}, {1, 0}};
  for (const auto& c : cases) EXPECT_EQ(spihost::ChooseImage(icon, c.size), c.chosen) << c.size;
  EXPECT_EQ(spihost::ChooseImage({{32, 32, 8}, {32, 32, 8}}, 128), 0);
  EXPECT_EQ(spihost::ChooseImage({{0, 0, 32}, {16, 32, 4}}, 64), 1);  // a broken entry is never chosen
  EXPECT_EQ(spihost::ChooseImage({}, 64), -1);
}

// A stored PNG is the thumbnail only when whole and already of the size asked.
TEST(Thumbnail, StoredPngFitsOnlyWholeAndOfTheSize) {
  // More colours than a palette holds: stored as 8-bit RGBA, as icons store theirs.
  RgbaImage image{20, 18, true, std::vector<uint8_t>(4 * 20 * 18, 200)};
  for (size_t i = 0; i < 20 * 18; ++i) {
    image.pixels[4 * i] = static_cast<uint8_t>(i);
    image.pixels[4 * i + 1] = static_cast<uint8_t>(i >> 8);
  }
  std::vector<uint8_t> png, opaque;
  ASSERT_TRUE(spihost::EncodePng(image, &png));
  int w = 0, h = 0;
  EXPECT_EQ(Decode(png, &w, &h), image.pixels);
  // Without alpha the file is RGB; its rows are filtered three bytes a pixel.
  RgbaImage solid = image;
  solid.hasAlpha = false;
  for (size_t i = 3; i < solid.pixels.size(); i += 4) solid.pixels[i] = 255;
  ASSERT_TRUE(spihost::EncodePng(solid, &opaque));
  EXPECT_EQ(Decode(opaque, &w, &h), solid.pixels);
  EXPECT_FALSE(spihost::FitsAsStored(opaque, 20)) << "RGB is not what an icon stores";
  EXPECT_TRUE(spihost::FitsAsStored(png, 20));
  EXPECT_FALSE(spihost::FitsAsStored(png, 18));  // the longest side counts
  std::vector<uint8_t> damaged = png;
  damaged[damaged.size() - 20] ^= 1;
  std::vector<uint8_t> longer = png;
  longer.push_back(0);
  for (const auto& bad : {damaged, longer, std::vector<uint8_t>(png.begin(), png.end() - 1),
                          std::vector<uint8_t>(png.begin(), png.begin() + 33)})
    EXPECT_FALSE(spihost::FitsAsStored(bad, 20)) << bad.size();
}

#ifndef _WIN32
// A stored 8-bit RGBA PNG that does not fit is decoded here: every row filter
// undone, and anything else (a palette, a stream of the wrong length) left to
// the plug-in that handed it over.
TEST(Thumbnail, StoredPngDecodesWithEveryRowFilter) {
  constexpr uint32_t w = 3, h = 5;  // row y is stored with filter y
  build::Bytes rgba(4 * w * h), raw;
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 37 + (i >> 3) * 101);
  auto at = [&](int x, int y, size_t k) -> int {
    return x < 0 || y < 0 ? 0 : rgba[(size_t{4} * w * y) + 4 * x + k];
  };
  for (int y = 0; y < int{h}; ++y) {
    raw.push_back(static_cast<uint8_t>(y));
    for (int x = 0; x < int{w}; ++x)
      for (size_t k = 0; k < 4; ++k) {
        const int a = at(x - 1, y, k), b = at(x, y - 1, k), c = at(x - 1, y - 1, k);
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        const int predicted[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
        raw.push_back(static_cast<uint8_t>(at(x, y, k) - predicted[y]));
      }
  }
  const build::Bytes idat = build::ZlibStored(raw);
  RgbaImage out;
  ASSERT_TRUE(spihost::DecodePng(build::Png(w, h, rgba, &idat), 100, &out));
  EXPECT_EQ((std::vector<int>{out.width, out.height}), (std::vector<int>{int{w}, int{h}}));
  EXPECT_EQ(out.pixels, rgba);
  RgbaImage split;
  ASSERT_TRUE(spihost::DecodePng(build::Png(w, h, rgba, &idat, 9), 100, &split)) << "the stream over two chunks";
  EXPECT_EQ(split.pixels, rgba);
  EXPECT_FALSE(spihost::DecodePng(build::Png(w, h, rgba, &idat), 14, &out)) << "more pixels than allowed";
  const build::Bytes shortRows = build::ZlibStored(build::Bytes(raw.begin(), raw.end() - 1));
  const build::Bytes bomb = build::ZlibBomb(1000);
  for (const build::Bytes* bad : {&shortRows, &bomb})
    EXPECT_FALSE(spihost::DecodePng(build::Png(w, h, rgba, bad), 100, &out));
  RgbaImage flat{4, 4, true, std::vector<uint8_t>(64, 9)};
  std::vector<uint8_t> palette;
  ASSERT_TRUE(spihost::EncodePng(flat, &palette));
  EXPECT_FALSE(spihost::DecodePng(palette, 100, &out)) << "a palette is the plug-in's to decode";
}
#endif

// Down to fit, up at most twice, aspect kept, alpha always written.
TEST(Thumbnail, FitsWithinTheSizeKeepingAspect) {
  const struct { int w, h, size, ow, oh; } cases[] = {
      {256, 256, 128, 128, 128}, {32, 64, 16, 8, 16}, {32, 32, 128, 64, 64},
      {48, 48, 64, 64, 64}, {32, 32, 32, 32, 32}, {64, 32, 1, 1, 1}, {300, 1, 128, 128, 1},
      {1, 40, 64, 2, 64}, {96, 64, 48, 48, 32}, {100, 100, 64, 64, 64}};
  for (const auto& c : cases) {
    spihost::RgbaImage in{c.w, c.h, false, std::vector<uint8_t>(size_t{4} * c.w * c.h, 200)};
    spihost::RgbaImage out;
    ASSERT_TRUE(spihost::FitPicture(in, c.size, &out)) << c.w << "x" << c.h << "@" << c.size;
    EXPECT_EQ(out.width, c.ow);
    EXPECT_EQ(out.height, c.oh);
    EXPECT_TRUE(out.hasAlpha);
    ASSERT_EQ(out.pixels.size(), size_t{4} * c.ow * c.oh);
    EXPECT_NEAR(out.pixels[3], 200, 2);  // a flat picture stays flat, alpha included
  }
  // Grown, a hard edge beside full transparency: the cubic's lobes give no
  // colour to the clear side, and none of its colour to the opaque side.
  spihost::RgbaImage edge{8, 8, true, std::vector<uint8_t>(4 * 64, 0)};
  for (size_t i = 0; i < 64; ++i) {
    const bool opaque = i % 8 < 4;
    const uint8_t px[4] = {uint8_t(opaque ? 200 : 0), uint8_t(opaque ? 30 : 255), 90, uint8_t(opaque ? 255 : 0)};
    std::copy(px, px + 4, edge.pixels.begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  spihost::RgbaImage grown;
  ASSERT_TRUE(spihost::FitPicture(edge, 16, &grown));
  for (size_t i = 0; i < grown.pixels.size(); i += 4) {
    const uint8_t* px = &grown.pixels[i];
    if (px[3] == 0) continue;
    EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{200, 30, 90})) << i / 4;
    if (i / 4 % 16 < 6) {
      EXPECT_EQ(px[3], 255) << i / 4;
    }
  }
  // Blocks of k x k equal pixels shrink back to those pixels (a clear pixel to
  // clear black); and halving agrees with shrinking the same picture, each
  // pixel made 3 x 3, by six.
  auto blocksOf = [](const spihost::RgbaImage& im, int k) {
    spihost::RgbaImage b{im.width * k, im.height * k, true, std::vector<uint8_t>(im.pixels.size() * k * k)};
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x)
        std::copy_n(&im.pixels[size_t{4} * (y / k * im.width + x / k)], 4, &b.pixels[size_t{4} * (y * b.width + x)]);
    return b;
  };
  spihost::RgbaImage noise{12, 10, true, std::vector<uint8_t>(4 * 120)};
  for (size_t i = 0; i < noise.pixels.size(); ++i) noise.pixels[i] = static_cast<uint8_t>(i * 89 + (i >> 2) * 13);
  noise.pixels[3] = 0;
  for (int k : {2, 3}) {
    spihost::RgbaImage back;
    ASSERT_TRUE(spihost::FitPicture(blocksOf(noise, k), 12, &back));
    std::vector<uint8_t> expected = noise.pixels;
    std::fill_n(expected.begin(), 3, 0);
    EXPECT_EQ(back.pixels, expected) << k;
  }
  spihost::RgbaImage half, bySix;
  ASSERT_TRUE(spihost::FitPicture(noise, 6, &half));
  ASSERT_TRUE(spihost::FitPicture(blocksOf(noise, 3), 6, &bySix));
  ASSERT_EQ(half.pixels.size(), bySix.pixels.size());
  for (size_t i = 0; i < half.pixels.size(); ++i) EXPECT_NEAR(half.pixels[i], bySix.pixels[i], 1) << i;
  spihost::RgbaImage shortRows{4, 4, false, std::vector<uint8_t>(60)};
  spihost::RgbaImage out;
  EXPECT_FALSE(spihost::FitPicture(shortRows, 2, &out));
}

}  // namespace
