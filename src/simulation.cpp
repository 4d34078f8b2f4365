// The step driver. See towngrow/simulation.h for what a step does.
//
// Choices of ours:
// - The land use of each ID is looked up once per step (a 256-entry table
//   built with the set's GetIDIndex), not once per cell; the set does not
//   change while a step runs, so the answer is the same as a per-cell
//   GetIDIndex and the per-cell loop stays a table read.
// - The current coverage is (re)linked to the driver's set at the start of
//   every step, so that a host that fills it by an import keeps the link.
// - A step on a coverage without buffers does nothing (the step count does
//   not move); when the host has resized the current coverage, the next
//   coverage is resized to match before it is overwritten.
#include "towngrow/simulation.h"

#include <utility>

#include "towngrow/landuse/land_use.h"

namespace towngrow {

Simulation::Simulation()
    : ownedSet_(new CLandUseSet()), set_(ownedSet_.get()), cur_(&a_), next_(&b_) {}

Simulation::Simulation(CLandUseSet* pSet) : set_(pSet), cur_(&a_), next_(&b_) {
  if (set_ == nullptr) {
    ownedSet_.reset(new CLandUseSet());
    set_ = ownedSet_.get();
  }
}

Simulation::~Simulation() = default;

int Simulation::Init(int nRows, int nCols, short age) {
  if (!a_.InitCoverage(nRows, nCols, age)) return 0;
  if (!b_.InitCoverage(nRows, nCols, age)) return 0;
  a_.m_pLandUseSet = set_;
  b_.m_pLandUseSet = set_;
  cur_ = &a_;
  next_ = &b_;
  report_ = StepReport();
  report_.cellsPerId = CountCellsPerId(*cur_);
  report_.developments.assign(static_cast<std::size_t>(set_->m_LandUseArray.GetSize()), 0);
  return 1;
}

CLandUseSet& Simulation::Set() { return *set_; }
CLandUseCoverage& Simulation::Current() { return *cur_; }
const CLandUseCoverage& Simulation::Current() const { return *cur_; }

void Simulation::SetBackground(const CGrid* pBackground) { background_ = pBackground; }

const StepReport& Simulation::Step() {
  CLandUseCoverage* cur = cur_;
  CLandUseCoverage* next = next_;
  if (cur->IsEmpty() || cur->m_pCellAge == nullptr) return report_;
  if (next->IsEmpty() || next->m_pCellAge == nullptr || next->m_nRows != cur->m_nRows ||
      next->m_nCols != cur->m_nCols) {
    if (!next->InitCoverage(cur->m_nRows, cur->m_nCols, 0)) return report_;
  }
  cur->m_pLandUseSet = set_;
  next->CopyValueFromCoverage(cur);

  // Land use and array position per ID, fixed for the whole step.
  const int nUses = set_->m_LandUseArray.GetSize();
  CLandUse* useOf[256];
  int posOf[256];
  for (int id = 0; id < 256; ++id) {
    const int i = set_->GetIDIndex(static_cast<unsigned char>(id));
    posOf[id] = i;
    useOf[id] = i < 0 ? nullptr : static_cast<CLandUse*>(set_->m_LandUseArray.GetAt(i));
  }
  std::vector<long>& dev = report_.developments;
  dev.assign(static_cast<std::size_t>(nUses), 0);

  const int rows = cur->m_nRows;
  const int cols = cur->m_nCols;
  const unsigned char* values = cur->m_pData;
  const CGrid* background = background_;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* row =
        values + static_cast<std::size_t>(r) * static_cast<std::size_t>(cols);
    for (int c = 0; c < cols; ++c) {
      const unsigned char id = row[c];
      CLandUse* use = useOf[id];
      if (use == nullptr) continue;
      const int done = background == nullptr
                           ? use->Develop(cur, r, c, next)
                           : use->DevelopWithBackGround(cur, r, c, next, background);
      if (done == 1) ++dev[static_cast<std::size_t>(posOf[id])];
    }
  }

  std::swap(cur_, next_);
  ++report_.step;
  report_.cellsPerId = CountCellsPerId(*cur_);
  return report_;
}

long Simulation::Run(long nSteps, const std::function<bool(const StepReport&)>& callback) {
  long ran = 0;
  for (long s = 0; s < nSteps; ++s) {
    const long before = report_.step;
    const StepReport& report = Step();
    if (report.step == before) break;  // nothing to step
    ++ran;
    if (callback && !callback(report)) break;
  }
  return ran;
}

long Simulation::StepCount() const { return report_.step; }
const StepReport& Simulation::LastReport() const { return report_; }

std::array<long, 256> CountCellsPerId(const CLandUseCoverage& coverage) {
  std::array<long, 256> counts{};
  if (coverage.IsEmpty() || coverage.m_nRows <= 0 || coverage.m_nCols <= 0) return counts;
  const std::size_t n =
      static_cast<std::size_t>(coverage.m_nRows) * static_cast<std::size_t>(coverage.m_nCols);
  const unsigned char* p = coverage.m_pData;
  for (std::size_t k = 0; k < n; ++k) ++counts[p[k]];
  return counts;
}

}  // namespace towngrow
