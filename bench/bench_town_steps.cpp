// The driver's step against the full step, side by side in one run.
//
// The full step is the step as the driver ran it before it learnt to skip:
// copy the whole current coverage into the next, visit every cell in
// reference order, look each ID's land use up once per step, count the
// develop results and the cells per ID. It is kept here, written against
// the public surface, so that both can be timed on the same machine in the
// same process.
//
// Each iteration builds the start afresh (not timed), runs the steps with
// the full step and with the driver (Simulation::Step), in turn and each
// from the same start and the same seed, and checks that both end in the
// same state with the same develop results and cell counts.
//
// Counters (milliseconds for all the steps of one run, the best of the
// iterations, as the machine may be shared):
//   full_ms    the full step
//   driver_ms  the driver (the benchmark's own time is the mean)
//   x_faster   full_ms / driver_ms, per step when the full step ran fewer
//   x_faster_cpu the same from the processor time, which waits for
//              no other process on a shared machine
//   town_cells cells that are not vacant at the end
//
// Runs:
//   Town/1000, Town/4000   the built-in town (PlaceStarterTown), 100 steps
//   Dense/1000             the dense mixed start of the step yardstick
//                          (weights 100 2 10 40 10 10 0, seed 7), 33 steps
//   Town/10000             the built-in town, 100 steps of the driver; the
//                          full step runs 2 of them, for the ratio per step
#include <benchmark/benchmark.h>

#include "side_by_side.h"

#include <towngrow/towngrow.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using namespace towngrow;

// The full step, and the report the driver gives.
class FullStepRun {
public:
  explicit FullStepRun(CLandUseSet& set) : set_(set) {}

  bool Start(const CLandUseCoverage& from) {
    if (!a_.InitCoverage(from.m_nRows, from.m_nCols, 0) ||
        !b_.InitCoverage(from.m_nRows, from.m_nCols, 0))
      return false;
    a_.CopyValueFromCoverage(&from);
    a_.m_pLandUseSet = &set_;
    b_.m_pLandUseSet = &set_;
    cur_ = &a_;
    next_ = &b_;
    return true;
  }

  void Step() {
    next_->CopyValueFromCoverage(cur_);
    CLandUse* useOf[256];
    int posOf[256];
    for (int id = 0; id < 256; ++id) {
      posOf[id] = set_.GetIDIndex(static_cast<unsigned char>(id));
      useOf[id] =
          posOf[id] < 0 ? nullptr : static_cast<CLandUse*>(set_.m_LandUseArray.GetAt(posOf[id]));
    }
    developments.assign(static_cast<std::size_t>(set_.m_LandUseArray.GetSize()), 0);
    const int cols = cur_->m_nCols;
    for (int r = 0; r < cur_->m_nRows; ++r) {
      const unsigned char* row = cur_->m_pData + static_cast<std::size_t>(r) * cols;
      for (int c = 0; c < cols; ++c) {
        const unsigned char id = row[c];
        if (useOf[id] == nullptr) continue;
        if (useOf[id]->Develop(cur_, r, c, next_) == 1)
          ++developments[static_cast<std::size_t>(posOf[id])];
      }
    }
    std::swap(cur_, next_);
    cellsPerId = {};
    const std::size_t n = static_cast<std::size_t>(cur_->m_nRows) * static_cast<std::size_t>(cols);
    for (std::size_t k = 0; k < n; ++k) ++cellsPerId[cur_->m_pData[k]];
  }

  const CLandUseCoverage& Current() const { return *cur_; }
  std::vector<long> developments;
  std::array<long, 256> cellsPerId{};

private:
  CLandUseSet& set_;
  CLandUseCoverage a_, b_;
  CLandUseCoverage* cur_ = &a_;
  CLandUseCoverage* next_ = &b_;
};

bool SameState(const CLandUseCoverage& x, const CLandUseCoverage& y) {
  const std::size_t n = static_cast<std::size_t>(x.m_nRows) * static_cast<std::size_t>(x.m_nCols);
  if (x.m_nRows != y.m_nRows || x.m_nCols != y.m_nCols) return false;
  for (std::size_t k = 0; k < n; ++k)
    if (x.m_pData[k] != y.m_pData[k] || x.m_pCellAge[k] != y.m_pCellAge[k]) return false;
  return true;
}

enum class Start { Town, Dense };

void SideBySide(benchmark::State& state, Start start, long steps, long fullSteps) {
  SetMessageHandler([](const std::string&) {});
  const int size = static_cast<int>(state.range(0));
  const unsigned seed = start == Start::Town ? 1u : 7u;
  Times fullBest{0, 0}, driverBest{0, 0};
  long town = 0;
  bool first = true;
  for (auto _ : state) {
    // Two sets alike, one per runner, as two hosts would hold them.
    CLandUseSet fullSet;
    auto sim = std::make_unique<Simulation>();
    if (!sim->Init(size, size)) {
      state.SkipWithError("coverage refused the size");
      break;
    }
    SeedRandom(seed);
    if (start == Start::Town) {
      PlaceStarterTown(sim->Current());
    } else {
      const int weights[7] = {100, 2, 10, 40, 10, 10, 0};
      sim->Current().RandomFill(weights, 7);
    }
    FullStepRun full(fullSet);
    if (!full.Start(sim->Current())) {
      state.SkipWithError("no memory for the full step's coverages");
      break;
    }
    auto runFull = [&] {
      SeedRandom(seed + 1);
      const Times t0 = Times::Now();
      for (long s = 0; s < fullSteps; ++s) full.Step();
      fullBest.KeepBest(Times::Now() - t0, first);
    };
    Times ran{0, 0};
    auto runDriver = [&] {
      SeedRandom(seed + 1);
      const Times t0 = Times::Now();
      sim->Run(steps);
      ran = Times::Now() - t0;
      driverBest.KeepBest(ran, first);
    };
    // Which runs first alternates, so that neither always finds the
    // caches as the other left them.
    if (state.iterations() % 2 == 0) {
      runFull();
      runDriver();
    } else {
      runDriver();
      runFull();
    }
    state.SetIterationTime(ran.wall / 1000.0);
    first = false;

    const StepReport& report = sim->LastReport();
    if (fullSteps == steps &&
        (!SameState(full.Current(), sim->Current()) || full.developments != report.developments ||
         full.cellsPerId != report.cellsPerId)) {
      state.SkipWithError("the driver and the full step differ");
      break;
    }
    town = static_cast<long>(size) * size - report.cellsPerId[0];
  }
  if (first) return;
  // Per step, when the full step ran fewer steps than the driver.
  const double scale = static_cast<double>(steps) / static_cast<double>(fullSteps);
  state.counters["full_ms"] = fullBest.wall;
  state.counters["driver_ms"] = driverBest.wall;
  state.counters["x_faster"] = fullBest.wall * scale / driverBest.wall;
  state.counters["x_faster_cpu"] = fullBest.cpu * scale / driverBest.cpu;
  state.counters["town_cells"] = static_cast<double>(town);
  SetMessageHandler({});
}

void BM_Town(benchmark::State& state) {
  const long fullSteps = state.range(0) >= 10000 ? 2 : 100;
  SideBySide(state, Start::Town, 100, fullSteps);
}

void BM_Dense(benchmark::State& state) { SideBySide(state, Start::Dense, 33, 33); }

BENCHMARK(BM_Town)->Arg(1000)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Town)->Arg(4000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dense)->Arg(1000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Town)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
