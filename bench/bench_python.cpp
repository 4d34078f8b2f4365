// 100 steps of a town through the Python module against the same steps
// through the library, side by side in one process.
//
// The program embeds the python3 the module was built for and imports the
// module from this build. Each iteration grows the built-in town on a
// 1000 x 1000 grid for 100 steps from seed(1), once through C++ and once
// through Python, in turn (which goes first alternates), and checks that
// both end in the same state.
//
// Counters (milliseconds of the 100 steps, the best of the iterations, as
// the machine may be shared):
//   cpp_ms           through the library: Simulation::Run(100)
//   python_ms        through the module: sim.run(100), timed in Python
//   python_extra     python_ms / cpp_ms - 1 (0.05 is 5 % more)
//   python_extra_cpu the same from the processor time
//   town_extra       the same for the whole town, from the seed to the end
//                    of the run (grid made, town placed, steps run), timed
//                    from C++
//
// Runs:
//   Plain/1000     sim.run(100)
//   Callback/1000  sim.run(100, callback): a Python function sees every
//                  step's report
//   Views/1000     a view (sim.ids) taken before every step: each step
//                  then copies and scans the whole grid
//
//   ./build/bench/bench_python --benchmark_repetitions=1
#include <benchmark/benchmark.h>

#include <pybind11/embed.h>
#include <pybind11/numpy.h>
#include "side_by_side.h"

#include <towngrow/towngrow.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>

namespace {

namespace py = pybind11;
using namespace towngrow;

// Grows the town and returns it with the wall and processor milliseconds of
// the steps (the call that runs them, from Python).
const char* const kGrow = R"py(
import time
import towngrow

def grow(size, steps, mode):
    towngrow.seed(1)
    sim = towngrow.Simulation(size, size)
    sim.place_starter_town()
    wall, cpu = time.perf_counter(), time.process_time()
    if mode == 0:
        sim.run(steps)
    elif mode == 1:
        seen = []
        sim.run(steps, lambda report: seen.append(report["step"]))
    else:
        for _ in range(steps):
            sim.ids
            sim.step()
    return sim, 1e3 * (time.perf_counter() - wall), 1e3 * (time.process_time() - cpu)
)py";

void SideBySide(benchmark::State& state, int mode) {
  const int size = static_cast<int>(state.range(0));
  const long steps = 100;
  py::dict scope;
  py::exec(kGrow, scope);
  const py::object grow = scope["grow"];
  Times cppBest{0, 0}, pyBest{0, 0}, cppAll{0, 0}, pyAll{0, 0};
  bool first = true;
  for (auto _ : state) {
    Simulation sim;
    py::object mine;
    Times ran{0, 0};
    auto viaCpp = [&] {
      const Times t0 = Times::Now();
      SeedRandom(1);
      if (!sim.Init(size, size)) return;
      PlaceStarterTown(sim.Current());
      const Times t1 = Times::Now();
      sim.Run(steps);
      const Times t2 = Times::Now();
      cppBest.KeepBest(t2 - t1, first);
      cppAll.KeepBest(t2 - t0, first);
    };
    auto viaPython = [&] {
      const Times t0 = Times::Now();
      const py::tuple got = grow(size, steps, mode);
      pyAll.KeepBest(Times::Now() - t0, first);
      mine = got[0];
      ran = {got[1].cast<double>(), got[2].cast<double>()};
      pyBest.KeepBest(ran, first);
    };
    if (state.iterations() % 2 == 0) {
      viaCpp();
      viaPython();
    } else {
      viaPython();
      viaCpp();
    }
    state.SetIterationTime(ran.wall / 1000.0);
    first = false;
    const py::array ids = mine.attr("ids");
    const CLandUseCoverage& cur = static_cast<const Simulation&>(sim).Current();
    if (cur.IsEmpty() || ids.size() != static_cast<py::ssize_t>(size) * size ||
        std::memcmp(ids.data(), cur.m_pData, static_cast<std::size_t>(ids.size())) != 0) {
      state.SkipWithError("Python and C++ grew different towns");
      break;
    }
  }
  if (first) return;
  state.counters["cpp_ms"] = cppBest.wall;
  state.counters["python_ms"] = pyBest.wall;
  state.counters["python_extra"] = pyBest.wall / cppBest.wall - 1.0;
  state.counters["python_extra_cpu"] = pyBest.cpu / cppBest.cpu - 1.0;
  state.counters["town_extra"] = pyAll.wall / cppAll.wall - 1.0;
}

void BM_Plain(benchmark::State& state) { SideBySide(state, 0); }
void BM_Callback(benchmark::State& state) { SideBySide(state, 1); }
void BM_Views(benchmark::State& state) { SideBySide(state, 2); }

BENCHMARK(BM_Plain)->Arg(1000)->Iterations(12)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Callback)->Arg(1000)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Views)->Arg(1000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  py::scoped_interpreter python;
  py::module_::import("sys").attr("path").attr("insert")(0, TOWNGROW_PYTHON_DIR);
  // The library's messages (none in these runs) would go to warnings.
  py::module_::import("towngrow");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
