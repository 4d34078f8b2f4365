// Map comparison on two 10000 x 10000 maps (and their start), one core:
// each group of measures on its own through the MeasureEvaluator (only
// that group's passes run), everything but the fuzzy kappa together
// through Compare (cross-tabulation, change, resolutions, landscape metrics
// of both maps), and the fuzzy kappa. Arg 0: towns grown by the model
// (compare_maps.h), arg 1: independent random IDs, the worst case for the
// run-based passes. Targets: everything but the fuzzy kappa within 2 s,
// the fuzzy kappa within 10 s.
//
// BM_Calibration: the cheap path calibration takes, Figure of Merit of
// developed and quantity disagreement of 200 x 200 maps (a corner of the
// towns, read through a strided view), in evaluations per second.
//
// Memory beyond the maps: see compare_memory.cpp.
#include <benchmark/benchmark.h>

#include <towngrow/towngrow.h>

#include <string>
#include <vector>

#include "compare_maps.h"

namespace {

using namespace towngrow;

const compare_bench::Maps& MapsOf(int which) {
  static const compare_bench::Maps town = compare_bench::TownMaps();
  static const compare_bench::Maps noise = compare_bench::NoiseMaps();
  return which == 0 ? town : noise;
}

const ClassScheme& Scheme() {
  static const ClassScheme s = [] {
    CLandUseSet set;
    return DefaultClasses(set);
  }();
  return s;
}

void Finish(benchmark::State& state, double cells) {
  state.counters["cells_per_s"] =
      benchmark::Counter(cells, benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(state.range(0) == 0 ? "town" : "noise");
}

void Evaluate(benchmark::State& state, const std::vector<std::string>& names) {
  const compare_bench::Maps& m = MapsOf(static_cast<int>(state.range(0)));
  MeasureEvaluator e(Scheme(), names);
  std::vector<Scalar> out(names.size());
  const RasterView start = m.View(m.start);
  for (auto _ : state) {
    e.Evaluate(m.View(m.observed), m.View(m.simulated), &start, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, static_cast<double>(m.side) * m.side);
}

void BM_CrossTab(benchmark::State& s) {
  Evaluate(s, {"agreement", "kappa", "quantity", "allocation", "leesallee"});
}
void BM_Change(benchmark::State& s) { Evaluate(s, {"fom", "fom.developed", "ksim"}); }
void BM_Resolutions(benchmark::State& s) { Evaluate(s, {"allocation@2"}); }
void BM_LandscapeOneMap(benchmark::State& s) { Evaluate(s, {"patches.housing"}); }
void BM_FuzzyKappa(benchmark::State& s) { Evaluate(s, {"fuzzykappa"}); }

void BM_AllButFuzzy(benchmark::State& state) {
  const compare_bench::Maps& m = MapsOf(static_cast<int>(state.range(0)));
  CompareOptions o;
  o.fuzzy = false;
  const RasterView start = m.View(m.start);
  for (auto _ : state) {
    ComparisonResult r = Compare(m.View(m.observed), m.View(m.simulated), &start, Scheme(), o);
    benchmark::DoNotOptimize(r.crossTab.data());
  }
  Finish(state, static_cast<double>(m.side) * m.side);
}

void BM_Calibration(benchmark::State& state) {
  const compare_bench::Maps& m = MapsOf(0);
  MeasureEvaluator e(Scheme(), {"fom.developed", "quantity"});
  Scalar out[2];
  auto corner = [&](const std::vector<unsigned char>& v) {
    return RasterView{v.data(), 200, 200, m.side};
  };
  const RasterView start = corner(m.start);
  for (auto _ : state) {
    e.Evaluate(corner(m.observed), corner(m.simulated), &start, out);
    benchmark::DoNotOptimize(out);
  }
  state.counters["evaluations_per_s"] =
      benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

#define TOWNGROW_BIG(fn) \
  BENCHMARK(fn)->Arg(0)->Arg(1)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond)
TOWNGROW_BIG(BM_CrossTab);
TOWNGROW_BIG(BM_Change);
TOWNGROW_BIG(BM_Resolutions);
TOWNGROW_BIG(BM_LandscapeOneMap);
TOWNGROW_BIG(BM_AllButFuzzy);
TOWNGROW_BIG(BM_FuzzyKappa);
BENCHMARK(BM_Calibration)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
