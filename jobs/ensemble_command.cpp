#include "jobs/ensemble_command.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <towngrow/towngrow.h>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/params_json.h"
#include "io/staged_files.h"
#include "jobs/ensemble_observed.h"
#include "jobs/ensemble_ranks.h"
#include "report/render.h"
#include "report/report.h"
#include "report/run_charts.h"

namespace fs = std::filesystem;

namespace towngrow::jobs {
namespace {

constexpr unsigned int kMultiplier = 214013u;
constexpr unsigned int kIncrement = 2531011u;
constexpr unsigned int kDarkGrey = 0x404040u;

// The progress bar over runs, redrawn in place on standard error at most
// ten times a second. Called from one thread at a time.
class RunsProgress {
public:
  RunsProgress(long total, bool enabled) : total_(total), enabled_(enabled) {}
  void Update(long done) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const int width = 30;
    const long filled = total_ > 0 ? done * width / total_ : width;
    std::string bar(static_cast<std::size_t>(std::clamp<long>(filled, 0, width)), '#');
    bar.resize(width, '.');
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0.0;
    std::fprintf(stderr, "\r[%s] %ld/%ld runs  %.2f runs/s  %.0fs left\x1b[K", bar.c_str(), done,
                 total_, rate, left);
    std::fflush(stderr);
  }
  void Finish() {
    if (!enabled_ || !drawn_) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }

private:
  long total_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_ = start_;
};

unsigned int ClassColor(const TrackedClass& cls, const CLandUseSet& set) {
  if (cls.categories.empty() || cls.categories.size() > 2) return kDarkGrey;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i)
    if (LandUseAt(set, i).m_LandUseCategory == cls.categories.front())
      return LandUseAt(set, i).m_Color;
  return kDarkGrey;
}

std::string CategoryWord(LandUseCategory c) {
  switch (c) {
    case Blank:
      return "Blank";
    case StreetNode:
      return "StreetNode";
    case StreetVertex:
      return "StreetVertex";
    case House:
      return "House";
    case Industry:
      return "Industry";
    case Commerce:
      return "Commerce";
    default:
      return "Others";
  }
}

// "Housing: percent of 100 runs" for the class "housing".
std::string HeatTitle(const std::string& name, int runs) {
  std::string title = name;
  if (!title.empty() && title[0] >= 'a' && title[0] <= 'z')
    title[0] = static_cast<char>(title[0] - 'a' + 'A');
  return title + ": percent of " + std::to_string(runs) + (runs == 1 ? " run" : " runs");
}

std::string Fixed4(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  return buf;
}

// Per step, per land use of the set (an ID counted once): mean and deviation.
std::string EnsembleCsv(const EnsembleResult& result, const CLandUseSet& set) {
  std::ostringstream text;
  std::vector<int> ids;
  text << "step";
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& lu = LandUseAt(set, i);
    if (set.GetIDIndex(lu.m_ID) != i) continue;
    ids.push_back(lu.m_ID);
    const std::string label = lu.m_strLandUseName + " (ID " + std::to_string(lu.m_ID) + ")";
    text << ',' << CsvField(label + " mean") << ',' << CsvField(label + " sd");
  }
  text << '\n';
  for (std::size_t step = 0; step < result.meanPerStep.size(); ++step) {
    text << step;
    for (int id : ids)
      text << ',' << Fixed4(result.meanPerStep[step][static_cast<std::size_t>(id)]) << ','
           << Fixed4(result.stddevPerStep[step][static_cast<std::size_t>(id)]);
    text << '\n';
  }
  return text.str();
}

// The runs of a random start: each run fills its own start from its own
// seed, then runs on from where the fill left the generator, as a lone run
// does. Runs are spread over `threads` workers; each hands one run at a
// time to the library's runner.
EnsembleSums RunRandomStarts(const EnsembleConfig& base, const CLandUseSet& set,
                             const std::vector<int>& indices, int threads, int rows, int cols,
                             const std::function<void(int)>& progress) {
  if (threads == 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads = std::max(1, std::min<int>(threads, static_cast<int>(indices.size())));
  const int classes = static_cast<int>(base.tracked.size());
  EnsembleSums total = EnsembleSums::Zero(rows, cols, base.steps, classes);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;  // guards total, error, done and the progress callback
  std::exception_ptr error;
  int done = 0;

  auto work = [&]() {
    try {
      CLandUseCoverage start;
      if (!start.InitCoverage(rows, cols, 0)) throw std::bad_alloc();
      start.m_pLandUseSet = const_cast<CLandUseSet*>(&set);  // only read by the fill
      for (;;) {
        const std::size_t k = next++;
        if (k >= indices.size() || stop) break;
        const unsigned int i = static_cast<unsigned int>(indices[k]);
        SeedRandom(base.baseSeed + i * base.seedStep);
        start.RandomFill();
        EnsembleConfig one = base;
        one.start = &start;
        one.baseSeed = ContinuationSeed();
        one.seedStep = 0;
        one.runs = 1;
        one.threads = 1;
        if (base.onRunEnd)
          one.onRunEnd = [&base, i](int, const CLandUseCoverage& c) {
            base.onRunEnd(static_cast<int>(i), c);
          };
        const EnsembleSums sums = RunEnsembleRuns(one, {0});
        std::lock_guard<std::mutex> lock(mutex);
        total.Merge(sums);  // exact: the order of the runs does not matter
        ++done;
        if (progress) progress(done);
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!error) error = std::current_exception();
      stop = true;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (auto& th : pool) th.join();
  if (error) std::rethrow_exception(error);
  return total;
}

void PrintSummary(std::FILE* out, const EnsembleOptions& o, const TownSetup& setup,
                  const EnsembleResult& result, const io::MessageLog& log, int processes,
                  double seconds) {
  const RunOptions& t = o.town;
  std::fprintf(out, "Grew %d runs of %d x %d cells for %ld steps (seed %u + i * %u) into %s\n",
               result.runs, setup.rows, setup.cols, t.steps, t.seed, o.seedStep, t.out.c_str());
  std::fprintf(out, "  %-24s %4s %12s %12s\n", "land use at the end", "ID", "mean cells", "sd");
  const auto& mean = result.meanPerStep.back();
  const auto& sd = result.stddevPerStep.back();
  for (int i = 0; i < setup.set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& lu = LandUseAt(setup.set, i);
    if (setup.set.GetIDIndex(lu.m_ID) != i) continue;
    std::fprintf(out, "  %-24s %4d %12.2f %12.2f\n", lu.m_strLandUseName.c_str(), lu.m_ID,
                 mean[lu.m_ID], sd[lu.m_ID]);
  }
  if (!log.Counts().empty()) {
    std::fprintf(out, "Messages of the model (times shown%s):\n",
                 processes > 1 ? ", by this process's runs" : "");
    for (const auto& entry : log.Counts())
      std::fprintf(out, "  %8ld  %s\n", entry.second, io::MessageLog::OneLine(entry.first).c_str());
  }
  std::fprintf(out, "Wall time %.2f s, %.2f runs per second", seconds,
               seconds > 0 ? result.runs / seconds : 0.0);
  if (processes > 1) std::fprintf(out, " (%d processes)", processes);
  std::fputc('\n', out);
}

}  // namespace

int PercentOfRuns(unsigned int count, unsigned int runs) {
  if (runs == 0) return 0;
  return static_cast<int>((200ull * count + runs) / (2ull * runs));
}

unsigned int ContinuationSeed() {
  // Each draw shows bits 16 to 30 of the state after it. The first draw
  // fixes those bits of its state; the low 16 bits are the ones with which
  // the following draws come out as seen. Bit 31 never reaches a draw.
  constexpr int kDraws = 8;
  unsigned int seen[kDraws];
  for (auto& v : seen) v = static_cast<unsigned int>(RandomDraw());
  unsigned int found = 0;
  for (unsigned int low = 0; low < 0x10000u; ++low) {
    unsigned int state = (seen[0] << 16) | low;
    bool match = true;
    for (int k = 1; k < kDraws && match; ++k) {
      state = state * kMultiplier + kIncrement;
      match = ((state >> 16) & 0x7FFFu) == seen[k];
    }
    if (match) {
      found = (seen[0] << 16) | low;
      break;
    }
  }
  // Step back over the first draw: the inverse of the multiplier modulo 2^32.
  unsigned int inverse = kMultiplier;  // Newton's iteration, 5 rounds for 32 bits
  for (int k = 0; k < 5; ++k) inverse *= 2u - kMultiplier * inverse;
  return (found - kIncrement) * inverse;
}

int RunEnsembleCommand(const EnsembleOptions& o, std::FILE* out) {
  const RunOptions& t = o.town;
  if (o.runs < 1 || o.runs > kMaxEnsembleRuns)
    throw io::AppError("--runs must be from 1 to " + std::to_string(kMaxEnsembleRuns) + ", not " +
                       std::to_string(o.runs));
  if (o.threads < 0) throw io::AppError("--threads must be 0 or more");
  const auto began = std::chrono::steady_clock::now();

  RankSession ranks(o.alone);
  const bool root = ranks.Rank() == 0;
  io::MessageLog log;
  TownSetup setup;
  CLandUseCoverage start, background;
  EnsembleConfig config;
  EnsembleSums sums;
  std::unique_ptr<EnsembleComparison> comparison;
  std::exception_ptr failure;
  try {
    io::LockedMessages locked;
    PrepareTown(t, setup);
    const bool randomStart = t.start == "random";
    io::InitOrFail(start, setup.rows, setup.cols, log);
    start.m_pLandUseSet = &setup.set;
    PlaceStart(t, setup, t.seed, start, log);  // a random start here only checks the set
    const bool hasBackground = LoadBackground(t, setup, background, log);

    // Each run gets a set of its own with the same parameters.
    const io::Json params = io::SetToJson(setup.set);
    config.makeSet = [&params]() {
      auto set = std::make_unique<CLandUseSet>();
      io::ApplyParams(params, "parameters", *set);
      return set;
    };
    config.start = &start;
    config.background = hasBackground ? &background : nullptr;
    config.steps = t.steps;
    config.baseSeed = t.seed;
    config.seedStep = o.seedStep;
    config.runs = o.runs;
    config.threads = o.threads;
    if (!o.startOfChange.empty() && o.observed.empty())
      throw io::AppError("--start-of-change needs --observed");
    if (!o.observed.empty()) {
      comparison = std::make_unique<EnsembleComparison>(o.observed, o.startOfChange,
                                                        randomStart ? nullptr : &start, setup.set,
                                                        setup.rows, setup.cols, o.runs, log);
      config.onRunEnd = [&comparison](int run, const CLandUseCoverage& final) {
        comparison->OnRunEnd(run, final);
      };
    }

    if (root) io::MakeFolder(t.out);

    std::vector<int> mine;
    for (int i = ranks.Rank(); i < o.runs; i += ranks.Size()) mine.push_back(i);
    RunsProgress progress(static_cast<long>(mine.size()),
                          root && !t.quiet && ::isatty(STDERR_FILENO) != 0);
    auto report = [&progress](int done) { progress.Update(done); };
    sums = randomStart
               ? RunRandomStarts(config, setup.set, mine, o.threads, setup.rows, setup.cols, report)
               : RunEnsembleRuns(config, mine, report);
    progress.Finish();
  } catch (...) {
    failure = std::current_exception();
  }
  if (ranks.AnyFailed(failure != nullptr)) {
    if (!root) return io::kExitBadInput;
    if (failure) std::rethrow_exception(failure);
    throw io::AppError("another process of the ensemble failed");
  }
  ranks.SumToRoot(sums);
  if (comparison && ranks.Size() > 1) {
    std::vector<std::uint64_t> words = comparison->Pack();
    ranks.SumToRoot(words);
    if (root) comparison->Unpack(words);
  }
  if (!root) return 0;

  const EnsembleResult result = FinishEnsemble(std::move(sums), config.tracked);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

  // Every output under a temporary name first; all published at the end.
  const fs::path dir(t.out);
  auto at = [&](const std::string& name) { return (dir / name).string(); };
  io::StagedFiles staged;
  io::ScratchDir scratch;
  const std::size_t cells =
      static_cast<std::size_t>(setup.rows) * static_cast<std::size_t>(setup.cols);
  CLandUseCoverage percent;
  io::InitOrFail(percent, setup.rows, setup.cols, log);
  percent.m_pLandUseSet = &setup.set;
  percent.m_dCellSize = start.m_dCellSize;
  percent.m_dXllCorner = start.m_dXllCorner;
  percent.m_dYllCorner = start.m_dYllCorner;
  percent.m_nNoDataValue = start.m_nNoDataValue;
  // One view for every heat map: the cells that any run developed into any
  // tracked class, with a margin (--extent town).
  report::ExtentMode extent;
  if (!report::ParseExtentMode(t.extent, extent))
    throw io::AppError("--extent must be town or full");
  report::Extent reached;
  for (std::size_t c = 0; c < config.tracked.size(); ++c)
    for (std::size_t k = 0; k < cells; ++k)
      if (result.cellCounts[c][k] != 0) {
        const int r = static_cast<int>(k / static_cast<std::size_t>(setup.cols));
        const int col = static_cast<int>(k % static_cast<std::size_t>(setup.cols));
        reached = report::Union(reached, report::Extent{r, col, 1, 1});
      }
  report::MapPicture heat;
  heat.rows = setup.rows;
  heat.cols = setup.cols;
  heat.view = ViewOf(reached, setup.rows, setup.cols, extent);
  heat.mapScale =
      setup.fromFile ? report::MapScaleOf(io::GeoForOutput(start, setup.geo)) : report::MapScale();
  // Run i is seeded seed + i * seed step.
  const std::string seeds =
      "seed " + std::to_string(t.seed) + ", seed step " + std::to_string(o.seedStep);
  heat.subtitle = seeds + ", " + std::to_string(t.steps) + " steps, " +
                  report::ViewText(setup.rows, setup.cols, heat.view);
  std::vector<report::ReportPicture> heatMaps;
  for (std::size_t c = 0; c < config.tracked.size(); ++c) {
    const TrackedClass& cls = config.tracked[c];
    for (std::size_t k = 0; k < cells; ++k)
      percent.m_pData[k] = static_cast<unsigned char>(
          PercentOfRuns(result.cellCounts[c][k], static_cast<unsigned int>(result.runs)));
    const std::string work = (fs::path(scratch.Path()) / (cls.name + ".asc")).string();
    io::ExportCoverage(percent, work, scratch, setup.geo);
    staged.AddCopy(work, at(cls.name + ".asc"));
    if (!setup.geo.wkt.empty())
      staged.AddCopy(fs::path(work).replace_extension(".prj").string(), at(cls.name + ".prj"));
    const std::string tif = at(cls.name + ".tif");
    const std::string tifTemp = staged.Add(tif);
    io::TiffLegend legend;
    legend.percent = true;
    legend.color = ClassColor(cls, setup.set);
    legend.description = HeatTitle(cls.name, result.runs);
    io::WriteGeoTiffAt(tifTemp, tif, percent.m_pData, setup.rows, setup.cols,
                       io::GeoForOutput(percent, setup.geo), legend);
    std::error_code ec;
    if (fs::exists(tifTemp + ".aux.xml", ec)) staged.Adopt(tifTemp + ".aux.xml", tif + ".aux.xml");
    const std::string png = at(cls.name + ".png");
    heat.cells = percent.m_pData;
    report::HeatColors(ClassColor(cls, setup.set), heat);
    heat.title = HeatTitle(cls.name, result.runs);
    const std::string pngTemp = staged.Add(png);
    const std::string err = report::WriteMapPng(heat, pngTemp);
    heatMaps.push_back({heat.title, pngTemp, cls.name + ".png"});
    if (!err.empty()) throw io::AppError(png + ": " + err);
  }
  staged.AddText(at("ensemble.csv"), EnsembleCsv(result, setup.set));
  const std::string chart = at("ensemble.png");
  const std::string chartTemp = staged.Add(chart);
  {
    const std::string err = report::WriteChartPng(
        report::EnsembleChart(setup.set, result, t.chartScale == "log",
                              seeds + ", " + std::to_string(setup.rows) + " x " +
                                  std::to_string(setup.cols) + " cells"),
        chartTemp);
    if (!err.empty()) throw io::AppError(chart + ": " + err);
  }
  if (comparison) comparison->Write(staged, t.out, result, t.seed, o.seedStep);

  io::Json doc = io::SetToJson(setup.set);
  io::Json run = RunRecord(t, setup);
  run["command"] = "ensemble";
  run["runs"] = o.runs;
  run["seedStep"] = o.seedStep;
  run["runSeeds"] = "seed + i * seedStep modulo 2^32, i from 0 to runs - 1";
  io::Json tracked = io::Json::array();
  for (const auto& cls : config.tracked) {
    io::Json categories = io::Json::array();
    for (LandUseCategory cat : cls.categories) categories.push_back(CategoryWord(cat));
    tracked.push_back(io::Json{{"name", cls.name}, {"categories", categories}});
  }
  run["tracked"] = tracked;
  run["percent"] = "100 * runs with the cell in the class / runs, rounded half up";
  const std::string params = " --params " + ShellWord(AbsolutePath(at("ensemble.json")));
  run["repeat"] = "towngrow ensemble --runs " + std::to_string(o.runs) + " --seed-step " +
                  std::to_string(o.seedStep) + RepeatOptions(t, setup) +
                  (comparison ? comparison->RepeatOptions() : std::string()) + params;
  doc["run"] = run;
  staged.AddText(at("ensemble.json"), io::DumpReadable(doc));

  report::Report report;
  report.title = "towngrow ensemble: " + std::to_string(result.runs) + " runs of " +
                 std::to_string(setup.rows) + " x " + std::to_string(setup.cols) + " cells, " +
                 std::to_string(t.steps) + " steps";
  report.command = run["repeat"].get<std::string>();
  report.facts = {
      {"seeds", "seed " + std::to_string(t.seed) + " + i * " + std::to_string(o.seedStep) +
                    ", i from 0 to " + std::to_string(result.runs - 1)},
      {"start", setup.fromFile ? AbsolutePath(t.start) : t.start},
      {"towngrow", Version()}};
  report::ReportTable means;
  means.caption = "Cells per land use at the last step, over the runs";
  means.header = {"land use", "ID", "mean", "standard deviation"};
  for (int i = 0; i < setup.set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& lu = LandUseAt(setup.set, i);
    if (setup.set.GetIDIndex(lu.m_ID) != i || result.meanPerStep.empty()) continue;
    means.rows.push_back({lu.m_strLandUseName, std::to_string(lu.m_ID),
                          Fixed4(result.meanPerStep.back()[lu.m_ID]),
                          Fixed4(result.stddevPerStep.back()[lu.m_ID])});
  }
  report.tables.push_back(means);
  report.pictures.push_back(
      {"Mean cells per land use with one standard deviation", chartTemp, "ensemble.png"});
  report.pictures.insert(report.pictures.end(), heatMaps.begin(), heatMaps.end());
  staged.AddText(at("report.html"), report::ReportHtml(report));
  staged.PublishAll();

  if (!t.quiet) {
    PrintSummary(out, o, setup, result, log, ranks.Size(), seconds);
    if (comparison) comparison->PrintSummary(out);
  }
  return 0;
}

}  // namespace towngrow::jobs
