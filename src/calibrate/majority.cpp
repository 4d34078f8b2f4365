// The majority map of an ensemble's runs and its scores. See
// towngrow/calibrate.h.
#include <mutex>
#include <stdexcept>

#include "towngrow/calibrate.h"
#include "towngrow/calibrate_scores.h"
#include "towngrow/ensemble.h"

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

MajorityScore ScoreMajority(const PointEvaluator& evaluator, const Point& point,
                            std::size_t control, int runs, unsigned int baseSeed, int threads) {
  const CalibrationModel& model = evaluator.Model();
  if (control >= model.controls.size())
    throw std::invalid_argument("no control map " + std::to_string(control));
  const ClassScheme& scheme = model.scheme;
  const CLandUseCoverage& start = *model.start;
  MajorityScore score;
  score.runs = runs;
  score.rows = start.m_nRows;
  score.cols = start.m_nCols;
  const std::size_t n = static_cast<std::size_t>(score.rows) * static_cast<std::size_t>(score.cols);
  std::vector<std::vector<std::uint16_t>> counts(scheme.names.size(),
                                                 std::vector<std::uint16_t>(n, 0));
  std::mutex mutex;
  EnsembleConfig e;
  e.start = &start;
  e.makeSet = [&model, &point] { return model.makeSet(point); };
  e.background = model.background;
  e.scenario = model.scenario;
  e.steps = model.controls[control].steps;
  e.baseSeed = baseSeed;
  e.seedStep = model.seedStep;
  e.runs = runs;
  e.threads = threads;
  e.tracked = {DefaultTrackedClasses().back()};  // the per-class counts are ours
  e.onRunEnd = [&](int, const CLandUseCoverage& final) {
    std::lock_guard<std::mutex> lock(mutex);
    for (std::size_t i = 0; i < n; ++i) {
      const int k = scheme.classOf[final.m_pData[i]];
      if (k >= 0) ++counts[static_cast<std::size_t>(k)][i];
    }
  };
  RunEnsemble(e);
  for (int i = 0; i < runs; ++i)
    score.seeds.push_back(baseSeed + static_cast<unsigned int>(i) * model.seedStep);
  const RasterView startView = ViewOf(start);
  score.map = MajorityMap(counts, runs, scheme, startView);
  for (std::size_t i = 0; i < n; ++i) {
    const int k = scheme.classOf[score.map[i]];
    if (k >= 0 && scheme.developed[static_cast<std::size_t>(k)]) ++score.developed;
  }
  MeasureEvaluator measures(scheme, evaluator.Measures(), model.halvingDistance, model.radius);
  RasterView simulated;
  simulated.data = score.map.data();
  simulated.rows = score.rows;
  simulated.cols = score.cols;
  score.values.resize(evaluator.Measures().size());
  measures.Evaluate(model.controls[control].map, simulated, &startView, score.values.data());
  return score;
}

}  // namespace towngrow
