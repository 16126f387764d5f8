// The plug-in interface: everything that crosses between a host and a plug-in.
// Public header, usable from C++ hosts on both builds.
//
// Two interfaces, told apart by the pointer width (records below):
// - 32-bit Windows (<Name>.spi): exports are __stdcall, exported under their
//   plain names; all integers 32 bits.
// - 64-bit Windows (<Name>.sph; <Name>.spha on ARM64) and Linux: the 64-bit interface. The
//   length/offset argument, IsSupported's second argument and the progress
//   user value are pointer-sized; the record integers are 64 bits.
// Handles are HLOCAL blocks on Windows (LocalLock / LocalSize / LocalUnlock /
// LocalFree).
//
// Native (Linux): the same export names with C linkage and the platform's
// default calling convention. A file handle given to IsSupported is a POSIX
// file descriptor. A memory block handed to the host is a malloc'ed region that
// starts with an SpiBlockHeader; the data follows the header. A host uses the
// helpers below on both builds: SpiLockBlock gives the data address,
// SpiBlockSize its length, SpiUnlockBlock undoes a lock, SpiFreeBlock frees it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

// SpiHandle, SpiWindow, SpiUserValue, SpiWChar, SpiLength, SpiBlockHeader.
#include "interface/spi_types.h"

#ifdef _WIN32
#include <windows.h>
#define SPI_CALL __stdcall
#else
#define SPI_CALL
#endif

#ifdef __cplusplus
#define SPI_EXTERN_C extern "C"
#else
#define SPI_EXTERN_C
#endif

#ifdef _WIN32
#define SPI_EXPORT SPI_EXTERN_C
#else
#define SPI_EXPORT SPI_EXTERN_C __attribute__((visibility("default")))
#endif

// Result codes of every export but GetPluginInfo, IsSupported and the setting getters.
enum SpiResult {
  ResultOk = 0,
  ResultAborted = 1,
  ResultNotSupported = 2,
  ResultBrokenData = 3,
  ResultNoMemory = 4,
  ResultMemoryError = 5,
  ResultReadError = 6,
  ResultInternalError = 8,
  ResultWriteError = 9,
  ResultNotImplemented = -1,
};

// Flag word: input kind in bits 0-2, IgnoreCase in bit 7, output kind in bits 8-10.
enum SpiFlags {
  InputKindMask = 0x7,
  InputFile = 0,
  InputMemory = 1,
  IgnoreCase = 0x80,
  OutputKindMask = 0x700,
  OutputKindShift = 8,
  OutputFile = 0,
  OutputMemory = 1,
};

// Two layouts of the records, one per interface width. 32-bit Windows keeps
// the original packed records; every 64-bit build (Windows .sph and Linux)
// uses the layout that 64-bit hosts read: 64-bit record integers, and the
// records padded to a multiple of 8 with zero bytes.
#if defined(_WIN32) && !defined(_WIN64)
#define SPI_INTERFACE_32 1
#else
#define SPI_INTERFACE_32 0
#endif

// The file name extension of a plug-in of this interface: native ARM64 hosts
// look for .spha, the other 64-bit Windows hosts for .sph.
#if defined(_WIN32) && !SPI_INTERFACE_32 && (defined(__aarch64__) || defined(_M_ARM64))
#define SPI_WINDOWS_ARM64 1
#define SPI_PLUGIN_SUFFIX ".spha"
#elif defined(_WIN32) && !SPI_INTERFACE_32
#define SPI_PLUGIN_SUFFIX ".sph"
#else
#define SPI_PLUGIN_SUFFIX ".spi"
#endif

#pragma pack(push, 1)
#if SPI_INTERFACE_32
// 32-bit interface: fileInfo 428 bytes, PictureInfo 26, packed.
typedef uint32_t SpiRecordInt;
struct fileInfo {
  unsigned char method[8];
  uint32_t position;
  uint32_t compsize;
  uint32_t filesize;
  uint32_t timestamp;
  char path[200];
  char filename[200];
  uint32_t crc;
};
// The record of the Unicode listing: 828 bytes.
struct fileInfoW {
  unsigned char method[8];
  uint32_t position;
  uint32_t compsize;
  uint32_t filesize;
  uint32_t timestamp;
  SpiWChar path[200];
  SpiWChar filename[200];
  uint32_t crc;
};
struct PictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t x_density;
  uint16_t y_density;
  int16_t colorDepth;
  SpiHandle hInfo;
};
#else
// 64-bit interface: fileInfo 448 bytes, PictureInfo 32.
typedef uint64_t SpiRecordInt;
struct fileInfo {
  unsigned char method[8];
  uint64_t position;
  uint64_t compsize;
  uint64_t filesize;
  uint64_t timestamp;
  char path[200];
  char filename[200];
  uint32_t crc;
  uint32_t reserved;  // always 0
};
// The record of the Unicode listing: 848 bytes.
struct fileInfoW {
  unsigned char method[8];
  uint64_t position;
  uint64_t compsize;
  uint64_t filesize;
  uint64_t timestamp;
  SpiWChar path[200];
  SpiWChar filename[200];
  uint32_t crc;
  uint32_t reserved;  // always 0
};
struct PictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t x_density;
  uint16_t y_density;
  int16_t colorDepth;
  int16_t reserved;  // always 0
  SpiHandle hInfo;
};
#endif
#pragma pack(pop)

#ifdef __cplusplus
#if SPI_INTERFACE_32
static_assert(sizeof(fileInfo) == 428 && offsetof(fileInfo, position) == 8 &&
                  offsetof(fileInfo, timestamp) == 20 && offsetof(fileInfo, path) == 24 &&
                  offsetof(fileInfo, filename) == 224 && offsetof(fileInfo, crc) == 424,
              "32-bit fileInfo layout");
static_assert(sizeof(fileInfoW) == 828 && offsetof(fileInfoW, path) == 24 &&
                  offsetof(fileInfoW, filename) == 424 && offsetof(fileInfoW, crc) == 824,
              "32-bit fileInfoW layout");
static_assert(sizeof(PictureInfo) == 26 && offsetof(PictureInfo, colorDepth) == 20 &&
                  offsetof(PictureInfo, hInfo) == 22,
              "32-bit PictureInfo layout");
#else
static_assert(sizeof(SpiWChar) == 2, "UTF-16 code units");
static_assert(sizeof(void*) == 8, "the 64-bit interface needs 64-bit pointers");
static_assert(sizeof(fileInfo) == 448 && offsetof(fileInfo, position) == 8 &&
                  offsetof(fileInfo, compsize) == 16 && offsetof(fileInfo, filesize) == 24 &&
                  offsetof(fileInfo, timestamp) == 32 && offsetof(fileInfo, path) == 40 &&
                  offsetof(fileInfo, filename) == 240 && offsetof(fileInfo, crc) == 440 &&
                  offsetof(fileInfo, reserved) == 444,
              "64-bit fileInfo layout");
static_assert(sizeof(fileInfoW) == 848 && offsetof(fileInfoW, path) == 40 &&
                  offsetof(fileInfoW, filename) == 440 && offsetof(fileInfoW, crc) == 840 &&
                  offsetof(fileInfoW, reserved) == 844,
              "64-bit fileInfoW layout");
static_assert(sizeof(PictureInfo) == 32 && offsetof(PictureInfo, colorDepth) == 20 &&
                  offsetof(PictureInfo, reserved) == 22 && offsetof(PictureInfo, hInfo) == 24,
              "64-bit PictureInfo layout");
#endif
#endif

// The host's progress callback: non-zero asks the plug-in to stop.
typedef int(SPI_CALL* ProgressCallback)(int done, int total, SpiUserValue userValue);

// Export signatures, for hosts that bind them by name.
typedef int(SPI_CALL* GetPluginInfoFn)(int index, char* buffer, int bufferLength);
typedef int(SPI_CALL* IsSupportedFn)(const char* fileName, uintptr_t dw);
typedef int(SPI_CALL* GetArchiveInfoFn)(const char* source, SpiLength length, unsigned flags,
                                        SpiHandle* handleSlot);
typedef int(SPI_CALL* GetFileInfoFn)(const char* source, SpiLength length, const char* name,
                                     unsigned flags, fileInfo* record);
typedef int(SPI_CALL* GetFileFn)(const char* source, SpiLength length, void* destination,
                                 unsigned flags, ProgressCallback progress,
                                 SpiUserValue userValue);
typedef int(SPI_CALL* GetPictureInfoFn)(const char* input, SpiLength position, unsigned flags,
                                        PictureInfo* info);
typedef int(SPI_CALL* GetPictureFn)(const char* input, SpiLength position, unsigned flags,
                                    SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                    ProgressCallback progress, SpiUserValue userValue);

// The Unicode forms: the same behaviour with UTF-16 file names, member names
// and information strings (bufferLength in characters). A listing made by
// GetArchiveInfoW is an array of fileInfoW records; memory input is the same
// bytes as for the ANSI forms.
typedef int(SPI_CALL* GetPluginInfoWFn)(int index, SpiWChar* buffer, int bufferLength);
typedef int(SPI_CALL* IsSupportedWFn)(const SpiWChar* fileName, uintptr_t dw);
typedef int(SPI_CALL* GetArchiveInfoWFn)(const SpiWChar* source, SpiLength length,
                                         unsigned flags, SpiHandle* handleSlot);
typedef int(SPI_CALL* GetFileInfoWFn)(const SpiWChar* source, SpiLength length,
                                      const SpiWChar* name, unsigned flags, fileInfoW* record);
typedef int(SPI_CALL* GetFileWFn)(const SpiWChar* source, SpiLength length, void* destination,
                                  unsigned flags, ProgressCallback progress,
                                  SpiUserValue userValue);
typedef int(SPI_CALL* GetPictureInfoWFn)(const SpiWChar* input, SpiLength position,
                                         unsigned flags, PictureInfo* info);
typedef int(SPI_CALL* GetPictureWFn)(const SpiWChar* input, SpiLength position, unsigned flags,
                                     SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                     ProgressCallback progress, SpiUserValue userValue);
typedef int(SPI_CALL* ConfigurationDlgFn)(SpiWindow parent, int function);
typedef int(SPI_CALL* GetSettingFn)(void);

// ---- An optional export of image plug-ins: the picture as it is shown ----
//
// GetPictureAlpha(input, position, flags, options, infoHandle, bitsHandle,
//                 progress, userValue)
//
// Takes the same input, flags and progress callback as GetPicture, chooses the
// same picture, and hands it over the same way (two movable blocks, unlocked,
// owned by the host afterwards; null handles and no block left on failure), but
// always as what the picture looks like on screen:
//
// - The information block is a 40-byte bitmap information header with bit
//   count 32, compression 0 (BI_RGB), no palette, positive height; the bits
//   block holds height rows of width * 4 bytes, bottom row first, each pixel
//   blue, green, red, alpha, alpha straight (not premultiplied).
// - Alpha is what Windows draws: a picture of 1 to 24 bits takes it from its
//   transparency mask (transparent where the mask bit is 1); a 32-bit picture
//   keeps its own alpha, and takes the mask only when every alpha byte is 0.
//   Transparent pixels keep the colour the picture stores.
// - With SpiKeepEncoded in options, a picture that is stored encoded (an icon
//   image stored as PNG) comes as its file exactly as stored: the information
//   block's compression is SpiCompressionPng (BI_PNG), its image size field
//   and the bits block's length are the file's length, and the bits block holds
//   the file's bytes. Every other picture comes as pixels, as above.
//
// GetPicture is unchanged by this export: it still hands over the picture's
// own bit depth and palette. Hosts find GetPictureAlpha by name and fall back
// on GetPicture where a plug-in lacks it. Other option bits are ignored.
enum SpiPictureAlphaOptions {
  SpiKeepEncoded = 1,
};
#define SpiCompressionPng 5u
typedef int(SPI_CALL* GetPictureAlphaFn)(const char* input, SpiLength position, unsigned flags,
                                         unsigned options, SpiHandle* infoHandle,
                                         SpiHandle* bitsHandle, ProgressCallback progress,
                                         SpiUserValue userValue);
typedef int(SPI_CALL* GetPictureAlphaWFn)(const SpiWChar* input, SpiLength position,
                                          unsigned flags, unsigned options,
                                          SpiHandle* infoHandle, SpiHandle* bitsHandle,
                                          ProgressCallback progress, SpiUserValue userValue);

// Host-side helpers for the blocks a plug-in hands over.
static inline void* SpiLockBlock(SpiHandle h) {
#ifdef _WIN32
  return LocalLock((HLOCAL)h);
#else
  if (!h) return NULL;
  struct SpiBlockHeader* b = (struct SpiBlockHeader*)h;
  b->locks++;
  return (void*)(b + 1);
#endif
}
static inline void SpiUnlockBlock(SpiHandle h) {
#ifdef _WIN32
  LocalUnlock((HLOCAL)h);
#else
  struct SpiBlockHeader* b = (struct SpiBlockHeader*)h;
  if (b && b->locks) b->locks--;
#endif
}
static inline size_t SpiBlockSize(SpiHandle h) {
#ifdef _WIN32
  return LocalSize((HLOCAL)h);
#else
  return h ? (size_t)((struct SpiBlockHeader*)h)->size : 0;
#endif
}
static inline void SpiFreeBlock(SpiHandle h) {
#ifdef _WIN32
  LocalFree((HLOCAL)h);
#else
  if (h) {
    ((struct SpiBlockHeader*)h)->magic = 0;
    free(h);
  }
#endif
}
