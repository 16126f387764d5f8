// Test-only builder of NE executables (16-bit programs, icon libraries and
// fonts) laid out as a file on disk: DOS header, NE header, resource table,
// resident-name table, then the resources at aligned offsets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ne_builder {

using Bytes = std::vector<uint8_t>;

// A resource by type and name, each an integer or, when the text is not
// empty, a name.
struct Resource {
  uint16_t type = 0;
  std::string typeName;
  uint16_t id = 0;
  std::string name;
  Bytes data;
};

// An executable holding the resources with alignment shift `shift`; types keep
// the order in which they first appear. Every resource starts on a unit and
// the file ends on one, as linkers lay them out.
Bytes Executable(const std::vector<Resource>& resources, uint16_t shift = 4);

// Adds an icon or cursor file (.ICO/.CUR bytes) as a group of type 14 or 12
// with the id or name, and its images as member resources of type 3 or 1
// with the ids *nextImageId, *nextImageId + 1, ...
void AddIconFile(std::vector<Resource>* resources, const Bytes& file, uint16_t id,
                 const std::string& name, uint16_t* nextImageId);

// A version resource in the PE form (UTF-16) or the NE form (code page):
// fixed info with file version a.b.c.d, one string table "040904E4" (PE:
// "040904B0") with the (key, value) strings, and one translation.
struct VersionStrings {
  uint16_t version[4] = {1, 2, 3, 4};
  std::vector<std::pair<std::string, std::string>> strings;
};
Bytes VersionResource(bool ne, const VersionStrings& v);
// A string-table block of up to 16 strings (the rest empty).
Bytes StringBlock(bool ne, const std::vector<std::string>& strings);

// One image of an icon or cursor file, as the tests compare them.
struct IconImage {
  unsigned width = 0, height = 0, colours = 0, hotspotX = 0, hotspotY = 0;
  Bytes data;
  bool operator==(const IconImage&) const = default;
};
// The images of an icon or cursor file; empty when it is not one. Width and
// height 0 are read as 256; an icon's planes and bit count go in hotspotX/Y.
std::vector<IconImage> IconImages(const Bytes& file);

}  // namespace ne_builder
