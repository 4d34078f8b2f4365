// `towngrow ensemble ... --observed OBS [--start-of-change START]`: every
// run's end state compared with an observed map, and the probability of
// developed (the share of runs that ended developed, per cell) scored
// against the observed developed cells.
//
// Per run, every named measure of towngrow/compare.h for the default
// classes of the ensemble's land uses (the change measures from START, or,
// without it, from the ensemble's start unless that is random: then there
// are none). The runs' values are kept by run index, so the results depend
// neither on threads nor on processes; in a distributed ensemble they are
// summed onto process 0 as bit patterns that only their own process holds.
//
// Outputs, beside the ensemble's own:
//   comparison.json  the files compared, the cells of IDs without a class in
//                    them (left out, as by compare), per measure the mean, sample
//                    standard deviation and the number of runs where it is
//                    defined (null with a reason when no run has a value),
//                    and for developed the ROC AUC and the reliability table
//                    in tenths of predicted percentage
//   comparison.csv   one line per run: run, seed, every measure (6
//                    decimals; empty where undefined)
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "io/message_log.h"
#include "io/staged_files.h"

namespace towngrow::jobs {

class EnsembleComparison {
public:
  // Reads the observed map and the start of change (empty: changeStart, or
  // no change measures when that is null); both must have rows x cols
  // cells. Throws AppError.
  EnsembleComparison(const std::string& observed, const std::string& startOfChange,
                     const CLandUseCoverage* changeStart, CLandUseSet& set, int rows, int cols,
                     int runs, io::MessageLog& log);

  // For EnsembleConfig::onRunEnd (any thread, distinct runs).
  void OnRunEnd(int run, const CLandUseCoverage& final);

  // This process's values as words (bit patterns and defined flags; zero
  // for runs of other processes), and back after they were summed.
  std::vector<std::uint64_t> Pack() const;
  void Unpack(const std::vector<std::uint64_t>& words);

  // comparison.json and comparison.csv into `dir`, staged; the summary
  // lines for the terminal.
  void Write(io::StagedFiles& staged, const std::string& dir, const EnsembleResult& result,
             unsigned int seed, unsigned int seedStep) const;
  void PrintSummary(std::FILE* out) const;

  // The repeat options: " --observed <abs>" and " --start-of-change <abs>".
  std::string RepeatOptions() const;

private:
  std::string observedFile_, startFile_;
  ClassScheme scheme_;
  std::vector<std::string> names_;
  CLandUseCoverage observed_, start_;
  RasterView observedView_{}, startView_{};
  bool hasStart_ = false;
  std::vector<std::vector<Scalar>> perRun_;
  std::array<std::uint64_t, 256> observedNone_{};  // cells per ID without a class
  std::array<std::uint64_t, 256> startNone_{};
  // Filled by Write for the summary.
  mutable std::vector<RunStatistic> stats_;
  mutable ProbabilityScore score_{};
};

}  // namespace towngrow::jobs
