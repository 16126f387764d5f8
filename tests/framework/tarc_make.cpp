// Builds Tarc archives for the tests (see tarc.h).
#include <cstring>

#include "tarc.h"

std::vector<uint8_t> MakeTarc(const std::vector<TarcMember>& members, uint32_t flags) {
  std::vector<uint8_t> out(TarcHeaderSize);
  std::memcpy(out.data(), "TARC", 4);
  PutLe32(out.data() + 4, static_cast<uint32_t>(members.size()));
  PutLe32(out.data() + 8, flags);
  for (const TarcMember& m : members) {
    size_t at = out.size();
    out.resize(at + TarcEntryHeaderSize);
    std::memcpy(out.data() + at, "TENT", 4);
    uint32_t size = m.declaredSize >= 0 ? static_cast<uint32_t>(m.declaredSize)
                                        : static_cast<uint32_t>(m.data.size());
    PutLe32(out.data() + at + 4, size);
    out[at + 8] = static_cast<uint8_t>(m.path.size());
    out[at + 9] = static_cast<uint8_t>(m.name.size());
    out.insert(out.end(), m.path.begin(), m.path.end());
    out.insert(out.end(), m.name.begin(), m.name.end());
    out.insert(out.end(), m.data.begin(), m.data.end());
  }
  return out;
}

uint32_t TarcEntryOffset(const std::vector<TarcMember>& members, size_t i) {
  uint32_t off = TarcHeaderSize;
  for (size_t k = 0; k < i; ++k)
    off += TarcEntryHeaderSize + static_cast<uint32_t>(members[k].path.size() +
                                                       members[k].name.size() +
                                                       members[k].data.size());
  return off;
}
