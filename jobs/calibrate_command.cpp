#include "jobs/calibrate_command.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/params_json.h"
#include "io/staged_files.h"
#include "jobs/calibrate_ranks.h"
#include "jobs/ensemble_command.h"
#include "jobs/ensemble_ranks.h"
#include "report/report.h"
#include "report/run_charts.h"
#include "store/calibration_store.h"

namespace fs = std::filesystem;

namespace towngrow::jobs {
namespace {

constexpr int kMaxValuesPerParameter = 100000;

// FNV-1a, 64 bits: the fingerprint of an input in the database's meta table.
class Hash {
public:
  Hash& Add(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) h_ = (h_ ^ p[i]) * 0x100000001B3ull;
    return *this;
  }
  Hash& Add(const std::string& s) { return Add(s.data(), s.size()); }
  std::string Hex() const {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016" PRIx64, h_);
    return buf;
  }

private:
  std::uint64_t h_ = 0xCBF29CE484222325ull;
};

std::string MapPrint(const CLandUseCoverage& cov, bool ages) {
  Hash h;
  const std::size_t n =
      static_cast<std::size_t>(cov.m_nRows) * static_cast<std::size_t>(cov.m_nCols);
  h.Add(std::to_string(cov.m_nRows) + "x" + std::to_string(cov.m_nCols));
  h.Add(cov.m_pData, n);
  if (ages && cov.m_pCellAge != nullptr) h.Add(cov.m_pCellAge, n * sizeof(short));
  return std::to_string(cov.m_nRows) + "x" + std::to_string(cov.m_nCols) + ":" + h.Hex();
}

struct Control {
  std::string path;
  long steps = 0;
  CLandUseCoverage map;
};

// "map.asc:20" -> the map and 20 (the last ':' splits).
void ParseObserved(const std::string& arg, Control& c, const std::string& option = "--observed") {
  const std::size_t colon = arg.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == arg.size())
    throw io::AppError(option + " " + arg + ": give MAP:STEPS (steps after the start)");
  c.path = arg.substr(0, colon);
  const std::string steps = arg.substr(colon + 1);
  if (steps.size() > 9 || steps.find_first_not_of("0123456789") != std::string::npos)
    throw io::AppError(option + " " + arg +
                       ": the steps must be a whole number from 1 to 100000000");
  c.steps = std::stol(steps);
  if (c.steps < 1 || c.steps > 100000000)
    throw io::AppError(option + " " + arg +
                       ": the steps must be a whole number from 1 to 100000000");
}

}  // namespace

SearchSpace ReadSpace(const std::string& path, const CLandUseSet& set,
                      std::vector<SpaceEntry>& entries) {
  const io::Json doc = io::ReadJsonFile(path, "search space");
  if (!doc.is_array())
    throw io::AppError(path + ": must hold a list of parameters ({\"id\", \"field\", \"values\"})");
  if (doc.empty()) throw io::AppError(path + ": the space lists no parameter");
  SearchSpace space;
  for (std::size_t i = 0; i < doc.size(); ++i) {
    const io::Json& e = doc[i];
    const std::string at = path + ": [" + std::to_string(i) + "]";
    if (!e.is_object()) throw io::AppError(at + ": must be an object");
    for (auto it = e.begin(); it != e.end(); ++it)
      if (it.key() != "id" && it.key() != "field" && it.key() != "values" && it.key() != "min" &&
          it.key() != "max" && it.key() != "step")
        throw io::AppError(at + "." + it.key() + ": unknown key");
    if (!e.contains("id") || !e["id"].is_number_integer())
      throw io::AppError(at + ".id: must be a land-use ID (a whole number)");
    const long long id = e["id"].get<long long>();
    const int index = id >= 0 && id <= 255 ? set.GetIDIndex(static_cast<unsigned char>(id)) : -1;
    if (index < 0) throw io::AppError(at + ".id: no land use has ID " + std::to_string(id));
    if (!e.contains("field") || !e["field"].is_string())
      throw io::AppError(at + ".field: must name a parameter as towngrow params prints it");
    const std::string field = e["field"].get<std::string>();
    const CLandUse& lu = *static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(index));
    io::NumberField nf;
    const std::string problem = io::FindNumberField(lu, field, nf);
    if (!problem.empty())
      throw io::AppError(at + ".field: " + field.substr(0, 100) + ": " + problem + " (land use " +
                         std::to_string(id) + ")");
    SearchParameter p;
    p.name = "id" + std::to_string(id) + "." + field;
    p.integer = nf.integer;
    p.lowest = nf.min;
    p.highest = nf.max;
    const std::string range = "from " + ValueText(nf.min) + " to " + ValueText(nf.max);
    auto check = [&](const io::Json& v, const std::string& key) {
      if (!v.is_number()) throw io::AppError(at + "." + key + ": must be a number");
      const double d = v.get<double>();
      if (!std::isfinite(d) || d < nf.min || d > nf.max)
        throw io::AppError(at + "." + key + ": " + v.dump() + " is outside " + p.name +
                           "'s range " + range);
      if (nf.integer && d != std::floor(d))
        throw io::AppError(at + "." + key + ": " + v.dump() + " is not a whole number, as " +
                           p.name + " is");
      return d;
    };
    if (e.contains("values")) {
      if (e.contains("min") || e.contains("max") || e.contains("step"))
        throw io::AppError(at + ": give either values or min, max and step");
      const io::Json& vs = e["values"];
      if (!vs.is_array() || vs.empty())
        throw io::AppError(at + ".values: must be a list of one or more numbers");
      for (std::size_t k = 0; k < vs.size(); ++k) {
        const double d = check(vs[k], "values[" + std::to_string(k) + "]");
        if (std::find(p.values.begin(), p.values.end(), d) != p.values.end())
          throw io::AppError(at + ".values[" + std::to_string(k) + "]: " + vs[k].dump() +
                             " is listed twice");
        p.values.push_back(d);
      }
    } else {
      for (const char* key : {"min", "max", "step"})
        if (!e.contains(key)) throw io::AppError(at + ": needs values, or min, max and step");
      const double lo = check(e["min"], "min"), hi = check(e["max"], "max");
      if (!e["step"].is_number() || !(e["step"].get<double>() > 0) ||
          !std::isfinite(e["step"].get<double>()))
        throw io::AppError(at + ".step: must be a number above 0");
      const double step = e["step"].get<double>();
      if (hi < lo) throw io::AppError(at + ".max: below min");
      const double count = std::floor((hi - lo) / step + 1e-9) + 1;
      if (count > kMaxValuesPerParameter)
        throw io::AppError(at + ".step: gives more than " + std::to_string(kMaxValuesPerParameter) +
                           " values");
      for (long k = 0; k < static_cast<long>(count); ++k) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.10g", lo + static_cast<double>(k) * step);
        double v = std::min(hi, std::strtod(buf, nullptr));
        if (nf.integer && v != std::floor(v))
          throw io::AppError(at + ".step: gives " + ValueText(v) + ", not a whole number, as " +
                             p.name + " is");
        if (p.values.empty() || p.values.back() != v) p.values.push_back(v);
      }
    }
    for (const SearchParameter& q : space)
      if (q.name == p.name) throw io::AppError(at + ": " + p.name + " is listed twice");
    space.push_back(std::move(p));
    entries.push_back({static_cast<int>(id), field});
  }
  return space;
}

namespace {

std::string Fixed(const Scalar& s, int digits = 6) {
  if (!s.value) return "";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, *s.value);
  return buf;
}

std::string RankingCsv(const std::vector<PointResult>& ranking, const SearchSpace& space,
                       const std::vector<std::string>& measures,
                       const std::vector<Control>& controls) {
  std::ostringstream text;
  text << "rank,point";
  for (const SearchParameter& p : space) text << ',' << CsvField(p.name);
  text << ",objective,quantity,round";
  for (const Control& c : controls)
    for (const std::string& m : measures)
      text << ',' << CsvField(m + " step " + std::to_string(c.steps) + " mean") << ','
           << CsvField(m + " step " + std::to_string(c.steps) + " sd");
  text << '\n';
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    const PointResult& r = ranking[i];
    text << i + 1 << ',' << CsvField(r.key);
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
    text << ',' << CsvField(p.name + " low") << ',' << CsvField(p.name + " high");
  text << ",best objective of round,best point of round,best objective so far,best point so far\n";
  for (const RoundReport& r : rounds) {
    text << r.round << ',' << r.points;
    for (const ParameterRange& g : r.ranges)
      text << ',' << ValueText(g.low) << ',' << ValueText(g.high);
    text << ',' << (r.bestOfRound ? Fixed(r.bestOfRound->objective) : "") << ','
         << (r.bestOfRound ? CsvField(r.bestOfRound->key) : "") << ','
         << (r.bestSoFar ? Fixed(r.bestSoFar->objective) : "") << ','
         << (r.bestSoFar ? CsvField(r.bestSoFar->key) : "") << '\n';
  }
  return text.str();
}

// The best point scored on each held-out map: one row per map.
std::string ValidationCsv(const std::vector<PointResult>& scored, const std::vector<Control>& held,
                          const std::vector<std::string>& measures, const std::string& key) {
  std::ostringstream text;
  text << "map,steps,point,objective,quantity";
  for (const std::string& m : measures)
    text << ',' << CsvField(m + " mean") << ',' << CsvField(m + " sd");
  text << '\n';
  for (std::size_t v = 0; v < scored.size(); ++v) {
    text << CsvField(held[v].path) << ',' << held[v].steps << ',' << CsvField(key) << ','
         << Fixed(scored[v].objective) << ',' << Fixed(scored[v].quantity);
    for (const RunStatistic& s : scored[v].stats.at(0))
      text << ',' << Fixed(s.mean) << ',' << Fixed(s.sd);
    text << '\n';
  }
  return text.str();
}

// Points done, their rate and the time left, in place on standard error.
class PointsProgress {
public:
  explicit PointsProgress(bool enabled) : enabled_(enabled) {}
  void Begin(int round, std::size_t total) {
    round_ = round;
    total_ = total;
    done_ = 0;
    start_ = std::chrono::steady_clock::now();
  }
  void Add() {
    ++done_;
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && done_ < total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const int width = 30;
    const std::size_t filled = total_ > 0 ? done_ * width / total_ : width;
    std::string bar(std::min<std::size_t>(filled, width), '#');
    bar.resize(width, '.');
    const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
    const double left = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0.0;
    std::fprintf(stderr, "\rround %d [%s] %zu/%zu points  %.1f points/s  %s left\x1b[K", round_,
                 bar.c_str(), done_, total_, rate, Duration(left).c_str());
    std::fflush(stderr);
  }
  void End() {
    if (!enabled_ || !drawn_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
  }

private:
  // "42s", "12m05s", "3h20m".
  static std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s < 60)
      std::snprintf(buf, sizeof buf, "%lds", s);
    else if (s < 3600)
      std::snprintf(buf, sizeof buf, "%ldm%02lds", s / 60, s % 60);
    else
      std::snprintf(buf, sizeof buf, "%ldh%02ldm", s / 3600, s % 3600 / 60);
    return buf;
  }
  bool enabled_;
  bool drawn_ = false;
  int round_ = 0;
  std::size_t total_ = 0, done_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
};

// A parameter's name as a file name: letters, digits, '.', '_' and '-'
// kept, anything else '-'.
std::string FileWord(const std::string& name) {
  std::string word = name;
  for (char& c : word)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '-';
  return word;
}

std::string CalibrateRepeat(const CalibrateOptions& o) {
  const RunOptions& t = o.town;
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
  if (io::MapReading().band > 0) w += " --band " + std::to_string(io::MapReading().band);
  if (io::MapReading().lenient) w += " --lenient";
  return w + " --out " + ShellWord(AbsolutePath(t.out));
}

// report.html of a calibration: the ten best points, the rounds, the
// objective against each parameter and the best objective per round (the
// charts staged as objective-<parameter>.png and rounds.png; a chart with
// no defined objective is left out).
template <typename At>
report::Report CalibrationReport(const CalibrateOptions& o, const SearchResult& result,
                                 const SearchSpace& space, const std::string& objective,
                                 io::StagedFiles& staged, const At& at) {
  report::Report report;
  report.title = "towngrow calibrate: " + std::to_string(result.ranking.size()) +
                 " points ranked by " + objective;
  report.command = CalibrateRepeat(o);
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
    const std::string temp = staged.Add(at(name));
    const std::string err = report::WriteChartPng(c, temp);
    if (!err.empty()) throw io::AppError(at(name) + ": " + err);
    report.pictures.push_back({caption, temp, name});
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

// Everything a calibration is made of, read on every process.
struct Inputs {
  SearchSettings settings;
  Objective objective;
  std::vector<Control> controls;
  RunOptions town;
  TownSetup setup;
  CLandUseCoverage start, background;
  bool hasBackground = false;
  std::vector<SpaceEntry> entries;
  SearchSpace space;
  io::Json baseParams;
  std::function<std::unique_ptr<CLandUseSet>(const Point&)> setOf;
  std::unique_ptr<PointEvaluator> evaluator;
  std::vector<Control> held;                                // --validate maps, scored apart
  std::vector<std::unique_ptr<PointEvaluator>> validators;  // one per held-out map
};

void ReadInputs(const CalibrateOptions& o, Inputs& in, io::MessageLog& log) {
  const RunOptions& t = o.town;
  if (t.start == "random")
    throw io::AppError("--start random cannot be calibrated: give a start map or 'town'");
  if (o.observed.empty()) throw io::AppError("--observed MAP:STEPS is required (one or more)");
  if (o.space.empty()) throw io::AppError("--space FILE is required");
  if (o.runs < 1 || o.runs > kMaxEnsembleRuns)
    throw io::AppError("--runs must be from 1 to 65535, not " + std::to_string(o.runs));
  if (o.threads < 0) throw io::AppError("--threads must be 0 or more");

  SearchSettings& settings = in.settings;
  if (o.method == "grid")
    settings.method = SearchMethod::Grid;
  else if (o.method == "refine")
    settings.method = SearchMethod::Refine;
  else if (o.method == "lhs")
    settings.method = SearchMethod::Lhs;
  else
    throw io::AppError("--method " + o.method + ": not one of grid, refine, lhs");
  settings.rounds = o.rounds;
  settings.keep = o.keep;
  settings.lattice = o.lattice;
  settings.samples = o.samples;
  settings.seed = t.seed;
  try {
    CheckSettings(settings);
  } catch (const std::invalid_argument& e) {
    throw io::AppError(std::string("search settings: ") + e.what());
  }
  try {
    in.objective = Objective::Parse(o.objective);
  } catch (const std::invalid_argument& e) {
    throw io::AppError("--objective " + o.objective + ": " + e.what());
  }

  // The inputs, all read before anything is written.
  in.controls = std::vector<Control>(o.observed.size());
  for (std::size_t c = 0; c < in.controls.size(); ++c) ParseObserved(o.observed[c], in.controls[c]);
  in.town = t;
  in.town.steps = 0;
  for (const Control& c : in.controls) in.town.steps = std::max(in.town.steps, c.steps);
  if (o.validate.size() > 100) throw io::AppError("--validate: at most 100 maps");
  TownSetup& setup = in.setup;
  PrepareTown(in.town, setup);
  io::InitOrFail(in.start, setup.rows, setup.cols, log);
  in.start.m_pLandUseSet = &setup.set;
  PlaceStart(in.town, setup, in.town.seed, in.start, log);
  in.hasBackground = LoadBackground(in.town, setup, in.background, log);
  for (Control& c : in.controls) {
    io::LoadFitted(c.path, c.map, setup.set, log);
    if (c.map.m_nRows != setup.rows || c.map.m_nCols != setup.cols)
      throw io::AppError(c.path + ": " + std::to_string(c.map.m_nRows) + " x " +
                         std::to_string(c.map.m_nCols) + " cells, the start " +
                         std::to_string(setup.rows) + " x " + std::to_string(setup.cols));
  }
  in.held = std::vector<Control>(o.validate.size());
  for (std::size_t c = 0; c < in.held.size(); ++c) {
    Control& h = in.held[c];
    ParseObserved(o.validate[c], h, "--validate");
    io::LoadFitted(h.path, h.map, setup.set, log);
    if (h.map.m_nRows != setup.rows || h.map.m_nCols != setup.cols)
      throw io::AppError(h.path + ": " + std::to_string(h.map.m_nRows) + " x " +
                         std::to_string(h.map.m_nCols) + " cells, the start " +
                         std::to_string(setup.rows) + " x " + std::to_string(setup.cols));
  }
  in.space = ReadSpace(o.space, setup.set, in.entries);
  try {
    CheckSpace(in.space);
    FirstRound(in.space, settings);  // refuses a round too large to hold
  } catch (const std::invalid_argument& e) {
    throw io::AppError(o.space + ": " + e.what());
  }

  in.baseParams = io::SetToJson(setup.set);
  CalibrationModel model;
  model.start = &in.start;
  model.background = in.hasBackground ? &in.background : nullptr;
  for (const Control& c : in.controls) model.controls.push_back({ViewOf(c.map), c.steps});
  model.scheme = DefaultClasses(setup.set);
  model.measures = {"fom.developed", "producers.developed", "users.developed", "ksim", "leesallee",
                    "quantity",      "allocation"};
  model.runs = o.runs;
  model.baseSeed = t.seed;
  model.seedStep = o.seedStep;
  model.objective = in.objective;
  in.setOf = [&in](const Point& p) {
    auto set = std::make_unique<CLandUseSet>();
    io::ApplyParams(in.baseParams, "parameters", *set);
    for (std::size_t d = 0; d < in.entries.size(); ++d) {
      const int index = set->GetIDIndex(static_cast<unsigned char>(in.entries[d].id));
      io::SetNumberField(*static_cast<CLandUse*>(set->m_LandUseArray.GetAt(index)),
                         in.entries[d].field, p.values[d]);
    }
    return set;
  };
  model.makeSet = in.setOf;
  try {
    for (const Control& h : in.held) {
      CalibrationModel alone = model;
      alone.controls = {{ViewOf(h.map), h.steps}};
      in.validators.push_back(std::make_unique<PointEvaluator>(alone, o.threads));
    }
    in.evaluator = std::make_unique<PointEvaluator>(model, o.threads);
  } catch (const std::invalid_argument& e) {
    throw io::AppError(std::string("--objective ") + o.objective + ": " + e.what());
  }
}

// What the database is made for.
store::StoreMeta MetaOf(const CalibrateOptions& o, const Inputs& in) {
  store::StoreMeta meta;
  meta.emplace_back("format", "towngrow calibration 1");
  meta.emplace_back("start", MapPrint(in.start, true));
  std::string controlPrint;
  for (const Control& c : in.controls)
    controlPrint +=
        (controlPrint.empty() ? "" : ";") + std::to_string(c.steps) + "@" + MapPrint(c.map, false);
  meta.emplace_back("controls", controlPrint);
  meta.emplace_back("background", in.hasBackground ? MapPrint(in.background, false) : "none");
  meta.emplace_back("params", Hash().Add(in.baseParams.dump()).Hex());
  std::string spaceText;
  for (const SearchParameter& p : in.space) {
    spaceText += p.name + "=";
    for (double v : p.values) spaceText += ValueText(v) + ",";
    spaceText += ";";
  }
  meta.emplace_back("space", spaceText);
  meta.emplace_back("runs", std::to_string(o.runs));
  meta.emplace_back("seed", std::to_string(o.town.seed));
  meta.emplace_back("seedStep", std::to_string(o.seedStep));
  meta.emplace_back("search", o.method + " rounds " + std::to_string(o.rounds) + " keep " +
                                  std::to_string(o.keep) + " lattice " + std::to_string(o.lattice) +
                                  " samples " + std::to_string(o.samples));
  meta.emplace_back("objective", in.objective.Text());
  std::string measureList;
  for (const std::string& m : in.evaluator->Measures()) measureList += m + ",";
  meta.emplace_back("measures", measureList);
  return meta;
}

// A process other than the first: evaluates the points it is given until
// it is told to stop.
int ServePoints(const Inputs& in) {
  int round = 0;
  Point p;
  while (ReceivePoint(round, p, in.space.size())) {
    try {
      std::vector<std::vector<RunStatistic>> stats;
      in.evaluator->Evaluate({p}, in.space, round, [&stats](std::size_t, PointResult&& r) {
        stats = std::move(r.stats);
      });
      SendStats(stats);
    } catch (const std::exception& e) {
      SendFailure(e.what());
    }
  }
  return 0;
}

// The first process of several: hands the points out one at a time to the
// others as they finish; results come back in any order.
void SpreadPoints(const RankSession& ranks, const Inputs& in, const std::vector<Point>& pts,
                  int round, const std::function<void(std::size_t, PointResult&&)>& done) {
  const CalibrationModel& m = in.evaluator->Model();
  std::vector<unsigned int> seeds;
  for (unsigned int i = 0; i < static_cast<unsigned int>(m.runs); ++i)
    seeds.push_back(m.baseSeed + i * m.seedStep);
  std::vector<std::size_t> holding(static_cast<std::size_t>(ranks.Size()), 0);
  std::size_t next = 0, out = 0;
  for (int r = 1; r < ranks.Size() && next < pts.size(); ++r, ++out) {
    holding[static_cast<std::size_t>(r)] = next;
    SendPoint(r, round, pts[next++]);
  }
  while (out > 0) {
    PointResult result;
    const int from =
        ReceiveStats(result.stats, in.controls.size(), in.evaluator->Measures().size());
    --out;
    const std::size_t index = holding[static_cast<std::size_t>(from)];
    if (next < pts.size()) {
      holding[static_cast<std::size_t>(from)] = next;
      SendPoint(from, round, pts[next++]);
      ++out;
    }
    result.point = pts[index];
    result.key = PointKey(in.space, result.point);
    result.round = round;
    result.seeds = seeds;
    in.evaluator->Score(result);
    done(index, std::move(result));
  }
}

}  // namespace

int RunCalibrateCommand(const CalibrateOptions& o, std::FILE* out) {
  const auto began = std::chrono::steady_clock::now();
  const RunOptions& t = o.town;
  RankSession ranks;
  const bool root = ranks.Rank() == 0;
  io::LockedMessages locked;
  io::MessageLog log;
  Inputs in;
  std::exception_ptr failure;
  try {
    ReadInputs(o, in, log);
  } catch (...) {
    failure = std::current_exception();
  }
  if (ranks.AnyFailed(failure != nullptr)) {
    if (!root) return io::kExitBadInput;
    if (failure) std::rethrow_exception(failure);
    throw io::AppError("another process of the calibration failed");
  }

  // The database, on the first process alone; refused before anything is
  // written when it was made for other inputs.
  const fs::path dir(t.out);
  const std::string dbPath = (dir / "calibration.sqlite").string();
  std::unique_ptr<store::CalibrationStore> store;
  std::vector<long> steps;
  for (const Control& c : in.controls) steps.push_back(c.steps);
  if (root) {
    try {
      const store::StoreMeta meta = MetaOf(o, in);
      std::error_code ec;
      if (o.resume && !fs::exists(dbPath, ec))
        throw io::AppError("--resume: " + dbPath + " does not exist");
      store::CalibrationStore::CheckCompatible(dbPath, meta);
      io::MakeFolder(t.out);
      store =
          std::make_unique<store::CalibrationStore>(dbPath, meta, in.evaluator->Measures(), steps);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (ranks.AnyFailed(failure != nullptr)) {
    if (!root) return io::kExitBadInput;
    std::rethrow_exception(failure);
  }
  if (!root) return ServePoints(in);

  const SearchSpace& space = in.space;
  std::vector<std::string> names;
  for (const SearchParameter& p : space) names.push_back(p.name);
  PointsProgress progress(!t.quiet && ::isatty(STDERR_FILENO) != 0);
  SearchHooks hooks;
  hooks.evaluate = [&](const std::vector<Point>& pts, int round,
                       const std::function<void(std::size_t, PointResult &&)>& done) {
    if (ranks.Size() > 1)
      SpreadPoints(ranks, in, pts, round, done);
    else
      in.evaluator->Evaluate(pts, space, round, done);
  };
  hooks.lookup = [&store](const std::string& key) { return store->Lookup(key); };
  hooks.finished = [&](const PointResult& r) {
    store->Add(r, names);
    progress.Add();
  };
  hooks.roundBegins = [&](int round, std::size_t points, std::size_t known) {
    progress.Begin(round, points - known);
  };
  hooks.roundEnds = [&](const RoundReport& r) {
    progress.End();
    if (t.quiet) return;
    std::fprintf(out, "round %d: %zu points (%zu run now), best %s at %s\n", r.round, r.points,
                 r.evaluated, r.bestOfRound ? Fixed(r.bestOfRound->objective, 4).c_str() : "-",
                 r.bestOfRound ? r.bestOfRound->key.c_str() : "-");
    std::fflush(out);
  };
  SearchResult result;
  try {
    result = Search(space, in.settings, hooks);
  } catch (...) {
    for (int r = 1; r < ranks.Size(); ++r) SendStop(r);
    throw;
  }
  for (int r = 1; r < ranks.Size(); ++r) SendStop(r);
  store.reset();
  const PointResult& best = result.ranking.front();

  // The other outputs, published together.
  io::StagedFiles staged;
  auto at = [&](const std::string& name) { return (dir / name).string(); };
  staged.AddText(at("ranking.csv"),
                 RankingCsv(result.ranking, space, in.evaluator->Measures(), in.controls));
  staged.AddText(at("rounds.csv"), RoundsCsv(result.rounds, space));
  std::vector<PointResult> validation;
  for (const auto& v : in.validators)
    v->Evaluate({best.point}, space, 0, [&validation](std::size_t, PointResult&& r) {
      validation.push_back(std::move(r));
    });
  if (!validation.empty())
    staged.AddText(at("validation.csv"),
                   ValidationCsv(validation, in.held, in.evaluator->Measures(), best.key));
  const std::unique_ptr<CLandUseSet> bestSet = in.setOf(best.point);
  io::Json doc = io::SetToJson(*bestSet);
  io::Json run = RunRecord(in.town, in.setup);
  run["command"] = "calibrate";
  run["point"] = best.key;
  run["objective"] = in.objective.Text();
  if (best.objective.value) run["objectiveValue"] = *best.objective.value;
  run["runs"] = o.runs;
  run["seedStep"] = o.seedStep;
  run["runSeeds"] = best.seeds;
  run["repeat"] = "towngrow run --params " + ShellWord(AbsolutePath(at("best.json"))) +
                  RepeatOptions(in.town, in.setup) +
                  "  (run i: --seed seed + i * seedStep, modulo 2^32)";
  doc["run"] = run;
  staged.AddText(at("best.json"), io::DumpReadable(doc));
  staged.AddText(at("report.html"), report::ReportHtml(CalibrationReport(
                                        o, result, space, in.objective.Text(), staged, at)));
  staged.PublishAll();

  if (o.bestOutputs) {
    for (const Control& c : in.controls) {
      EnsembleOptions e;
      e.town = in.town;
      e.town.params = at("best.json");
      e.town.steps = c.steps;
      e.town.out = at("best/step-" + std::to_string(c.steps));
      e.town.quiet = true;
      e.runs = o.runs;
      e.seedStep = o.seedStep;
      e.threads = o.threads;
      e.observed = c.path;
      e.alone = true;
      RunEnsembleCommand(e, out);
    }
  }

  if (!t.quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::fprintf(out, "Best of %zu points: %s\n  objective %s = %s, quantity disagreement %s\n",
                 result.ranking.size(), best.key.c_str(), in.objective.Text().c_str(),
                 best.objective.value ? Fixed(best.objective, 6).c_str() : "undefined",
                 best.quantity.value ? Fixed(best.quantity, 6).c_str() : "undefined");
    std::fprintf(out, "Wrote %s (best.json, ranking.csv, rounds.csv, calibration.sqlite) in %.2f s",
                 t.out.c_str(), seconds);
    if (ranks.Size() > 1) std::fprintf(out, " (%d processes)", ranks.Size());
    for (std::size_t v = 0; v < validation.size(); ++v)
      std::fprintf(
          out,
          "\nHeld out, not fitted: %s after %ld steps: objective %s = %s, quantity disagreement %s",
          in.held[v].path.c_str(), in.held[v].steps, in.objective.Text().c_str(),
          validation[v].objective.value ? Fixed(validation[v].objective, 6).c_str() : "undefined",
          validation[v].quantity.value ? Fixed(validation[v].quantity, 6).c_str() : "undefined");
    std::fputc('\n', out);
  }
  return 0;
}

}  // namespace towngrow::jobs
