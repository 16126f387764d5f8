// Test-only builder of executables with a resource section, laid out as a
// file on disk: DOS header, new header, section table, section contents.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pe_builder {

using Bytes = std::vector<uint8_t>;

// A node of the resource tree: a directory (children) or a data entry (data).
struct Node {
  uint32_t id = 0;
  std::u16string name;  // named when not empty or when forceNamed
  bool forceNamed = false;
  bool directory = false;
  std::vector<Node> children;
  Bytes data;
  bool named() const { return forceNamed || !name.empty(); }
};

// A resource by type, name and language; a name is an id or a string.
struct Key {
  Key(uint32_t number = 0) : id(number) {}
  Key(uint32_t, std::u16string text) : name(std::move(text)), named(true) {}
  uint32_t id = 0;
  std::u16string name;
  bool named = false;
};
struct Resource {
  Key type;
  Key name;
  uint16_t language = 0;
  Bytes data;
};

Node Directory(std::vector<Node> children = {});
Node Leaf(Bytes data);
Node WithId(Node n, uint32_t id);
Node WithName(Node n, std::u16string name);

// The usual three-level tree; types, names and languages keep the order in
// which they first appear (named ones are moved first, as the format stores them).
Node Tree(const std::vector<Resource>& resources);

// Serialises a tree into section bytes whose data addresses count from sectionAddress.
// rootOffsetOut (if given) receives where each directory landed, in visiting order.
Bytes SerialiseSection(const Node& root, uint32_t sectionAddress);

struct Section {
  std::string name;  // up to 8 bytes, stored zero-padded
  Bytes contents;
  uint32_t address = 0;
};

struct Options {
  bool pe64 = false;
  uint32_t newHeaderOffset = 0x80;
};

// An executable holding the sections at 512-byte aligned file positions.
Bytes Executable(const std::vector<Section>& sections, const Options& options = {});
// An executable with one ".rsrc" section at address 0x3000 holding root.
Bytes ExecutableWith(const Node& root, const Options& options = {});

// Image contents for icons, cursors and bitmaps.
// A BITMAPINFOHEADER image block of width x height (mask included), bit count bpp.
Bytes IconImageBlock(uint32_t width, uint32_t height, uint16_t bpp, uint8_t fill);
// A group directory (types 14 or 12): entries of (width, height, bytes, id).
struct GroupMember {
  uint16_t width, height;
  uint32_t bytes;
  uint16_t id;
  uint16_t planes = 1, bitCount = 8;
  uint8_t colours = 0;
};
Bytes GroupDirectory(bool cursor, const std::vector<GroupMember>& members);
// A bitmap resource: header of 12 or 40 bytes, bit count, total size.
Bytes BitmapResource(uint32_t headerSize, uint16_t bpp, uint32_t totalSize);

void Put16(Bytes& b, size_t at, uint16_t v);
void Put32(Bytes& b, size_t at, uint32_t v);
uint16_t Get16(const Bytes& b, size_t at);
uint32_t Get32(const Bytes& b, size_t at);

}  // namespace pe_builder
