// spihost thumbnail (cmd_thumbnail.cpp): the choice of the image to show and
// its fitting into SIZE x SIZE.
#pragma once

#include <vector>

#include "picture.h"

namespace spihost {

// One image that could be shown: its size and colour depth.
struct ImageChoice {
  int width = 0;
  int height = 0;
  int depth = 0;
};

// The index of the image to show at size: the smallest one that covers size
// (no upscaling), else the largest; among equals the highest depth, then the
// first. -1 when there is none.
int ChooseImage(const std::vector<ImageChoice>& images, int size);

// The pixels to write for a picture of width x height at most size: scaled
// down to fit, scaled up at most 2x when smaller, aspect kept, always with alpha.
bool FitPicture(const RgbaImage& image, int size, RgbaImage* out);

// True for a whole PNG file (every chunk's CRC right), 8-bit RGBA and not
// interlaced, whose longest side is size: the thumbnail as it stands.
bool FitsAsStored(const std::vector<uint8_t>& png, int size);

}  // namespace spihost
