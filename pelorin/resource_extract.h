// Turning one resource into a usable file.
//
//   bitmap (type 2)        BM header of 14 bytes + the resource unchanged
//   icon group (14)        icon file: group header, one 16-byte entry per
//   cursor group (12)      group entry, then the member images (types 3 and 1)
//                          padded to 4 bytes; a cursor image loses its 4-byte
//                          hotspot to its entry
//   anything else          the resource unchanged
//
//   group entry, 14 bytes: icon  width(8) height(8) colours(8) reserved(8)
//                                planes(16) bit count(16) bytes(32) id(16)
//                          cursor width(16) height(16, doubled) planes(16)
//                                bit count(16) bytes(32) id(16)
#pragma once

#include <cstdint>

#include "framework/framework.h"
#include "pelorin/pe_image.h"

// The context of one GetFile call.
struct ExtractionRequest {
  ResourceVisit visit;  // the member, copied when the walk meets it
  int32_t wantedIndex = -1;
  MemberName* name = nullptr;  // the framework's member name
  uint32_t outputSize = 0;
};

// Pelorin's LocateMember: finds the member whose index is the distance of
// data.at from the image start, names it and sizes its output. Checks that
// everything the write will read lies within the input, so that nothing is
// created for a member that cannot be written.
int PrepareResource(DataRef data, MemberName* name, uint32_t* outputSize, void* context);
// Pelorin's WriteMember.
int WriteResource(DataRef data, uint8_t* destination, uint32_t size, ProgressCallback progress,
                  SpiUserValue userValue, void* context);

// 14 + header, masks and colour table of the bitmap of size bytes at data, or
// 0 when its header does not lie within the input.
uint32_t BitmapBitsOffset(ByteView input, uint64_t data, uint32_t size);

// A member image directory (type 3 or 1 below the root).
struct MemberDirectory {
  uint64_t offset = 0;
  uint32_t named = 0;
  uint32_t total = 0;
  bool idsAscending = false;  // named entries all by name, ids strictly rising
  uint64_t scanBudget = 0;    // entries that linear scans may still read
  uint64_t sectionBudget = SectionScanBudget;  // section headers the images' addresses may read
};

// The images of the group's kind (icons or cursors); false when the image has
// none. NE images are searched by type, and only get the scan budget.
bool OpenMemberDirectory(const ResourceVisit& group, MemberDirectory* directory);
// The data of the member image with this id, in the language that suits the
// group; false when there is none.
bool FindGroupMember(uint32_t id, const ResourceVisit& group, MemberDirectory* directory,
                     uint64_t* data);

// Writes the icon or cursor file of the group into output (size bytes),
// finding its images in opened (or a directory of its own when null). With a
// null output it only checks that the file can be built and fits: a group of
// no images, entries past its data, or a missing image outside the input fail.
int RebuildIconGroup(const ResourceVisit& group, MemberDirectory* opened, uint8_t* output,
                     uint32_t size);
