// CMA-ES and NSGA-II as the search's proposers: they learn (a known function's best point, the
// values a town was grown with), keep to each parameter's values, hand out a generation as a round,
// restart larger when stopped, and repeat themselves from a seed and from a store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <towngrow/towngrow.h>

#include "optimise/cmaes.h"
#include "optimise/nsga2.h"
#include "support/files.h"
#include "support/scene.h"

namespace {

using namespace towngrow;
using optimise::CmaesSettings;
using optimise::SearchCmaes;
using Town = testkit::StarterTown;

std::vector<double> Range(double low, double high, double step) {
  std::vector<double> v;
  for (int k = 0; low + k * step <= high + 1e-9; ++k)
    v.push_back(std::round((low + k * step) * 1e6) / 1e6);
  return v;
}

// A whole-number range, a real one by steps of 0.1, a values list.
SearchSpace Space() {
  return {SearchParameter{"n", true, 0, 100, Range(0, 40, 1)},
          SearchParameter{"x", false, 0, 10, Range(0.1, 5, 0.1)},
          SearchParameter{"v", false, 0, 100, {1, 2, 5, 10, 50}},
          SearchParameter{"m", true, 0, 100, Range(0, 100, 1)}};
}

// Scores points by minus their distance to a target (in fractions of the ranges); keeps each round.
struct Formula {
  std::vector<double> target;
  bool flat = false;
  std::vector<std::vector<Point>> rounds = {};
  SearchHooks Hooks(const SearchSpace& space) {
    SearchHooks h;
    h.evaluate = [this, &space](const std::vector<Point>& pts, int,
                                const std::function<void(std::size_t, PointResult &&)>& done) {
      rounds.push_back(pts);
      for (std::size_t i = 0; i < pts.size(); ++i) {
        double d = 0;
        const std::vector<double> u = FractionsOf(space, pts[i]),
                                  t = FractionsOf(space, Point{target});
        for (std::size_t k = 0; k < u.size(); ++k) d += (u[k] - t[k]) * (u[k] - t[k]);
        PointResult r;
        r.objective = Scalar::Of(flat ? 0.5 : -std::sqrt(d)), r.quantity = Scalar::Of(0);
        // For NSGA-II: quantity u0, allocation 1 - u0 + u1 (u1 only hurts).
        r.stats = {{RunStatistic{1, Scalar::Of(u[0]), Scalar::Of(0)},
                    RunStatistic{1, Scalar::Of(1 - u[0] + u[1]), Scalar::Of(0)}}};
        done(i, std::move(r));
      }
    };
    return h;
  }
  std::vector<std::string> Keys(const SearchSpace& space) const {
    std::vector<std::string> keys;
    for (const auto& round : rounds)
      for (const Point& p : round) keys.push_back(PointKey(space, p));
    return keys;
  }
};

SearchSettings Budget(long evaluations, SearchMethod method = SearchMethod::Grid) {
  SearchSettings s;
  s.evaluations = evaluations, s.method = method;
  return s;
}

TEST(Cmaes, FindsTheBestPointOfAKnownFunctionWithinTheParametersValues) {
  const SearchSpace space = Space();
  Formula f{{27, 3.7, 10, 64}};
  optimise::CmaesProposer proposer(CmaesSettings{8});
  SearchHooks h = f.Hooks(space);
  std::vector<std::size_t> population;  // per round: the population of its run
  h.roundBegins = [&](int, std::size_t, std::size_t) {
    population.push_back(std::size_t{8} << proposer.Restarts());
  };
  h.evaluate = [&, run = h.evaluate](const std::vector<Point>& pts, int round,
                                     const std::function<void(std::size_t, PointResult &&)>& done) {
    EXPECT_LE(pts.size(), population.back()) << "a generation is one round";
    run(pts, round, done);
  };
  const SearchResult r = Search(space, Budget(400, SearchMethod::Proposed), h, &proposer);
  EXPECT_EQ(r.ranking.front().key, "n=27; x=3.7; v=10; m=64");
  EXPECT_LE(r.ranking.size(), 400u);
  ASSERT_GT(f.rounds.size(), 3u);
  ASSERT_EQ(population.size(), r.rounds.size());
  for (std::size_t k = 0; k < r.rounds.size(); ++k) EXPECT_LE(r.rounds[k].points, population[k]);
  EXPECT_GT(population.back(), 8u) << "no restart";
  for (const auto& round : f.rounds)
    for (const Point& p : round)
      for (std::size_t d = 0; d < space.size(); ++d)
        EXPECT_NE(std::find(space[d].values.begin(), space[d].values.end(), p.values[d]),
                  space[d].values.end())
            << space[d].name << "=" << p.values[d];
  // A Latin hypercube of as many points does not find it.
  SearchSettings lhs = Budget(400, SearchMethod::Lhs);
  lhs.samples = static_cast<int>(r.ranking.size()), lhs.rounds = 1;
  Formula g{f.target};
  EXPECT_LT(*Search(space, lhs, g.Hooks(space)).ranking.front().objective.value, -0.01);
}

// Runs a search of 120 points by either optimiser with the given seed.
using Searcher = SearchResult (*)(const SearchSpace&, const SearchHooks&, std::uint64_t);

SearchResult ByCmaes(const SearchSpace& space, const SearchHooks& h, std::uint64_t seed) {
  return SearchCmaes(space, Budget(120), CmaesSettings{0, 0.3, seed}, h);
}

SearchResult ByNsga2(const SearchSpace& space, const SearchHooks& h, std::uint64_t seed) {
  return optimise::SearchNsga2(space, Budget(120), optimise::Nsga2Settings{12, seed}, h);
}

TEST(Optimisers, TheSameSeedGivesTheSamePointsAndAResumedSearchAsksTheSame) {
  const SearchSpace space = Space();
  for (const auto& [name, search] : {std::pair<const char*, Searcher>{"cmaes", ByCmaes},
                                     std::pair<const char*, Searcher>{"nsga2", ByNsga2}}) {
    SCOPED_TRACE(name);
    const std::vector<double> t = {12, 1.1, 50, 3};
    Formula whole{t}, again{t}, other{t}, first{t}, second{t};
    const SearchResult full = search(space, whole.Hooks(space), 5);
    EXPECT_EQ(full.ranking.size(), 120u);
    search(space, again.Hooks(space), 5), search(space, other.Hooks(space), 6);
    EXPECT_EQ(again.Keys(space), whole.Keys(space));
    EXPECT_NE(other.Keys(space), whole.Keys(space));

    // Killed after 50 points, then resumed from what it had stored.
    std::map<std::string, PointResult> store;
    SearchHooks h = first.Hooks(space);
    h.finished = [&store](const PointResult& r) {
      if (store.size() == 50) throw std::runtime_error("killed");
      store[r.key] = r;
    };
    EXPECT_THROW(search(space, h, 5), std::runtime_error);
    h = second.Hooks(space);
    h.lookup = [&store](const std::string& key) -> std::optional<PointResult> {
      const auto it = store.find(key);
      return it == store.end() ? std::nullopt : std::optional<PointResult>(it->second);
    };
    const SearchResult resumed = search(space, h, 5);
    std::vector<std::string> want, got;
    for (const PointResult& r : full.ranking) want.push_back(r.key);
    for (const PointResult& r : resumed.ranking) got.push_back(r.key);
    EXPECT_EQ(got, want);
    ASSERT_EQ(resumed.rounds.size(), full.rounds.size());
    for (std::size_t k = 0; k < full.rounds.size(); ++k)
      EXPECT_EQ(resumed.rounds[k].points, full.rounds[k].points) << "round " << k + 1;
    std::vector<std::string> fresh, asked;  // asked: each point once
    std::set<std::string> seen;
    for (const std::string& k : whole.Keys(space))
      if (!store.count(k)) fresh.push_back(k);
    for (const std::string& k : second.Keys(space))
      if (seen.insert(k).second) asked.push_back(k);
    EXPECT_EQ(asked, fresh);
  }
}

TEST(Cmaes, AStoppedRunRestartsWithTwiceThePopulation) {
  // A flat objective stops CMA-ES at once (no spread of the objective):
  // each restart is a new sample, twice as large, until none is left.
  const SearchSpace space = Space();
  Formula f{{0, 0.1, 1, 0}, true};
  CmaesSettings c;
  c.population = 5, c.restarts = 2;
  const SearchResult r = SearchCmaes(space, Budget(1000), c, f.Hooks(space));
  std::vector<std::size_t> sizes;
  for (const auto& round : f.rounds) sizes.push_back(round.size());
  EXPECT_EQ(sizes, (std::vector<std::size_t>{5, 10, 20}));
  EXPECT_EQ(r.rounds.size(), 3u);
}

// CMA-ES takes a population of 0 (the default) or 5 to 100000, sigma above 0 to 1 and 0 to 30
// restarts; NSGA-II a population that is a multiple of 4 from 8 to 100000: both ends of each.
TEST(Cmaes, SettingsTakeBothEndsOfTheirRangesOnly) {
  const SearchSpace space = Space();
  Formula f{{0, 0.1, 1, 0}};
  const std::tuple<int, double, int, bool> cases[] = {
      {0, 0.3, 1, true},       {5, 1, 0, true},         {100000, 1e-9, 30, true},
      {4, 0.3, 1, false},      {100001, 0.3, 1, false}, {8, 0, 1, false},
      {8, 1 + 1e-9, 1, false}, {8, 0.3, -1, false},     {8, 0.3, 31, false}};
  auto taken = [](auto check) { return testkit::Thrown<std::invalid_argument>(check).empty(); };
  for (const auto& [population, sigma, restarts, ok] : cases) {
    CmaesSettings c;
    c.population = population, c.sigma = sigma, c.restarts = restarts;
    EXPECT_EQ(taken([&] { optimise::CheckCmaesSettings(c); }), ok) << population << " " << sigma;
  }
  EXPECT_THROW(SearchCmaes(space, Budget(100), CmaesSettings{4}, f.Hooks(space)),
               std::invalid_argument);  // checked before the search
  optimise::Nsga2Settings n;
  for (const int population : {4, 8, 10, 100000, 100004})
    EXPECT_EQ(taken([&] { n.population = population, optimise::CheckNsga2Settings(n); }),
              population == 8 || population == 100000)
        << population;
  EXPECT_THROW(SearchCmaes(space, Budget(0), CmaesSettings{}, f.Hooks(space)),
               std::invalid_argument);
  EXPECT_EQ(optimise::PopulationFor(CmaesSettings{}, 18), 12);
  EXPECT_EQ(optimise::PopulationFor(CmaesSettings{}, 1), 5);
}

TEST(Nsga2, FindsAFrontOfQuantityAgainstAllocation) {
  // Quantity u0, allocation 1 - u0 + u1: the front is u1 at its lowest,
  // every u0. n's fractions are u0, x's u1 (x from 0.1 by 0.1).
  const SearchSpace space = Space();
  Formula f{{0, 0.1, 1, 0}};
  const optimise::Nsga2Settings n{16};
  const SearchResult r = optimise::SearchNsga2(space, Budget(600), n, f.Hooks(space));
  EXPECT_EQ(r.ranking.size(), 600u);
  for (std::size_t k = 1; k < f.rounds.size(); ++k) EXPECT_LE(f.rounds[k].size(), 16u);
  const std::vector<PointResult> front = optimise::ParetoFront(r.ranking, n);
  std::set<double> spread;
  for (const PointResult& p : front) {
    EXPECT_EQ(p.point.values[1], 0.1) << p.key;
    spread.insert(p.point.values[0]);
  }
  EXPECT_GE(spread.size(), 10u) << "the front covers the trade-off";
}

TEST(Nsga2, TheFrontAndItsFile) {
  const SearchSpace space = {SearchParameter{"a", true, 0, 9, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}};
  auto R = [](double a, std::optional<double> q, std::optional<double> al) {
    PointResult r;
    r.point = Point{{a}}, r.key = "a=" + ValueText(a);
    auto s = [](std::optional<double> v) {
      return RunStatistic{v ? 1 : 0, v ? Scalar::Of(*v) : Scalar::None("x"), Scalar::Of(0)};
    };
    r.stats = {{s(q), s(al)}, {s(q), s(al)}}, r.objective = Scalar::Of(a / 10);
    return r;
  };
  // On the front: a=0, 1, 2; a=4 (ties a=1: kept); a=6 (undefined quantity counts as 2: still the
  // lowest allocation); a=7 (undefined allocation: the lowest quantity). a=3, 5: beaten by a=2, 0.
  const std::vector<PointResult> results = {
      R(0, 0.3, 0.1), R(1, 0.1, 0.4), R(2, 0.2, 0.2),          R(3, 0.2, 0.25),
      R(4, 0.1, 0.4), R(5, 0.5, 0.1), R(6, std::nullopt, 0.0), R(7, 0.05, std::nullopt)};
  optimise::Nsga2Settings n;
  std::vector<std::string> keys;
  const std::vector<PointResult> front = optimise::ParetoFront(results, n);
  for (const PointResult& p : front) keys.push_back(p.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"a=7", "a=1", "a=4", "a=2", "a=0", "a=6"}));
  EXPECT_EQ(optimise::ParetoCsv({front[0], front[3]}, space, n),
            "point,a,quantity,allocation,objective\n"
            "\"a=7\",7,0.050000,,0.700000\n"
            "\"a=2\",2,0.200000,0.200000,0.200000\n");
  n.allocationAt = 0;
  EXPECT_THROW(optimise::Nsga2Proposer{n}, std::invalid_argument);
}

// ---------------------------------------------------------------------------
// Recovery: a town the model grew with known values of several fields.

// node.minStep, node.housePercent, house.neighborRadius, house.streetPercent, house.activeAge.
std::unique_ptr<CLandUseSet> SetOf(const Point& p) {
  auto set = std::make_unique<CLandUseSet>();
  auto v = [&p](int k) { return static_cast<int>(p.values[k]); };
  auto* node = static_cast<CStreetNode*>(set->m_LandUseArray.GetAt(set->GetIDIndex(1)));
  node->m_nMinStep = v(0), node->m_nHousePercent = v(1);
  auto* house = static_cast<CHouse*>(set->m_LandUseArray.GetAt(set->GetIDIndex(3)));
  house->m_nNeighborRadius = v(2), house->m_nStreetPercent = v(3), house->m_nActiveAge = v(4);
  return set;
}

TEST(CmaesRecovery, FindsAPointAtLeastAsGoodAsTheTrueOne) {
  const Town town(40);
  const Point truth{{3, 10, 2, 20, 6}};
  const std::vector<long> steps = {5, 10, 15};
  const auto observed = town.Grown(*SetOf(truth), 1000, steps);  // not a calibration seed
  CalibrationModel m;
  m.start = &town.start, m.scheme = DefaultClasses(town.set), m.runs = 4, m.makeSet = SetOf;
  for (std::size_t c = 0; c < steps.size(); ++c)
    m.controls.push_back({RasterView{observed[c].data(), 40, 40, 0}, steps[c]});
  m.objective = Objective::Parse("fom.developed");
  PointEvaluator ev(m, 2);
  const SearchSpace space = {SearchParameter{"node.minStep", true, 1, 10000, Range(1, 10, 1)},
                             SearchParameter{"node.housePercent", true, 0, 100, Range(0, 100, 1)},
                             SearchParameter{"house.neighborRadius", true, 0, 100, Range(0, 5, 1)},
                             SearchParameter{"house.streetPercent", true, 0, 100, Range(0, 100, 1)},
                             SearchParameter{"house.activeAge", true, 0, 1000, Range(1, 30, 1)}};
  SearchHooks h;
  h.evaluate = [&](const std::vector<Point>& pts, int round,
                   const std::function<void(std::size_t, PointResult &&)>& done) {
    ev.Evaluate(pts, space, round, done);
  };
  double own = 0;
  ev.Evaluate({truth}, space, 0,
              [&own](std::size_t, PointResult&& r) { own = *r.objective.value; });
  const SearchResult r = SearchCmaes(space, Budget(300), CmaesSettings{10}, h);
  EXPECT_GE(*r.ranking.front().objective.value, own - 0.01)
      << "best " << r.ranking.front().key << ", true point's own objective " << own;
}

}  // namespace
