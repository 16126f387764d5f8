// Morvane's picture exports. Each gathers its arguments and calls one frame
// operation with the icon layer's steps.
#include "framework/framework.h"
#include "framework/spi.h"
#include "morvane/icon_picture.h"
#include "morvane/picture_frame.h"

namespace {
const char* const PluginStrings[] = {
    "00IN",
    "Morvane " SPI_VERSION_STRING " - icon and cursor pictures (Kestrov)",
    "*.ICO;*.CUR",
    "Icon, Cursor (*.ico;*.cur)",
};
constexpr AlphaPictureSteps AlphaSteps{FillIconAlphaInfo, CopyIconBgra, FindIconEncoded};
}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, PluginStrings, 3);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {
  return RunFormatTest(dw, TestIconPicture);
}

SPI_EXPORT int SPI_CALL GetPictureInfo(const char* input, SpiLength position, unsigned flags,
                                       PictureInfo* info) {
  return PictureInfoFromInput(input, position, flags, FillIconPictureInfo, info);
}

SPI_EXPORT int SPI_CALL GetPicture(const char* input, SpiLength position, unsigned flags,
                                   SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                   ProgressCallback progress, SpiUserValue userValue) {
  return PictureFromInput(input, position, flags, infoHandle, bitsHandle, progress, userValue,
                          FillIconPictureInfo, CopyIconBits);
}

// The picture as it is shown: alpha at every depth, PNG images as stored on request.
SPI_EXPORT int SPI_CALL GetPictureAlpha(const char* input, SpiLength position, unsigned flags,
                                        unsigned options, SpiHandle* infoHandle,
                                        SpiHandle* bitsHandle, ProgressCallback progress,
                                        SpiUserValue userValue) {
  return PictureAlphaFromInput(input, position, flags, options, infoHandle, bitsHandle, progress,
                               userValue, &AlphaSteps);
}

// Morvane has no preview; nothing is read or written.
SPI_EXPORT int SPI_CALL GetPreview(const char*, SpiLength, unsigned, SpiHandle*, SpiHandle*,
                                   ProgressCallback, SpiUserValue) {
  return ResultNotImplemented;
}

// The Unicode forms: the same operations with UTF-16 file names.
SPI_EXPORT int SPI_CALL GetPluginInfoW(int index, SpiWChar* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, PluginStrings, 3);
}

SPI_EXPORT int SPI_CALL IsSupportedW(const SpiWChar*, uintptr_t dw) {
  return IsSupported(nullptr, dw);
}

SPI_EXPORT int SPI_CALL GetPictureInfoW(const SpiWChar* input, SpiLength position,
                                        unsigned flags, PictureInfo* info) {
  return PictureInfoFromInput(input, position, flags, FillIconPictureInfo, info);
}

SPI_EXPORT int SPI_CALL GetPictureW(const SpiWChar* input, SpiLength position, unsigned flags,
                                    SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                    ProgressCallback progress, SpiUserValue userValue) {
  return PictureFromInput(input, position, flags, infoHandle, bitsHandle, progress, userValue,
                          FillIconPictureInfo, CopyIconBits);
}

SPI_EXPORT int SPI_CALL GetPictureAlphaW(const SpiWChar* input, SpiLength position,
                                         unsigned flags, unsigned options,
                                         SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                         ProgressCallback progress, SpiUserValue userValue) {
  return PictureAlphaFromInput(input, position, flags, options, infoHandle, bitsHandle, progress,
                               userValue, &AlphaSteps);
}

SPI_EXPORT int SPI_CALL GetPreviewW(const SpiWChar*, SpiLength position, unsigned flags,
                                    SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                    ProgressCallback progress, SpiUserValue userValue) {
  return GetPreview(nullptr, position, flags, infoHandle, bitsHandle, progress, userValue);
}
