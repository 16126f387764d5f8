#include "ani_builder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

void Append(Bytes& out, const void* data, size_t n) {
  // Byte by byte: gcc 12 at -O3 misjudges a range insert into an empty vector.
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < n; ++i) out.push_back(p[i]);
}
void AppendId(Bytes& out, const char* id) { Append(out, id, 4); }
void AppendLe32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void AppendChunk(Bytes& out, const char* id, const Bytes& data, bool pad) {
  AppendId(out, id);
  AppendLe32(out, static_cast<uint32_t>(data.size()));
  Append(out, data.data(), data.size());
  if (pad && data.size() % 2) out.push_back(0);
}

}  // namespace

Bytes BuildAni(const AniLayout& layout) {
  Bytes body;
  if (layout.infoList) {
    Bytes info;
    AppendId(info, "INFO");
    Bytes title = {'t', 'e', 's', 't', 0, 0};
    AppendChunk(info, "INAM", title, false);
    AppendChunk(body, "LIST", info, false);
  }
  Bytes anih;
  AppendLe32(anih, 36);
  AppendLe32(anih, layout.frameCount.value_or(static_cast<uint32_t>(layout.frames.size())));
  uint32_t steps = layout.steps ? static_cast<uint32_t>(layout.steps->size())
                                : static_cast<uint32_t>(layout.frames.size());
  AppendLe32(anih, layout.stepCount.value_or(steps));
  for (int i = 0; i < 4; ++i) AppendLe32(anih, 0);  // width, height, bit count, planes
  AppendLe32(anih, 10);                              // display rate
  AppendLe32(anih, layout.steps ? 3 : 1);            // flags: icon frames, sequence
  AppendChunk(body, "anih", anih, false);
  if (layout.steps) {
    Bytes seq;
    for (uint32_t s : *layout.steps) AppendLe32(seq, s);
    AppendChunk(body, "seq ", seq, false);
  }
  Bytes fram;
  AppendId(fram, "fram");
  for (const Bytes& f : layout.frames) AppendChunk(fram, "icon", f, layout.padOddFrames);
  AppendChunk(body, "LIST", fram, false);

  Bytes out(layout.offset, 0x5A);
  AppendId(out, "RIFF");
  AppendLe32(out, static_cast<uint32_t>(body.size() + 4));
  AppendId(out, "ACON");
  Append(out, body.data(), body.size());
  return out;
}

Bytes MakeIconFile(uint16_t type, uint32_t imageBytes, uint8_t seed) {
  Bytes out(22 + size_t{imageBytes});
  const uint8_t head[14] = {0, 0, static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8), 1, 0,
                            16, 16, 0, 0, static_cast<uint8_t>(seed % 16), 0, 1, 0};
  std::memcpy(out.data(), head, sizeof head);
  PokeLe32(out, 14, imageBytes);
  PokeLe32(out, 18, 22);
  std::minstd_rand gen(seed + 1u);
  for (uint32_t i = 0; i < imageBytes; ++i) out[22 + i] = static_cast<uint8_t>(gen());
  return out;
}

size_t FindId(const Bytes& bytes, const char* id, size_t from) {
  auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), id, id + 4);
  return static_cast<size_t>(it - bytes.begin());
}

void PokeLe32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

TempDir::TempDir() {
  static int serial = 0;
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() /
                 ("vantrel_test_" + std::to_string(rd() % 1000000) + "_" + std::to_string(serial++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::Join(const std::string& name) const { return (fs::path(path_) / name).string(); }

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
  std::string p = Join(name);
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return p;
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::vector<std::string> RealIconFiles(const char* extension) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(VANTREL_REAL_CURSORS, ec))
    if (e.path().extension() == extension) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}
