#include "pelorin_host.h"

#include "test_files.h"

void PelorinPlugin::SetUp() {
  std::string error;
  ASSERT_TRUE(host::LoadPlugin(PluginPath("Pelorin"), &plugin, &error)) << error;
}

void PelorinPlugin::TearDown() { host::UnloadPlugin(&plugin); }

std::vector<fileInfo> PelorinPlugin::ListFile(const std::string& path, int32_t offset, int* result) {
  SpiHandle block = nullptr;
  const int r = plugin.getArchiveInfo(path.c_str(), offset, InputFile, &block);
  if (result) *result = r;
  if (r != 0) return {};
  return host::TakeEntryList(block);
}

std::vector<fileInfo> PelorinPlugin::ListMemory(const host::GuardedBuffer& image, int* result) {
  SpiHandle block = nullptr;
  const int r = plugin.getArchiveInfo(image.source(), 0, InputMemory, &block);
  if (result) *result = r;
  if (r != 0) return {};
  return host::TakeEntryList(block);
}

int PelorinPlugin::ExtractFile(const std::string& path, uint32_t position, uint32_t size,
                               std::vector<uint8_t>* out) {
  SpiHandle block = nullptr;
  const int r = plugin.getFile(path.c_str(), static_cast<int32_t>(position), &block,
                               InputFile | (OutputMemory << OutputKindShift), nullptr, 0);
  if (r == 0) *out = host::TakeBlock(block, size);
  return r;
}

std::string MemberName(const fileInfo& f) { return std::string(f.path) + f.filename; }

std::string TestLibraryDir() { return ProgramDir() + Sep() + "pelorin_testres"; }
