// Linked into the Windows plug-ins only. They allocate with new only in its
// nothrow forms, and the runtime's own nothrow forms call the throwing ones and
// catch, which would link the whole exception machinery into every plug-in:
// these ask malloc directly and, like the runtime's, answer failure with null.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
