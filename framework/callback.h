// Deliverables' callbacks run inside the framework's resource handling; an
// exception from one must become a result code there, never cross an export.
// The Windows plug-ins are built without exceptions (nothing in them throws:
// every allocation reports failure by a null pointer), so there is nothing to catch.
#pragma once

#include <new>

#include "framework/spi.h"

// call's result, or onThrow when it throws.
template <typename Call>
int CallOr(int onThrow, Call call) {
#if __cpp_exceptions
  try {
    return call();
  } catch (...) {
    return onThrow;
  }
#else
  (void)onThrow;
  return call();
#endif
}

template <typename Call>
int CallGuarded(Call call) {
#if __cpp_exceptions
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return ResultNoMemory;
  } catch (...) {
    return ResultInternalError;
  }
#else
  return call();
#endif
}
