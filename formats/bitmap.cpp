#include "formats/bitmap.h"

#include <algorithm>

bool ReadBitmapInfoHeader(ByteView v, BitmapInfoHeader* h) {
  uint32_t size;
  if (!ReadLe32(v, BitmapInfoHeaderField::Size, &size)) return false;
  *h = BitmapInfoHeader{};
  h->size = size;
  if (size == BitmapCoreHeaderSize) {
    if (!Has(v, 0, BitmapCoreHeaderSize)) return false;
    h->width = Le16(v, BitmapCoreHeaderField::Width);
    h->height = Le16(v, BitmapCoreHeaderField::Height);
    h->planes = Le16(v, BitmapCoreHeaderField::Planes);
    h->bitCount = Le16(v, BitmapCoreHeaderField::BitCount);
    return true;
  }
  if (!Has(v, 0, BitmapInfoHeaderMinimum)) return false;
  h->width = static_cast<int32_t>(Le32(v, BitmapInfoHeaderField::Width));
  h->height = static_cast<int32_t>(Le32(v, BitmapInfoHeaderField::Height));
  h->planes = Le16(v, BitmapInfoHeaderField::Planes);
  h->bitCount = Le16(v, BitmapInfoHeaderField::BitCount);
  // The fields behind the bit count, each only where the header reaches it.
  const uint64_t covered = std::min<uint64_t>(size, v.size);
  auto field = [&](uint32_t at) { return at + 4 <= covered ? Le32(v, at) : 0; };
  h->compression = field(BitmapInfoHeaderField::Compression);
  h->sizeImage = field(BitmapInfoHeaderField::SizeImage);
  h->xPelsPerMeter = static_cast<int32_t>(field(BitmapInfoHeaderField::XPelsPerMeter));
  h->yPelsPerMeter = static_cast<int32_t>(field(BitmapInfoHeaderField::YPelsPerMeter));
  h->clrUsed = field(BitmapInfoHeaderField::ClrUsed);
  h->clrImportant = field(BitmapInfoHeaderField::ClrImportant);
  return true;
}

bool ReadBitmapFileHeader(ByteView v, BitmapFileHeader* h) {
  if (!Has(v, 0, BitmapFileHeaderSize)) return false;
  h->type = Le16(v, BitmapFileHeaderField::Type);
  h->size = Le32(v, BitmapFileHeaderField::Size);
  h->reserved1 = Le16(v, BitmapFileHeaderField::Reserved1);
  h->reserved2 = Le16(v, BitmapFileHeaderField::Reserved2);
  h->offBits = Le32(v, BitmapFileHeaderField::OffBits);
  return true;
}

void WriteBitmapFileHeader(uint8_t* out, const BitmapFileHeader& h) {
  PutLe16(out + BitmapFileHeaderField::Type, h.type);
  PutLe32(out + BitmapFileHeaderField::Size, h.size);
  PutLe16(out + BitmapFileHeaderField::Reserved1, h.reserved1);
  PutLe16(out + BitmapFileHeaderField::Reserved2, h.reserved2);
  PutLe32(out + BitmapFileHeaderField::OffBits, h.offBits);
}
