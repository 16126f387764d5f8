// Files, mappings and directories through kernel32.
#include <windows.h>
#include <string.h>

#include "platform/fault.h"
#include "platform/platform.h"

namespace platform {

namespace {

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
intptr_t FromHandle(HANDLE h) { return reinterpret_cast<intptr_t>(h); }

// Maps all of an open file read-only; closes nothing on failure but the mapping.
bool MapWholeHandle(HANDLE file, MappedFile* out) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0 ||
      static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX)
    return false;
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  out->data = static_cast<uint8_t*>(view);
  out->size = static_cast<size_t>(size.QuadPart);
  out->mapping = mapping;
  return true;
}

}  // namespace

bool MapExisting(const char* path, MappedFile* out) {
  *out = MappedFile{};
  if (!path || InjectedFault(FaultMap)) return false;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!MapWholeHandle(file, out)) {
    CloseHandle(file);
    *out = MappedFile{};
    return false;
  }
  out->file = FromHandle(file);
  return true;
}

bool MapNew(const char* path, uint32_t size, MappedFile* out) {
  *out = MappedFile{};
  if (!path || size == 0 || InjectedFault(FaultMap)) return false;
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, size, nullptr);
  if (!mapping) {
    CloseHandle(file);
    return false;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    CloseHandle(file);
    return false;
  }
  out->data = static_cast<uint8_t*>(view);
  out->size = size;
  out->mapping = mapping;
  out->file = FromHandle(file);
  return true;
}

bool FlushMapped(const MappedFile* f) {
  if (InjectedFault(FaultWrite)) return false;
  if (!f->data) return true;
  return FlushViewOfFile(f->data, 0) != 0;
}

void Unmap(MappedFile* f) {
  if (f->data) UnmapViewOfFile(f->data);
  if (f->mapping) CloseHandle(static_cast<HANDLE>(f->mapping));
  if (f->file != -1) CloseHandle(AsHandle(f->file));
  *f = MappedFile{};
}

bool MapHostHandle(uintptr_t handle, MappedFile* out) {
  *out = MappedFile{};
  if (InjectedFault(FaultMap)) return false;
  // The host's handle is only borrowed: mapping it neither moves nor closes it,
  // and out->file stays -1 so that Unmap leaves it open.
  if (!MapWholeHandle(reinterpret_cast<HANDLE>(handle), out)) {
    *out = MappedFile{};
    return false;
  }
  return true;
}

long ReadHostHandle(uintptr_t handle, void* buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle), buffer, n, &got, nullptr)) return -1;
  return static_cast<long>(got);
}

bool IsDirectory(const char* path) {
  DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool RemoveFile(const char* path) { return DeleteFileA(path) != 0; }

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool OpenExclusive(const char* path, intptr_t* handle, bool* created) {
  *handle = -1;
  *created = false;
  // Share mode 0 holds the target against every other opener until it is replaced.
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  bool made = h != INVALID_HANDLE_VALUE;
  if (!made && GetLastError() == ERROR_FILE_EXISTS) {
    h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  *handle = FromHandle(h);
  *created = made;
  return true;
}

void CloseFile(intptr_t handle) {
  if (handle != -1) CloseHandle(AsHandle(handle));
}

bool CreateTempFile(const char* dir, const char* prefix, char* out, size_t capacity) {
  if (InjectedFault(FaultTempFile)) return false;
  char name[MAX_PATH];
  if (!GetTempFileNameA(dir, prefix, 0, name)) return false;
  size_t n = strlen(name);
  if (n >= capacity) {
    DeleteFileA(name);
    return false;
  }
  memcpy(out, name, n + 1);
  return true;
}

bool WriteTempFile(const char* dir, const char* prefix, const void* data, size_t size, char* out,
                   size_t capacity) {
  if (!CreateTempFile(dir, prefix, out, capacity)) return false;
  HANDLE f = CreateFileA(out, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = f != INVALID_HANDLE_VALUE;
  const char* bytes = static_cast<const char*>(data);
  for (size_t done = 0; ok && done < size;) {
    DWORD chunk = static_cast<DWORD>(size - done > 0x40000000 ? 0x40000000 : size - done), wrote = 0;
    ok = WriteFile(f, bytes + done, chunk, &wrote, nullptr) && wrote == chunk;
    done += wrote;
  }
  if (f != INVALID_HANDLE_VALUE && !CloseHandle(f)) ok = false;
  if (!ok) {
    DWORD saved = GetLastError();
    DeleteFileA(out);
    SetLastError(saved);
  }
  return ok;
}

bool ReplaceFile(const char* source, const char* target) {
  if (InjectedFault(FaultRename)) return false;
  // One step: the old target stays until the new one takes its name.
  return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace platform
