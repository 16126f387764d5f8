// How each kind of input becomes a DataRef (used by the archive operations).
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "platform/platform.h"

// Memory input: the readable region around source, with at = source's offset in it.
DataRef MemoryInput(const void* source);
// File input: the whole mapping, with at = the length argument.
DataRef FileInput(const platform::MappedFile& file, SpiLength length);
