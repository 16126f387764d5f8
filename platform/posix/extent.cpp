// Readable and writable memory, from the process's own memory map.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "platform/platform.h"

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

}  // namespace

// Memory input comes with no length. Its bound is the run of adjacent readable
// mappings that holds the address: all that can be read without a fault.
bool ReadableExtent(const void* p, const uint8_t** begin, const uint8_t** end) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
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
  if (!found) return false;
  *begin = reinterpret_cast<const uint8_t*>(runStart);
  *end = reinterpret_cast<const uint8_t*>(runEnd);
  return true;
}

bool IsWritable(const void* p, size_t n) {
  if (!p) return false;
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  if (n == 0) n = 1;
  if (a > UINTPTR_MAX - n) return false;
  uintptr_t want = a + n;  // [a, want) must be covered by adjacent writable mappings
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

}  // namespace platform
