// Per-thread caches of the library (the category table, the length draws'
// tables): PerThread<T>() is this thread's zero-initialised T.
//
// Built for a shared object loaded at run time (the Python module), with
// TOWNGROW_HEAP_THREAD_CACHES defined, they live on the heap behind a
// per-thread pointer: such an object gets its thread-locals into the static
// TLS block only while they are small (a few hundred bytes); otherwise
// every access to any of them, the generator's state and the write log
// included, goes through a call into the dynamic loader. Elsewhere they are
// plain thread-locals, trivially initialised (no guard).
#pragma once

#ifdef TOWNGROW_HEAP_THREAD_CACHES
#include <memory>
#endif

namespace towngrow {
namespace detail {

#ifdef TOWNGROW_HEAP_THREAD_CACHES
// Made on the thread's first use, freed when the thread ends.
template <class T>
T* MakePerThread() {
  thread_local std::unique_ptr<T> owner;
  owner.reset(new T());
  return owner.get();
}

template <class T>
T& PerThread() {
  thread_local T* t_object = nullptr;
  if (t_object == nullptr) t_object = MakePerThread<T>();
  return *t_object;
}
#else
template <class T>
T& PerThread() {
  thread_local T t_object{};
  return t_object;
}
#endif

}  // namespace detail
}  // namespace towngrow
