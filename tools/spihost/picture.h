// Pictures as spihost writes them: a device-independent bitmap (the two
// blocks an image plug-in hands over) turned into RGB(A) rows, PNG and BMP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace spihost {

// Little-endian fields of bitmap headers; the caller has checked the bytes are there.
inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Pixels top row first, four bytes each (red, green, blue, alpha).
struct RgbaImage {
  int width = 0;
  int height = 0;
  bool hasAlpha = false;  // false: every alpha byte is 255
  std::vector<uint8_t> pixels;
};

// The parts of a bitmap information block that locate its data.
struct DibLayout {
  int width = 0;
  int height = 0;  // always positive; topDown tells the row order
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = 0;
  size_t infoLength = 0;  // header + masks + palette
  size_t bitsLength = 0;  // the pixel rows (or the compressed stream)
  size_t stride = 0;
};

// Reads the header of an information block. "" on success, else why not.
std::string ReadDibLayout(const uint8_t* info, size_t infoSize, size_t bitsSize, DibLayout* out);

// Converts 1, 4, 8, 16 (5-5-5 or bit fields), 24 and 32-bit bitmaps. A
// 32-bit bitmap keeps its fourth byte as alpha unless every one of them is 0,
// which older writers leave in an unused byte.
std::string DibToImage(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                       RgbaImage* out);

// Converts a 32-bit bitmap (40-byte header, no compression) whose fourth byte is
// final alpha, as GetPictureAlpha hands it over: a fully transparent picture
// stays transparent.
std::string Bgra32ToImage(const uint8_t* info, size_t infoSize, const uint8_t* bits,
                          size_t bitsSize, RgbaImage* out);

// A bitmap file: the 14-byte file header, the information block and the bits.
std::string DibToBmpFile(const uint8_t* info, size_t infoSize, const uint8_t* bits,
                         size_t bitsSize, std::vector<uint8_t>* out);

// Splits a bitmap file into its information block and bits (views into file).
std::string BmpFileToDib(const std::vector<uint8_t>& file, size_t* infoOffset, size_t* infoSize,
                         size_t* bitsOffset, size_t* bitsSize);

// PNG bytes of the image: RGB, or RGBA when it has alpha.
bool EncodePng(const RgbaImage& image, std::vector<uint8_t>* out);

// The pixels of a PNG file of at most maxPixels, as 8-bit RGBA; false when it
// cannot be read whole, or where this build has no decoder (the plug-in that
// handed the file over then decodes it).
bool DecodePng(const std::vector<uint8_t>& png, size_t maxPixels, RgbaImage* out);

}  // namespace spihost
