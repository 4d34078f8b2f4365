#include <cctype>
#include <cmath>
#include <sstream>

#include "io/error.h"
#include "io/params_json.h"
#include "io/result_text.h"
#include "jobs/calibrate.h"
#include "jobs/ensemble.h"
#include "report/pages.h"
#include "report/run_charts.h"

namespace towngrow::jobs {
namespace {

using io::AbsolutePath;
using io::ShellWord;

std::string Fixed(const Scalar& s, int digits = 6) { return io::FixedText(s, digits); }

std::string RankingCsv(const std::vector<PointResult>& ranking, const SearchSpace& space,
                       const std::vector<std::string>& measures,
                       const std::vector<ControlMapFile>& controls) {
  std::ostringstream text;
  text << "rank,point";
  for (const SearchParameter& p : space) text << ',' << io::CsvField(p.name);
  text << ",objective,quantity,round";
  for (const ControlMapFile& c : controls)
    for (const std::string& m : measures)
      text << ',' << io::CsvField(m + " step " + std::to_string(c.steps) + " mean") << ','
           << io::CsvField(m + " step " + std::to_string(c.steps) + " sd");
  text << '\n';
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    const PointResult& r = ranking[i];
    text << i + 1 << ',' << io::CsvField(r.key);
    for (double v : r.point.values) text << ',' << ValueText(v);
    text << ',' << Fixed(r.objective) << ',' << Fixed(r.quantity) << ',' << r.round;
    for (const auto& atControl : r.stats)
      for (const RunStatistic& s : atControl) text << ',' << Fixed(s.mean) << ',' << Fixed(s.sd);
    text << '\n';
  }
  return text.str();
}

std::string RoundsCsv(const std::vector<RoundReport>& rounds, const SearchSpace& space) {
  std::ostringstream text;
  text << "round,points";
  for (const SearchParameter& p : space)
    text << ',' << io::CsvField(p.name + " low") << ',' << io::CsvField(p.name + " high");
  text << ",best objective of round,best point of round,best objective so far,best point so far\n";
  for (const RoundReport& r : rounds) {
    text << r.round << ',' << r.points;
    for (const ParameterRange& g : r.ranges)
      text << ',' << ValueText(g.low) << ',' << ValueText(g.high);
    text << ',' << (r.bestOfRound ? Fixed(r.bestOfRound->objective) : "") << ','
         << (r.bestOfRound ? io::CsvField(r.bestOfRound->key) : "") << ','
         << (r.bestSoFar ? Fixed(r.bestSoFar->objective) : "") << ','
         << (r.bestSoFar ? io::CsvField(r.bestSoFar->key) : "") << '\n';
  }
  return text.str();
}

// The best point scored on each held-out map: one row per map.
std::string ValidationCsv(const std::vector<PointResult>& scored,
                          const std::vector<ControlMapFile>& held,
                          const std::vector<std::string>& measures, const std::string& key) {
  std::ostringstream text;
  text << "map,steps,point,objective,quantity";
  for (const std::string& m : measures)
    text << ',' << io::CsvField(m + " mean") << ',' << io::CsvField(m + " sd");
  text << '\n';
  for (std::size_t v = 0; v < scored.size(); ++v) {
    text << io::CsvField(held[v].path) << ',' << held[v].steps << ',' << io::CsvField(key) << ','
         << Fixed(scored[v].objective) << ',' << Fixed(scored[v].quantity);
    for (const RunStatistic& s : scored[v].stats.at(0))
      text << ',' << Fixed(s.mean) << ',' << Fixed(s.sd);
    text << '\n';
  }
  return text.str();
}

// A parameter's name as a file name: letters, digits, '.', '_' and '-'
// kept, anything else '-'.
std::string FileWord(const std::string& name) {
  std::string word = name;
  for (char& c : word)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '-';
  return word;
}

std::string CalibrateRepeat(const CalibrateOptions& o, const std::string& out) {
  const io::TownOptions& t = o.town;
  std::string w =
      "towngrow calibrate --start " +
      ShellWord(t.start == "town" || t.start == "random" ? t.start : AbsolutePath(t.start));
  if (t.sizeGiven) w += " --rows " + std::to_string(t.rows) + " --cols " + std::to_string(t.cols);
  for (const std::string& obs : o.observed) {
    const auto colon = obs.rfind(':');
    w += " --observed " + ShellWord(colon == std::string::npos
                                        ? obs
                                        : AbsolutePath(obs.substr(0, colon)) + obs.substr(colon));
  }
  w += " --space " + ShellWord(AbsolutePath(o.space));
  if (!t.params.empty()) w += " --params " + ShellWord(AbsolutePath(t.params));
  if (!t.background.empty()) w += " --background " + ShellWord(AbsolutePath(t.background));
  w += " --runs " + std::to_string(o.runs) + " --seed " + std::to_string(t.seed) + " --seed-step " +
       std::to_string(o.seedStep) + " --method " + o.method + " --rounds " +
       std::to_string(o.rounds) + " --keep " + std::to_string(o.keep) + " --lattice " +
       std::to_string(o.lattice) + " --samples " + std::to_string(o.samples) + " --objective " +
       ShellWord(o.objective);
  if (!o.classes.empty()) w += " --classes " + ShellWord(AbsolutePath(o.classes));
  w += MapReadWords(t.maps);
  return w + " --out " + ShellWord(AbsolutePath(out));
}

// report.html of a calibration: the ten best points, the rounds, the
// objective against each parameter and the best objective per round (the
// charts staged as objective-<parameter>.png and rounds.png; a chart with
// no defined objective is left out).
report::Report CalibrationReport(const CalibrateOptions& o, const SearchResult& result,
                                 const SearchSpace& space, const std::string& objective,
                                 bool repeatable, io::OutputFolder& folder) {
  report::Report report;
  report.title = "towngrow calibrate: " + std::to_string(result.ranking.size()) +
                 " points ranked by " + objective;
  if (repeatable) report.command = CalibrateRepeat(o, folder.Path());
  report.facts = {{"runs per point", std::to_string(o.runs)},
                  {"search", o.method},
                  {"best point", result.ranking.front().key},
                  {"towngrow", Version()}};
  auto shown = [](const Scalar& v) { return v.value ? Fixed(v, 4) : std::string("-"); };
  report::ReportTable best;
  best.caption = "The best points (ranking.csv holds them all)";
  best.header = {"rank", "point", objective, "quantity disagreement", "round"};
  for (std::size_t i = 0; i < result.ranking.size() && i < 10; ++i) {
    const PointResult& r = result.ranking[i];
    best.rows.push_back({std::to_string(i + 1), r.key, shown(r.objective), shown(r.quantity),
                         std::to_string(r.round)});
  }
  report::ReportTable rounds;
  rounds.caption = "Rounds";
  rounds.header = {"round", "points", "run now", "best of the round", "best so far"};
  std::vector<double> bestSoFar;
  for (const RoundReport& r : result.rounds) {
    rounds.rows.push_back({std::to_string(r.round), std::to_string(r.points),
                           std::to_string(r.evaluated),
                           r.bestOfRound ? shown(r.bestOfRound->objective) : "-",
                           r.bestSoFar ? shown(r.bestSoFar->objective) : "-"});
    bestSoFar.push_back(r.bestSoFar && r.bestSoFar->objective.value ? *r.bestSoFar->objective.value
                                                                    : NAN);
  }
  report.tables = {best, rounds};
  auto chart = [&](const report::Chart& c, const std::string& name, const std::string& caption) {
    report::ChartGeometry g;
    std::string why;
    if (!report::LayOutChart(c, g, why)) return;
    report.pictures.push_back(report::AddChartPng(folder, name, c, caption));
  };
  chart(report::RoundsChart(bestSoFar, objective), "rounds.png",
        "The best objective after each round");
  for (std::size_t k = 0; k < space.size(); ++k) {
    std::vector<double> values, objectives;
    for (const PointResult& r : result.ranking) {
      values.push_back(r.point.values[k]);
      objectives.push_back(r.objective.value ? *r.objective.value : NAN);
    }
    chart(report::ObjectiveChart(space[k].name, values, objectives, objective),
          "objective-" + FileWord(space[k].name) + ".png",
          "The objective against " + space[k].name);
  }
  return report;
}

}  // namespace

void WriteCalibrationOutputs(const CalibrationInputs& in, const SearchResult& result,
                             const std::vector<PointResult>& validation, const CalibrateOptions& o,
                             io::OutputFolder& folder) {
  const SearchSpace& space = in.space;
  const PointResult& best = result.ranking.front();
  folder.AddText("ranking.csv",
                 RankingCsv(result.ranking, space, in.evaluator->Measures(), in.controls));
  folder.AddText("rounds.csv", RoundsCsv(result.rounds, space));
  if (!validation.empty())
    folder.AddText("validation.csv",
                   ValidationCsv(validation, in.held, in.evaluator->Measures(), best.key));
  const std::unique_ptr<CLandUseSet> bestSet = in.SetOf(best.point);
  io::Json doc = io::SetToJson(*bestSet);
  io::Json run = RunRecord(in.town, in.setup);
  run["command"] = "calibrate";
  run["point"] = best.key;
  run["objective"] = in.objective.Text();
  if (best.objective.value) run["objectiveValue"] = *best.objective.value;
  run["runs"] = o.runs;
  run["seedStep"] = o.seedStep;
  run["runSeeds"] = best.seeds;
  if (in.repeatable)
    run["repeat"] = "towngrow run --params " + ShellWord(AbsolutePath(folder.At("best.json"))) +
                    RepeatOptions(in.town, in.setup) +
                    "  (run i: --seed seed + i * seedStep, modulo 2^32)";
  doc["run"] = run;
  folder.AddText("best.json", io::DumpReadable(doc));
  report::AddReportPage(
      folder, CalibrationReport(o, result, space, in.objective.Text(), in.repeatable, folder));
}

void WriteBestEnsembles(const CalibrationInputs& in, const CalibrateOptions& o,
                        io::OutputFolder& folder) {
  for (const ControlMapFile& c : in.controls) {
    EnsembleOptions e;
    e.town = in.town;
    e.town.params = folder.At("best.json");
    e.town.steps = c.steps;
    e.runs = o.runs;
    e.seedStep = o.seedStep;
    e.threads = o.threads;
    e.observed = c.path;
    e.classes = o.classes;
    e.pictures = o.pictures;
    EnsembleTown t;
    t.town = e.town;
    t.repeatable = in.repeatable;
    io::ApplyParamsFile(e.town.params, t.setup.set);
    t.setup.rows = in.setup.rows;
    t.setup.cols = in.setup.cols;
    t.setup.fromFile = in.setup.fromFile;
    t.setup.startInfo = in.setup.startInfo;
    t.setup.geo = in.setup.geo;
    for (auto [from, to] : {std::pair{&in.start, &t.start}, std::pair{&c.map, &t.observed}}) {
      if (!to->InitCoverage(from->m_nRows, from->m_nCols, 0)) throw std::bad_alloc();
      to->CopyValueFromCoverage(from);
      to->m_dCellSize = from->m_dCellSize;
      to->m_dXllCorner = from->m_dXllCorner;
      to->m_dYllCorner = from->m_dYllCorner;
      to->m_nNoDataValue = from->m_nNoDataValue;
      to->m_pLandUseSet = &t.setup.set;
    }
    t.hasBackground = in.hasBackground;
    if (in.hasBackground) {
      if (!t.background.InitCoverage(in.setup.rows, in.setup.cols, 0)) throw std::bad_alloc();
      t.background.CopyValueFromCoverage(&in.background);
    }
    CompareEnsembleWith(t, c.path.empty() ? "" : AbsolutePath(c.path), nullptr, "", in.scheme,
                        o.runs);
    const EnsembleOutcome outcome = GrowEnsemble(t, e, {}, ThisProcessAlone());
    io::OutputFolder step(folder.At("best/step-" + std::to_string(c.steps)));
    WriteEnsembleOutputs(t, outcome, e, step);
    step.Publish();
  }
}

}  // namespace towngrow::jobs
