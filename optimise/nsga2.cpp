// NSGA-II through pagmo2, one generation per round. See optimise/nsga2.h.
#include "optimise/nsga2.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include <pagmo/algorithms/nsga2.hpp>
#include <pagmo/population.hpp>
#include <pagmo/problem.hpp>

#include "optimise/pagmo_bridge.h"

namespace towngrow::optimise {
namespace {

constexpr double kUndefined = 2.0;  // a disagreement that is undefined

std::string Fixed(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

}  // namespace

void CheckNsga2Settings(const Nsga2Settings& s) {
  if (s.population < 8 || s.population > 100000 || s.population % 4 != 0)
    throw std::invalid_argument("the population must be a multiple of 4 from 8 to 100000");
  if (s.quantityAt == s.allocationAt)
    throw std::invalid_argument("quantity and allocation must be two measures");
}

std::vector<double> DisagreementOf(const PointResult& r, const Nsga2Settings& s) {
  // A stopped point (a run grew past the runaway bound) is worse than any
  // other: more stopped runs worse, then an earlier first stop.
  if (r.stoppedRuns > 0) {
    const double worse =
        kUndefined + r.stoppedRuns -
        static_cast<double>(r.stoppedStep) / static_cast<double>(r.stoppedStep + 1);
    return {worse, worse};
  }
  std::vector<double> out;
  for (std::size_t at : {s.quantityAt, s.allocationAt}) {
    double sum = 0;
    bool defined = !r.stats.empty();
    for (const auto& atControl : r.stats) {
      if (at >= atControl.size() || !atControl[at].mean.value) {
        defined = false;
        break;
      }
      sum += *atControl[at].mean.value;
    }
    out.push_back(defined ? sum / static_cast<double>(r.stats.size()) : kUndefined);
  }
  return out;
}

struct Nsga2Proposer::State {
  Nsga2Settings settings;
  std::shared_ptr<detail::Oracle> oracle = std::make_shared<detail::Oracle>();
  bool sampling = true;
  std::unique_ptr<pagmo::nsga2> algorithm;
  std::unique_ptr<pagmo::population> pop;
};

Nsga2Proposer::Nsga2Proposer(const Nsga2Settings& settings) : state_(std::make_unique<State>()) {
  CheckNsga2Settings(settings);
  state_->settings = settings;
  state_->oracle->objectives = 2;
}

Nsga2Proposer::~Nsga2Proposer() = default;

std::size_t Nsga2Proposer::RoundSize(const SearchSpace&) const {
  return static_cast<std::size_t>(state_->settings.population);
}

std::vector<Point> Nsga2Proposer::First(const SearchSpace& space) {
  State& s = *state_;
  s.oracle->space = &space;
  s.sampling = true;
  return detail::Sample(space, s.settings.population, s.settings.seed);
}

std::vector<Point> Nsga2Proposer::Next(const SearchSpace& space, const std::vector<Point>& asked,
                                       const std::vector<const PointResult*>& results) {
  State& s = *state_;
  s.oracle->space = &space;
  if (asked.size() != results.size())
    throw std::logic_error("NSGA-II was given " + std::to_string(results.size()) + " results for " +
                           std::to_string(asked.size()) + " points");
  for (const PointResult* r : results) s.oracle->fitness[r->key] = DisagreementOf(*r, s.settings);
  if (s.sampling) {
    const detail::UnitCube cube{s.oracle, space.size()};
    s.pop = std::make_unique<pagmo::population>(pagmo::problem(cube), 0u, 0u);
    for (std::size_t i = 0; i < asked.size(); ++i)
      s.pop->push_back(FractionsOf(space, asked[i]), DisagreementOf(*results[i], s.settings));
    const std::uint64_t seed = s.settings.seed;
    s.algorithm = std::make_unique<pagmo::nsga2>(1u, 0.95, 10., 0.01, 50.,
                                                 static_cast<unsigned>(seed ^ (seed >> 32)));
    s.sampling = false;
  } else {
    *s.pop = s.algorithm->evolve(*s.pop);  // answers from the results just given
  }
  std::vector<Point> next = detail::DrawGeneration(*s.algorithm, *s.pop, *s.oracle, space);
  if (next.size() != static_cast<std::size_t>(s.settings.population)) next.clear();
  return next;
}

SearchResult SearchNsga2(const SearchSpace& space, const SearchSettings& settings,
                         const Nsga2Settings& nsga2, const SearchHooks& hooks) {
  SearchSettings s = settings;
  s.method = SearchMethod::Proposed;
  Nsga2Proposer proposer(nsga2);
  return Search(space, s, hooks, &proposer);
}

std::vector<PointResult> ParetoFront(const std::vector<PointResult>& results,
                                     const Nsga2Settings& settings) {
  std::vector<std::pair<std::vector<double>, const PointResult*>> all;
  for (const PointResult& r : results) all.emplace_back(DisagreementOf(r, settings), &r);
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second->key < b.second->key;
  });
  // Sorted by quantity, then allocation: a point is on the front when its
  // allocation is below every allocation met at a lower quantity, or it
  // ties the last point kept in both.
  std::vector<PointResult> front;
  std::vector<double> last;
  double lowest = kUndefined + 1;
  for (const auto& [d, r] : all) {
    if (d[1] < lowest || (!front.empty() && d == last)) {
      front.push_back(*r);
      last = d;
      lowest = std::min(lowest, d[1]);
    }
  }
  return front;
}

std::string ParetoCsv(const std::vector<PointResult>& front, const SearchSpace& space,
                      const Nsga2Settings& settings) {
  std::string text = "point";
  for (const SearchParameter& p : space) text += "," + p.name;
  text += ",quantity,allocation,objective\n";
  for (const PointResult& r : front) {
    const std::vector<double> d = DisagreementOf(r, settings);
    text += "\"" + r.key + "\"";
    for (double v : r.point.values) text += "," + ValueText(v);
    for (double v : d) text += "," + (v >= kUndefined ? std::string() : Fixed(v));
    text += "," + (r.objective.value ? Fixed(*r.objective.value) : std::string()) + "\n";
  }
  return text;
}

}  // namespace towngrow::optimise
