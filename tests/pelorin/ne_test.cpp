// Pelorin on NE executables: icon libraries built from the real icons and
// cursors of Wine's libraries (numbered and named groups, alignment shifts 4
// and 9, one of about 200 groups), Wine's bitmap fonts, and broken tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "tests/builders/ne.h"
#include "pelorin_host.h"
#include "test_files.h"

using namespace ne_builder;

namespace {

std::string HostPath(const std::string& unixPath) {
#ifdef _WIN32
  std::string p = "Z:" + unixPath;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
#else
  return unixPath;
#endif
}

const char* const WineDir = "/usr/lib/i386-linux-gnu/wine/i386-windows/";

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::char_traits<char>::length(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) | (uint32_t{Get16(b, at + 2)} << 16); }

// What a library should list: member names by position, and the icon or
// cursor file each group was built from.
struct Expected {
  std::map<uint32_t, std::string> names;
  std::map<uint32_t, Bytes> sources;
};

std::string NumberName(uint16_t id) {
  char s[8];
  std::snprintf(s, sizeof s, "#%05u", id);
  return s;
}

// Positions count every resource in table order: types in order of first appearance.
Expected ExpectedListing(const std::vector<Resource>& resources,
                         const std::map<std::string, Bytes>& groupSources) {
  std::vector<std::pair<uint16_t, std::string>> types;
  for (const Resource& r : resources)
    if (std::find(types.begin(), types.end(), std::make_pair(r.type, r.typeName)) == types.end())
      types.push_back({r.type, r.typeName});
  Expected e;
  uint32_t index = 0;
  for (const auto& t : types) {
    for (const Resource& r : resources) {
      if (std::make_pair(r.type, r.typeName) != t) continue;
      const uint32_t at = index++;
      std::string ext;
      if (!r.typeName.empty()) ext = "." + r.typeName;
      else if (r.type == 2) ext = ".BMP";
      else if (r.type == 10) ext = ".DAT";
      else if (r.type == 12) ext = ".CUR";
      else if (r.type == 14) ext = ".ICO";
      else continue;
      e.names[at] = (r.name.empty() ? NumberName(r.id) : r.name) + ext;
      auto source = groupSources.find(e.names[at]);
      if (source != groupSources.end()) e.sources[at] = source->second;
    }
  }
  return e;
}

// "Same images": icons byte for byte with their entries; cursors with their
// hotspot and size, the image padded with zeros to 4 bytes as rebuilt.
void ExpectSameImages(const Bytes& rebuilt, const Bytes& original, const std::string& name) {
  std::vector<IconImage> ours = IconImages(rebuilt), theirs = IconImages(original);
  ASSERT_EQ(ours.size(), theirs.size()) << name;
  const bool cursor = Get16(original, 2) == 2;
  EXPECT_EQ(Get16(rebuilt, 2), Get16(original, 2)) << name;
  for (size_t i = 0; i < ours.size(); ++i) {
    if (cursor) {
      theirs[i].colours = 0;
      const size_t n = theirs[i].data.size();
      ASSERT_GE(ours[i].data.size(), n) << name;
      EXPECT_TRUE(std::all_of(ours[i].data.begin() + n, ours[i].data.end(),
                              [](uint8_t b) { return b == 0; })) << name;
      ours[i].data.resize(n);
    }
    EXPECT_TRUE(ours[i] == theirs[i]) << name << " image " << i;
  }
}

class PelorinNe : public PelorinPlugin {
 protected:
  // The icon and cursor groups of one of Wine's libraries, extracted by
  // Pelorin from the PE file; empty when Wine is not installed.
  std::vector<std::pair<std::string, Bytes>> Groups(const char* library, size_t limit) {
    std::vector<std::pair<std::string, Bytes>> groups;
    const std::string path = HostPath(std::string(WineDir) + library);
    int result = -1;
    for (const fileInfo& f : ListFile(path, 0, &result)) {
      const std::string name = MemberName(f);
      if (!EndsWith(name, ".ICO") && !EndsWith(name, ".CUR")) continue;
      Bytes bytes;
      if (ExtractFile(path, f.position, f.filesize, &bytes) != 0) continue;
      groups.push_back({name, std::move(bytes)});
      if (groups.size() == limit) break;
    }
    return groups;
  }

  // Lists the library, checks names and positions, rebuilds every group and
  // compares it with its source; returns the listing.
  std::vector<fileInfo> CheckLibrary(const std::string& path, const Expected& e) {
    const uintptr_t handle = OpenHostHandle(path);
    EXPECT_EQ(plugin.isSupported(path.c_str(), handle), 2);
    CloseHostHandle(handle);
    int result = -1;
    const auto list = ListFile(path, 0, &result);
    EXPECT_EQ(result, 0);
    std::map<uint32_t, std::string> names;
    for (const fileInfo& f : list) {
      names[f.position] = MemberName(f);
      EXPECT_STREQ(f.path, "");
    }
    EXPECT_EQ(names, e.names);
    for (const fileInfo& f : list) {
      auto source = e.sources.find(f.position);
      if (source == e.sources.end()) continue;
      Bytes rebuilt;
      EXPECT_EQ(ExtractFile(path, f.position, f.filesize, &rebuilt), 0) << MemberName(f);
      ExpectSameImages(rebuilt, source->second, MemberName(f));
      // The file is exactly its directory and its images padded to 4 bytes,
      // whatever the alignment units add to the group's length.
      uint32_t expected = 6 + 16 * Get16(source->second, 4);
      for (const IconImage& image : IconImages(source->second))
        expected += (static_cast<uint32_t>(image.data.size()) + 3) & ~3u;
      EXPECT_EQ(f.filesize, expected) << MemberName(f);
    }
    return list;
  }
};

// wrestool's listing of a file as "type name" lines, sorted; names of
// types and resources quoted as wrestool quotes them.
std::vector<std::string> WrestoolListing(const std::string& path) {
  std::vector<std::string> lines;
#ifndef _WIN32
  FILE* pipe = popen(("wrestool -l '" + path + "' 2>/dev/null").c_str(), "r");
  if (!pipe) return lines;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) {
    std::string line(buffer);
    const size_t type = line.find("--type="), name = line.find(" --name=");
    if (type != 0 || name == std::string::npos) continue;
    const size_t end = std::min(line.find(" --language="), line.find(" ["));
    lines.push_back(line.substr(7, name - 7) + " " + line.substr(name + 8, end - name - 8));
  }
  pclose(pipe);
#else
  (void)path;
#endif
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> BuiltListing(const std::vector<Resource>& resources) {
  std::vector<std::string> lines;
  for (const Resource& r : resources)
    lines.push_back((r.typeName.empty() ? std::to_string(r.type) : "'" + r.typeName + "'") + " " +
                    (r.name.empty() ? std::to_string(r.id) : "'" + r.name + "'"));
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool HaveWrestool() {
#ifdef _WIN32
  return false;
#else
  return std::system("wrestool --version >/dev/null 2>&1") == 0;
#endif
}

}  // namespace

TEST_F(PelorinNe, IconLibrariesFromWinesIconsListAndRebuild) {
  // Small enough for shift 4, whose 16-bit units reach 1 MB.
  std::vector<std::pair<std::string, Bytes>> icons;
  size_t total = 0;
  for (const char* library : {"user32.dll", "comctl32.dll"})
    for (auto& group : Groups(library, 60))
      if (group.second.size() < 24000 && total + group.second.size() < 600000) {
        total += group.second.size();
        icons.push_back(std::move(group));
      }
  if (icons.empty()) GTEST_SKIP() << "Wine's libraries are not installed";
  const bool wrestool = HaveWrestool();
  ScratchDir dir;
  for (uint16_t shift : {4, 9}) {
    SCOPED_TRACE(shift);
    // Numbered and named groups, a 12-byte and a 40-byte bitmap, raw data, a
    // named type and a font, which is not listed.
    std::vector<Resource> resources;
    std::map<std::string, Bytes> sources;
    uint16_t imageId = 1;
    for (size_t i = 0; i < icons.size(); ++i) {
      const bool named = i % 3 == 1;
      const std::string name = named ? "GROUP" + std::to_string(i) : "";
      const uint16_t id = static_cast<uint16_t>(100 + i);
      AddIconFile(&resources, icons[i].second, id, name, &imageId);
      const std::string ext = EndsWith(icons[i].first, ".CUR") ? ".CUR" : ".ICO";
      sources[(named ? name : NumberName(id)) + ext] = icons[i].second;
    }
    Bytes core(12 + 16 * 3 + 64, 0x5A), info(40 + 4 * 256 + 100, 0xA5);
    std::fill(core.begin(), core.begin() + 12, 0);
    core[0] = 12;
    core[8] = 1;
    core[10] = 4;  // 4 bits per pixel: 16 colours of 3 bytes
    info[0] = 40;
    std::fill(info.begin() + 1, info.begin() + 40, 0);
    info[12] = 1;
    info[14] = 8;
    resources.push_back({2, "", 1, "", core});
    resources.push_back({2, "", 2, "LOGO", info});
    resources.push_back({10, "", 7, "", Bytes{1, 2, 3, 4, 5}});
    resources.push_back({0, "PNG", 101, "", Bytes(30, 0x89)});
    resources.push_back({8, "", 1, "", Bytes(200, 0x46)});
    const std::string path = dir.Join("icons" + std::to_string(shift) + ".icl");
    WriteBytes(path, Executable(resources, shift));
    const Expected e = ExpectedListing(resources, sources);
    const auto list = CheckLibrary(path, e);
    for (const fileInfo& f : list) {
      const std::string name = MemberName(f);
      if (name != "#00001.BMP" && name != "LOGO.BMP") continue;
      Bytes bmp;
      ASSERT_EQ(ExtractFile(path, f.position, f.filesize, &bmp), 0);
      const uint32_t unit = 1u << shift;
      const uint32_t stored = name == "LOGO.BMP" ? (1164 + unit - 1) / unit * unit
                                                 : (124 + unit - 1) / unit * unit;
      EXPECT_EQ(f.compsize, stored) << name;  // lengths are whole units
      ASSERT_EQ(bmp.size(), stored + 14u);
      EXPECT_EQ(Get32(bmp, 2), stored + 14u);
      EXPECT_EQ(Get32(bmp, 10), name == "LOGO.BMP" ? 14u + 40 + 1024 : 14u + 12 + 48) << name;
    }
    if (wrestool) {
      EXPECT_EQ(WrestoolListing(path), BuiltListing(resources));
    }
  }
}

TEST_F(PelorinNe, TwoHundredGroupsAsWrestoolSeesThem) {
  auto groups = Groups("shell32.dll", 170);
  auto more = Groups("user32.dll", 40);
  groups.insert(groups.end(), more.begin(), more.end());
  if (groups.size() < 150) GTEST_SKIP() << "Wine's libraries are not installed";
  std::vector<Resource> resources;
  std::map<std::string, Bytes> sources;
  uint16_t imageId = 1;
  for (size_t i = 0; i < groups.size(); ++i) {
    const uint16_t id = static_cast<uint16_t>(1 + i);
    AddIconFile(&resources, groups[i].second, id, "", &imageId);
    sources[NumberName(id) + (EndsWith(groups[i].first, ".CUR") ? ".CUR" : ".ICO")] =
        groups[i].second;
  }
  ScratchDir dir;
  // Kept beside the tests for the bench, which lists and extracts it.
  const std::string path = ProgramDir() + Sep() + "pelorin_200_groups.icl";
  WriteBytes(path, Executable(resources, 9));
  const auto list = CheckLibrary(path, ExpectedListing(resources, sources));
  EXPECT_EQ(list.size(), groups.size());
  std::printf("%zu groups, %u images\n", groups.size(), imageId - 1u);
  if (HaveWrestool()) {
    EXPECT_EQ(WrestoolListing(path), BuiltListing(resources));
  }
}

TEST_F(PelorinNe, WinesFontsAreTakenAndListNothingByDefault) {
  const std::vector<std::string> fonts = ListNames("/usr/share/wine/fonts");
  size_t taken = 0;
  for (const std::string& name : fonts) {
    if (!EndsWith(name, ".fon")) continue;
    SCOPED_TRACE(name);
    const std::string path = HostPath("/usr/share/wine/fonts/" + name);
    const uintptr_t handle = OpenHostHandle(path);
    EXPECT_EQ(plugin.isSupported(path.c_str(), handle), 2);
    CloseHostHandle(handle);
    int result = -1;
    EXPECT_TRUE(ListFile(path, 0, &result).empty());
    EXPECT_EQ(result, 0);
    ++taken;
  }
  if (taken == 0) GTEST_SKIP() << "Wine's fonts (fonts-wine) are not installed";
}

TEST_F(PelorinNe, BrokenTablesAndImagesAreBrokenData) {
  Bytes icon(6 + 16 + 40, 0);  // one 1x1 image
  icon[2] = 1;
  icon[4] = 1;
  icon[6] = 1;
  icon[7] = 1;
  icon[6 + 8] = 40;
  icon[6 + 12] = 22;
  icon[22] = 40;
  std::vector<Resource> resources;
  uint16_t imageId = 1;
  AddIconFile(&resources, icon, 1, "", &imageId);
  resources.push_back({0, "PNG", 0, "PIC", Bytes(3, 1)});
  const Bytes sound = Executable(resources, 4);
  // Table at 128: shift, type 3 (8 + 12), type 14 (8 + 12), type "PNG" (8 + 12), end, names.
  const size_t table = 128, groupEntry = table + 2 + 20 + 8;
  const size_t pngType = table + 2 + 40;
  const uint16_t restab = Get16(sound, 64 + 38);
  struct Case {
    const char* what;
    size_t at;
    uint16_t value;
    int list, extract;  // answers of the listing and of extracting the group
  };
  const Case cases[] = {
      {"sound", 0, 0, 0, 0},
      {"shift beyond 16", table, 17, ResultBrokenData, ResultBrokenData},
      {"count beyond the table", table + 2 + 2, 200, ResultBrokenData, ResultBrokenData},
      // A name that cannot be read costs only its own resource.
      {"type name outside the table", pngType, static_cast<uint16_t>(restab - 64), 0, 0},
      {"name length past the table", table + (restab - 64) - 5, 200, 0, 0},
      {"image offset beyond the file", table + 2 + 8, 0xFFF0, 0, ResultBrokenData},
      {"group entry larger than its image", 0, 0, 0, ResultBrokenData},
      {"no resource table", 64 + 38, static_cast<uint16_t>(table - 64), ResultBrokenData, ResultBrokenData},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes exe = sound;
    if (c.at != 0) {
      exe[c.at] = static_cast<uint8_t>(c.value);
      exe[c.at + 1] = static_cast<uint8_t>(c.value >> 8);
    }
    if (std::string(c.what) == "group entry larger than its image") {
      const size_t group = Get16(exe, groupEntry) << 4;
      exe[group + 6 + 8] = 0x40;  // 64 bytes, the image resource holds 48
    }
    const std::string path = dir.Join("broken.exe");
    WriteBytes(path, exe);
    int result = -1;
    ListFile(path, 0, &result);
    EXPECT_EQ(result, c.list);
    Bytes out;
    EXPECT_EQ(ExtractFile(path, 1, 0, &out), c.extract);
  }
  // A group whose count runs past its data is left out; the rest still lists.
  Bytes raised = sound;
  raised[(Get16(raised, groupEntry) << 4) + 4] = 5;
  const std::string path = dir.Join("raised.exe");
  WriteBytes(path, raised);
  int result = -1;
  const auto list = ListFile(path, 0, &result);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(MemberName(list[0]), "PIC.PNG");
}
