// IsSupported's body, and the bounds of memory input.
#include <string.h>

#include "framework/callback.h"
#include "framework/framework.h"
#include "framework/input.h"
#include "platform/platform.h"

namespace {

constexpr uintptr_t HandleLimit = 0x10000;  // values below are handles, above pointers
constexpr int HeadBufferSize = 2048;

}  // namespace

// The interface passes memory input as a bare pointer. Its bound is the
// readable region that holds the pointer (platform::ReadableExtent): the whole
// of it is the input, so backward searches may go down to its start, and no
// read goes beyond its end. Unreadable pointers give an empty input.
DataRef MemoryInput(const void* source) {
  const uint8_t* begin;
  const uint8_t* end;
  if (!source || !platform::ReadableExtent(source, &begin, &end)) return DataRef{};
  const uint8_t* p = static_cast<const uint8_t*>(source);
  return DataRef{ByteView{begin, static_cast<size_t>(end - begin)},
                 static_cast<uint64_t>(p - begin)};
}

// The file input of one export call: the whole mapping, with the data pointer
// at the length argument (an offset that may lie beyond the file; the
// deliverables check it like any other offset).
DataRef FileInput(const platform::MappedFile& file, SpiLength length) {
  return DataRef{ByteView{file.data, file.size}, static_cast<uintptr_t>(length)};
}

// A test that throws has not recognised the file.
int RunFormatTest(uintptr_t dw, FormatTest test) {
  return CallOr(0, [&] {
    if (dw >= HandleLimit) {
      // The head of the file in the host's memory: the test may look as far as
      // memory stays readable from there.
      DataRef in = MemoryInput(reinterpret_cast<const void*>(dw));
      ByteView head = FromHere(in);
      return head.size ? test(head) : 0;
    }
    platform::MappedFile file;
    if (!platform::MapHostHandle(dw, &file)) return 0;
    // The view is released however the test ends.
    int result = CallOr(0, [&] { return test(ByteView{file.data, file.size}); });
    platform::Unmap(&file);
    return result;
  });
}

int RunFormatTest(uintptr_t dw, int headLength, FormatTest test) {
  return CallOr(0, [&] {
    if (headLength <= 0) return 0;
    if (headLength > HeadBufferSize) headLength = HeadBufferSize;
    if (dw >= HandleLimit) {
      DataRef in = MemoryInput(reinterpret_cast<const void*>(dw));
      ByteView head = FromHere(in);
      if (head.size < static_cast<size_t>(headLength)) return 0;
      return test(head);
    }
    // The test sees exactly the bytes that were read; the rest of the buffer
    // is cleared so that nothing of an earlier call can look like data.
    uint8_t buffer[HeadBufferSize];
    memset(buffer, 0, sizeof buffer);
    long got = platform::ReadHostHandle(dw, buffer, static_cast<uint32_t>(headLength));
    if (got <= 0) return 0;
    return test(ByteView{buffer, static_cast<size_t>(got)});
  });
}

bool MapHostFile(HostText path, platform::MappedFile* out) {
  return path.isWide ? platform::MapExisting(path.wide, out)
                     : platform::MapExisting(path.narrow, out);
}
