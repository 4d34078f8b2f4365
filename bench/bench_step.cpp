// Cost of one model step (Simulation::Step) on coverages grown from the
// sparse random start. Set-up and warm-up steps are not timed; the counter
// ns_per_cell_step is the wall time of the timed steps per cell.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <towngrow/towngrow.h>

namespace {

void BM_Step(benchmark::State& state) {
  using namespace towngrow;
  const int size = static_cast<int>(state.range(0));
  const int warmUp = static_cast<int>(state.range(1));
  SetMessageHandler([](const std::string&) {});
  Simulation sim;
  if (!sim.Init(size, size)) {
    state.SkipWithError("coverage refused the size");
    return;
  }
  SeedRandom(7);
  sim.Current().RandomFill();
  sim.Run(warmUp);

  double ns = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(sim.Step());
    const auto t1 = std::chrono::steady_clock::now();
    ns += std::chrono::duration<double, std::nano>(t1 - t0).count();
  }
  const double cellSteps = static_cast<double>(size) * size * static_cast<double>(state.iterations());
  state.counters["ns_per_cell_step"] = cellSteps > 0 ? ns / cellSteps : 0.0;
  state.counters["cells"] = static_cast<double>(size) * size;
  SetMessageHandler({});
}

BENCHMARK(BM_Step)->Args({400, 30})->Args({1000, 30})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
