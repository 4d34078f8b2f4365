// Throughput of a calibration's evaluations on a large region and on the
// built-in town: PointEvaluator with the measures a calibration records
// (fom, producers and users of developed, ksim, leesallee, quantity,
// allocation; objective fom.developed), 4 runs per point, 2 threads.
//
// The region: 4000 x 4000 cells, 225 built-in starting towns on a 15 x 15
// lattice (one every 266 cells, so that they do not meet in 21 steps);
// after 21 steps about 325,000 cells are developed. Its control map is the
// default model's town after 21 steps from seed 1000; 8 points (housing's
// streetPercent 3 to 17) per evaluation call. The town: the built-in town
// on 200 x 200 cells, 60 steps, control map from seed 1000, 8 points
// (streetPercent 0 to 35), as bench_calibrate.
//
// It uses only the library's public calibration surface, so the same file
// builds against an older library (bench/calibrate_region.sh builds it
// against another build and runs both in turn). Counters:
//   points_per_minute  evaluations (points of 4 runs) per minute of wall
//                      time on 2 threads
//   cpu_s_per_run      processor time of the process per run (both
//                      threads), set-up excluded
//   developed          developed cells of the control map
//   check              a digest of every recorded statistic, equal across
//                      builds when the results are
//   ./build/bench/bench_calibrate_region
#include <benchmark/benchmark.h>

#include <towngrow/towngrow.h>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "region_scene.h"
#include "side_by_side.h"

namespace {

using namespace towngrow;

constexpr int kRuns = 4;

struct Scene {
  int side;
  long steps;
  CLandUseSet set;
  CLandUseCoverage start;
  std::vector<unsigned char> observed;
  long developed = 0;
  SearchSpace space;
  std::vector<Point> points;

  Scene(int side_, long steps_, int lattice, std::vector<double> streetPercents)
      : side(side_), steps(steps_) {
    bench::PlaceTowns(start, set, side, lattice);
    observed = bench::GrowControl(set, start, side, steps);
    for (unsigned char v : observed) developed += v >= 1 && v <= 5;
    space = {SearchParameter{"house.streetPercent", true, 0, 100, std::move(streetPercents)}};
    points = FirstRound(space, SearchSettings{});
  }
};

const Scene& Region() {
  static const Scene scene(4000, 21, 15, {3, 5, 7, 9, 11, 13, 15, 17});
  return scene;
}

const Scene& Town() {
  static const Scene scene(200, 60, 1, {0, 5, 10, 15, 20, 25, 30, 35});
  return scene;
}

void Evaluations(benchmark::State& state, const Scene& s) {
  CalibrationModel m;
  m.start = &s.start;
  m.controls = {{RasterView{s.observed.data(), s.side, s.side, 0}, s.steps}};
  m.scheme = DefaultClasses(s.set);
  m.measures = {"fom.developed", "producers.developed", "users.developed", "ksim", "leesallee",
                "quantity",      "allocation"};
  m.runs = kRuns;
  m.makeSet = bench::HouseStreetPercentSet;
  m.objective = Objective::Parse("fom.developed");
  PointEvaluator evaluator(m, 2);
  double wall = 0, cpu = 0;
  std::uint64_t check = 1469598103934665603ull;
  for (auto _ : state) {
    const Times before = Times::Now();
    std::vector<PointResult> results(s.points.size());
    evaluator.Evaluate(s.points, s.space, 1,
                       [&](std::size_t i, PointResult&& r) { results[i] = std::move(r); });
    const Times took = Times::Now() - before;
    wall += took.wall;
    cpu += took.cpu;
    state.SetIterationTime(took.wall / 1e3);
    for (const PointResult& r : results)
      for (const auto& atControl : r.stats)
        for (const RunStatistic& st : atControl) {
          const double v = st.mean.value ? *st.mean.value : -1.0;
          std::uint64_t bits;
          static_assert(sizeof bits == sizeof v, "64-bit double");
          std::memcpy(&bits, &v, sizeof bits);
          check = (check ^ bits) * 1099511628211ull;
        }
  }
  const double evaluations = static_cast<double>(state.iterations() * s.points.size());
  state.counters["points_per_minute"] = evaluations / (wall / 60e3);
  state.counters["cpu_s_per_run"] = cpu / 1e3 / (evaluations * kRuns);
  state.counters["developed"] = static_cast<double>(s.developed);
  state.counters["check"] = static_cast<double>(check % 1000000007ull);
}

void BM_Region(benchmark::State& state) { Evaluations(state, Region()); }
void BM_Town(benchmark::State& state) { Evaluations(state, Town()); }

BENCHMARK(BM_Region)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Town)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
