#include "fetch.h"

#include <cstring>

#include "support.h"

namespace spihost {
namespace {

// GetPictureAlpha's blocks: a stored PNG, or 32-bit rows whose alpha is final.
int FromAlphaBlocks(const std::vector<uint8_t>& info, std::vector<uint8_t>& bits, ShownPicture* out) {
  if (info.size() < 40 || U32(info.data()) < 40) return ResultBrokenData;
  if (U32(info.data() + 16) == SpiCompressionPng) {
    const uint32_t length = U32(info.data() + 20);
    if (length == 0 || length > bits.size()) return ResultBrokenData;
    bits.resize(length);
    out->png = std::move(bits);
    out->width = static_cast<int32_t>(U32(info.data() + 4));
    out->height = static_cast<int32_t>(U32(info.data() + 8));
    return ResultOk;
  }
  if (!Bgra32ToImage(info.data(), info.size(), bits.data(), bits.size(), &out->image).empty())
    return ResultBrokenData;
  out->width = out->image.width;
  out->height = out->image.height;
  return ResultOk;
}

// One body for the plain exports and the W ones, which differ only in how
// source is typed.
template <class C, class AlphaFn, class PictureFn, class InfoFn>
int Fetch(AlphaFn getPictureAlpha, PictureFn getPicture, InfoFn getPictureInfo, const C* source,
          SpiLength length, unsigned flags, bool keepPng, ProgressCallback progress,
          SpiUserValue userValue, ShownPicture* out) {
  *out = ShownPicture{};
  SpiHandle hInfo = nullptr, hBits = nullptr;
  std::vector<uint8_t> info, bits;
  int r;
  if (getPictureAlpha) {
    r = getPictureAlpha(source, length, flags, keepPng ? static_cast<unsigned>(SpiKeepEncoded) : 0u, &hInfo, &hBits,
                          progress, userValue);
    if (r != ResultOk) return r;
    if (!TakeBoth(hInfo, hBits, &info, &bits)) return ResultBrokenData;
    r = FromAlphaBlocks(info, bits, out);
  } else {
    if (!getPicture) return ResultNotImplemented;
    r = getPicture(source, length, flags, &hInfo, &hBits, progress, userValue);
    if (r != ResultOk) return r;
    if (!TakeBoth(hInfo, hBits, &info, &bits)) return ResultBrokenData;
    if (!DibToImage(info.data(), info.size(), bits.data(), bits.size(), &out->image).empty())
      return ResultBrokenData;
    out->width = out->image.width;
    out->height = out->image.height;
  }
  if (r != ResultOk) return r;
  // The depth the picture itself has, not the 32 bits it was handed over in.
  PictureInfo pi{};
  if (getPictureInfo && getPictureInfo(source, length, flags, &pi) == ResultOk) {
    if (pi.hInfo) SpiFreeBlock(pi.hInfo);
    out->depth = pi.colorDepth;
  } else if (info.size() >= 16) {
    out->depth = info[14] | (info[15] << 8);
  }
  return ResultOk;
}

}  // namespace

bool TakeBoth(SpiHandle hInfo, SpiHandle hBits, std::vector<uint8_t>* info, std::vector<uint8_t>* bits) {
  if (!hInfo || !hBits) {
    if (hInfo) SpiFreeBlock(hInfo);
    if (hBits) SpiFreeBlock(hBits);
    return false;
  }
  *info = host::TakeBlock(hInfo);
  *bits = host::TakeBlock(hBits);
  return true;
}

int FetchShownPicture(const host::Plugin& p, const char* source, SpiLength length, unsigned flags,
                      bool keepPng, ProgressCallback progress, SpiUserValue userValue,
                      ShownPicture* out) {
  return Fetch(p.getPictureAlpha, p.getPicture, p.getPictureInfo, source, length, flags, keepPng, progress,
               userValue, out);
}

int FetchShownPictureOfFile(const host::Plugin& p, const std::string& file, bool keepPng,
                            ProgressCallback progress, SpiUserValue userValue, ShownPicture* out) {
  *out = ShownPicture{};
  return CallWithPath(
      file, p.getPictureW != nullptr,
      [&](const char* f) {
        return Fetch(p.getPictureAlpha, p.getPicture, p.getPictureInfo, f, 0, InputFile, keepPng, progress,
                     userValue, out);
      },
      [&](const SpiWChar* f) {
        return Fetch(p.getPictureAlphaW, p.getPictureW, p.getPictureInfoW, f, 0, InputFile, keepPng, progress,
                     userValue, out);
      });
}

bool ShownPicturePng(const ShownPicture& picture, std::vector<uint8_t>* out) {
  if (!picture.png.empty()) {
    *out = picture.png;
    return true;
  }
  return EncodePng(picture.image, out);
}

}  // namespace spihost
