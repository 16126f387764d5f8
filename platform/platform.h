// The only door to the operating system. Everything above this layer is
// written once; platform/win32 and platform/posix each implement this header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interface/spi_types.h"

namespace platform {

// ---- Files and mappings -------------------------------------------------

// A mapped file: the view, its length, and the two handles that keep it alive.
struct MappedFile {
  uint8_t* data = nullptr;
  size_t size = 0;
  void* mapping = nullptr;  // null when there is none
  intptr_t file = -1;       // -1 when there is none
};

// Opens an existing file read-only, shared with other readers, and maps all of it.
// An empty file cannot be mapped. On failure everything opened is closed again.
bool MapExisting(const char* path, MappedFile* out);
// Creates (replacing) a file of exactly size bytes (size > 0) and maps it for writing.
bool MapNew(const char* path, uint32_t size, MappedFile* out);
// Writes a view made by MapNew back to its file; false when that failed, so
// that a member is never reported written when its bytes did not reach the disk.
bool FlushMapped(const MappedFile* f);
// Unmaps the view, closes the mapping, closes the file, in that order.
void Unmap(MappedFile* f);
// Maps the whole file behind a host's open handle read-only, without closing or
// moving that handle. The handle stays the host's.
bool MapHostHandle(uintptr_t handle, MappedFile* out);
// Reads up to n bytes from a host's handle at its current position; -1 on failure.
long ReadHostHandle(uintptr_t handle, void* buffer, uint32_t n);

bool IsDirectory(const char* path);
bool MakeDirectory(const char* path);
bool RemoveFile(const char* path);
bool FileExists(const char* path);
// Opens or creates path for exclusive read/write without changing its contents.
// created tells whether the call made a new empty file.
bool OpenExclusive(const char* path, intptr_t* handle, bool* created);
void CloseFile(intptr_t handle);
// Creates a new empty file with a unique name beginning with prefix in dir.
bool CreateTempFile(const char* dir, const char* prefix, char* out, size_t capacity);
// Creates a new file as CreateTempFile does and writes data into it; false,
// with no file left behind, when any step failed (errno / the last error tells).
bool WriteTempFile(const char* dir, const char* prefix, const void* data, size_t size, char* out,
                   size_t capacity);
// Replaces target by source in one step (the old target survives any failure).
bool ReplaceFile(const char* source, const char* target);
// When path names an existing empty regular file, writes data into that same
// file (same inode) and returns 1, or truncates it back to 0 bytes and returns
// 0 when the write failed; returns -1, touching nothing, for any other path.
int FillEmptyFile(const char* path, const void* data, size_t size);

// The same calls for UTF-16 paths (the Unicode exports): the system's wide
// calls on Windows, the UTF-8 form of the path elsewhere. A path that has no
// such form (an unpaired surrogate on Linux) names no file.
bool MapExisting(const SpiWChar* path, MappedFile* out);
bool MapNew(const SpiWChar* path, uint32_t size, MappedFile* out);
bool IsDirectory(const SpiWChar* path);
bool MakeDirectory(const SpiWChar* path);
bool RemoveFile(const SpiWChar* path);
bool OpenExclusive(const SpiWChar* path, intptr_t* handle, bool* created);
// capacity in characters.
bool CreateTempFile(const SpiWChar* dir, const char* prefix, SpiWChar* out, size_t capacity);
bool WriteTempFile(const SpiWChar* dir, const char* prefix, const void* data, size_t size,
                   SpiWChar* out, size_t capacity);
bool ReplaceFile(const SpiWChar* source, const SpiWChar* target);

// ---- Memory blocks handed to the host (LocalAlloc family) ----------------

SpiHandle BlockAlloc(size_t size);  // movable and zero-initialised
// Grows or shrinks a block, zero-filling new bytes; null on failure (block unchanged).
SpiHandle BlockRealloc(SpiHandle h, size_t size);
void* BlockLock(SpiHandle h);
void BlockUnlock(SpiHandle h);
void BlockFree(SpiHandle h);

// Gives the rest of this thread's time slice to another thread (a waiting
// turn that needs no threading runtime).
void YieldThread();

// Sets *target to exchange when it holds comparand, as one indivisible step
// with a full barrier; answers what *target held before. (Interlocked on
// Windows, which XP has too; no threading runtime is needed.)
long CompareExchange(volatile long* target, long exchange, long comparand);

// ---- Memory that the host points us at ----------------------------------

// Records that size bytes at begin are readable memory this process made (a
// buffer or a mapping it hands to plug-ins), until ForgetKnownRegion(begin),
// which must come before that memory goes. Bounds of memory input inside such a
// region are then taken from the record, with no question to the system. False
// where nothing is recorded (Windows asks the system, as before; a full table).
bool RecordKnownRegion(const void* begin, size_t size);
void ForgetKnownRegion(const void* begin);

// The readable region that holds p: contiguous readable pages around it.
// Used to bound memory input, for which the interface passes no length.
bool ReadableExtent(const void* p, const uint8_t** begin, const uint8_t** end);
// True when every byte of [from, to) is writable memory: each system's own check.
bool IsWritableRange(uintptr_t from, uintptr_t to);
// True when n bytes at p (at least one) are writable memory.
inline bool IsWritable(const void* p, size_t n) {
  if (!p) return false;
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  if (n == 0) n = 1;
  return a <= UINTPTR_MAX - n && IsWritableRange(a, a + n);
}
// Pages of readable, writable, zeroed memory with an inaccessible page on each
// side; *data is placed so that its size bytes end right at the guard after it.
bool AllocateGuarded(size_t size, void** region, size_t* regionSize, uint8_t** data);
// The size of a page of memory, as AllocateGuarded lays out its regions.
size_t PageSize();
void FreeGuarded(void* region, size_t regionSize);

// ---- Text ----------------------------------------------------------------

// True when c begins a double-byte character of the narrow code page.
bool IsLeadByte(uint8_t c);
// The directory separator of paths ('\\' on Windows, '/' elsewhere).
char PathSeparator();
// Also a separator when searching backwards ("C:name" on Windows).
bool IsPathSeparator(char c);
// Compares two narrow texts; only equality is meaningful to callers.
int CompareText(const char* a, const char* b, bool ignoreCase);
// Converts UTF-16 code units to the narrow code page (ANSI on Windows, UTF-8
// elsewhere). Writes at most capacity bytes, no terminator; returns the count.
size_t Utf16ToNarrow(const uint16_t* units, size_t count, char* out, size_t capacity);
// Converts a terminated narrow text to UTF-16 with its terminator; false (out
// emptied) when it does not fit capacity characters or is not valid text.
bool NarrowToUtf16(const char* text, SpiWChar* out, size_t capacity);
// Compares two UTF-16 texts as CompareText compares narrow ones.
int CompareText(const SpiWChar* a, const SpiWChar* b, bool ignoreCase);

// ---- Libraries -------------------------------------------------------------

void* OpenLibrary(const char* path);
void* FindSymbol(void* library, const char* name);
void CloseLibrary(void* library);
// The full path of the library that holds address; false when unknown.
bool ModulePath(const void* address, char* out, size_t capacity);

// ---- Registry (HKEY_CURRENT_USER; a REGEDIT4 text file on Linux) -----------

// True only when the value exists and is a 32-bit number (REG_DWORD).
bool RegistryReadDword(const char* subKey, const char* name, uint32_t* value);
// True only when the value exists, is a string (REG_SZ) and fits capacity with
// its terminating zero.
bool RegistryReadString(const char* subKey, const char* name, char* out, size_t capacity);
// Creates the key if needed; false when the value could not be stored.
bool RegistryWriteDword(const char* subKey, const char* name, uint32_t value);
// Removes the value; true when it is gone (also when it was never there).
bool RegistryDeleteValue(const char* subKey, const char* name);

// ---- User interface -----------------------------------------------------------

// A warning with an OK button and the exclamation icon, owned by parent
// (on Linux: a line on standard error).
void ShowWarning(SpiWindow parent, const char* text, const char* caption);

}  // namespace platform
