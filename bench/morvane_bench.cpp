// GetPicture of a 256 x 256 24-bit icon from memory, beside a plain copy of
// the same colour bytes: the copy is the most the decoder could ever reach.
// Given icon files (morvane_bench FILE...), the mean time per file of
// GetPicture and of GetPictureAlpha over all of them, each held in memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <fstream>
#include <iterator>

#include "formats/bytes.h"
#include "host/host.h"
#include "platform/platform.h"

namespace {

std::string PluginPath() {
  char path[4096];
  std::string dir = ".";
  if (platform::ModulePath(reinterpret_cast<const void*>(&PluginPath), path, sizeof path)) {
    dir = path;
    size_t cut = dir.find_last_of("/\\");
    dir = cut == std::string::npos ? "." : dir.substr(0, cut);
  }
  return dir + "/Morvane" SPI_PLUGIN_SUFFIX;
}

std::vector<uint8_t> Icon256x256x24() {
  const uint32_t w = 256, h = 256, stride = w * 3, maskStride = w / 8;
  const uint32_t blockSize = 40 + stride * h + maskStride * h;
  std::vector<uint8_t> f(22 + blockSize);
  PutLe16(&f[2], 1);
  PutLe16(&f[4], 1);
  PutLe32(&f[14], blockSize);
  PutLe32(&f[18], 22);
  uint8_t* b = &f[22];
  PutLe32(b, 40);
  PutLe32(b + 4, w);
  PutLe32(b + 8, 2 * h);
  PutLe16(b + 12, 1);
  PutLe16(b + 14, 24);
  for (uint32_t i = 0; i < stride * h; ++i) b[40 + i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  return f;
}

// Median nanoseconds per call of fn over rounds of n calls.
template <typename Fn>
double Median(Fn fn, int n) {
  std::vector<double> rounds;
  for (int r = 0; r < 9; ++r) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) fn();
    auto end = std::chrono::steady_clock::now();
    rounds.push_back(std::chrono::duration<double, std::nano>(end - start).count() / n);
  }
  std::sort(rounds.begin(), rounds.end());
  return rounds[rounds.size() / 2];
}

}  // namespace

// Mean microseconds per file of decode over every file, best of five rounds.
template <typename Decode>
double MeanOverFiles(const std::vector<std::vector<uint8_t>>& files, Decode decode, int* failures) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (const auto& f : files) {
      SpiHandle info = nullptr, bits = nullptr;
      if (decode(reinterpret_cast<const char*>(f.data()), static_cast<int32_t>(f.size()), &info, &bits) != 0) {
        ++*failures;
        continue;
      }
      SpiFreeBlock(info);
      SpiFreeBlock(bits);
    }
    double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    if (round == 0 || us < best) best = us;
  }
  return best / static_cast<double>(files.size());
}

int DecodeFiles(const host::Plugin& plugin, int count, char** names) {
  std::vector<std::vector<uint8_t>> files;
  for (int i = 0; i < count; ++i) {
    std::ifstream in(names[i], std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  int failures = 0;
  double plain = MeanOverFiles(files, [&](const char* s, int32_t n, SpiHandle* i, SpiHandle* b) {
    return plugin.getPicture(s, n, InputMemory, i, b, nullptr, 0);
  }, &failures);
  int refused = failures;
  failures = 0;
  double alpha = MeanOverFiles(files, [&](const char* s, int32_t n, SpiHandle* i, SpiHandle* b) {
    return plugin.getPictureAlpha(s, n, InputMemory, 0, i, b, nullptr, 0);
  }, &failures);
  double kept = MeanOverFiles(files, [&](const char* s, int32_t n, SpiHandle* i, SpiHandle* b) {
    return plugin.getPictureAlpha(s, n, InputMemory, SpiKeepEncoded, i, b, nullptr, 0);
  }, &failures);
  std::printf("files: %zu (GetPicture refused %d: depths it does not hand over)\n", files.size(), refused / 5);
  std::printf("GetPicture: %.1f us per image\n", plain);
  std::printf("GetPictureAlpha: %.1f us per image\n", alpha);
  std::printf("GetPictureAlpha, PNG images as stored: %.1f us per image\n", kept);
  return failures ? 1 : 0;
}

int main(int argc, char** argv) {
  host::Plugin plugin;
  std::string error;
  if (!host::LoadPlugin(PluginPath(), &plugin, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (argc > 1) {
    int status = DecodeFiles(plugin, argc - 1, argv + 1);
    host::UnloadPlugin(&plugin);
    return status;
  }
  std::vector<uint8_t> icon = Icon256x256x24();
  const char* source = reinterpret_cast<const char*>(icon.data());
  const int32_t length = static_cast<int32_t>(icon.size());
  const size_t bitsSize = 256 * 256 * 3;
  std::vector<uint8_t> target(bitsSize);
  int failures = 0;

  double decode = Median(
      [&] {
        SpiHandle info = nullptr, bits = nullptr;
        if (plugin.getPicture(source, length, InputMemory, &info, &bits, nullptr, 0) != 0) {
          ++failures;
          return;
        }
        SpiFreeBlock(info);
        SpiFreeBlock(bits);
      },
      200);
  double copy = Median(
      [&] {
        std::memcpy(target.data(), icon.data() + 22 + 40, bitsSize);
        // Keep the copy from being optimised away.
        volatile uint8_t sink = target[bitsSize / 2];
        (void)sink;
      },
      200);
  host::UnloadPlugin(&plugin);
  if (failures) {
    std::fprintf(stderr, "GetPicture failed %d times\n", failures);
    return 1;
  }
  std::printf("GetPicture 256x256x24 from memory: %.1f us\n", decode / 1000);
  std::printf("plain copy of the same %zu bytes:  %.1f us\n", bitsSize, copy / 1000);
  std::printf("ratio: %.2f (target: within 2)\n", decode / copy);
  return 0;
}
