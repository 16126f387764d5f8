#include "tests/builders/ne.h"

#include <map>
#include <stdexcept>

namespace ne_builder {

namespace {

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t Get32(const Bytes& b, size_t at) {
  return uint32_t{Get16(b, at)} | (uint32_t{Get16(b, at + 2)} << 16);
}
void Append16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Append32(Bytes& b, uint32_t v) {
  Append16(b, static_cast<uint16_t>(v));
  Append16(b, static_cast<uint16_t>(v >> 16));
}

constexpr size_t NeHeaderAt = 64;
constexpr size_t NeHeaderSize = 64;

}  // namespace

Bytes Executable(const std::vector<Resource>& resources, uint16_t shift) {
  // Types in order of first appearance, each with its resources.
  std::vector<std::pair<std::pair<uint16_t, std::string>, std::vector<const Resource*>>> types;
  for (const Resource& r : resources) {
    auto key = std::make_pair(r.type, r.typeName);
    auto it = types.begin();
    while (it != types.end() && it->first != key) ++it;
    if (it == types.end()) {
      types.push_back({key, {}});
      it = types.end() - 1;
    }
    it->second.push_back(&r);
  }
  // The table: shift, types with their entries, terminator, names, terminator.
  size_t entriesSize = 2;
  for (const auto& t : types) entriesSize += 8 + 12 * t.second.size();
  entriesSize += 2;
  Bytes names;
  std::map<std::string, uint16_t> nameAt;
  auto nameField = [&](uint16_t id, const std::string& name) -> uint16_t {
    if (name.empty()) return static_cast<uint16_t>(0x8000 | id);
    auto found = nameAt.find(name);
    if (found != nameAt.end()) return found->second;
    const size_t at = entriesSize + names.size();
    if (at >= 0x8000 || name.size() > 255) throw std::length_error("NE name table too large");
    names.push_back(static_cast<uint8_t>(name.size()));
    names.insert(names.end(), name.begin(), name.end());
    nameAt[name] = static_cast<uint16_t>(at);
    return static_cast<uint16_t>(at);
  };
  struct Pending {
    size_t entry;
    const Resource* resource;
  };
  std::vector<Pending> pending;
  Bytes table;
  Append16(table, shift);
  for (const auto& t : types) {
    Append16(table, nameField(t.first.first, t.first.second));
    Append16(table, static_cast<uint16_t>(t.second.size()));
    Append32(table, 0);
    for (const Resource* r : t.second) {
      pending.push_back({table.size(), r});
      Append16(table, 0);       // rnOffset, below
      Append16(table, 0);       // rnLength, below
      Append16(table, 0x0C30);  // moveable, pure, discardable
      Append16(table, nameField(r->id, r->name));
      Append32(table, 0);       // rnHandle, rnUsage
    }
  }
  Append16(table, 0);
  table.insert(table.end(), names.begin(), names.end());
  table.push_back(0);

  const Bytes residentNames = {6, 'I', 'C', 'O', 'N', 'S', 0, 0, 0, 0};  // module name, ordinal 0, end
  Bytes file(NeHeaderAt + NeHeaderSize, 0);
  file[0] = 'M';
  file[1] = 'Z';
  Put16(file, 60, NeHeaderAt);
  const size_t h = NeHeaderAt;
  file[h] = 'N';
  file[h + 1] = 'E';
  file[h + 2] = 5;  // linker version
  const uint16_t rsrctab = NeHeaderSize;
  const uint16_t restab = static_cast<uint16_t>(rsrctab + table.size());
  const uint16_t after = static_cast<uint16_t>(restab + residentNames.size());
  Put16(file, h + 4, after);     // ne_enttab: an empty entry table
  Put16(file, h + 6, 2);         // ne_cbenttab
  Put16(file, h + 12, 0x8300);   // a library of protected-mode code
  Put16(file, h + 34, rsrctab);  // ne_segtab: no segments
  Put16(file, h + 36, rsrctab);
  Put16(file, h + 38, restab);
  Put16(file, h + 40, after);    // ne_modtab
  Put16(file, h + 42, after);    // ne_imptab
  Put16(file, h + 50, shift);    // ne_align
  file[h + 54] = 2;              // Windows
  Put16(file, h + 62, 0x030A);   // Windows 3.10
  file.insert(file.end(), table.begin(), table.end());
  file.insert(file.end(), residentNames.begin(), residentNames.end());
  file.push_back(0);  // the entry table
  file.push_back(0);
  const size_t unit = size_t{1} << shift;
  // Non-resident names: the module description.
  const uint32_t nrestab = static_cast<uint32_t>(file.size());
  const Bytes description = {4, 'T', 'E', 'S', 'T', 0, 0, 0};
  file.insert(file.end(), description.begin(), description.end());
  file[h + 0x2C] = static_cast<uint8_t>(nrestab);
  file[h + 0x2D] = static_cast<uint8_t>(nrestab >> 8);
  file[h + 0x2E] = static_cast<uint8_t>(nrestab >> 16);
  Put16(file, h + 32, static_cast<uint16_t>(description.size()));
  for (const Pending& p : pending) {
    file.resize((file.size() + unit - 1) / unit * unit, 0);
    const size_t offset = file.size() >> shift;
    const size_t length = (p.resource->data.size() + unit - 1) / unit;
    if (offset > 0xFFFF || length > 0xFFFF) throw std::length_error("NE resource beyond 16-bit units");
    const size_t entry = NeHeaderAt + rsrctab + p.entry;
    Put16(file, entry, static_cast<uint16_t>(offset));
    Put16(file, entry + 2, static_cast<uint16_t>(length));
    file.insert(file.end(), p.resource->data.begin(), p.resource->data.end());
  }
  file.resize((file.size() + unit - 1) / unit * unit, 0);
  return file;
}

void AddIconFile(std::vector<Resource>* resources, const Bytes& file, uint16_t id,
                 const std::string& name, uint16_t* nextImageId) {
  const bool cursor = Get16(file, 2) == 2;
  const uint16_t count = Get16(file, 4);
  Bytes group(6, 0);
  Put16(group, 2, cursor ? 2 : 1);
  Put16(group, 4, count);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * size_t{i};
    const uint32_t bytes = Get32(file, e + 8);
    const uint32_t offset = Get32(file, e + 12);
    const uint16_t imageId = (*nextImageId)++;
    Bytes image(file.begin() + offset, file.begin() + offset + bytes);
    const size_t g = group.size();
    group.resize(g + 14, 0);
    if (!cursor) {
      std::copy(file.begin() + e, file.begin() + e + 8, group.begin() + g);
      Put16(group, g + 8, static_cast<uint16_t>(bytes));
      Put16(group, g + 10, static_cast<uint16_t>(bytes >> 16));
    } else {
      // The hotspot moves from the file's entry to the front of the image.
      Bytes withHotspot(4, 0);
      Put16(withHotspot, 0, Get16(file, e + 4));
      Put16(withHotspot, 2, Get16(file, e + 6));
      withHotspot.insert(withHotspot.end(), image.begin(), image.end());
      image.swap(withHotspot);
      const unsigned w = file[e] ? file[e] : 256, hgt = file[e + 1] ? file[e + 1] : 256;
      const bool png = image.size() > 8 && image[4] == 0x89 && image[5] == 'P';
      Put16(group, g, static_cast<uint16_t>(w));
      Put16(group, g + 2, static_cast<uint16_t>(2 * hgt));
      Put16(group, g + 4, 1);
      Put16(group, g + 6, png ? 32 : Get16(image, 4 + 14));
      Put16(group, g + 8, static_cast<uint16_t>(image.size()));
      Put16(group, g + 10, static_cast<uint16_t>(image.size() >> 16));
    }
    Put16(group, g + 12, imageId);
    resources->push_back({static_cast<uint16_t>(cursor ? 1 : 3), "", imageId, "", std::move(image)});
  }
  resources->push_back({static_cast<uint16_t>(cursor ? 12 : 14), "", id, name, std::move(group)});
}

namespace {

void Pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}
void AppendText(Bytes& b, const std::string& text, bool ne) {
  for (char c : text) {
    if (ne) b.push_back(static_cast<uint8_t>(c));
    else Append16(b, static_cast<uint8_t>(c));
  }
  if (ne) b.push_back(0);
  else Append16(b, 0);
}
// One node: length, value length, (PE: type), key, value, children.
Bytes VersionNode(bool ne, const std::string& key, const Bytes& value, uint16_t valueLength,
                  bool text, const std::vector<Bytes>& children) {
  Bytes b(ne ? 4 : 6, 0);
  if (!ne) Put16(b, 4, text ? 1 : 0);
  AppendText(b, key, ne);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& c : children) {
    Pad4(b);
    b.insert(b.end(), c.begin(), c.end());
  }
  Put16(b, 0, static_cast<uint16_t>(b.size()));
  Put16(b, 2, valueLength);
  return b;
}

}  // namespace

Bytes VersionResource(bool ne, const VersionStrings& v) {
  Bytes fixed(52, 0);
  const uint32_t words[13] = {0xFEEF04BD, 0x10000,
                              uint32_t{v.version[0]} << 16 | v.version[1],
                              uint32_t{v.version[2]} << 16 | v.version[3],
                              uint32_t{v.version[0]} << 16 | v.version[1],
                              uint32_t{v.version[2]} << 16 | v.version[3],
                              0x3F, 0, 0x40004, 1, 0, 0, 0};
  for (int i = 0; i < 13; ++i) {
    Put16(fixed, 4 * i, static_cast<uint16_t>(words[i]));
    Put16(fixed, 4 * i + 2, static_cast<uint16_t>(words[i] >> 16));
  }
  std::vector<Bytes> strings;
  for (const auto& [key, value] : v.strings) {
    Bytes text;
    AppendText(text, value, ne);
    strings.push_back(VersionNode(ne, key, text, static_cast<uint16_t>(ne ? text.size() : value.size() + 1),
                                  true, {}));
  }
  const Bytes table = VersionNode(ne, ne ? "040904E4" : "040904B0", {}, 0, true, strings);
  const Bytes stringInfo = VersionNode(ne, "StringFileInfo", {}, 0, true, {table});
  Bytes translation;
  Append16(translation, 0x0409);
  Append16(translation, ne ? 1252 : 1200);
  const Bytes var = VersionNode(ne, "Translation", translation, 4, false, {});
  const Bytes varInfo = VersionNode(ne, "VarFileInfo", {}, 0, true, {var});
  return VersionNode(ne, "VS_VERSION_INFO", fixed, 52, false, {stringInfo, varInfo});
}

Bytes StringBlock(bool ne, const std::vector<std::string>& strings) {
  Bytes b;
  for (size_t i = 0; i < 16; ++i) {
    const std::string s = i < strings.size() ? strings[i] : "";
    if (ne) b.push_back(static_cast<uint8_t>(s.size()));
    else Append16(b, static_cast<uint16_t>(s.size()));
    for (char c : s) {
      if (ne) b.push_back(static_cast<uint8_t>(c));
      else Append16(b, static_cast<uint8_t>(c));
    }
  }
  return b;
}

std::vector<IconImage> IconImages(const Bytes& file) {
  std::vector<IconImage> images;
  if (file.size() < 6 || Get16(file, 0) != 0 || (Get16(file, 2) != 1 && Get16(file, 2) != 2))
    return images;
  const uint16_t count = Get16(file, 4);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * size_t{i};
    if (e + 16 > file.size()) return {};
    const uint32_t bytes = Get32(file, e + 8), offset = Get32(file, e + 12);
    if (offset > file.size() || bytes > file.size() - offset) return {};
    IconImage image;
    image.width = file[e] ? file[e] : 256;
    image.height = file[e + 1] ? file[e + 1] : 256;
    image.colours = file[e + 2];
    image.hotspotX = Get16(file, e + 4);
    image.hotspotY = Get16(file, e + 6);
    image.data.assign(file.begin() + offset, file.begin() + offset + bytes);
    images.push_back(std::move(image));
  }
  return images;
}

}  // namespace ne_builder
