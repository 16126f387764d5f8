// Host side: loads a plug-in file and calls its exports exactly as a viewer
// does. Used by the tests and by spihost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/spi.h"

namespace host {

struct Plugin {
  void* library = nullptr;
  std::string path;
  // Each export, or null when the plug-in lacks it.
  GetPluginInfoFn getPluginInfo = nullptr;
  IsSupportedFn isSupported = nullptr;
  GetArchiveInfoFn getArchiveInfo = nullptr;
  GetFileInfoFn getFileInfo = nullptr;
  GetFileFn getFile = nullptr;
  GetPictureInfoFn getPictureInfo = nullptr;
  GetPictureFn getPicture = nullptr;
  GetPictureFn getPreview = nullptr;
  GetPictureAlphaFn getPictureAlpha = nullptr;  // optional: the picture with alpha
  ConfigurationDlgFn configurationDlg = nullptr;
  GetSettingFn getGroupIconSetting = nullptr;
  GetSettingFn getFileNameSetting = nullptr;
  // The Unicode forms, where the plug-in has them.
  GetPluginInfoWFn getPluginInfoW = nullptr;
  IsSupportedWFn isSupportedW = nullptr;
  GetArchiveInfoWFn getArchiveInfoW = nullptr;
  GetFileInfoWFn getFileInfoW = nullptr;
  GetFileWFn getFileW = nullptr;
  GetPictureInfoWFn getPictureInfoW = nullptr;
  GetPictureWFn getPictureW = nullptr;
  GetPictureWFn getPreviewW = nullptr;
  GetPictureAlphaWFn getPictureAlphaW = nullptr;
};

// Loads path and binds every export it has; false (with a message) when the
// file cannot be loaded or lacks GetPluginInfo.
bool LoadPlugin(const std::string& path, Plugin* out, std::string* error);
// The same for a library its caller loaded (null: it could not be loaded),
// which then belongs to out; path is only for the messages and out->path.
bool BindPlugin(void* library, const std::string& path, Plugin* out, std::string* error);
void UnloadPlugin(Plugin* plugin);

// GetPluginInfo(index) as a string ("" when the plug-in answers nothing).
std::string PluginInfo(const Plugin& plugin, int index);

// The records of an entry list block, up to its all-zero terminator; frees the block.
std::vector<fileInfo> TakeEntryList(SpiHandle block);
// The same for a list made by GetArchiveInfoW.
std::vector<fileInfoW> TakeEntryListW(SpiHandle block);
// The first n bytes of a block (all of it when n is SIZE_MAX); frees the block.
std::vector<uint8_t> TakeBlock(SpiHandle block, size_t n = SIZE_MAX);

// Bytes placed so that they end exactly where readable memory ends, so a
// plug-in given them as memory input can never read past them unnoticed.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(const std::vector<uint8_t>& bytes);
  GuardedBuffer(const uint8_t* data, size_t size);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  const char* source() const { return reinterpret_cast<const char*>(data_); }

 private:
  void* region_ = nullptr;
  size_t regionSize_ = 0;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace host
