// Memory blocks handed to the host: movable, zero-initialised local memory.
#include <windows.h>

#include "platform/fault.h"
#include "platform/platform.h"

namespace platform {

SpiHandle BlockAlloc(size_t size) {
  if (InjectedFault(FaultAlloc)) return nullptr;
  return LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, size);
}

SpiHandle BlockRealloc(SpiHandle h, size_t size) {
  if (!h || InjectedFault(FaultAlloc)) return nullptr;
  return LocalReAlloc(static_cast<HLOCAL>(h), size, LMEM_MOVEABLE | LMEM_ZEROINIT);
}

void* BlockLock(SpiHandle h) {
  if (!h || InjectedFault(FaultLock)) return nullptr;
  return LocalLock(static_cast<HLOCAL>(h));
}

void BlockUnlock(SpiHandle h) {
  if (h) LocalUnlock(static_cast<HLOCAL>(h));
}

void BlockFree(SpiHandle h) {
  if (h) LocalFree(static_cast<HLOCAL>(h));
}

size_t PageSize() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwPageSize;
}

bool AllocateGuarded(size_t size, void** region, size_t* regionSize, uint8_t** data) {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  size_t page = si.dwPageSize;
  size_t pages = size / page + (size % page ? 1 : 0);
  if (pages == 0) pages = 1;
  if (pages > SIZE_MAX / page - 2) return false;
  size_t total = (pages + 2) * page;
  void* r = VirtualAlloc(nullptr, total, MEM_RESERVE, PAGE_NOACCESS);
  if (!r) return false;
  uint8_t* body = static_cast<uint8_t*>(r) + page;
  if (!VirtualAlloc(body, pages * page, MEM_COMMIT, PAGE_READWRITE)) {
    VirtualFree(r, 0, MEM_RELEASE);
    return false;
  }
  *region = r;
  *regionSize = total;
  *data = body + pages * page - size;
  return true;
}

void FreeGuarded(void* region, size_t) {
  if (region) VirtualFree(region, 0, MEM_RELEASE);
}

void YieldThread() { SwitchToThread(); }

}  // namespace platform
