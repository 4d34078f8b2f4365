#include "towngrow/platform/random.h"

#include <cstdint>

namespace towngrow {
namespace {
thread_local std::uint32_t g_state = 1;
}

void SeedRandom(unsigned int seed) { g_state = seed; }

int RandomDraw() {
  g_state = g_state * 214013u + 2531011u;
  return static_cast<int>((g_state >> 16) & 0x7FFFu);
}

}  // namespace towngrow
