// Writes the seed corpora of the fuzz targets: files from the test builders,
// plus any real files named on the command line (sorted to their targets by
// extension). Each file is written under a few control bytes, so the runs
// start from every input path, output path and settings copy.
//
//   spi_fuzz_corpus OUTDIR [real files...]
//   -> OUTDIR/pelorin, OUTDIR/vantrel, OUTDIR/quibbet, OUTDIR/morvane
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/builders/ani.h"
#include "tests/builders/icon.h"
#include "tests/builders/pe.h"
#include "tests/builders/ne.h"

using build::Bytes;

namespace {

// File input from offset 5 into a folder with the second copy; memory input to
// memory with the first; and so on: one seed per path through the harness.
const uint8_t Controls[] = {0x00, 0x01, 0x0E, 0x1D, 0x22, 0x47, 0x8C};

int written = 0;

void Write(const std::string& dir, const std::string& stem, const Bytes& file) {
  for (uint8_t c : Controls) {
    char name[32];
    std::snprintf(name, sizeof name, "-%02x", c);
    std::ofstream out(dir + "/" + stem + name, std::ios::binary);
    out.put(static_cast<char>(c));
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    ++written;
  }
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void IconSeeds(const std::string& dir) {
  using build::IconImage;
  Write(dir, "ico1-4bit", build::IconFile(1, {IconImage(32, 32, 4)}));
  Write(dir, "ico1-1bit", build::IconFile(1, {IconImage(16, 16, 1)}));
  Write(dir, "ico1-8bit", build::IconFile(1, {IconImage(16, 16, 8)}));
  Write(dir, "ico1-24bit", build::IconFile(1, {IconImage(8, 8, 24)}));
  Write(dir, "ico1-32bit", build::IconFile(1, {IconImage(8, 8, 32)}));
  build::IconImageSpec shortForm;
  shortForm.block = build::IconImageBlockShort(8, 8, 4);
  Write(dir, "ico1-short", build::IconFile(1, {shortForm}));
  Write(dir, "ico2", build::SmallIcon(1, 2));
  Write(dir, "cur3", build::SmallIcon(2, 3));
  Write(dir, "ico5", build::IconFile(1, {IconImage(16, 16, 4), IconImage(32, 32, 8), IconImage(48, 48, 1),
                                         IconImage(16, 16, 24), IconImage(24, 24, 4)}));
  Write(dir, "ico0", build::IconFile(1, {}));
  // PNG-compressed images, alone and beside a bitmap image.
  Bytes rgba(4 * 4 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 37);
  const Bytes png = build::Png(4, 4, rgba);
  Write(dir, "ico1-png", build::IconFile(std::vector<Bytes>{png}));
  Write(dir, "ico2-png", build::IconFile(std::vector<Bytes>{build::ImageBlock(build::ImageSpec{}), png}));
}

void AniSeeds(const std::string& dir) {
  Write(dir, "ani1", build::Ani(1));
  Write(dir, "ani4", build::Ani(4));
  Write(dir, "ani4-seq", build::Ani(4, {0, 1, 2, 3, 2, 1}));
  // Frames of odd size and icon frames, with other chunks between.
  Bytes odd = build::SmallIcon(1, 1);
  odd.push_back(0x77);
  Bytes body;
  build::AddText(body, "fram");
  build::AddBytes(body, build::Chunk("icon", odd));
  build::AddBytes(body, build::Chunk("icon", build::SmallIcon(2, 2)));
  Write(dir, "ani-odd", build::Riff({build::Chunk("INFO", Bytes{'x', 'y'}), build::Chunk("anih", build::AniHeaderData(2, 3)),
                                     build::Chunk("rate", Bytes(12, 1)), build::SeqChunk({1, 0, 1}),
                                     build::Chunk("LIST", body)}));
}

void PeSeeds(const std::string& dir) {
  Write(dir, "pe-sample", build::SamplePe());
  Write(dir, "pe-empty", build::PeWithResources({}));
  Write(dir, "pe-missing-member", build::PeWithResources({build::Res(14, 1, build::IconGroupData(1, {{9, 296}}))}));
  std::vector<build::Resource> langs;
  for (uint16_t lang : {0x409, 0x411, 0x804, 0x1004, 0})
    langs.push_back(build::Res(10, 1, Bytes(5, static_cast<uint8_t>(lang)), lang));
  Write(dir, "pe-languages", build::PeWithResources(langs));
  // Data in other sections (as UPX leaves it), and the resource section
  // renamed, found through the data directory.
  Write(dir, "pe-upx", build::UpxPackedPe());
  build::Options loader;
  loader.loaderFields = true;
  Bytes renamed = build::ExecutableWith(build::Tree({build::Res(2, 1, build::BitmapData(4, 4, 8))}), loader);
  const size_t table = build::Get32(renamed, 60) + 24 + build::Get16(renamed, build::Get32(renamed, 60) + 20);
  std::memcpy(&renamed[table + 40], "DATA\0\0\0\0", 8);
  Write(dir, "pe-renamed-section", renamed);
  // A damaged group beside a sound one.
  Bytes image = build::IconImageBlock(16, 16, 4);
  Bytes raised = build::IconGroupData(1, {{1, static_cast<uint32_t>(image.size())}});
  build::Put16(raised, 4, 3);
  Write(dir, "pe-damaged-group",
        build::PeWithResources({build::Res(3, 1, image), build::Res(14, 1, raised),
                                build::Res(14, 2, build::IconGroupData(1, {{1, static_cast<uint32_t>(image.size())}}))}));
}

// NE: icon libraries at shifts 4 and 9, a font, bitmaps, and broken tables.
void NeSeeds(const std::string& dir) {
  std::vector<ne_builder::Resource> icons;
  uint16_t imageId = 1;
  ne_builder::AddIconFile(&icons, build::SmallIcon(1, 2), 1, "", &imageId);
  ne_builder::AddIconFile(&icons, build::SmallIcon(2, 1), 2, "POINTER", &imageId);
  ne_builder::AddIconFile(&icons, build::SmallIcon(1, 1), 3, "", &imageId);
  Bytes core(12 + 48 + 16, 0);
  core[0] = 12;
  core[4] = 4;
  core[6] = 4;
  core[8] = 1;
  core[10] = 4;
  icons.push_back({2, "", 5, "", core});
  icons.push_back({0, "PNG", 0, "LOGO", Bytes(24, 0x89)});
  icons.push_back({10, "", 7, "", Bytes{1, 2, 3}});
  const Bytes library = ne_builder::Executable(icons, 4);
  Write(dir, "ne-icons-4", library);
  Write(dir, "ne-icons-9", ne_builder::Executable(icons, 9));
  Bytes font(118, 0);
  font[0] = 0;
  font[1] = 3;  // version 3.00
  Write(dir, "ne-font", ne_builder::Executable({{8, "", 1, "", font}, {7, "", 0, "FONTDIR", Bytes(40, 1)}}, 4));
  Write(dir, "ne-empty", ne_builder::Executable({}, 4));
  // Version information and string tables in both forms, for ListAllTypes.
  ne_builder::VersionStrings version;
  version.strings = {{"CompanyName", "Kestrov"}, {"FileVersion", "1.2.3.4"}, {"Comments", "a\\b\t\"c\""}};
  const std::vector<std::string> strings = {"", "one", "two\r\n", "", "five"};
  Write(dir, "ne-text", ne_builder::Executable({{16, "", 1, "", ne_builder::VersionResource(true, version)},
                                                {6, "", 3, "", ne_builder::StringBlock(true, strings)},
                                                {9, "", 1, "", Bytes(8, 1)}}, 4));
  std::vector<build::Resource> text(2);
  text[0].type = 16;
  text[0].name = 1;
  text[0].language = 0x409;
  text[0].data = ne_builder::VersionResource(false, version);
  text[1].type = 6;
  text[1].name = 3;
  text[1].language = 0x409;
  text[1].data = ne_builder::StringBlock(false, strings);
  Write(dir, "pe-text", build::PeWithResources(text));
  // The table starts at 128: its shift, then the first type's count.
  auto broken = [&](const char* stem, size_t at, uint16_t value) {
    Bytes b = library;
    b[at] = static_cast<uint8_t>(value);
    b[at + 1] = static_cast<uint8_t>(value >> 8);
    Write(dir, stem, b);
  };
  broken("ne-shift-17", 128, 17);
  broken("ne-count-beyond", 132, 0x4000);
  broken("ne-type-name-out", 130, 0x7000);
  broken("ne-no-table", 64 + 38, 64);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTDIR [real files...]\n", argv[0]);
    return 2;
  }
  std::string out = argv[1];
  mkdir(out.c_str(), 0755);
  const std::string pelorin = out + "/pelorin", vantrel = out + "/vantrel",
                    quibbet = out + "/quibbet", morvane = out + "/morvane";
  for (const std::string& d : {pelorin, vantrel, quibbet, morvane}) mkdir(d.c_str(), 0755);

  IconSeeds(quibbet);
  IconSeeds(morvane);
  AniSeeds(vantrel);
  PeSeeds(pelorin);
  NeSeeds(pelorin);

  for (int i = 2; i < argc; ++i) {
    std::string path = argv[i];
    std::string ext = Lower(path.substr(path.find_last_of('.') + 1));
    std::string stem = "real-" + std::to_string(i) + "-" + path.substr(path.find_last_of('/') + 1);
    Bytes file = ReadFile(path);
    if (file.empty() || file.size() > (1u << 20)) continue;  // big seeds only slow the runs
    if (ext == "ico" || ext == "cur") {
      Write(quibbet, stem, file);
      Write(morvane, stem, file);
    } else if (ext == "ani") {
      Write(vantrel, stem, file);
    } else if (ext == "exe" || ext == "dll" || ext == "scr" || ext == "cpl" || ext == "icl" ||
               ext == "fon") {
      Write(pelorin, stem, file);
    }
  }
  std::printf("%d seeds written to %s\n", written, out.c_str());
  return 0;
}
