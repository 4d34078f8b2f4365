// CMA-ES (the covariance matrix adaptation evolution strategy, Hansen 2006)
// as a proposer of the calibration's search, through pagmo2's cmaes.
//
// The optimiser works on the fractions of each parameter's range (0..1,
// the smallest to the largest of its values), so that every parameter
// weighs alike whatever its units; a proposed point takes for each
// parameter the nearest of its values (PointAtFractions: a range's step, a
// values list, whole numbers for integer fields). It minimises minus the
// objective, an undefined objective counting as worse than any (2).
//
// Rounds (generations): round 1 is a Latin hypercube sample of
// `population` points (the core's, seeded with `seed`, each value the
// nearest of the parameter's values); CMA-ES starts from its best point
// with step size `sigma` (a fraction of the ranges). Every later round is
// one generation: pagmo's cmaes draws a whole generation before it
// evaluates any of it, so the generation is drawn from a copy of the
// algorithm (same state, same random engine) whose evaluations only record
// the points asked; the search evaluates them together, and the algorithm
// itself then evolves one generation on the results (one generation per
// evolve, its state kept between calls). When pagmo's cmaes stops (its
// spread of the objective or its steps fall below the tolerances) or 10
// generations in a row bring no point not met before, it starts again with
// twice the population (IPOP-CMA-ES, Auger and Hansen 2005): a new sample
// seeded with `seed` + restarts, a new algorithm seeded likewise.
//
// Every round depends only on the results of the rounds before, so a
// search resumed from a store asks the same points; the same seed gives
// the same points on the same standard library (pagmo's draws go through
// the standard library's normal distribution).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>

namespace towngrow::optimise {

struct CmaesSettings {
  int population = 0;      // lambda, 5..100000; 0: 4 + floor(3 ln n), at least 5
  double sigma = 0.3;      // the first step size, a fraction of the ranges, (0, 1]
  std::uint64_t seed = 1;  // the sample's and the algorithm's draws
  int restarts = 9;        // the most restarts, 0..30
};

// Throws std::invalid_argument for settings outside the ranges above.
void CheckCmaesSettings(const CmaesSettings& settings);

// The population for n parameters.
int PopulationFor(const CmaesSettings& settings, std::size_t parameters);

class CmaesProposer : public Proposer {
public:
  explicit CmaesProposer(const CmaesSettings& settings);
  ~CmaesProposer() override;
  std::size_t RoundSize(const SearchSpace& space) const override;
  std::vector<Point> First(const SearchSpace& space) override;
  std::vector<Point> Next(const SearchSpace& space, const std::vector<Point>& asked,
                          const std::vector<const PointResult*>& results) override;

  // Restarts so far, and the generations of the present run.
  int Restarts() const;
  long Generations() const;

private:
  struct State;
  std::unique_ptr<State> state_;
};

// A search by CMA-ES: settings.method Proposed with `evaluations` as the
// budget of distinct points (its other settings checked as usual).
SearchResult SearchCmaes(const SearchSpace& space, const SearchSettings& settings,
                         const CmaesSettings& cmaes, const SearchHooks& hooks);

}  // namespace towngrow::optimise
