// The icon layer of Morvane: which files are pictures, which image of them is
// shown, and how that image becomes the two bitmap blocks.
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "framework/spi.h"
#include "morvane/picture_frame.h"

// Larger sides are refused: no icon comes near it, and it keeps every size
// derived from a header far from overflow.
constexpr int32_t IconMaxDimension = 65535;

// The chosen image as it lies in the input. Every view lies within the input.
struct IconImageLayout {
  bool png = false;  // a PNG image: bitCount 32, and only the png view is set
  ByteView image;    // the PNG file
  int32_t width = 0;
  int32_t height = 0;  // the header's height halved: colour rows only
  uint32_t bitCount = 0;
  uint32_t paletteEntries = 0;    // 2, 16, 256 or 0 by bit count
  uint32_t paletteEntrySize = 0;  // 3 after a short header, 4 otherwise
  ByteView palette;               // paletteEntries * paletteEntrySize bytes
  int32_t stride = 0;
  ByteView bits;                  // stride * height bytes, bottom row first
  ByteView mask;                  // the 1-bit AND mask; empty when it is not all within the input
};

// 0 when head is not a picture for Morvane under the current group-icon
// setting, else the file's type (1 icon, 2 cursor). The format test of IsSupported.
int TestIconPicture(ByteView head);

// Chooses the image to show and finds its parts: 0, or ResultBrokenData when
// the file is refused or any part of the image would reach outside input.
int LocateIconImage(ByteView input, IconImageLayout* layout);

// The info step: 0 with info filled, or 3 with info untouched.
int FillIconPictureInfo(ByteView input, PictureInfo* info);

// The bits step: palette (3-byte entries widened to 4) and colour rows; for
// 32 bits the alpha comes from the AND mask when every alpha byte is 0; PNG
// images are decoded to 32-bit rows.
int CopyIconBits(ByteView input, const DibTarget* target, ProgressCallback progress,
                 SpiUserValue userValue);

// The steps of GetPictureAlpha: the same image as the info step above chooses,
// always as 32-bit rows of blue, green, red and straight alpha.
// Info: as FillIconPictureInfo, with colour depth 32; ResultNotImplemented for
// the depths GetPicture does not hand over either (other than 1, 4, 8, 16, 24, 32).
int FillIconAlphaInfo(ByteView input, PictureInfo* info);
// Bits: alpha from the AND mask below 32 bits (bit 1 = transparent; every pixel
// opaque when the mask is not all within the input); a 32-bit image keeps its
// alpha unless every alpha byte is 0; PNG images decoded. Depths other than 1,
// 4, 8, 16, 24 and 32 give ResultNotImplemented.
int CopyIconBgra(ByteView input, const DibTarget* target, ProgressCallback progress,
                 SpiUserValue userValue);
// Encoded: the chosen image's PNG file when it is stored as PNG (empty view
// otherwise), with info filled as the info step fills it.
int FindIconEncoded(ByteView input, ByteView* encoded, PictureInfo* info);
