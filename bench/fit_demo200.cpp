// The real fit: the sample town demo200 (urban extent 1930, 1950, 1970,
// 1990; roads; an exclusion layer) calibrated over 18 fields of street
// nodes and housing, the best point then grown with 25 fresh seeds to 1990
// and scored as the field scores a probabilistic projection: S = the cells
// developed (IDs 1 to 5) in at least 13 of the 25 runs, O = the 1990 urban
// cells, U = the cells developed at the start; Lee-Sallee |S n O| / |S u O|
// and Figure of Merit hits / (hits + misses + false alarms) over the cells
// outside U. Results and timings on standard output, one line per fit.
//
// The start: housing (3) on the 1930 urban cells, street vertices (2) on the
// 1930 roads, street nodes (1) on the road cells that are urban; the
// background 0 (nothing grows) where the exclusion layer is 100, 255
// elsewhere; control maps: urban cells as housing, the rest vacant.
//
//   ./build/bench/fit_demo200 --data ../shared/data/demo200 --method cmaes
//       --evaluations 1000 [--holdout] [--objective TEXT] [--steps-per-year N]
//       [--population N] [--seed N] [--threads N] [--ranking FILE]
//   ./build/bench/fit_demo200 --method morris [--trajectories 20]: the fields
//       by influence (Morris elementary effects on the objective)
#include <gdal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "optimise/cmaes.h"
#include "params/param_fields.h"

namespace {

using namespace towngrow;

struct Options {
  std::string data = "../shared/data/demo200";
  std::string method = "cmaes";
  std::string objective = "0.5*leesallee+0.5*fom.developed";
  long evaluations = 1000;
  int trajectories = 20;  // morris
  int population = 0;
  int stepsPerYear = 1;
  int runs = 4;
  int threads = 2;
  int finalRuns = 25;
  unsigned int finalSeed = 1000001;  // none of the calibration's seeds
  std::uint64_t seed = 1;
  double sigma = 0.3;
  bool holdout = false;
  bool verbose = false;  // each round on standard error
  std::string ranking;   // a CSV of every point, best first
};

std::vector<unsigned char> ReadGif(const std::string& path, int& rows, int& cols) {
  GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
  if (ds == nullptr) throw std::runtime_error(path + ": cannot be read");
  rows = GDALGetRasterYSize(ds);
  cols = GDALGetRasterXSize(ds);
  std::vector<unsigned char> cells(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
  const CPLErr err = GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, cols, rows, cells.data(),
                                  cols, rows, GDT_Byte, 0, 0);
  GDALClose(ds);
  if (err != CE_None) throw std::runtime_error(path + ": cannot be read");
  return cells;
}

struct Field {
  int id;
  const char* field;
  double min, max, step;
};

// The 18 fields and their ranges.
const Field kFields[] = {
    {1, "minStep", 1, 10, 1},
    {1, "maxStep", 0, 10, 1},
    {1, "housePercent", 0, 100, 1},
    {1, "industryPercent", 0, 100, 1},
    {1, "commercePercent", 0, 100, 1},
    {1, "junctionVertices", 0, 9, 1},
    {1, "junctionHousePercent", 0, 100, 1},
    {1, "maxLength", 1, 20, 1},
    {1, "policy", 0, 100, 1},
    {3, "maxLength", 1, 20, 1},
    {3, "neighborRadius", 0, 5, 1},
    {3, "activeAge", 1, 200, 1},
    {3, "inactivePeriod", 0, 100, 1},
    {3, "streetPercent", 0, 100, 1},
    {3, "policy", 0, 100, 1},
    {3, "densityScale", 0.1, 5, 0.1},
    {3, "densityRate", 0, 4, 0.1},
    {3, "densityPower", 0, 4, 0.1},
};

CLandUse& LandUse(CLandUseSet& set, int id) {
  return *static_cast<CLandUse*>(
      set.m_LandUseArray.GetAt(set.GetIDIndex(static_cast<unsigned char>(id))));
}

SearchSpace MakeSpace() {
  CLandUseSet set;
  SearchSpace space;
  for (const Field& f : kFields) {
    io::NumberField nf;
    const std::string problem = io::FindNumberField(LandUse(set, f.id), f.field, nf);
    if (!problem.empty()) throw std::runtime_error(std::string(f.field) + ": " + problem);
    SearchParameter p;
    p.name = "id" + std::to_string(f.id) + "." + f.field;
    p.integer = nf.integer;
    p.lowest = nf.min;
    p.highest = nf.max;
    const long n = static_cast<long>((f.max - f.min) / f.step + 1e-9) + 1;
    for (long k = 0; k < n; ++k) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.10g", f.min + static_cast<double>(k) * f.step);
      p.values.push_back(std::strtod(buf, nullptr));
    }
    space.push_back(std::move(p));
  }
  return space;
}

std::unique_ptr<CLandUseSet> SetOf(const Point& p) {
  auto set = std::make_unique<CLandUseSet>();
  for (std::size_t d = 0; d < std::size(kFields); ++d)
    io::SetNumberField(LandUse(*set, kFields[d].id), kFields[d].field, p.values[d]);
  return set;
}

struct Town {
  int rows = 0, cols = 0;
  CLandUseSet set;
  CLandUseCoverage start;
  CGrid background;
  std::vector<unsigned char> urban[4];  // 1930, 1950, 1970, 1990: 3 urban, 0 not
  std::vector<bool> developedAtStart;
};

void LoadTown(const std::string& dir, Town& t) {
  const char* years[] = {"1930", "1950", "1970", "1990"};
  for (int y = 0; y < 4; ++y) {
    std::vector<unsigned char> u =
        ReadGif(dir + "/demo200.urban." + years[y] + ".gif", t.rows, t.cols);
    for (unsigned char& c : u) c = c != 0 ? 3 : 0;
    t.urban[y] = std::move(u);
  }
  int r = 0, c = 0;
  const std::vector<unsigned char> roads = ReadGif(dir + "/demo200.roads.1930.gif", r, c);
  const std::vector<unsigned char> excluded = ReadGif(dir + "/demo200.excluded.gif", r, c);
  t.start.InitCoverage(t.rows, t.cols, 0);
  t.start.m_pLandUseSet = &t.set;
  t.background.InitGrid(t.rows, t.cols, 255);
  const std::size_t n = static_cast<std::size_t>(t.rows) * static_cast<std::size_t>(t.cols);
  t.developedAtStart.assign(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    const bool urban = t.urban[0][i] != 0, road = roads[i] != 0;
    t.start.m_pData[i] = road ? (urban ? 1 : 2) : (urban ? 3 : 0);
    t.developedAtStart[i] = road || urban;
    if (excluded[i] == 100) t.background.m_pData[i] = 0;
  }
}

struct Score {
  double leeSallee = 0, fom = 0;
  long simulated = 0, observed = 0;
};

// The majority map of `runs` fresh runs of the point at `steps`, against
// the observed cells.
Score ScoreMajority(const Town& t, const Point& p, long steps, const Options& o,
                    const std::vector<unsigned char>& observed) {
  EnsembleConfig e;
  e.start = &t.start;
  e.makeSet = [&p] { return SetOf(p); };
  e.background = &t.background;
  e.steps = steps;
  e.baseSeed = o.finalSeed;
  e.seedStep = 1;
  e.runs = o.finalRuns;
  e.threads = o.threads;
  const EnsembleResult r = RunEnsemble(e);
  std::size_t developed = 0;
  while (r.classNames[developed] != "developed") ++developed;
  const std::vector<std::uint16_t>& counts = r.cellCounts[developed];
  long both = 0, either = 0, hits = 0, misses = 0, falseAlarms = 0;
  Score s;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const bool sim = 2 * counts[i] > static_cast<unsigned>(o.finalRuns);
    const bool obs = observed[i] != 0;
    s.simulated += sim;
    s.observed += obs;
    both += sim && obs;
    either += sim || obs;
    if (t.developedAtStart[i]) continue;
    hits += sim && obs;
    misses += !sim && obs;
    falseAlarms += sim && !obs;
  }
  s.leeSallee = either ? static_cast<double>(both) / static_cast<double>(either) : 0;
  s.fom = hits + misses + falseAlarms
              ? static_cast<double>(hits) / static_cast<double>(hits + misses + falseAlarms)
              : 0;
  return s;
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + ": needs a value");
      return argv[++i];
    };
    if (a == "--data")
      o.data = next();
    else if (a == "--method")
      o.method = next();
    else if (a == "--objective")
      o.objective = next();
    else if (a == "--evaluations")
      o.evaluations = std::stol(next());
    else if (a == "--population")
      o.population = std::stoi(next());
    else if (a == "--trajectories")
      o.trajectories = std::stoi(next());
    else if (a == "--steps-per-year")
      o.stepsPerYear = std::stoi(next());
    else if (a == "--runs")
      o.runs = std::stoi(next());
    else if (a == "--threads")
      o.threads = std::stoi(next());
    else if (a == "--seed")
      o.seed = std::stoull(next());
    else if (a == "--sigma")
      o.sigma = std::stod(next());
    else if (a == "--holdout")
      o.holdout = true;
    else if (a == "--verbose")
      o.verbose = true;
    else if (a == "--ranking")
      o.ranking = next();
    else
      throw std::runtime_error(a + ": unknown option");
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options o = Parse(argc, argv);
    GDALAllRegister();
    Town t;
    LoadTown(o.data, t);
    const SearchSpace space = MakeSpace();
    const long perYear = o.stepsPerYear;
    const int controls = o.holdout ? 2 : 3;

    CalibrationModel m;
    m.start = &t.start;
    m.background = &t.background;
    for (int c = 1; c <= controls; ++c)
      m.controls.push_back({RasterView{t.urban[c].data(), t.rows, t.cols, 0}, 20L * c * perYear});
    m.scheme = DefaultClasses(t.set);
    m.measures = {"fom.developed", "leesallee", "quantity"};
    m.runs = o.runs;
    m.makeSet = SetOf;
    m.objective = Objective::Parse(o.objective);
    PointEvaluator evaluator(m, o.threads);

    SearchHooks hooks;
    double runSeconds = 0;  // in the evaluator: the runs and their measures
    hooks.evaluate = [&](const std::vector<Point>& pts, int round,
                         const std::function<void(std::size_t, PointResult &&)>& done) {
      const auto from = std::chrono::steady_clock::now();
      evaluator.Evaluate(pts, space, round, done);
      runSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    };
    std::size_t evaluated = 0;
    hooks.finished = [&](const PointResult&) { ++evaluated; };
    if (o.verbose)
      hooks.roundEnds = [&](const RoundReport& r) {
        std::fprintf(
            stderr, "round %d: %zu points (%zu new), best %.4f, best so far %.4f\n", r.round,
            r.points, r.evaluated,
            r.bestOfRound && r.bestOfRound->objective.value ? *r.bestOfRound->objective.value
                                                            : -1.0,
            r.bestSoFar && r.bestSoFar->objective.value ? *r.bestSoFar->objective.value : -1.0);
      };
    SearchSettings s;
    s.seed = o.seed;
    s.evaluations = o.evaluations;
    const auto began = std::chrono::steady_clock::now();
    const std::clock_t cpuBegan = std::clock();
    SearchResult result;
    if (o.method == "cmaes") {
      optimise::CmaesSettings c;
      c.population = o.population;
      c.seed = o.seed;
      c.sigma = o.sigma;
      result = optimise::SearchCmaes(space, s, c, hooks);
    } else if (o.method == "lhs") {
      s.method = SearchMethod::Lhs;
      s.samples = static_cast<int>(o.evaluations);
      s.rounds = 1;
      result = Search(space, s, hooks);
    } else if (o.method == "morris") {
      s.method = SearchMethod::Morris;
      s.trajectories = o.trajectories;
      s.evaluations = 0;
      result = Search(space, s, hooks);
      const Sensitivity e = MorrisEffects(space, s, result.ranking, evaluator.Measures());
      std::printf(
          "Morris screening, %d trajectories, 4 levels, %zu points: the fields by "
          "influence on the objective %s (mu*, sigma, mu)\n",
          o.trajectories, result.ranking.size(), o.objective.c_str());
      for (std::size_t d : e.order)
        std::printf("  %-26s %.4f %.4f %+.4f%s\n", space[d].name.c_str(), e.objective[d].muStar,
                    e.objective[d].sigma, e.objective[d].mu, e.none[d] ? "  no effect" : "");
      return 0;
    } else {
      throw std::runtime_error("--method " + o.method + ": not cmaes, lhs or morris");
    }
    const double searchSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double searchCpu = static_cast<double>(std::clock() - cpuBegan) / CLOCKS_PER_SEC;
    const PointResult& best = result.ranking.front();
    const Score score = ScoreMajority(t, best.point, 60L * perYear, o, t.urban[3]);
    const double allSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf(
        "method %s objective %s evaluations %zu rounds %zu steps/year %ld %s seed %llu: "
        "objective %.4f; majority of %d at 1990: Lee-Sallee %.3f, Figure of Merit %.3f "
        "(%ld cells, %ld observed); search %.1f s (processor %.1f s; the search's own %.2f s, "
        "%.2f %% of the runs'), all %.1f s\n  best %s\n",
        o.method.c_str(), o.objective.c_str(), evaluated, result.rounds.size(), perYear,
        o.holdout ? "fit 1950+1970 (1990 held out)" : "fit 1950+1970+1990",
        static_cast<unsigned long long>(o.seed),
        best.objective.value ? *best.objective.value : -1.0, o.finalRuns, score.leeSallee,
        score.fom, score.simulated, score.observed, searchSeconds, searchCpu,
        searchSeconds - runSeconds, 100 * (searchSeconds - runSeconds) / runSeconds, allSeconds,
        best.key.c_str());
    if (!o.ranking.empty()) {
      std::ofstream f(o.ranking);
      f << "rank,round,objective,quantity,point\n";
      for (std::size_t i = 0; i < result.ranking.size(); ++i) {
        const PointResult& r = result.ranking[i];
        f << i + 1 << ',' << r.round << ','
          << (r.objective.value ? std::to_string(*r.objective.value) : "") << ','
          << (r.quantity.value ? std::to_string(*r.quantity.value) : "") << ",\"" << r.key
          << "\"\n";
      }
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fit_demo200: %s\n", e.what());
    return 2;
  }
}
