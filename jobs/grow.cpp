#include "jobs/grow.h"

#include <array>
#include <cstdio>
#include <sstream>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/result_text.h"
#include "jobs/options.h"
#include "params/params_json.h"
#include "report/pages.h"
#include "report/render.h"
#include "report/run_charts.h"
#include "towngrow/calibrate.h"
#include "towngrow/compare.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/landuse/set_tools.h"
#include "towngrow/platform/framework.h"
#include "towngrow/simulation.h"
#include "towngrow/version.h"

namespace towngrow::jobs {
namespace {

// The per-step table: cells per land use of the set, cells of other IDs,
// developments per land use.
class StatsTable {
public:
  explicit StatsTable(const CLandUseSet& set) : set_(set) {
    const int n = set.m_LandUseArray.GetSize();
    table_.columns.push_back("step");
    for (int i = 0; i < n; ++i) table_.columns.push_back(Label(i) + " cells");
    table_.columns.push_back("other IDs cells");
    for (int i = 0; i < n; ++i) table_.columns.push_back(Label(i) + " developments");
  }
  void Add(long step, const std::array<long, 256>& cells, const std::vector<long>& developments) {
    const int n = set_.m_LandUseArray.GetSize();
    std::vector<long> row{step};
    long held = 0;
    for (int i = 0; i < n; ++i) {
      const unsigned char id = LandUseAt(set_, i).m_ID;
      const long c = set_.GetIDIndex(id) == i ? cells[id] : 0;  // an ID counts once
      held += c;
      row.push_back(c);
    }
    long total = 0;
    for (long c : cells) total += c;
    row.push_back(total - held);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i)
      row.push_back(i < developments.size() ? developments[i] : 0);
    table_.rows.push_back(std::move(row));
  }
  const StepTable& Table() const { return table_; }
  std::string Text() const {
    std::ostringstream text;
    for (std::size_t k = 0; k < table_.columns.size(); ++k)
      text << (k ? "," : "") << io::CsvField(table_.columns[k]);
    text << '\n';
    for (const std::vector<long>& row : table_.rows) {
      for (std::size_t k = 0; k < row.size(); ++k) text << (k ? "," : "") << row[k];
      text << '\n';
    }
    return text.str();
  }

private:
  std::string Label(int i) const {
    const CLandUse& lu = LandUseAt(set_, i);
    return lu.m_strLandUseName + " (ID " + std::to_string(lu.m_ID) + ")";
  }
  const CLandUseSet& set_;
  StepTable table_;
};

std::string SnapshotName(long step, const std::string& ext) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "step-%04ld.", step);
  return buf + ext;
}

report::ExtentMode ExtentOf(const PictureOptions& pictures) {
  report::ExtentMode extent;
  if (!report::ParseExtentMode(pictures.extent, extent))
    throw io::Error(Spelled("extent") + " must be town or full");
  return extent;
}

std::string SeedText(const GrowOptions& o) { return "seed " + std::to_string(o.town.seed); }

}  // namespace

struct Growth::Records {
  explicit Records(const CLandUseSet& set) : stats(set), chart(set) {}
  StatsTable stats;
  report::GrowthRecord chart;
  report::GifRecorder gif;
  std::string gifTemp;  // where the animation is written when it closes
  report::MapScale mapScale;
};

Growth::Growth() = default;
Growth::~Growth() = default;

void CheckGrowOptions(const GrowOptions& o) {
  GrowOptions copy = o;
  HostOptions host;
  CheckOptionValues(RunTable(copy, host));
}

const StepTable& StepStatistics(const Growth& growth) { return growth.records->stats.Table(); }

std::unique_ptr<Growth> GrowTown(const GrowOptions& o, io::MessageLog& log,
                                 const Progress& progress, io::OutputFolder* folder) {
  CheckGrowOptions(o);
  const report::ExtentMode extent = ExtentOf(o.pictures);

  auto growth = std::make_unique<Growth>();
  io::TownSetup& setup = growth->setup;
  io::PrepareTown(o.town, setup);
  CLandUseSet& set = setup.set;
  const int rows = setup.rows, cols = setup.cols;

  growth->sim = std::make_unique<Simulation>(&set);
  Simulation& sim = *growth->sim;
  log.BeginCapture();
  if (!sim.Init(rows, cols)) {
    const std::string why = log.CapturedLine();
    throw io::Error("not enough memory for a grid of " + std::to_string(rows) + " x " +
                    std::to_string(cols) + " cells" + (why.empty() ? "" : " (" + why + ")"));
  }
  CLandUseCoverage& cur = sim.Current();
  io::PlaceStart(o.town, setup, o.town.seed, cur, log);
  if (io::LoadBackground(o.town, setup, growth->background, log))
    sim.SetBackground(&growth->background);
  sim.SetScenario(io::LoadTownScenario(o.town, setup, log));

  // Every input is good: now the records.
  growth->records = std::make_unique<Growth::Records>(set);
  Growth::Records& rec = *growth->records;
  const std::size_t landUses = static_cast<std::size_t>(set.m_LandUseArray.GetSize());
  rec.stats.Add(0, CountCellsPerId(cur), std::vector<long>(landUses, 0));
  rec.chart.Add(0, CountCellsPerId(cur));
  rec.mapScale =
      setup.fromFile ? report::MapScaleOf(io::GeoForOutput(cur, setup.geo)) : report::MapScale();
  const bool gif = folder != nullptr && o.gif;
  if (gif) {
    folder->Make();
    rec.gifTemp = io::TempNameFor(folder->At("growth.gif"));
    report::GifOptions options;
    options.extent = extent;
    options.subtitle = SeedText(o);
    options.lastStep = o.town.steps;
    options.mapScale = rec.mapScale;
    options.marked = ScheduledSteps(setup);
    const std::string err = rec.gif.Open(rec.gifTemp, set, rows, cols, options);
    if (!err.empty()) throw io::Error(folder->At("growth.gif") + ": " + err);
  }
  // Read-only views between steps: taking Current() for writing would make
  // the next step copy and scan the whole grid.
  const Simulation& grown = sim;
  auto record = [&](long step) {
    if (folder == nullptr || step % o.every != 0) return;
    if (gif) {
      const std::string err = rec.gif.AddFrame(grown.Current(), step);
      if (!err.empty()) throw io::Error(folder->At("growth.gif") + ": " + err);
    }
    for (const auto& f : o.formats)
      folder->AddMap(SnapshotName(step, f), grown.Current(), setup.geo);
  };
  record(0);

  std::string failure;
  growth->stepsRun = sim.Run(o.town.steps, [&](const StepReport& r) {
    try {
      rec.stats.Add(r.step, r.cellsPerId, r.developments);
      rec.chart.Add(r.step, r.cellsPerId);
      record(r.step);
      if (progress) progress({r.step, o.town.steps, "steps", ""});
    } catch (const io::Error& e) {
      failure = e.what();
      return false;
    }
    return true;
  });
  if (!failure.empty()) throw io::Error(failure);
  return growth;
}

void WriteGrowthOutputs(Growth& growth, const GrowOptions& o, io::OutputFolder& folder) {
  const io::TownSetup& setup = growth.setup;
  const CLandUseSet& set = setup.set;
  const int rows = setup.rows, cols = setup.cols;
  Growth::Records& rec = *growth.records;
  const Simulation& grown = *growth.sim;
  const CLandUseCoverage& end = grown.Current();
  const long stepsRun = growth.stepsRun;
  const std::string seedText = SeedText(o);

  folder.AddMap("final.asc", end, setup.geo);
  folder.AddMap("final.tif", end, setup.geo);
  report::Report page;
  if (o.png) {
    report::MapPicture map;
    map.cells = end.m_pData;
    map.rows = rows;
    map.cols = cols;
    report::LandUseColors(set, report::PresentIds(end), map);
    map.mapScale = rec.mapScale;
    map.view = report::ViewOf(report::FlaggedBox(map.cells, rows, cols, report::DevelopedIds(set)),
                              rows, cols, ExtentOf(o.pictures));
    map.title = "Town after " + std::to_string(stepsRun) + (stepsRun == 1 ? " step" : " steps") +
                ", " + seedText;
    map.subtitle = report::ViewText(rows, cols, map.view);
    page.pictures.push_back(report::AddMapPng(folder, "final.png", map, "The town at the end"));
    page.pictures.push_back(report::AddChartPng(
        folder, "growth.png",
        MarkScheduled(rec.chart.ToChart(o.pictures.chartScale == "log",
                                        seedText + ", " + std::to_string(rows) + " x " +
                                            std::to_string(cols) + " cells"),
                      setup),
        "Cells per land use over the steps"));
  }
  if (!rec.gifTemp.empty()) {
    const std::string err = rec.gif.Close();
    if (!err.empty()) throw io::Error(folder.At("growth.gif") + ": " + err);
    folder.Adopt(rec.gifTemp, "growth.gif");
    page.pictures.push_back({"The growth, frame by frame", rec.gifTemp, "growth.gif"});
  }
  folder.AddText("stats.csv", rec.stats.Text());

  io::Json doc = io::SetToJson(set);
  io::Json run = RunRecord(o.town, setup);
  run["every"] = o.every;
  GrowOptions repeat = o;
  HostOptions host{folder.Path()};
  RepeatTown(repeat.town, setup, folder.At("run.json"));
  run["repeat"] = RepeatLine("run", RunTable(repeat, host));
  doc["run"] = run;
  folder.AddText("run.json", io::DumpReadable(doc));

  page.title = "towngrow run: " + std::to_string(rows) + " x " + std::to_string(cols) + " cells, " +
               std::to_string(stepsRun) + " steps, seed " + std::to_string(o.town.seed);
  page.command = run["repeat"].get<std::string>();
  page.facts = {
      {"start", StartWord(o.town, setup)},
      {"background", o.town.background.empty() ? "none" : io::AbsolutePath(o.town.background)},
      {"steps run", std::to_string(stepsRun)},
      {"towngrow", Version()}};
  page.tables.push_back(report::LandUseTable(set, end));
  report::AddReportPage(folder, page);
}

}  // namespace towngrow::jobs
