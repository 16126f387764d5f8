// Regions of readable memory that this process made itself and whose bounds it
// therefore knows: the guarded buffers a host hands to plug-ins, the inputs it
// mapped. Bounding memory input that lies in one needs no question to the kernel.
//
// Every plug-in links its own copy of this layer, and the host is another
// module again, so the table must be one per process: the executable exports
// it by name (host/CMakeLists.txt), and every copy finds it there. Where the
// executable does not (another host), each module keeps its own table, in
// which nobody records anything, and every bound is probed as before.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>

#include "platform/platform.h"
#include "platform/posix/regions.h"

namespace {

// A slot is a sequence lock: the sequence is odd while its owner writes the
// bounds, and readers keep what they read only when it was even and did not
// change meanwhile. A free slot has end 0.
struct KnownRegionSlot {
  std::atomic<uint64_t> sequence;
  std::atomic<uintptr_t> begin;
  std::atomic<uintptr_t> end;
};

constexpr uint32_t KnownRegionLayout = 0x4B52'0001;  // changes whenever the record does
constexpr uint32_t KnownRegionSlots = 256;

struct KnownRegionTable {
  uint32_t layout;
  uint32_t slotCount;
  std::atomic<uint32_t> used;  // slots at and beyond it have never held a region
  KnownRegionSlot slots[KnownRegionSlots];
};

KnownRegionTable ownTable = {KnownRegionLayout, KnownRegionSlots, {0}, {}};

}  // namespace

extern "C" __attribute__((visibility("default"))) void* SpiKnownRegions() { return &ownTable; }

namespace platform {

namespace {

KnownRegionTable* Table() {
  static std::atomic<KnownRegionTable*> table{nullptr};
  KnownRegionTable* t = table.load(std::memory_order_acquire);
  if (t) return t;
  // The executable's table when it offers one of this layout, else this module's.
  t = &ownTable;
  if (auto get = reinterpret_cast<void* (*)()>(dlsym(RTLD_DEFAULT, "SpiKnownRegions"))) {
    auto* shared = static_cast<KnownRegionTable*>(get());
    if (shared && shared->layout == KnownRegionLayout && shared->slotCount == KnownRegionSlots) t = shared;
  }
  table.store(t, std::memory_order_release);
  return t;
}

// Claims slot s for writing when it is stable and holds what wanted says; the
// sequence to publish with comes back in *next.
template <typename Wanted>
bool Claim(KnownRegionSlot& s, Wanted wanted, uint64_t* next) {
  uint64_t seq = s.sequence.load(std::memory_order_acquire);
  if (seq & 1) return false;
  if (!wanted(s.begin.load(std::memory_order_relaxed), s.end.load(std::memory_order_relaxed)))
    return false;
  if (!s.sequence.compare_exchange_strong(seq, seq + 1, std::memory_order_acquire)) return false;
  *next = seq + 2;
  return true;
}

void Publish(KnownRegionSlot& s, uintptr_t begin, uintptr_t end, uint64_t next) {
  s.begin.store(begin, std::memory_order_relaxed);
  s.end.store(end, std::memory_order_relaxed);
  s.sequence.store(next, std::memory_order_release);
}

std::atomic<pid_t> ownPid{0};

void ForgetPid() { ownPid.store(0, std::memory_order_relaxed); }

}  // namespace

bool RecordKnownRegion(const void* begin, size_t size) {
  const uintptr_t b = reinterpret_cast<uintptr_t>(begin);
  if (!begin || size == 0 || b > UINTPTR_MAX - size) return false;
  KnownRegionTable* t = Table();
  for (uint32_t i = 0; i < t->slotCount; ++i) {
    KnownRegionSlot& s = t->slots[i];
    uint64_t next;
    if (!Claim(s, [](uintptr_t, uintptr_t e) { return e == 0; }, &next)) continue;
    Publish(s, b, b + size, next);
    uint32_t used = t->used.load(std::memory_order_relaxed);
    while (used < i + 1 && !t->used.compare_exchange_weak(used, i + 1, std::memory_order_release)) {
    }
    return true;
  }
  return false;  // full: bounds in it are probed as for any other memory
}

void ForgetKnownRegion(const void* begin) {
  const uintptr_t b = reinterpret_cast<uintptr_t>(begin);
  if (!begin) return;
  KnownRegionTable* t = Table();
  const uint32_t used = t->used.load(std::memory_order_acquire);
  for (uint32_t i = 0; i < used; ++i) {
    KnownRegionSlot& s = t->slots[i];
    uint64_t next;
    if (!Claim(s, [b](uintptr_t sb, uintptr_t e) { return e != 0 && sb == b; }, &next)) continue;
    Publish(s, 0, 0, next);
    return;
  }
}

bool FindKnownRegion(uintptr_t a, uintptr_t* lo, uintptr_t* hi) {
  KnownRegionTable* t = Table();
  const uint32_t used = t->used.load(std::memory_order_acquire);
  for (uint32_t i = 0; i < used; ++i) {
    KnownRegionSlot& s = t->slots[i];
    const uint64_t before = s.sequence.load(std::memory_order_acquire);
    if (before & 1) continue;  // being written: not ours to trust (it is probed instead)
    const uintptr_t b = s.begin.load(std::memory_order_relaxed);
    const uintptr_t e = s.end.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (s.sequence.load(std::memory_order_relaxed) != before) continue;
    if (e != 0 && b <= a && a < e) {
      *lo = b;
      *hi = e;
      return true;
    }
  }
  return false;
}

pid_t OwnProcessId() {
  pid_t pid = ownPid.load(std::memory_order_relaxed);
  if (pid) return pid;
  // A child of fork() has another id: the cached one is cleared there. The
  // handler goes with this module should it be unloaded.
  static std::atomic<bool> registered{false};
  if (!registered.exchange(true)) pthread_atfork(nullptr, nullptr, ForgetPid);
  pid = getpid();
  ownPid.store(pid, std::memory_order_relaxed);
  return pid;
}

}  // namespace platform
