// Files, mappings and directories through kernel32.
#include <windows.h>
#include <string.h>

#include <string>

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

// The A and W forms of the file calls, so that each operation below is
// written once for narrow and UTF-16 paths.
HANDLE Create(const char* p, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileA(p, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE Create(const wchar_t* p, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileW(p, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}
DWORD Attributes(const char* p) { return GetFileAttributesA(p); }
DWORD Attributes(const wchar_t* p) { return GetFileAttributesW(p); }
BOOL MakeDir(const char* p) { return CreateDirectoryA(p, nullptr); }
BOOL MakeDir(const wchar_t* p) { return CreateDirectoryW(p, nullptr); }
BOOL Delete(const char* p) { return DeleteFileA(p); }
BOOL Delete(const wchar_t* p) { return DeleteFileW(p); }
BOOL Move(const char* a, const char* b) { return MoveFileExA(a, b, MOVEFILE_REPLACE_EXISTING); }
BOOL Move(const wchar_t* a, const wchar_t* b) {
  return MoveFileExW(a, b, MOVEFILE_REPLACE_EXISTING);
}
UINT TempName(const char* dir, const char* prefix, char* out) {
  return GetTempFileNameA(dir, prefix, 0, out);
}
UINT TempName(const wchar_t* dir, const char* prefix, wchar_t* out) {
  wchar_t wide[8] = {};
  for (int i = 0; i < 7 && prefix[i]; ++i) wide[i] = static_cast<unsigned char>(prefix[i]);
  return GetTempFileNameW(dir, wide, 0, out);
}

template <class C>
bool MapExistingAt(const C* path, MappedFile* out) {
  *out = MappedFile{};
  if (!path || InjectedFault(FaultMap)) return false;
  HANDLE file = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!MapWholeHandle(file, out)) {
    CloseHandle(file);
    *out = MappedFile{};
    return false;
  }
  out->file = FromHandle(file);
  return true;
}

template <class C>
bool MapNewAt(const C* path, uint32_t size, MappedFile* out) {
  *out = MappedFile{};
  if (!path || size == 0 || InjectedFault(FaultMap)) return false;
  HANDLE file = Create(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
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

template <class C>
bool IsDirectoryAt(const C* path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

template <class C>
bool OpenExclusiveAt(const C* path, intptr_t* handle, bool* created) {
  *handle = -1;
  *created = false;
  // Share mode 0 holds the target against every other opener until it is replaced.
  HANDLE h = Create(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  bool made = h != INVALID_HANDLE_VALUE;
  if (!made && GetLastError() == ERROR_FILE_EXISTS)
    h = Create(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return false;
  *handle = FromHandle(h);
  *created = made;
  return true;
}

template <class C>
bool CreateTempFileIn(const C* dir, const char* prefix, C* out, size_t capacity) {
  if (InjectedFault(FaultTempFile)) return false;
  C name[MAX_PATH];
  if (!TempName(dir, prefix, name)) return false;
  size_t n = std::char_traits<C>::length(name);
  if (n >= capacity) {
    Delete(name);
    return false;
  }
  memcpy(out, name, (n + 1) * sizeof(C));
  return true;
}

template <class C>
bool ReplaceFileAt(const C* source, const C* target) {
  if (InjectedFault(FaultRename)) return false;
  // One step: the old target stays until the new one takes its name.
  return Move(source, target) != 0;
}

}  // namespace

bool MapExisting(const char* path, MappedFile* out) { return MapExistingAt(path, out); }
bool MapExisting(const wchar_t* path, MappedFile* out) { return MapExistingAt(path, out); }
bool MapNew(const char* path, uint32_t size, MappedFile* out) { return MapNewAt(path, size, out); }
bool MapNew(const wchar_t* path, uint32_t size, MappedFile* out) {
  return MapNewAt(path, size, out);
}
bool IsDirectory(const char* path) { return IsDirectoryAt(path); }
bool IsDirectory(const wchar_t* path) { return IsDirectoryAt(path); }
bool MakeDirectory(const char* path) { return MakeDir(path) != 0; }
bool MakeDirectory(const wchar_t* path) { return MakeDir(path) != 0; }
bool RemoveFile(const char* path) { return Delete(path) != 0; }
bool RemoveFile(const wchar_t* path) { return Delete(path) != 0; }
bool OpenExclusive(const char* path, intptr_t* handle, bool* created) {
  return OpenExclusiveAt(path, handle, created);
}
bool OpenExclusive(const wchar_t* path, intptr_t* handle, bool* created) {
  return OpenExclusiveAt(path, handle, created);
}
bool CreateTempFile(const char* dir, const char* prefix, char* out, size_t capacity) {
  return CreateTempFileIn(dir, prefix, out, capacity);
}
bool CreateTempFile(const wchar_t* dir, const char* prefix, wchar_t* out, size_t capacity) {
  return CreateTempFileIn(dir, prefix, out, capacity);
}
bool ReplaceFile(const char* source, const char* target) { return ReplaceFileAt(source, target); }
bool ReplaceFile(const wchar_t* source, const wchar_t* target) {
  return ReplaceFileAt(source, target);
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

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void CloseFile(intptr_t handle) {
  if (handle != -1) CloseHandle(AsHandle(handle));
}

namespace {

template <class C>
bool WriteTempFileIn(const C* dir, const char* prefix, const void* data, size_t size, C* out,
                     size_t capacity) {
  if (!CreateTempFileIn(dir, prefix, out, capacity)) return false;
  HANDLE f = Create(out, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
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
    Delete(out);
    SetLastError(saved);
  }
  return ok;
}

}  // namespace

bool WriteTempFile(const char* dir, const char* prefix, const void* data, size_t size, char* out,
                   size_t capacity) {
  return WriteTempFileIn(dir, prefix, data, size, out, capacity);
}
bool WriteTempFile(const wchar_t* dir, const char* prefix, const void* data, size_t size,
                   wchar_t* out, size_t capacity) {
  return WriteTempFileIn(dir, prefix, data, size, out, capacity);
}

}  // namespace platform
