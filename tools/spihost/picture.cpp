#include "picture.h"

#include <cstring>

#include "formats/bitmap.h"

namespace spihost {
namespace {

// Guards the allocation of the RGBA copy against absurd headers.
constexpr uint64_t kMaxPixels = uint64_t{1} << 28;

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
};

Channel MakeChannel(uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (!mask) return c;
  while (!((mask >> c.shift) & 1)) c.shift++;
  c.max = mask >> c.shift;
  return c;
}

uint8_t Extract(const Channel& c, uint32_t v) {
  if (!c.mask) return 0;
  uint32_t x = (v & c.mask) >> c.shift;
  return static_cast<uint8_t>((static_cast<uint64_t>(x) * 255 + c.max / 2) / c.max);
}

}  // namespace

std::string ReadDibLayout(const uint8_t* info, size_t infoSize, size_t bitsSize, DibLayout* out) {
  DibLayout d;
  const ByteView v{info, infoSize};
  uint32_t headerSize;
  if (!ReadLe32(v, 0, &headerSize)) return "bitmap header missing";
  const bool core = headerSize == BitmapCoreHeaderSize;
  if (!core && (headerSize < BitmapInfoHeaderSize || headerSize > 1024))
    return "unknown bitmap header";
  BitmapInfoHeader h;
  if (!ReadBitmapInfoHeader(v, &h) || !Has(v, 0, headerSize)) return "bitmap header cut short";
  const size_t entrySize = BitmapPaletteEntrySize(h);
  const uint32_t coloursUsed = h.clrUsed;
  int64_t height = h.height;
  d.width = h.width;
  d.bitCount = h.bitCount;
  d.compression = h.compression;
  if (d.width <= 0 || height == 0) return "bitmap has no pixels";
  d.topDown = height < 0;
  if (height < 0) height = -height;
  if (height > INT32_MAX) return "bitmap height out of range";
  d.height = static_cast<int>(height);
  if (static_cast<uint64_t>(d.width) * static_cast<uint64_t>(d.height) > kMaxPixels)
    return "bitmap too large";
  switch (d.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return "unsupported colour depth " + std::to_string(d.bitCount);
  }
  size_t length = headerSize;
  if (d.compression == BitmapBitFields) {
    if (d.bitCount != 16 && d.bitCount != 32) return "bit fields need 16 or 32 bits";
    if (headerSize == 40) length += 12;  // the three masks follow the short header
  } else if (d.compression == BitmapRle8 || d.compression == BitmapRle4) {
    if (d.bitCount != (d.compression == BitmapRle8 ? 8 : 4)) return "compression does not fit depth";
  } else if (d.compression != BitmapRgb) {
    return "unsupported bitmap compression " + std::to_string(d.compression);
  }
  if (d.bitCount <= 8) {
    uint32_t full = 1u << d.bitCount;
    uint32_t n = coloursUsed && coloursUsed < full ? coloursUsed : full;
    length += n * entrySize;
  }
  if (length > infoSize) return "bitmap palette cut short";
  d.infoLength = length;
  d.stride = ((static_cast<size_t>(d.width) * d.bitCount + 31) / 32) * 4;
  if (d.compression == BitmapRle8 || d.compression == BitmapRle4) {
    d.bitsLength = h.sizeImage ? h.sizeImage : bitsSize;
  } else {
    d.bitsLength = d.stride * static_cast<size_t>(d.height);
  }
  if (d.bitsLength > bitsSize) return "bitmap rows cut short";
  *out = d;
  return {};
}

std::string DibToImage(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                       RgbaImage* out) {
  DibLayout d;
  std::string why = ReadDibLayout(info, infoSize, bitsSize, &d);
  if (!why.empty()) return why;
  if (d.compression == BitmapRle4 || d.compression == BitmapRle8) return "compressed bitmaps are not supported";
  const uint32_t headerSize = U32(info);
  const size_t entrySize = headerSize == BitmapCoreHeaderSize ? 3 : 4;
  const uint8_t* palette = info + headerSize + (d.compression == BitmapBitFields && headerSize == 40 ? 12 : 0);
  const size_t paletteCount = d.bitCount <= 8 ? (d.infoLength - (palette - info)) / entrySize : 0;

  Channel red, green, blue, alpha;
  if (d.compression == BitmapBitFields) {
    red = MakeChannel(U32(info + 40));
    green = MakeChannel(U32(info + 44));
    blue = MakeChannel(U32(info + 48));
    if (headerSize >= 56) alpha = MakeChannel(U32(info + 52));
  } else if (d.bitCount == 16) {
    red = MakeChannel(0x7C00);
    green = MakeChannel(0x03E0);
    blue = MakeChannel(0x001F);
  }

  RgbaImage img;
  img.width = d.width;
  img.height = d.height;
  img.pixels.assign(static_cast<size_t>(d.width) * d.height * 4, 0);
  bool anyAlpha = false;
  for (int y = 0; y < d.height; y++) {
    const int sourceRow = d.topDown ? y : d.height - 1 - y;
    const uint8_t* row = bits + static_cast<size_t>(sourceRow) * d.stride;
    uint8_t* px = img.pixels.data() + static_cast<size_t>(y) * d.width * 4;
    for (int x = 0; x < d.width; x++, px += 4) {
      px[3] = 255;
      if (d.bitCount <= 8) {
        const int perByte = 8 / d.bitCount;
        const int shift = 8 - d.bitCount * (x % perByte + 1);
        const unsigned index = (row[x / perByte] >> shift) & ((1u << d.bitCount) - 1);
        if (index < paletteCount) {
          const uint8_t* e = palette + index * entrySize;
          px[0] = e[2];
          px[1] = e[1];
          px[2] = e[0];
        }
      } else if (d.bitCount == 24) {
        const uint8_t* p = row + x * 3;
        px[0] = p[2];
        px[1] = p[1];
        px[2] = p[0];
      } else if (d.bitCount == 16 || d.compression == BitmapBitFields) {
        const uint32_t v = d.bitCount == 16 ? U16(row + x * 2) : U32(row + x * 4);
        px[0] = Extract(red, v);
        px[1] = Extract(green, v);
        px[2] = Extract(blue, v);
        if (alpha.mask) {
          px[3] = Extract(alpha, v);
          anyAlpha = true;
        }
      } else {  // 32 bits: blue, green, red, alpha
        const uint8_t* p = row + x * 4;
        px[0] = p[2];
        px[1] = p[1];
        px[2] = p[0];
        px[3] = p[3];
        if (p[3]) anyAlpha = true;
      }
    }
  }
  if (d.bitCount == 32 && d.compression == BitmapRgb && !anyAlpha) {
    for (size_t i = 3; i < img.pixels.size(); i += 4) img.pixels[i] = 255;
  }
  img.hasAlpha = anyAlpha;
  *out = std::move(img);
  return {};
}

std::string Bgra32ToImage(const uint8_t* info, size_t infoSize, const uint8_t* bits,
                          size_t bitsSize, RgbaImage* out) {
  DibLayout d;
  std::string why = ReadDibLayout(info, infoSize, bitsSize, &d);
  if (!why.empty()) return why;
  if (d.bitCount != 32 || d.compression != BitmapRgb) return "not a 32-bit picture with alpha";
  RgbaImage img;
  img.width = d.width;
  img.height = d.height;
  img.pixels.resize(static_cast<size_t>(d.width) * d.height * 4);
  bool anyTransparent = false;
  for (int y = 0; y < d.height; y++) {
    const uint8_t* p = bits + static_cast<size_t>(d.topDown ? y : d.height - 1 - y) * d.stride;
    uint8_t* px = img.pixels.data() + static_cast<size_t>(y) * d.width * 4;
    for (int x = 0; x < d.width; x++, p += 4, px += 4) {
      px[0] = p[2];
      px[1] = p[1];
      px[2] = p[0];
      px[3] = p[3];
      anyTransparent |= p[3] != 255;
    }
  }
  img.hasAlpha = anyTransparent;
  *out = std::move(img);
  return {};
}

std::string DibToBmpFile(const uint8_t* info, size_t infoSize, const uint8_t* bits,
                         size_t bitsSize, std::vector<uint8_t>* out) {
  DibLayout d;
  std::string why = ReadDibLayout(info, infoSize, bitsSize, &d);
  if (!why.empty()) return why;
  const uint64_t total = 14 + d.infoLength + d.bitsLength;
  if (total > UINT32_MAX) return "bitmap too large for a bitmap file";
  std::vector<uint8_t> file(BitmapFileHeaderSize);
  BitmapFileHeader header;
  header.size = static_cast<uint32_t>(total);
  header.offBits = static_cast<uint32_t>(BitmapFileHeaderSize + d.infoLength);
  WriteBitmapFileHeader(file.data(), header);
  file.insert(file.end(), info, info + d.infoLength);
  file.insert(file.end(), bits, bits + d.bitsLength);
  *out = std::move(file);
  return {};
}

std::string BmpFileToDib(const std::vector<uint8_t>& file, size_t* infoOffset, size_t* infoSize,
                         size_t* bitsOffset, size_t* bitsSize) {
  BitmapFileHeader header;
  if (file.size() < 18 || !ReadBitmapFileHeader(ByteView{file.data(), file.size()}, &header) ||
      header.type != BitmapFileType)
    return "not a bitmap file";
  const uint32_t offBits = header.offBits;
  if (offBits <= BitmapFileHeaderSize || offBits > file.size())
    return "bitmap file header points outside the file";
  *infoOffset = BitmapFileHeaderSize;
  *infoSize = offBits - BitmapFileHeaderSize;
  *bitsOffset = offBits;
  *bitsSize = file.size() - offBits;
  return {};
}

}  // namespace spihost
