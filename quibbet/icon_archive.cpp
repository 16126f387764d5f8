// Listing and extraction of the images of an icon or cursor file.
#include <cstring>

#include "framework/decimal.h"
#include "quibbet/quibbet.h"

namespace {

// Bytes 18..21: the image offset of entry 0, which must follow the directory.
constexpr uint64_t FirstImageOffsetAt = IconDirEntryOffset(0) + IconDirEntryField::ImageOffset;

// The checks both tests share once the header is known to be readable.
bool HasIconType(const IconHeader& h) {
  return h.reserved == 0 && (h.type == IconTypeIcon || h.type == IconTypeCursor);
}

bool DirectoryFollowedByImages(ByteView head, uint16_t count) {
  uint64_t directoryEnd = IconDirEntryOffset(count);
  if (!Has(head, IconHeaderSize, directoryEnd - IconHeaderSize)) return false;
  uint32_t firstImage;
  if (!ReadLe32(head, FirstImageOffsetAt, &firstImage)) return false;
  return firstImage == directoryEnd;
}

}  // namespace

int TestIconArchive(ByteView head) {
  IconHeader h;
  if (!HasIconFileHeader(head) || !ReadIconHeader(head, 0, &h)) return 0;
  // The user may have given every icon file to Morvane as a picture.
  if (!IconFilesAreArchives()) return 0;
  // One image is a picture for Morvane, never an archive.
  if (h.count < 2) return 0;
  if (!DirectoryFollowedByImages(head, h.count)) return 0;
  return h.type;
}

bool PassesIconListingTest(ByteView head, IconHeader* header) {
  if (!ReadIconHeader(head, 0, header)) return false;
  if (!HasIconType(*header)) return false;
  return DirectoryFollowedByImages(head, header->count);
}

void IconMemberName(uint32_t index, const IconDirEntry& entry, uint16_t type,
                    char name[MemberNameSize]) {
  const char* extension = type == IconTypeCursor ? ".CUR" : ".ICO";
  // "#00001.ICO", "32x32x16.ICO" or "32x32.ICO": at most 30 characters.
  char* p = name;
  if (!MembersNamedBySize()) {
    *p++ = '#';
    p = PutDecimal(p, uint64_t{index} + 1, 5);
  } else {
    p = PutDecimal(p, entry.width);
    *p++ = 'x';
    p = PutDecimal(p, entry.height);
    if (entry.colorCount != 0) {
      *p++ = 'x';
      p = PutDecimal(p, entry.colorCount);
    }
  }
  PutText(p, extension);
}

namespace {

uint32_t SingleFileSize(uint32_t byteSize) {
  // A byte size this large cannot be extracted anyway; do not let it wrap to a small size.
  if (byteSize > UINT32_MAX - IconSingleFileHeaderSize) return UINT32_MAX;
  return byteSize + IconSingleFileHeaderSize;
}

void FillMemberRecord(fileInfo* record, uint32_t index, const IconDirEntry& entry,
                      uint16_t type) {
  std::memset(record, 0, sizeof *record);
  const char* method = type == IconTypeCursor ? "CURSOR" : "ICON";
  std::memcpy(record->method, method, std::strlen(method));
  record->position = static_cast<uint32_t>(IconDirEntryOffset(index));
  record->compsize = entry.byteSize;
  record->filesize = SingleFileSize(entry.byteSize);
  IconMemberName(index, entry, type, record->filename);
}

}  // namespace

int ListIconImages(DataRef data, EntryTable* table) {
  ByteView head = FromHere(data);
  IconHeader h;
  if (!PassesIconListingTest(head, &h)) return ResultBrokenData;
  int result = ReserveEntries(table, h.count);
  if (result != ResultOk) return result;
  for (uint32_t i = 0; i < h.count; ++i) {
    IconDirEntry entry;
    ReadIconDirEntry(head, IconDirEntryOffset(i), &entry);  // the listing test saw it within
    fileInfo* record = nullptr;
    result = AcquireEntry(table, &record);
    if (result != 0) return result;
    FillMemberRecord(record, i, entry, h.type);
    result = CommitEntry(table);
    if (result != 0) return result;
  }
  return ResultOk;
}

int PrepareIconImage(DataRef data, MemberName* name, uint32_t* outputSize, void* context) {
  IconExtraction* x = static_cast<IconExtraction*>(context);
  const ByteView input = data.input;
  const uint64_t entryAt = data.at;
  if (entryAt < IconHeaderSize) return ResultBrokenData;

  // The header lies a whole number of entries before the entry; search back for
  // the nearest candidate that passes, never before the start of the input.
  uint64_t candidate = entryAt - IconHeaderSize;
  uint16_t type = 0;
  while (Has(input, candidate, IconHeaderSize)) {
    type = static_cast<uint16_t>(TestIconArchive(Tail(input, candidate)));
    if (type != 0 || candidate < IconDirEntrySize) break;
    candidate -= IconDirEntrySize;
  }
  if (type == 0) return ResultBrokenData;

  IconHeader h;
  ReadIconHeader(input, candidate, &h);
  const uint64_t index = (entryAt - candidate - IconHeaderSize) / IconDirEntrySize;
  // A position past the directory names no member: its "entry" would be image bytes.
  if (index >= h.count) return ResultBrokenData;

  IconDirEntry entry;
  ReadIconDirEntry(input, entryAt, &entry);  // inside the directory the test saw within
  // The image block must lie within the input before any output exists.
  if (candidate > UINT64_MAX - entry.imageOffset ||
      !Has(input, candidate + entry.imageOffset, entry.byteSize))
    return ResultBrokenData;
  if (entry.byteSize > UINT32_MAX - IconSingleFileHeaderSize) return ResultBrokenData;

  x->headerAt = candidate;
  x->type = type;
  x->entry = entry;
  *outputSize = entry.byteSize + IconSingleFileHeaderSize;
  IconMemberName(static_cast<uint32_t>(index), entry, type, name->narrow);
  return ResultOk;
}

int WriteIconImage(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback,
                   SpiUserValue, void* context) {
  const IconExtraction* x = static_cast<const IconExtraction*>(context);
  const uint64_t imageAt = x->headerAt + x->entry.imageOffset;
  // PrepareIconImage checked both; kept so that this step alone can never overrun.
  if (!Has(data.input, imageAt, x->entry.byteSize) ||
      size != uint64_t{x->entry.byteSize} + IconSingleFileHeaderSize)
    return ResultBrokenData;
  WriteIconSingleFile(destination, x->type, x->entry,
                      ByteView{data.input.data + imageAt, x->entry.byteSize});
  return ResultOk;
}
