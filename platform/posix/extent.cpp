// Readable and writable memory, from the process's own memory map.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/regions.h"

#ifdef __GLIBC__
// Where the first thread's stack begins; glibc's loader exports it.
extern "C" void* __libc_stack_end;
#endif

namespace platform {

namespace {

struct MapLine {
  uintptr_t start = 0;
  uintptr_t end = 0;
  bool readable = false;
  bool writable = false;
  bool special = false;  // [vvar] and the like: readable in name only
};

// Parses "start-end perms offset dev inode   name" from one line.
bool ParseMapLine(const char* s, const char* e, MapLine* out) {
  auto hex = [&](uintptr_t* v) {
    const char* begin = s;
    uintptr_t x = 0;
    while (s < e) {
      char c = *s;
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (d < 0) break;
      x = x * 16 + static_cast<uintptr_t>(d);
      ++s;
    }
    *v = x;
    return s != begin;
  };
  if (!hex(&out->start) || s >= e || *s++ != '-' || !hex(&out->end)) return false;
  if (e - s < 5 || *s++ != ' ') return false;
  out->readable = s[0] == 'r';
  out->writable = s[1] == 'w';
  // The name, if any, follows the fifth field; kernel pseudo-mappings are
  // bracketed. [heap] and [stack] are ordinary memory.
  const char* bracket = static_cast<const char*>(memchr(s, '[', static_cast<size_t>(e - s)));
  out->special = bracket && strncmp(bracket, "[heap]", 6) != 0 &&
                 strncmp(bracket, "[stack", 6) != 0 && strncmp(bracket, "[anon", 5) != 0;
  return out->end > out->start;
}

// Calls visit(line) for every mapping in address order until it returns false.
// Reads with a fixed buffer: no allocation, so it works in any state of the heap.
template <typename Visit>
bool ForEachMapping(Visit visit) {
  int fd;
  do {
    fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  char buffer[4096];
  size_t held = 0;
  bool ok = true;
  for (;;) {
    ssize_t got = read(fd, buffer + held, sizeof buffer - held);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ok = false;
      break;
    }
    held += static_cast<size_t>(got);
    size_t used = 0;
    bool stop = false;
    for (;;) {
      char* nl = static_cast<char*>(memchr(buffer + used, '\n', held - used));
      if (!nl) break;
      MapLine line;
      if (ParseMapLine(buffer + used, nl, &line) && !visit(line)) {
        stop = true;
        break;
      }
      used = static_cast<size_t>(nl - buffer) + 1;
    }
    if (stop || got == 0) break;
    if (used == 0 && held == sizeof buffer) {
      ok = false;  // a line longer than the buffer: not a maps file we know
      break;
    }
    memmove(buffer, buffer + used, held - used);
    held -= used;
  }
  close(fd);
  return ok;
}

// The kernel answers "which mapping covers this address" with one ioctl on
// /proc/self/maps (Linux 6.11 and later), without formatting the whole map as
// text; that makes a bound on every memory-input call cheap. The record is the
// kernel's stable interface; older kernels reject the request and we read the
// text instead.
struct MapQuery {
  uint64_t size;
  uint64_t queryFlags;
  uint64_t queryAddress;
  uint64_t start;
  uint64_t end;
  uint64_t flags;
  uint64_t pageSize;
  uint64_t offset;
  uint64_t inode;
  uint32_t devMajor;
  uint32_t devMinor;
  uint32_t nameSize;
  uint32_t buildIdSize;
  uint64_t nameAddress;
  uint64_t buildIdAddress;
};
static_assert(sizeof(MapQuery) == 104);
constexpr unsigned long MapQueryRequest = _IOWR('f', 17, MapQuery);
constexpr uint64_t MapReadable = 0x01;
constexpr uint64_t MapWritable = 0x02;

enum class Found { Yes, No, Unsupported };

class MapQuerier {
 public:
  MapQuerier() {
    do {
      fd_ = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
  }
  ~MapQuerier() {
    if (fd_ >= 0) close(fd_);
  }
  MapQuerier(const MapQuerier&) = delete;
  MapQuerier& operator=(const MapQuerier&) = delete;

  // The mapping that covers address a.
  Found Covering(uintptr_t a, MapLine* out) {
    if (fd_ < 0) return Found::Unsupported;
    MapQuery q{};
    q.size = sizeof q;
    q.queryAddress = a;
    // Only nameless mappings can be the kernel's bracketed pseudo-mappings, so
    // only they need their name; a file path may be longer than this buffer.
    if (!Ask(&q, false)) return last_;
    out->start = static_cast<uintptr_t>(q.start);
    out->end = static_cast<uintptr_t>(q.end);
    out->readable = (q.flags & MapReadable) != 0;
    out->writable = (q.flags & MapWritable) != 0;
    out->special = false;
    if (q.inode == 0 && q.devMajor == 0 && q.devMinor == 0) {
      if (!Ask(&q, true)) return last_;
      const char* n = name_;
      out->special = q.nameSize > 0 && n[0] == '[' && strncmp(n, "[heap]", 6) != 0 &&
                     strncmp(n, "[stack", 6) != 0 && strncmp(n, "[anon", 5) != 0;
    }
    return out->end > out->start ? Found::Yes : Found::No;
  }

 private:
  bool Ask(MapQuery* q, bool withName) {
    q->nameSize = withName ? sizeof name_ : 0;
    q->nameAddress = withName ? reinterpret_cast<uintptr_t>(name_) : 0;
    if (withName) name_[0] = 0;
    if (InjectedFault(FaultMapQuery)) {
      last_ = Found::Unsupported;
      return false;
    }
    int r;
    do {
      r = ioctl(fd_, MapQueryRequest, q);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return true;
    last_ = errno == ENOENT ? Found::No : Found::Unsupported;
    return false;
  }

  int fd_ = -1;
  Found last_ = Found::No;
  char name_[256];
};

// ReadableExtent from single-mapping queries: the mapping that holds a, then its
// readable neighbours on each side for as long as they touch.
Found QueriedReadableExtent(uintptr_t a, uintptr_t* lo, uintptr_t* hi) {
  MapQuerier maps;
  MapLine m;
  auto usable = [](const MapLine& x) { return x.readable && !x.special; };
  Found f = maps.Covering(a, &m);
  if (f != Found::Yes) return f;
  if (!usable(m)) return Found::No;
  *lo = m.start;
  *hi = m.end;
  while ((f = maps.Covering(*hi, &m)) == Found::Yes && m.start == *hi && usable(m)) *hi = m.end;
  if (f == Found::Unsupported) return f;
  while (*lo > 0 && (f = maps.Covering(*lo - 1, &m)) == Found::Yes && m.end == *lo && usable(m))
    *lo = m.start;
  return f == Found::Unsupported ? f : Found::Yes;
}

Found QueriedWritable(uintptr_t a, uintptr_t want) {
  MapQuerier maps;
  MapLine m;
  while (a < want) {
    Found f = maps.Covering(a, &m);
    if (f != Found::Yes) return f;
    if (!m.writable || m.start > a) return Found::No;
    a = m.end;
  }
  return Found::Yes;
}

// Most memory input is a small block. Its bound is found fastest by reading one
// byte of each page around it in one process_vm_readv, which stops at the
// first page that cannot be read: two calls, no file opened. A run that fills
// the probe window (or a system that forbids the call) is left to the map.
constexpr size_t ProbePages = 1024;  // the kernel's limit of elements per call

// How many pages in a row, from page first stepping by step bytes, can be read;
// Unsupported when the call itself is refused.
Found ReadablePages(uintptr_t first, intptr_t step, size_t limit, size_t* count) {
  static_assert(ProbePages <= IOV_MAX);
  iovec remote[ProbePages];
  uint8_t sink[ProbePages];
  size_t n = 0;
  for (uintptr_t page = first; n < limit; ++n, page += static_cast<uintptr_t>(step)) {
    remote[n].iov_base = reinterpret_cast<void*>(page);
    remote[n].iov_len = 1;
    // Stop before the address space wraps around.
    if (step < 0 ? page < static_cast<uintptr_t>(-step) : page > UINTPTR_MAX - static_cast<uintptr_t>(step)) {
      ++n;
      break;
    }
  }
  iovec local{sink, n};
  ssize_t got;
  do {
    got = process_vm_readv(OwnProcessId(), &local, 1, remote, n, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno != EFAULT) return Found::Unsupported;
    got = 0;
  }
  *count = static_cast<size_t>(got);
  return Found::Yes;
}

// Readable pages in a row from page first in one direction: a short probe
// first (most blocks are a few pages), then one of the full window.
Found ReadableRun(uintptr_t first, intptr_t step, size_t limit, size_t* count) {
  constexpr size_t ShortProbe = 16;
  Found f = ReadablePages(first, step, std::min(ShortProbe, limit), count);
  if (f != Found::Yes || *count < std::min(ShortProbe, limit) || limit <= ShortProbe) return f;
  return ReadablePages(first, step, limit, count);
}

Found ProbedReadableExtent(uintptr_t a, uintptr_t* lo, uintptr_t* hi) {
  const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t page = a & ~(size - 1);
  size_t up = 0, down = 0;
  Found f = ReadableRun(page, static_cast<intptr_t>(size), ProbePages, &up);
  if (f != Found::Yes) return f;
  if (up == 0) return Found::No;
  if (up == ProbePages) return Found::Unsupported;
  if (page >= size) {
    const size_t below = std::min<uintptr_t>(ProbePages, page / size);
    f = ReadableRun(page - size, -static_cast<intptr_t>(size), below, &down);
    if (f != Found::Yes) return f;
    if (down == ProbePages) return Found::Unsupported;
  }
  *lo = page - down * size;
  *hi = page + up * size;
  return Found::Yes;
}

// Writable: the bytes are read and written back unchanged, which the kernel
// refuses for any page that is not writable. Callers ask only about memory that
// they are about to write themselves.
Found ProbedWritable(uintptr_t from, uintptr_t to) {
  const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  if (to - from > ProbePages * size) return Found::Unsupported;
  uint8_t saved[ProbePages];
  iovec remote[ProbePages];
  size_t n = 0;
  for (uintptr_t a = from; a < to && n < ProbePages; a = (a & ~(size - 1)) + size) {
    remote[n].iov_base = reinterpret_cast<void*>(a);
    remote[n].iov_len = 1;
    ++n;
  }
  iovec local{saved, n};
  ssize_t got;
  do {
    got = process_vm_readv(OwnProcessId(), &local, 1, remote, n, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return errno == EFAULT ? Found::No : Found::Unsupported;
  if (static_cast<size_t>(got) != n) return Found::No;
  do {
    got = process_vm_writev(OwnProcessId(), &local, 1, remote, n, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return errno == EFAULT ? Found::No : Found::Unsupported;
  return static_cast<size_t>(got) == n ? Found::Yes : Found::No;
}

// The same two answers from the text of the map, for kernels without the query.
bool TextReadableExtent(uintptr_t a, uintptr_t* lo, uintptr_t* hi) {
  uintptr_t runStart = 0, runEnd = 0;
  bool inRun = false, found = false;
  ForEachMapping([&](const MapLine& m) {
    bool usable = m.readable && !m.special;
    if (usable && inRun && m.start == runEnd) {
      runEnd = m.end;
    } else if (usable) {
      if (found) return false;  // the run holding a has ended
      runStart = m.start;
      runEnd = m.end;
      inRun = true;
    } else {
      inRun = false;
      if (found) return false;
    }
    if (usable && a >= m.start && a < m.end) found = true;
    return true;
  });
  *lo = runStart;
  *hi = runEnd;
  return found;
}

bool TextWritable(uintptr_t a, uintptr_t want) {
  uintptr_t covered = a;
  bool ok = false;
  ForEachMapping([&](const MapLine& m) {
    if (m.end <= covered) return true;
    if (m.start > covered || !m.writable) return false;
    covered = m.end;
    if (covered >= want) {
      ok = true;
      return false;
    }
    return true;
  });
  return ok;
}

// The calling thread's own stack, [base, top): asked of the thread library
// once per thread (for the first thread that reads the map once).
#ifdef __GLIBC__
// Used frames of the first thread lie within this much of its top: the least
// gap the kernel leaves below the stack before any other mapping.
constexpr uintptr_t kMainStackSpan = uintptr_t{8} << 20;
#endif

struct OwnStack {
  uintptr_t base = 0;
  uintptr_t top = 0;
  bool asked = false;
};
thread_local OwnStack ownStack;

// True when [from, to) lies in the frames of the calling thread's callers:
// between this frame and the top of the stack it runs on, all of which is
// live, writable memory. A host that runs on a stack of its own making (a
// fiber) is not on the thread's stack and is asked about as any other memory.
bool InCallersFrames(uintptr_t from, uintptr_t to) {
  OwnStack& s = ownStack;
  const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
#ifdef __GLIBC__
  // The first thread's stack ends at __libc_stack_end, and the kernel maps
  // nothing else within its size limit's gap below it. glibc would learn that
  // stack's bounds by reading the whole memory map, once in every plug-in.
  const uintptr_t mainTop = reinterpret_cast<uintptr_t>(__libc_stack_end);
  if (here <= mainTop && mainTop - here < kMainStackSpan)
    return here <= from && from <= to && to <= mainTop;
#endif
  if (!s.asked) {
    s.asked = true;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* base = nullptr;
      size_t size = 0;
      if (pthread_attr_getstack(&attr, &base, &size) == 0 && base) {
        s.base = reinterpret_cast<uintptr_t>(base);
        s.top = s.base + size;
      }
      pthread_attr_destroy(&attr);
    }
  }
  return s.base <= here && here < s.top && here <= from && from <= to && to <= s.top;
}

}  // namespace

// Memory input comes with no length. Its bound is the run of adjacent readable
// mappings that holds the address: all that can be read without a fault.
bool ReadableExtent(const void* p, const uint8_t** begin, const uint8_t** end) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  uintptr_t lo = 0, hi = 0;
  if (FindKnownRegion(a, &lo, &hi)) {
    *begin = reinterpret_cast<const uint8_t*>(lo);
    *end = reinterpret_cast<const uint8_t*>(hi);
    return true;
  }
  // A test may ask for the text of the map, as a kernel without the faster ways gives it.
  const bool textOnly = InjectedFault(FaultMapQuery);
  Found f = textOnly ? Found::Unsupported : ProbedReadableExtent(a, &lo, &hi);
  if (f == Found::Unsupported && !textOnly) f = QueriedReadableExtent(a, &lo, &hi);
  if (f == Found::Unsupported) f = TextReadableExtent(a, &lo, &hi) ? Found::Yes : Found::No;
  if (f != Found::Yes) return false;
  *begin = reinterpret_cast<const uint8_t*>(lo);
  *end = reinterpret_cast<const uint8_t*>(hi);
  return true;
}

// [from, to) must be covered by adjacent writable mappings.
bool IsWritableRange(uintptr_t from, uintptr_t to) {
  // A host's result slot is mostly a variable of the calling function.
  if (InCallersFrames(from, to)) return true;
  const bool textOnly = InjectedFault(FaultMapQuery);
  Found f = textOnly ? Found::Unsupported : ProbedWritable(from, to);
  if (f == Found::Unsupported && !textOnly) f = QueriedWritable(from, to);
  return f == Found::Unsupported ? TextWritable(from, to) : f == Found::Yes;
}

}  // namespace platform
