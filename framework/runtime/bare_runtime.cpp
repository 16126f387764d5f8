// What the C and C++ runtimes would give a plug-in built without them (ARM64):
// the library entry, and the one object of the C++ library the code names.
// The C functions come from ucrtbase.dll, the nothrow new from nothrow_new.cpp.
#include <windows.h>

#include <new>

#include "framework/spi.h"

// The records' size and offset checks in spi.h that held here are the 64-bit ones.
static_assert(!SPI_INTERFACE_32 && SPI_WINDOWS_ARM64, "ARM64 plug-ins speak the 64-bit interface");

const std::nothrow_t std::nothrow{};

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// lld puts the static constructors between a -1 and a 0 here, as the runtime
// expects them. A static object with a destructor would need atexit, which
// nothing supplies: such code fails to link rather than leak at unload.
extern "C" void (*__CTOR_LIST__[])();

namespace {

void RunConstructors() {
  size_t count = 0;
  while (__CTOR_LIST__[count + 1]) ++count;
  // The list runs from the last one linked to the first.
  for (size_t i = count; i > 0; --i) __CTOR_LIST__[i]();
}

}  // namespace

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) RunConstructors();
  return DllMain(instance, reason, reserved);
}
