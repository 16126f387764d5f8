// Executables with a resource section, laid out as a file on disk: DOS header,
// new header, section table, section contents. A resource tree is built from
// a list of resources or node by node, for trees no list can describe.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/builders/icon.h"

namespace build {

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

// Where the parts of a serialised section landed, so that a test can bend them.
struct ResourceLayout {
  uint32_t root = 0;
  std::vector<uint32_t> typeDirs;      // per distinct type, in stored order
  std::vector<uint32_t> dataEntries;   // per resource, in walk order
  std::vector<uint32_t> dataOffsets;   // per resource
};

// The section's order: directories (breadth first), then name strings (each
// 4-byte aligned), data entries, data; or with packedStringsLast the strings
// unaligned after the data entries.
struct SectionOptions {
  bool packedStringsLast = false;
};

// Serialises a tree into section bytes whose data addresses count from sectionAddress.
Bytes SerialiseSection(const Node& root, uint32_t sectionAddress, const SectionOptions& options = {},
                       ResourceLayout* layout = nullptr);

struct Section {
  std::string name;  // up to 8 bytes, stored zero-padded
  Bytes contents;
  uint32_t address = 0;
};

struct Options {
  bool pe64 = false;
  uint32_t newHeaderOffset = 0x80;
  uint16_t characteristics = 0x2102;
  // The loader fields that general tools look at: alignments, image and header
  // sizes, the resource slot of the data directory.
  bool loaderFields = false;
  bool padSections = true;  // raw sizes rounded to 512 bytes
};

// An executable holding the sections at 512-byte aligned file positions.
Bytes Executable(const std::vector<Section>& sections, const Options& options = {});
// An executable with one ".rsrc" section at address 0x3000 holding root, behind a ".text".
Bytes ExecutableWith(const Node& root, const Options& options = {});

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

// ---- The compact form of the hostile-input tests ---------------------------------

constexpr uint32_t PeNewHeader = 0x40;
constexpr uint32_t PeSectionTable = PeNewHeader + 248;
constexpr uint32_t PeSectionFile = 0x200;     // file position of .rsrc
constexpr uint32_t PeSectionAddress = 0x1000;  // its virtual address

// A resource of language 0x409.
Resource Res(uint32_t type, uint32_t name, Bytes data, uint16_t language = 0x409);
// The resource section for the given resources, strings packed after the entries.
Bytes ResourceSection(const std::vector<Resource>& rs, ResourceLayout* layout = nullptr);
// A 32-bit executable image whose only section is .rsrc holding `section`,
// with the loader fields filled in.
Bytes PeImage(const Bytes& section);
Bytes PeWithResources(const std::vector<Resource>& rs, ResourceLayout* layout = nullptr);
// Resource data for an icon (type 1) or cursor (type 2) group naming images by
// id and byte count.
Bytes IconGroupData(uint16_t type, const std::vector<std::pair<uint16_t, uint32_t>>& idsAndBytes);
// A bitmap resource (no file header).
Bytes BitmapData(int32_t width, int32_t height, uint16_t bitCount);
// An executable with a bitmap, a raw resource, an icon group of two images and a
// cursor group of one, plus a named type: every conversion path of the extractor.
Bytes SamplePe(std::vector<Resource>* out = nullptr);

// A program as UPX packs it: sections UPX0 (no raw data), UPX1 (packed bytes)
// and .rsrc, with the "UPX!" mark behind the section table. The first icon
// group (id 1) with its image, a version resource and the manifest stay in
// .rsrc; the data of the second icon group (id 2) with its image points into
// UPX1, that of bitmap 5 into UPX0, which holds no bytes on disk.
// Walk order: icon 1, icon 2, bitmap 5, group 1, group 2, version, manifest.
Bytes UpxPackedPe();
constexpr uint32_t UpxPackedFirst = 0x5000;  // UPX1's address

}  // namespace build
