// Library start-up. The library entry runs under the system's loader lock, so
// it only records the module: reading the registry or loading another library
// there can deadlock. The deliverable's start step (its settings, Quibbet's
// binding to Morvane) runs at the first export call that needs it instead:
//   StartOnce(LoadSettings);           at the top of such an export
//   SPI_LIBRARY_ENTRY(nullptr)         once per library, with its stop step
#pragma once

#include "framework/spi.h"

namespace spi_startup {
// The module that holds the deliverable (its dialog templates), set at attach.
extern void* ModuleInstance;
// True once the start step has run (the stop step only undoes a start).
bool Started();
}  // namespace spi_startup

// Runs step the first time any caller in this library asks; a caller that
// comes while another thread runs it waits until it has run. A library has one
// start step, which every caller names.
void StartOnce(void (*step)());

#ifdef _WIN32
// At process exit (reserved not null) nothing is released: the process takes
// every library with it, and a release there could run into a library the
// system has already let go. A library unloaded by FreeLibrary runs its stop step.
#define SPI_LIBRARY_ENTRY(stopStep)                                                  \
  extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { \
    if (reason == DLL_PROCESS_ATTACH) {                                              \
      spi_startup::ModuleInstance = instance;                                        \
    } else if (reason == DLL_PROCESS_DETACH && !reserved && spi_startup::Started()) { \
      void (*stop_)() = (stopStep);                                                  \
      if (stop_) stop_();                                                            \
    }                                                                                \
    return TRUE;                                                                     \
  }
#else
#define SPI_LIBRARY_ENTRY(stopStep)                                                  \
  __attribute__((constructor)) static void SpiLibraryAttach() {                      \
    static int anchor_;                                                              \
    spi_startup::ModuleInstance = &anchor_;                                          \
  }                                                                                  \
  __attribute__((destructor)) static void SpiLibraryDetach() {                       \
    void (*stop_)() = (stopStep);                                                    \
    if (stop_ && spi_startup::Started()) stop_();                                    \
  }
#endif
