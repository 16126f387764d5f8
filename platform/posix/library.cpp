// Shared objects loaded at run time.
#include <dlfcn.h>
#include <string.h>

#include "platform/platform.h"

namespace platform {

void* OpenLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void* FindSymbol(void* library, const char* name) {
  return library ? dlsym(library, name) : nullptr;
}

void CloseLibrary(void* library) {
  if (library) dlclose(library);
}

bool ModulePath(const void* address, char* out, size_t capacity) {
  Dl_info info;
  if (!dladdr(address, &info) || !info.dli_fname || capacity == 0) return false;
  size_t n = strlen(info.dli_fname);
  if (n >= capacity) return false;
  memcpy(out, info.dli_fname, n + 1);
  return true;
}

}  // namespace platform
