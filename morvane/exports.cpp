// Morvane as the framework sees it: its strings and the icon layer's steps,
// and its picture exports stamped out over them.
#include "framework/plugin.h"
#include "morvane/icon_picture.h"
#include "morvane/settings.h"

namespace {

constexpr PicturePlugin Morvane{
    {{"00IN", SPI_DESCRIPTION("Morvane", "pictures of icon and cursor files"), "*.ICO;*.CUR",
      "Icon, Cursor (*.ico;*.cur)"},
     nullptr},
    TestIconPicture,
    FillIconPictureInfo,
    CopyIconBits,
    {FillIconAlphaInfo, CopyIconBgra, FindIconEncoded},
    LoadSettings,
};

}  // namespace

SPI_PICTURE_EXPORTS(Morvane)
