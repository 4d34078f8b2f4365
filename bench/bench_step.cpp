// Cost of one model step on grown towns, beside the memory floor of a step.
//
// Each town is grown once per process from a seeded start (the sparse
// random start, or the weighted one for the dense mixed start) by the
// reference step of the Simulation driver, as the step-cost yardstick
// grows it. Every timed iteration restores that grown town and seeds the
// generator alike, then times one step: all iterations, and any two
// builds, time the same work. Set-up, warm-up and restoring are not timed.
//
// Counters:
//   ns_per_cell_step  wall time of the timed steps per cell
//   floor_ns_per_cell the memory floor, measured beside it in the same run:
//                     copying the coverage (values and ages) and one read
//                     pass over values and ages, which every step must do
//   x_floor           ns_per_cell_step / floor_ns_per_cell
//
// The towns:
//   Sparse/400, Sparse/1000  sparse start, seed 7, 40 steps of warm-up
//   Dense/1000               weights 100 2 10 40 10 10 0, seed 7, 30 steps
//   Sparse/4000              sparse start, seed 7, 20 steps of warm-up
#include <benchmark/benchmark.h>

#include <towngrow/towngrow.h>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace {

using namespace towngrow;

struct TownKey {
  int size;
  bool dense;
  int warmUp;
  bool operator<(const TownKey& o) const {
    return std::tie(size, dense, warmUp) < std::tie(o.size, o.dense, o.warmUp);
  }
};

// One grown town per key, kept across the repeated runs with which the
// library finds its iteration count, so the warm-up is paid only once.
Simulation* Grown(const TownKey& key) {
  static std::map<TownKey, std::unique_ptr<Simulation>> grown;
  std::unique_ptr<Simulation>& sim = grown[key];
  if (!sim) {
    sim.reset(new Simulation());
    if (!sim->Init(key.size, key.size)) return nullptr;
    SeedRandom(7);
    if (key.dense) {
      const int weights[7] = {100, 2, 10, 40, 10, 10, 0};
      sim->Current().RandomFill(weights, 7);
    } else {
      sim->Current().RandomFill();
    }
    sim->Run(key.warmUp);
  }
  return sim.get();
}

// The memory floor of a step on this coverage: a full copy into a second
// coverage and one pass that reads every value and age. Best of three.
double FloorNsPerCell(const CLandUseCoverage& cur) {
  CLandUseCoverage copy;
  if (!copy.InitCoverage(cur.m_nRows, cur.m_nCols, 0)) return 0.0;
  const std::size_t cells =
      static_cast<std::size_t>(cur.m_nRows) * static_cast<std::size_t>(cur.m_nCols);
  double best = 0.0;
  for (int round = 0; round < 3; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    copy.CopyValueFromCoverage(&cur);
    std::uint64_t sum = 0;
    const unsigned char* v = cur.m_pData;
    const short* a = cur.m_pCellAge;
    for (std::size_t k = 0; k < cells; ++k) sum += v[k] + static_cast<std::uint16_t>(a[k]);
    benchmark::DoNotOptimize(sum);
    const auto t1 = std::chrono::steady_clock::now();
    const double ns =
        std::chrono::duration<double, std::nano>(t1 - t0).count() / static_cast<double>(cells);
    if (round == 0 || ns < best) best = ns;
  }
  return best;
}

void StepBenchmark(benchmark::State& state, const TownKey& key) {
  SetMessageHandler([](const std::string&) {});
  Simulation* sim = Grown(key);
  if (sim == nullptr) {
    state.SkipWithError("coverage refused the size");
    return;
  }
  const double floor = FloorNsPerCell(sim->Current());
  // Every timed step starts from the same grown town and generator state,
  // so two builds (and any iteration counts) time the very same work.
  CLandUseCoverage grown;
  grown.m_pLandUseSet = sim->Current().m_pLandUseSet;
  if (!grown.InitCoverage(key.size, key.size, 0) ||
      grown.CopyValueFromCoverage(&sim->Current()) == 0) {
    state.SkipWithError("no memory for the copy of the grown town");
    return;
  }
  double ns = 0.0;
  for (auto _ : state) {
    sim->Current().CopyValueFromCoverage(&grown);
    SeedRandom(11);
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(sim->Step());
    const auto t1 = std::chrono::steady_clock::now();
    ns += std::chrono::duration<double, std::nano>(t1 - t0).count();
  }
  const double cellSteps =
      static_cast<double>(key.size) * key.size * static_cast<double>(state.iterations());
  const double perCell = cellSteps > 0 ? ns / cellSteps : 0.0;
  state.counters["ns_per_cell_step"] = perCell;
  state.counters["floor_ns_per_cell"] = floor;
  state.counters["x_floor"] = floor > 0 ? perCell / floor : 0.0;
  state.counters["cells"] = static_cast<double>(key.size) * key.size;
  SetMessageHandler({});
}

void BM_StepSparse(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  StepBenchmark(state, TownKey{size, false, size >= 4000 ? 20 : 40});
}

void BM_StepDense(benchmark::State& state) {
  StepBenchmark(state, TownKey{static_cast<int>(state.range(0)), true, 30});
}

// The floor alone, on a 1000 x 1000 sparse town, for reference.
void BM_MemoryFloor(benchmark::State& state) {
  Simulation* sim = Grown(TownKey{static_cast<int>(state.range(0)), false, 40});
  if (sim == nullptr) {
    state.SkipWithError("coverage refused the size");
    return;
  }
  double ns = 0.0;
  for (auto _ : state) ns += FloorNsPerCell(sim->Current());
  state.counters["floor_ns_per_cell"] = ns / static_cast<double>(state.iterations());
}

BENCHMARK(BM_StepSparse)->Arg(400)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepDense)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryFloor)->Arg(1000)->Unit(benchmark::kMillisecond);

// --- neighbourhood counts by radius ---------------------------------------

// Times countAt(cov, row, col, radius) around every cell of a grown
// 400 x 400 town, in calls and window cells per second.
template <class CountAt>
void CountAroundEveryCell(benchmark::State& state, CountAt countAt) {
  const int radius = static_cast<int>(state.range(0));
  Simulation* sim = Grown(TownKey{400, false, 40});
  if (sim == nullptr) {
    state.SkipWithError("coverage refused the size");
    return;
  }
  const CLandUseCoverage& cov = sim->Current();
  long long calls = 0;
  for (auto _ : state) {
    long long total = 0;
    for (int r = 0; r < cov.m_nRows; ++r)
      for (int c = 0; c < cov.m_nCols; ++c) total += countAt(cov, r, c, radius);
    benchmark::DoNotOptimize(total);
    calls += static_cast<long long>(cov.m_nRows) * cov.m_nCols;
  }
  const double side = 2.0 * radius + 1.0;
  state.counters["calls"] =
      benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kIsRate);
  state.counters["cells"] =
      benchmark::Counter(static_cast<double>(calls) * side * side, benchmark::Counter::kIsRate);
}

// The several-category count (housing, industry, commerce), through the
// public member.
void BM_NeighbourhoodSeveral(benchmark::State& state) {
  const CLandUse probe;
  const LandUseCategory cats[3] = {House, Industry, Commerce};
  CountAroundEveryCell(state, [&](const CLandUseCoverage& cov, int r, int c, int radius) {
    int counts[3];
    probe.GetCategoryInNeighbor(&cov, cats, counts, 3, r, c, radius);
    return counts[0] + counts[1] + counts[2];
  });
}

// The one-category count of street nodes (the street rule's spacing test).
void BM_NeighbourhoodOne(benchmark::State& state) {
  const CLandUse probe;
  CountAroundEveryCell(state, [&](const CLandUseCoverage& cov, int r, int c, int radius) {
    return probe.GetCategoryInNeighbor(&cov, StreetNode, r, c, radius);
  });
}

BENCHMARK(BM_NeighbourhoodSeveral)
    ->DenseRange(1, 4)
    ->Arg(8)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeighbourhoodOne)->DenseRange(1, 4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
