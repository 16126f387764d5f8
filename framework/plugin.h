// A deliverable as the framework sees it: one plain record of its strings and
// steps. The framework writes every export once over such a record; a plug-in
// stamps them out in its one exports file:
//   SPI_ARCHIVE_EXPORTS(Vantrel, AniExtract)   (record, GetFile's context type)
//   SPI_PICTURE_EXPORTS(Morvane)
// Each export starts the library (StartOnce with the record's start step) and
// then calls one framework operation, whose result it returns unchanged.
// ConfigurationDlg and Morvane's setting getters stay with each plug-in's
// settings code. framework/exports.list names every export.
#pragma once

#include "framework/framework.h"
#include "framework/picture.h"
#include "framework/startup.h"

// GetPluginInfo's description (index 1), the same shape in every deliverable:
// "Pelorin 1.0.0: resources of Windows programs and libraries (Kestrov)".
#define SPI_DESCRIPTION(name, reads) name " " SPI_VERSION_STRING ": " reads " (Kestrov)"

// GetPluginInfo's four strings. A string that follows a setting is answered by
// pick at every call (null: the strings as they are).
struct PluginInfoStrings {
  const char* strings[4];
  const char* (*pick)(int index, const char* fixed);
};

struct ArchivePlugin {
  PluginInfoStrings info;
  int headLength;                   // IsSupported reads this many head bytes; 0: the whole file
  FormatTest formatTest;
  ListEntriesCallback listEntries;
  int notFound;                     // GetFileInfo's answer for a name no entry bears
  LocateMember locate;              // GetFile's callbacks, given a fresh context record
  WriteMember write;
  void (*start)();                  // start-up step, run once at the first export call
};

struct PicturePlugin {
  PluginInfoStrings info;
  FormatTest formatTest;
  PictureInfoStep infoStep;
  PictureBitsStep bitsStep;
  AlphaPictureSteps alpha;          // GetPictureAlpha's steps
  void (*start)();
};

// The operations behind the exports, one per export and form.
int PluginInfo(const PluginInfoStrings& info, void (*start)(), int index, char* buffer,
               int bufferLength);
int PluginInfo(const PluginInfoStrings& info, void (*start)(), int index, SpiWChar* buffer,
               int bufferLength);
int PluginFormatTest(int headLength, FormatTest test, void (*start)(), uintptr_t dw);
int ArchiveList(const ArchivePlugin& p, HostText source, SpiLength length, unsigned flags,
                SpiHandle* handleSlot);
int ArchiveLookup(const ArchivePlugin& p, HostText source, SpiLength length, const char* name,
                  unsigned flags, fileInfo* record);
int ArchiveLookup(const ArchivePlugin& p, HostText source, SpiLength length,
                  const SpiWChar* name, unsigned flags, fileInfoW* record);
int ArchiveExtract(const ArchivePlugin& p, HostText source, SpiLength length, void* destination,
                   unsigned flags, ProgressCallback progress, SpiUserValue userValue,
                   void* context);
int PictureInfoOf(const PicturePlugin& p, HostText input, SpiLength position, unsigned flags,
                  PictureInfo* info);
int PictureOf(const PicturePlugin& p, HostText input, SpiLength position, unsigned flags,
              SpiHandle* infoHandle, SpiHandle* bitsHandle, ProgressCallback progress,
              SpiUserValue userValue);
int PictureAlphaOf(const PicturePlugin& p, HostText input, SpiLength position, unsigned flags,
                   unsigned options, SpiHandle* infoHandle, SpiHandle* bitsHandle,
                   ProgressCallback progress, SpiUserValue userValue);

// The ten archive exports, plain and W.
#define SPI_ARCHIVE_EXPORTS(plugin, Context)                                                    \
  SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {            \
    return PluginInfo((plugin).info, (plugin).start, index, buffer, bufferLength);              \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPluginInfoW(int index, SpiWChar* buffer, int bufferLength) {       \
    return PluginInfo((plugin).info, (plugin).start, index, buffer, bufferLength);              \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {                              \
    return PluginFormatTest((plugin).headLength, (plugin).formatTest, (plugin).start, dw);      \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL IsSupportedW(const SpiWChar*, uintptr_t dw) {                         \
    return PluginFormatTest((plugin).headLength, (plugin).formatTest, (plugin).start, dw);      \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* source, SpiLength length, unsigned flags,  \
                                         SpiHandle* handleSlot) {                               \
    return ArchiveList(plugin, source, length, flags, handleSlot);                              \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetArchiveInfoW(const SpiWChar* source, SpiLength length,             \
                                          unsigned flags, SpiHandle* handleSlot) {              \
    return ArchiveList(plugin, source, length, flags, handleSlot);                              \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetFileInfo(const char* source, SpiLength length, const char* name,   \
                                      unsigned flags, fileInfo* record) {                       \
    return ArchiveLookup(plugin, source, length, name, flags, record);                          \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetFileInfoW(const SpiWChar* source, SpiLength length,                \
                                       const SpiWChar* name, unsigned flags, fileInfoW* record) { \
    return ArchiveLookup(plugin, source, length, name, flags, record);                          \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetFile(const char* source, SpiLength length, void* destination,      \
                                  unsigned flags, ProgressCallback progress,                    \
                                  SpiUserValue userValue) {                                     \
    Context context{};                                                                          \
    return ArchiveExtract(plugin, source, length, destination, flags, progress, userValue,      \
                          &context);                                                            \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetFileW(const SpiWChar* source, SpiLength length, void* destination, \
                                   unsigned flags, ProgressCallback progress,                   \
                                   SpiUserValue userValue) {                                    \
    Context context{};                                                                          \
    return ArchiveExtract(plugin, source, length, destination, flags, progress, userValue,      \
                          &context);                                                            \
  }

// The twelve picture exports, plain and W. The framework's picture plug-ins
// have no preview: GetPreview answers ResultNotImplemented and reads nothing.
#define SPI_PICTURE_EXPORTS(plugin)                                                             \
  SPI_EXPORT int SPI_CALL GetPluginInfo(int index, char* buffer, int bufferLength) {            \
    return PluginInfo((plugin).info, (plugin).start, index, buffer, bufferLength);              \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPluginInfoW(int index, SpiWChar* buffer, int bufferLength) {       \
    return PluginInfo((plugin).info, (plugin).start, index, buffer, bufferLength);              \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) {                              \
    return PluginFormatTest(0, (plugin).formatTest, (plugin).start, dw);                        \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL IsSupportedW(const SpiWChar*, uintptr_t dw) {                         \
    return PluginFormatTest(0, (plugin).formatTest, (plugin).start, dw);                        \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPictureInfo(const char* input, SpiLength position, unsigned flags, \
                                         PictureInfo* info) {                                   \
    return PictureInfoOf(plugin, input, position, flags, info);                                 \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPictureInfoW(const SpiWChar* input, SpiLength position,            \
                                          unsigned flags, PictureInfo* info) {                  \
    return PictureInfoOf(plugin, input, position, flags, info);                                 \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPicture(const char* input, SpiLength position, unsigned flags,     \
                                     SpiHandle* infoHandle, SpiHandle* bitsHandle,              \
                                     ProgressCallback progress, SpiUserValue userValue) {       \
    return PictureOf(plugin, input, position, flags, infoHandle, bitsHandle, progress,          \
                     userValue);                                                                \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPictureW(const SpiWChar* input, SpiLength position, unsigned flags, \
                                      SpiHandle* infoHandle, SpiHandle* bitsHandle,             \
                                      ProgressCallback progress, SpiUserValue userValue) {      \
    return PictureOf(plugin, input, position, flags, infoHandle, bitsHandle, progress,          \
                     userValue);                                                                \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPictureAlpha(const char* input, SpiLength position, unsigned flags, \
                                          unsigned options, SpiHandle* infoHandle,              \
                                          SpiHandle* bitsHandle, ProgressCallback progress,     \
                                          SpiUserValue userValue) {                             \
    return PictureAlphaOf(plugin, input, position, flags, options, infoHandle, bitsHandle,      \
                          progress, userValue);                                                 \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPictureAlphaW(const SpiWChar* input, SpiLength position,           \
                                           unsigned flags, unsigned options,                    \
                                           SpiHandle* infoHandle, SpiHandle* bitsHandle,        \
                                           ProgressCallback progress, SpiUserValue userValue) { \
    return PictureAlphaOf(plugin, input, position, flags, options, infoHandle, bitsHandle,      \
                          progress, userValue);                                                 \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPreview(const char*, SpiLength, unsigned, SpiHandle*, SpiHandle*,  \
                                     ProgressCallback, SpiUserValue) {                          \
    return ResultNotImplemented;                                                                \
  }                                                                                             \
  SPI_EXPORT int SPI_CALL GetPreviewW(const SpiWChar*, SpiLength, unsigned, SpiHandle*,         \
                                      SpiHandle*, ProgressCallback, SpiUserValue) {             \
    return ResultNotImplemented;                                                                \
  }
