// The majority map of a point's runs and its scores. See
// towngrow/calibrate_scores.h.
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "towngrow/calibrate.h"
#include "towngrow/calibrate_scores.h"
#include "towngrow/ensemble.h"
#include "towngrow/platform/random.h"
#include "towngrow/simulation.h"

#include "run_restart.h"
#include "step_visits.h"

namespace towngrow {

std::vector<unsigned char> MajorityMap(const std::vector<std::vector<std::uint16_t>>& counts,
                                       int runs, const ClassScheme& scheme,
                                       const RasterView& start) {
  scheme.Check();
  const std::size_t classes = scheme.names.size();
  const std::size_t n = static_cast<std::size_t>(start.rows) * static_cast<std::size_t>(start.cols);
  if (runs < 1) throw std::invalid_argument("a majority map needs 1 or more runs");
  if (counts.size() != classes)
    throw std::invalid_argument("a majority map needs the counts of every class");
  for (const auto& c : counts)
    if (c.size() != n) throw std::invalid_argument("a majority map needs counts of every cell");
  // Each class as its smallest ID (a class without an ID cannot be drawn).
  std::vector<int> idOf(classes, -1);
  for (int id = 255; id >= 0; --id) {
    const int k = scheme.classOf[static_cast<std::size_t>(id)];
    if (k >= 0) idOf[static_cast<std::size_t>(k)] = id;
  }
  std::vector<unsigned char> map(n);
  for (int r = 0; r < start.rows; ++r)
    for (int c = 0; c < start.cols; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * static_cast<std::size_t>(start.cols) +
                            static_cast<std::size_t>(c);
      long developed = 0;
      for (std::size_t k = 0; k < classes; ++k)
        if (scheme.developed[k]) developed += counts[k][i];
      const bool isDeveloped = 2 * developed >= runs;
      int best = -1;
      for (std::size_t k = 0; k < classes; ++k)
        if (scheme.developed[k] == isDeveloped && idOf[k] >= 0 && counts[k][i] > 0 &&
            (best < 0 || counts[k][i] > counts[static_cast<std::size_t>(best)][i]))
          best = static_cast<int>(k);
      map[i] = best >= 0 ? static_cast<unsigned char>(idOf[static_cast<std::size_t>(best)])
                         : start.Row(r)[c];
    }
  return map;
}

namespace {

// The majority scores of some control maps (`wanted`, indices into the
// model's) from one set of runs grown to the last of them. Each worker
// keeps one driver, restarted from the start by the cells the last run
// wrote (run_restart.h); per control map, counts[k][cell] start as the
// runs times the start's class and each run moves them by the cells of
// the blocks its steps wrote (the whole grid when the driver cannot tell).
std::vector<MajorityScore> Majorities(const PointEvaluator& evaluator, const Point& point,
                                      const std::vector<std::size_t>& wanted, int runs,
                                      unsigned int baseSeed, int threads) {
  const CalibrationModel& model = evaluator.Model();
  for (std::size_t c : wanted)
    if (c >= model.controls.size())
      throw std::invalid_argument("no control map " + std::to_string(c));
  if (runs < 1 || runs > kMaxEnsembleRuns)
    throw std::invalid_argument("a majority map needs 1 to 65535 runs, not " +
                                std::to_string(runs));
  if (threads < 0) throw std::invalid_argument("a negative number of threads");
  const ClassScheme& scheme = model.scheme;
  const CLandUseCoverage& start = *model.start;
  const std::size_t n =
      static_cast<std::size_t>(start.m_nRows) * static_cast<std::size_t>(start.m_nCols);
  const std::size_t classes = scheme.names.size();
  auto classOf = [&scheme](unsigned char id) { return scheme.classOf[id]; };
  long last = 0;
  for (std::size_t c : wanted) last = std::max(last, model.controls[c].steps);

  // [wanted][class][cell]
  std::vector<std::vector<std::vector<std::uint16_t>>> counts(
      wanted.size(), std::vector<std::vector<std::uint16_t>>(classes));
  for (auto& perClass : counts)
    for (std::size_t k = 0; k < classes; ++k) {
      perClass[k].assign(n, 0);
      for (std::size_t i = 0; i < n; ++i)
        if (classOf(start.m_pData[i]) == static_cast<int>(k))
          perClass[k][i] = static_cast<std::uint16_t>(runs);
    }

  std::mutex mutex;
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  auto worker = [&] {
    try {
      std::unique_ptr<CLandUseSet> kept;
      Simulation sim;
      for (int run; !failed.load() && (run = next.fetch_add(1)) < runs;) {
        std::unique_ptr<CLandUseSet> set;
        {
          std::lock_guard<std::mutex> lock(mutex);
          set = model.makeSet(point);
        }
        if (!set) throw std::runtime_error("the calibration's set maker gave no set");
        detail::RunRestart::Start(sim, start, set.get(), model.background, "majority");
        sim.SetScenario(model.scenario);
        kept = std::move(set);
        SeedRandom(baseSeed + static_cast<unsigned int>(run) * model.seedStep);
        const Simulation& reader = sim;
        const long ran = sim.Run(last, [&](const StepReport& report) {
          for (std::size_t w = 0; w < wanted.size(); ++w) {
            if (model.controls[wanted[w]].steps != report.step) continue;
            const unsigned char* v = reader.Current().m_pData;
            const std::vector<std::uint64_t>* changed = detail::RunRestart::ChangedSinceStart(sim);
            std::lock_guard<std::mutex> lock(mutex);
            auto move = [&](std::size_t from, std::size_t to) {
              for (std::size_t i = from; i < to; ++i) {
                const int was = classOf(start.m_pData[i]), now = classOf(v[i]);
                if (was == now) continue;
                if (was >= 0) --counts[w][static_cast<std::size_t>(was)][i];
                if (now >= 0) ++counts[w][static_cast<std::size_t>(now)][i];
              }
            };
            if (changed == nullptr) {
              move(0, n);
              continue;
            }
            for (std::size_t word = 0; word < changed->size(); ++word)
              for (std::uint64_t bits = (*changed)[word]; bits != 0; bits &= bits - 1) {
                const std::size_t first =
                    (word * 64 + step_detail::LowestBit(bits)) * step_detail::kBlock;
                move(first, std::min(n, first + step_detail::kBlock));
              }
          }
          return !failed.load();
        });
        if (!failed.load() && ran != last) throw std::runtime_error("a majority run stopped early");
      }
    } catch (...) {
      failed.store(true);
      std::lock_guard<std::mutex> lock(mutex);
      if (!error) error = std::current_exception();
    }
  };
  const int pool = std::min(
      runs,
      threads == 0 ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) : threads);
  std::vector<std::thread> workers;
  for (int t = 0; t < pool; ++t) workers.emplace_back(worker);
  for (std::thread& t : workers) t.join();
  if (error) std::rethrow_exception(error);

  const RasterView startView = ViewOf(start);
  MeasureEvaluator measures(scheme, evaluator.Measures(), model.halvingDistance, model.radius);
  std::vector<MajorityScore> scores(wanted.size());
  for (std::size_t w = 0; w < wanted.size(); ++w) {
    MajorityScore& score = scores[w];
    score.runs = runs;
    score.rows = start.m_nRows;
    score.cols = start.m_nCols;
    for (int i = 0; i < runs; ++i)
      score.seeds.push_back(baseSeed + static_cast<unsigned int>(i) * model.seedStep);
    score.map = MajorityMap(counts[w], runs, scheme, startView);
    counts[w].clear();
    for (std::size_t i = 0; i < n; ++i) {
      const int k = classOf(score.map[i]);
      if (k >= 0 && scheme.developed[static_cast<std::size_t>(k)]) ++score.developed;
    }
    RasterView simulated;
    simulated.data = score.map.data();
    simulated.rows = score.rows;
    simulated.cols = score.cols;
    score.values.resize(evaluator.Measures().size());
    measures.Evaluate(model.controls[wanted[w]].map, simulated, &startView, score.values.data());
  }
  return scores;
}

}  // namespace

MajorityScore ScoreMajority(const PointEvaluator& evaluator, const Point& point,
                            std::size_t control, int runs, unsigned int baseSeed, int threads) {
  return Majorities(evaluator, point, {control}, runs, baseSeed, threads).front();
}

std::vector<MajorityScore> ScoreMajorities(const PointEvaluator& evaluator, const Point& point,
                                           int runs, unsigned int baseSeed, int threads) {
  std::vector<std::size_t> all(evaluator.Model().controls.size());
  for (std::size_t c = 0; c < all.size(); ++c) all[c] = c;
  return Majorities(evaluator, point, all, runs, baseSeed, threads);
}

}  // namespace towngrow
