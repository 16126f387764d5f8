// Resources of NE executables (16-bit programs, icon libraries, fonts), walked
// into the same visits as PE's so that listing and extraction serve both.
#pragma once

#include <cstdint>

#include "formats/bytes.h"
#include "pelorin/pe_image.h"

// True when image is an NE executable whose header names a resource table.
bool HasNeResourceTable(ByteView image);
// Visits every resource of the NE image at imageStart in table order, each
// with its index over all resources. 0 when all were visited, the first
// non-zero visitor answer, or ResultBrokenData when the table is broken.
int WalkNeResources(ByteView input, uint64_t imageStart, ResourceVisitor visitor, void* user);
// The first resource of the type (1 cursor, 3 icon) and integer id in the NE
// image of group: its data offset and its length in bytes. Spends one unit
// of budget per resource looked at; false when not found or out of budget.
bool FindNeGroupMember(const ResourceVisit& group, uint32_t type, uint16_t id, uint64_t* budget,
                       uint64_t* data, uint32_t* size);
