// CMA-ES through pagmo2, one generation per round. See optimise/cmaes.h.
#include "optimise/cmaes.h"

#include "optimise/pagmo_bridge.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <utility>

#include <pagmo/algorithms/cmaes.hpp>
#include <pagmo/population.hpp>
#include <pagmo/problem.hpp>
#include <pagmo/types.hpp>

namespace towngrow::optimise {
namespace {

constexpr double kUndefined = 2.0;     // the fitness of an undefined objective
constexpr int kStaleGenerations = 10;  // generations without a new point before a restart

// A stopped point (a run grew past the runaway bound) is worse than any
// other: more stopped runs worse, then an earlier first stop.
double FitnessOf(const PointResult& r) {
  if (r.stoppedRuns > 0)
    return kUndefined + 1 + r.stoppedRuns -
           static_cast<double>(r.stoppedStep) / static_cast<double>(r.stoppedStep + 1);
  return r.objective.value ? -*r.objective.value : kUndefined;
}

pagmo::cmaes MakeAlgorithm(double sigma, std::uint64_t seed) {
  // One generation per evolve, the adapted state kept between calls;
  // points kept within the bounds.
  return pagmo::cmaes(1, -1, -1, -1, -1, sigma, 1e-6, 1e-6, true, true,
                      static_cast<unsigned>(seed ^ (seed >> 32)));
}

}  // namespace

using detail::Oracle;
using detail::UnitCube;

struct CmaesProposer::State {
  CmaesSettings settings;
  std::shared_ptr<Oracle> oracle = std::make_shared<Oracle>();
  int restarts = 0;
  int population = 0;
  bool sampling = true;  // the last round was a run's first sample
  long generations = 0;
  int stale = 0;
  std::set<std::string> seen;
  std::unique_ptr<pagmo::cmaes> algorithm;
  std::unique_ptr<pagmo::population> pop;

  std::uint64_t RunSeed() const { return settings.seed + static_cast<std::uint64_t>(restarts); }

  std::vector<Point> Sample(const SearchSpace& space) {
    std::vector<Point> points = detail::Sample(space, population, RunSeed());
    sampling = true;
    generations = 0;
    stale = 0;
    return points;
  }

  // The next generation; empty when the algorithm has stopped.
  std::vector<Point> Draw(const SearchSpace& space) {
    std::vector<Point> points = detail::DrawGeneration(*algorithm, *pop, *oracle, space);
    if (points.size() != static_cast<std::size_t>(population)) points.clear();
    return points;
  }
};

void CheckCmaesSettings(const CmaesSettings& s) {
  if (s.population != 0 && (s.population < 5 || s.population > 100000))
    throw std::invalid_argument("the population must be from 5 to 100000 (0: the default)");
  if (!(s.sigma > 0 && s.sigma <= 1))
    throw std::invalid_argument("sigma must be above 0 and at most 1");
  if (s.restarts < 0 || s.restarts > 30)
    throw std::invalid_argument("restarts must be from 0 to 30");
}

int PopulationFor(const CmaesSettings& s, std::size_t parameters) {
  if (s.population > 0) return s.population;
  const int n = 4 + static_cast<int>(std::floor(3 * std::log(static_cast<double>(parameters))));
  return std::max(5, n);
}

CmaesProposer::CmaesProposer(const CmaesSettings& settings) : state_(std::make_unique<State>()) {
  CheckCmaesSettings(settings);
  state_->settings = settings;
}

CmaesProposer::~CmaesProposer() = default;

int CmaesProposer::Restarts() const { return state_->restarts; }
long CmaesProposer::Generations() const { return state_->generations; }

std::size_t CmaesProposer::RoundSize(const SearchSpace& space) const {
  // Restarts double it; the first run's is the one known before.
  return static_cast<std::size_t>(PopulationFor(state_->settings, space.size()));
}

std::vector<Point> CmaesProposer::First(const SearchSpace& space) {
  State& s = *state_;
  s.oracle->space = &space;
  s.restarts = 0;
  s.population = PopulationFor(s.settings, space.size());
  return s.Sample(space);
}

std::vector<Point> CmaesProposer::Next(const SearchSpace& space, const std::vector<Point>& asked,
                                       const std::vector<const PointResult*>& results) {
  State& s = *state_;
  s.oracle->space = &space;
  if (asked.size() != results.size())
    throw std::logic_error("CMA-ES was given " + std::to_string(results.size()) + " results for " +
                           std::to_string(asked.size()) + " points");
  bool anyNew = false;
  for (const PointResult* r : results) {
    s.oracle->fitness[r->key] = {FitnessOf(*r)};
    anyNew = s.seen.insert(r->key).second || anyNew;
  }
  s.stale = anyNew ? 0 : s.stale + 1;

  const UnitCube cube{s.oracle, space.size()};
  if (s.sampling) {
    // A run starts: the sample is its population, CMA-ES's mean its best.
    s.pop = std::make_unique<pagmo::population>(pagmo::problem(cube), 0u, 0u);
    for (std::size_t i = 0; i < asked.size(); ++i)
      s.pop->push_back(FractionsOf(space, asked[i]), {FitnessOf(*results[i])});
    s.algorithm = std::make_unique<pagmo::cmaes>(MakeAlgorithm(s.settings.sigma, s.RunSeed()));
    s.sampling = false;
  } else {
    *s.pop = s.algorithm->evolve(*s.pop);  // answers from the results just given
    ++s.generations;
  }
  std::vector<Point> next;
  if (s.stale < kStaleGenerations) next = s.Draw(space);
  if (!next.empty()) return next;
  if (s.restarts >= s.settings.restarts) return {};
  ++s.restarts;
  s.population = std::min(100000, s.population * 2);
  return s.Sample(space);
}

SearchResult SearchCmaes(const SearchSpace& space, const SearchSettings& settings,
                         const CmaesSettings& cmaes, const SearchHooks& hooks) {
  SearchSettings s = settings;
  s.method = SearchMethod::Proposed;
  CmaesProposer proposer(cmaes);
  return Search(space, s, hooks, &proposer);
}

}  // namespace towngrow::optimise
