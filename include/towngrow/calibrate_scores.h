// What a calibration tells beside its ranking: Morris screening of the
// parameters (elementary effects) and the scores of a point's majority map
// (the cells in a class in at least half of the runs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "towngrow/calibrate.h"

namespace towngrow {

// ---------------------------------------------------------------------------
// Screening

// The elementary effects of one parameter on one quantity: an effect is
// the change of the quantity over the change of the parameter as a
// fraction of its range, between the two points of a trajectory that
// differ in it (left out where the quantity is undefined at either point,
// or the two values are equal after rounding).
struct ElementaryEffects {
  int count = 0;      // effects taken
  double mu = 0;      // their mean
  double muStar = 0;  // the mean of their absolute values
  double sigma = 0;   // their sample standard deviation (0 for one)
};

struct Sensitivity {
  std::vector<std::string> measures;  // as PointEvaluator::Measures()
  // [parameter]: effects on the objective.
  std::vector<ElementaryEffects> objective;
  // [control][measure][parameter]: effects on each measure's mean.
  std::vector<std::vector<std::vector<ElementaryEffects>>> effects;
  // Parameters by influence: higher mu* of the objective first, then the
  // higher largest mu* over the control maps and measures, then the
  // space's order.
  std::vector<std::size_t> order;
  // [parameter]: no effect at all (every mu* 0, objective and measures).
  std::vector<bool> none;
};

// The effects of a Morris search from its results (any order; looked up by
// key). Throws std::invalid_argument for settings of another method, and
// when a trajectory's point has no result.
Sensitivity MorrisEffects(const SearchSpace& space, const SearchSettings& settings,
                          const std::vector<PointResult>& results,
                          const std::vector<std::string>& measures);

// ---------------------------------------------------------------------------
// Majority maps
//
// The map of the cells in a class in at least half of the runs (the usual
// way a probabilistic projection is scored against what was observed). Per
// cell, with d the runs that ended with it in a developed class of the
// scheme: a cell with 2d >= runs takes the developed class of the most
// runs, any other cell the class of no development of the most runs (ties:
// the class listed first); a cell that no run left in a class of that
// kind keeps the start's ID. A class is written as its smallest ID. So the
// developed cells of the map are those developed in at least half of the
// runs (13 of 25), whatever developed class each run gave them.

// counts[k][row * cols + col]: the runs (of `runs`) that ended with the
// cell in class k of the scheme. Throws std::invalid_argument when the
// counts are not one list per class of the start's cells, or runs < 1.
std::vector<unsigned char> MajorityMap(const std::vector<std::vector<std::uint16_t>>& counts,
                                       int runs, const ClassScheme& scheme,
                                       const RasterView& start);

struct MajorityScore {
  int runs = 0;
  std::vector<unsigned int> seeds;  // of the runs, in order
  int rows = 0, cols = 0;
  std::vector<unsigned char> map;  // the majority map, row by row
  std::uint64_t developed = 0;     // its developed cells
  std::vector<Scalar> values;      // per measure, as PointEvaluator::Measures()
};

// Grows `runs` runs of the point (run i seeded baseSeed + i * the model's
// seed step, as an ensemble seeds it) to the steps of control map
// `control` of the evaluator's model and scores their majority map
// against it with the evaluator's measures, the model's start being the
// start of the change. Threads as RunEnsemble takes them; runs of 1 to
// 65535 (std::invalid_argument otherwise).
MajorityScore ScoreMajority(const PointEvaluator& evaluator, const Point& point,
                            std::size_t control, int runs, unsigned int baseSeed, int threads);
// The same for every control map of the model (in its order), from one set
// of runs grown to the last of them: each run's map at every control
// map's steps, counted by the cells its steps changed.
std::vector<MajorityScore> ScoreMajorities(const PointEvaluator& evaluator, const Point& point,
                                           int runs, unsigned int baseSeed, int threads);

}  // namespace towngrow
