#include "morvane/picture_frame.h"

#include <cstring>

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

  SpiHandle infoBlock = platform::BlockAlloc(infoSize);
  *infoHandle = infoBlock;
  if (!infoBlock) return ResultNoMemory;
  auto* header = static_cast<uint8_t*>(platform::BlockLock(infoBlock));
  if (!header) {
    platform::BlockFree(infoBlock);
    *infoHandle = nullptr;
    *bitsHandle = nullptr;
    return ResultMemoryError;
  }

  PutLe32(header + 0, DibHeaderSize);
  PutLe32(header + 4, static_cast<uint32_t>(info.width));
  PutLe32(header + 8, static_cast<uint32_t>(info.height));
  PutLe16(header + 12, 1);
  PutLe16(header + 14, static_cast<uint16_t>(info.colorDepth));
  PutLe32(header + 16, 0);
  PutLe32(header + 20, imageSize);
  // Resolutions and colour counts stay 0: the block is zero-initialised.

  SpiHandle bitsBlock = platform::BlockAlloc(imageSize);
  *bitsHandle = bitsBlock;
  if (!bitsBlock) {
    platform::BlockUnlock(infoBlock);
    platform::BlockFree(infoBlock);
    *infoHandle = nullptr;
    *bitsHandle = nullptr;
    return ResultNoMemory;
  }
  auto* bits = static_cast<uint8_t*>(platform::BlockLock(bitsBlock));
  if (!bits) {
    platform::BlockFree(bitsBlock);
    platform::BlockUnlock(infoBlock);
    platform::BlockFree(infoBlock);
    *infoHandle = nullptr;
    *bitsHandle = nullptr;
    return ResultMemoryError;
  }

  DibTarget target;
  target.palette = header + DibHeaderSize;
  target.paletteSize = infoSize - DibHeaderSize;
  target.bits = bits;
  target.bitsSize = imageSize;
  target.stride = static_cast<int32_t>(stride);
  target.height = info.height;
  result = bitsStep(input, &target, progress, userValue);

  platform::BlockUnlock(bitsBlock);
  platform::BlockUnlock(infoBlock);
  if (result == ResultOk) return ResultOk;
  platform::BlockFree(bitsBlock);
  platform::BlockFree(infoBlock);
  *infoHandle = nullptr;
  *bitsHandle = nullptr;
  return result;
}

namespace {

// Memory input: the host's length bounds what may be read, or without one
// the readable memory.
ByteView MemoryInput(const char* input, SpiLength position) {
  if (!input || position < 0) return ByteView{};
  if (position > 0)
    return ByteView{reinterpret_cast<const uint8_t*>(input), static_cast<size_t>(position)};
  // Hosts that pass no length hand over the image alone: it reaches as far as
  // memory stays readable from the pointer, as in the other plug-ins.
  const uint8_t* begin;
  const uint8_t* end;
  if (!platform::ReadableExtent(input, &begin, &end)) return ByteView{};
  const uint8_t* p = reinterpret_cast<const uint8_t*>(input);
  return ByteView{p, static_cast<size_t>(end - p)};
}

// File input starts position bytes into the mapped file (nothing when that lies outside).
ByteView FileInput(const platform::MappedFile& file, SpiLength position) {
  return Tail(ByteView{file.data, file.size}, static_cast<uintptr_t>(position));
}

// Runs work over the input that input, position and flags name: the mapped
// file from position on, or the memory image.
template <typename Work>
int WithInput(HostText input, SpiLength position, unsigned flags, Work work) {
  switch (flags & InputKindMask) {
    case InputFile: {
      platform::MappedFile file;
      if (!MapHostFile(input, &file)) return ResultReadError;
      int result = work(FileInput(file, position));
      platform::Unmap(&file);
      return result;
    }
    case InputMemory:
      return work(MemoryInput(input.Address(), position));
    default:
      return ResultNotImplemented;
  }
}

// The two blocks of an encoded picture: a header naming its encoding and
// length, and the file's bytes unchanged.
int BuildEncodedDib(ByteView encoded, const PictureInfo& info, SpiHandle* infoHandle,
                    SpiHandle* bitsHandle) {
  if (encoded.size == 0 || encoded.size > INT32_MAX) return ResultBrokenData;
  SpiHandle infoBlock = platform::BlockAlloc(DibHeaderSize);
  *infoHandle = infoBlock;
  if (!infoBlock) return ResultNoMemory;
  SpiHandle bitsBlock = platform::BlockAlloc(encoded.size);
  uint8_t* header = static_cast<uint8_t*>(platform::BlockLock(infoBlock));
  uint8_t* bits = bitsBlock ? static_cast<uint8_t*>(platform::BlockLock(bitsBlock)) : nullptr;
  if (!header || !bits) {
    const int result = !bitsBlock ? ResultNoMemory : ResultMemoryError;
    if (bits) platform::BlockUnlock(bitsBlock);
    if (header) platform::BlockUnlock(infoBlock);
    if (bitsBlock) platform::BlockFree(bitsBlock);
    platform::BlockFree(infoBlock);
    *infoHandle = nullptr;
    *bitsHandle = nullptr;
    return result;
  }
  PutLe32(header + 0, DibHeaderSize);
  PutLe32(header + 4, static_cast<uint32_t>(info.width));
  PutLe32(header + 8, static_cast<uint32_t>(info.height));
  PutLe16(header + 12, 1);
  // An encoded bitmap has no bit count of its own.
  PutLe32(header + 16, SpiCompressionPng);
  PutLe32(header + 20, static_cast<uint32_t>(encoded.size));
  std::memcpy(bits, encoded.data, encoded.size);
  platform::BlockUnlock(bitsBlock);
  platform::BlockUnlock(infoBlock);
  *bitsHandle = bitsBlock;
  return ResultOk;
}

}  // namespace

int PictureInfoFromInput(HostText input, SpiLength position, unsigned flags,
                         PictureInfoStep infoStep, PictureInfo* info) {
  return WithInput(input, position, flags, [&](ByteView view) { return infoStep(view, info); });
}

int PictureFromInput(HostText input, SpiLength position, unsigned flags, SpiHandle* infoHandle,
                     SpiHandle* bitsHandle, ProgressCallback progress, SpiUserValue userValue,
                     PictureInfoStep infoStep, PictureBitsStep bitsStep) {
  if (progress && progress(0, 1, userValue) != 0) return ResultAborted;
  int result = WithInput(input, position, flags, [&](ByteView view) {
    return BuildDib(view, infoStep, bitsStep, progress, userValue, infoHandle, bitsHandle);
  });
  if (result == ResultOk && progress) progress(1, 1, userValue);
  return result;
}

int PictureAlphaFromInput(HostText input, SpiLength position, unsigned flags, unsigned options,
                          SpiHandle* infoHandle, SpiHandle* bitsHandle, ProgressCallback progress,
                          SpiUserValue userValue, const AlphaPictureSteps* steps) {
  if (progress && progress(0, 1, userValue) != 0) return ResultAborted;
  int result = WithInput(input, position, flags, [&](ByteView view) {
    if (options & SpiKeepEncoded) {
      ByteView encoded{};
      PictureInfo info{};
      int found = steps->encoded(view, &encoded, &info);
      if (found != ResultOk) return found;
      if (encoded.size) return BuildEncodedDib(encoded, info, infoHandle, bitsHandle);
    }
    return BuildDib(view, steps->info, steps->bits, progress, userValue, infoHandle, bitsHandle);
  });
  if (result == ResultOk && progress) progress(1, 1, userValue);
  return result;
}
