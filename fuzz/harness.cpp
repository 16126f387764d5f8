// Loading the fuzz targets' plug-ins: one copy per settings variant, each with
// a registry file of its own (the Linux build reads its settings from one).
#include "fuzz/harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "\n*** %s\n", what);
    std::abort();
  }
}

}  // namespace

std::string RegistryText(const char* plugin,
                         const std::vector<std::pair<const char*, uint32_t>>& values) {
  std::string t = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kestrov\\Susie\\Plug-in\\";
  t += plugin;
  t += "]\n";
  for (const auto& [name, value] : values) {
    char line[128];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, value);
    t += line;
  }
  return t;
}

std::vector<host::Plugin> LoadVariants(const char* name, const std::vector<Variant>& variants,
                                       const std::vector<const char*>& companions) {
  // The plug-ins lie beside the fuzz target.
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  Check(n > 0, "own path");
  self[n] = 0;
  std::string bin(self);
  bin.resize(bin.rfind('/'));

  auto copy = [](const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    Check(in != nullptr, "plug-in file beside the fuzz target");
    FILE* out = std::fopen(to.c_str(), "wb");
    Check(out != nullptr, "plug-in copy");
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, in)) > 0) std::fwrite(buf, 1, got, out);
    std::fclose(in);
    std::fclose(out);
  };

  std::vector<host::Plugin> loaded;
    for (size_t i = 0; i < variants.size(); ++i) {
    // Each copy gets its own folder: a library is loaded once per path, and a
    // plug-in that looks for a companion finds the one beside it.
    std::string dir = ScratchFolder() + "/v" + std::to_string(i);
    mkdir(dir.c_str(), 0700);
    std::string reg = dir + "/registry.reg";
    FILE* f = std::fopen(reg.c_str(), "w");
    Check(f != nullptr, "registry file");
    std::fputs(variants[i].registry.c_str(), f);
    std::fclose(f);
    for (const char* c : companions) copy(bin + "/" + c + SPI_PLUGIN_SUFFIX, dir + "/" + c + SPI_PLUGIN_SUFFIX);
    std::string path = dir + "/" + name + SPI_PLUGIN_SUFFIX;
    copy(bin + "/" + name + SPI_PLUGIN_SUFFIX, path);
    setenv("SPI_REGISTRY", reg.c_str(), 1);
    host::Plugin p;
    std::string error;
    if (!host::LoadPlugin(path, &p, &error)) {
      std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), error.c_str());
      std::abort();
    }
    loaded.push_back(p);
  }
  // Later loads (none expected) read no settings of ours.
  unsetenv("SPI_REGISTRY");
  return loaded;
}

// One input as a host hands it over, after the format tests have seen it: a
// file (the data `offset` bytes in) or a memory image at the very end of

}  // namespace fuzz
