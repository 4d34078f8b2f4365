// The ensemble runner: many runs of the same start under different seeds on
// a pool of worker threads, aggregated per cell and per step.
//
// Run i (0-based) of an ensemble with base seed S and seed step K is exactly
// the run a lone driver makes: a Simulation with a fresh set of its own
// (from makeSet), Init to the start's size, Current() filled from the start
// (IDs and ages by CopyValueFromCoverage, then the start's cell size, lower
// left corner and no-data value), the background if any, SeedRandom(S + i*K)
// (unsigned arithmetic, wrapping), the start maker if any (makeStart, on the
// run's coverage, drawing first from the run's sequence) and Run(steps).
//
// The aggregate is, per cell, how many runs ended with the cell in each
// tracked class (a cell's class comes from its ID's category in the run's
// own set), and per step (index 0 = the start, then after each step) the
// mean and standard deviation over runs of the cells holding each ID.
//
// Choices of ours:
// - Everything is summed as exact integers (EnsembleSums), so the result
//   does not depend on the number of threads, on which run finishes first,
//   or on how partial sums of subsets of runs are merged. Every field of
//   EnsembleSums adds element by element, so partial sums of several
//   processes can be reduced with a plain element-wise integer sum.
// - The standard deviation is the sample deviation (divided by n - 1); for
//   a single run it is 0.
// - Runs go only to worker threads the runner starts; the calling thread
//   draws nothing, so its generator state is left as it was.
// - Each run gets a new set from makeSet (called by one thread at a time);
//   no makeSet means the default set of seven. A makeSet that returns null
//   or throws, or a run that throws, ends the ensemble: the runner stops
//   handing out runs, joins its workers and rethrows in the calling thread.
// - Refusals throw std::invalid_argument with a text saying why: no start,
//   a start without cells, a start of more than 4294967295 cells, fewer
//   than 1 or more than 65535 runs, a negative step count, a negative
//   thread count, run indices outside 0 .. runs-1 or repeated, merging sums
//   of a different shape or whose run total would pass 65535.
// - threads = 0 means std::thread::hardware_concurrency() (at least 1);
//   never more threads than runs.
// - The progress callback is called from the calling thread, once per
//   finished run, with the number of runs done so far, in increasing order.
// - The start coverage, the background and the tracked classes are only
//   read; they must not change while the ensemble runs. The start's own set
//   link is not used (each run's coverage is linked to the run's set), so a
//   start without a set is accepted; a start without ages gives the runs
//   ages 0, as Init leaves them. A background is read as the driver reads
//   it: cells beyond its shape allow nothing.
// - Memory: the sums hold 2 bytes per cell per tracked class and 24 bytes
//   per ID per step; each worker holds one Simulation (6 bytes per cell,
//   and at most a bit and a 64th per cell for the cells a step wrote) and
//   8 bytes per ID per step. No run's grid is kept.
// - Notices of the runs go to the process-wide message handler from the
//   worker threads (the handler may be called from several threads).
// - onRunEnd, when set, sees each finished run's final coverage (linked to
//   the run's set) in the worker thread that ran it, with the run's index,
//   before the run is added to the sums; calls for different runs may come
//   at the same time from several threads and in any order, so a host
//   keeps what it learns by run index. An exception from it ends the
//   ensemble as a failing run does.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "towngrow/grid/category.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/grid/grid.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/scenario.h"

namespace towngrow {

// A class of cells counted per cell: those whose ID's category is one of
// the listed categories.
struct TrackedClass {
  std::string name;
  std::vector<LandUseCategory> categories;
};

// housing {House}, industry {Industry}, commerce {Commerce},
// street {StreetNode, StreetVertex}, developed {all five of them}.
std::vector<TrackedClass> DefaultTrackedClasses();

// Most runs an ensemble may have (the per-cell counts are 16 bits).
constexpr int kMaxEnsembleRuns = 65535;

// Makes run runIndex's start in the worker thread that runs it, from the
// run's coverage as the runner prepared it (sized to the ensemble's start,
// holding its cells, ages and geometry, linked to the run's set). The
// generator has just been seeded with the run's seed, so what the maker
// draws comes first in the run's sequence, and the steps go on from where
// it left the generator. It must keep the coverage's size (a run whose
// start changed size fails the ensemble).
using EnsembleStartMaker = std::function<void(int runIndex, CLandUseCoverage& runStart)>;

// The sparse random start (CLandUseCoverage::RandomFill under the run's
// set) as a start maker: run i of the ensemble is then, bit for bit, the
// lone run that seeds the generator with S + i*K, fills the start so and
// runs the steps (`towngrow run --start random`). A fill refused (a start
// without cells) fails the ensemble.
EnsembleStartMaker SparseRandomStart();

struct EnsembleConfig {
  const CLandUseCoverage* start = nullptr;
  // Makes the set of one run; empty means the default set.
  std::function<std::unique_ptr<CLandUseSet>()> makeSet;
  const CGrid* background = nullptr;   // null: no background
  const Scenario* scenario = nullptr;  // null: none (towngrow/scenario.h)
  EnsembleStartMaker makeStart;        // empty: every run starts from `start`
  long steps = 0;
  unsigned int baseSeed = 1;  // S
  unsigned int seedStep = 1;  // K: run i is seeded with S + i*K
  int runs = 1;               // 1 .. 65535
  int threads = 0;            // 0: hardware concurrency
  std::vector<TrackedClass> tracked = DefaultTrackedClasses();
  std::function<void(int runIndex, const CLandUseCoverage& final)> onRunEnd;  // may be empty
};

// Exact integer sums over a number of runs: the partial result of a subset
// of runs, mergeable in any order.
struct EnsembleSums {
  int rows = 0;
  int cols = 0;
  long steps = 0;
  int classes = 0;
  std::uint32_t runs = 0;  // runs summed here
  // [class][row * cols + col]: runs that ended with the cell in the class.
  std::vector<std::vector<std::uint16_t>> cellCounts;
  // [step * 256 + id], step 0 = the start, steps + 1 rows:
  std::vector<std::uint64_t> cellSum;     // sum over runs of x (cells with the ID)
  std::vector<std::uint64_t> squareLow;   // sum over runs of (x*x) mod 2^32
  std::vector<std::uint64_t> squareHigh;  // sum over runs of (x*x) / 2^32

  // Empty sums (runs = 0) of the given shape.
  static EnsembleSums Zero(int rows, int cols, long steps, int classes);
  // Adds other into this; throws std::invalid_argument (and changes
  // nothing) when the shapes differ or the run total would pass 65535.
  void Merge(const EnsembleSums& other);
};

struct EnsembleResult {
  int rows = 0;
  int cols = 0;
  int runs = 0;
  long steps = 0;
  std::vector<std::string> classNames;                 // of the tracked classes
  std::vector<std::vector<std::uint16_t>> cellCounts;  // [class][row * cols + col]
  std::vector<std::array<double, 256>> meanPerStep;    // [step][id], steps + 1 rows
  std::vector<std::array<double, 256>> stddevPerStep;  // sample deviation, 0 for one run
};

using EnsembleProgress = std::function<void(int runsDone)>;

// Runs the listed run indices of the ensemble (each in 0 .. config.runs-1,
// no repeats; their seeds are S + i*K) and returns their sums. An empty
// list gives empty sums of the right shape.
EnsembleSums RunEnsembleRuns(const EnsembleConfig& config, const std::vector<int>& runIndices,
                             const EnsembleProgress& progress = {});

// Means and deviations from sums (runs must be at least 1); moves the
// counts over when given an rvalue.
EnsembleResult FinishEnsemble(const EnsembleSums& sums, const std::vector<TrackedClass>& tracked);
EnsembleResult FinishEnsemble(EnsembleSums&& sums, const std::vector<TrackedClass>& tracked);

// All runs 0 .. config.runs-1, finished.
EnsembleResult RunEnsemble(const EnsembleConfig& config, const EnsembleProgress& progress = {});

}  // namespace towngrow
