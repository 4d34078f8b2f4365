// An ensemble compared with an observed map: every run's end state compared
// with it, and the probability of developed (the share of runs that ended
// developed, per cell) scored against the observed developed cells.
//
// Per run, every named measure of towngrow/compare.h for the classes given
// (by default those of the ensemble's land uses), the change measures from
// the start of the change (a map given, or the ensemble's start unless that
// is random: then there are none). The runs' values are kept by run index,
// so the results depend neither on threads nor on processes; in a
// distributed ensemble they are summed onto process 0 as bit patterns that
// only their own process holds.
//
// Outputs, beside the ensemble's own:
//   comparison.json  the maps compared, the cells of IDs without a class in
//                    them (left out, as by compare), per measure the mean,
//                    sample standard deviation and the number of runs where
//                    it is defined (null with a reason when no run has a
//                    value), and for developed the ROC AUC and the
//                    reliability table in tenths of predicted percentage
//   comparison.csv   one line per run: run, seed, every measure (6
//                    decimals; empty where undefined)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>
#include <towngrow/compare.h>
#include <towngrow/ensemble.h>
#include <towngrow/grid/coverage.h>

#include "io/output_folder.h"

namespace towngrow::jobs {

class EnsembleComparison {
public:
  // `observed` and `start` (null: no change measures) must have the
  // ensemble's size and outlive this; `observedName` and `startName` name
  // them in the results ("" for the start: the ensemble's own start).
  EnsembleComparison(const CLandUseCoverage& observed, std::string observedName,
                     const CLandUseCoverage* start, std::string startName, ClassScheme scheme,
                     int runs);

  // For EnsembleConfig::onRunEnd (any thread, distinct runs).
  void OnRunEnd(int run, const CLandUseCoverage& final);

  // This process's values as words (bit patterns and defined flags; zero
  // for runs of other processes), and back after they were summed.
  std::vector<std::uint64_t> Pack() const;
  void Unpack(const std::vector<std::uint64_t>& words);

  // The statistics over the runs and the score of the probability of
  // developed, once every run is in.
  void Finish(const EnsembleResult& result);

  // comparison.json and comparison.csv (after Finish).
  void Write(io::OutputFolder& folder, const EnsembleResult& result, unsigned int seed,
             unsigned int seedStep) const;
  // The summary lines for a terminal (after Finish).
  std::string SummaryText() const;

  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<RunStatistic>& Statistics() const { return stats_; }
  const ProbabilityScore& Score() const { return score_; }

private:
  std::string observedName_, startName_;
  ClassScheme scheme_;
  std::vector<std::string> names_;
  RasterView observedView_{}, startView_{};
  bool hasStart_ = false;
  std::vector<std::vector<Scalar>> perRun_;
  std::array<std::uint64_t, 256> observedNone_{};  // cells per ID without a class
  std::array<std::uint64_t, 256> startNone_{};
  std::vector<RunStatistic> stats_;
  ProbabilityScore score_{};
};

}  // namespace towngrow::jobs
