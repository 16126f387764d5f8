// Pelorin with ListAllTypes: every resource of Wine's libraries and fonts as
// wrestool lists it, fonts byte for byte, version information and string
// tables as text checked against the resources read here independently; and
// the default listing as it always was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "tests/builders/ne.h"
#include "tests/builders/pe.h"
#include "pelorin_host.h"
#include "test_files.h"
#include "test_registry.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string HostPath(const std::string& unixPath) {
#ifdef _WIN32
  std::string p = "Z:" + unixPath;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
#else
  return unixPath;
#endif
}

const std::string WineDir = "/usr/lib/i386-linux-gnu/wine/i386-windows/";

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) | (uint32_t{Get16(b, at + 2)} << 16); }

// Pelorin loaded with ListAllTypes as asked; the registry is put back after.
class AllTypes : public ::testing::Test {
 protected:
  void SetUp() override { Load(1); }
  void TearDown() override {
    host::UnloadPlugin(&plugin);
    testreg::Reset();
  }
  void Load(uint32_t listAllTypes) {
    if (plugin.library) host::UnloadPlugin(&plugin);
    plugin = host::Plugin{};
    testreg::Reset();
    testreg::PutDword(testreg::PelorinKey, "ListAllTypes", listAllTypes);
    std::string error;
    ASSERT_TRUE(host::LoadPlugin(PluginPath("Pelorin"), &plugin, &error)) << error;
  }
  std::vector<fileInfo> List(const std::string& path, int* result) {
    SpiHandle block = nullptr;
    *result = plugin.getArchiveInfo(path.c_str(), 0, InputFile, &block);
    return *result == 0 ? host::TakeEntryList(block) : std::vector<fileInfo>{};
  }
  // The member as GetFile hands it over, cut to n bytes (blocks may be rounded up).
  int Extract(const std::string& path, uint32_t position, Bytes* out, size_t n = SIZE_MAX) {
    SpiHandle block = nullptr;
    const int r = plugin.getFile(path.c_str(), static_cast<int32_t>(position), &block,
                                 InputFile | (OutputMemory << OutputKindShift), nullptr, 0);
    if (r == 0) *out = host::TakeBlock(block, n);
    return r;
  }
  // The member written to disk, whose size is exactly what was written.
  Bytes ExtractToDisk(const std::string& path, const fileInfo& f) {
    ScratchDir dir;
    if (plugin.getFile(path.c_str(), static_cast<int32_t>(f.position), const_cast<char*>(dir.path().c_str()),
                       InputFile, nullptr, 0) != 0)
      return {};
    return ReadBytes(dir.Join(f.filename));
  }
  host::Plugin plugin;
};

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// UTF-16 units as UTF-8, for comparing with the text Pelorin writes.
std::string Utf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The value that follows the UTF-16 key in a version resource, found by
// scanning the raw resource rather than walking its tree.
std::string RawVersionValue(const Bytes& raw, const char* key) {
  std::u16string k(key, key + std::strlen(key));
  k.push_back(0);
  for (size_t at = 0; at + 2 * k.size() <= raw.size(); at += 2) {
    bool match = true;
    for (size_t i = 0; i < k.size() && match; ++i) match = Get16(raw, at + 2 * i) == k[i];
    if (!match) continue;
    size_t v = at + 2 * k.size();
    while (v + 2 <= raw.size() && Get16(raw, v) == 0) v += 2;  // padding to 4 bytes
    std::u16string value;
    while (v + 2 <= raw.size() && Get16(raw, v) != 0) {
      value.push_back(Get16(raw, v));
      v += 2;
    }
    return Utf8(value);
  }
  return "<missing>";
}

bool SoundTextForm(const std::string& t) {
  if (t.compare(0, 3, "\xEF\xBB\xBF") != 0) return false;
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] == '\n' && (i == 0 || t[i - 1] != '\r')) return false;
  return t.size() > 3 && EndsWith(t, "\r\n");
}

#ifndef _WIN32
std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}
#endif

}  // namespace

TEST_F(AllTypes, VersionAndStringTextInBothForms) {
  ne_builder::VersionStrings v;
  v.strings = {{"CompanyName", "Kestrov \"Tools\""}, {"Comments", "a\\b\tc"}};
  const std::vector<std::string> strings = {"", "one", "tab\there"};
  ScratchDir dir;
  for (bool ne : {false, true}) {
    SCOPED_TRACE(ne ? "NE" : "PE");
    const std::string path = dir.Join(ne ? "ne.exe" : "pe.exe");
    Bytes version = ne_builder::VersionResource(ne, v);
    if (ne) {
      WriteBytes(path, ne_builder::Executable({{16, "", 1, "", version},
                                                {6, "", 2, "", ne_builder::StringBlock(true, strings)},
                                                {1, "", 1, "", Bytes(8, 0)},
                                                {9, "", 3, "", Bytes(8, 1)},
                                                {240, "", 4, "", Bytes(3, 2)}}));
    } else {
      WriteBytes(path, build::ExecutableWith(build::Tree(
                           {{{16}, {1}, 0x409, version},
                            {{6}, {2}, 0x409, ne_builder::StringBlock(false, strings)},
                            {{1}, {1}, 0x409, Bytes(8, 0)},
                            {{9}, {3}, 0x409, Bytes(8, 1)},
                            {{240}, {4}, 0x409, Bytes(3, 2)}})));
    }
    int result = -1;
    const auto list = List(path, &result);
    ASSERT_EQ(result, 0);
    std::vector<std::string> names;
    for (const fileInfo& f : list) names.push_back(f.filename);
    EXPECT_EQ(names, (std::vector<std::string>{"#00001.VERSION.TXT", "#00002.STRING.TXT",
                                               "#00003.ACCELERATOR", "#00004.240"}));
    ASSERT_EQ(list.size(), 4u);
    Bytes text = ExtractToDisk(path, list[0]);
    EXPECT_EQ(text.size(), list[0].filesize);
    const std::string table = ne ? "040904E4" : "040904B0";
    EXPECT_EQ(Text(text),
              "\xEF\xBB\xBFVS_VERSION_INFO VERSIONINFO\r\n FILEVERSION 1,2,3,4\r\n"
              " PRODUCTVERSION 1,2,3,4\r\n FILEFLAGSMASK 0x3F\r\n FILEFLAGS 0x0\r\n"
              " FILEOS 0x40004\r\n FILETYPE 0x1\r\n FILESUBTYPE 0x0\r\nBEGIN\r\n"
              "    BLOCK \"StringFileInfo\"\r\n    BEGIN\r\n        BLOCK \"" + table + "\"\r\n"
              "        BEGIN\r\n"
              "            VALUE \"CompanyName\", \"Kestrov \"\"Tools\"\"\"\r\n"
              "            VALUE \"Comments\", \"a\\\\b\\tc\"\r\n"
              "        END\r\n    END\r\n    BLOCK \"VarFileInfo\"\r\n    BEGIN\r\n"
              "        VALUE \"Translation\", 0x0409, " + (ne ? "1252" : "1200") + "\r\n"
              "    END\r\nEND\r\n");
    text = ExtractToDisk(path, list[1]);
    EXPECT_EQ(text.size(), list[1].filesize);
    EXPECT_EQ(Text(text), "\xEF\xBB\xBF" "17\tone\r\n18\ttab\\there\r\n");
    // A version resource cut short is broken for that member only.
    version.resize(40);
    const std::string cut = dir.Join("cut.exe");
    if (ne) {
      WriteBytes(cut, ne_builder::Executable({{16, "", 1, "", version}, {10, "", 2, "", Bytes(4, 7)}}));
    } else {
      WriteBytes(cut, build::ExecutableWith(build::Tree(
                          {{{16}, {1}, 0, version}, {{10}, {2}, 0, Bytes(4, 7)}})));
    }
    const auto both = List(cut, &result);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(Extract(cut, both[0].position, &text), ResultBrokenData);
    EXPECT_EQ(Extract(cut, both[1].position, &text), 0);
  }
}

TEST_F(AllTypes, VersionTextOfWinesLibrariesMatchesTheResource) {
  size_t checked = 0;
  for (const char* name : {"user32.dll", "shell32.dll", "comctl32.dll", "ole32.dll"}) {
    const std::string path = HostPath(WineDir + name);
    if (!Exists(path)) continue;
    SCOPED_TRACE(name);
    int result = -1;
    const auto list = List(path, &result);
    ASSERT_EQ(result, 0);
    auto version = std::find_if(list.begin(), list.end(), [](const fileInfo& f) {
      return EndsWith(f.filename, ".VERSION.TXT");
    });
    ASSERT_NE(version, list.end());
    const Bytes text = ExtractToDisk(path, *version);
    EXPECT_EQ(text.size(), version->filesize) << "the listing announces the text's size";
    const std::string t = Text(text);
    EXPECT_TRUE(SoundTextForm(t));
    // The raw resource, with the setting off at the same position.
    Load(0);
    Bytes raw;
    ASSERT_EQ(Extract(path, version->position, &raw), 0);
    Load(1);
    size_t fixed = 0;
    while (fixed + 4 <= raw.size() && Get32(raw, fixed) != 0xFEEF04BD) fixed += 4;
    ASSERT_LT(fixed + 52, raw.size());
    char line[64];
    std::snprintf(line, sizeof line, " FILEVERSION %u,%u,%u,%u\r\n", Get16(raw, fixed + 10),
                  Get16(raw, fixed + 8), Get16(raw, fixed + 14), Get16(raw, fixed + 12));
    EXPECT_NE(t.find(line), std::string::npos) << t;
    for (const char* key : {"CompanyName", "FileVersion", "ProductName"}) {
      const std::string expected =
          std::string("VALUE \"") + key + "\", \"" + RawVersionValue(raw, key) + "\"\r\n";
      EXPECT_NE(t.find(expected), std::string::npos) << expected << t;
    }
    EXPECT_NE(t.find("VALUE \"Translation\", 0x"), std::string::npos) << t;
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "Wine's libraries are not installed";
}

TEST_F(AllTypes, StringTablesOfOneLibraryMatchTheResource) {
  const std::string path = HostPath(WineDir + "comctl32.dll");
  if (!Exists(path)) GTEST_SKIP() << "Wine's libraries are not installed";
  int result = -1;
  const auto list = List(path, &result);
  ASSERT_EQ(result, 0);
  std::map<uint32_t, std::pair<unsigned, Bytes>> texts;  // position -> block, text
  for (const fileInfo& f : list) {
    if (!EndsWith(f.filename, ".STRING.TXT")) continue;
    Bytes text;
    ASSERT_EQ(Extract(path, f.position, &text, f.filesize), 0) << f.filename;
    texts[f.position] = {static_cast<unsigned>(std::stoul(std::string(f.filename).substr(1))), text};
  }
  ASSERT_GT(texts.size(), 3u);
  Load(0);
  size_t lines = 0;
  for (const auto& [position, entry] : texts) {
    Bytes raw;
    ASSERT_EQ(Extract(path, position, &raw), 0);
    std::string expected = "\xEF\xBB\xBF";
    size_t at = 0;
    for (unsigned i = 0; i < 16; ++i) {
      ASSERT_LE(at + 2, raw.size());
      const uint16_t n = Get16(raw, at);
      std::u16string s;
      for (uint16_t k = 0; k < n; ++k) s.push_back(Get16(raw, at + 2 + 2 * k));
      at += 2 + 2 * size_t{n};
      if (s.empty()) continue;
      std::string escaped;
      for (char c : Utf8(s)) {
        if (c == '\t') escaped += "\\t";
        else if (c == '\n') escaped += "\\n";
        else if (c == '\r') escaped += "\\r";
        else if (c == '\\') escaped += "\\\\";
        else escaped += c;
      }
      expected += std::to_string((entry.first - 1) * 16 + i) + "\t" + escaped + "\r\n";
      ++lines;
    }
    EXPECT_EQ(Text(entry.second), expected) << "block " << entry.first;
  }
  EXPECT_GT(lines, 10u);
}

// Every library of Wine's: by default the members are wrestool's bitmaps,
// raw data, groups and named types; with the setting, every resource but the
// single images, and every text member converts.
TEST_F(AllTypes, WinesLibrariesListEveryResourceAndDefaultStaysAsItWas) {
  std::ifstream in(ProgramDir() + Sep() + "pelorin_corpus.txt");
  std::map<std::string, std::pair<size_t, size_t>> expected;  // path -> (default, all types)
  std::string line, file;
  while (std::getline(in, line)) {
    if (line.rfind("FILE ", 0) == 0) {
      file = line.substr(5);
      expected[file];
      continue;
    }
    if (file.empty() || line.rfind("--type=", 0) != 0) continue;
    const std::string type = line.substr(7, line.find(' ') - 7);
    if (type == "1" || type == "3") continue;
    ++expected[file].second;
    if (type[0] == '\'' || type == "2" || type == "10" || type == "12" || type == "14") ++expected[file].first;
  }
  if (expected.empty()) GTEST_SKIP() << "no corpus listing (wrestool or Wine's libraries missing)";
  size_t texts = 0, failures = 0;
  for (uint32_t setting : {0u, 1u}) {
    Load(setting);
    for (const auto& [unixPath, counts] : expected) {
      SCOPED_TRACE(unixPath);
      const std::string path = HostPath(unixPath);
      int result = -1;
      const auto list = List(path, &result);
      if (result == ResultBrokenData && counts.second == 0) continue;  // no resources
      ASSERT_EQ(result, 0);
      EXPECT_EQ(list.size(), setting ? counts.second : counts.first);
      if (!setting) continue;
      for (const fileInfo& f : list) {
        if (!EndsWith(f.filename, ".TXT")) continue;
        Bytes text;
        const int r = Extract(path, f.position, &text, f.filesize);
        ++texts;
        if ((r != 0 || !SoundTextForm(Text(text))) && ++failures <= 10)
          ADD_FAILURE() << f.filename << ": " << r;
      }
    }
  }
  EXPECT_EQ(failures, 0u);
  std::printf("%zu files, %zu text members\n", expected.size(), texts);
}

TEST_F(AllTypes, WinesFontsListTheirFontsByteForByte) {
  size_t fonts = 0;
  for (const std::string& name : ListNames("/usr/share/wine/fonts")) {
    if (!EndsWith(name, ".fon")) continue;
    SCOPED_TRACE(name);
    const std::string unixPath = "/usr/share/wine/fonts/" + name;
    const std::string path = HostPath(unixPath);
    int result = -1;
    const auto list = List(path, &result);
    ASSERT_EQ(result, 0);
    size_t fnt = 0;
    for (const fileInfo& f : list) {
      if (!EndsWith(f.filename, ".FNT")) continue;
      ++fnt;
      const Bytes ours = ExtractToDisk(path, f);
      EXPECT_EQ(ours.size(), f.filesize);
#ifndef _WIN32
      const std::string id = std::to_string(std::stoul(std::string(f.filename).substr(1)));
      const std::string theirs =
          Shell("wrestool -x --raw --type=8 --name=" + id + " '" + unixPath + "' 2>/dev/null");
      EXPECT_EQ(Text(ours), theirs) << f.filename;
#endif
    }
    EXPECT_GT(fnt, 0u);
#ifndef _WIN32
    // The members are those of wrestool's listing.
    std::vector<std::string> ours, theirs;
    for (const fileInfo& f : list) ours.push_back(f.filename);
    std::string listing = Shell("wrestool -l '" + unixPath + "' 2>/dev/null");
    for (size_t at = 0; (at = listing.find("--type=", at)) != std::string::npos; ++at) {
      const size_t nameAt = listing.find("--name=", at);
      const std::string type = listing.substr(at + 7, listing.find(' ', at) - at - 7);
      std::string rname = listing.substr(nameAt + 7, listing.find_first_of(" \n", nameAt) - nameAt - 7);
      std::string ext = type == "8" ? ".FNT" : type == "7" ? ".FONTDIR" : "." + type;
      if (type[0] == '\'') ext = "." + type.substr(1, type.size() - 2);
      if (rname[0] == '\'') {
        rname = rname.substr(1, rname.size() - 2);
      } else {
        char n[16];
        std::snprintf(n, sizeof n, "#%05lu", std::stoul(rname) % 100000);
        rname = n;
      }
      theirs.push_back(rname + ext);
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(ours, theirs);
#endif
    ++fonts;
  }
  if (fonts == 0) GTEST_SKIP() << "Wine's fonts (fonts-wine) are not installed";
}
