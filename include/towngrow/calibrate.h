// Calibration: a search over parameter values for the ones whose runs come
// closest to observed maps of a town's past.
//
// A point is one value per searched parameter. It is scored by `runs` runs
// from the start map (run i seeded S + i*K, unsigned arithmetic, as
// RunEnsemble seeds run i), each compared at every control map (a map
// observed a number of steps after the start) with the named measures of
// towngrow/compare.h, the start map being the start of the change. Per
// control map and measure the point keeps the mean and the sample standard
// deviation over the runs where the measure is defined (RunStatistics,
// summed in run order); its objective is computed from those means.
//
// Objective (Objective::Parse): one measure name, a product of names
// ("fom.developed*ksim") or a weighted mean of such products
// ("0.6*fom.developed+0.4*leesallee": sum of weight x product over the sum
// of the weights; a term without a weight weighs 1). Measures where lower is
// better (quantity, allocation, quantity.<class>, allocation.<class>,
// allocation@<b>) enter as 1 - value; every other measure enters as it is.
// At each control map the expression is taken of the measures' means over
// the runs; the point's objective is the mean of that over the control
// maps. A measure undefined in any run at any control map makes the
// objective undefined. A host may give its own objective instead.
//
// Runaway runs (CalibrationModel::runaway, K; 0 turns it off): a run whose
// developed cells (cells of the scheme's developed classes, counted after
// each step) exceed K times the developed cells of the next control map
// (the first at or after that step), or of the start where it holds more
// (no bound when neither holds any), stops after that step: it cannot
// come close to the maps any more, and a run's cost follows the cells it
// grows. Its measures at the
// control maps it reached are kept; at the others they are undefined. A
// point with a stopped run is a stopped point: its objective is undefined
// (the objective's worst value, kRunawayReason), it ranks after every
// point whose runs all ended, and a proposer sees it as worse than any of
// them (PointResult::stoppedRuns, stoppedStep).
//
// Ranking (RanksBefore): higher objective first, undefined last; ties go to
// the lower quantity disagreement (mean over the control maps, undefined
// last), then to the smaller canonical key (PointKey), so the order is
// total and never depends on the order in which points finished. Among
// points of undefined objective, those with fewer stopped runs come first,
// then those whose first stop came later.
//
// Search methods:
// - Grid: one round, the full factorial of every parameter's values.
// - Refine: round 1 is the same full factorial (the coarse lattice); each
//   next round narrows every parameter's range around the best k points
//   found so far and lays a finer lattice over it (see NextRange): the
//   range runs from the smallest to the largest value of the best k
//   points, widened by one step of the last round's lattice on each side
//   and clipped to the parameter's first-round range; the lattice is `lattice` evenly
//   spaced values over it (integer parameters rounded half away from zero,
//   real ones to 10 significant digits, repeats dropped). A round whose
//   lattice brings no point that was not evaluated before ends the search.
// - Lhs: round 1 is a Latin hypercube sample of `samples` points over each
//   parameter's range (its smallest to its largest value): the range is cut
//   into `samples` equal strata, each stratum holds one value (uniform in
//   it) and the strata of the parameters are paired by random
//   permutations; the draws come from a 64-bit generator of our own
//   (splitmix64) seeded with `seed`, so the sample repeats on every
//   platform. Repeated points (after integer rounding) count once. The
//   next rounds refine as above (the last round's step being its range
//   over the number of its distinct values less one).
// - Morris: one round of `trajectories` elementary-effects trajectories
//   (Morris 1991) over `levels` levels (even) of each parameter's range:
//   level l of P stands for the fraction l / (P - 1) of the range (its
//   smallest to its largest value), taken as the nearest of the
//   parameter's values (NearestValue). Per trajectory, from splitmix64
//   seeded with `seed`: a random order of the parameters (Fisher-Yates,
//   last place first), then per parameter in the space's order its
//   direction (up or down, one draw) and its start level (one draw; low
//   half of the levels going up, high half going down); the trajectory
//   starts at those levels and moves one parameter at a time, in the drawn
//   order, by P / 2 levels: k + 1 points for k parameters. MorrisEffects
//   turns the results into mu, mu* and sigma.
// - Proposed: the host's Proposer gives round 1 and, from each round's
//   results, the next round (an optimiser learning where good points lie).
//   The search ends when it proposes no point, when the budget
//   (`evaluations`) is spent or after 100 rounds in a row without a new
//   point.
//
// Budget (`evaluations`, 0: none): the most distinct points a search holds,
// counting those a host hands back from a store as those run now; a round
// that would pass it keeps its repeats and its first new points, in the
// order asked, up to the budget, and is the last.
//
// Sizes: PlannedSize says before any work how many points a round (and the
// whole search, where known) holds at most; Search refuses a search any of
// whose rounds could pass `maxPoints`, naming the number, before it asks
// for any point.
//
// Points are identified by their canonical key: "name=value" per
// parameter, in the space's order, joined by "; ", values in their
// shortest round-trip form (integers without a fraction). Every round
// depends only on the results of earlier rounds, so a search gives the
// same points, results and ranking whatever the threads, the processes,
// or the results a host hands back from an earlier, interrupted search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "towngrow/compare.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/grid/grid.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/scenario.h"

namespace towngrow {

// A searched parameter. The host names it and says how to set it (through
// the set it makes for a point).
struct SearchParameter {
  std::string name;      // unique within the space
  bool integer = false;  // values are whole numbers
  double lowest = 0.0;   // its legal range
  double highest = 0.0;
  std::vector<double> values;  // the first round's values (grid, refine)
};

using SearchSpace = std::vector<SearchParameter>;

// One value per parameter of the space, in the space's order.
struct Point {
  std::vector<double> values;
};

// Throws std::invalid_argument unless the space has 1 or more parameters
// with unique, non-empty names, each with 1 or more finite values within
// its legal range (whole numbers for integer parameters).
void CheckSpace(const SearchSpace& space);

// A value as the canonical key writes it: the shortest text that reads
// back to the same double ("12", "0.3", "1e-07"); integers without a
// fraction.
std::string ValueText(double value);
// "name=value; name=value" in the space's order.
std::string PointKey(const SearchSpace& space, const Point& point);

enum class SearchMethod { Grid, Refine, Lhs, Morris, Proposed };

// The most points a round may hold unless the settings say otherwise.
constexpr double kDefaultMaxPoints = 100000;

struct SearchSettings {
  SearchMethod method = SearchMethod::Grid;
  int rounds = 3;         // refine, lhs: rounds in all (lhs: its sample is round 1), 1..100
  int keep = 3;           // k: the best points a round narrows around, 1..1000
  int lattice = 5;        // values per parameter of a refinement lattice, 2..1000
  int samples = 100;      // lhs: points of the sample, 1..10000000
  int trajectories = 10;  // morris: R, 1..1000000
  int levels = 4;         // morris: P, even, 2..1000
  long evaluations = 0;   // the budget of distinct points, 0 (none) to 100000000
  double maxPoints = kDefaultMaxPoints;  // the most points of a round, 1..100000000
  std::uint64_t seed = 1;                // lhs and morris draws
};

// Throws std::invalid_argument for settings outside the ranges above.
void CheckSettings(const SearchSettings& settings);

// The nearest of the parameter's values to v (the lower of two as near).
double NearestValue(const SearchParameter& parameter, double v);

// The point at fractions u (0..1, one per parameter) of each parameter's
// range (its smallest to its largest value), each value the nearest of the
// parameter's values.
Point PointAtFractions(const SearchSpace& space, const std::vector<double>& u);
// A point's fractions of each parameter's range (0 for a single value).
std::vector<double> FractionsOf(const SearchSpace& space, const Point& point);

struct PointResult;

// A method that proposes each round from the results of the rounds before
// (Search calls it from the calling thread, never twice at once).
class Proposer {
public:
  virtual ~Proposer() = default;
  // Points of every round where the method fixes it (0: not known).
  virtual std::size_t RoundSize(const SearchSpace& space) const = 0;
  // Round 1.
  virtual std::vector<Point> First(const SearchSpace& space) = 0;
  // The next round from the last one: `asked` as this proposer gave it and
  // one result per asked point, in the same order (a point asked twice has
  // the same result twice). No point: the search ends.
  virtual std::vector<Point> Next(const SearchSpace& space, const std::vector<Point>& asked,
                                  const std::vector<const PointResult*>& results) = 0;
};

// How many points a search asks for at most, before it starts.
struct SearchSize {
  double firstRound = 0;  // round 1 (repeats counted)
  double laterRound = 0;  // the most of any later round (0: no later round)
  double total = 0;       // the whole search, at most (0: not known)
  std::string what;       // how the largest round is made, for messages
};
SearchSize PlannedSize(const SearchSpace& space, const SearchSettings& settings,
                       const Proposer* proposer = nullptr);
// Throws std::invalid_argument when a round could hold more than
// settings.maxPoints points: "a round of N points (...) is more than the
// most allowed, M: ...", suggesting cmaes.
void CheckSize(const SearchSpace& space, const SearchSettings& settings,
               const Proposer* proposer = nullptr);

// The points of round 1: the full factorial in odometer order (the last
// parameter changes fastest), the Latin hypercube sample in stratum order
// of the first parameter, or the Morris trajectories one after another.
// Throws std::invalid_argument for a Proposed search (its proposer gives
// round 1) and for a round of more than settings.maxPoints points.
std::vector<Point> FirstRound(const SearchSpace& space, const SearchSettings& settings);

// A parameter's range in a round and the step of its lattice there.
struct ParameterRange {
  double low = 0.0, high = 0.0;
  double step = 0.0;  // (high - low) / (distinct values - 1); 0 for one value
};

// The ranges of a round's points (per parameter: smallest and largest
// value, step from the number of distinct values).
std::vector<ParameterRange> RangesOf(const SearchSpace& space, const std::vector<Point>& points);

// The narrowed range of parameter p (of the space) around the best
// points: from their smallest to their largest value of it, one step of
// the last round (`last`) wider on each side, within the parameter's
// first-round range (its smallest to its largest value).
ParameterRange NextRange(const SearchParameter& parameter, const ParameterRange& last,
                         const std::vector<const Point*>& best, std::size_t p);

// `count` evenly spaced values over [low, high] (one when low == high),
// rounded as the parameter's values are, repeats dropped, ascending.
std::vector<double> Lattice(const SearchParameter& parameter, double low, double high, int count);

// ---------------------------------------------------------------------------
// Objectives

class Objective {
public:
  Objective() = default;
  // Parses the text (see above); throws std::invalid_argument naming what
  // is wrong. Names are not checked here (Measures() lists them).
  static Objective Parse(const std::string& text);

  // Measure names, each once, in the order of their first appearance.
  const std::vector<std::string>& Measures() const { return measures_; }
  // The canonical text (no spaces, weights in shortest form).
  std::string Text() const;
  bool Empty() const { return terms_.empty(); }

  // The value from measure values given in Measures() order (empty when
  // one of them is).
  std::optional<double> Evaluate(const std::vector<std::optional<double>>& values) const;

  // True for the measures that enter as 1 - value.
  static bool LowerIsBetter(const std::string& name);

private:
  struct Term {
    double weight = 1.0;
    bool weighted = false;             // written with a weight
    std::vector<std::size_t> factors;  // indices into measures_
  };
  std::vector<Term> terms_;
  std::vector<std::string> measures_;
};

// ---------------------------------------------------------------------------
// Evaluating points

// A map observed `steps` steps after the start (1 or more).
struct ControlMap {
  RasterView map;
  long steps = 0;
};

struct PointResult;

struct CalibrationModel {
  const CLandUseCoverage* start = nullptr;  // time 0; its size is the grid's
  const CGrid* background = nullptr;        // null: none
  const Scenario* scenario = nullptr;       // null: none (towngrow/scenario.h)
  std::vector<ControlMap> controls;         // 1 or more, of the start's size
  ClassScheme scheme;                       // classes of the measures
  // The measures recorded per control map. The objective's measures and
  // "quantity" (the tie-break) are added when missing.
  std::vector<std::string> measures;
  double halvingDistance = 2.0;  // fuzzy kappa, as MeasureEvaluator takes them
  double radius = 4.0;
  int runs = 4;               // 1..65535
  double runaway = 0;         // K: 0 (off) or 1..1000 (see "Runaway runs" above)
  unsigned int baseSeed = 1;  // S
  unsigned int seedStep = 1;  // K
  // The set of a point's runs (a new one per call; called by one thread at
  // a time). Required.
  std::function<std::unique_ptr<CLandUseSet>(const Point&)> makeSet;
  Objective objective;  // parsed; used unless customObjective is given
  // The host's own objective of a result whose stats are filled (called
  // from worker threads; empty: undefined).
  std::function<std::optional<double>(const PointResult&)> customObjective;
};

struct PointResult {
  Point point;
  std::string key;                               // PointKey
  int round = 0;                                 // the round that first asked for it (from 1)
  std::vector<unsigned int> seeds;               // of runs 0 .. runs-1
  std::vector<std::vector<RunStatistic>> stats;  // [control][measure]
  Scalar objective;
  Scalar quantity;       // mean quantity disagreement over the control maps
  int stoppedRuns = 0;   // runs stopped by the runaway bound
  long stoppedStep = 0;  // the first step at which one of them stopped (0: none)
};

// The reason of a stopped point's objective.
extern const char* const kRunawayReason;

// Higher objective first (undefined last: fewer stopped runs, then a later
// first stop, first), then lower quantity (undefined last), then the
// smaller key.
bool RanksBefore(const PointResult& a, const PointResult& b);

// Evaluates points with a pool of worker threads, each holding one
// Simulation (sized once, refilled from the start for every run) and one
// MeasureEvaluator. Runs of all the points of a call are spread over the
// threads; a point's result is handed over when its last run ends.
class PointEvaluator {
public:
  // Checks the model (throws std::invalid_argument: no start, no makeSet,
  // no control map, a control map of another size or at step 0, runs out
  // of range, a runaway bound other than 0 or 1..1000, unknown measure
  // names, an empty objective without a custom one, a negative thread
  // count). threads 0: hardware concurrency. The start and control maps
  // are read here (their developed cells, the tables the comparisons
  // start from) and by every evaluation: they must not change between.
  PointEvaluator(CalibrationModel model, int threads);
  ~PointEvaluator();
  PointEvaluator(const PointEvaluator&) = delete;
  PointEvaluator& operator=(const PointEvaluator&) = delete;

  // The recorded measures (the model's, then the objective's and
  // "quantity" where missing), and the control maps' steps.
  const std::vector<std::string>& Measures() const;
  const CalibrationModel& Model() const;

  // Evaluates the points of a round; `done` is called in the calling
  // thread, once per point, as each finishes (in any order), with its
  // index in `points`. An exception from a run or from `done` stops the
  // workers and is rethrown here.
  void Evaluate(const std::vector<Point>& points, const SearchSpace& space, int round,
                const std::function<void(std::size_t, PointResult&&)>& done) const;

  // Fills objective and quantity of a result whose stats are set.
  void Score(PointResult& result) const;
  // Makes whole a result whose stats, stopped runs and step are set (here
  // or by another process): `point`, its key in `space`, the round, the
  // seeds of its runs, then Score.
  void Complete(PointResult& result, const Point& point, const SearchSpace& space, int round) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------------------
// The search

struct RoundReport {
  int round = 0;
  std::size_t points = 0;     // distinct points of the round
  std::size_t evaluated = 0;  // of them run now (not known before)
  std::vector<ParameterRange> ranges;
  std::optional<PointResult> bestOfRound;  // empty for a round of no point
  std::optional<PointResult> bestSoFar;
};

struct SearchHooks {
  // Evaluates the points (all unknown so far) of a round, calling `done`
  // for each as above. Required (a PointEvaluator's Evaluate, or a host's
  // own spreading over processes).
  std::function<void(const std::vector<Point>& points, int round,
                     const std::function<void(std::size_t, PointResult&&)>& done)>
      evaluate;
  // A result finished by an earlier search (a store of results), or none.
  std::function<std::optional<PointResult>(const std::string& key)> lookup;
  // Each newly evaluated point, in the calling thread, as it finishes.
  std::function<void(const PointResult&)> finished;
  // Before each round: its number and its points' count (known ones too).
  std::function<void(int round, std::size_t points, std::size_t known)> roundBegins;
  // After each round.
  std::function<void(const RoundReport&)> roundEnds;
};

struct SearchResult {
  std::vector<PointResult> ranking;  // every point, best first (RanksBefore)
  std::vector<RoundReport> rounds;
};

// Runs the search. Throws std::invalid_argument for a bad space, bad
// settings or a round too large (CheckSize), and for a Proposed search
// without a proposer; rethrows what the hooks and the proposer throw, and
// std::logic_error for a proposed value outside its parameter's legal
// range or not whole for an integer parameter.
SearchResult Search(const SearchSpace& space, const SearchSettings& settings,
                    const SearchHooks& hooks, Proposer* proposer = nullptr);

}  // namespace towngrow
