// Byte builders for the three input formats, shared by the hostile-input tests
// and the fuzz corpus generator. They build well-formed files that a test then
// bends field by field, so each hostile case names only what it breaks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace build {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t off, uint16_t v) {
  if (b.size() < off + 2) b.resize(off + 2);
  b[off] = static_cast<uint8_t>(v);
  b[off + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, size_t off, uint32_t v) {
  if (b.size() < off + 4) b.resize(off + 4);
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t Get32(const Bytes& b, size_t off) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b[off + i];
  return v;
}
inline void Add16(Bytes& b, uint16_t v) { Put16(b, b.size(), v); }
inline void Add32(Bytes& b, uint32_t v) { Put32(b, b.size(), v); }
// Grown by resize and copy: gcc 12's overflow warning misreads range inserts
// into these small vectors when inlined at -O3.
inline void AddRaw(Bytes& b, const void* p, size_t n) {
  size_t at = b.size();
  b.resize(at + n);
  if (n) std::memcpy(b.data() + at, p, n);
}
inline void AddText(Bytes& b, const char* s) { AddRaw(b, s, std::strlen(s)); }
inline void AddBytes(Bytes& b, const Bytes& more) { AddRaw(b, more.data(), more.size()); }

// ---- Icons and cursors ------------------------------------------------------

// An image block: 40-byte header (height doubled for the mask), palette, colour
// rows and mask rows, every byte past the header a recognisable pattern.
inline Bytes IconImageBlock(int32_t width, int32_t height, uint16_t bitCount) {
  Bytes b;
  Add32(b, 40);
  Add32(b, static_cast<uint32_t>(width));
  Add32(b, static_cast<uint32_t>(height * 2));
  Add16(b, 1);
  Add16(b, bitCount);
  for (int i = 0; i < 6; ++i) Add32(b, 0);
  uint32_t colours = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
  for (uint32_t i = 0; i < colours; ++i) Add32(b, 0x00102030u + i);
  uint32_t stride = ((static_cast<uint32_t>(width) * bitCount + 7) / 8 + 3) & ~3u;
  uint32_t maskStride = ((static_cast<uint32_t>(width) + 7) / 8 + 3) & ~3u;
  size_t pixels = size_t{stride} * static_cast<uint32_t>(height);
  for (size_t i = 0; i < pixels; ++i) b.push_back(static_cast<uint8_t>(i * 7 + 1));
  b.resize(b.size() + size_t{maskStride} * static_cast<uint32_t>(height), 0);
  return b;
}

// The short (12-byte) header form of the same.
inline Bytes IconImageBlockShort(uint16_t width, uint16_t height, uint16_t bitCount) {
  Bytes b;
  Add32(b, 12);
  Add16(b, width);
  Add16(b, static_cast<uint16_t>(height * 2));
  Add16(b, 1);
  Add16(b, bitCount);
  uint32_t colours = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
  for (uint32_t i = 0; i < colours * 3; ++i) b.push_back(static_cast<uint8_t>(i));
  uint32_t stride = ((uint32_t{width} * bitCount + 7) / 8 + 3) & ~3u;
  b.resize(b.size() + size_t{stride} * height * 2, 0x5A);
  return b;
}

struct IconImageSpec {
  uint8_t width = 16, height = 16, colorCount = 0;
  uint16_t planes = 1, bitCount = 4;  // hotspot x and y in cursor files
  Bytes block;
};

inline IconImageSpec IconImage(int32_t width, int32_t height, uint16_t bitCount) {
  IconImageSpec s;
  s.width = static_cast<uint8_t>(width);
  s.height = static_cast<uint8_t>(height);
  s.colorCount = bitCount == 4 ? 16 : bitCount == 1 ? 2 : 0;
  s.bitCount = bitCount;
  s.block = IconImageBlock(width, height, bitCount);
  return s;
}

// Offsets of directory entry i's fields within an icon file.
inline size_t IconEntryOffset(size_t i) { return 6 + 16 * i; }
inline size_t IconByteSizeOffset(size_t i) { return IconEntryOffset(i) + 8; }
inline size_t IconImageOffsetOffset(size_t i) { return IconEntryOffset(i) + 12; }

// A complete icon (type 1) or cursor (type 2) file; blocks follow the directory.
inline Bytes IconFile(uint16_t type, const std::vector<IconImageSpec>& images) {
  Bytes b;
  Add16(b, 0);
  Add16(b, type);
  Add16(b, static_cast<uint16_t>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (const IconImageSpec& s : images) {
    b.push_back(s.width);
    b.push_back(s.height);
    b.push_back(s.colorCount);
    b.push_back(0);
    Add16(b, s.planes);
    Add16(b, s.bitCount);
    Add32(b, static_cast<uint32_t>(s.block.size()));
    Add32(b, offset);
    offset += static_cast<uint32_t>(s.block.size());
  }
  for (const IconImageSpec& s : images) AddBytes(b, s.block);
  return b;
}

inline Bytes SmallIcon(uint16_t type = 1, int images = 1) {
  std::vector<IconImageSpec> v;
  for (int i = 0; i < images; ++i) v.push_back(IconImage(16 + 16 * (i % 2), 16 + 16 * (i % 2), i % 3 == 2 ? 8 : 4));
  return IconFile(type, v);
}

// ---- Animated cursors ---------------------------------------------------------

inline Bytes Chunk(const char* id, const Bytes& data) {
  Bytes b;
  AddText(b, id);
  Add32(b, static_cast<uint32_t>(data.size()));
  AddBytes(b, data);
  return b;
}

inline Bytes AniHeaderData(uint32_t frames, uint32_t steps) {
  Bytes b;
  Add32(b, 36);
  Add32(b, frames);
  Add32(b, steps);
  for (int i = 0; i < 4; ++i) Add32(b, 0);
  Add32(b, 10);  // display rate
  Add32(b, 1);   // flags: frames are icon files
  return b;
}

inline Bytes FramList(const std::vector<Bytes>& frames) {
  Bytes body;
  AddText(body, "fram");
  for (const Bytes& f : frames) AddBytes(body, Chunk("icon", f));
  return Chunk("LIST", body);
}

inline Bytes SeqChunk(const std::vector<uint32_t>& steps) {
  Bytes d;
  for (uint32_t s : steps) Add32(d, s);
  return Chunk("seq ", d);
}

// RIFF "ACON" around the given top-level chunks; the RIFF size counts from offset 8.
inline Bytes Riff(const std::vector<Bytes>& chunks) {
  Bytes b;
  AddText(b, "RIFF");
  Add32(b, 0);
  AddText(b, "ACON");
  for (const Bytes& c : chunks) AddBytes(b, c);
  Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
  return b;
}

// An animated cursor of `frames` one-image cursor frames, with a "seq " chunk when
// steps is not empty.
inline Bytes Ani(int frames, const std::vector<uint32_t>& steps = {}) {
  std::vector<Bytes> f;
  for (int i = 0; i < frames; ++i) f.push_back(SmallIcon(2, 1));
  std::vector<Bytes> chunks;
  chunks.push_back(Chunk("anih", AniHeaderData(static_cast<uint32_t>(frames),
                                               static_cast<uint32_t>(steps.empty() ? frames : steps.size()))));
  if (!steps.empty()) chunks.push_back(SeqChunk(steps));
  chunks.push_back(FramList(f));
  return Riff(chunks);
}

// ---- Executables and their resources --------------------------------------------

// A resource: numeric ids, or names when the strings are not empty.
struct Resource {
  uint32_t type = 0;
  std::u16string typeName;
  uint32_t name = 0;
  std::u16string nameText;
  uint32_t language = 0x409;
  Bytes data;
};

constexpr uint32_t PeNewHeader = 0x40;
constexpr uint32_t PeSectionTable = PeNewHeader + 248;
constexpr uint32_t PeSectionFile = 0x200;     // file position of .rsrc
constexpr uint32_t PeSectionAddress = 0x1000;  // its virtual address

// Offsets within the resource section of each directory and data entry, so that
// hostile cases can bend them after the build.
struct ResourceLayout {
  uint32_t root = 0;
  std::vector<uint32_t> typeDirs;      // per distinct type, in stored order
  std::vector<uint32_t> dataEntries;   // per resource, in walk order
  std::vector<uint32_t> dataOffsets;   // per resource
};

namespace detail {
inline bool SameKey(uint32_t a, const std::u16string& an, uint32_t b, const std::u16string& bn) {
  return an.empty() == bn.empty() && (an.empty() ? a == b : an == bn);
}
}  // namespace detail

// The resource section for the given resources: one type directory per distinct
// type in first-seen order, one name directory per distinct name within it, one
// language entry per resource.
inline Bytes ResourceSection(const std::vector<Resource>& rs, ResourceLayout* layout = nullptr) {
  struct NameNode { size_t first; std::vector<size_t> members; };
  struct TypeNode { size_t first; std::vector<NameNode> names; };
  std::vector<TypeNode> types;
  for (size_t i = 0; i < rs.size(); ++i) {
    TypeNode* t = nullptr;
    for (TypeNode& x : types)
      if (detail::SameKey(rs[x.first].type, rs[x.first].typeName, rs[i].type, rs[i].typeName)) t = &x;
    if (!t) { types.push_back(TypeNode{i, {}}); t = &types.back(); }
    NameNode* n = nullptr;
    for (NameNode& x : t->names)
      if (detail::SameKey(rs[x.first].name, rs[x.first].nameText, rs[i].name, rs[i].nameText)) n = &x;
    if (!n) { t->names.push_back(NameNode{i, {}}); n = &t->names.back(); }
    n->members.push_back(i);
  }
  // The format stores named entries before id entries.
  std::stable_sort(types.begin(), types.end(), [&](const TypeNode& a, const TypeNode& b) {
    return !rs[a.first].typeName.empty() && rs[b.first].typeName.empty();
  });
  for (TypeNode& t : types)
    std::stable_sort(t.names.begin(), t.names.end(), [&](const NameNode& a, const NameNode& b) {
      return !rs[a.first].nameText.empty() && rs[b.first].nameText.empty();
    });
  // Sizes: directories first, then data entries, strings, data.
  auto dirSize = [](size_t entries) { return static_cast<uint32_t>(16 + 8 * entries); };
  uint32_t at = dirSize(types.size());
  std::vector<uint32_t> typeDir(types.size());
  std::vector<std::vector<uint32_t>> nameDir(types.size());
  for (size_t t = 0; t < types.size(); ++t) {
    typeDir[t] = at;
    at += dirSize(types[t].names.size());
  }
  for (size_t t = 0; t < types.size(); ++t)
    for (const NameNode& n : types[t].names) {
      nameDir[t].push_back(at);
      at += dirSize(n.members.size());
    }
  std::vector<uint32_t> entryAt(rs.size());
  std::vector<size_t> walk;
  for (const TypeNode& t : types)
    for (const NameNode& n : t.names)
      for (size_t m : n.members) walk.push_back(m);
  for (size_t m : walk) { entryAt[m] = at; at += 16; }
  Bytes strings;
  const uint32_t stringsStart = at;
  auto addString = [&](const std::u16string& s) {
    uint32_t off = at + static_cast<uint32_t>(strings.size());
    Add16(strings, static_cast<uint16_t>(s.size()));
    for (char16_t c : s) Add16(strings, static_cast<uint16_t>(c));
    return off;
  };
  std::vector<uint32_t> typeNameAt(types.size()), nameTextAt(rs.size());
  for (size_t t = 0; t < types.size(); ++t)
    if (!rs[types[t].first].typeName.empty()) typeNameAt[t] = addString(rs[types[t].first].typeName);
  for (const TypeNode& t : types)
    for (const NameNode& n : t.names)
      if (!rs[n.first].nameText.empty()) nameTextAt[n.first] = addString(rs[n.first].nameText);
  at += static_cast<uint32_t>(strings.size());
  at = (at + 3) & ~3u;
  std::vector<uint32_t> dataAt(rs.size());
  for (size_t m : walk) {
    dataAt[m] = at;
    at += (static_cast<uint32_t>(rs[m].data.size()) + 3) & ~3u;
  }

  Bytes s(at, 0);
  auto writeDir = [&](uint32_t off, uint16_t named, uint16_t ids) {
    Put16(s, off + 12, named);
    Put16(s, off + 14, ids);
  };
  auto nameField = [&](uint32_t id, bool named, uint32_t stringAt) {
    return named ? (0x80000000u | stringAt) : id;
  };
  uint16_t namedTypes = 0;
  for (const TypeNode& t : types) namedTypes += !rs[t.first].typeName.empty();
  writeDir(0, namedTypes, static_cast<uint16_t>(types.size() - namedTypes));
  for (size_t t = 0; t < types.size(); ++t) {
    const Resource& r = rs[types[t].first];
    Put32(s, 16 + 8 * t, nameField(r.type, !r.typeName.empty(), typeNameAt[t]));
    Put32(s, 16 + 8 * t + 4, 0x80000000u | typeDir[t]);
    uint16_t namedNames = 0;
    for (const NameNode& n : types[t].names) namedNames += !rs[n.first].nameText.empty();
    writeDir(typeDir[t], namedNames, static_cast<uint16_t>(types[t].names.size() - namedNames));
    for (size_t k = 0; k < types[t].names.size(); ++k) {
      const NameNode& n = types[t].names[k];
      const Resource& nr = rs[n.first];
      Put32(s, typeDir[t] + 16 + 8 * k, nameField(nr.name, !nr.nameText.empty(), nameTextAt[n.first]));
      Put32(s, typeDir[t] + 16 + 8 * k + 4, 0x80000000u | nameDir[t][k]);
      writeDir(nameDir[t][k], 0, static_cast<uint16_t>(n.members.size()));
      for (size_t j = 0; j < n.members.size(); ++j) {
        size_t m = n.members[j];
        Put32(s, nameDir[t][k] + 16 + 8 * j, rs[m].language);
        Put32(s, nameDir[t][k] + 16 + 8 * j + 4, entryAt[m]);
        Put32(s, entryAt[m], PeSectionAddress + dataAt[m]);
        Put32(s, entryAt[m] + 4, static_cast<uint32_t>(rs[m].data.size()));
        if (!rs[m].data.empty()) std::memcpy(s.data() + dataAt[m], rs[m].data.data(), rs[m].data.size());
      }
    }
  }
  if (!strings.empty()) std::memcpy(s.data() + stringsStart, strings.data(), strings.size());
  if (layout) {
    layout->root = 0;
    layout->typeDirs = typeDir;
    layout->dataEntries.clear();
    layout->dataOffsets.clear();
    for (size_t m : walk) {
      layout->dataEntries.push_back(entryAt[m]);
      layout->dataOffsets.push_back(dataAt[m]);
    }
  }
  return s;
}

// A 32-bit executable image whose only section is .rsrc holding `section`.
inline Bytes PeImage(const Bytes& section) {
  Bytes b(PeSectionFile, 0);
  Put16(b, 0, 0x5A4D);
  Put32(b, 60, PeNewHeader);
  Put32(b, PeNewHeader, 0x00004550);
  Put16(b, PeNewHeader + 4, 0x14C);
  Put16(b, PeNewHeader + 6, 1);
  Put16(b, PeNewHeader + 20, 224);
  Put16(b, PeNewHeader + 24, 0x10B);
  // Loader fields that general tools look at; the resource slot of the data directory.
  Put32(b, PeNewHeader + 24 + 32, 0x1000);  // section alignment
  Put32(b, PeNewHeader + 24 + 36, 0x200);   // file alignment
  Put32(b, PeNewHeader + 24 + 56, PeSectionAddress + ((static_cast<uint32_t>(section.size()) + 0xFFF) & ~0xFFFu));
  Put32(b, PeNewHeader + 24 + 60, PeSectionFile);
  Put32(b, PeNewHeader + 24 + 92, 16);
  Put32(b, PeNewHeader + 24 + 96 + 16, PeSectionAddress);
  Put32(b, PeNewHeader + 24 + 96 + 20, static_cast<uint32_t>(section.size()));
  std::memcpy(b.data() + PeSectionTable, ".rsrc", 5);
  Put32(b, PeSectionTable + 8, static_cast<uint32_t>(section.size()));
  Put32(b, PeSectionTable + 12, PeSectionAddress);
  Put32(b, PeSectionTable + 16, static_cast<uint32_t>(section.size()));
  Put32(b, PeSectionTable + 20, PeSectionFile);
  AddBytes(b, section);
  return b;
}

inline Bytes PeWithResources(const std::vector<Resource>& rs, ResourceLayout* layout = nullptr) {
  return PeImage(ResourceSection(rs, layout));
}

// Resource data for an icon group naming images by id.
inline Bytes IconGroupData(uint16_t type, const std::vector<std::pair<uint16_t, uint32_t>>& idsAndBytes) {
  Bytes b;
  Add16(b, 0);
  Add16(b, type);
  Add16(b, static_cast<uint16_t>(idsAndBytes.size()));
  for (const auto& [id, bytes] : idsAndBytes) {
    if (type == 1) {
      b.push_back(16); b.push_back(16); b.push_back(16); b.push_back(0);
      Add16(b, 1);
      Add16(b, 4);
    } else {
      Add16(b, 16);
      Add16(b, 32);
      Add16(b, 1);
      Add16(b, 4);
    }
    Add32(b, bytes);
    Add16(b, id);
  }
  return b;
}

// A bitmap resource (no file header).
inline Bytes BitmapData(int32_t width, int32_t height, uint16_t bitCount) {
  Bytes b = IconImageBlock(width, height / 2 > 0 ? height / 2 : 1, bitCount);
  Put32(b, 8, static_cast<uint32_t>(height));
  return b;
}

// An executable with a bitmap, a raw resource, an icon group of two images and a
// cursor group of one, plus a named type: every conversion path of the extractor.
inline Bytes SamplePe(std::vector<Resource>* out = nullptr) {
  Bytes icon1 = IconImageBlock(16, 16, 4), icon2 = IconImageBlock(32, 32, 8);
  Bytes cursor = IconImageBlock(16, 16, 1);
  Bytes cursorRes;
  Add16(cursorRes, 3);
  Add16(cursorRes, 5);
  AddBytes(cursorRes, cursor);
  std::vector<Resource> rs;
  auto add = [&](uint32_t type, uint32_t name, Bytes data, uint32_t lang = 0x409) {
    Resource r;
    r.type = type;
    r.name = name;
    r.language = lang;
    r.data = std::move(data);
    rs.push_back(std::move(r));
  };
  add(3, 1, icon1);
  add(3, 2, icon2);
  add(1, 7, cursorRes);
  add(2, 100, BitmapData(8, 8, 8));
  add(2, 100, BitmapData(4, 4, 1), 0x411);
  add(10, 5, Bytes{1, 2, 3, 4, 5, 6, 7});
  add(14, 1, IconGroupData(1, {{1, static_cast<uint32_t>(icon1.size())}, {2, static_cast<uint32_t>(icon2.size())}}));
  add(12, 3, IconGroupData(2, {{7, static_cast<uint32_t>(cursorRes.size())}}));
  add(16, 1, Bytes(60, 0x11));
  Resource named;
  named.typeName = u"PNG";
  named.nameText = u"LOGO";
  named.data = Bytes{0x89, 'P', 'N', 'G'};
  rs.push_back(named);
  if (out) *out = rs;
  return PeWithResources(rs);
}

}  // namespace build
