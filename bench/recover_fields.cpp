// Recovery with many parameters: a town grown by the model itself with
// known values of 10 fields of street nodes and housing (the built-in
// starting town on 150 x 150 cells, seed 1000, maps after 10, 20 and 30
// steps) is the past; CMA-ES over the 10 fields' ranges, 4 runs a point
// (seeds 1 to 4, none the past's), objective Figure of Merit of developed,
// must find a point whose objective is at least the true point's own
// objective minus 0.01 within the budget. Prints one line per search.
//   ./build/bench/recover_fields [--evaluations 2000] [--population N] [--seed N]
//       [--threads 2] [--side 150]
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "optimise/cmaes.h"
#include "params/param_fields.h"

namespace {

using namespace towngrow;

struct Field {
  int id;
  const char* field;
  double min, max, step, truth;
};

const Field kFields[] = {
    {1, "minStep", 1, 10, 1, 3},
    {1, "maxStep", 0, 10, 1, 4},
    {1, "housePercent", 0, 100, 1, 20},
    {1, "junctionVertices", 0, 9, 1, 3},
    {1, "junctionHousePercent", 0, 100, 1, 70},
    {3, "maxLength", 1, 20, 1, 4},
    {3, "neighborRadius", 0, 5, 1, 2},
    {3, "activeAge", 1, 60, 1, 12},
    {3, "streetPercent", 0, 100, 1, 10},
    {3, "policy", 0, 100, 1, 60},
};

CLandUse& LandUse(CLandUseSet& set, int id) {
  return *static_cast<CLandUse*>(
      set.m_LandUseArray.GetAt(set.GetIDIndex(static_cast<unsigned char>(id))));
}

std::unique_ptr<CLandUseSet> SetOf(const Point& p) {
  auto set = std::make_unique<CLandUseSet>();
  for (std::size_t d = 0; d < std::size(kFields); ++d)
    io::SetNumberField(LandUse(*set, kFields[d].id), kFields[d].field, p.values[d]);
  return set;
}

}  // namespace

int main(int argc, char** argv) {
  long evaluations = 2000;
  int population = 0, threads = 2, side = 150;
  std::uint64_t seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--evaluations")
      evaluations = std::stol(v);
    else if (a == "--population")
      population = std::stoi(v);
    else if (a == "--seed")
      seed = std::stoull(v);
    else if (a == "--threads")
      threads = std::stoi(v);
    else if (a == "--side")
      side = std::stoi(v);
    else {
      std::fprintf(stderr, "recover_fields: %s: unknown option\n", a.c_str());
      return 2;
    }
  }
  CLandUseSet defaults;
  CLandUseCoverage start;
  start.InitCoverage(side, side, 0);
  start.m_pLandUseSet = &defaults;
  PlaceStarterTown(start);

  SearchSpace space;
  Point truth;
  for (const Field& f : kFields) {
    io::NumberField nf;
    io::FindNumberField(LandUse(defaults, f.id), f.field, nf);
    SearchParameter p{"id" + std::to_string(f.id) + "." + f.field, nf.integer, nf.min, nf.max, {}};
    for (double v = f.min; v <= f.max + 1e-9; v += f.step) p.values.push_back(v);
    space.push_back(p);
    truth.values.push_back(f.truth);
  }
  const std::vector<long> steps = {10, 20, 30};
  std::vector<std::vector<unsigned char>> past;
  {
    auto set = SetOf(truth);
    Simulation sim(set.get());
    sim.Init(side, side);
    sim.Current().CopyValueFromCoverage(&start);
    sim.Current().m_pLandUseSet = set.get();
    SeedRandom(1000);
    for (long s : steps) {
      sim.Run(s - sim.StepCount());
      const Simulation& read = sim;
      past.emplace_back(read.Current().m_pData,
                        read.Current().m_pData + static_cast<std::size_t>(side) * side);
    }
  }
  CalibrationModel m;
  m.start = &start;
  for (std::size_t c = 0; c < steps.size(); ++c)
    m.controls.push_back({RasterView{past[c].data(), side, side, 0}, steps[c]});
  m.scheme = DefaultClasses(defaults);
  m.runs = 4;
  m.makeSet = SetOf;
  m.objective = Objective::Parse("fom.developed");
  PointEvaluator ev(m, threads);
  double own = 0;
  ev.Evaluate({truth}, space, 0, [&own](std::size_t, PointResult&& r) {
    own = r.objective.value ? *r.objective.value : -1;
  });

  SearchHooks h;
  h.evaluate = [&](const std::vector<Point>& pts, int round,
                   const std::function<void(std::size_t, PointResult &&)>& done) {
    ev.Evaluate(pts, space, round, done);
  };
  long firstAtLeast = 0, count = 0;  // evaluations until the truth's objective - 0.01
  h.finished = [&](const PointResult& r) {
    ++count;
    if (firstAtLeast == 0 && r.objective.value && *r.objective.value >= own - 0.01)
      firstAtLeast = count;
  };
  SearchSettings s;
  s.evaluations = evaluations;
  optimise::CmaesSettings c;
  c.population = population;
  c.seed = seed;
  const auto began = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  const SearchResult r = optimise::SearchCmaes(space, s, c, h);
  const PointResult& best = r.ranking.front();
  std::printf(
      "recovery of 10 fields on %d x %d cells, cmaes, budget %ld (population %d, seed %llu): "
      "true point's own objective %.4f, best %.4f after %zu points (%s; the truth's minus 0.01 "
      "first reached at point %ld); %.1f s, processor %.1f s\n  best %s\n  true %s\n",
      side, side, evaluations, optimise::PopulationFor(c, space.size()),
      static_cast<unsigned long long>(seed), own,
      best.objective.value ? *best.objective.value : -1.0, r.ranking.size(),
      best.objective.value && *best.objective.value >= own - 0.01 ? "reached" : "NOT reached",
      firstAtLeast, std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(),
      static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC, best.key.c_str(),
      PointKey(space, truth).c_str());
  return 0;
}
