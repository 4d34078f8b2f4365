// Morris screening: the elementary effects of each parameter on the
// objective and on every measure of every control map, from the points of
// a Morris search's trajectories.
#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <string>

#include "space_values.h"
#include "towngrow/calibrate.h"
#include "towngrow/calibrate_scores.h"

namespace towngrow {

using calibrate_values::SpaceHigh;
using calibrate_values::SpaceLow;

namespace {

ElementaryEffects Summarise(const std::vector<double>& effects) {
  ElementaryEffects e;
  e.count = static_cast<int>(effects.size());
  if (effects.empty()) return e;
  const double n = static_cast<double>(effects.size());
  for (double x : effects) {
    e.mu += x;
    e.muStar += std::fabs(x);
  }
  e.mu /= n;
  e.muStar /= n;
  if (effects.size() > 1) {
    double ss = 0;
    for (double x : effects) ss += (x - e.mu) * (x - e.mu);
    e.sigma = std::sqrt(ss / (n - 1));
  }
  return e;
}

}  // namespace

Sensitivity MorrisEffects(const SearchSpace& space, const SearchSettings& settings,
                          const std::vector<PointResult>& results,
                          const std::vector<std::string>& measures) {
  if (settings.method != SearchMethod::Morris)
    throw std::invalid_argument("elementary effects come from a Morris search");
  const std::vector<Point> points = FirstRound(space, settings);
  std::map<std::string, const PointResult*> byKey;
  for (const PointResult& r : results) byKey[r.key] = &r;
  const std::size_t k = space.size();
  std::size_t controls = 0;
  for (const PointResult& r : results) controls = std::max(controls, r.stats.size());

  // [parameter] objective effects; [control][measure][parameter] effects.
  std::vector<std::vector<double>> objective(k);
  std::vector<std::vector<std::vector<std::vector<double>>>> effects(
      controls, std::vector<std::vector<std::vector<double>>>(measures.size(),
                                                              std::vector<std::vector<double>>(k)));
  auto resultOf = [&](const Point& p) {
    const std::string key = PointKey(space, p);
    const auto it = byKey.find(key);
    if (it == byKey.end()) throw std::invalid_argument("point " + key + " has no result");
    return it->second;
  };
  for (std::size_t at = 0; at < points.size(); at += k + 1) {
    for (std::size_t j = 0; j < k; ++j) {
      const Point& before = points[at + j];
      const Point& after = points[at + j + 1];
      std::size_t d = 0;
      while (d < k && before.values[d] == after.values[d]) ++d;
      if (d == k) continue;  // the move vanished in rounding
      const double range = SpaceHigh(space[d]) - SpaceLow(space[d]);
      const double delta = (after.values[d] - before.values[d]) / range;
      const PointResult& a = *resultOf(before);
      const PointResult& b = *resultOf(after);
      if (a.objective.value && b.objective.value)
        objective[d].push_back((*b.objective.value - *a.objective.value) / delta);
      for (std::size_t c = 0; c < controls && c < a.stats.size() && c < b.stats.size(); ++c)
        for (std::size_t m = 0; m < measures.size(); ++m) {
          if (m >= a.stats[c].size() || m >= b.stats[c].size()) continue;
          const Scalar& ya = a.stats[c][m].mean;
          const Scalar& yb = b.stats[c][m].mean;
          if (ya.value && yb.value) effects[c][m][d].push_back((*yb.value - *ya.value) / delta);
        }
    }
  }

  Sensitivity s;
  s.measures = measures;
  std::vector<double> largest(k, 0.0);
  for (std::size_t d = 0; d < k; ++d) s.objective.push_back(Summarise(objective[d]));
  s.effects.resize(controls);
  for (std::size_t c = 0; c < controls; ++c)
    for (std::size_t m = 0; m < measures.size(); ++m) {
      s.effects[c].emplace_back();
      for (std::size_t d = 0; d < k; ++d) {
        s.effects[c][m].push_back(Summarise(effects[c][m][d]));
        largest[d] = std::max(largest[d], s.effects[c][m][d].muStar);
      }
    }
  for (std::size_t d = 0; d < k; ++d) {
    s.order.push_back(d);
    s.none.push_back(s.objective[d].muStar == 0 && largest[d] == 0);
  }
  std::stable_sort(s.order.begin(), s.order.end(), [&](std::size_t a, std::size_t b) {
    if (s.objective[a].muStar != s.objective[b].muStar)
      return s.objective[a].muStar > s.objective[b].muStar;
    return largest[a] > largest[b];
  });
  return s;
}

}  // namespace towngrow
