#include "pe_builder.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

namespace pe_builder {

void Put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, static_cast<uint16_t>(v));
  Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) | uint32_t{Get16(b, at + 2)} << 16; }

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

Bytes SerialiseSection(const Node& root, uint32_t sectionAddress) {
  // Directories first (breadth first), then name strings, data entries, data.
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
  for (const Node* d : dirs)
    for (const Node& c : d->children)
      if (c.named()) {
        nameAt[&c] = at;
        at += 2 + 2 * static_cast<uint32_t>(c.name.size());
        at = (at + 3) & ~3u;
      }
  for (const Node* d : dirs)
    for (const Node& c : d->children)
      if (!c.directory) {
        entryAt[&c] = at;
        at += 16;
      }
  for (const Node* d : dirs)
    for (const Node& c : d->children)
      if (!c.directory) {
        dataAt[&c] = at;
        at += static_cast<uint32_t>(c.data.size());
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
  return out;
}

Bytes Executable(const std::vector<Section>& sections, const Options& options) {
  const uint32_t nh = options.newHeaderOffset;
  const uint16_t optionalSize = options.pe64 ? 240 : 224;
  const uint32_t table = nh + 24 + optionalSize;
  uint32_t raw = (table + 40 * static_cast<uint32_t>(sections.size()) + 511) & ~511u;
  Bytes out(raw, 0);
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, 60, nh);
  Put32(out, nh, 0x00004550);
  Put16(out, nh + 4, options.pe64 ? 0x8664 : 0x014C);
  Put16(out, nh + 6, static_cast<uint16_t>(sections.size()));
  Put16(out, nh + 20, optionalSize);
  Put16(out, nh + 22, 0x2102);
  Put16(out, nh + 24, options.pe64 ? 0x20B : 0x10B);
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    const uint32_t h = table + 40 * static_cast<uint32_t>(i);
    std::memcpy(&out[h], s.name.data(), std::min<size_t>(8, s.name.size()));
    Put32(out, h + 8, static_cast<uint32_t>(s.contents.size()));
    Put32(out, h + 12, s.address);
    const uint32_t rawSize = (static_cast<uint32_t>(s.contents.size()) + 511) & ~511u;
    Put32(out, h + 16, rawSize);
    Put32(out, h + 20, raw);
    out.resize(raw + rawSize, 0);
    std::copy(s.contents.begin(), s.contents.end(), out.begin() + raw);
    raw += rawSize;
  }
  return out;
}

Bytes ExecutableWith(const Node& root, const Options& options) {
  return Executable({Section{".text", Bytes(16, 0xC3), 0x1000},
                     Section{".rsrc", SerialiseSection(root, 0x3000), 0x3000}},
                    options);
}

Bytes IconImageBlock(uint32_t width, uint32_t height, uint16_t bpp, uint8_t fill) {
  const uint32_t colours = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
  const uint32_t stride = (width * bpp + 31) / 32 * 4;
  const uint32_t mask = (width + 31) / 32 * 4;
  Bytes b(40 + 4 * colours + (stride + mask) * height, fill);
  Put32(b, 0, 40);
  Put32(b, 4, width);
  Put32(b, 8, height * 2);
  Put16(b, 12, 1);
  Put16(b, 14, bpp);
  Put32(b, 16, 0);
  Put32(b, 20, 0);
  for (size_t i = 24; i < 40; ++i) b[i] = 0;
  return b;
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

}  // namespace pe_builder
