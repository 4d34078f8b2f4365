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
    start.InitCoverage(kSide, kSide, 0);
    start.m_pLandUseSet = &set;
    PlaceStarterTown(start);
    Simulation sim(&set);
    sim.Init(kSide, kSide);
    sim.Current().CopyValueFromCoverage(&start);
    SeedRandom(1000);
    sim.Run(kSteps);
    const Simulation& read = sim;
    observed.assign(read.Current().m_pData, read.Current().m_pData + kSide * kSide);
    space = {SearchParameter{"house.streetPercent", true, 0, 100, {0, 5, 10, 15, 20, 25, 30, 35}}};
    points = FirstRound(space, SearchSettings{});
  }
};

const Scene& TheScene() {
  static const Scene scene;
  return scene;
}

std::unique_ptr<CLandUseSet> SetOf(const Point& p) {
  auto set = std::make_unique<CLandUseSet>();
  static_cast<CHouse*>(set->m_LandUseArray.GetAt(set->GetIDIndex(3)))->m_nStreetPercent =
      static_cast<int>(p.values[0]);
  return set;
}

void BM_CalibrationPoints(benchmark::State& state) {
  const Scene& s = TheScene();
  CalibrationModel m;
  m.start = &s.start;
  m.controls = {{RasterView{s.observed.data(), kSide, kSide, 0}, kSteps}};
  m.scheme = DefaultClasses(s.set);
  m.runs = kRuns;
  m.makeSet = SetOf;
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
      c.makeSet = [&p] { return SetOf(p); };
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
