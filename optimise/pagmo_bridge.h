// What the proposers share on the way to pagmo (inside optimise/ only):
// the unit cube pagmo searches, whose evaluations either record the points
// asked or answer from the results of the search, and the drawing of a
// generation from a copy of an algorithm.
//
// pagmo's algorithms evaluate their individuals one at a time inside
// evolve. Those used here draw a whole generation from their state and
// their random engine before any of its evaluations can change what they
// draw, so a copy of the algorithm and of its population, evolved one
// generation while the evaluations only record, asks exactly the points
// that the algorithm itself asks next. The search evaluates them together;
// the algorithm then evolves on their results. An evaluation of a point
// that was not drawn so is refused (std::logic_error), so a version of
// pagmo that drew otherwise would be caught, not followed blindly.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <pagmo/population.hpp>
#include <pagmo/types.hpp>

#include <towngrow/calibrate.h>

namespace towngrow::optimise::detail {

struct Oracle {
  const SearchSpace* space = nullptr;
  std::size_t objectives = 1;
  bool recording = false;
  std::vector<pagmo::vector_double> recorded;
  std::map<std::string, pagmo::vector_double> fitness;  // by point key, every result so far

  pagmo::vector_double Answer(const pagmo::vector_double& x) {
    if (recording) {
      recorded.push_back(x);
      return pagmo::vector_double(objectives, 0.0);  // never used: the copy is thrown away
    }
    const std::string key = PointKey(*space, PointAtFractions(*space, x));
    const auto it = fitness.find(key);
    if (it == fitness.end())
      throw std::logic_error("the optimiser asked for point " + key + ", which was not evaluated");
    return it->second;
  }
};

// The problem pagmo sees: the unit cube of the space's fractions.
struct UnitCube {
  std::shared_ptr<Oracle> oracle;
  std::size_t dimension = 1;
  pagmo::vector_double fitness(const pagmo::vector_double& x) const { return oracle->Answer(x); }
  std::pair<pagmo::vector_double, pagmo::vector_double> get_bounds() const {
    return {pagmo::vector_double(dimension, 0.0), pagmo::vector_double(dimension, 1.0)};
  }
  pagmo::vector_double::size_type get_nobj() const { return oracle ? oracle->objectives : 1; }
};

// A Latin hypercube sample of `count` points over the space (the core's,
// seeded with `seed`), each value the nearest of the parameter's values.
inline std::vector<Point> Sample(const SearchSpace& space, int count, std::uint64_t seed) {
  SearchSettings lhs;
  lhs.method = SearchMethod::Lhs;
  lhs.samples = count;
  lhs.seed = seed;
  std::vector<Point> points;
  for (const Point& p : FirstRound(space, lhs))
    points.push_back(PointAtFractions(space, FractionsOf(space, p)));
  return points;
}

// The next generation of `algorithm` from `pop`, from copies of both (see
// above); the points as the nearest of the parameters' values.
template <typename Algorithm>
std::vector<Point> DrawGeneration(const Algorithm& algorithm, const pagmo::population& pop,
                                  Oracle& oracle, const SearchSpace& space) {
  Algorithm copy = algorithm;
  pagmo::population copyPop = pop;
  oracle.recording = true;
  oracle.recorded.clear();
  try {
    copy.evolve(copyPop);
  } catch (...) {
    oracle.recording = false;
    throw;
  }
  oracle.recording = false;
  std::vector<Point> points;
  for (const pagmo::vector_double& x : oracle.recorded)
    points.push_back(PointAtFractions(space, x));
  return points;
}

}  // namespace towngrow::optimise::detail
