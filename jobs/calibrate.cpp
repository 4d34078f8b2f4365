#include "jobs/calibrate.h"

#include <cstdio>

#include "io/result_text.h"

namespace towngrow::jobs {

SearchResult Calibrate(CalibrationInputs& in, store::CalibrationStore* store,
                       const CalibrateHooks& hooks) {
  std::vector<std::string> names;
  for (const SearchParameter& p : in.space) names.push_back(p.name);
  long done = 0, total = 0;
  int round = 0;
  std::string best;
  auto report = [&]() {
    if (hooks.progress)
      hooks.progress({done, total, "points", "round " + std::to_string(round) + best});
  };
  SearchHooks search;
  search.evaluate =
      hooks.evaluate ? hooks.evaluate
                     : Evaluate([&in](const std::vector<Point>& points, int r,
                                      const std::function<void(std::size_t, PointResult &&)>& d) {
                         in.evaluator->Evaluate(points, in.space, r, d);
                       });
  if (store != nullptr)
    search.lookup = [store](const std::string& key) { return store->Lookup(key); };
  search.finished = [&](const PointResult& r) {
    if (store != nullptr) store->Add(r, names);
    ++done;
    report();
  };
  search.roundBegins = [&](int r, std::size_t points, std::size_t known) {
    round = r;
    done = 0;
    total = static_cast<long>(points - known);
    report();
  };
  search.roundEnds = [&](const RoundReport& r) {
    if (r.bestSoFar && r.bestSoFar->objective.value)
      best = ", best so far " + io::FixedText(r.bestSoFar->objective, 4);
    if (hooks.roundEnds) hooks.roundEnds(r);
  };
  return Search(in.space, in.settings, search);
}

std::vector<PointResult> ScoreHeldOut(const CalibrationInputs& in, const PointResult& best) {
  std::vector<PointResult> validation;
  for (const auto& v : in.validators)
    v->Evaluate({best.point}, in.space, 0, [&validation](std::size_t, PointResult&& r) {
      validation.push_back(std::move(r));
    });
  return validation;
}

}  // namespace towngrow::jobs
