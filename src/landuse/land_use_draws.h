// The per-call choices of a land use (policy, length, direction,
// category), inline for the rules; the public members CheckPolicy,
// GetRealLength, GetRealDirection and GetProbLandUse answer through these,
// with the same draws.
#pragma once

#include <cstdint>
#include <cstring>

#include "grid/cell_values.h"
#include "platform/draws.h"
#include "platform/per_thread.h"
#include "towngrow/grid/category.h"
#include "towngrow/landuse/land_use.h"

namespace towngrow {
namespace detail {

// One draw RandInt(100) against the policy percentage.
inline bool PolicyPasses(const CLandUse& landUse) { return RandIntOf(100) <= landUse.m_nPolicy; }

// Per-mille tables of GetRealLength depend only on n and the four density
// parameters, so the last few are kept per thread, keyed by exactly those
// values (the doubles by their bits). A host that changes a density
// parameter or asks for another n gets its own table: nothing can be stale.
constexpr int kCachedCandidates = 32;
constexpr int kCachedTables = 4;

struct LengthTable {
  int n;
  int law;
  std::uint64_t a, b, c;
  bool filled;
  int perMille[kCachedCandidates];
};

struct LengthTables {
  LengthTable slots[kCachedTables];
  int next;     // slot to replace on the next miss
  int lastHit;  // slot of the last look-up that found its table
};

// This thread's tables, zeroed on first use: no slot is filled.
inline LengthTables& ThreadLengthTables() { return PerThread<LengthTables>(); }

inline std::uint64_t BitsOf(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

// The filled table for these parameters, or null: the slot of the last hit
// first, then the others.
inline const int* FindLengthTable(int n, int law, double a, double b, double c) {
  LengthTables& tables = ThreadLengthTables();
  const std::uint64_t ba = BitsOf(a), bb = BitsOf(b), bc = BitsOf(c);
  const LengthTable& last = tables.slots[tables.lastHit];
  if (last.filled && last.n == n && last.law == law && last.a == ba && last.b == bb && last.c == bc)
    return last.perMille;
  for (int k = 0; k < kCachedTables; ++k) {
    const LengthTable& t = tables.slots[k];
    if (t.filled && t.n == n && t.law == law && t.a == ba && t.b == bb && t.c == bc) {
      tables.lastHit = k;
      return t.perMille;
    }
  }
  return nullptr;
}

// GetRealLength(n) when the table is not cached: computes (and for short
// tables caches) the per-mille weights, then draws.
int DrawLengthUncached(const CLandUse& landUse, int n);

// GetRealLength(n): 0 without a draw for n <= 1, else the draws over the
// n - 1 per-mille weights of the density law, plus one.
inline int RealLengthOf(const CLandUse& landUse, int n) {
  if (n <= 1) return 0;  // GetMaxIndex over n - 1 < 1 entries: -1, no draw
  if (const int* perMille = FindLengthTable(n, landUse.m_nDensityType, landUse.m_dDensityScale,
                                            landUse.m_dDensityRate, landUse.m_dDensityPower))
    return MaxIndexOf(perMille, n - 1) + 1;
  return DrawLengthUncached(landUse, n);
}

// The direction 0..7: eight draws over the direction weights.
inline int DirectionOf(const CLandUse& landUse) { return MaxIndexOf(landUse.m_nDirectionProb, 8); }

// Housing, industry or commerce: three draws over the land-use weights.
inline LandUseCategory ProbLandUseOf(const CLandUse& landUse) {
  return CategoryOfInt(MaxIndexOf(landUse.m_nLandUseProb, 3) + 3);
}

}  // namespace detail
}  // namespace towngrow
