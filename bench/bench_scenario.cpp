// What scenarios and the settlement rules cost a run, on the region of the
// calibration benchmarks (bench/region_scene.h: 4000 x 4000 cells, 225
// starting towns, 21 steps), each run from the same start on a driver that
// restarts as a calibration's runs do (the layers read once, before):
//   Plain     the model alone
//   Scenario  a schedule of three road layers (a lattice of streets through
//             the towns, painted at steps 5, 10 and 15: 36,000 cells each)
//             and a suitability surface (0.2 to 1 across the region) read by
//             housing, industry and commerce (weight 1)
//   Rules     the model with every settlement rule on at values a fit
//             chose (edge growth 90 % in a window of radius 3, power 3;
//             spontaneous settlement 30; new centres 20 % of 2 cells; road
//             trips from 30 % of the settled cells, radius 10, 20 moves)
// Counters: ms_per_run (wall, one thread), developed (cells developed at
// the end, mean), ns_per_developed (the run's time over the cells it
// developed, start excluded), check (a digest of the end states).
//   ./build/bench/bench_scenario
#include <benchmark/benchmark.h>

#include <towngrow/towngrow.h>
#include <cstdint>
#include <memory>
#include <vector>

#include "region_scene.h"
#include "side_by_side.h"

namespace {

using namespace towngrow;

constexpr int kSide = 4000;
constexpr long kSteps = 21;

struct Region {
  CLandUseSet set;
  CLandUseCoverage start;
  long developedAtStart = 0;
  Scenario scenario;
  Region() {
    bench::PlaceTowns(start, set, kSide, 15);
    for (int k = 0; k < kSide * kSide; ++k)
      developedAtStart += start.m_pData[k] >= 1 && start.m_pData[k] <= 5;
    const int spacing = kSide / 15;
    for (long step : {5L, 10L, 15L}) {
      // Rows (step 5), columns (step 10), then both again offset (step 15)
      // through the towns' middles, nodes where they cross.
      ScheduleEntry e;
      e.step = step;
      const int offset = spacing / 2 + (step == 15 ? 7 : 0);
      for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c) {
          const bool onRow = (r % spacing) == offset % spacing && step != 10;
          const bool onCol = (c % spacing) == offset % spacing && step != 5;
          if (!onRow && !onCol) continue;
          e.paint.cells.push_back(static_cast<std::uint32_t>(r * kSide + c));
          e.paint.ids.push_back(onRow && onCol ? 1 : 2);
        }
      scenario.schedule.push_back(std::move(e));
    }
    auto surface = std::make_shared<Suitability>();
    surface->rows = surface->cols = kSide;
    for (int r = 0; r < kSide; ++r)
      for (int c = 0; c < kSide; ++c) surface->values.push_back(0.2f + 0.8f * c / kSide);
    scenario.suitability = surface;
    CheckScenario(scenario, kSide, kSide);
  }
};

const Region& TheRegion() {
  static const Region region;
  return region;
}

enum class Kind { Plain, Scenario, Rules };

std::unique_ptr<CLandUseSet> SetFor(Kind kind) {
  auto set = std::make_unique<CLandUseSet>();
  for (int i = 0; i < set->m_LandUseArray.GetSize(); ++i) {
    CLandUse& use = LandUseAt(*set, i);
    if (kind == Kind::Scenario && use.m_ID >= 3 && use.m_ID <= 5) use.m_dSuitabilityWeight = 1;
    if (kind == Kind::Rules && use.m_ID == 3) {
      use.m_nEdgePercent = 90, use.m_nEdgeRadius = 3, use.m_dEdgePower = 3;
      use.m_nSpontaneousRate = 30, use.m_nCenterPercent = 20, use.m_nCenterCells = 2;
      use.m_nRoadPercent = 30, use.m_nRoadRadius = 10, use.m_nRoadTrip = 20;
    }
  }
  return set;
}

void Runs(benchmark::State& state, Kind kind) {
  const Region& region = TheRegion();
  const std::unique_ptr<CLandUseSet> set = SetFor(kind);
  Simulation sim(set.get());
  double wall = 0, developed = 0;
  std::uint64_t check = 1469598103934665603ull;
  unsigned seed = 1;
  for (auto _ : state) {
    const Times before = Times::Now();
    sim.Init(kSide, kSide);
    sim.Current().CopyValueFromCoverage(&region.start);
    sim.Current().m_pLandUseSet = set.get();
    sim.SetScenario(kind == Kind::Scenario ? &region.scenario : nullptr);
    SeedRandom(seed++);
    sim.Run(kSteps);
    const double took = (Times::Now() - before).wall;
    wall += took;
    state.SetIterationTime(took / 1e3);
    const auto& counts = sim.LastReport().cellsPerId;
    developed += static_cast<double>(counts[1] + counts[2] + counts[3] + counts[4] + counts[5]);
    for (int id = 0; id < 256; ++id)
      check = (check ^ static_cast<std::uint64_t>(counts[id])) * 1099511628211ull;
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["ms_per_run"] = wall / runs;
  state.counters["developed"] = developed / runs;
  state.counters["ns_per_developed"] =
      wall * 1e6 / (developed - runs * static_cast<double>(region.developedAtStart));
  state.counters["check"] = static_cast<double>(check % 1000000007ull);
}

void BM_Plain(benchmark::State& state) { Runs(state, Kind::Plain); }
void BM_Scenario(benchmark::State& state) { Runs(state, Kind::Scenario); }
void BM_Rules(benchmark::State& state) { Runs(state, Kind::Rules); }

BENCHMARK(BM_Plain)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scenario)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rules)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
