#include "run_restart.h"

#include "run_start.h"
#include "step_tracking.h"

namespace towngrow::detail {

namespace {

// Puts back the start's values and ages in the cells written since, in
// both coverages.
void PutBack(const CLandUseCoverage& start, const std::vector<std::uint32_t>& cells,
             CLandUseCoverage& a, CLandUseCoverage& b) {
  const unsigned char* value = start.m_pData;
  const short* age = start.m_pCellAge;
  for (const std::uint32_t i : cells) {
    const short was = age != nullptr ? age[i] : 0;
    a.m_pData[i] = b.m_pData[i] = value[i];
    a.m_pCellAge[i] = b.m_pCellAge[i] = was;
  }
}

}  // namespace

const CLandUseCoverage& RunRestart::Start(Simulation& sim, const CLandUseCoverage& start,
                                          CLandUseSet* set, const CGrid* background,
                                          const std::string& kind) {
  Simulation::Tracking& t = *sim.track_;
  Simulation::Tracking::Since& since = t.since;
  CLandUseCoverage& cur = *sim.cur_;
  CLandUseCoverage& next = *sim.next_;
  const bool again = since.recording && !since.lost && since.haveStart && since.start == &start &&
                     since.background == background && !t.full && cur.m_pData != nullptr &&
                     cur.m_pCellAge != nullptr && next.m_pData != nullptr &&
                     next.m_pCellAge != nullptr && cur.m_nRows == start.m_nRows &&
                     cur.m_nCols == start.m_nCols && next.m_nRows == start.m_nRows &&
                     next.m_nCols == start.m_nCols;
  sim.set_ = set;
  if (!again) {
    StartRun(sim, start, set, background, kind);
    const std::size_t n = CellsOf(*sim.cur_);
    since = Simulation::Tracking::Since();
    since.recording = n <= UINT32_MAX;
    since.seen.assign((n + 63) / 64, 0);
    since.start = &start;
    since.background = background;
    return *sim.cur_;
  }
  PutBack(start, since.cells, cur, next);
  for (const std::uint32_t i : since.cells) since.seen[i / 64] = 0;
  since.cells.clear();
  t.blocks = since.startBlocks;
  t.visit = since.startVisit;
  t.counts = since.startCounts;
  t.curData = cur.m_pData;
  t.nextData = next.m_pData;
  t.countedData = nullptr;
  cur.m_pLandUseSet = set;
  next.m_pLandUseSet = set;
  sim.report_ = StepReport();
  sim.report_.cellsPerId = t.counts;
  sim.report_.developments.assign(static_cast<std::size_t>(set->m_LandUseArray.GetSize()), 0);
  return cur;
}

const std::vector<std::uint32_t>* RunRestart::ChangedSinceStart(const Simulation& sim) {
  const Simulation::Tracking::Since& since = sim.track_->since;
  return since.recording && !since.lost ? &since.cells : nullptr;
}

}  // namespace towngrow::detail
