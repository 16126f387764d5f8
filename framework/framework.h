// Framework operations that every deliverable plugs into with its own
// callbacks and a context record. Exports are thin: each gathers its
// arguments and calls exactly one of these, returning its result unchanged.
#pragma once

#include <cstdint>

#include "framework/bytes.h"
#include "framework/spi.h"

// ---- Information strings ---------------------------------------------------

// Copies string number index (0..highIndex) into buffer, cut to bufferLength - 1
// characters and terminated; returns the number of characters copied, or 0
// without touching the buffer for an index out of range.
int CopyInfoString(int index, char* buffer, int bufferLength, const char* const* strings,
                   int highIndex);

// ---- Input -------------------------------------------------------------------

// A deliverable's format test: non-zero when the bytes at head.data are of its
// format. head runs from the file's first byte to the end of what may be read.
using FormatTest = int (*)(ByteView head);

// IsSupported's body: dw is a host file handle when its upper 16 bits are 0,
// else a pointer to the file's first bytes.
int RunFormatTest(uintptr_t dw, FormatTest test);
// The head-reading form: reads headLength bytes (at most 2048) from a handle,
// or requires headLength readable bytes at a pointer.
int RunFormatTest(uintptr_t dw, int headLength, FormatTest test);


// ---- Archive entry table -------------------------------------------------------

enum EntryTableMode { EntryListMode = 1, EntryLookupMode = 2 };

struct EntryTable {
  int mode = 0;
  uintptr_t baseOffset = 0;
  fileInfo* current = nullptr;
  // List mode.
  uint32_t capacity = 0;
  uint32_t count = 0;
  SpiHandle block = nullptr;
  fileInfo* records = nullptr;
  // Lookup mode.
  const char* name = nullptr;
  bool ignoreCase = false;
};

int OpenEntryList(EntryTable* table, uintptr_t baseOffset);
void CloseEntryList(EntryTable* table, int result);
int ReserveEntries(EntryTable* table, uint32_t n);
int AcquireEntry(EntryTable* table, fileInfo** entry);
// 0 to go on, 1 when a lookup found its entry, or an error code.
int CommitEntry(EntryTable* table);

// Walks a deliverable's format and reports every member through the table.
using ListEntriesCallback = int (*)(DataRef data, EntryTable* table);

int BuildArchiveInfo(const char* source, SpiLength length, unsigned flags, SpiHandle* handleSlot,
                     ListEntriesCallback callback);
// notFound: the deliverable's code for a name that no entry bears (6 or 2).
int LookupFileInfo(const char* source, SpiLength length, const char* name, unsigned flags,
                   fileInfo* record, ListEntriesCallback callback, int notFound);

// ---- Member extraction -----------------------------------------------------------

constexpr int MemberNameSize = 200;
constexpr int PathSize = 260;

// Finds the member from data; stores its bare output file name (zero-terminated,
// at most MemberNameSize bytes with the zero) and its output size.
using LocateMember = int (*)(DataRef data, char* name, uint32_t* outputSize, void* context);
// Writes exactly size bytes of the member into destination.
using WriteMember = int (*)(DataRef data, uint8_t* destination, uint32_t size,
                            ProgressCallback progress, SpiUserValue userValue, void* context);

int ExtractMember(const char* source, SpiLength length, void* destination, unsigned flags,
                  ProgressCallback progress, SpiUserValue userValue, void* context,
                  LocateMember locate, WriteMember write);

// Copies size bytes from offset sourceOffset of input to destination in blocks,
// reporting (bytes so far, size) after each full block. ResultBrokenData when the
// source bytes do not all lie within input; ResultAborted when progress says stop.
int CopyWithProgress(ByteView input, uint64_t sourceOffset, uint8_t* destination, uint32_t size,
                     uint32_t blockSize, ProgressCallback progress, SpiUserValue userValue);

// ---- Path primitives (narrow texts; lead bytes are stepped over) --------------------

const char* LastCharPointer(const char* s);
int FindLastSeparator(const char* s);
bool IsDirectory(const char* path);
bool CreateDirectoryChain(char* path, int n);
bool EnsureDirectory(const char* path);
bool AppendPathComponent(char* path, const char* name, int capacity);
// False for a member name that would lead outside the destination directory
// (an absolute path, a drive, or a ".." component).
bool StaysInDirectory(const char* name);
