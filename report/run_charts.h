// The charts of the program's outputs, built from what the commands hold:
//   growth.png      (run)       cells per land use over the steps
//   ensemble.png    (ensemble)  per land use the mean over the runs, with a
//                               band of one standard deviation on each side
//   resolution.png  (compare)   quantity and allocation disagreement per
//                               block side
//   objective against each searched parameter (scatter) and the best
//   objective per round (line), for a calibration's folder
// Land uses of the Blank category (vacant land) are left out of the land-use
// charts: they are the rest of the grid and would flatten the others.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "report/chart.h"

namespace towngrow {
class CLandUseSet;
struct EnsembleResult;
struct ComparisonResult;
}  // namespace towngrow

namespace towngrow::report {

// Cells per land use, step after step; at most kMaxPoints steps are kept
// (every k-th step, k doubling as the run goes on) plus the last step.
class GrowthRecord {
public:
  static constexpr std::size_t kMaxPoints = 2000;
  explicit GrowthRecord(const CLandUseSet& set);
  void Add(long step, const std::array<long, 256>& cellsPerId);
  Chart ToChart(bool logY, const std::string& subtitle) const;
  std::size_t Points() const { return steps_.size(); }

private:
  const CLandUseSet& set_;
  std::vector<unsigned char> ids_;          // the charted land uses' IDs
  std::vector<long> steps_;                 // kept steps
  std::vector<std::vector<double>> cells_;  // [land use][kept step]
  long stride_ = 1;
  long lastStep_ = -1;
  std::vector<double> last_;  // the last step's cells, kept apart
};

Chart EnsembleChart(const CLandUseSet& set, const EnsembleResult& result, bool logY,
                    const std::string& subtitle);
Chart ResolutionChart(const ComparisonResult& result, const std::string& subtitle);

// Objective against one parameter: one point per evaluated parameter set.
Chart ObjectiveChart(const std::string& parameter, const std::vector<double>& values,
                     const std::vector<double>& objective, const std::string& objectiveName);
// The best objective so far after each round (rounds from 1).
Chart RoundsChart(const std::vector<double>& best, const std::string& objectiveName);
// A screening's mu* per parameter as bars with a whisker of sigma above and
// below, in the order given.
Chart SensitivityChart(const std::vector<std::string>& parameters,
                       const std::vector<double>& muStar, const std::vector<double>& sigma,
                       const std::string& objectiveName);

}  // namespace towngrow::report
