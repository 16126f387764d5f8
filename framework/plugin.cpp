// The operations behind the exports that framework/plugin.h stamps out: each
// starts the library, then runs one framework operation with the record's steps.
#include "framework/plugin.h"

namespace {

template <class Char>
int InfoOf(const PluginInfoStrings& info, void (*start)(), int index, Char* buffer,
           int bufferLength) {
  StartOnce(start);
  if (!info.pick) return CopyInfoString(index, buffer, bufferLength, info.strings, 3);
  const char* strings[4];
  for (int i = 0; i < 4; ++i) strings[i] = info.pick(i, info.strings[i]);
  return CopyInfoString(index, buffer, bufferLength, strings, 3);
}

}  // namespace

int PluginInfo(const PluginInfoStrings& info, void (*start)(), int index, char* buffer,
               int bufferLength) {
  return InfoOf(info, start, index, buffer, bufferLength);
}

int PluginInfo(const PluginInfoStrings& info, void (*start)(), int index, SpiWChar* buffer,
               int bufferLength) {
  return InfoOf(info, start, index, buffer, bufferLength);
}

int PluginFormatTest(int headLength, FormatTest test, void (*start)(), uintptr_t dw) {
  StartOnce(start);
  return headLength > 0 ? RunFormatTest(dw, headLength, test) : RunFormatTest(dw, test);
}

int ArchiveList(const ArchivePlugin& p, HostText source, SpiLength length, unsigned flags,
                SpiHandle* handleSlot) {
  StartOnce(p.start);
  return BuildArchiveInfo(source, length, flags, handleSlot, p.listEntries);
}

int ArchiveLookup(const ArchivePlugin& p, HostText source, SpiLength length, const char* name,
                  unsigned flags, fileInfo* record) {
  StartOnce(p.start);
  return LookupFileInfo(source, length, name, flags, record, p.listEntries, p.notFound);
}

int ArchiveLookup(const ArchivePlugin& p, HostText source, SpiLength length,
                  const SpiWChar* name, unsigned flags, fileInfoW* record) {
  StartOnce(p.start);
  return LookupFileInfo(source, length, name, flags, record, p.listEntries, p.notFound);
}

int ArchiveExtract(const ArchivePlugin& p, HostText source, SpiLength length, void* destination,
                   unsigned flags, ProgressCallback progress, SpiUserValue userValue,
                   void* context) {
  StartOnce(p.start);
  return ExtractMember(source, length, destination, flags, progress, userValue, context,
                       p.locate, p.write);
}

int PictureInfoOf(const PicturePlugin& p, HostText input, SpiLength position, unsigned flags,
                  PictureInfo* info) {
  StartOnce(p.start);
  return PictureInfoFromInput(input, position, flags, p.infoStep, info);
}

int PictureOf(const PicturePlugin& p, HostText input, SpiLength position, unsigned flags,
              SpiHandle* infoHandle, SpiHandle* bitsHandle, ProgressCallback progress,
              SpiUserValue userValue) {
  StartOnce(p.start);
  return PictureFromInput(input, position, flags, infoHandle, bitsHandle, progress, userValue,
                          p.infoStep, p.bitsStep);
}

int PictureAlphaOf(const PicturePlugin& p, HostText input, SpiLength position, unsigned flags,
                   unsigned options, SpiHandle* infoHandle, SpiHandle* bitsHandle,
                   ProgressCallback progress, SpiUserValue userValue) {
  StartOnce(p.start);
  return PictureAlphaFromInput(input, position, flags, options, infoHandle, bitsHandle, progress,
                               userValue, &p.alpha);
}
