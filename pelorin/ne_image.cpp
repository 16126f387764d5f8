#include "pelorin/ne_image.h"

#include "formats/ne.h"
#include "framework/spi.h"

namespace {

// NE's integer ids carry bit 15 and names do not; PE's visits the reverse.
uint32_t VisitField(uint16_t neId) {
  return (neId & ne::IntegerId) ? uint32_t{neId & 0x7FFFu} : (ResourceHighBit | neId);
}

struct NeTable {
  ByteView view;  // the resource table, which also bounds its names
  uint16_t shift = 0;
};

bool OpenTable(ByteView input, uint64_t imageStart, uint64_t* tableStart, NeTable* table) {
  ne::ResourceTableSpan span;
  if (!ne::ReadResourceTableSpan(Tail(input, imageStart), &span) || span.size == 0) return false;
  if (!Has(input, imageStart + span.start, span.size)) return false;
  *tableStart = imageStart + span.start;
  table->view = Slice(input, *tableStart, span.size);
  if (!ReadLe16(table->view, 0, &table->shift)) return false;
  return table->shift <= ne::MaxAlignShift;
}

}  // namespace

bool HasNeResourceTable(ByteView image) {
  ne::ResourceTableSpan span;
  return ne::ReadResourceTableSpan(image, &span) && span.size != 0;
}

int WalkNeResources(ByteView input, uint64_t imageStart, ResourceVisitor visitor, void* user) {
  ResourceVisit visit;
  NeTable table;
  if (!OpenTable(input, imageStart, &visit.sectionStart, &table)) return ResultBrokenData;
  visit.input = input;
  visit.kind = ImageNe;
  visit.imageStart = imageStart;
  visit.tableSize = table.view.size;
  uint64_t off = ne::AlignShiftSize;
  for (;;) {
    uint16_t typeId;
    if (!ReadLe16(table.view, off, &typeId)) return ResultBrokenData;
    if (typeId == 0) return 0;
    ne::TypeInfo type{};
    if (!ne::ReadTypeInfo(table.view, off, &type)) return ResultBrokenData;
    off += sizeof(ne::TypeInfo);
    // The count is bounded by the bytes the table really holds.
    const uint64_t entries = uint64_t{type.rtResourceCount} * sizeof(ne::NameInfo);
    if (!Has(table.view, off, entries)) return ResultBrokenData;
    visit.type = VisitField(type.rtTypeID);
    for (uint32_t i = 0; i < type.rtResourceCount; ++i, off += sizeof(ne::NameInfo)) {
      ne::NameInfo name{};
      ne::ReadNameInfo(table.view, off, &name);
      visit.name = VisitField(name.rnID);
      visit.data = imageStart + ne::UnitsToBytes(name.rnOffset, table.shift);
      visit.size = static_cast<uint32_t>(ne::UnitsToBytes(name.rnLength, table.shift));
      const int answer = visitor(&visit, user);
      ++visit.index;
      if (answer != 0) return answer;
    }
  }
}

bool FindNeGroupMember(const ResourceVisit& group, uint32_t type, uint16_t id, uint64_t* budget,
                       uint64_t* data, uint32_t* size) {
  if (id & ne::IntegerId) return false;  // no integer id can name it
  NeTable table;
  uint64_t tableStart;
  if (!OpenTable(group.input, group.imageStart, &tableStart, &table)) return false;
  const uint16_t wantedType = static_cast<uint16_t>(ne::IntegerId | type);
  const uint16_t wantedId = static_cast<uint16_t>(ne::IntegerId | id);
  uint64_t off = ne::AlignShiftSize;
  ne::TypeInfo t{};
  while (ne::ReadTypeInfo(table.view, off, &t) && t.rtTypeID != 0) {
    if (*budget == 0) return false;
    --*budget;
    off += sizeof(ne::TypeInfo);
    const uint64_t entries = uint64_t{t.rtResourceCount} * sizeof(ne::NameInfo);
    if (!Has(table.view, off, entries)) return false;
    if (t.rtTypeID == wantedType) {
      if (t.rtResourceCount > *budget) return false;
      *budget -= t.rtResourceCount;
      for (uint32_t i = 0; i < t.rtResourceCount; ++i) {
        ne::NameInfo n{};
        ne::ReadNameInfo(table.view, off + uint64_t{i} * sizeof(ne::NameInfo), &n);
        if (n.rnID != wantedId) continue;
        *data = group.imageStart + ne::UnitsToBytes(n.rnOffset, table.shift);
        *size = static_cast<uint32_t>(ne::UnitsToBytes(n.rnLength, table.shift));
        return true;
      }
    }
    off += entries;
  }
  return false;
}
