// The generator's state and the model's draws, inline for the library's
// hot paths. Every function here takes exactly the draws of its public
// counterpart (RandomDraw, RandInt, GetMaxIndex) in the same order and
// gives the same result; only the call per draw is saved. Loops keep the
// state in a local and store it back once.
#pragma once

#include <cstdint>

namespace towngrow {
namespace detail {

// The state of RandomDraw's sequence on this thread (1 until seeded).
inline thread_local std::uint32_t t_randomState = 1;

inline std::uint32_t NextState(std::uint32_t s) { return s * 214013u + 2531011u; }
inline int DrawOf(std::uint32_t s) { return static_cast<int>((s >> 16) & 0x7FFFu); }

inline int Draw() {
  const std::uint32_t s = NextState(t_randomState);
  t_randomState = s;
  return DrawOf(s);
}

// RandInt: 0 without a draw for n == 0, else draw % n + 1 (the draw is never
// negative, so neither is the remainder; n == INT_MIN leaves the draw).
inline int RandIntOf(int n) { return n == 0 ? 0 : Draw() % n + 1; }

// GetMaxIndex for nCount >= 1 entries: the index of the largest of the
// draws RandInt(weights[i]), ties to the first.
inline int MaxIndexOf(const int* weights, int nCount) {
  std::uint32_t s = t_randomState;
  int best = -32767;
  int index = -1;
  for (int i = 0; i < nCount; ++i) {
    const int w = weights[i];
    int d = 0;
    if (w != 0) {
      s = NextState(s);
      d = DrawOf(s) % w + 1;
    }
    if (d > best) {
      best = d;
      index = i;
    }
  }
  t_randomState = s;
  return index;
}

}  // namespace detail
}  // namespace towngrow
