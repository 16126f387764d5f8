/* The basic types of the plug-in interface, apart from its records and
 * exports (framework/spi.h), so that the platform layer below the framework
 * can speak of handles, windows and UTF-16 text too. C and C++. */
#pragma once

#include <stddef.h>
#include <stdint.h>

/* A movable memory block handed to the host (HLOCAL on Windows). */
typedef void* SpiHandle;
/* A window handle (HWND on Windows; opaque, may be null, elsewhere). */
typedef void* SpiWindow;
/* The user value of the progress callback (LONG on Windows). */
typedef intptr_t SpiUserValue;

/* A UTF-16 code unit: the character of the Unicode exports (names ending in W). */
#if defined(_WIN32)
typedef wchar_t SpiWChar;
#elif defined(__cplusplus)
typedef char16_t SpiWChar;
#else
typedef uint16_t SpiWChar;
#endif

/* The length/offset argument of the archive and picture calls: pointer-sized
 * and signed (LONG_PTR), so 32 bits in the 32-bit interface. */
typedef intptr_t SpiLength;

#ifndef _WIN32
/* Native memory blocks: header, then data. Blocks never move once allocated,
 * so a lock is only counted; the alignment keeps the data 16-byte aligned. */
struct SpiBlockHeader {
  uint64_t magic; /* SpiBlockMagic while the block is alive */
  uint64_t size;  /* bytes of data behind the header */
  uint32_t locks;
  uint32_t reserved[3];
};
#define SpiBlockMagic 0x4B434F4C42495053ull /* "SPIBLOCK" */
#endif
