// Helpers for hosts that read or copy a set of land uses without reaching
// into its array.
//
// Choices of ours:
// - LandUseAt throws std::out_of_range for a position outside the array
//   and for a null entry (a host may store one), naming the position.
// - DistinctIdPositions lists, in array order, the position of the first
//   land use holding each ID: the entries GetIDIndex answers with. Null
//   entries and later land uses with an ID already listed are left out.
// - CopyLandUseSet makes a set of its own (it owns the copies) holding, at
//   the same positions, a copy of every land use with all its fields, of
//   the same class; null entries stay null. A land use of a host's own
//   class cannot be copied by the library: std::invalid_argument naming
//   its position, and no set.
#pragma once

#include <memory>
#include <vector>

#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"

namespace towngrow {

const CLandUse& LandUseAt(const CLandUseSet& set, int index);
CLandUse& LandUseAt(CLandUseSet& set, int index);

std::vector<int> DistinctIdPositions(const CLandUseSet& set);

std::unique_ptr<CLandUseSet> CopyLandUseSet(const CLandUseSet& set);

}  // namespace towngrow
