// The step driver: owns the current and the next coverage, links a set (its
// own default one or the host's) and runs the reference step: the next
// coverage becomes a copy of the current one, then every cell, rows from 0
// and columns from 0, is developed by the land use of its ID (cells whose ID
// the set does not hold are skipped), optionally under a background raster.
// Nothing runs by itself: the host calls Step() or Run().
//
// A step costs what the town costs, not what the grid costs: cells whose
// land use is exactly the base class or the others land (which change
// nothing and draw nothing) are counted without a call, and only the cells
// the last step wrote are copied. The results are those of the reference
// step: the same draws in the same order, the same writes, messages and
// develop results. What this asks of a host:
// - Take the state for reading through a const Simulation (the const
//   Current()) between steps. The non-const Current() and MarkEdited()
//   tell the driver that the state may be edited, and the next step copies and scans the
//   whole grid once; so do Init, SetBackground, a change of which IDs the
//   set's land uses hold or of their classes, and a step that ran a land
//   use of the host's own class (it may write anywhere).
// - Take Current() again after every step: a reference kept across a step
//   names the other coverage, which the driver keeps for itself.
// - As for the reference step: Develop never writes the coverage it reads,
//   and the message handler does not edit the driver's coverages, nor the
//   IDs of the set, while a step runs.
//
// Choices of ours: each step (re)links the current coverage to the driver's
// set; a step on a coverage without buffers does nothing and is not counted;
// when the host has resized Current(), the next coverage follows. The report
// after Init counts the state Init made (step 0, no developments).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/scenario.h"

namespace towngrow {

namespace detail {
struct RunRestart;  // the library's own runners' restarts (src/run_restart.h)
}

struct StepReport {
  long step = 0;                       // number of steps done so far
  std::array<long, 256> cellsPerId{};  // cells holding each ID after the step
  std::vector<long> developments;      // per position of the set's array:
                                       // Develop calls that returned 1
  // With a scenario or the settlement rules (towngrow/scenario.h):
  SettleCounts settled{};       // cells each settlement rule settled in the step
  long suitabilityTested = 0;   // developments that took the suitability draw
  long suitabilityRefused = 0;  // of them, refused
};

class Simulation {
public:
  Simulation();                            // with a default set of its own
  explicit Simulation(CLandUseSet* pSet);  // with the host's set (not owned)
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  // Sizes both coverages (values 0, ages `age`), links the set, resets the
  // step count. 0 when the coverage refuses the size.
  int Init(int nRows, int nCols, short age = 0);

  CLandUseSet& Set();
  CLandUseCoverage& Current();              // the state, for writing: fill it after Init
  const CLandUseCoverage& Current() const;  // the state, for reading
  // Says that the state was (or will be) edited past the driver: the next
  // step copies and scans the whole grid. The non-const Current() says it
  // too; a host that reads through the const view and writes through a
  // pointer or reference it kept calls this after writing.
  void MarkEdited();

  // Background raster whose cell values are bit sets of allowed IDs; null
  // (the default) develops every cell with Develop.
  void SetBackground(const CGrid* pBackground);
  // The scenario the steps read (towngrow/scenario.h), null for none (the
  // default); not owned, and it must not change while it is set. Its
  // entries take effect by the step count: a run started again by Init
  // reads them from the first step again.
  void SetScenario(const Scenario* pScenario);

  const StepReport& Step();
  // Runs n steps; the callback (if any) sees each report and may return
  // false to stop early. Returns the number of steps run.
  long Run(long nSteps, const std::function<bool(const StepReport&)>& callback = {});

  long StepCount() const;
  const StepReport& LastReport() const;

private:
  friend struct detail::RunRestart;
  std::unique_ptr<CLandUseSet> ownedSet_;
  CLandUseSet* set_;
  CLandUseCoverage a_, b_;
  CLandUseCoverage* cur_;
  CLandUseCoverage* next_;
  const CGrid* background_ = nullptr;
  const Scenario* scenario_ = nullptr;
  StepReport report_;
  struct Tracking;  // what is kept between steps to visit only what can change
  std::unique_ptr<Tracking> track_;
};

// Counts the cells of a coverage per land-use ID.
std::array<long, 256> CountCellsPerId(const CLandUseCoverage& coverage);

// The built-in starting town, kept in one place for every host: a street
// cross through the middle of the coverage with street nodes at its four
// ends and a few houses beside it (IDs 1, 2 and 3 of the default roster,
// ages 0), centred, with arms of min(10, min(rows, cols) / 4) cells. Only the
// town's cells are written; the rest keeps what it holds. Needs a coverage
// of at least 5 x 5 linked to a set; returns 0 otherwise.
int PlaceStarterTown(CLandUseCoverage& coverage);

}  // namespace towngrow
