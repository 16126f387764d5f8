#include "tests/builders/pe.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

namespace build {

Node Directory(std::vector<Node> children) {
  Node n;
  n.directory = true;
  n.children = std::move(children);
  return n;
}
Node Leaf(Bytes data) {
  Node n;
  n.data = std::move(data);
  return n;
}
Node WithId(Node n, uint32_t id) {
  n.id = id;
  return n;
}
Node WithName(Node n, std::u16string name) {
  n.name = std::move(name);
  n.forceNamed = true;
  return n;
}

namespace {

Node* FindChild(Node& dir, const Key& key) {
  for (Node& c : dir.children)
    if (key.named ? (c.named() && c.name == key.name) : (!c.named() && c.id == key.id)) return &c;
  return nullptr;
}

Node* AddChild(Node& dir, const Key& key, bool directory) {
  Node n;
  n.directory = directory;
  n.id = key.id;
  if (key.named) n = WithName(std::move(n), key.name);
  // Named entries stay ahead of numbered ones.
  auto at = dir.children.end();
  if (key.named)
    at = std::find_if(dir.children.begin(), dir.children.end(),
                      [](const Node& c) { return !c.named(); });
  return &*dir.children.insert(at, std::move(n));
}

}  // namespace

Node Tree(const std::vector<Resource>& resources) {
  Node root = Directory();
  for (const Resource& r : resources) {
    Node* type = FindChild(root, r.type);
    if (!type) type = AddChild(root, r.type, true);
    Node* name = FindChild(*type, r.name);
    if (!name) name = AddChild(*type, r.name, true);
    Node* lang = AddChild(*name, Key(r.language), false);
    lang->data = r.data;
  }
  return root;
}

Bytes SerialiseSection(const Node& root, uint32_t sectionAddress, const SectionOptions& options,
                       ResourceLayout* layout) {
  std::vector<const Node*> dirs;
  std::deque<const Node*> queue{&root};
  while (!queue.empty()) {
    const Node* d = queue.front();
    queue.pop_front();
    dirs.push_back(d);
    for (const Node& c : d->children)
      if (c.directory) queue.push_back(&c);
  }
  std::map<const Node*, uint32_t> dirAt, nameAt, entryAt, dataAt;
  uint32_t at = 0;
  for (const Node* d : dirs) {
    dirAt[d] = at;
    at += 16 + 8 * static_cast<uint32_t>(d->children.size());
  }
  auto placeStrings = [&](bool aligned) {
    for (const Node* d : dirs)
      for (const Node& c : d->children)
        if (c.named()) {
          nameAt[&c] = at;
          at += 2 + 2 * static_cast<uint32_t>(c.name.size());
          if (aligned) at = (at + 3) & ~3u;
        }
    at = (at + 3) & ~3u;
  };
  if (!options.packedStringsLast) placeStrings(true);
  std::vector<const Node*> leaves;
  for (const Node* d : dirs)
    for (const Node& c : d->children)
      if (!c.directory) {
        leaves.push_back(&c);
        entryAt[&c] = at;
        at += 16;
      }
  if (options.packedStringsLast) placeStrings(false);
  for (const Node* c : leaves) {
    dataAt[c] = at;
    at += static_cast<uint32_t>(c->data.size());
    at = (at + 3) & ~3u;
  }
  Bytes out(at, 0);
  for (const Node* d : dirs) {
    const uint32_t base = dirAt[d];
    uint16_t named = 0;
    for (const Node& c : d->children) named += c.named() ? 1 : 0;
    Put16(out, base + 12, named);
    Put16(out, base + 14, static_cast<uint16_t>(d->children.size() - named));
    for (size_t i = 0; i < d->children.size(); ++i) {
      const Node& c = d->children[i];
      const uint32_t e = base + 16 + 8 * static_cast<uint32_t>(i);
      Put32(out, e, c.named() ? (0x80000000u | nameAt[&c]) : c.id);
      Put32(out, e + 4, c.directory ? (0x80000000u | dirAt[&c]) : entryAt[&c]);
      if (c.named()) {
        Put16(out, nameAt[&c], static_cast<uint16_t>(c.name.size()));
        for (size_t k = 0; k < c.name.size(); ++k)
          Put16(out, nameAt[&c] + 2 + 2 * k, static_cast<uint16_t>(c.name[k]));
      }
      if (!c.directory) {
        Put32(out, entryAt[&c], sectionAddress + dataAt[&c]);
        Put32(out, entryAt[&c] + 4, static_cast<uint32_t>(c.data.size()));
        std::copy(c.data.begin(), c.data.end(), out.begin() + dataAt[&c]);
      }
    }
  }
  if (layout) {
    layout->root = 0;
    layout->typeDirs.clear();
    for (const Node& t : root.children)
      if (t.directory) layout->typeDirs.push_back(dirAt[&t]);
    layout->dataEntries.clear();
    layout->dataOffsets.clear();
    for (const Node* c : leaves) {
      layout->dataEntries.push_back(entryAt[c]);
      layout->dataOffsets.push_back(dataAt[c]);
    }
  }
  return out;
}

Bytes Executable(const std::vector<Section>& sections, const Options& options) {
  const uint32_t nh = options.newHeaderOffset;
  const uint16_t optionalSize = options.pe64 ? 240 : 224;
  const uint32_t table = nh + 24 + optionalSize;
  const uint32_t headers = (table + 40 * static_cast<uint32_t>(sections.size()) + 511) & ~511u;
  uint32_t raw = headers;
  Bytes out(raw, 0);
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, 60, nh);
  Put32(out, nh, 0x00004550);
  Put16(out, nh + 4, options.pe64 ? 0x8664 : 0x014C);
  Put16(out, nh + 6, static_cast<uint16_t>(sections.size()));
  Put16(out, nh + 20, optionalSize);
  Put16(out, nh + 22, options.characteristics);
  Put16(out, nh + 24, options.pe64 ? 0x20B : 0x10B);
  uint32_t imageEnd = 0x1000;
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    const uint32_t h = table + 40 * static_cast<uint32_t>(i);
    const uint32_t size = static_cast<uint32_t>(s.contents.size());
    std::memcpy(&out[h], s.name.data(), std::min<size_t>(8, s.name.size()));
    Put32(out, h + 8, size);
    Put32(out, h + 12, s.address);
    const uint32_t rawSize = options.padSections ? (size + 511) & ~511u : size;
    Put32(out, h + 16, rawSize);
    Put32(out, h + 20, raw);
    out.resize(raw + rawSize, 0);
    std::copy(s.contents.begin(), s.contents.end(), out.begin() + raw);
    raw += rawSize;
    imageEnd = std::max(imageEnd, s.address + ((size + 0xFFF) & ~0xFFFu));
    if (options.loaderFields && s.name == ".rsrc") {
      const uint32_t directory = nh + 24 + (options.pe64 ? 112 : 96);
      Put32(out, directory + 16, s.address);
      Put32(out, directory + 20, size);
    }
  }
  if (options.loaderFields) {
    const uint32_t o = nh + 24;
    Put32(out, o + 32, 0x1000);  // section alignment
    Put32(out, o + 36, 0x200);   // file alignment
    Put32(out, o + 56, imageEnd);
    Put32(out, o + 60, headers);
    Put32(out, o + (options.pe64 ? 108 : 92), 16);  // data directory slots
  }
  return out;
}

Bytes ExecutableWith(const Node& root, const Options& options) {
  return Executable({Section{".text", Bytes(16, 0xC3), 0x1000},
                     Section{".rsrc", SerialiseSection(root, 0x3000), 0x3000}},
                    options);
}

Bytes GroupDirectory(bool cursor, const std::vector<GroupMember>& members) {
  Bytes b(6 + 14 * members.size(), 0);
  Put16(b, 2, cursor ? 2 : 1);
  Put16(b, 4, static_cast<uint16_t>(members.size()));
  for (size_t i = 0; i < members.size(); ++i) {
    const GroupMember& m = members[i];
    const size_t e = 6 + 14 * i;
    if (cursor) {
      Put16(b, e, m.width);
      Put16(b, e + 2, m.height);
    } else {
      b[e] = static_cast<uint8_t>(m.width);
      b[e + 1] = static_cast<uint8_t>(m.height);
      b[e + 2] = m.colours;
    }
    Put16(b, e + 4, m.planes);
    Put16(b, e + 6, m.bitCount);
    Put32(b, e + 8, m.bytes);
    Put16(b, e + 12, m.id);
  }
  return b;
}

Bytes BitmapResource(uint32_t headerSize, uint16_t bpp, uint32_t totalSize) {
  Bytes b(totalSize, 0);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + 1);
  Put32(b, 0, headerSize);
  if (headerSize == 12) {
    Put16(b, 4, 4);
    Put16(b, 6, 4);
    Put16(b, 8, 1);
    Put16(b, 10, bpp);
  } else {
    Put32(b, 4, 4);
    Put32(b, 8, 4);
    Put16(b, 12, 1);
    Put16(b, 14, bpp);
    // Uncompressed, no colours-used count: the rest of the header is zero.
    std::fill(b.begin() + 16, b.begin() + std::min<size_t>(headerSize, 40), 0);
  }
  return b;
}

Resource Res(uint32_t type, uint32_t name, Bytes data, uint16_t language) {
  Resource r;
  r.type = type;
  r.name = name;
  r.language = language;
  r.data = std::move(data);
  return r;
}

Bytes ResourceSection(const std::vector<Resource>& rs, ResourceLayout* layout) {
  return SerialiseSection(Tree(rs), PeSectionAddress, SectionOptions{true}, layout);
}

Bytes PeImage(const Bytes& section) {
  Options o;
  o.newHeaderOffset = PeNewHeader;
  o.characteristics = 0;
  o.loaderFields = true;
  o.padSections = false;
  return Executable({Section{".rsrc", section, PeSectionAddress}}, o);
}

Bytes PeWithResources(const std::vector<Resource>& rs, ResourceLayout* layout) {
  return PeImage(ResourceSection(rs, layout));
}

Bytes IconGroupData(uint16_t type, const std::vector<std::pair<uint16_t, uint32_t>>& idsAndBytes) {
  std::vector<GroupMember> members;
  for (const auto& [id, bytes] : idsAndBytes) {
    if (type == 1)
      members.push_back(GroupMember{16, 16, bytes, id, 1, 4, 16});
    else
      members.push_back(GroupMember{16, 32, bytes, id, 1, 4, 0});
  }
  Bytes b = GroupDirectory(type != 1, members);
  Put16(b, 2, type);
  return b;
}

Bytes BitmapData(int32_t width, int32_t height, uint16_t bitCount) {
  Bytes b = IconImageBlock(width, height / 2 > 0 ? height / 2 : 1, bitCount);
  Put32(b, 8, static_cast<uint32_t>(height));
  return b;
}

Bytes SamplePe(std::vector<Resource>* out) {
  Bytes icon1 = IconImageBlock(16, 16, 4), icon2 = IconImageBlock(32, 32, 8);
  Bytes cursorRes;
  Add16(cursorRes, 3);
  Add16(cursorRes, 5);
  AddBytes(cursorRes, IconImageBlock(16, 16, 1));
  std::vector<Resource> rs = {
      Res(3, 1, icon1),
      Res(3, 2, icon2),
      Res(1, 7, cursorRes),
      Res(2, 100, BitmapData(8, 8, 8)),
      Res(2, 100, BitmapData(4, 4, 1), 0x411),
      Res(10, 5, Bytes{1, 2, 3, 4, 5, 6, 7}),
      Res(14, 1, IconGroupData(1, {{1, static_cast<uint32_t>(icon1.size())}, {2, static_cast<uint32_t>(icon2.size())}})),
      Res(12, 3, IconGroupData(2, {{7, static_cast<uint32_t>(cursorRes.size())}})),
      Res(16, 1, Bytes(60, 0x11)),
      Res(0, 0, Bytes{0x89, 'P', 'N', 'G'}, 0x409),
  };
  rs.back().type = Key(0, u"PNG");
  rs.back().name = Key(0, u"LOGO");
  if (out) *out = rs;
  return PeWithResources(rs);
}

Bytes UpxPackedPe() {
  const Bytes icon = IconImageBlock(16, 16, 4);
  const uint32_t bytes = static_cast<uint32_t>(icon.size());
  const std::vector<Resource> rs = {
      Res(3, 1, icon),
      Res(3, 2, icon),
      Res(2, 5, BitmapData(8, 8, 8)),
      Res(14, 1, IconGroupData(1, {{1, bytes}})),
      Res(14, 2, IconGroupData(1, {{2, bytes}})),
      Res(16, 1, Bytes(60, 0x11)),
      Res(24, 1, Bytes{'<', 'x', '/', '>'}),
  };
  constexpr uint32_t rsrcAddress = 0x9000;
  ResourceLayout layout;
  Bytes rsrc = SerialiseSection(Tree(rs), rsrcAddress, {}, &layout);
  // Walk order: types 3, 2, 14, 16, 24; the packed ones are icon 2,
  // bitmap 5 and group 2.
  Put32(rsrc, layout.dataEntries[1], UpxPackedFirst + 0x100);
  Put32(rsrc, layout.dataEntries[2], 0x1000);
  Put32(rsrc, layout.dataEntries[4], UpxPackedFirst + 0x40);
  Bytes packed(0x800, 0);
  for (size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<uint8_t>(0xA5 ^ (i * 13));
  Options o;
  o.loaderFields = true;
  Bytes exe = Executable({Section{"UPX0", {}, 0x1000}, Section{"UPX1", packed, UpxPackedFirst},
                          Section{".rsrc", rsrc, rsrcAddress}},
                         o);
  const uint32_t behindTable = Get32(exe, 60) + 24 + 224 + 3 * 40;
  std::memcpy(&exe[behindTable + 4], "UPX!", 4);
  return exe;
}

}  // namespace build
