#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "io/error.h"
#include "io/result_text.h"
#include "jobs/calibrate.h"
#include "jobs/ensemble.h"
#include "jobs/options.h"
#include "optimise/nsga2.h"
#include "params/params_json.h"
#include "report/pages.h"
#include "report/run_charts.h"
#include "towngrow/calibrate.h"
#include "towngrow/calibrate_scores.h"
#include "towngrow/compare.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/version.h"

namespace towngrow::jobs {
namespace {

using io::AbsolutePath;
using io::Json;
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
  text << ",stopped runs,stopped at step\n";
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    const PointResult& r = ranking[i];
    text << i + 1 << ',' << io::CsvField(r.key);
    for (double v : r.point.values) text << ',' << ValueText(v);
    text << ',' << Fixed(r.objective) << ',' << Fixed(r.quantity) << ',' << r.round;
    for (const auto& atControl : r.stats)
      for (const RunStatistic& s : atControl) text << ',' << Fixed(s.mean) << ',' << Fixed(s.sd);
    text << ',' << r.stoppedRuns << ','
         << (r.stoppedRuns > 0 ? std::to_string(r.stoppedStep) : std::string()) << '\n';
  }
  return text.str();
}

// Distinct points held after each round (a point counts in the round that
// first asked for it).
std::vector<long> HeldAfter(const SearchResult& result) {
  std::vector<long> held;
  for (const RoundReport& r : result.rounds) {
    long n = 0;
    for (const PointResult& p : result.ranking) n += p.round <= r.round ? 1 : 0;
    held.push_back(n);
  }
  return held;
}

std::string RoundsCsv(const SearchResult& result, const SearchSpace& space, long budget) {
  const std::vector<RoundReport>& rounds = result.rounds;
  const std::vector<long> held = HeldAfter(result);
  std::ostringstream text;
  // The evaluations so far and left, for the searches that have a budget.
  text << "round,points" << (budget > 0 ? ",evaluations,evaluations left" : "");
  for (const SearchParameter& p : space)
    text << ',' << io::CsvField(p.name + " low") << ',' << io::CsvField(p.name + " high");
  text << ",best objective of round,best point of round,best objective so far,best point so far\n";
  for (std::size_t i = 0; i < rounds.size(); ++i) {
    const RoundReport& r = rounds[i];
    text << r.round << ',' << r.points;
    if (budget > 0) text << ',' << held[i] << ',' << budget - held[i];
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
                          const std::vector<MajorityScore>& majority,
                          const std::vector<ControlMapFile>& held,
                          const std::vector<std::string>& measures, const std::string& key) {
  std::ostringstream text;
  text << "map,steps,point,objective,quantity";
  for (const std::string& m : measures)
    text << ',' << io::CsvField(m + " mean") << ',' << io::CsvField(m + " sd");
  for (const std::string& m : measures) text << ',' << io::CsvField("majority." + m);
  text << '\n';
  for (std::size_t v = 0; v < scored.size(); ++v) {
    text << io::CsvField(held[v].path) << ',' << held[v].steps << ',' << io::CsvField(key) << ','
         << Fixed(scored[v].objective) << ',' << Fixed(scored[v].quantity);
    for (const RunStatistic& s : scored[v].stats.at(0))
      text << ',' << Fixed(s.mean) << ',' << Fixed(s.sd);
    for (const Scalar& m : majority.at(v).values) text << ',' << Fixed(m);
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

// The command line that repeats a calibration: its options in force, the
// grid's size and the start as the run record names them.
std::string CalibrateRepeat(const CalibrationInputs& in, const CalibrateOptions& o,
                            const std::string& out) {
  CalibrateOptions repeat = o;
  RepeatTown(repeat.town, in.setup, o.town.params);
  HostOptions host{out};
  return RepeatLine("calibrate", CalibrateTable(repeat, host));
}

// report.html of a calibration: the ten best points, the rounds, the
// majority maps' scores, a screening's ranking of the parameters, the
// objective against each parameter and the best objective per round (the
// charts staged as objective-<parameter>.png, rounds.png and
// sensitivity.png; a chart with no defined objective is left out).
report::Report CalibrationReport(const CalibrationInputs& in, const CalibrateOptions& o,
                                 const SearchResult& result, const MajorityScores& majority,
                                 const Sensitivity* effects, io::OutputFolder& folder) {
  const SearchSpace& space = in.space;
  const std::string objective = in.objective.Text();
  report::Report report;
  report.title = "towngrow calibrate: " + std::to_string(result.ranking.size()) +
                 " points ranked by " + objective;
  if (in.repeatable) report.command = CalibrateRepeat(in, o, folder.Path());
  report.facts = {{"runs per point", std::to_string(o.runs)},
                  {"search", MethodName(o.method)},
                  {"best point", result.ranking.front().key},
                  {"cells the best point gives up", AbandonmentText(majority.abandoned)},
                  {"towngrow", Version()}};
  if (in.holdAgesTo > 0)
    report.facts.insert(report.facts.end() - 1,
                        {"ages held", "no cell given up within " + std::to_string(in.holdAgesTo) +
                                          " steps (" + ProgramOption("hold-ages") + ")"});
  report.facts.insert(report.facts.end() - 1, {"runaway bound", RunawayText(o, result)});
  if (o.evaluations > 0)
    report.facts.insert(report.facts.begin() + 2,
                        {"evaluations", std::to_string(result.ranking.size()) + " of a budget of " +
                                            std::to_string(o.evaluations)});
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
  const bool generations = in.settings.method == SearchMethod::Proposed;
  rounds.caption = generations ? "Generations" : "Rounds";
  rounds.header = {generations ? "generation" : "round",
                   "points",
                   "run now",
                   "evaluations",
                   "best of the round",
                   "best so far"};
  std::vector<double> bestSoFar;
  const std::vector<long> held = HeldAfter(result);
  for (std::size_t i = 0; i < result.rounds.size(); ++i) {
    const RoundReport& r = result.rounds[i];
    rounds.rows.push_back({std::to_string(r.round), std::to_string(r.points),
                           std::to_string(r.evaluated), std::to_string(held[i]),
                           r.bestOfRound ? shown(r.bestOfRound->objective) : "-",
                           r.bestSoFar ? shown(r.bestSoFar->objective) : "-"});
    bestSoFar.push_back(r.bestSoFar && r.bestSoFar->objective.value ? *r.bestSoFar->objective.value
                                                                    : NAN);
  }
  report.tables = {best};
  // The majority maps: the measures of the cells in a class in at least
  // half of the fresh runs, on the fitted and the held-out maps.
  const std::vector<std::string>& measures = in.evaluator->Measures();
  report::ReportTable major;
  major.caption = "The best point's majority map (cells in a class in at least half of " +
                  std::to_string(o.majorityRuns) + " fresh runs) against each map";
  major.header = {"map", "steps", "fitted", "developed cells"};
  for (const std::string& m : measures) major.header.push_back(m);
  auto majorRow = [&](const ControlMapFile& c, const MajorityScore& m, const char* fitted) {
    std::vector<std::string> row = {c.path.empty() ? "(given)" : c.path, std::to_string(c.steps),
                                    fitted, std::to_string(m.developed)};
    for (const Scalar& v : m.values) row.push_back(shown(v));
    major.rows.push_back(std::move(row));
  };
  for (std::size_t c = 0; c < majority.fitted.size(); ++c)
    majorRow(in.controls[c], majority.fitted[c], "yes");
  for (std::size_t c = 0; c < majority.held.size(); ++c)
    majorRow(in.held[c], majority.held[c], "held out");
  if (!major.rows.empty()) report.tables.push_back(major);
  if (effects != nullptr) {
    report::ReportTable influence;
    influence.caption =
        "The parameters by influence (Morris screening; sensitivity.csv has every measure)";
    influence.header = {"rank", "parameter", "mu* of " + objective, "sigma", "mu", "effect"};
    for (std::size_t i = 0; i < effects->order.size(); ++i) {
      const std::size_t p = effects->order[i];
      const ElementaryEffects& e = effects->objective[p];
      influence.rows.push_back({std::to_string(i + 1), space[p].name,
                                Fixed(Scalar::Of(e.muStar), 4), Fixed(Scalar::Of(e.sigma), 4),
                                Fixed(Scalar::Of(e.mu), 4), effects->none[p] ? "none" : "yes"});
    }
    report.tables.push_back(influence);
  }
  report.tables.push_back(rounds);
  auto chart = [&](const report::Chart& c, const std::string& name, const std::string& caption) {
    report::ChartGeometry g;
    std::string why;
    if (!report::LayOutChart(c, g, why)) return;
    report.pictures.push_back(report::AddChartPng(folder, name, c, caption));
  };
  if (effects != nullptr) {
    std::vector<std::string> names;
    std::vector<double> muStar, sigma;
    for (std::size_t p : effects->order) {
      names.push_back(space[p].name);
      muStar.push_back(effects->objective[p].muStar);
      sigma.push_back(effects->objective[p].sigma);
    }
    chart(report::SensitivityChart(names, muStar, sigma, objective), "sensitivity.png",
          "The influence of each parameter on the objective (mu* with sigma)");
  }
  chart(report::RoundsChart(bestSoFar, objective), "rounds.png",
        std::string("The best objective after each ") + (generations ? "generation" : "round") +
            " (" + std::to_string(result.ranking.size()) + " evaluations)");
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

Json MajorityJson(const MajorityScore& m, const std::vector<std::string>& measures,
                  const ControlMapFile& c) {
  Json doc;
  doc["map"] = c.path;
  doc["steps"] = c.steps;
  doc["runs"] = m.runs;
  doc["seeds"] = m.seeds;
  doc["rule"] =
      "a cell developed in at least half of the runs takes the developed class of the most runs, "
      "any other the class of the most runs";
  doc["developedCells"] = m.developed;
  Json values = Json::object();
  for (std::size_t k = 0; k < measures.size() && k < m.values.size(); ++k)
    values[measures[k]] = io::ScalarJson(m.values[k]);
  doc["measures"] = values;
  return doc;
}

}  // namespace

std::string RunawayText(const CalibrateOptions& o, const SearchResult& result) {
  if (o.runaway <= 0) return "off";
  long points = 0, runs = 0, first = 0, last = 0;
  for (const PointResult& r : result.ranking) {
    if (r.stoppedRuns == 0) continue;
    ++points;
    runs += r.stoppedRuns;
    first = first == 0 ? r.stoppedStep : std::min(first, r.stoppedStep);
    last = std::max(last, r.stoppedStep);
  }
  std::string text =
      ValueText(o.runaway) + " x the developed cells of the next control map: " +
      (points == 0 ? std::string("no run stopped")
                   : std::to_string(points) + " of " + std::to_string(result.ranking.size()) +
                         " points stopped (" + std::to_string(runs) +
                         " runs), first stops at step " + std::to_string(first) +
                         (last != first ? " to " + std::to_string(last) : std::string()));
  return text;
}

std::string SensitivityCsv(const Sensitivity& e, const SearchSpace& space,
                           const std::vector<long>& steps) {
  std::ostringstream text;
  text << "parameter,rank,effect,measure,steps,mu,mu*,sigma,effects\n";
  auto row = [&](std::size_t p, std::size_t rank, const std::string& measure, const std::string& at,
                 const ElementaryEffects& x) {
    text << io::CsvField(space[p].name) << ',' << rank << ',' << (e.none[p] ? "none" : "yes") << ','
         << io::CsvField(measure) << ',' << at << ',' << Fixed(Scalar::Of(x.mu)) << ','
         << Fixed(Scalar::Of(x.muStar)) << ',' << Fixed(Scalar::Of(x.sigma)) << ',' << x.count
         << '\n';
  };
  for (std::size_t i = 0; i < e.order.size(); ++i) {
    const std::size_t p = e.order[i];
    row(p, i + 1, "objective", "all", e.objective[p]);
    for (std::size_t c = 0; c < e.effects.size(); ++c)
      for (std::size_t m = 0; m < e.measures.size(); ++m)
        row(p, i + 1, e.measures[m], std::to_string(steps.at(c)), e.effects[c][m][p]);
  }
  return text.str();
}

void WriteCalibrationOutputs(const CalibrationInputs& in, const SearchResult& result,
                             const std::vector<PointResult>& validation,
                             const MajorityScores& majority, const CalibrateOptions& o,
                             io::OutputFolder& folder) {
  const SearchSpace& space = in.space;
  const PointResult& best = result.ranking.front();
  const std::vector<std::string>& measures = in.evaluator->Measures();
  folder.AddText("ranking.csv", RankingCsv(result.ranking, space, measures, in.controls));
  folder.AddText("rounds.csv", RoundsCsv(result, space, in.settings.evaluations));
  if (!validation.empty())
    folder.AddText("validation.csv",
                   ValidationCsv(validation, majority.held, in.held, measures, best.key));
  std::unique_ptr<Sensitivity> effects;
  if (in.settings.method == SearchMethod::Morris) {
    effects =
        std::make_unique<Sensitivity>(MorrisEffects(space, in.settings, result.ranking, measures));
    std::vector<long> steps;
    for (const ControlMapFile& c : in.controls) steps.push_back(c.steps);
    folder.AddText("sensitivity.csv", SensitivityCsv(*effects, space, steps));
  }
  if (o.method == CalibrationMethod::Nsga2) {
    optimise::Nsga2Settings n;
    n.quantityAt = static_cast<std::size_t>(
        std::find(measures.begin(), measures.end(), "quantity") - measures.begin());
    n.allocationAt = static_cast<std::size_t>(
        std::find(measures.begin(), measures.end(), "allocation") - measures.begin());
    folder.AddText("pareto.csv",
                   optimise::ParetoCsv(optimise::ParetoFront(result.ranking, n), space, n));
  }
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
  if (in.repeatable) {
    GrowOptions runs;
    runs.town = in.town;
    runs.pictures = o.pictures;
    RepeatTown(runs.town, in.setup, folder.At("best.json"));
    HostOptions host;
    run["repeat"] = RepeatLine("run", RunTable(runs, host)) + "  (run i: " + ProgramOption("seed") +
                    " seed + i * seedStep, modulo 2^32)";
  }
  doc["run"] = run;
  folder.AddText("best.json", io::DumpReadable(doc));
  report::AddReportPage(folder, CalibrationReport(in, o, result, majority, effects.get(), folder));
}

void WriteBestEnsembles(const CalibrationInputs& in, const CalibrateOptions& o,
                        const MajorityScores& majority, io::OutputFolder& folder) {
  for (std::size_t k = 0; k < in.controls.size(); ++k) {
    const ControlMapFile& c = in.controls[k];
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
    t.repeatable = in.repeatable;
    io::ApplyParamsFile(e.town.params, t.setup.set);
    t.setup.rows = in.setup.rows;
    t.setup.cols = in.setup.cols;
    t.setup.fromFile = in.setup.fromFile;
    t.setup.geo = in.setup.geo;
    for (auto [from, to] : {std::pair{&in.start, &t.start}, std::pair{&c.map, &t.observed}}) {
      if (!to->InitCoverage(from->m_nRows, from->m_nCols, 0)) throw std::bad_alloc();
      to->CopyValueFromCoverage(from);  // with its georeference and no-data value
      to->m_pLandUseSet = &t.setup.set;
    }
    t.hasBackground = in.hasBackground;
    t.scenario = in.scenario;
    t.setup.hasScenario = in.setup.hasScenario;
    t.setup.scenario = in.setup.scenario;  // its files and steps, for the record and charts
    if (in.hasBackground) {
      if (!t.background.InitCoverage(in.setup.rows, in.setup.cols, 0)) throw std::bad_alloc();
      t.background.CopyValueFromCoverage(&in.background);
    }
    CompareEnsembleWith(t, c.path.empty() ? "" : AbsolutePath(c.path), nullptr, "", in.scheme,
                        o.runs);
    const EnsembleOutcome outcome = GrowEnsemble(t, e, {}, ThisProcessAlone());
    io::OutputFolder step(folder.At("best/step-" + std::to_string(c.steps)));
    WriteEnsembleOutputs(t, outcome, e, step);
    if (k < majority.fitted.size())
      step.AddText("majority.json",
                   io::DumpReadable(MajorityJson(majority.fitted[k], in.evaluator->Measures(), c)));
    step.Publish();
  }
}

}  // namespace towngrow::jobs
