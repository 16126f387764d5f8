// Wine's own Windows libraries and programs, 32-bit and 64-bit: every one that
// has resources lists; the members match icoutils' wrestool listing made by
// list_corpus.sh; every icon, cursor and bitmap extracts to a sound file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include "image_check.h"
#include "pelorin_host.h"
#include "test_files.h"

namespace {

struct CorpusFile {
  std::string path;
  std::vector<std::string> members;  // expected member names, from wrestool
};

// "--type=14 --name='LOGO' --language=0 [...]": the value of one field.
std::string Field(const std::string& line, const std::string& key, bool* quoted) {
  const size_t at = line.find("--" + key + "=");
  if (at == std::string::npos) return {};
  size_t from = at + key.size() + 3;
  *quoted = from < line.size() && line[from] == '\'';
  if (*quoted) {
    const size_t end = line.find('\'', from + 1);
    return line.substr(from + 1, end - from - 1);
  }
  return line.substr(from, line.find(' ', from) - from);
}

std::vector<CorpusFile> ReadCorpus(const std::string& path) {
  std::vector<CorpusFile> files;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("FILE ", 0) == 0) {
      files.push_back({line.substr(5), {}});
      continue;
    }
    if (files.empty()) continue;
    bool typeNamed = false, nameNamed = false;
    const std::string type = Field(line, "type", &typeNamed);
    const std::string name = Field(line, "name", &nameNamed);
    // Only the three kinds that are rebuilt: wrestool misnames named resources
    // of named types (it repeats the type's name).
    std::string ext;
    if (typeNamed) continue;
    if (type == "2") ext = ".BMP";
    else if (type == "12") ext = ".CUR";
    else if (type == "14") ext = ".ICO";
    else continue;
    char number[16];
    if (!nameNamed) std::snprintf(number, sizeof number, "#%05lu", std::stoul(name) % 100000);
    files.back().members.push_back((nameNamed ? name : std::string(number)) + ext);
  }
  return files;
}

std::string HostPath(const std::string& unixPath) {
#ifdef _WIN32
  std::string p = "Z:" + unixPath;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
#else
  return unixPath;
#endif
}

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::char_traits<char>::length(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

TEST_F(PelorinPlugin, WineLibrariesMatchWrestoolAndExtractSoundFiles) {
  const auto corpus = ReadCorpus(ProgramDir() + Sep() + "pelorin_corpus.txt");
  if (corpus.empty()) GTEST_SKIP() << "no corpus listing (wrestool or Wine's libraries missing)";
  size_t withMembers = 0, sixtyFour = 0, extracted = 0, failures = 0;
  for (const CorpusFile& file : corpus) {
    SCOPED_TRACE(file.path);
    const std::string path = HostPath(file.path);
    int result = -1;
    const auto list = ListFile(path, 0, &result);
    if (file.members.empty() && result == ResultBrokenData) continue;  // no resource section
    ASSERT_EQ(result, 0);
    std::vector<std::string> ours;
    for (const fileInfo& f : list) {
      const std::string name = MemberName(f);
      if (EndsWith(name, ".BMP") || EndsWith(name, ".CUR") || EndsWith(name, ".ICO"))
        ours.push_back(name);
    }
    std::vector<std::string> theirs = file.members;
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(ours, theirs);
    if (!list.empty()) {
      ++withMembers;
      if (file.path.find("x86_64-windows") != std::string::npos) ++sixtyFour;
    }
    for (const fileInfo& f : list) {
      const std::string name = MemberName(f);
      const bool icon = EndsWith(name, ".ICO"), cursor = EndsWith(name, ".CUR");
      const bool bitmap = EndsWith(name, ".BMP");
      if (!icon && !cursor && !bitmap) continue;
      std::vector<uint8_t> bytes;
      ASSERT_EQ(ExtractFile(path, f.position, f.filesize, &bytes), 0) << name;
      ++extracted;
      std::string why;
      const bool sound = bitmap ? IsWellFormedBitmapFile(bytes, &why)
                                : IsWellFormedIconFile(bytes, cursor ? 2 : 1, &why);
      if (!sound && ++failures <= 20) ADD_FAILURE() << name << ": " << why;
    }
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_GT(withMembers, 0u);
  std::printf("%zu files, %zu with members (%zu 64-bit), %zu icons, cursors and bitmaps extracted\n",
              corpus.size(), withMembers, sixtyFour, extracted);
}
