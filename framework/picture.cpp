// The picture side of the framework: the two bitmap blocks handed to the
// host, built from a format's steps over the input of one export call.
#include "framework/picture.h"

#include <cstring>

#include "framework/input.h"
#include "platform/platform.h"

int64_t DibStride(int64_t width, int64_t bitCount) {
  if (width < 0 || bitCount < 0) return -1;
  // width and bit count come from 32- and 16-bit fields, so the product fits in 64 bits.
  int64_t rowBits = width * bitCount;
  int64_t stride = ((rowBits + 7) / 8 + 3) & ~int64_t{3};
  if (stride > INT32_MAX) return -1;
  return stride;
}

int DibPaletteEntries(int colorDepth) {
  switch (colorDepth) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    case 16:
    case 24:
    case 32: return 0;
    default: return -1;
  }
}

namespace {

// Allocates and locks the information block and the bits block, storing each
// handle in its slot as soon as it exists. On failure nothing stays allocated
// and both slots are null, except that the bits slot is not touched when the
// information block itself could not be had.
int OpenDibBlocks(uint32_t infoSize, size_t bitsSize, SpiHandle* infoHandle,
                  SpiHandle* bitsHandle, uint8_t** header, uint8_t** bits) {
  SpiHandle infoBlock = platform::BlockAlloc(infoSize);
  *infoHandle = infoBlock;
  if (!infoBlock) return ResultNoMemory;
  *header = static_cast<uint8_t*>(platform::BlockLock(infoBlock));
  int result = ResultOk;
  SpiHandle bitsBlock = nullptr;
  if (!*header) {
    result = ResultMemoryError;
  } else if (!(bitsBlock = platform::BlockAlloc(bitsSize))) {
    result = ResultNoMemory;
  } else if (!(*bits = static_cast<uint8_t*>(platform::BlockLock(bitsBlock)))) {
    result = ResultMemoryError;
  }
  *bitsHandle = bitsBlock;
  if (result == ResultOk) return ResultOk;
  if (bitsBlock) platform::BlockFree(bitsBlock);
  if (*header) platform::BlockUnlock(infoBlock);
  platform::BlockFree(infoBlock);
  *infoHandle = nullptr;
  *bitsHandle = nullptr;
  return result;
}

// Unlocks both blocks; when result is a failure, frees them and clears both slots.
int CloseDibBlocks(int result, SpiHandle* infoHandle, SpiHandle* bitsHandle) {
  platform::BlockUnlock(*bitsHandle);
  platform::BlockUnlock(*infoHandle);
  if (result == ResultOk) return ResultOk;
  platform::BlockFree(*bitsHandle);
  platform::BlockFree(*infoHandle);
  *infoHandle = nullptr;
  *bitsHandle = nullptr;
  return result;
}

}  // namespace

int BuildDib(ByteView input, PictureInfoStep infoStep, PictureBitsStep bitsStep,
             ProgressCallback progress, SpiUserValue userValue, SpiHandle* infoHandle,
             SpiHandle* bitsHandle) {
  PictureInfo info{};
  int result = infoStep(input, &info);
  if (result != ResultOk) return result;

  int entries = DibPaletteEntries(info.colorDepth);
  if (entries < 0) return ResultNotImplemented;

  // The info step's numbers come from the file: refuse what cannot be a
  // picture before anything is allocated.
  int64_t stride = DibStride(info.width, info.colorDepth);
  if (info.width <= 0 || info.height <= 0 || stride <= 0) return ResultBrokenData;
  if (stride > INT32_MAX / info.height) return ResultBrokenData;
  uint32_t imageSize = static_cast<uint32_t>(stride * info.height);
  uint32_t infoSize = DibHeaderSize + 4u * static_cast<uint32_t>(entries);

  uint8_t* header = nullptr;
  uint8_t* bits = nullptr;
  result = OpenDibBlocks(infoSize, imageSize, infoHandle, bitsHandle, &header, &bits);
  if (result != ResultOk) return result;

  PutLe32(header + 0, DibHeaderSize);
  PutLe32(header + 4, static_cast<uint32_t>(info.width));
  PutLe32(header + 8, static_cast<uint32_t>(info.height));
  PutLe16(header + 12, 1);
  PutLe16(header + 14, static_cast<uint16_t>(info.colorDepth));
  PutLe32(header + 16, 0);
  PutLe32(header + 20, imageSize);
  // Resolutions and colour counts stay 0: the block is zero-initialised.

  DibTarget target;
  target.palette = header + DibHeaderSize;
  target.paletteSize = infoSize - DibHeaderSize;
  target.bits = bits;
  target.bitsSize = imageSize;
  target.stride = static_cast<int32_t>(stride);
  target.height = info.height;
  return CloseDibBlocks(bitsStep(input, &target, progress, userValue), infoHandle, bitsHandle);
}

namespace {

// The two blocks of an encoded picture: a header naming its encoding and
// length, and the file's bytes unchanged.
int BuildEncodedDib(ByteView encoded, const PictureInfo& info, SpiHandle* infoHandle,
                    SpiHandle* bitsHandle) {
  if (encoded.size == 0 || encoded.size > INT32_MAX) return ResultBrokenData;
  uint8_t* header = nullptr;
  uint8_t* bits = nullptr;
  int result = OpenDibBlocks(DibHeaderSize, encoded.size, infoHandle, bitsHandle, &header, &bits);
  if (result != ResultOk) return result;
  PutLe32(header + 0, DibHeaderSize);
  PutLe32(header + 4, static_cast<uint32_t>(info.width));
  PutLe32(header + 8, static_cast<uint32_t>(info.height));
  PutLe16(header + 12, 1);
  // An encoded bitmap has no bit count of its own.
  PutLe32(header + 16, SpiCompressionPng);
  PutLe32(header + 20, static_cast<uint32_t>(encoded.size));
  std::memcpy(bits, encoded.data, encoded.size);
  return CloseDibBlocks(ResultOk, infoHandle, bitsHandle);
}

}  // namespace

int PictureInfoFromInput(HostText input, SpiLength position, unsigned flags,
                         PictureInfoStep infoStep, PictureInfo* info) {
  return WithInput(input, position, flags, MemoryLength::Bounds,
                   [&](DataRef data, uintptr_t) { return infoStep(FromHere(data), info); });
}

int PictureFromInput(HostText input, SpiLength position, unsigned flags, SpiHandle* infoHandle,
                     SpiHandle* bitsHandle, ProgressCallback progress, SpiUserValue userValue,
                     PictureInfoStep infoStep, PictureBitsStep bitsStep) {
  if (progress && progress(0, 1, userValue) != 0) return ResultAborted;
  auto build = [&](DataRef data, uintptr_t) {
    return BuildDib(FromHere(data), infoStep, bitsStep, progress, userValue, infoHandle,
                    bitsHandle);
  };
  int result = WithInput(input, position, flags, MemoryLength::Bounds, build);
  if (result == ResultOk && progress) progress(1, 1, userValue);
  return result;
}

int PictureAlphaFromInput(HostText input, SpiLength position, unsigned flags, unsigned options,
                          SpiHandle* infoHandle, SpiHandle* bitsHandle, ProgressCallback progress,
                          SpiUserValue userValue, const AlphaPictureSteps* steps) {
  if (progress && progress(0, 1, userValue) != 0) return ResultAborted;
  auto build = [&](DataRef data, uintptr_t) {
    const ByteView view = FromHere(data);
    if (options & SpiKeepEncoded) {
      ByteView encoded{};
      PictureInfo info{};
      int found = steps->encoded(view, &encoded, &info);
      if (found != ResultOk) return found;
      if (encoded.size) return BuildEncodedDib(encoded, info, infoHandle, bitsHandle);
    }
    return BuildDib(view, steps->info, steps->bits, progress, userValue, infoHandle, bitsHandle);
  };
  int result = WithInput(input, position, flags, MemoryLength::Bounds, build);
  if (result == ResultOk && progress) progress(1, 1, userValue);
  return result;
}
