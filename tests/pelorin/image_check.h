// Independent checks of extracted files: structure by hand, pixels by stb_image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A bitmap file whose header is sound and whose pixels decode.
bool IsWellFormedBitmapFile(const std::vector<uint8_t>& file, std::string* why);
// An icon (type 1) or cursor (type 2) file: header, directory with the first
// image right behind it, every image within the file and decodable.
bool IsWellFormedIconFile(const std::vector<uint8_t>& file, uint16_t type, std::string* why);
