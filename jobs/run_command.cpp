#include "jobs/run_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <system_error>

#include <towngrow/towngrow.h>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/params_json.h"
#include "jobs/ensemble_ranks.h"
#include "jobs/progress.h"
#include "report/render.h"
#include "report/report.h"
#include "report/run_charts.h"

namespace fs = std::filesystem;

namespace towngrow::jobs {
namespace {

// Removes the temporary files it holds unless they were published.
class TempFiles {
public:
  ~TempFiles() {
    std::error_code ec;
    for (const auto& p : paths_) fs::remove(p, ec);
  }
  void Add(const std::string& p) { paths_.push_back(p); }
  void Forget(const std::string& p) {
    paths_.erase(std::remove(paths_.begin(), paths_.end(), p), paths_.end());
  }

private:
  std::vector<std::string> paths_;
};

// The per-step table: cells per land use of the set, cells of other IDs,
// developments per land use.
class StatsTable {
public:
  explicit StatsTable(const CLandUseSet& set) : set_(set) {
    const int n = set.m_LandUseArray.GetSize();
    text_ << "step";
    for (int i = 0; i < n; ++i) text_ << ',' << CsvField(Label(i) + " cells");
    text_ << ",other IDs cells";
    for (int i = 0; i < n; ++i) text_ << ',' << CsvField(Label(i) + " developments");
    text_ << '\n';
  }
  void Add(long step, const std::array<long, 256>& cells, const std::vector<long>& developments) {
    const int n = set_.m_LandUseArray.GetSize();
    long held = 0;
    text_ << step;
    for (int i = 0; i < n; ++i) {
      const unsigned char id = LandUseAt(set_, i).m_ID;
      const long c = set_.GetIDIndex(id) == i ? cells[id] : 0;  // an ID counts once
      held += c;
      text_ << ',' << c;
    }
    long total = 0;
    for (long c : cells) total += c;
    text_ << ',' << (total - held);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i)
      text_ << ',' << (i < developments.size() ? developments[i] : 0);
    text_ << '\n';
  }
  std::string Text() const { return text_.str(); }

private:
  std::string Label(int i) const {
    const CLandUse& lu = LandUseAt(set_, i);
    return lu.m_strLandUseName + " (ID " + std::to_string(lu.m_ID) + ")";
  }
  const CLandUseSet& set_;
  std::ostringstream text_;
};

std::string SnapshotName(long step, const std::string& ext) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "step-%04ld.", step);
  return buf + ext;
}

void PrintSummary(std::FILE* out, const CLandUseSet& set, const CLandUseCoverage& cov,
                  const io::MessageLog& log, const RunOptions& o, long stepsRun) {
  const auto cells = CountCellsPerId(cov);
  const double total = static_cast<double>(cov.m_nRows) * cov.m_nCols;
  std::fprintf(out, "Grew %d x %d cells for %ld steps (seed %u) into %s\n", cov.m_nRows,
               cov.m_nCols, stepsRun, o.seed, o.out.c_str());
  std::fprintf(out, "  %-24s %4s %10s %7s\n", "land use", "ID", "cells", "share");
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& lu = LandUseAt(set, i);
    if (set.GetIDIndex(lu.m_ID) != i) continue;
    const long c = cells[lu.m_ID];
    std::fprintf(out, "  %-24s %4d %10ld %6.2f%%\n", lu.m_strLandUseName.c_str(), lu.m_ID, c,
                 total > 0 ? 100.0 * static_cast<double>(c) / total : 0.0);
  }
  if (!log.Counts().empty()) {
    std::fprintf(out, "Messages of the model (times shown):\n");
    for (const auto& entry : log.Counts())
      std::fprintf(out, "  %8ld  %s\n", entry.second, io::MessageLog::OneLine(entry.first).c_str());
  }
}

}  // namespace

report::ReportTable LandUseTable(const CLandUseSet& set, const CLandUseCoverage& cov) {
  const auto cells = CountCellsPerId(cov);
  const double total = static_cast<double>(cov.m_nRows) * cov.m_nCols;
  report::ReportTable table;
  table.caption = "Cells per land use at the end";
  table.header = {"land use", "ID", "cells", "share"};
  long held = 0;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& lu = LandUseAt(set, i);
    if (set.GetIDIndex(lu.m_ID) != i) continue;
    const long c = cells[lu.m_ID];
    held += c;
    char share[32];
    std::snprintf(share, sizeof share, "%.2f %%", total > 0 ? 100.0 * c / total : 0.0);
    table.rows.push_back({lu.m_strLandUseName, std::to_string(lu.m_ID), std::to_string(c), share});
  }
  if (held != static_cast<long>(total))
    table.rows.push_back(
        {"IDs no land use has", "", std::to_string(static_cast<long>(total) - held), ""});
  return table;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char ch : s) {
    if (ch == '"') q += '"';
    q += ch;
  }
  return q + "\"";
}

std::string ShellWord(const std::string& s) {
  if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                        "0123456789-_./=:+,") == std::string::npos)
    return s;
  std::string q = "'";
  for (char ch : s) {
    if (ch == '\'')
      q += "'\\''";
    else
      q += ch;
  }
  return q + "'";
}

std::string AbsolutePath(const std::string& p) {
  std::error_code ec;
  const fs::path a = fs::absolute(p, ec);
  return ec ? p : a.lexically_normal().string();
}

void PrepareTown(const RunOptions& o, TownSetup& setup) {
  if (o.steps < 0) throw io::AppError("--steps must be 0 or more");
  if (!o.params.empty()) io::ApplyParamsFile(o.params, setup.set);

  // Size: given, or fitted to a start file.
  setup.fromFile = o.start != "town" && o.start != "random";
  int rows = o.rows, cols = o.cols;
  if (setup.fromFile) {
    setup.startInfo = io::ReadGridFileInfo(o.start);
    if (!o.sizeGiven) {
      rows = std::max(setup.startInfo.rows, io::kMinSide);
      cols = std::max(setup.startInfo.cols, io::kMinSide);
    }
  }
  if (rows < io::kMinSide || cols < io::kMinSide || rows > io::kMaxSide || cols > io::kMaxSide)
    throw io::AppError("a grid of " + std::to_string(rows) + " x " + std::to_string(cols) +
                       " cells is not possible (each side from 5 to 10000)");
  setup.rows = rows;
  setup.cols = cols;
  if (setup.fromFile) setup.geo = setup.startInfo.geo;
  if (!o.crs.empty()) setup.geo.wkt = io::CrsFromUserText(o.crs);
}

namespace {

// One line on standard error when the start holds IDs that no land use has.
void WarnOfUnknownIds(const std::string& path, const CLandUseCoverage& cov,
                      const CLandUseSet& set) {
  const auto cells = CountCellsPerId(cov);
  long count = 0;
  std::string ids;
  int listed = 0;
  for (int id = 0; id < 256; ++id) {
    if (cells[static_cast<std::size_t>(id)] == 0 || set.IsIDExist(static_cast<unsigned char>(id)))
      continue;
    count += cells[static_cast<std::size_t>(id)];
    if (++listed <= 8) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
  }
  if (count == 0 || IsSecondaryProcess()) return;
  if (listed > 8) ids += ", ...";
  std::fprintf(stderr,
               "towngrow: warning: %s: %ld cells hold IDs that no land use has (%s); those "
               "cells never change\n",
               path.c_str(), count, ids.c_str());
}

}  // namespace

void PlaceStart(const RunOptions& o, const TownSetup& setup, unsigned int seed,
                CLandUseCoverage& cur, io::MessageLog& log) {
  SeedRandom(seed);
  if (o.start == "town") {
    if (!PlaceStarterTown(cur)) throw io::AppError("the built-in town cannot be placed");
  } else if (o.start == "random") {
    for (int id = 0; id <= 5; ++id)
      if (!setup.set.IsIDExist(static_cast<unsigned char>(id)))
        throw io::AppError("--start random places the IDs 0 to 5, but no land use has ID " +
                           std::to_string(id));
    cur.RandomFill();
  } else {
    io::ImportInto(o.start, setup.startInfo, cur, log);
    WarnOfUnknownIds(o.start, cur, setup.set);
  }
}

bool LoadBackground(const RunOptions& o, TownSetup& setup, CLandUseCoverage& background,
                    io::MessageLog& log) {
  if (o.background.empty()) return false;
  const io::GridFileInfo bg = io::ReadGridFileInfo(o.background);
  const bool grid =
      bg.gdal || bg.format == FormatASC || bg.format == FormatE00 || bg.format == FormatFLT;
  if (grid && (bg.rows != setup.rows || bg.cols != setup.cols))
    throw io::AppError(o.background + ": the background has " + std::to_string(bg.rows) +
                       " rows and " + std::to_string(bg.cols) + " columns, the town " +
                       std::to_string(setup.rows) + " and " + std::to_string(setup.cols));
  io::InitOrFail(background, setup.rows, setup.cols, log);
  background.m_pLandUseSet = &setup.set;
  io::ImportInto(o.background, bg, background, log, 0);  // no-data: nothing may grow there
  return true;
}

io::Json RunRecord(const RunOptions& o, const TownSetup& setup) {
  io::Json run = io::Json::object();
  run["towngrowVersion"] = Version();
  run["seed"] = o.seed;
  run["steps"] = o.steps;
  run["rows"] = setup.rows;
  run["cols"] = setup.cols;
  run["start"] = setup.fromFile ? AbsolutePath(o.start) : o.start;
  run["background"] =
      o.background.empty() ? io::Json(nullptr) : io::Json(AbsolutePath(o.background));
  return run;
}

std::string RepeatOptions(const RunOptions& o, const TownSetup& setup) {
  std::string words = " --rows " + std::to_string(setup.rows) + " --cols " +
                      std::to_string(setup.cols) + " --steps " + std::to_string(o.steps) +
                      " --seed " + std::to_string(o.seed) + " --start " +
                      ShellWord(setup.fromFile ? AbsolutePath(o.start) : o.start);
  if (!o.background.empty()) words += " --background " + ShellWord(AbsolutePath(o.background));
  if (io::MapReading().band > 0) words += " --band " + std::to_string(io::MapReading().band);
  if (io::MapReading().lenient) words += " --lenient";
  if (!o.crs.empty()) words += " --crs " + ShellWord(o.crs);
  return words;
}

void RunTown(const RunOptions& o, std::FILE* out) {
  io::MessageLog log;
  if (o.every < 1) throw io::AppError("--every must be 1 or more");
  for (const auto& f : o.formats)
    if (f != "asc" && f != "e00" && f != "flt" && f != "xya" && f != "tif")
      throw io::AppError("--format " + f + ": not one of asc, e00, flt, xya, tif");

  TownSetup setup;
  PrepareTown(o, setup);
  CLandUseSet& set = setup.set;
  const int rows = setup.rows, cols = setup.cols;

  Simulation sim(&set);
  log.BeginCapture();
  if (!sim.Init(rows, cols)) {
    const std::string why = log.CapturedLine();
    throw io::AppError("not enough memory for a grid of " + std::to_string(rows) + " x " +
                       std::to_string(cols) + " cells" + (why.empty() ? "" : " (" + why + ")"));
  }
  CLandUseCoverage& cur = sim.Current();
  PlaceStart(o, setup, o.seed, cur, log);

  CLandUseCoverage background;
  if (LoadBackground(o, setup, background, log)) sim.SetBackground(&background);

  // Every input is good: now the outputs.
  io::MakeFolder(o.out);
  io::ScratchDir scratch;
  TempFiles temps;
  const fs::path dir(o.out);
  auto at = [&](const std::string& name) { return (dir / name).string(); };

  StatsTable stats(set);
  const std::size_t landUses = static_cast<std::size_t>(set.m_LandUseArray.GetSize());
  stats.Add(0, CountCellsPerId(cur), std::vector<long>(landUses, 0));
  report::GrowthRecord growth(set);
  growth.Add(0, CountCellsPerId(cur));

  report::ExtentMode extent;
  if (!report::ParseExtentMode(o.extent, extent))
    throw io::AppError("--extent must be town or full");
  const report::MapScale mapScale =
      setup.fromFile ? report::MapScaleOf(io::GeoForOutput(cur, setup.geo)) : report::MapScale();
  const std::string seedText = "seed " + std::to_string(o.seed);
  report::GifRecorder gif;
  const std::string gifFinal = at("growth.gif");
  const std::string gifTemp = io::TempNameFor(gifFinal);
  if (o.gif) {
    temps.Add(gifTemp);
    report::GifOptions options;
    options.extent = extent;
    options.subtitle = seedText;
    options.lastStep = o.steps;
    options.mapScale = mapScale;
    const std::string err = gif.Open(gifTemp, set, rows, cols, options);
    if (!err.empty()) throw io::AppError(gifFinal + ": " + err);
  }
  // Read-only views between steps: taking Current() for writing would make
  // the next step copy and scan the whole grid.
  const Simulation& grown = sim;
  auto record = [&](long step) {
    if (step % o.every != 0) return;
    if (o.gif) {
      const std::string err = gif.AddFrame(grown.Current(), step);
      if (!err.empty()) throw io::AppError(gifFinal + ": " + err);
    }
    for (const auto& f : o.formats)
      io::ExportCoverage(grown.Current(), at(SnapshotName(step, f)), scratch, setup.geo);
  };
  record(0);

  ProgressBar progress(o.steps, !o.quiet && ::isatty(STDERR_FILENO) != 0);
  std::string failure;
  const long stepsRun = sim.Run(o.steps, [&](const StepReport& r) {
    try {
      stats.Add(r.step, r.cellsPerId, r.developments);
      growth.Add(r.step, r.cellsPerId);
      record(r.step);
    } catch (const io::AppError& e) {
      failure = e.what();
      return false;
    }
    progress.Update(r.step);
    return true;
  });
  if (!failure.empty()) throw io::AppError(failure);
  progress.Finish();

  io::ExportCoverage(sim.Current(), at("final.asc"), scratch, setup.geo);
  io::ExportCoverage(sim.Current(), at("final.tif"), scratch, setup.geo);
  if (o.png) {
    const std::string final = at("final.png");
    const std::string temp = io::TempNameFor(final);
    temps.Add(temp);
    const CLandUseCoverage& end = grown.Current();
    report::MapPicture map;
    map.cells = end.m_pData;
    map.rows = rows;
    map.cols = cols;
    report::LandUseColors(set, report::PresentIds(end), map);
    map.mapScale = mapScale;
    map.view = ViewOf(report::FlaggedBox(map.cells, rows, cols, report::DevelopedIds(set)), rows,
                      cols, extent);
    map.title = "Town after " + std::to_string(stepsRun) + (stepsRun == 1 ? " step" : " steps") +
                ", " + seedText;
    map.subtitle = report::ViewText(rows, cols, map.view);
    const std::string err = report::WriteMapPng(map, temp);
    if (!err.empty()) throw io::AppError(final + ": " + err);
    io::PublishTemp(temp, final);
    temps.Forget(temp);
  }
  if (o.png) {
    const std::string chart = at("growth.png");
    const std::string temp = io::TempNameFor(chart);
    temps.Add(temp);
    const std::string err = report::WriteChartPng(
        growth.ToChart(o.chartScale == "log", seedText + ", " + std::to_string(rows) + " x " +
                                                  std::to_string(cols) + " cells"),
        temp);
    if (!err.empty()) throw io::AppError(chart + ": " + err);
    io::PublishTemp(temp, chart);
    temps.Forget(temp);
  }
  if (o.gif) {
    const std::string err = gif.Close();
    if (!err.empty()) throw io::AppError(gifFinal + ": " + err);
    io::PublishTemp(gifTemp, gifFinal);
    temps.Forget(gifTemp);
  }
  io::WriteFileAtomic(at("stats.csv"), stats.Text());

  io::Json doc = io::SetToJson(set);
  io::Json run = RunRecord(o, setup);
  run["every"] = o.every;
  run["repeat"] = "towngrow run" + RepeatOptions(o, setup) + " --params " +
                  ShellWord(AbsolutePath(at("run.json")));
  doc["run"] = run;
  io::WriteFileAtomic(at("run.json"), io::DumpReadable(doc));

  report::Report report;
  report.title = "towngrow run: " + std::to_string(rows) + " x " + std::to_string(cols) +
                 " cells, " + std::to_string(stepsRun) + " steps, seed " + std::to_string(o.seed);
  report.command = run["repeat"].get<std::string>();
  report.facts = {{"start", setup.fromFile ? AbsolutePath(o.start) : o.start},
                  {"background", o.background.empty() ? "none" : AbsolutePath(o.background)},
                  {"steps run", std::to_string(stepsRun)},
                  {"towngrow", Version()}};
  report.tables.push_back(LandUseTable(set, grown.Current()));
  if (o.png) {
    report.pictures.push_back({"The town at the end", at("final.png"), "final.png"});
    report.pictures.push_back(
        {"Cells per land use over the steps", at("growth.png"), "growth.png"});
  }
  if (o.gif) report.pictures.push_back({"The growth, frame by frame", gifFinal, "growth.gif"});
  io::WriteFileAtomic(at("report.html"), report::ReportHtml(report));

  if (!o.quiet) PrintSummary(out, set, sim.Current(), log, o, stepsRun);
}

}  // namespace towngrow::jobs
