// Stands in for the platform's registry until that layer provides it; only
// built when platform/<system>/registry.cpp is missing.
#include "platform/platform.h"

namespace platform {
bool RegistryWriteDword(const char*, const char*, uint32_t) { return false; }
}  // namespace platform
