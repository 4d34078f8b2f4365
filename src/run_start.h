// How the ensemble runner and the calibration start a run: the driver sized
// to the start, holding its cells, ages and geometry, linked to the run's
// own set, under the background. Both start run i alike, so that
// `towngrow run --seed S + i*K` repeats either's run i.
#pragma once

#include <stdexcept>
#include <string>

#include "towngrow/simulation.h"

namespace towngrow::detail {

// `kind` names the run in errors ("ensemble", "calibration").
inline CLandUseCoverage& StartRun(Simulation& sim, const CLandUseCoverage& start, CLandUseSet* set,
                                  const CGrid* background, const std::string& kind) {
  if (!sim.Init(start.m_nRows, start.m_nCols))
    throw std::runtime_error("not enough memory for the " + kind + "'s runs of " +
                             std::to_string(start.m_nRows) + " x " + std::to_string(start.m_nCols) +
                             " cells");
  CLandUseCoverage& cur = sim.Current();
  if (!cur.CopyValueFromCoverage(&start))
    throw std::runtime_error("the " + kind + "'s start could not be copied");
  cur.m_dCellSize = start.m_dCellSize;
  cur.m_dXllCorner = start.m_dXllCorner;
  cur.m_dYllCorner = start.m_dYllCorner;
  cur.m_nNoDataValue = start.m_nNoDataValue;
  cur.m_pLandUseSet = set;
  sim.SetBackground(background);
  return cur;
}

}  // namespace towngrow::detail
