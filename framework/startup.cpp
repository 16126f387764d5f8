#include "framework/startup.h"

namespace spi_startup {
void* ModuleInstance = nullptr;
}  // namespace spi_startup
