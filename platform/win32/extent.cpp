// Readable and writable memory, from VirtualQuery.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

namespace {

bool Readable(const MEMORY_BASIC_INFORMATION& m) {
  if (m.State != MEM_COMMIT || (m.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
  return (m.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                       PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

bool Writable(const MEMORY_BASIC_INFORMATION& m) {
  if (m.State != MEM_COMMIT || (m.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
  return (m.Protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                       PAGE_EXECUTE_WRITECOPY)) != 0;
}

bool Query(uintptr_t a, MEMORY_BASIC_INFORMATION* m) {
  return VirtualQuery(reinterpret_cast<const void*>(a), m, sizeof *m) == sizeof *m;
}

// The start of the readable run that holds a (known readable) within its own
// allocation: VirtualQuery only reports forward from an address, so walk the
// allocation's regions from its base.
uintptr_t RunStartInAllocation(uintptr_t a, uintptr_t allocationBase) {
  uintptr_t start = allocationBase;
  uintptr_t at = allocationBase;
  MEMORY_BASIC_INFORMATION m;
  while (at <= a && Query(at, &m)) {
    uintptr_t next = reinterpret_cast<uintptr_t>(m.BaseAddress) + m.RegionSize;
    if (!Readable(m)) start = next;
    if (next <= at) break;
    at = next;
  }
  return start;
}

}  // namespace

// Memory input comes with no length. Its bound is the run of adjacent committed,
// readable, non-guard pages that holds the address: all that can be read
// without a fault.
bool ReadableExtent(const void* p, const uint8_t** begin, const uint8_t** end) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  MEMORY_BASIC_INFORMATION m;
  if (!p || !Query(a, &m) || !Readable(m)) return false;
  uintptr_t hi = reinterpret_cast<uintptr_t>(m.BaseAddress) + m.RegionSize;
  while (Query(hi, &m) && Readable(m) && reinterpret_cast<uintptr_t>(m.BaseAddress) == hi) {
    uintptr_t next = hi + m.RegionSize;
    if (next <= hi) break;
    hi = next;
  }
  uintptr_t lo = a;
  for (;;) {
    if (!Query(lo, &m)) break;
    lo = RunStartInAllocation(lo, reinterpret_cast<uintptr_t>(m.AllocationBase));
    if (lo != reinterpret_cast<uintptr_t>(m.AllocationBase) || lo == 0) break;
    // The run reaches the allocation's base: it may go on in the one below.
    MEMORY_BASIC_INFORMATION below;
    if (!Query(lo - 1, &below) || !Readable(below)) break;
    lo = lo - 1;
  }
  *begin = reinterpret_cast<const uint8_t*>(lo);
  *end = reinterpret_cast<const uint8_t*>(hi);
  return true;
}

bool IsWritableRange(uintptr_t a, uintptr_t want) {
  MEMORY_BASIC_INFORMATION m;
  while (a < want) {
    if (!Query(a, &m) || !Writable(m)) return false;
    uintptr_t next = reinterpret_cast<uintptr_t>(m.BaseAddress) + m.RegionSize;
    if (next <= a) return false;
    a = next;
  }
  return true;
}

// VirtualQuery answers from the process's own tables; nothing is recorded.
bool RecordKnownRegion(const void*, size_t) { return false; }
void ForgetKnownRegion(const void*) {}

}  // namespace platform
