#include "run_restart.h"

#include <algorithm>

#include "run_start.h"
#include "step_tracking.h"

namespace towngrow::detail {

namespace {

// Puts back the start's values and ages in the blocks written since, in
// both coverages, and clears their marks.
void PutBack(const CLandUseCoverage& start, std::vector<std::uint64_t>& written,
             CLandUseCoverage& a, CLandUseCoverage& b) {
  const std::size_t n = CellsOf(start);
  for (std::size_t w = 0; w < written.size(); ++w) {
    for (std::uint64_t bits = written[w]; bits != 0; bits &= bits - 1) {
      const std::size_t first = (w * 64 + LowestBit(bits)) * kBlock;
      const std::size_t count = std::min(kBlock, n - first);
      std::copy_n(start.m_pData + first, count, a.m_pData + first);
      std::copy_n(start.m_pData + first, count, b.m_pData + first);
      if (start.m_pCellAge != nullptr) {
        std::copy_n(start.m_pCellAge + first, count, a.m_pCellAge + first);
        std::copy_n(start.m_pCellAge + first, count, b.m_pCellAge + first);
      } else {
        std::fill_n(a.m_pCellAge + first, count, short{0});
        std::fill_n(b.m_pCellAge + first, count, short{0});
      }
    }
    written[w] = 0;
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
    since.written.assign((n + kBlock * 64 - 1) / (kBlock * 64), 0);
    since.start = &start;
    since.background = background;
    return *sim.cur_;
  }
  PutBack(start, since.written, cur, next);
  t.blocks = since.startBlocks;
  t.visit = since.startVisit;
  t.counts = since.startCounts;
  t.allowedFor = since.startAllowedFor;
  t.allowed = since.startAllowed;
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

const std::vector<std::uint64_t>* RunRestart::ChangedSinceStart(const Simulation& sim) {
  const Simulation::Tracking::Since& since = sim.track_->since;
  return since.recording && !since.lost ? &since.written : nullptr;
}

}  // namespace towngrow::detail
