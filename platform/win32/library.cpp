// Libraries loaded at run time.
#include <windows.h>
#include <string.h>

#include "platform/platform.h"

namespace platform {

void* OpenLibrary(const char* path) { return LoadLibraryA(path); }

void* FindSymbol(void* library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

bool ModulePath(const void* address, char* out, size_t capacity) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module))
    return false;
  if (capacity == 0 || capacity > MAXDWORD) return false;
  DWORD n = GetModuleFileNameA(module, out, static_cast<DWORD>(capacity));
  // A result equal to the capacity means the path was cut.
  return n > 0 && n < capacity;
}

}  // namespace platform
