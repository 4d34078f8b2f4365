// The per-call choices of a land use (policy, direction, category), inline
// for the rules; the public members CheckPolicy, GetRealDirection and
// GetProbLandUse answer through these, with the same draws.
#pragma once

#include "platform/draws.h"
#include "towngrow/grid/category.h"
#include "towngrow/landuse/land_use.h"

namespace towngrow {
namespace detail {

// One draw RandInt(100) against the policy percentage.
inline bool PolicyPasses(const CLandUse& landUse) { return RandIntOf(100) <= landUse.m_nPolicy; }

// The direction 0..7: eight draws over the direction weights.
inline int DirectionOf(const CLandUse& landUse) { return MaxIndexOf(landUse.m_nDirectionProb, 8); }

// Housing, industry or commerce: three draws over the land-use weights.
inline LandUseCategory ProbLandUseOf(const CLandUse& landUse) {
  return IntToCategory(MaxIndexOf(landUse.m_nLandUseProb, 3) + 3);
}

}  // namespace detail
}  // namespace towngrow
