// Large per-thread caches on the heap, with only a pointer in thread-local
// storage. A shared object loaded at run time (the Python module) gets its
// thread-locals into the static TLS block only while they are small (a few
// hundred bytes); otherwise every access to any of them, the generator's
// state and the write log included, goes through a call into the dynamic
// loader. Kept small, the library's thread-locals cost a module what they
// cost an executable.
#pragma once

#include <memory>

namespace towngrow {
namespace detail {

// A value-initialised (zeroed) T of this thread, made on first use and
// freed when the thread ends.
template <class T>
T* MakePerThread() {
  thread_local std::unique_ptr<T> owner;
  owner.reset(new T());
  return owner.get();
}

template <class T>
T& PerThread() {
  thread_local T* t_object = nullptr;  // trivially initialised: no guard
  if (t_object == nullptr) t_object = MakePerThread<T>();
  return *t_object;
}

}  // namespace detail
}  // namespace towngrow
