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
}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {
  return CopyInfoString(index, buffer, bufferLength, PluginStrings, 3);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {
  return RunFormatTest(dw, TestIconPicture);
}

SPI_EXPORT int SPI_CALL GetPictureInfo(const char* input, int32_t position, unsigned flags,
                                       PictureInfo* info) {
  return PictureInfoFromInput(input, position, flags, FillIconPictureInfo, info);
}

SPI_EXPORT int SPI_CALL GetPicture(const char* input, int32_t position, unsigned flags,
                                   SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                   ProgressCallback progress, SpiUserValue userValue) {
  return PictureFromInput(input, position, flags, infoHandle, bitsHandle, progress, userValue,
                          FillIconPictureInfo, CopyIconBits);
}

// The picture as it is shown: alpha at every depth, PNG images as stored on request.
SPI_EXPORT int SPI_CALL GetPictureAlpha(const char* input, int32_t position, unsigned flags,
                                        unsigned options, SpiHandle* infoHandle,
                                        SpiHandle* bitsHandle, ProgressCallback progress,
                                        SpiUserValue userValue) {
  static constexpr AlphaPictureSteps steps{FillIconAlphaInfo, CopyIconBgra, FindIconEncoded};
  return PictureAlphaFromInput(input, position, flags, options, infoHandle, bitsHandle, progress,
                               userValue, &steps);
}

// Morvane has no preview; nothing is read or written.
SPI_EXPORT int SPI_CALL GetPreview(const char*, int32_t, unsigned, SpiHandle*, SpiHandle*,
                                   ProgressCallback, SpiUserValue) {
  return ResultNotImplemented;
}
