// Pictures fetched from an image plug-in as spihost writes them: the file of
// an image stored as PNG, exactly as embedded, or pixels with alpha.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/spi.h"
#include "host/host.h"
#include "picture.h"

namespace spihost {

struct ShownPicture {
  int width = 0;
  int height = 0;
  int depth = 0;              // the picture's own colour depth, as GetPictureInfo reports it
  std::vector<uint8_t> png;   // the stored PNG file, when the plug-in handed it over as it is
  RgbaImage image;            // the pixels otherwise
};

// The two blocks of GetPicture as bytes; frees them. False when either is missing.
bool TakeBoth(SpiHandle hInfo, SpiHandle hBits, std::vector<uint8_t>* info, std::vector<uint8_t>* bits);

// The picture of (source, length, flags) from the image plug-in p: through its
// GetPictureAlpha when it has one (keepPng: an image stored as PNG comes as its
// bytes, else decoded), else through GetPicture. A plug-in result code.
int FetchShownPicture(const host::Plugin& p, const char* source, SpiLength length, unsigned flags,
                      bool keepPng, ProgressCallback progress, SpiUserValue userValue,
                      ShownPicture* out);

// The same for a file on disk (its UTF-8 path), through the W exports where
// the system's paths are UTF-16.
int FetchShownPictureOfFile(const host::Plugin& p, const std::string& file, bool keepPng,
                            ProgressCallback progress, SpiUserValue userValue, ShownPicture* out);

// The PNG file of a picture: the stored one, or the pixels encoded.
bool ShownPicturePng(const ShownPicture& picture, std::vector<uint8_t>* out);

}  // namespace spihost
