#include "pelorin/resource_extract.h"

#include <algorithm>
#include <cstring>

#include "pelorin/ne_image.h"
#include "pelorin/resource_list.h"
#include "pelorin/resource_text.h"
#include "formats/bitmap.h"
#include "formats/icon.h"

namespace {

constexpr uint32_t CopyBlockSize = 1024;
// Linear scans of member and language directories in one rebuild. Sound files
// need a few hundred; a group of 65535 members over a directory of 131070
// entries would otherwise take minutes.
constexpr uint64_t ScanBudget = uint64_t{1} << 24;

// The member's file name in the form of the call, as the listing names it.
template <class Char>
int MemberFileName(const ResourceVisit* visit, uint32_t* extra, Char* out) {
  Char ext[TextFieldSize];
  int result = ResourceExtension(visit, ext, extra, nullptr);
  if (result != 0) return result;
  return ResourceFileName(NamesOf(visit), visit->name, ext, out);
}

int LocateVisit(const ResourceVisit* visit, void* context) {
  ExtractionRequest* request = static_cast<ExtractionRequest*>(context);
  if (visit->index != request->wantedIndex) return 0;
  uint32_t extra = 0;
  MemberName* name = request->name;
  int result = name->wideCall ? MemberFileName(visit, &extra, name->wide)
                              : MemberFileName(visit, &extra, name->narrow);
  if (result != 0) return result;
  request->visit = *visit;
  request->outputSize = visit->size + extra;
  return WalkFound;
}

// The name field of entry i of a directory that ReadResourceDirectory found
// within the input.
uint32_t EntryName(ByteView in, uint64_t directory, uint32_t i) {
  ResourceDirectoryEntry e;
  ReadResourceDirectoryEntry(in, ResourceDirectoryEntryOffset(directory, i), &e);
  return e.name;
}

uint32_t EntryOffsetToData(ByteView in, uint64_t directory, uint32_t i) {
  ResourceDirectoryEntry e;
  ReadResourceDirectoryEntry(in, ResourceDirectoryEntryOffset(directory, i), &e);
  return e.offsetToData;
}

bool OpenDirectory(ByteView in, uint64_t offset, uint32_t* named, uint32_t* total) {
  ResourceDirectory d;
  if (!ReadResourceDirectory(in, offset, &d)) return false;
  *named = d.numberOfNamedEntries;
  *total = ResourceDirectoryEntryCount(d);
  return true;
}

// The member directory of a group: the first root entry of type 3 (icons) or 1 (cursors).
bool FindMemberDirectory(const ResourceVisit& group, MemberDirectory* dir) {
  const ByteView in = group.input;
  const uint64_t root = group.sectionStart;
  const uint32_t wanted = group.type - 11;
  uint32_t named, total;
  if (!OpenDirectory(in, root, &named, &total)) return false;
  uint32_t i = 0;
  while (i < total && EntryName(in, root, i) != wanted) ++i;
  if (i == total) return false;
  dir->offset = root + (EntryOffsetToData(in, root, i) & ~ResourceHighBit);
  if (!OpenDirectory(in, dir->offset, &dir->named, &dir->total)) return false;
  bool ascending = true;
  for (uint32_t k = 0; k < dir->total && ascending; ++k) {
    const uint32_t field = EntryName(in, dir->offset, k);
    if (k < dir->named) {
      ascending = (field & ResourceHighBit) != 0;
    } else if (k > dir->named) {
      ascending = field > EntryName(in, dir->offset, k - 1);
    }
  }
  dir->idsAscending = ascending;
  dir->scanBudget = ScanBudget;
  return true;
}

bool Spend(MemberDirectory* dir, uint32_t entries) {
  if (entries > dir->scanBudget) return false;
  dir->scanBudget -= entries;
  return true;
}

// The entry of the member directory whose name field is id, or total when none.
uint32_t FindMemberEntry(ByteView in, MemberDirectory* dir, uint32_t id) {
  if (dir->idsAscending) {
    // Named entries never match a number, and rising ids make the first match the only one.
    uint32_t lo = dir->named, hi = dir->total;
    while (lo < hi) {
      const uint32_t mid = lo + (hi - lo) / 2;
      const uint32_t field = EntryName(in, dir->offset, mid);
      if (field == id) return mid;
      if (field < id) lo = mid + 1; else hi = mid;
    }
    return dir->total;
  }
  if (!Spend(dir, dir->total)) return dir->total;
  for (uint32_t i = 0; i < dir->total; ++i)
    if (EntryName(in, dir->offset, i) == id) return i;
  return dir->total;
}

}  // namespace

bool OpenMemberDirectory(const ResourceVisit& group, MemberDirectory* dir) {
  if (group.kind == ImageNe) {
    dir->scanBudget = ScanBudget;
    return true;
  }
  return FindMemberDirectory(group, dir);
}

bool FindGroupMember(uint32_t id, const ResourceVisit& group, MemberDirectory* dir,
                     uint64_t* data) {
  const ByteView in = group.input;
  const uint32_t found = FindMemberEntry(in, dir, id);
  if (found == dir->total) return false;
  uint32_t offsetField = EntryOffsetToData(in, dir->offset, found);
  if (offsetField & ResourceHighBit) {
    const uint64_t languages = group.sectionStart + (offsetField & ~ResourceHighBit);
    uint32_t named, n;
    if (!OpenDirectory(in, languages, &named, &n) || n == 0) return false;
    if (!Spend(dir, n * 2)) return false;
    const uint32_t language = group.language;
    uint32_t chosen = 0;  // the first entry when nothing suits better
    if (n > 1) {
      uint32_t i = 0;
      while (i < n && EntryName(in, languages, i) != language) ++i;
      if (i < n) {
        chosen = i;
      } else {
        // Same primary language, the last one stored winning.
        for (uint32_t k = n; k-- > 0;) {
          if ((EntryName(in, languages, k) & 63) == (language & 63)) {
            chosen = k;
            break;
          }
        }
      }
    }
    offsetField = EntryOffsetToData(in, languages, chosen);
  }
  // Language-level entries are taken as data entries whatever their top bit says.
  ResourceDataEntry entry;
  if (!ReadResourceDataEntry(in, group.sectionStart + offsetField, &entry)) return false;
  *data = ResourceDataOffset(group, entry.offsetToData, &dir->sectionBudget);
  return *data != NoOffset;
}

int RebuildIconGroup(const ResourceVisit& v, MemberDirectory* opened, uint8_t* output,
                     uint32_t size) {
  const ByteView in = v.input;
  const uint32_t type = v.type;
  if (type != ResourceIconGroup && type != ResourceCursorGroup) return ResultBrokenData;
  const uint64_t group = v.data;
  IconHeader header;
  if (!ReadIconHeader(in, group, &header)) return ResultBrokenData;
  const uint16_t count = header.count;
  // A group of no images, or one whose entries run past its own data, holds no icon.
  if (count == 0 || IconGroupEntryOffset(count) > v.size || !Has(in, group, IconGroupEntryOffset(count)))
    return ResultBrokenData;
  uint64_t imageOffset = IconDirEntryOffset(count);
  if (imageOffset > size) return ResultBrokenData;
  // The group's header is the file's: reserved, type (1 icons, 2 cursors), count.
  if (output) WriteIconHeader(output, header);
  MemberDirectory own;
  MemberDirectory& dir = opened ? *opened : own;
  const bool ne = v.kind == ImageNe;
  if (!opened && !OpenMemberDirectory(v, &own)) return ResultBrokenData;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t g = group + IconGroupEntryOffset(i);
    uint64_t member;
    uint32_t bytes;
    // NE lengths are rounded up to alignment units, so the image is cut to
    // the group's byte count; a count beyond the resource is broken data.
    auto findMember = [&](uint16_t id) {
      uint32_t memberSize = UINT32_MAX;
      const bool found =
          ne ? FindNeGroupMember(v, type - 11, id, &dir.scanBudget, &member, &memberSize)
             : FindGroupMember(id, v, &dir, &member);
      return found && bytes <= memberSize;
    };
    IconDirEntry entry;
    uint64_t source;
    uint32_t length;
    if (type == ResourceIconGroup) {
      IconGroupEntry e;
      ReadIconGroupEntry(in, g, &e);  // within the group checked above
      bytes = e.bytes;
      if (!findMember(e.id)) return ResultBrokenData;
      if (!Has(in, member, e.bytes)) return ResultBrokenData;
      entry.width = e.width;
      entry.height = e.height;
      entry.colorCount = e.colorCount;
      entry.reserved = e.reserved;
      entry.planes = e.planes;
      entry.bitCount = e.bitCount;
      entry.byteSize = e.bytes;
      source = member;
      length = Pad4(e.bytes);
    } else {
      CursorGroupEntry e;
      ReadCursorGroupEntry(in, g, &e);
      bytes = e.bytes;
      if (!findMember(e.id)) return ResultBrokenData;
      // An entry of 0 bytes would move the next image back over this one.
      CursorHotspot hotspot;
      if (e.bytes == 0 || !Has(in, member, e.bytes) || !ReadCursorHotspot(in, member, &hotspot))
        return ResultBrokenData;
      entry.width = static_cast<uint8_t>(e.width);
      entry.height = static_cast<uint8_t>(e.height / 2);
      entry.planes = hotspot.x;
      entry.bitCount = hotspot.y;
      length = Pad4(e.bytes) - CursorHotspotSize;
      entry.byteSize = length;
      source = member + CursorHotspotSize;
    }
    if (length > size - imageOffset) return ResultBrokenData;
    if (output) {
      entry.imageOffset = static_cast<uint32_t>(imageOffset);
      WriteIconDirEntry(output + IconDirEntryOffset(i), entry);
      // Padding that would lie beyond the end of the input stays zero, and so
      // does an NE image's beyond its byte count.
      uint64_t present = std::min<uint64_t>(length, in.size - source);
      if (ne) present = std::min<uint64_t>(present, bytes - (source - member));
      std::memcpy(output + imageOffset, in.data + source, present);
      std::memset(output + imageOffset + present, 0, length - present);
    }
    imageOffset += length;
  }
  return ResultOk;
}

// Where the bits start in the file made of the header, the masks and the
// colour table; 0 when the header is not one of a bitmap. The table holds the
// colours-used count where that is smaller than the full palette (or, above
// 8 bits, where it is given at all); a 40-byte header with bit-field or
// alpha-bit-field compression is followed by its three or four masks. An
// offset beyond the resource is held at its end.
uint32_t BitmapBitsOffset(ByteView input, uint64_t data, uint32_t size) {
  BitmapInfoHeader h;
  if (!ReadBitmapInfoHeader(Tail(input, data), &h)) return 0;
  uint64_t table;
  if (IsCoreHeader(h)) {
    table = BitmapPaletteEntries(h.bitCount) * uint64_t{3};
  } else {
    // Shorter headers (OS/2's) stop after any field; missing ones are zero.
    if (h.size < BitmapInfoHeaderMinimum ||
        !Has(input, data, std::min<uint32_t>(h.size, BitmapInfoHeaderSize)))
      return 0;
    const uint32_t full = BitmapPaletteEntries(h.bitCount);
    uint64_t entries = h.bitCount <= 8 ? full : h.clrUsed;
    if (h.bitCount <= 8 && h.clrUsed != 0 && h.clrUsed < full) entries = h.clrUsed;
    table = entries * 4;
    if (h.size == BitmapInfoHeaderSize && h.compression == BitmapBitFields) table += 12;
    if (h.size == BitmapInfoHeaderSize && h.compression == BitmapAlphaBitFields) table += 16;
  }
  const uint64_t offset = std::min<uint64_t>(uint64_t{h.size} + table, size);
  return static_cast<uint32_t>(BitmapFileHeaderSize + offset);
}

int PrepareResource(DataRef data, MemberName* name, uint32_t* outputSize, void* context) {
  ExtractionRequest* request = static_cast<ExtractionRequest*>(context);
  uint64_t imageStart;
  if (!FindImageStart(data.input, data.at, &imageStart)) return ResultBrokenData;
  const uint64_t wanted = data.at - imageStart;
  if (wanted > INT32_MAX) return ResultBrokenData;
  request->wantedIndex = static_cast<int32_t>(wanted);
  request->name = name;
  const int walk = WalkResources(data.input, imageStart, LocateVisit, request);
  if (walk == WalkContinue) return ResultBrokenData;
  if (walk != WalkFound) return walk;
  const ResourceVisit& v = request->visit;
  // Check before the framework creates an output of the announced size.
  if (IsTextType(v.type)) {
    TextSink count;
    if (ResourceText(&v, &count) != ResultOk || count.size != request->outputSize)
      return ResultBrokenData;
    *outputSize = request->outputSize;
    return ResultOk;
  }
  switch (v.type) {
    case ResourceBitmap:
      if (!Has(v.input, v.data, v.size) || BitmapBitsOffset(v.input, v.data, v.size) == 0)
        return ResultBrokenData;
      break;
    case ResourceIconGroup:
    case ResourceCursorGroup: {
      // The output size grows with the group's claimed size, so that claim
      // must be backed by bytes of the input before anything is allocated.
      if (!Has(v.input, v.data, v.size)) return ResultBrokenData;
      const int result = RebuildIconGroup(v, nullptr, nullptr, request->outputSize);
      if (result != 0) return result;
      break;
    }
    default:
      if (!Has(v.input, v.data, v.size)) return ResultBrokenData;
      break;
  }
  *outputSize = request->outputSize;
  return ResultOk;
}

int WriteResource(DataRef, uint8_t* destination, uint32_t size, ProgressCallback progress,
                  SpiUserValue userValue, void* context) {
  const ExtractionRequest* request = static_cast<const ExtractionRequest*>(context);
  const ResourceVisit& v = request->visit;
  if (IsTextType(v.type)) {
    TextSink text{destination, size, 0};
    const int result = ResourceText(&v, &text);
    return result != ResultOk ? result : text.size == size ? ResultOk : ResultBrokenData;
  }
  switch (v.type) {
    case ResourceBitmap: {
      const uint32_t bitsOffset = BitmapBitsOffset(v.input, v.data, v.size);
      if (bitsOffset == 0 || size < BitmapFileHeaderSize || size - BitmapFileHeaderSize < v.size)
        return ResultBrokenData;
      BitmapFileHeader file;
      file.size = size;
      file.offBits = bitsOffset;
      WriteBitmapFileHeader(destination, file);
      return CopyWithProgress(v.input, v.data, destination + BitmapFileHeaderSize, v.size,
                              CopyBlockSize, progress, userValue);
    }
    case ResourceIconGroup:
    case ResourceCursorGroup:
      return RebuildIconGroup(v, nullptr, destination, size);
    default:
      return CopyWithProgress(v.input, v.data, destination, std::min(size, v.size), CopyBlockSize,
                              progress, userValue);
  }
}
