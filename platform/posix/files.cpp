// Files, mappings and directories on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/regions.h"

namespace platform {

namespace {

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Maps all of fd read-only; out->file is left to the caller.
bool MapWholeDescriptor(int fd, MappedFile* out) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // An empty file cannot be mapped, as on Windows; a file larger than the
  // address space cannot either.
  if (st.st_size <= 0 || static_cast<unsigned long long>(st.st_size) > SIZE_MAX) return false;
  size_t size = static_cast<size_t>(st.st_size);
  void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return false;
  out->data = static_cast<uint8_t*>(view);
  out->size = size;
  return true;
}

// The process's file-creation mask, read without changing it (umask() would,
// for a moment, for every thread of the host).
mode_t CurrentUmask() {
  int fd = OpenRetrying("/proc/self/status", O_RDONLY);
  if (fd < 0) return 022;
  char buffer[4096];
  ssize_t n = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  if (n <= 0) return 022;
  buffer[n] = 0;
  const char* line = strstr(buffer, "\nUmask:");
  if (!line) return 022;
  return static_cast<mode_t>(strtoul(line + 7, nullptr, 8)) & 0777;
}

// Writes all size bytes to fd, retrying short and interrupted writes.
bool WriteAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool MapExisting(const char* path, MappedFile* out) {
  *out = MappedFile{};
  if (!path || InjectedFault(FaultMap)) return false;
  int fd = OpenRetrying(path, O_RDONLY);
  if (fd < 0) return false;
  if (!MapWholeDescriptor(fd, out)) {
    close(fd);
    *out = MappedFile{};
    return false;
  }
  out->file = fd;
  return true;
}

bool MapNew(const char* path, uint32_t size, MappedFile* out) {
  *out = MappedFile{};
  if (!path || size == 0 || InjectedFault(FaultMap)) return false;
  int fd = OpenRetrying(path, O_RDWR | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  // Reserve the blocks now: a sparse file would turn a full disk into a
  // SIGBUS while the member is written through the view.
  int rc = posix_fallocate(fd, 0, static_cast<off_t>(size));
  if (rc == EINVAL || rc == EOPNOTSUPP) rc = ftruncate(fd, static_cast<off_t>(size));
  if (rc != 0) {
    close(fd);
    return false;
  }
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    close(fd);
    return false;
  }
  out->data = static_cast<uint8_t*>(view);
  out->size = size;
  out->file = fd;
  return true;
}

bool FlushMapped(const MappedFile* f) {
  if (InjectedFault(FaultWrite)) return false;
  if (!f->data) return true;
  return msync(f->data, f->size, MS_SYNC) == 0;
}

void Unmap(MappedFile* f) {
  if (f->data) munmap(f->data, f->size);
  // A POSIX mapping has no handle of its own; mapping stays null.
  if (f->file != -1) close(static_cast<int>(f->file));
  *f = MappedFile{};
}

bool MapHostHandle(uintptr_t handle, MappedFile* out) {
  *out = MappedFile{};
  if (InjectedFault(FaultMap)) return false;
  // The host's descriptor is only borrowed: fstat and mmap neither move nor close it.
  if (handle > static_cast<uintptr_t>(INT32_MAX)) return false;
  if (!MapWholeDescriptor(static_cast<int>(handle), out)) {
    *out = MappedFile{};
    return false;
  }
  return true;
}

long ReadHostHandle(uintptr_t handle, void* buffer, uint32_t n) {
  if (handle > static_cast<uintptr_t>(INT32_MAX)) return -1;
  ssize_t got;
  do {
    got = read(static_cast<int>(handle), buffer, n);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? -1 : static_cast<long>(got);
}

bool IsDirectory(const char* path) {
  struct stat st;
  return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const char* path) { return mkdir(path, 0777) == 0; }

bool RemoveFile(const char* path) { return unlink(path) == 0; }

bool FileExists(const char* path) {
  struct stat st;
  return path && lstat(path, &st) == 0;
}

bool OpenExclusive(const char* path, intptr_t* handle, bool* created) {
  *handle = -1;
  *created = false;
  bool made = true;
  int fd = OpenRetrying(path, O_RDWR | O_CREAT | O_EXCL, 0666);
  if (fd < 0 && errno == EEXIST) {
    made = false;
    fd = OpenRetrying(path, O_RDWR);
  }
  if (fd < 0) return false;
  // Advisory, but every plug-in honours it: a second extraction to the same
  // target fails while this one holds it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    if (made) unlink(path);
    return false;
  }
  *handle = fd;
  *created = made;
  return true;
}

void CloseFile(intptr_t handle) {
  if (handle != -1) close(static_cast<int>(handle));
}

bool CreateTempFile(const char* dir, const char* prefix, char* out, size_t capacity) {
  if (InjectedFault(FaultTempFile)) return false;
  size_t dirLength = strlen(dir);
  size_t prefixLength = strlen(prefix);
  bool needSeparator = dirLength > 0 && dir[dirLength - 1] != '/';
  // dir, separator, prefix, "XXXXXX" and the zero must fit.
  size_t need = dirLength + (needSeparator ? 1 : 0) + prefixLength + 6 + 1;
  if (need > capacity) return false;
  char* p = out;
  memcpy(p, dir, dirLength);
  p += dirLength;
  if (needSeparator) *p++ = '/';
  memcpy(p, prefix, prefixLength);
  p += prefixLength;
  memcpy(p, "XXXXXX", 7);
  int fd = mkostemp(out, O_CLOEXEC);
  if (fd < 0) return false;
  // mkstemp makes the file private; it becomes the member, which should get
  // the permissions of any other new file.
  fchmod(fd, 0666 & ~CurrentUmask());
  close(fd);
  return true;
}

bool WriteTempFile(const char* dir, const char* prefix, const void* data, size_t size, char* out,
                   size_t capacity) {
  if (InjectedFault(FaultTempFile)) return false;
  size_t dirLength = strlen(dir);
  size_t prefixLength = strlen(prefix);
  bool needSeparator = dirLength > 0 && dir[dirLength - 1] != '/';
  if (dirLength + (needSeparator ? 1 : 0) + prefixLength + 7 > capacity) return false;
  char* p = out;
  memcpy(p, dir, dirLength);
  p += dirLength;
  if (needSeparator) *p++ = '/';
  memcpy(p, prefix, prefixLength);
  // Opened with the mode of any new file, so the umask applies as it would
  // to the target itself; the name is tried until one is free.
  static std::atomic<uint32_t> counter{0};
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    const uint64_t seed = (static_cast<uint64_t>(OwnProcessId()) << 32) ^ counter.fetch_add(1) ^
                          static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&attempt)) ^
                          static_cast<uint64_t>(time(nullptr)) * 2654435761u;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    uint64_t v = seed * 0x9E3779B97F4A7C15ull;
    for (int k = 0; k < 6; ++k, v /= 62) p[prefixLength + k] = digits[v % 62];
    p[prefixLength + 6] = 0;
    do {
      fd = open(out, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data, size);
  if (close(fd) != 0) ok = false;
  if (!ok) {
    int saved = errno;
    unlink(out);
    errno = saved;
  }
  return ok;
}

bool ReplaceFile(const char* source, const char* target) {
  if (InjectedFault(FaultRename)) return false;
  return rename(source, target) == 0;
}

int FillEmptyFile(const char* path, const void* data, size_t size) {
  int fd = OpenRetrying(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) {
    close(fd);
    return -1;
  }
  bool ok = WriteAll(fd, data, size);
  if (!ok && ftruncate(fd, 0) != 0) errno = EIO;
  close(fd);
  return ok ? 1 : 0;
}

namespace {

// The UTF-8 name of a UTF-16 path; false for one with an unpaired surrogate,
// which no UTF-8 name stands for.
bool Utf8Path(const char16_t* path, std::string* out) {
  if (!path) return false;
  size_t n = 0;
  for (; path[n]; ++n) {
    const char16_t c = path[n];
    if (c >= 0xD800 && c < 0xDC00) {
      if (path[n + 1] < 0xDC00 || path[n + 1] >= 0xE000) return false;
      ++n;
    } else if (c >= 0xDC00 && c < 0xE000) {
      return false;
    }
  }
  out->assign(n * 3, '\0');
  out->resize(Utf16ToNarrow(reinterpret_cast<const uint16_t*>(path), n, out->data(), out->size()));
  return true;
}

// Runs call with the UTF-8 form of path; false when there is none.
template <class Call>
bool WithUtf8(const char16_t* path, Call call) {
  std::string narrow;
  return Utf8Path(path, &narrow) && call(narrow.c_str());
}

}  // namespace

bool MapExisting(const char16_t* path, MappedFile* out) {
  *out = MappedFile{};
  return WithUtf8(path, [&](const char* p) { return MapExisting(p, out); });
}
bool MapNew(const char16_t* path, uint32_t size, MappedFile* out) {
  *out = MappedFile{};
  return WithUtf8(path, [&](const char* p) { return MapNew(p, size, out); });
}
bool IsDirectory(const char16_t* path) {
  return WithUtf8(path, [](const char* p) { return IsDirectory(p); });
}
bool MakeDirectory(const char16_t* path) {
  return WithUtf8(path, [](const char* p) { return MakeDirectory(p); });
}
bool RemoveFile(const char16_t* path) {
  return WithUtf8(path, [](const char* p) { return RemoveFile(p); });
}
bool OpenExclusive(const char16_t* path, intptr_t* handle, bool* created) {
  *handle = -1;
  *created = false;
  return WithUtf8(path, [&](const char* p) { return OpenExclusive(p, handle, created); });
}
bool CreateTempFile(const char16_t* dir, const char* prefix, char16_t* out, size_t capacity) {
  char made[4096];
  if (!WithUtf8(dir, [&](const char* p) { return CreateTempFile(p, prefix, made, sizeof made); }))
    return false;
  if (NarrowToUtf16(made, out, capacity)) return true;
  unlink(made);
  return false;
}
bool WriteTempFile(const char16_t* dir, const char* prefix, const void* data, size_t size,
                   char16_t* out, size_t capacity) {
  char made[4096];
  if (!WithUtf8(dir, [&](const char* p) {
        return WriteTempFile(p, prefix, data, size, made, sizeof made);
      }))
    return false;
  if (NarrowToUtf16(made, out, capacity)) return true;
  unlink(made);
  return false;
}
bool ReplaceFile(const char16_t* source, const char16_t* target) {
  std::string from;
  return Utf8Path(source, &from) &&
         WithUtf8(target, [&](const char* to) { return ReplaceFile(from.c_str(), to); });
}

}  // namespace platform
