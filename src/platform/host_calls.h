// A count of the calls into host code that the library makes on this
// thread (message handlers), so that a cache trusted across library code
// can tell that a host may have changed something since.
#pragma once

#include <cstdint>

namespace towngrow {
namespace detail {

inline thread_local std::uint64_t t_hostCalls = 0;

}  // namespace detail
}  // namespace towngrow
