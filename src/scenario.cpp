// Scenarios: the schedule's look-ups, painting, the suitability scope and
// the settlement rules for a host's own loop (towngrow/scenario.h).
#include "towngrow/scenario.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "landuse/settle_rules.h"
#include "landuse/suitability_gate.h"

namespace towngrow {

namespace {

void CheckSurface(const Suitability& s, int rows, int cols, const std::string& what) {
  if (s.rows != rows || s.cols != cols ||
      s.values.size() != static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols))
    throw std::invalid_argument(what + " has " + std::to_string(s.rows) + " x " +
                                std::to_string(s.cols) + " cells, the grid " +
                                std::to_string(rows) + " x " + std::to_string(cols));
  for (const float v : s.values)
    if (!(v >= 0.0f && v <= 1.0f))
      throw std::invalid_argument(what + " holds a value outside 0 to 1");
}

}  // namespace

void CheckScenario(const Scenario& scenario, int rows, int cols) {
  if (scenario.suitability) CheckSurface(*scenario.suitability, rows, cols, "the suitability");
  long last = 0;
  const std::uint64_t cells = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols);
  for (const ScheduleEntry& e : scenario.schedule) {
    const std::string what = "the schedule's entry of step " + std::to_string(e.step);
    if (e.step < 1) throw std::invalid_argument(what + ": steps start at 1");
    if (e.step <= last)
      throw std::invalid_argument(what + ": entries go by rising steps, one per step");
    last = e.step;
    if (e.suitability) CheckSurface(*e.suitability, rows, cols, what + "'s suitability");
    if (e.background && (e.background->m_nRows != rows || e.background->m_nCols != cols))
      throw std::invalid_argument(what + "'s background is not of the grid's size");
    const PaintedCells& p = e.paint;
    if (p.cells.size() != p.ids.size())
      throw std::invalid_argument(what + " paints cells and IDs of different numbers");
    for (std::size_t i = 0; i < p.cells.size(); ++i)
      if (p.cells[i] >= cells || (i > 0 && p.cells[i] <= p.cells[i - 1]))
        throw std::invalid_argument(what + " paints cells out of order or beyond the grid");
  }
}

const ScheduleEntry* EntryAt(const Scenario* scenario, long step) {
  if (scenario == nullptr) return nullptr;
  for (const ScheduleEntry& e : scenario->schedule)
    if (e.step == step) return &e;
  return nullptr;
}

const CGrid* BackgroundAt(const Scenario* scenario, long step, const CGrid* background) {
  if (scenario == nullptr) return background;
  for (const ScheduleEntry& e : scenario->schedule)
    if (e.step <= step && e.background) background = e.background.get();
  return background;
}

const Suitability* SuitabilityAt(const Scenario* scenario, long step) {
  if (scenario == nullptr) return nullptr;
  const Suitability* surface = scenario->suitability.get();
  for (const ScheduleEntry& e : scenario->schedule)
    if (e.step <= step && e.suitability) surface = e.suitability.get();
  return surface;
}

void PaintEntry(const ScheduleEntry& entry, CLandUseCoverage& cov) {
  const std::size_t n =
      static_cast<std::size_t>(cov.m_nRows) * static_cast<std::size_t>(cov.m_nCols);
  if (cov.m_pData == nullptr || cov.m_pCellAge == nullptr) return;
  for (std::size_t i = 0; i < entry.paint.cells.size(); ++i) {
    const std::uint32_t k = entry.paint.cells[i];
    if (k >= n) continue;
    cov.m_pData[k] = entry.paint.ids[i];
    cov.m_pCellAge[k] = 0;
  }
}

struct SuitabilityScope::Gate : detail::SuitabilityGate {};

SuitabilityScope::SuitabilityScope(const CLandUseSet* set, const Suitability* surface)
    : gate_(new Gate()), previous_(detail::t_suitabilityGate) {
  gate_->Load(set);
  gate_->surface = surface;
  detail::t_suitabilityGate = surface != nullptr && gate_->any ? gate_.get() : nullptr;
}

SuitabilityScope::~SuitabilityScope() {
  detail::t_suitabilityGate = static_cast<detail::SuitabilityGate*>(previous_);
}

long SuitabilityScope::Tested() const { return gate_->tested; }
long SuitabilityScope::Refused() const { return gate_->refused; }

SettleCounts SettleByRules(const CLandUseCoverage& cur, CLandUseCoverage& next,
                           const CGrid* background, const Suitability* suitability) {
  if (cur.m_pLandUseSet == nullptr || !detail::AnySettleRule(*cur.m_pLandUseSet)) return {};
  detail::SuitabilityGate gate;
  gate.Load(cur.m_pLandUseSet);
  gate.surface = suitability;
  return detail::Settle(cur, next, background, suitability != nullptr && gate.any ? &gate : nullptr,
                        detail::SettleHints());
}

}  // namespace towngrow
