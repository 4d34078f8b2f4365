// NSGA-II (Deb et al. 2002) as a proposer of the calibration's search,
// through pagmo2's nsga2: a front of points that trade quantity
// disagreement against allocation disagreement (Pontius and Millones 2011),
// both as means over the control maps of the measures' means over the runs,
// lower better (an undefined one counts as 2, worse than any).
//
// As CMA-ES (optimise/cmaes.h): the optimiser works on the fractions of
// each parameter's range, a proposed point takes the nearest of each
// parameter's values, round 1 is a Latin hypercube sample of `population`
// points (seeded with `seed`), and every later round is one generation of
// `population` offspring drawn from a copy of the algorithm before any is
// evaluated. The search ends with its budget. The same seed gives the same
// points on the same standard library; a resumed search asks the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>

namespace towngrow::optimise {

struct Nsga2Settings {
  int population = 40;     // a multiple of 4, 8..100000
  std::uint64_t seed = 1;  // the sample's and the algorithm's draws
  // Where quantity and allocation stand among a result's measures
  // (PointEvaluator::Measures()).
  std::size_t quantityAt = 0, allocationAt = 1;
};

// Throws std::invalid_argument for settings outside the ranges above and
// for quantityAt equal to allocationAt.
void CheckNsga2Settings(const Nsga2Settings& settings);

// A result's two objectives: quantity and allocation disagreement.
std::vector<double> DisagreementOf(const PointResult& result, const Nsga2Settings& settings);

class Nsga2Proposer : public Proposer {
public:
  explicit Nsga2Proposer(const Nsga2Settings& settings);
  ~Nsga2Proposer() override;
  std::size_t RoundSize(const SearchSpace& space) const override;
  std::vector<Point> First(const SearchSpace& space) override;
  std::vector<Point> Next(const SearchSpace& space, const std::vector<Point>& asked,
                          const std::vector<const PointResult*>& results) override;

private:
  struct State;
  std::unique_ptr<State> state_;
};

// A search by NSGA-II: settings.method Proposed with `evaluations` as the
// budget of distinct points.
SearchResult SearchNsga2(const SearchSpace& space, const SearchSettings& settings,
                         const Nsga2Settings& nsga2, const SearchHooks& hooks);

// The results no other result beats in both disagreements (one at least
// strictly), by quantity and then allocation ascending, then by key.
std::vector<PointResult> ParetoFront(const std::vector<PointResult>& results,
                                     const Nsga2Settings& settings);

// pareto.csv: "point,<parameter>...,quantity,allocation,objective", one
// row per point of the front in its order; values as the keys write them,
// disagreements and objective with 6 decimals ("" where undefined).
std::string ParetoCsv(const std::vector<PointResult>& front, const SearchSpace& space,
                      const Nsga2Settings& settings);

}  // namespace towngrow::optimise
