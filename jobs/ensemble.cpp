#include "jobs/ensemble.h"

#include <chrono>
#include <sstream>
#include <utility>

#include "io/class_file.h"
#include "io/error.h"
#include "io/grid_files.h"
#include "io/result_text.h"
#include "jobs/options.h"
#include "params/param_fields.h"
#include "params/params_json.h"
#include "report/pages.h"
#include "report/render.h"
#include "report/run_charts.h"
#include "towngrow/compare.h"
#include "towngrow/ensemble.h"
#include "towngrow/grid/category.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/landuse/set_tools.h"
#include "towngrow/platform/framework.h"
#include "towngrow/version.h"

namespace towngrow::jobs {
namespace {

constexpr unsigned int kDarkGrey = 0x404040u;

unsigned int ClassColor(const TrackedClass& cls, const CLandUseSet& set) {
  if (cls.categories.empty() || cls.categories.size() > 2) return kDarkGrey;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i)
    if (LandUseAt(set, i).m_LandUseCategory == cls.categories.front())
      return LandUseAt(set, i).m_Color;
  return kDarkGrey;
}

// "Housing: percent of 100 runs" for the class "housing".
std::string HeatTitle(const std::string& name, int runs) {
  std::string title = name;
  if (!title.empty() && title[0] >= 'a' && title[0] <= 'z')
    title[0] = static_cast<char>(title[0] - 'a' + 'A');
  return title + ": percent of " + std::to_string(runs) + (runs == 1 ? " run" : " runs");
}

// Per step, per land use of the set (an ID counted once): mean and deviation.
std::string EnsembleCsv(const EnsembleResult& result, const CLandUseSet& set) {
  std::ostringstream text;
  const std::vector<int> positions = DistinctIdPositions(set);
  text << "step";
  for (int i : positions) {
    const CLandUse& lu = LandUseAt(set, i);
    const std::string label = lu.m_strLandUseName + " (ID " + std::to_string(lu.m_ID) + ")";
    text << ',' << io::CsvField(label + " mean") << ',' << io::CsvField(label + " sd");
  }
  text << '\n';
  for (std::size_t step = 0; step < result.meanPerStep.size(); ++step) {
    text << step;
    for (int i : positions) {
      const std::size_t id = LandUseAt(set, i).m_ID;
      text << ',' << io::FixedText(result.meanPerStep[step][id], 4) << ','
           << io::FixedText(result.stddevPerStep[step][id], 4);
    }
    text << '\n';
  }
  return text.str();
}

}  // namespace

EnsembleTown::EnsembleTown() = default;
EnsembleTown::~EnsembleTown() = default;

int PercentOfRuns(unsigned int count, unsigned int runs) {
  if (runs == 0) return 0;
  return static_cast<int>((200ull * count + runs) / (2ull * runs));
}

void CompareEnsembleWith(EnsembleTown& t, const std::string& observedName,
                         const CLandUseCoverage* startOfChange, const std::string& startName,
                         ClassScheme scheme, int runs) {
  const CLandUseCoverage* start = startOfChange != nullptr ? startOfChange
                                  : t.randomStart          ? nullptr
                                                           : &t.start;
  t.comparison = std::make_unique<EnsembleComparison>(t.observed, observedName, start, startName,
                                                      std::move(scheme), runs);
}

void CheckEnsembleOptions(const EnsembleOptions& o) {
  EnsembleOptions copy = o;
  HostOptions host;
  CheckOptionValues(EnsembleTable(copy, host));
  for (const auto& [stem, given] :
       {std::pair{"start-of-change", &o.startOfChange}, std::pair{"classes", &o.classes}})
    if (!given->empty() && o.observed.empty())
      throw io::Error(Spelled(stem) + " needs " + Spelled("observed"));
}

void ReadEnsembleTown(const EnsembleOptions& o, io::MessageLog& log, EnsembleTown& t) {
  CheckEnsembleOptions(o);
  io::PrepareTown(o.town, t.setup);
  t.randomStart = o.town.start == "random";
  io::InitOrFail(t.start, t.setup.rows, t.setup.cols, log);
  t.start.m_pLandUseSet = &t.setup.set;
  io::PlaceStart(o.town, t.setup, o.town.seed, t.start, log);  // a random start: only checked
  t.hasBackground = io::LoadBackground(o.town, t.setup, t.background, log);
  t.scenario = io::LoadTownScenario(o.town, t.setup, log);
  if (o.observed.empty()) return;
  const int rows = t.setup.rows, cols = t.setup.cols;
  io::LoadOfSize(o.observed, rows, cols, "the ensemble's grid", t.observed, t.setup.set, log,
                 o.town.maps);
  if (!o.startOfChange.empty())
    io::LoadOfSize(o.startOfChange, rows, cols, "the ensemble's grid", t.startOfChange, t.setup.set,
                   log, o.town.maps);
  ClassScheme scheme =
      o.classes.empty() ? DefaultClasses(t.setup.set) : io::ReadClassFile(o.classes);
  CompareEnsembleWith(
      t, io::AbsolutePath(o.observed), o.startOfChange.empty() ? nullptr : &t.startOfChange,
      o.startOfChange.empty() ? "" : io::AbsolutePath(o.startOfChange), std::move(scheme), o.runs);
}

EnsembleOutcome GrowEnsemble(EnsembleTown& t, const EnsembleOptions& o, const Progress& progress,
                             Processes& processes, std::exception_ptr failure) {
  const auto began = std::chrono::steady_clock::now();
  EnsembleOutcome outcome;
  outcome.root = processes.Rank() == 0;
  EnsembleConfig config;
  EnsembleSums sums;
  if (!failure) try {
      // Each run gets a set of its own with the same parameters.
      const CLandUseSet& set = t.setup.set;
      config.makeSet = [&set]() { return CopyLandUseSet(set); };
      config.start = &t.start;
      if (t.randomStart) config.makeStart = SparseRandomStart();
      config.background = t.hasBackground ? &t.background : nullptr;
      config.scenario = t.scenario;
      config.steps = o.town.steps;
      config.baseSeed = o.town.seed;
      config.seedStep = o.seedStep;
      config.runs = o.runs;
      config.threads = o.threads;
      if (t.comparison)
        config.onRunEnd = [&t](int run, const CLandUseCoverage& final) {
          t.comparison->OnRunEnd(run, final);
        };
      std::vector<int> mine;
      for (int i = processes.Rank(); i < o.runs; i += processes.Size()) mine.push_back(i);
      const long total = static_cast<long>(mine.size());
      sums = RunEnsembleRuns(config, mine, [&progress, total](int done) {
        if (progress) progress({done, total, "runs", ""});
      });
    } catch (...) {
      failure = std::current_exception();
    }
  if (processes.AnyFailed(failure != nullptr)) {
    if (!outcome.root) {
      outcome.failed = true;
      return outcome;
    }
    if (failure) std::rethrow_exception(failure);
    throw io::Error("another process of the ensemble failed");
  }
  processes.SumToRoot(sums);
  if (t.comparison && processes.Size() > 1) {
    std::vector<std::uint64_t> words = t.comparison->Pack();
    processes.SumToRoot(words);
    if (outcome.root) t.comparison->Unpack(words);
  }
  if (!outcome.root) return outcome;
  outcome.result = FinishEnsemble(std::move(sums), config.tracked);
  if (t.comparison) t.comparison->Finish(outcome.result);
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  return outcome;
}

void WriteEnsembleOutputs(const EnsembleTown& t, const EnsembleOutcome& outcome,
                          const EnsembleOptions& o, io::OutputFolder& folder) {
  const io::TownSetup& setup = t.setup;
  const EnsembleResult& result = outcome.result;
  const std::vector<TrackedClass> tracked = DefaultTrackedClasses();
  const std::size_t cells =
      static_cast<std::size_t>(setup.rows) * static_cast<std::size_t>(setup.cols);
  CLandUseCoverage percent;
  if (!percent.InitCoverage(setup.rows, setup.cols, 0))
    throw io::Error("not enough memory for the maps of " + std::to_string(setup.rows) + " x " +
                    std::to_string(setup.cols) + " cells");
  percent.m_pLandUseSet = const_cast<CLandUseSet*>(&setup.set);  // only read by the writers
  percent.m_dCellSize = t.start.m_dCellSize;
  percent.m_dXllCorner = t.start.m_dXllCorner;
  percent.m_dYllCorner = t.start.m_dYllCorner;
  percent.m_nNoDataValue = t.start.m_nNoDataValue;
  // One view for every heat map: the cells that any run developed into any
  // tracked class, with a margin (extent "town").
  report::ExtentMode extent;
  if (!report::ParseExtentMode(o.pictures.extent, extent))
    throw io::Error(Spelled("extent") + " must be town or full");
  report::Extent reached;
  for (std::size_t c = 0; c < tracked.size(); ++c)
    for (std::size_t k = 0; k < cells; ++k)
      if (result.cellCounts[c][k] != 0) {
        const int r = static_cast<int>(k / static_cast<std::size_t>(setup.cols));
        const int col = static_cast<int>(k % static_cast<std::size_t>(setup.cols));
        reached = report::Union(reached, report::Extent{r, col, 1, 1});
      }
  report::MapPicture heat;
  heat.rows = setup.rows;
  heat.cols = setup.cols;
  heat.view = report::ViewOf(reached, setup.rows, setup.cols, extent);
  heat.mapScale = setup.fromFile ? report::MapScaleOf(io::GeoForOutput(t.start, setup.geo))
                                 : report::MapScale();
  // Run i is seeded seed + i * seed step.
  const io::TownOptions& town = o.town;
  const std::string seeds =
      "seed " + std::to_string(town.seed) + ", seed step " + std::to_string(o.seedStep);
  heat.subtitle = seeds + ", " + std::to_string(town.steps) + " steps, " +
                  report::ViewText(setup.rows, setup.cols, heat.view);
  std::vector<report::ReportPicture> heatMaps;
  for (std::size_t c = 0; c < tracked.size(); ++c) {
    const TrackedClass& cls = tracked[c];
    for (std::size_t k = 0; k < cells; ++k)
      percent.m_pData[k] = static_cast<unsigned char>(
          PercentOfRuns(result.cellCounts[c][k], static_cast<unsigned int>(result.runs)));
    folder.AddMap(cls.name + ".asc", percent, setup.geo);
    io::TiffLegend legend;
    legend.percent = true;
    legend.color = ClassColor(cls, setup.set);
    legend.description = HeatTitle(cls.name, result.runs);
    folder.AddGeoTiff(cls.name + ".tif", percent.m_pData, setup.rows, setup.cols,
                      io::GeoForOutput(percent, setup.geo), legend);
    heat.cells = percent.m_pData;
    report::HeatColors(ClassColor(cls, setup.set), heat);
    heat.title = HeatTitle(cls.name, result.runs);
    heatMaps.push_back(report::AddMapPng(folder, cls.name + ".png", heat, heat.title));
  }
  folder.AddText("ensemble.csv", EnsembleCsv(result, setup.set));
  report::Report page;
  page.pictures.push_back(report::AddChartPng(
      folder, "ensemble.png",
      MarkScheduled(report::EnsembleChart(setup.set, result, o.pictures.chartScale == "log",
                                          seeds + ", " + std::to_string(setup.rows) + " x " +
                                              std::to_string(setup.cols) + " cells"),
                    setup),
      "Mean cells per land use with one standard deviation"));
  if (t.comparison) t.comparison->Write(folder, result, town.seed, o.seedStep);

  io::Json doc = io::SetToJson(setup.set);
  io::Json run = RunRecord(town, setup);
  if (t.hasBackground && town.background.empty()) run["background"] = "given in memory";
  run["command"] = "ensemble";
  run["runs"] = o.runs;
  run["seedStep"] = o.seedStep;
  run["runSeeds"] = "seed + i * seedStep modulo 2^32, i from 0 to runs - 1";
  io::Json trackedJson = io::Json::array();
  for (const auto& cls : tracked) {
    io::Json categories = io::Json::array();
    for (LandUseCategory cat : cls.categories) categories.push_back(io::CategoryWord(cat));
    trackedJson.push_back(io::Json{{"name", cls.name}, {"categories", categories}});
  }
  run["tracked"] = trackedJson;
  run["percent"] = "100 * runs with the cell in the class / runs, rounded half up";
  if (t.repeatable) {
    EnsembleOptions repeat = o;
    repeat.town = town;
    RepeatTown(repeat.town, setup, folder.At("ensemble.json"));
    HostOptions host{folder.Path()};
    run["repeat"] = RepeatLine("ensemble", EnsembleTable(repeat, host));
    page.command = run["repeat"].get<std::string>();
  }
  doc["run"] = run;
  folder.AddText("ensemble.json", io::DumpReadable(doc));

  page.title = "towngrow ensemble: " + std::to_string(result.runs) + " runs of " +
               std::to_string(setup.rows) + " x " + std::to_string(setup.cols) + " cells, " +
               std::to_string(town.steps) + " steps";
  page.facts = {
      {"seeds", "seed " + std::to_string(town.seed) + " + i * " + std::to_string(o.seedStep) +
                    ", i from 0 to " + std::to_string(result.runs - 1)},
      {"start", StartWord(town, setup)},
      {"towngrow", Version()}};
  report::ReportTable means;
  means.caption = "Cells per land use at the last step, over the runs";
  means.header = {"land use", "ID", "mean", "standard deviation"};
  if (!result.meanPerStep.empty())
    for (int i : DistinctIdPositions(setup.set)) {
      const CLandUse& lu = LandUseAt(setup.set, i);
      means.rows.push_back({lu.m_strLandUseName, std::to_string(lu.m_ID),
                            io::FixedText(result.meanPerStep.back()[lu.m_ID], 4),
                            io::FixedText(result.stddevPerStep.back()[lu.m_ID], 4)});
    }
  page.tables.push_back(means);
  page.pictures.insert(page.pictures.end(), heatMaps.begin(), heatMaps.end());
  report::AddReportPage(folder, page);
}

}  // namespace towngrow::jobs
