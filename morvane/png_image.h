// PNG images stored inside icon containers (as Windows Vista writes its
// 256 x 256 images). The bytes are hostile: the structure and every chunk's
// checksum are verified before decoding, and the size is capped.
#pragma once

#include <cstdint>

#include "formats/png.h"

// Larger PNG images are refused before anything is allocated.
constexpr uint32_t PngMaxDimension = 2048;

// Checks the signature, that IHDR comes first and IEND last, that every chunk
// lies within png and carries a right CRC, and that the size is within the cap.
// Gives the image's width and height.
bool CheckPngImage(ByteView png, uint32_t* width, uint32_t* height);

// Decodes png into bottom-up rows of blue, green, red, alpha (not
// premultiplied), stride width * 4. False when the image is corrupt, its size
// is not width x height, or decoding would need more memory than the cap allows.
bool DecodePngImage(ByteView png, uint32_t width, uint32_t height, uint8_t* bits, uint32_t bitsSize);
