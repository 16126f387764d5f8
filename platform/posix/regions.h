// What the POSIX side of the platform layer shares between its files: the
// regions whose bounds the process knows, and its own process id.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace platform {

// The recorded region that holds address a, if any: [*lo, *hi). Asks no system call.
bool FindKnownRegion(uintptr_t a, uintptr_t* lo, uintptr_t* hi);
// getpid() without a system call each time; right in a forked child as well.
pid_t OwnProcessId();

}  // namespace platform
