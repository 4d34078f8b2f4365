// What a calibration adds to its runs: PointEvaluator on 8 points x 4 runs
// x 60 steps of the built-in town on 200 x 200 cells (a set per run, the
// measures at the control step, the statistics), side by side with the
// ensemble runner's bare runs of the same points and seeds. Both on 2
// threads; the ratio of their times is the calibration's overhead.
//   ./build/bench/bench_calibrate --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <towngrow/towngrow.h>
#include <memory>
#include <vector>

#include "region_scene.h"

namespace {

using namespace towngrow;

constexpr int kSide = 200;
constexpr long kSteps = 60;
constexpr int kRuns = 4;

struct Scene {
  CLandUseSet set;
  CLandUseCoverage start;
  std::vector<unsigned char> observed;
  SearchSpace space;
  std::vector<Point> points;
  Scene() {
    bench::PlaceTowns(start, set, kSide, 1);
    observed = bench::GrowControl(set, start, kSide, kSteps);
    space = {SearchParameter{"house.streetPercent", true, 0, 100, {0, 5, 10, 15, 20, 25, 30, 35}}};
    points = FirstRound(space, SearchSettings{});
  }
};

const Scene& TheScene() {
  static const Scene scene;
  return scene;
}

void BM_CalibrationPoints(benchmark::State& state) {
  const Scene& s = TheScene();
  CalibrationModel m;
  m.start = &s.start;
  m.controls = {{RasterView{s.observed.data(), kSide, kSide, 0}, kSteps}};
  m.scheme = DefaultClasses(s.set);
  m.runs = kRuns;
  m.makeSet = bench::HouseStreetPercentSet;
  m.objective = Objective::Parse("fom.developed");
  PointEvaluator evaluator(m, 2);
  for (auto _ : state) {
    std::size_t done = 0;
    evaluator.Evaluate(s.points, s.space, 1, [&done](std::size_t, PointResult&&) { ++done; });
    benchmark::DoNotOptimize(done);
  }
  state.counters["runs_per_second"] = benchmark::Counter(
      static_cast<double>(s.points.size() * kRuns), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BareEnsembleRuns(benchmark::State& state) {
  const Scene& s = TheScene();
  for (auto _ : state) {
    for (const Point& p : s.points) {
      EnsembleConfig c;
      c.start = &s.start;
      c.makeSet = [&p] { return bench::HouseStreetPercentSet(p); };
      c.steps = kSteps;
      c.runs = kRuns;
      c.threads = 2;
      c.tracked = {};
      benchmark::DoNotOptimize(RunEnsembleRuns(c, {0, 1, 2, 3}));
    }
  }
  state.counters["runs_per_second"] = benchmark::Counter(
      static_cast<double>(s.points.size() * kRuns), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_BareEnsembleRuns)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CalibrationPoints)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
