// The ensemble runner. See towngrow/ensemble.h for what a run is and what is
// aggregated.
//
// How it works: the calling thread starts the workers and then only waits
// and reports progress. Each worker takes the next run index from an atomic
// counter, makes the run's set (one makeSet call at a time), runs a
// Simulation of its own (thread_local generator, so runs never share draws)
// and records the cells per ID of the start and of every step in a buffer of
// its own. It then adds the run to the shared sums under one lock: the final
// grid's class memberships into the 16-bit per-cell counts, and the per-step
// counts as x, (x*x) mod 2^32 and (x*x) / 2^32 into 64-bit sums. Integer
// addition is exact and commutative, so neither the thread count nor the
// finishing order can change a single bit of the result. A worker holds one
// Simulation (two coverages) at a time; no run's grid is kept after it is
// added.
#include "towngrow/ensemble.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "towngrow/platform/random.h"
#include "towngrow/simulation.h"

#include "run_start.h"

namespace towngrow {
namespace {

constexpr std::uint64_t kMaxCells = 0xFFFFFFFFull;  // so that x*x fits 64 bits

std::size_t StepRows(long steps) { return static_cast<std::size_t>(steps) + 1; }

void CheckShape(int rows, int cols, long steps, int classes) {
  if (rows <= 0 || cols <= 0) throw std::invalid_argument("an ensemble needs a start with cells");
  if (static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols) > kMaxCells)
    throw std::invalid_argument("an ensemble's start may have at most 4294967295 cells");
  if (steps < 0) throw std::invalid_argument("an ensemble cannot run a negative number of steps");
  if (classes < 0)
    throw std::invalid_argument("an ensemble cannot track a negative number of classes");
  // (steps + 1) * 256 entries of 8 bytes, three arrays, must be addressable.
  const std::uint64_t maxSteps = std::numeric_limits<std::size_t>::max() / (256u * 8u * 3u) - 1u;
  if (static_cast<std::uint64_t>(steps) > maxSteps)
    throw std::invalid_argument("an ensemble of " + std::to_string(steps) +
                                " steps cannot be held in memory");
}

bool Contains(const std::vector<LandUseCategory>& cats, LandUseCategory cat) {
  return std::find(cats.begin(), cats.end(), cat) != cats.end();
}

// Whether each of the seven categories falls in each tracked class, worked
// out once per ensemble.
std::vector<std::array<std::uint8_t, 7>> CategoryTables(const std::vector<TrackedClass>& tracked) {
  std::vector<std::array<std::uint8_t, 7>> tables(tracked.size());
  for (std::size_t k = 0; k < tracked.size(); ++k)
    for (int cat = 0; cat < 7; ++cat)
      tables[k][static_cast<std::size_t>(cat)] =
          Contains(tracked[k].categories, static_cast<LandUseCategory>(cat)) ? 1 : 0;
  return tables;
}

// Which IDs of a run's set fall in each tracked class (1 or 0 per ID). A
// category a host stored outside the seven is looked up in the class lists.
std::vector<std::array<std::uint8_t, 256>> ClassTables(
    const CLandUseSet& set, const std::vector<TrackedClass>& tracked,
    const std::vector<std::array<std::uint8_t, 7>>& byCategory) {
  std::vector<std::array<std::uint8_t, 256>> tables(tracked.size());
  for (int id = 0; id < 256; ++id) {
    const LandUseCategory cat = set.GetCategory(static_cast<unsigned char>(id));
    const bool known = cat >= 0 && cat < 7;
    for (std::size_t k = 0; k < tracked.size(); ++k)
      tables[k][static_cast<std::size_t>(id)] =
          known ? byCategory[k][static_cast<std::size_t>(cat)]
                : (Contains(tracked[k].categories, cat) ? 1 : 0);
  }
  return tables;
}

struct Shared {
  const EnsembleConfig& config;
  const std::vector<int>& indices;
  EnsembleSums& sums;
  const std::vector<std::array<std::uint8_t, 7>> byCategory;

  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::mutex setMutex;  // makeSet is called by one thread at a time

  std::mutex mutex;  // guards sums, done, finished, error
  std::condition_variable changed;
  int done = 0;
  int finished = 0;  // workers that have returned
  std::exception_ptr error;

  Shared(const EnsembleConfig& c, const std::vector<int>& i, EnsembleSums& s)
      : config(c), indices(i), sums(s), byCategory(CategoryTables(c.tracked)) {}
};

void RunOne(Shared& sh, int index, std::vector<std::uint64_t>& perStep) {
  const EnsembleConfig& cfg = sh.config;
  const CLandUseCoverage& start = *cfg.start;
  const int rows = start.m_nRows;
  const int cols = start.m_nCols;

  std::unique_ptr<CLandUseSet> set;
  {
    std::lock_guard<std::mutex> lock(sh.setMutex);
    set = cfg.makeSet ? cfg.makeSet() : std::unique_ptr<CLandUseSet>(new CLandUseSet());
  }
  if (!set) throw std::runtime_error("the ensemble's set maker gave no set");

  Simulation sim(set.get());
  CLandUseCoverage& cur = detail::StartRun(sim, start, set.get(), cfg.background, "ensemble");
  sim.SetScenario(cfg.scenario);

  SeedRandom(cfg.baseSeed + static_cast<unsigned int>(index) * cfg.seedStep);
  if (cfg.makeStart) {
    cfg.makeStart(index, cur);
    if (cur.m_nRows != rows || cur.m_nCols != cols || cur.m_pData == nullptr)
      throw std::runtime_error("the ensemble's start maker changed the size of run " +
                               std::to_string(index) + "'s start");
  }

  const std::array<long, 256> first = CountCellsPerId(cur);
  for (std::size_t id = 0; id < 256; ++id) perStep[id] = static_cast<std::uint64_t>(first[id]);
  const long ran = sim.Run(cfg.steps, [&](const StepReport& report) {
    const std::size_t base = static_cast<std::size_t>(report.step) * 256u;
    for (std::size_t id = 0; id < 256; ++id)
      perStep[base + id] = static_cast<std::uint64_t>(report.cellsPerId[id]);
    return !sh.stop.load(std::memory_order_relaxed);
  });
  if (sh.stop.load()) return;  // abandoned: another run failed
  if (ran != cfg.steps) throw std::runtime_error("an ensemble run stopped before its last step");
  if (cfg.onRunEnd) cfg.onRunEnd(index, sim.Current());

  const std::vector<std::array<std::uint8_t, 256>> tables =
      ClassTables(*set, cfg.tracked, sh.byCategory);
  const unsigned char* cells = sim.Current().m_pData;
  const std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);

  std::lock_guard<std::mutex> lock(sh.mutex);
  EnsembleSums& s = sh.sums;
  for (std::size_t k = 0; k < tables.size(); ++k) {
    const std::uint8_t* table = tables[k].data();
    std::uint16_t* counts = s.cellCounts[k].data();
    for (std::size_t c = 0; c < n; ++c)
      counts[c] = static_cast<std::uint16_t>(counts[c] + table[cells[c]]);
  }
  const std::size_t entries = perStep.size();
  for (std::size_t e = 0; e < entries; ++e) {
    const std::uint64_t x = perStep[e];
    const std::uint64_t sq = x * x;
    s.cellSum[e] += x;
    s.squareLow[e] += sq & 0xFFFFFFFFull;
    s.squareHigh[e] += sq >> 32;
  }
  ++s.runs;
  ++sh.done;
  sh.changed.notify_all();
}

void Worker(Shared& sh) {
  try {
    std::vector<std::uint64_t> perStep(StepRows(sh.config.steps) * 256u, 0);
    while (!sh.stop.load()) {
      const std::size_t j = sh.next.fetch_add(1);
      if (j >= sh.indices.size()) break;
      RunOne(sh, sh.indices[j], perStep);
    }
  } catch (...) {
    sh.stop.store(true);
    std::lock_guard<std::mutex> lock(sh.mutex);
    if (!sh.error) sh.error = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(sh.mutex);
  ++sh.finished;
  sh.changed.notify_all();
}

void CheckConfig(const EnsembleConfig& cfg) {
  if (cfg.start == nullptr) throw std::invalid_argument("an ensemble needs a start coverage");
  if (cfg.start->IsEmpty() || cfg.start->m_pData == nullptr)
    throw std::invalid_argument("an ensemble needs a start with cells");
  if (cfg.runs < 1) throw std::invalid_argument("an ensemble needs at least 1 run");
  if (cfg.runs > kMaxEnsembleRuns)
    throw std::invalid_argument("an ensemble may have at most 65535 runs, not " +
                                std::to_string(cfg.runs));
  if (cfg.threads < 0)
    throw std::invalid_argument("an ensemble cannot use a negative number of threads");
  CheckShape(
      cfg.start->m_nRows, cfg.start->m_nCols, cfg.steps,
      static_cast<int>(std::min<std::size_t>(cfg.tracked.size(), std::numeric_limits<int>::max())));
}

}  // namespace

EnsembleStartMaker SparseRandomStart() {
  return [](int runIndex, CLandUseCoverage& runStart) {
    if (!runStart.RandomFill())
      throw std::runtime_error("run " + std::to_string(runIndex) +
                               "'s random start could not be made");
  };
}

std::vector<TrackedClass> DefaultTrackedClasses() {
  return {
      {"housing", {House}},
      {"industry", {Industry}},
      {"commerce", {Commerce}},
      {"street", {StreetNode, StreetVertex}},
      {"developed", {StreetNode, StreetVertex, House, Industry, Commerce}},
  };
}

EnsembleSums EnsembleSums::Zero(int rows, int cols, long steps, int classes) {
  CheckShape(rows, cols, steps, classes);
  EnsembleSums s;
  s.rows = rows;
  s.cols = cols;
  s.steps = steps;
  s.classes = classes;
  const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  s.cellCounts.assign(static_cast<std::size_t>(classes), std::vector<std::uint16_t>(cells, 0));
  const std::size_t entries = StepRows(steps) * 256u;
  s.cellSum.assign(entries, 0);
  s.squareLow.assign(entries, 0);
  s.squareHigh.assign(entries, 0);
  return s;
}

void EnsembleSums::Merge(const EnsembleSums& other) {
  if (other.rows != rows || other.cols != cols || other.steps != steps ||
      other.classes != classes || other.cellCounts.size() != cellCounts.size() ||
      other.cellSum.size() != cellSum.size() || other.squareLow.size() != squareLow.size() ||
      other.squareHigh.size() != squareHigh.size())
    throw std::invalid_argument("ensemble sums of different shapes cannot be merged");
  for (std::size_t k = 0; k < cellCounts.size(); ++k)
    if (other.cellCounts[k].size() != cellCounts[k].size())
      throw std::invalid_argument("ensemble sums of different shapes cannot be merged");
  if (static_cast<std::uint64_t>(runs) + other.runs > static_cast<std::uint64_t>(kMaxEnsembleRuns))
    throw std::invalid_argument("merged ensemble sums may hold at most 65535 runs");
  for (std::size_t k = 0; k < cellCounts.size(); ++k) {
    std::uint16_t* mine = cellCounts[k].data();
    const std::uint16_t* theirs = other.cellCounts[k].data();
    const std::size_t n = cellCounts[k].size();
    for (std::size_t c = 0; c < n; ++c) mine[c] = static_cast<std::uint16_t>(mine[c] + theirs[c]);
  }
  for (std::size_t e = 0; e < cellSum.size(); ++e) {
    cellSum[e] += other.cellSum[e];
    squareLow[e] += other.squareLow[e];
    squareHigh[e] += other.squareHigh[e];
  }
  runs += other.runs;
}

EnsembleSums RunEnsembleRuns(const EnsembleConfig& config, const std::vector<int>& runIndices,
                             const EnsembleProgress& progress) {
  CheckConfig(config);
  std::vector<bool> seen(static_cast<std::size_t>(config.runs), false);
  for (int i : runIndices) {
    if (i < 0 || i >= config.runs)
      throw std::invalid_argument("ensemble run " + std::to_string(i) +
                                  " is not one of runs 0 to " + std::to_string(config.runs - 1));
    if (seen[static_cast<std::size_t>(i)])
      throw std::invalid_argument("ensemble run " + std::to_string(i) + " is listed twice");
    seen[static_cast<std::size_t>(i)] = true;
  }

  EnsembleSums sums = EnsembleSums::Zero(config.start->m_nRows, config.start->m_nCols, config.steps,
                                         static_cast<int>(config.tracked.size()));
  if (runIndices.empty()) return sums;

  int threads = config.threads;
  if (threads == 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads =
      static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads), runIndices.size()));

  Shared sh(config, runIndices, sums);
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  auto joinAll = [&] {
    for (std::thread& t : pool)
      if (t.joinable()) t.join();
  };
  try {
    for (int t = 0; t < threads; ++t) pool.emplace_back(Worker, std::ref(sh));
    int reported = 0;
    for (;;) {
      int done = 0;
      bool over = false;
      {
        std::unique_lock<std::mutex> lock(sh.mutex);
        sh.changed.wait(lock, [&] { return sh.done > reported || sh.finished == threads; });
        done = sh.done;
        over = sh.finished == threads;
      }
      if (!sh.stop.load())
        for (; reported < done; ++reported)
          if (progress) progress(reported + 1);
      reported = std::max(reported, done);
      if (over) break;
    }
  } catch (...) {
    sh.stop.store(true);
    joinAll();
    throw;
  }
  joinAll();
  if (sh.error) std::rethrow_exception(sh.error);
  return sums;
}

namespace {

void FillStatistics(const EnsembleSums& sums, EnsembleResult& r) {
  const std::uint64_t n = sums.runs;
  const std::size_t rowsOfSteps = StepRows(sums.steps);
  r.meanPerStep.assign(rowsOfSteps, std::array<double, 256>{});
  r.stddevPerStep.assign(rowsOfSteps, std::array<double, 256>{});
  for (std::size_t st = 0; st < rowsOfSteps; ++st) {
    for (std::size_t id = 0; id < 256; ++id) {
      const std::size_t e = st * 256u + id;
      const std::uint64_t sum = sums.cellSum[e];
      r.meanPerStep[st][id] = static_cast<double>(sum) / static_cast<double>(n);
      if (n < 2) continue;
#if defined(__SIZEOF_INT128__)
      // n * sum(x^2) - (sum x)^2 is exact in 128 bits: n < 2^16, sum(x^2) < 2^80,
      // sum x < 2^48. It is never negative.
      __extension__ typedef unsigned __int128 U128;
      const U128 squares = (static_cast<U128>(sums.squareHigh[e]) << 32) + sums.squareLow[e];
      const U128 numerator = static_cast<U128>(n) * squares - static_cast<U128>(sum) * sum;
      const double variance =
          static_cast<double>(numerator) / (static_cast<double>(n) * static_cast<double>(n - 1));
#else
      const long double squares =
          static_cast<long double>(sums.squareHigh[e]) * 4294967296.0L + sums.squareLow[e];
      const long double numerator = static_cast<long double>(n) * squares -
                                    static_cast<long double>(sum) * static_cast<long double>(sum);
      const double variance =
          static_cast<double>(std::max(0.0L, numerator) /
                              (static_cast<long double>(n) * static_cast<long double>(n - 1)));
#endif
      r.stddevPerStep[st][id] = std::sqrt(variance);
    }
  }
}

void CheckFinishable(const EnsembleSums& sums, const std::vector<TrackedClass>& tracked) {
  if (sums.runs < 1) throw std::invalid_argument("ensemble sums of no run have no mean");
  if (sums.runs > static_cast<std::uint32_t>(kMaxEnsembleRuns))
    throw std::invalid_argument("ensemble sums may hold at most 65535 runs");
  if (sums.classes < 0 || tracked.size() != static_cast<std::size_t>(sums.classes) ||
      sums.cellCounts.size() != tracked.size())
    throw std::invalid_argument("the tracked classes do not match the ensemble sums");
  const std::size_t entries = StepRows(sums.steps) * 256u;
  if (sums.steps < 0 || sums.cellSum.size() != entries || sums.squareLow.size() != entries ||
      sums.squareHigh.size() != entries)
    throw std::invalid_argument("the ensemble sums do not hold one row per step");
}

EnsembleResult ResultHead(const EnsembleSums& sums, const std::vector<TrackedClass>& tracked) {
  EnsembleResult r;
  r.rows = sums.rows;
  r.cols = sums.cols;
  r.runs = static_cast<int>(sums.runs);
  r.steps = sums.steps;
  for (const TrackedClass& t : tracked) r.classNames.push_back(t.name);
  return r;
}

}  // namespace

EnsembleResult FinishEnsemble(const EnsembleSums& sums, const std::vector<TrackedClass>& tracked) {
  CheckFinishable(sums, tracked);
  EnsembleResult r = ResultHead(sums, tracked);
  r.cellCounts = sums.cellCounts;
  FillStatistics(sums, r);
  return r;
}

EnsembleResult FinishEnsemble(EnsembleSums&& sums, const std::vector<TrackedClass>& tracked) {
  CheckFinishable(sums, tracked);
  EnsembleResult r = ResultHead(sums, tracked);
  FillStatistics(sums, r);
  r.cellCounts = std::move(sums.cellCounts);
  return r;
}

EnsembleResult RunEnsemble(const EnsembleConfig& config, const EnsembleProgress& progress) {
  CheckConfig(config);
  std::vector<int> all(static_cast<std::size_t>(config.runs));
  for (int i = 0; i < config.runs; ++i) all[static_cast<std::size_t>(i)] = i;
  return FinishEnsemble(RunEnsembleRuns(config, all, progress), config.tracked);
}

}  // namespace towngrow
