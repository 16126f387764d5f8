// Framework operations that every deliverable plugs into with its own
// callbacks and a context record. Exports are thin: each gathers its
// arguments and calls exactly one of these, returning its result unchanged.
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "framework/spi.h"
#include "platform/platform.h"

// ---- Information strings ---------------------------------------------------

// Copies string number index (0..highIndex) into buffer, cut to bufferLength - 1
// characters and terminated; returns the number of characters copied, or 0
// without touching the buffer for an index out of range.
int CopyInfoString(int index, char* buffer, int bufferLength, const char* const* strings,
                   int highIndex);
// The same for GetPluginInfoW: the strings widened, bufferLength in characters.
int CopyInfoString(int index, SpiWChar* buffer, int bufferLength, const char* const* strings,
                   int highIndex);

// ---- Texts from the host -------------------------------------------------------

// A file name (or, for memory input, the data's address) as a host passed it:
// narrow from the plain exports, UTF-16 from the Unicode (W) ones. The
// operations below take it as it is and keep the form for what they write.
struct HostText {
  const char* narrow = nullptr;
  const SpiWChar* wide = nullptr;
  bool isWide = false;
  HostText(const char* s) : narrow(s) {}
  HostText(const SpiWChar* s) : wide(s), isWide(true) {}
  const char* Address() const {
    return isWide ? reinterpret_cast<const char*>(wide) : narrow;
  }
};
// Maps the file that path names, in whichever form it came.
bool MapHostFile(HostText path, platform::MappedFile* out);

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

// The UTF-16 names of the entry being filled in a Unicode call.
struct WideNames {
  SpiWChar path[200];
  SpiWChar filename[200];
};

// Deliverables fill a narrow fileInfo for every entry. In a Unicode call
// (wide) that record is scratch: at commit its numbers and names go into a
// fileInfoW, the names from WideNames where the deliverable wrote them there
// and widened from the narrow fields where it left WideNames empty.
struct EntryTable {
  int mode = 0;
  uintptr_t baseOffset = 0;
  fileInfo* current = nullptr;
  bool wide = false;
  fileInfo scratch{};
  WideNames names{};
  // List mode.
  uint32_t capacity = 0;
  uint32_t count = 0;
  SpiHandle block = nullptr;
  fileInfo* records = nullptr;       // narrow list
  fileInfoW* wideRecords = nullptr;  // Unicode list
  // Lookup mode.
  const char* name = nullptr;
  const SpiWChar* wideName = nullptr;
  bool ignoreCase = false;
  fileInfoW* wideRecord = nullptr;
};

int OpenEntryList(EntryTable* table, uintptr_t baseOffset, bool wide = false);
void CloseEntryList(EntryTable* table, int result);
int ReserveEntries(EntryTable* table, uint32_t n);
int AcquireEntry(EntryTable* table, fileInfo** entry);
// 0 to go on, 1 when a lookup found its entry, or an error code.
int CommitEntry(EntryTable* table);
// Where a deliverable whose names may leave ASCII writes the UTF-16 names of
// the acquired entry; null in a narrow call, where the narrow fields are all.
WideNames* EntryWideNames(EntryTable* table);

// Walks a deliverable's format and reports every member through the table.
using ListEntriesCallback = int (*)(DataRef data, EntryTable* table);

int BuildArchiveInfo(HostText source, SpiLength length, unsigned flags, SpiHandle* handleSlot,
                     ListEntriesCallback callback);
// notFound: the deliverable's code for a name that no entry bears (6 or 2).
int LookupFileInfo(HostText source, SpiLength length, const char* name, unsigned flags,
                   fileInfo* record, ListEntriesCallback callback, int notFound);
int LookupFileInfo(HostText source, SpiLength length, const SpiWChar* name, unsigned flags,
                   fileInfoW* record, ListEntriesCallback callback, int notFound);

// ---- Member extraction -----------------------------------------------------------

constexpr int MemberNameSize = 200;
constexpr int PathSize = 260;

// A member's output file name, zero-terminated. Deliverables write narrow; in
// a Unicode call (wideCall) one whose names may leave ASCII writes wide
// instead, and a narrow name left alone is widened.
struct MemberName {
  char narrow[MemberNameSize];
  SpiWChar wide[MemberNameSize];
  bool wideCall;
};

// Finds the member from data; stores its bare output file name and its output size.
using LocateMember = int (*)(DataRef data, MemberName* name, uint32_t* outputSize,
                             void* context);
// Writes exactly size bytes of the member into destination.
using WriteMember = int (*)(DataRef data, uint8_t* destination, uint32_t size,
                            ProgressCallback progress, SpiUserValue userValue, void* context);

// destination is a directory in the form of source, or a handle slot.
int ExtractMember(HostText source, SpiLength length, void* destination, unsigned flags,
                  ProgressCallback progress, SpiUserValue userValue, void* context,
                  LocateMember locate, WriteMember write);

// Copies size bytes from offset sourceOffset of input to destination in blocks,
// reporting (bytes so far, size) after each full block. ResultBrokenData when the
// source bytes do not all lie within input; ResultAborted when progress says stop.
int CopyWithProgress(ByteView input, uint64_t sourceOffset, uint8_t* destination, uint32_t size,
                     uint32_t blockSize, ProgressCallback progress, SpiUserValue userValue);

// ---- Path primitives -----------------------------------------------------------------
// For narrow texts (lead bytes are stepped over) and UTF-16 ones (Char is char
// or SpiWChar); lengths and capacities in characters.

template <class Char>
const Char* LastCharPointer(const Char* s);
template <class Char>
int FindLastSeparator(const Char* s);
template <class Char>
bool CreateDirectoryChain(Char* path, int n);
template <class Char>
bool EnsureDirectory(const Char* path);
template <class Char>
bool AppendPathComponent(Char* path, const Char* name, int capacity);
// False for a member name that would lead outside the destination directory
// (an absolute path, a drive, or a ".." component).
template <class Char>
bool StaysInDirectory(const Char* name);
