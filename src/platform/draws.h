// The generator's state and the model's draws, inline for the library's
// hot paths. Every function here takes exactly the draws of its public
// counterpart (RandomDraw, RandInt, GetMaxIndex) in the same order and
// gives the same result; only the call per draw is saved. Loops keep the
// state in a local and store it back once.
#pragma once

#include <cstdint>

#if defined(__GNUC__) || defined(__clang__)
#define TOWNGROW_LIKELY(x) __builtin_expect(!!(x), 1)
#else
#define TOWNGROW_LIKELY(x) (x)
#endif

namespace towngrow {
namespace detail {

// The state of RandomDraw's sequence on this thread (1 until seeded).
inline thread_local std::uint32_t t_randomState = 1;

inline std::uint32_t NextState(std::uint32_t s) { return s * 214013u + 2531011u; }
inline int DrawOf(std::uint32_t s) { return static_cast<int>((s >> 16) & 0x7FFFu); }

// Remainders of a draw by small divisors without the hardware division
// (about 5 % of a town's step once the draws no longer branch). With
// m = ceil(2^32 / w), ((m * d) mod 2^32) * w / 2^32 is exactly d % w for
// every d and w below 2^16 (Lemire, Kaser and Kurz, "Faster remainder by
// direct computation", 2019); here d is a draw (below 2^15) and w a divisor
// 1..kSmallDivisors - 1, whose m stands in a table built at compile time
// (m of 1 wraps to 0, and 0 is the remainder). Larger, zero or negative
// divisors take the division.
constexpr int kSmallDivisors = 1024;

struct SmallDivisors {
  std::uint32_t m[kSmallDivisors];
  constexpr SmallDivisors() : m() {
    for (int w = 1; w < kSmallDivisors; ++w)
      m[w] = 0xFFFFFFFFu / static_cast<std::uint32_t>(w) + 1u;
  }
};
inline constexpr SmallDivisors kSmallDivisorTable{};

// draw % w for a draw 0..32767 and any w but 0.
inline int RemainderOf(int draw, int w) {
  if (TOWNGROW_LIKELY(static_cast<unsigned>(w) < static_cast<unsigned>(kSmallDivisors))) {
    const std::uint32_t low =
        kSmallDivisorTable.m[w] * static_cast<std::uint32_t>(draw);  // mod 2^32
    return static_cast<int>((static_cast<std::uint64_t>(low) * static_cast<std::uint32_t>(w)) >>
                            32);
  }
  return draw % w;
}

inline int Draw() {
  const std::uint32_t s = NextState(t_randomState);
  t_randomState = s;
  return DrawOf(s);
}

// RandInt: 0 without a draw for n == 0, else draw % n + 1 (the draw is never
// negative, so neither is the remainder; n == INT_MIN leaves the draw).
inline int RandIntOf(int n) { return n == 0 ? 0 : RemainderOf(Draw(), n) + 1; }

// GetMaxIndex for nCount >= 1 entries: the index of the largest of the
// draws RandInt(weights[i]), ties to the first. The draws lie in 0..32768,
// above GetMaxIndex's start of -32767, so entry 0 always takes the lead.
// The largest is kept as one key, the draw above the complement of the
// index, so that a plain maximum (no branch on random draws to mispredict)
// keeps the first of equal draws.
inline int MaxIndexOf(const int* weights, int nCount) {
  std::uint32_t s = t_randomState;
  std::uint64_t best = 0;
  for (int i = 0; i < nCount; ++i) {
    const int w = weights[i];
    std::uint64_t d = 0;
    if (w != 0) {
      s = NextState(s);
      d = static_cast<std::uint64_t>(RemainderOf(DrawOf(s), w) + 1);
    }
    const std::uint64_t key = d << 32 | (0xFFFFFFFFu - static_cast<std::uint32_t>(i));
    best = key > best ? key : best;
  }
  t_randomState = s;
  return static_cast<int>(0xFFFFFFFFu - static_cast<std::uint32_t>(best));
}

}  // namespace detail
}  // namespace towngrow
