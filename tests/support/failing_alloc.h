// Array allocations of the including test program go through malloc/free,
// so that a test can make a chosen non-throwing array allocation fail (the
// library allocates its cell and age buffers that way). Include in one
// source file of a program only: it replaces the global operators.
#pragma once

#include <cstdlib>
#include <new>

namespace testkit {
// Fail the non-throwing array allocation after this many more; -1: never.
inline int g_failNothrowArrayIn = -1;

// Runs f with the allocation after `skip` more failing, then restores.
template <class F>
auto WithFailingAllocation(int skip, F f) {
  g_failNothrowArrayIn = skip;
  struct Reset {
    ~Reset() { g_failNothrowArrayIn = -1; }
  } reset;
  return f();
}
}  // namespace testkit

void* operator new[](std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  if (testkit::g_failNothrowArrayIn == 0) {
    testkit::g_failNothrowArrayIn = -1;
    return nullptr;
  }
  if (testkit::g_failNothrowArrayIn > 0) --testkit::g_failNothrowArrayIn;
  return std::malloc(n ? n : 1);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
