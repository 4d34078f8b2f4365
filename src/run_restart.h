// A driver reused run after run from one start (the calibration's runs):
// the first run starts as StartRun starts it; the driver then notes the
// blocks of 64 cells into which its steps write, so the next run from the
// same start puts back only those blocks (values and ages, in both
// coverages), the block flags and
// the cell counts the first step took of the start, instead of sizing,
// copying, counting and flagging the whole grid again. The state each run
// starts from, and so every draw and write of its steps, is the one
// StartRun gives.
//
// The restart falls back to StartRun when it cannot know what changed: the
// first time, another start or background, a start of another shape, a
// step whose writes went past the log (a host's rule, an overflowing log),
// an edit by the host (the non-const Current(), MarkEdited), Init. The
// start must not change between the runs that share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "towngrow/simulation.h"

namespace towngrow::detail {

struct RunRestart {
  // Starts a run from `start` under `set` (the driver's set from now on;
  // it must outlive the run) and `background`; returns the current
  // coverage, for reading. `kind` names the run in errors.
  static const CLandUseCoverage& Start(Simulation& sim, const CLandUseCoverage& start,
                                       CLandUseSet* set, const CGrid* background,
                                       const std::string& kind);
  // A bit per block of 64 cells (bit b % 64 of word b / 64 for the cells
  // 64 b to 64 b + 63, in buffer order) set for the blocks in which the
  // state may differ from the start of the last Start, or null when the
  // driver cannot tell.
  static const std::vector<std::uint64_t>* ChangedSinceStart(const Simulation& sim);
};

}  // namespace towngrow::detail
