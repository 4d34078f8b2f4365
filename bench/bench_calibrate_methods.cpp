// Throughput of the searches side by side: CMA-ES (optimise/cmaes.h, one
// generation per round) against a lattice method evaluating the same points
// in rounds of the same size, on the scenes of bench_calibrate_region (the
// 4000 x 4000 region of ~325,000 developed cells after 21 steps, and the
// built-in town on 200 x 200 cells, 60 steps), 4 runs per point, 2 threads,
// over 4 fields of housing (streetPercent 0-100, neighborRadius 0-5,
// maxLength 1-20, policy 0-100).
//
// BM_Cmaes/<scene>: a CMA-ES search of `evaluations` points (population
// 8), timing the optimiser's own work (its First and Next: drawing and
// evolving generations) apart from the evaluations. BM_SamePoints/<scene>:
// the points that search asked, round by round, evaluated as a grid's round
// is (PointEvaluator::Evaluate, the same rounds); BM_Lhs/<scene>: a Latin
// hypercube of as many points in one round. Counters:
//   points_per_minute  evaluations per minute of wall time
//   cpu_s_per_point    processor time of the process per evaluation
//   optimiser_share    the optimiser's processor time over the runs'
//   ./build/bench/bench_calibrate_methods [--benchmark_filter=Town]
#include <benchmark/benchmark.h>

#include <towngrow/towngrow.h>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "optimise/cmaes.h"
#include "region_scene.h"
#include "side_by_side.h"

namespace {

using namespace towngrow;

constexpr int kRuns = 4;

struct Scene {
  int side;
  long steps;
  long evaluations;
  CLandUseSet set;
  CLandUseCoverage start;
  std::vector<unsigned char> observed;
  SearchSpace space;

  Scene(int side_, long steps_, int lattice, long evaluations_)
      : side(side_), steps(steps_), evaluations(evaluations_) {
    bench::PlaceTowns(start, set, side, lattice);
    observed = bench::GrowControl(set, start, side, steps);
    auto range = [](const char* name, double lo, double hi) {
      SearchParameter p{name, true, lo, hi, {}};
      for (double v = lo; v <= hi; ++v) p.values.push_back(v);
      return p;
    };
    space = {range("streetPercent", 0, 100), range("neighborRadius", 0, 5),
             range("maxLength", 1, 20), range("policy", 0, 100)};
  }
};

const Scene& Region() {
  static const Scene scene(4000, 21, 15, 16);
  return scene;
}

const Scene& Town() {
  static const Scene scene(200, 60, 1, 160);
  return scene;
}

std::unique_ptr<CLandUseSet> SetOf(const Point& p) {
  auto set = std::make_unique<CLandUseSet>();
  auto* house = static_cast<CHouse*>(set->m_LandUseArray.GetAt(set->GetIDIndex(3)));
  house->m_nStreetPercent = static_cast<int>(p.values[0]);
  house->m_nNeighborRadius = static_cast<int>(p.values[1]);
  house->m_nMaxLength = static_cast<int>(p.values[2]);
  house->m_nPolicy = static_cast<int>(p.values[3]);
  return set;
}

std::unique_ptr<PointEvaluator> EvaluatorOf(const Scene& s) {
  CalibrationModel m;
  m.start = &s.start;
  m.controls = {{RasterView{s.observed.data(), s.side, s.side, 0}, s.steps}};
  m.scheme = DefaultClasses(s.set);
  m.measures = {"fom.developed", "producers.developed", "users.developed", "ksim", "leesallee",
                "quantity",      "allocation"};
  m.runs = kRuns;
  m.makeSet = SetOf;
  m.objective = Objective::Parse("fom.developed");
  return std::make_unique<PointEvaluator>(m, 2);
}

// CMA-ES's proposer, its own time counted.
class TimedProposer : public Proposer {
public:
  explicit TimedProposer(optimise::CmaesSettings s) : inner_(s) {}
  std::size_t RoundSize(const SearchSpace& space) const override { return inner_.RoundSize(space); }
  std::vector<Point> First(const SearchSpace& space) override {
    const Times before = Times::Now();
    std::vector<Point> points = inner_.First(space);
    const Times took = Times::Now() - before;
    own_.wall += took.wall;
    own_.cpu += took.cpu;
    rounds_.push_back(points);
    return points;
  }
  std::vector<Point> Next(const SearchSpace& space, const std::vector<Point>& asked,
                          const std::vector<const PointResult*>& results) override {
    const Times before = Times::Now();
    std::vector<Point> points = inner_.Next(space, asked, results);
    const Times took = Times::Now() - before;
    own_.wall += took.wall;
    own_.cpu += took.cpu;
    rounds_.push_back(points);
    return points;
  }
  Times own_{0, 0};
  std::vector<std::vector<Point>> rounds_;

private:
  optimise::CmaesProposer inner_;
};

std::vector<std::vector<Point>>& AskedRounds() {
  static std::vector<std::vector<Point>> rounds;
  return rounds;
}

void Counters(benchmark::State& state, double points, const Times& took, double ownCpu) {
  state.counters["points_per_minute"] = points / (took.wall / 60e3);
  state.counters["cpu_s_per_point"] = took.cpu / 1e3 / points;
  state.counters["optimiser_share"] = ownCpu / (took.cpu - ownCpu);
  state.counters["points"] = points;
}

void Cmaes(benchmark::State& state, const Scene& s) {
  const std::unique_ptr<PointEvaluator> evaluator = EvaluatorOf(s);
  for (auto _ : state) {
    optimise::CmaesSettings c;
    c.population = 8;
    TimedProposer proposer(c);
    SearchSettings settings;
    settings.method = SearchMethod::Proposed;
    settings.evaluations = s.evaluations;
    SearchHooks hooks;
    hooks.evaluate = [&](const std::vector<Point>& points, int round,
                         const std::function<void(std::size_t, PointResult &&)>& done) {
      evaluator->Evaluate(points, s.space, round, done);
    };
    const Times before = Times::Now();
    const SearchResult result = Search(s.space, settings, hooks, &proposer);
    const Times took = Times::Now() - before;
    state.SetIterationTime(took.wall / 1e3);
    Counters(state, static_cast<double>(result.ranking.size()), took, proposer.own_.cpu);
    AskedRounds() = proposer.rounds_;
  }
}

void SamePoints(benchmark::State& state, const Scene& s) {
  const std::unique_ptr<PointEvaluator> evaluator = EvaluatorOf(s);
  for (auto _ : state) {
    // Each round's points that were new, as the search handed them out.
    std::vector<std::string> seen;
    double points = 0;
    const Times before = Times::Now();
    for (const std::vector<Point>& round : AskedRounds()) {
      std::vector<Point> fresh;
      for (const Point& p : round) {
        const std::string key = PointKey(s.space, p);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        if (static_cast<long>(seen.size()) >= s.evaluations) break;
        seen.push_back(key);
        fresh.push_back(p);
      }
      if (fresh.empty()) continue;
      evaluator->Evaluate(fresh, s.space, 1, [](std::size_t, PointResult&&) {});
      points += static_cast<double>(fresh.size());
    }
    const Times took = Times::Now() - before;
    state.SetIterationTime(took.wall / 1e3);
    Counters(state, points, took, 0);
  }
}

void Lhs(benchmark::State& state, const Scene& s) {
  const std::unique_ptr<PointEvaluator> evaluator = EvaluatorOf(s);
  for (auto _ : state) {
    SearchSettings settings;
    settings.method = SearchMethod::Lhs;
    settings.samples = static_cast<int>(s.evaluations);
    settings.rounds = 1;
    const std::vector<Point> points = FirstRound(s.space, settings);
    const Times before = Times::Now();
    evaluator->Evaluate(points, s.space, 1, [](std::size_t, PointResult&&) {});
    const Times took = Times::Now() - before;
    state.SetIterationTime(took.wall / 1e3);
    Counters(state, static_cast<double>(points.size()), took, 0);
  }
}

void BM_Cmaes_Town(benchmark::State& state) { Cmaes(state, Town()); }
void BM_SamePoints_Town(benchmark::State& state) { SamePoints(state, Town()); }
void BM_Lhs_Town(benchmark::State& state) { Lhs(state, Town()); }
void BM_Cmaes_Region(benchmark::State& state) { Cmaes(state, Region()); }
void BM_SamePoints_Region(benchmark::State& state) { SamePoints(state, Region()); }
void BM_Lhs_Region(benchmark::State& state) { Lhs(state, Region()); }

BENCHMARK(BM_Cmaes_Town)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SamePoints_Town)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lhs_Town)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cmaes_Region)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SamePoints_Region)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lhs_Region)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
