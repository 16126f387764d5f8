// The picture frame of an image plug-in: input dispatch and the building of
// the two bitmap blocks handed to the host. It knows nothing of icons; a
// format plugs in an info step and a bits step.
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "framework/framework.h"
#include "framework/spi.h"

// Where the bits step writes: the palette area behind the 40-byte header of
// the information block, and the bits block. The sizes are what BuildDib
// allocated from the info step's answer; a bits step never writes past them.
struct DibTarget {
  uint8_t* palette = nullptr;
  uint32_t paletteSize = 0;
  uint8_t* bits = nullptr;
  uint32_t bitsSize = 0;
  int32_t stride = 0;
  int32_t height = 0;
};

// Fills info for the picture that input holds; 0 or a result code. On failure
// the record is left as it was.
using PictureInfoStep = int (*)(ByteView input, PictureInfo* info);
// Fills the palette and the bits of the picture that the info step described.
using PictureBitsStep = int (*)(ByteView input, const DibTarget* target,
                                ProgressCallback progress, SpiUserValue userValue);

constexpr uint32_t DibHeaderSize = 40;

// Gives the picture's file when it is stored encoded (an empty view when it is
// not), with info filled for it; 0 or a result code.
using PictureEncodedStep = int (*)(ByteView input, ByteView* encoded, PictureInfo* info);

// The steps of a picture that can also be handed over as it is shown: 32-bit
// rows with alpha, or its encoded file.
struct AlphaPictureSteps {
  PictureInfoStep info;    // reports colour depth 32
  PictureBitsStep bits;    // writes 32-bit rows with straight alpha
  PictureEncodedStep encoded;
};

// Row length in bytes, padded to a multiple of 4; -1 when width or bit count is
// negative or the row would not fit in 32 bits.
int64_t DibStride(int64_t width, int64_t bitCount);

// Palette entries that the information block carries for a colour depth:
// 2, 16, 256 for 1, 4, 8 bits, 0 for 16, 24 and 32, -1 for depths not handed over.
int DibPaletteEntries(int colorDepth);

// Runs both steps and hands the host an information block and a bits block
// (movable, unlocked). On failure no block is left allocated; which handle
// slots are written follows the result (see picture_frame.cpp).
int BuildDib(ByteView input, PictureInfoStep infoStep, PictureBitsStep bitsStep,
             ProgressCallback progress, SpiUserValue userValue, SpiHandle* infoHandle,
             SpiHandle* bitsHandle);

// input is a file name in either form, or for memory input the data's address.
// GetPictureInfo's body: file input is mapped and read from position on; memory
// input is exactly position bytes at input.
int PictureInfoFromInput(HostText input, SpiLength position, unsigned flags,
                         PictureInfoStep infoStep, PictureInfo* info);

// GetPicture's body: progress (0, 1) before any work and (1, 1) after success.
int PictureFromInput(HostText input, SpiLength position, unsigned flags, SpiHandle* infoHandle,
                     SpiHandle* bitsHandle, ProgressCallback progress, SpiUserValue userValue,
                     PictureInfoStep infoStep, PictureBitsStep bitsStep);

// GetPictureAlpha's body: progress as GetPicture's. With SpiKeepEncoded in
// options an encoded picture comes as its file (compression SpiCompressionPng);
// every other picture as the steps' 32-bit rows.
int PictureAlphaFromInput(HostText input, SpiLength position, unsigned flags, unsigned options,
                          SpiHandle* infoHandle, SpiHandle* bitsHandle, ProgressCallback progress,
                          SpiUserValue userValue, const AlphaPictureSteps* steps);
