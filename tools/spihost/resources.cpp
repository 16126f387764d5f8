#include "resources.h"

#include <cstring>
#include <set>

#include "formats/ne.h"
#include "formats/pe.h"
#include "support.h"

namespace spihost {
namespace {

// Larger executables are not walked: the listing stays as it is, unreported.
constexpr size_t kMaxFile = size_t{1} << 30;

// The types Pelorin lists under every setting: bitmaps, raw data, cursor and
// icon groups, and every type given by name.
bool AlwaysListed(uint32_t type, bool named) {
  return named || type == 2 || type == 10 || type == 12 || type == 14;
}

// Every data entry of the PE tree in walk order; listed[i] when entry i is of
// an always listed type. False when the tree is broken (the listing failed too).
bool WalkPe(ByteView image, std::vector<bool>* listed) {
  ResourceRoot root;
  if (!FindResourceRoot(image, &root) || root.rootOffset > image.size) return false;
  const uint64_t base = root.rootOffset;
  uint64_t budget = (image.size - base) / ResourceDirectoryEntrySize * 4 + 16;
  // Reads the directory at off and hands each entry to step, at most budget in all.
  auto entries = [&](uint64_t off, auto&& step) {
    ResourceDirectory d;
    if (!ReadResourceDirectory(image, off, &d)) return false;
    const uint32_t n = ResourceDirectoryEntryCount(d);
    if (n > budget) return false;
    budget -= n;
    for (uint32_t i = 0; i < n; ++i) {
      ResourceDirectoryEntry e;
      ReadResourceDirectoryEntry(image, ResourceDirectoryEntryOffset(off, i), &e);
      if (!step(e)) return false;
    }
    return true;
  };
  return entries(base, [&](const ResourceDirectoryEntry& type) {
    if (!IsResourceSubdirectory(type)) return true;  // no data straight below the root
    const bool wanted = AlwaysListed(type.name, (type.name & ResourceHighBit) != 0);
    return entries(base + ResourceEntryTarget(type), [&](const ResourceDirectoryEntry& name) {
      if (!IsResourceSubdirectory(name)) {
        listed->push_back(wanted);
        return true;
      }
      return entries(base + ResourceEntryTarget(name), [&](const ResourceDirectoryEntry& language) {
        if (!IsResourceSubdirectory(language)) listed->push_back(wanted);
        return true;
      });
    });
  });
}

bool WalkNe(ByteView image, std::vector<bool>* listed) {
  ne::ResourceTableSpan span;
  if (!ne::ReadResourceTableSpan(image, &span) || span.size == 0) return false;
  const ByteView table = Slice(image, span.start, span.size);
  for (uint64_t off = ne::AlignShiftSize;;) {
    ne::TypeInfo type{};
    uint16_t id;
    if (!ReadLe16(table, off, &id)) return false;
    if (id == 0) return true;
    if (!ne::ReadTypeInfo(table, off, &type)) return false;
    off += sizeof(ne::TypeInfo);
    const uint64_t n = type.rtResourceCount;
    if (!Has(table, off, n * sizeof(ne::NameInfo))) return false;
    const bool named = (type.rtTypeID & ne::IntegerId) == 0;
    listed->insert(listed->end(), n, AlwaysListed(type.rtTypeID & 0x7FFFu, named));
    off += n * sizeof(ne::NameInfo);
  }
}

bool IsUpx(ByteView image) {
  const uint64_t head = image.size < 4096 ? image.size : 4096;
  for (uint64_t i = 0; i + 4 <= head; ++i)
    if (std::memcmp(image.data + i, "UPX!", 4) == 0) return true;
  uint64_t newHeader;
  PeFileHeader file;
  SectionTable table;
  if (!ReadSectionTable(image, &newHeader, &file, &table)) return false;
  for (uint32_t i = 0; i < table.count; ++i) {
    SectionHeader s;
    if (!ReadSectionHeader(image, table.offset + uint64_t{SectionHeaderSize} * i, &s)) return false;
    const char* name = reinterpret_cast<const char*>(s.name);
    if (std::memcmp(name, "UPX0\0\0\0\0", 8) == 0 || std::memcmp(name, "UPX1\0\0\0\0", 8) == 0)
      return true;
  }
  return false;
}

}  // namespace

ResourceReport InspectResources(const Job& job, const LoadedPlugin& p, const std::vector<Member>& members) {
  ResourceReport report;
  const std::string stem = Lower(p.file.substr(0, p.file.find('.')));
  if (stem != "pelorin") return report;
  // The walk touches only the headers and the tree: a copy of the whole file
  // would cost its size again in memory.
  std::vector<uint8_t> bytes;
  if (!job.view && (!ReadFileBytes(job.file, kMaxFile + 1, &bytes).empty() || bytes.size() > kMaxFile))
    return report;
  const ByteView image = job.view ? ByteView{job.view, job.viewSize} : ByteView{bytes.data(), bytes.size()};
  if (image.size > kMaxFile) return report;
  std::vector<bool> listed;
  if (!WalkPe(image, &listed) && !WalkNe(image, &listed)) return report;
  report.applies = true;
  report.upx = IsUpx(image);
  std::set<uint64_t> positions;
  for (const Member& m : members) positions.insert(m.position);
  for (size_t i = 0; i < listed.size(); ++i)
    if (listed[i] && !positions.count(i)) ++report.leftOut;
  return report;
}

std::string ReportResources(Job& job, const ResourceReport& report) {
  if (!report.applies) return {};
  if (report.leftOut != 0)
    job.err += "spihost: " + job.file + ": " + std::to_string(report.leftOut) + " damaged or unreadable resource" +
               (report.leftOut == 1 ? "" : "s") + " left out\n";
  if (report.upx)
    job.err += "spihost: " + job.file +
               ": packed with UPX: its compressed resources cannot be read; `upx -d` unpacks it\n";
  return ", \"left_out\": " + std::to_string(report.leftOut) + (report.upx ? ", \"packer\": \"UPX\"" : "");
}

}  // namespace spihost
