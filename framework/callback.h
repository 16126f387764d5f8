// Deliverables' callbacks run inside the framework's resource handling; an
// exception from one must become a result code there, never cross an export.
#pragma once

#include <new>

#include "framework/spi.h"

template <typename Call>
int CallGuarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return ResultNoMemory;
  } catch (...) {
    return ResultInternalError;
  }
}
