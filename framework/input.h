// How each kind of input becomes a DataRef, and the one switch on the input
// kind that every export's operation runs its work through.
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "framework/framework.h"
#include "platform/platform.h"

// What the length argument means for memory input. The archive calls ignore
// it: the data reaches as far as memory stays readable. The picture calls take
// a length above 0 as the data's size.
enum class MemoryLength { Ignored, Bounds };

// Memory input: the readable region around source, with at = source's offset in it.
DataRef MemoryInput(const void* source);
// Memory input of a picture call: exactly length bytes at source when length
// is above 0, else as MemoryInput; nothing for a negative length.
DataRef BoundedMemoryInput(const void* source, SpiLength length);
// File input: the whole mapping, with at = the length argument.
DataRef FileInput(const platform::MappedFile& file, SpiLength length);

// Runs work(data, baseOffset) over the input that source, length and flags
// name; baseOffset is where the data starts in the file (0 for memory input).
// ResultReadError when the file cannot be mapped, ResultNotImplemented for an
// input kind other than file or memory. The mapping lasts for the call.
template <typename Work>
int WithInput(HostText source, SpiLength length, unsigned flags, MemoryLength memory, Work work) {
  switch (flags & InputKindMask) {
    case InputFile: {
      platform::MappedFile file;
      if (!MapHostFile(source, &file)) return ResultReadError;
      int result = work(FileInput(file, length), static_cast<uintptr_t>(length));
      platform::Unmap(&file);
      return result;
    }
    case InputMemory:
      return work(memory == MemoryLength::Bounds ? BoundedMemoryInput(source.Address(), length)
                                                 : MemoryInput(source.Address()),
                  uintptr_t{0});
    default:
      return ResultNotImplemented;
  }
}
