// Library start-up: a deliverable names its start step (run once when the
// library is attached to a process) and its stop step (run when it is unloaded).
//   SPI_LIBRARY_STARTUP(LoadSettings, nullptr)
#pragma once

#include "framework/spi.h"

namespace spi_startup {
// The module that holds the deliverable (its dialog templates), set at attach.
extern void* ModuleInstance;
}  // namespace spi_startup

#ifdef _WIN32
#define SPI_LIBRARY_STARTUP(startStep, stopStep)                                   \
  extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {        \
    if (reason == DLL_PROCESS_ATTACH) {                                             \
      spi_startup::ModuleInstance = instance;                                       \
      void (*start_)() = (startStep);                                               \
      if (start_) start_();                                                         \
    } else if (reason == DLL_PROCESS_DETACH) {                                      \
      void (*stop_)() = (stopStep);                                                 \
      if (stop_) stop_();                                                           \
    }                                                                               \
    return TRUE;                                                                    \
  }
#else
#define SPI_LIBRARY_STARTUP(startStep, stopStep)                                   \
  __attribute__((constructor)) static void SpiLibraryAttach() {                     \
    static int anchor_;                                                             \
    spi_startup::ModuleInstance = &anchor_;                                         \
    void (*start_)() = (startStep);                                                 \
    if (start_) start_();                                                           \
  }                                                                                 \
  __attribute__((destructor)) static void SpiLibraryDetach() {                      \
    void (*stop_)() = (stopStep);                                                   \
    if (stop_) stop_();                                                             \
  }
#endif
