// GetFile's body: the member goes to a temporary file that takes the target's
// name only once it is complete, or into a memory block the host then owns.
#include <string.h>

#include <string>

#include "framework/callback.h"
#include "framework/framework.h"
#include "framework/input.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t MinimumMemoryBlock = 2048;

struct Member {
  DataRef data;
  MemberName name;
  uint32_t size;
};

// The member's name in the form of the call's paths.
const char* NameIn(const Member& m, const char*) { return m.name.narrow; }
const SpiWChar* NameIn(const Member& m, const SpiWChar*) { return m.name.wide; }

int WriteGuarded(WriteMember write, const Member& m, uint8_t* destination,
                 ProgressCallback progress, SpiUserValue userValue, void* context) {
  return CallGuarded([&] { return write(m.data, destination, m.size, progress, userValue, context); });
}

// A failed extraction leaves the directory as it found it: no temporary file,
// and no target that did not exist before the call.
template <class Char>
void Discard(const Char* temp, const Char* target, intptr_t targetHandle, bool targetCreated) {
  if (temp) platform::RemoveFile(temp);
  platform::CloseFile(targetHandle);
  if (targetCreated) platform::RemoveFile(target);
}

template <class Char>
int OutputToFile(const Member& m, const Char* directory, ProgressCallback progress,
                 SpiUserValue userValue, void* context, WriteMember write) {
  const Char* name = NameIn(m, directory);
  if (!StaysInDirectory(name)) return ResultWriteError;
  if (!directory || !EnsureDirectory(directory)) return ResultWriteError;
  Char target[PathSize];
  // EnsureDirectory has checked that it fits.
  const size_t length = std::char_traits<Char>::length(directory);
  memcpy(target, directory, (length + 1) * sizeof(Char));
  if (!AppendPathComponent(target, name, PathSize)) return ResultWriteError;

  intptr_t targetHandle;
  bool created;
  if (!platform::OpenExclusive(target, &targetHandle, &created)) return ResultWriteError;

  Char temp[PathSize];
  if (!platform::CreateTempFile(directory, "SPI", temp, PathSize)) {
    Discard<Char>(nullptr, target, targetHandle, created);
    return ResultWriteError;
  }

  int result;
  if (m.size == 0) {
    // Nothing to map: the empty temporary file already is the member. The
    // deliverable still runs, so that a member it cannot read is reported.
    uint8_t none = 0;
    result = WriteGuarded(write, m, &none, progress, userValue, context);
  } else {
    platform::MappedFile view;
    if (!platform::MapNew(temp, m.size, &view)) {
      Discard(temp, target, targetHandle, created);
      return ResultWriteError;
    }
    result = WriteGuarded(write, m, view.data, progress, userValue, context);
    if (!platform::FlushMapped(&view) && result == ResultOk) result = ResultWriteError;
    platform::Unmap(&view);
  }
  if (result != ResultOk) {
    Discard(temp, target, targetHandle, created);
    return result;
  }

  platform::CloseFile(targetHandle);
  // One step: until it succeeds the old target is whole, and after it the new.
  if (!platform::ReplaceFile(temp, target)) {
    Discard<Char>(temp, target, -1, created);
    return ResultWriteError;
  }
  return ResultOk;
}

int OutputToMemory(const Member& m, void* destination, ProgressCallback progress,
                   SpiUserValue userValue, void* context, WriteMember write) {
  SpiHandle* slot = static_cast<SpiHandle*>(destination);
  if (!platform::IsWritable(slot, sizeof *slot)) return ResultMemoryError;
  SpiHandle block = platform::BlockAlloc(m.size > MinimumMemoryBlock ? m.size : MinimumMemoryBlock);
  if (!block) return ResultNoMemory;
  uint8_t* bytes = static_cast<uint8_t*>(platform::BlockLock(block));
  if (!bytes) {
    platform::BlockFree(block);
    return ResultMemoryError;
  }
  int result = WriteGuarded(write, m, bytes, progress, userValue, context);
  platform::BlockUnlock(block);
  if (result != ResultOk) {
    platform::BlockFree(block);
    *slot = nullptr;
    return result;
  }
  *slot = block;
  return ResultOk;
}

int LocateAndOutput(Member* m, bool wide, void* destination, unsigned flags,
                    ProgressCallback progress, SpiUserValue userValue, void* context,
                    LocateMember locate, WriteMember write) {
  memset(&m->name, 0, sizeof m->name);
  m->name.wideCall = wide;
  m->size = 0;
  int result = CallGuarded([&] { return locate(m->data, &m->name, &m->size, context); });
  if (result != ResultOk) return result;
  // Whatever the deliverable left there, the names end within their buffers.
  m->name.narrow[MemberNameSize - 1] = 0;
  m->name.wide[MemberNameSize - 1] = 0;
  switch ((flags & OutputKindMask) >> OutputKindShift) {
    case OutputFile:
      if (wide) {
        // A deliverable that wrote only the narrow name gets it widened.
        if (!m->name.wide[0] &&
            !platform::NarrowToUtf16(m->name.narrow, m->name.wide, MemberNameSize))
          return ResultWriteError;
        return OutputToFile(*m, static_cast<const SpiWChar*>(destination), progress, userValue,
                            context, write);
      }
      return OutputToFile(*m, static_cast<const char*>(destination), progress, userValue,
                          context, write);
    case OutputMemory:
      return OutputToMemory(*m, destination, progress, userValue, context, write);
    default:
      return ResultNotImplemented;
  }
}

}  // namespace

int ExtractMember(HostText source, SpiLength length, void* destination, unsigned flags,
                  ProgressCallback progress, SpiUserValue userValue, void* context,
                  LocateMember locate, WriteMember write) {
  if (progress && progress(0, 1, userValue) != 0) return ResultAborted;
  Member m;
  auto run = [&](DataRef data, uintptr_t) {
    m.data = data;
    return LocateAndOutput(&m, source.isWide, destination, flags, progress, userValue, context,
                           locate, write);
  };
  int result = WithInput(source, length, flags, MemoryLength::Ignored, run);
  if (result == ResultOk && progress) progress(1, 1, userValue);
  return result;
}

int CopyWithProgress(ByteView input, uint64_t sourceOffset, uint8_t* destination, uint32_t size,
                     uint32_t blockSize, ProgressCallback progress, SpiUserValue userValue) {
  if (!Has(input, sourceOffset, size)) return ResultBrokenData;
  const uint8_t* from = input.data + sourceOffset;
  if (blockSize == 0) blockSize = size ? size : 1;  // one block, reported once
  uint32_t done = 0;
  while (size - done >= blockSize) {
    memcpy(destination + done, from + done, blockSize);
    done += blockSize;
    if (progress && progress(static_cast<int>(done), static_cast<int>(size), userValue) != 0)
      return ResultAborted;
  }
  memcpy(destination + done, from + done, size - done);
  return ResultOk;
}
