#include "framework/startup.h"

#include "platform/platform.h"

namespace {

enum StartState : long { NotStarted = 0, Starting = 1, StartDone = 2 };
volatile long State = NotStarted;

}  // namespace

namespace spi_startup {
void* ModuleInstance = nullptr;

bool Started() { return platform::CompareExchange(&State, StartDone, StartDone) == StartDone; }
}  // namespace spi_startup

void StartOnce(void (*step)()) {
  if (platform::CompareExchange(&State, Starting, NotStarted) == NotStarted) {
    // A start step reads settings or binds a library; neither may stop an
    // export, so a failure inside leaves the defaults it set.
#if __cpp_exceptions
    try {
      if (step) step();
    } catch (...) {
    }
#else
    if (step) step();
#endif
    platform::CompareExchange(&State, StartDone, Starting);
    return;
  }
  while (!spi_startup::Started()) platform::YieldThread();
}
