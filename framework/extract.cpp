// GetFile's body: the member goes to a temporary file that takes the target's
// name only once it is complete, or into a memory block the host then owns.
#include <string.h>

#include "framework/callback.h"
#include "framework/framework.h"
#include "framework/input.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t MinimumMemoryBlock = 2048;

struct Member {
  DataRef data;
  char name[MemberNameSize];
  uint32_t size;
};

int WriteGuarded(WriteMember write, const Member& m, uint8_t* destination,
                 ProgressCallback progress, SpiUserValue userValue, void* context) {
  return CallGuarded([&] { return write(m.data, destination, m.size, progress, userValue, context); });
}

// A failed extraction leaves the directory as it found it: no temporary file,
// and no target that did not exist before the call.
void Discard(const char* temp, const char* target, intptr_t targetHandle, bool targetCreated) {
  if (temp) platform::RemoveFile(temp);
  platform::CloseFile(targetHandle);
  if (targetCreated) platform::RemoveFile(target);
}

int OutputToFile(const Member& m, const char* directory, ProgressCallback progress,
                 SpiUserValue userValue, void* context, WriteMember write) {
  if (!StaysInDirectory(m.name)) return ResultWriteError;
  if (!directory || !EnsureDirectory(directory)) return ResultWriteError;
  char target[PathSize];
  strcpy(target, directory);  // EnsureDirectory has checked that it fits
  if (!AppendPathComponent(target, m.name, PathSize)) return ResultWriteError;

  intptr_t targetHandle;
  bool created;
  if (!platform::OpenExclusive(target, &targetHandle, &created)) return ResultWriteError;

  char temp[PathSize];
  if (!platform::CreateTempFile(directory, "SPI", temp, sizeof temp)) {
    Discard(nullptr, target, targetHandle, created);
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
    Discard(temp, target, -1, created);
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

int LocateAndOutput(Member* m, void* destination, unsigned flags, ProgressCallback progress,
                    SpiUserValue userValue, void* context, LocateMember locate,
                    WriteMember write) {
  memset(m->name, 0, sizeof m->name);
  m->size = 0;
  int result = CallGuarded([&] { return locate(m->data, m->name, &m->size, context); });
  if (result != ResultOk) return result;
  m->name[MemberNameSize - 1] = 0;  // whatever the deliverable left there
  switch ((flags & OutputKindMask) >> OutputKindShift) {
    case OutputFile:
      return OutputToFile(*m, static_cast<const char*>(destination), progress, userValue,
                          context, write);
    case OutputMemory:
      return OutputToMemory(*m, destination, progress, userValue, context, write);
    default:
      return ResultNotImplemented;
  }
}

}  // namespace

int ExtractMember(const char* source, SpiLength length, void* destination, unsigned flags,
                  ProgressCallback progress, SpiUserValue userValue, void* context,
                  LocateMember locate, WriteMember write) {
  if (progress && progress(0, 1, userValue) != 0) return ResultAborted;
  Member m;
  int result;
  switch (flags & InputKindMask) {
    case InputFile: {
      platform::MappedFile file;
      if (!platform::MapExisting(source, &file)) return ResultReadError;
      m.data = FileInput(file, length);
      result = LocateAndOutput(&m, destination, flags, progress, userValue, context, locate,
                               write);
      platform::Unmap(&file);
      break;
    }
    case InputMemory:
      m.data = MemoryInput(source);
      result = LocateAndOutput(&m, destination, flags, progress, userValue, context, locate,
                               write);
      break;
    default:
      return ResultNotImplemented;
  }
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
