// Memory blocks handed to the host: a malloc'ed SpiBlockHeader followed by the
// data (the layout framework/spi.h documents for native hosts).
#include <sched.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/fault.h"
#include "platform/platform.h"

namespace platform {

namespace {

SpiBlockHeader* Header(SpiHandle h) {
  SpiBlockHeader* b = static_cast<SpiBlockHeader*>(h);
  return b && b->magic == SpiBlockMagic ? b : nullptr;
}

}  // namespace

SpiHandle BlockAlloc(size_t size) {
  if (InjectedFault(FaultAlloc)) return nullptr;
  if (size > SIZE_MAX - sizeof(SpiBlockHeader)) return nullptr;
  SpiBlockHeader* b = static_cast<SpiBlockHeader*>(calloc(1, sizeof(SpiBlockHeader) + size));
  if (!b) return nullptr;
  b->magic = SpiBlockMagic;
  b->size = size;
  return b;
}

SpiHandle BlockRealloc(SpiHandle h, size_t size) {
  SpiBlockHeader* b = Header(h);
  if (!b || InjectedFault(FaultAlloc)) return nullptr;
  // A locked block keeps its address, as a locked movable block does on Windows.
  if (b->locks) return nullptr;
  if (size > SIZE_MAX - sizeof(SpiBlockHeader)) return nullptr;
  size_t old = static_cast<size_t>(b->size);
  SpiBlockHeader* n = static_cast<SpiBlockHeader*>(realloc(b, sizeof(SpiBlockHeader) + size));
  if (!n) return nullptr;
  if (size > old) memset(reinterpret_cast<uint8_t*>(n + 1) + old, 0, size - old);
  n->size = size;
  return n;
}

void* BlockLock(SpiHandle h) {
  SpiBlockHeader* b = Header(h);
  if (!b || InjectedFault(FaultLock)) return nullptr;
  b->locks++;
  return b + 1;
}

void BlockUnlock(SpiHandle h) {
  SpiBlockHeader* b = Header(h);
  if (b && b->locks) b->locks--;
}

void BlockFree(SpiHandle h) {
  SpiBlockHeader* b = Header(h);
  if (!b) return;
  b->magic = 0;
  free(b);
}

bool AllocateGuarded(size_t size, void** region, size_t* regionSize, uint8_t** data) {
  size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  size_t pages = size / page + (size % page ? 1 : 0);
  if (pages == 0) pages = 1;
  if (pages > SIZE_MAX / page - 2) return false;
  size_t total = (pages + 2) * page;
  void* r = mmap(nullptr, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (r == MAP_FAILED) return false;
  uint8_t* body = static_cast<uint8_t*>(r) + page;
  if (mprotect(body, pages * page, PROT_READ | PROT_WRITE) != 0) {
    munmap(r, total);
    return false;
  }
  *region = r;
  *regionSize = total;
  *data = body + pages * page - size;
  // The body is what probing would find: recorded, so that nobody has to.
  RecordKnownRegion(body, pages * page);
  return true;
}

size_t PageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

void FreeGuarded(void* region, size_t regionSize) {
  if (!region) return;
  ForgetKnownRegion(static_cast<uint8_t*>(region) + PageSize());
  munmap(region, regionSize);
}

void YieldThread() { sched_yield(); }

long CompareExchange(volatile long* target, long exchange, long comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comparand;
}

}  // namespace platform
