// Cost of one model step (Simulation::Step) on coverages grown from the
// sparse random start. Set-up and warm-up steps are not timed; the counter
// ns_per_cell_step is the wall time of the timed steps per cell.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <towngrow/towngrow.h>

namespace {

// One grown coverage per size, kept across the repeated runs with which the
// library finds its iteration count, so the warm-up is paid only once.
towngrow::Simulation* Grown(int size, int warmUp) {
  using namespace towngrow;
  static std::map<int, std::unique_ptr<Simulation>> grown;
  std::unique_ptr<Simulation>& sim = grown[size];
  if (!sim) {
    sim.reset(new Simulation());
    if (!sim->Init(size, size)) return nullptr;
    SeedRandom(7);
    sim->Current().RandomFill();
    sim->Run(warmUp);
  }
  return sim.get();
}

void BM_Step(benchmark::State& state) {
  using namespace towngrow;
  const int size = static_cast<int>(state.range(0));
  const int warmUp = static_cast<int>(state.range(1));
  SetMessageHandler([](const std::string&) {});
  Simulation* sim = Grown(size, warmUp);
  if (sim == nullptr) {
    state.SkipWithError("coverage refused the size");
    return;
  }

  double ns = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(sim->Step());
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
