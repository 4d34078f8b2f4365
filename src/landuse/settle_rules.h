// The settlement rules beyond the street-driven ones (towngrow/scenario.h,
// SettleByRules), with what the step driver knows that spares it a scan of
// the grid. Given the same coverages, both ways take the same draws and
// write the same cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "grid/write_log.h"
#include "landuse/suitability_gate.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/scenario.h"

namespace towngrow::detail {

struct SettleHints {
  // A bit per 64 cells (buffer order) for the blocks that may hold a
  // developed cell of `cur`; null: every block.
  const std::vector<std::uint64_t>* developedBlocks = nullptr;
  // The log of the cells written into `next` this step, still filled as
  // the rules write (the driver's); null, or a log that overflowed: every
  // cell is compared.
  const WriteLog* log = nullptr;
};

// True when a land use of the set settles by one of the rules.
bool AnySettleRule(const CLandUseSet& set);

// The rules for one step; `gate` (may be null) tests the settled cells.
SettleCounts Settle(const CLandUseCoverage& cur, CLandUseCoverage& next, const CGrid* background,
                    SuitabilityGate* gate, const SettleHints& hints);

}  // namespace towngrow::detail
