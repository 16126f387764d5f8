#include "morvane/icon_picture.h"

#include <cstring>

#include "morvane/png_image.h"
#include "morvane/settings.h"
#include "formats/bitmap.h"
#include "formats/icon.h"

namespace {

// The header test under a given group-icon value, so that one call reads the
// setting once for both the test and the choice.
int TestIconHead(ByteView head, int groupIcon) {
  IconHeader h;
  if (!HasIconFileHeader(head) || !ReadIconHeader(head, 0, &h)) return 0;
  // An empty directory holds no picture under any setting.
  if (h.count == 0) return 0;
  if (groupIcon == TreatAsArchive && h.count != 1) return 0;
  uint32_t firstOffset;
  if (!ReadLe32(head, IconDirEntryOffset(0) + IconDirEntryField::ImageOffset, &firstOffset))
    return 0;
  if (firstOffset != IconDirEntryOffset(h.count)) return 0;
  return h.type;
}

}  // namespace

int TestIconPicture(ByteView head) { return TestIconHead(head, GroupIcon); }

int LocateIconImage(ByteView input, IconImageLayout* layout) {
  int groupIcon = GroupIcon;
  if (TestIconHead(input, groupIcon) == 0) return ResultBrokenData;
  IconHeader h;
  ReadIconHeader(input, 0, &h);
  if (!Has(input, 0, IconDirEntryOffset(h.count))) return ResultBrokenData;

  uint32_t chosen = 0;
  if (groupIcon == ShowLargeIcon) {
    // Largest byte size wins; the earliest among equals; entry 0 if none is above 0.
    int32_t best = 0;
    for (uint32_t i = 0; i < h.count; ++i) {
      const uint64_t at = IconDirEntryOffset(i) + IconDirEntryField::ByteSize;
      int32_t size = static_cast<int32_t>(Le32(input, at));
      if (size > best) {
        best = size;
        chosen = i;
      }
    }
  }
  IconDirEntry entry;
  ReadIconDirEntry(input, IconDirEntryOffset(chosen), &entry);
  if (entry.imageOffset > input.size) return ResultBrokenData;
  ByteView block = Tail(input, entry.imageOffset);

  if (IsPngFile(block)) {
    // A PNG file is as long as its entry says, and all of it must be there.
    ByteView png = Slice(input, entry.imageOffset, entry.byteSize);
    uint32_t width, height;
    if (!CheckPngImage(png, &width, &height)) return ResultBrokenData;
    *layout = IconImageLayout{};
    layout->png = true;
    layout->image = png;
    layout->width = static_cast<int32_t>(width);
    layout->height = static_cast<int32_t>(height);
    layout->bitCount = 32;
    layout->stride = static_cast<int32_t>(width * 4);
    return ResultOk;
  }

  BitmapInfoHeader image;
  if (!ReadBitmapInfoHeader(block, &image)) return ResultBrokenData;
  // Whatever size a long header states, its 40 bytes must be there.
  if (!IsCoreHeader(image) && !Has(block, 0, BitmapInfoHeaderSize)) return ResultBrokenData;
  int32_t height = image.height / 2;
  if (image.width <= 0 || height <= 0) return ResultBrokenData;
  if (image.width > IconMaxDimension || height > IconMaxDimension) return ResultBrokenData;

  const uint32_t paletteEntries = BitmapPaletteEntries(image.bitCount);
  const uint32_t paletteEntrySize = BitmapPaletteEntrySize(image);
  uint64_t paletteLength = uint64_t{paletteEntries} * paletteEntrySize;
  if (!Has(block, image.size, paletteLength)) return ResultBrokenData;
  int64_t stride = DibStride(image.width, image.bitCount);
  if (stride < 0) return ResultBrokenData;
  uint64_t bitsLength = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (bitsLength > INT32_MAX) return ResultBrokenData;
  uint64_t bitsOffset = uint64_t{image.size} + paletteLength;
  if (!Has(block, bitsOffset, bitsLength)) return ResultBrokenData;

  int64_t maskStride = DibStride(image.width, 1);
  uint64_t maskLength = static_cast<uint64_t>(maskStride) * static_cast<uint64_t>(height);

  *layout = IconImageLayout{};
  layout->width = image.width;
  layout->height = height;
  layout->bitCount = image.bitCount;
  layout->paletteEntries = paletteEntries;
  layout->paletteEntrySize = paletteEntrySize;
  layout->palette = Slice(block, image.size, paletteLength);
  layout->stride = static_cast<int32_t>(stride);
  layout->bits = Slice(block, bitsOffset, bitsLength);
  layout->mask = Slice(block, bitsOffset + bitsLength, maskLength);
  return ResultOk;
}

int FillIconPictureInfo(ByteView input, PictureInfo* info) {
  IconImageLayout layout;
  if (LocateIconImage(input, &layout) != ResultOk) return ResultBrokenData;
  *info = PictureInfo{};  // the 64-bit record's padding is zero too
  info->left = 0;
  info->top = 0;
  info->width = layout.width;
  info->height = layout.height;
  info->x_density = 1;
  info->y_density = 1;
  info->colorDepth = static_cast<int16_t>(layout.bitCount);
  info->hInfo = nullptr;
  return ResultOk;
}

namespace {

// Icons written before alpha existed leave the fourth byte 0 everywhere; the
// AND mask then tells what is transparent (bit 1) and what is opaque (bit 0).
void AlphaFromMask(const IconImageLayout& layout, uint8_t* bits) {
  for (size_t i = 3; i < layout.bits.size; i += 4)
    if (bits[i] != 0) return;
  int64_t maskStride = DibStride(layout.width, 1);
  for (int32_t y = 0; y < layout.height; ++y) {
    uint8_t* row = bits + static_cast<size_t>(y) * static_cast<size_t>(layout.stride);
    const uint8_t* mask =
        layout.mask.data ? layout.mask.data + static_cast<size_t>(y) * maskStride : nullptr;
    for (int32_t x = 0; x < layout.width; ++x) {
      // Without a whole mask in the input every pixel is shown.
      bool transparent = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
      row[4 * x + 3] = transparent ? 0 : 255;
    }
  }
}

}  // namespace

namespace {

// One pixel of a colour row below 32 bits as blue, green, red. 16-bit rows
// are 5-5-5, widened as x * 255 / 31.
void ColourAt(const IconImageLayout& layout, const uint8_t* row, int32_t x, uint8_t* out) {
  switch (layout.bitCount) {
    case 1:
    case 4:
    case 8: {
      const uint32_t perByte = 8 / layout.bitCount;
      const uint32_t shift = 8 - layout.bitCount * (static_cast<uint32_t>(x) % perByte + 1);
      const uint32_t index = (row[static_cast<uint32_t>(x) / perByte] >> shift) & ((1u << layout.bitCount) - 1);
      const uint8_t* e = layout.palette.data + index * layout.paletteEntrySize;
      out[0] = e[0];
      out[1] = e[1];
      out[2] = e[2];
      return;
    }
    case 16: {
      const uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
      out[0] = static_cast<uint8_t>((v & 31) * 255 / 31);
      out[1] = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
      out[2] = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
      return;
    }
    default:  // 24
      out[0] = row[3 * x];
      out[1] = row[3 * x + 1];
      out[2] = row[3 * x + 2];
  }
}

}  // namespace

int FillIconAlphaInfo(ByteView input, PictureInfo* info) {
  PictureInfo filled{};
  int result = FillIconPictureInfo(input, &filled);
  if (result != ResultOk) return result;
  // Refused before the rows are allocated: for a depth of 0 bits the file
  // backs none of them, so their size would be the header's alone to choose.
  if (DibPaletteEntries(filled.colorDepth) < 0) return ResultNotImplemented;
  filled.colorDepth = 32;
  *info = filled;
  return ResultOk;
}

int FindIconEncoded(ByteView input, ByteView* encoded, PictureInfo* info) {
  IconImageLayout layout;
  if (LocateIconImage(input, &layout) != ResultOk) return ResultBrokenData;
  *encoded = layout.png ? layout.image : ByteView{};
  if (layout.png) FillIconPictureInfo(input, info);
  return ResultOk;
}

int CopyIconBgra(ByteView input, const DibTarget* target, ProgressCallback, SpiUserValue) {
  IconImageLayout layout;
  if (LocateIconImage(input, &layout) != ResultOk) return ResultBrokenData;
  const uint64_t stride = uint64_t{4} * static_cast<uint32_t>(layout.width);
  if (target->paletteSize != 0 || stride != static_cast<uint64_t>(target->stride) ||
      layout.height != target->height || stride * static_cast<uint32_t>(layout.height) != target->bitsSize)
    return ResultBrokenData;
  if (layout.png) {
    bool ok = DecodePngImage(layout.image, static_cast<uint32_t>(layout.width),
                             static_cast<uint32_t>(layout.height), target->bits, target->bitsSize);
    return ok ? ResultOk : ResultBrokenData;
  }
  if (layout.bitCount == 32) {
    std::memcpy(target->bits, layout.bits.data, layout.bits.size);
    AlphaFromMask(layout, target->bits);
    return ResultOk;
  }
  switch (layout.bitCount) {
    case 1: case 4: case 8: case 16: case 24: break;
    default: return ResultNotImplemented;
  }
  const int64_t maskStride = DibStride(layout.width, 1);
  for (int32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = layout.bits.data + static_cast<size_t>(y) * static_cast<size_t>(layout.stride);
    const uint8_t* mask =
        layout.mask.data ? layout.mask.data + static_cast<size_t>(y) * static_cast<size_t>(maskStride) : nullptr;
    uint8_t* out = target->bits + static_cast<size_t>(y) * static_cast<size_t>(stride);
    for (int32_t x = 0; x < layout.width; ++x, out += 4) {
      ColourAt(layout, row, x, out);
      const bool transparent = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
      out[3] = transparent ? 0 : 255;
    }
  }
  return ResultOk;
}

int CopyIconBits(ByteView input, const DibTarget* target, ProgressCallback, SpiUserValue) {
  IconImageLayout layout;
  if (LocateIconImage(input, &layout) != ResultOk) return ResultBrokenData;
  // The blocks were sized from the info step's answer; a different answer now
  // (the input or the setting changed in between) must not write past them.
  uint64_t bitsLength = uint64_t(layout.stride) * uint64_t(layout.height);
  if (layout.paletteEntries * 4 != target->paletteSize || bitsLength != target->bitsSize ||
      layout.stride != target->stride || layout.height != target->height)
    return ResultBrokenData;

  if (layout.png) {
    bool ok = DecodePngImage(layout.image, static_cast<uint32_t>(layout.width),
                             static_cast<uint32_t>(layout.height), target->bits, target->bitsSize);
    return ok ? ResultOk : ResultBrokenData;
  }

  if (layout.paletteEntrySize == 4) {
    if (layout.palette.size) std::memcpy(target->palette, layout.palette.data, layout.palette.size);
  } else {
    // Short-form headers store blue, green, red; the information block wants a fourth byte.
    for (uint32_t i = 0; i < layout.paletteEntries; ++i) {
      target->palette[4 * i] = layout.palette.data[3 * i];
      target->palette[4 * i + 1] = layout.palette.data[3 * i + 1];
      target->palette[4 * i + 2] = layout.palette.data[3 * i + 2];
      target->palette[4 * i + 3] = 0;
    }
  }
  std::memcpy(target->bits, layout.bits.data, layout.bits.size);
  if (layout.bitCount == 32) AlphaFromMask(layout, target->bits);
  return ResultOk;
}
