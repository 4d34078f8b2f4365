#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "io/class_file.h"
#include "io/error.h"
#include "io/grid_files.h"
#include "jobs/calibrate.h"
#include "jobs/options.h"
#include "optimise/cmaes.h"
#include "optimise/nsga2.h"
#include "params/params_json.h"
#include "towngrow/calibrate.h"
#include "towngrow/compare.h"
#include "towngrow/ensemble.h"
#include "towngrow/grid/category.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/landuse/set_tools.h"
#include "towngrow/platform/framework.h"

namespace towngrow::jobs {
namespace {

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

SearchMethod SearchOf(CalibrationMethod method) {
  switch (method) {
    case CalibrationMethod::Grid:
      return SearchMethod::Grid;
    case CalibrationMethod::Refine:
      return SearchMethod::Refine;
    case CalibrationMethod::Lhs:
      return SearchMethod::Lhs;
    case CalibrationMethod::Morris:
      return SearchMethod::Morris;
    case CalibrationMethod::Cmaes:
    case CalibrationMethod::Nsga2:
      break;
  }
  return SearchMethod::Proposed;
}

// Refuses values out of their ranges (no file read).
void CheckCalibrateOptions(const CalibrateOptions& o) {
  CalibrateOptions copy = o;
  HostOptions host;
  CheckOptionValues(CalibrateTable(copy, host));
}

std::string Count(double n) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.0f", n);
  return buf;
}

}  // namespace

CalibrationInputs::CalibrationInputs() = default;
CalibrationInputs::~CalibrationInputs() = default;

std::unique_ptr<CLandUseSet> CalibrationInputs::SetOf(const Point& point) const {
  std::unique_ptr<CLandUseSet> set = io::SetForPoint(baseParams, entries, point);
  for (int i = 0; holdAgesTo > 0 && i < set->m_LandUseArray.GetSize(); ++i) {
    CLandUse& use = LandUseAt(*set, i);
    const LandUseCategory kind = use.m_LandUseCategory;
    if ((kind == House || kind == Industry || kind == Commerce) &&
        static_cast<long>(use.m_nActiveAge) + use.m_nInactivePeriod < holdAgesTo)
      use.m_nInactivePeriod = static_cast<int>(holdAgesTo - use.m_nActiveAge);
  }
  return set;
}

const std::vector<std::string>& CalibrationMeasures() {
  static const std::vector<std::string> measures = {
      "fom.developed", "producers.developed", "users.developed", "ksim", "leesallee",
      "quantity",      "allocation"};
  return measures;
}

void ParseControlMap(const std::string& arg, ControlMapFile& c, const std::string& stem) {
  const std::string option = Spelled(stem);
  const std::size_t colon = arg.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == arg.size())
    throw io::Error(option + " " + arg + ": give MAP:STEPS (steps after the start)");
  c.path = arg.substr(0, colon);
  const std::string steps = arg.substr(colon + 1);
  if (steps.size() > 9 || steps.find_first_not_of("0123456789") != std::string::npos)
    throw io::Error(option + " " + arg + ": the steps must be a whole number from 1 to 100000000");
  c.steps = std::stol(steps);
  if (c.steps < 1 || c.steps > 100000000)
    throw io::Error(option + " " + arg + ": the steps must be a whole number from 1 to 100000000");
}

void ReadCalibrationInputs(const CalibrateOptions& o, io::MessageLog& log, CalibrationInputs& in) {
  const io::TownOptions& t = o.town;
  if (t.start == "random")
    throw io::Error(Spelled("start") + " random cannot be calibrated: give a start map or 'town'");
  if (o.observed.empty())
    throw io::Error(Spelled("observed") + " MAP:STEPS is required (one or more)");
  if (o.space.empty()) throw io::Error(Spelled("space") + " FILE is required");
  CheckCalibrateOptions(o);

  // The inputs, all read before anything is written.
  in.controls = std::vector<ControlMapFile>(o.observed.size());
  for (std::size_t c = 0; c < in.controls.size(); ++c)
    ParseControlMap(o.observed[c], in.controls[c]);
  if (o.validate.size() > 100) throw io::Error(Spelled("validate") + ": at most 100 maps");
  in.held = std::vector<ControlMapFile>(o.validate.size());
  for (std::size_t c = 0; c < in.held.size(); ++c)
    ParseControlMap(o.validate[c], in.held[c], "validate");
  in.town = t;
  in.town.steps = 0;
  for (const ControlMapFile& c : in.controls) in.town.steps = std::max(in.town.steps, c.steps);
  io::TownSetup& setup = in.setup;
  io::PrepareTown(in.town, setup);
  io::InitOrFail(in.start, setup.rows, setup.cols, log);
  in.start.m_pLandUseSet = &setup.set;
  io::PlaceStart(in.town, setup, in.town.seed, in.start, log);
  in.hasBackground = io::LoadBackground(in.town, setup, in.background, log);
  io::TownOptions scenarioSteps = in.town;  // held-out maps may lie beyond the fit's steps
  for (const ControlMapFile& h : in.held)
    scenarioSteps.steps = std::max(scenarioSteps.steps, h.steps);
  in.scenario = io::LoadTownScenario(scenarioSteps, setup, log);
  for (auto* maps : {&in.controls, &in.held})
    for (ControlMapFile& c : *maps)
      io::LoadOfSize(c.path, setup.rows, setup.cols, "the start", c.map, setup.set, log, t.maps);
  in.space = io::ReadSpaceFile(o.space, setup.set, in.entries);
  in.scheme = o.classes.empty() ? DefaultClasses(setup.set) : io::ReadClassFile(o.classes);
  in.baseParams = io::SetToJson(setup.set);
  FinishCalibrationInputs(o, in);
}

void FinishCalibrationInputs(const CalibrateOptions& o, CalibrationInputs& in) {
  CheckCalibrateOptions(o);
  in.holdAgesTo = 0;
  if (o.holdAges) {
    in.holdAgesTo = o.horizon;
    for (const auto* maps : {&in.controls, &in.held})
      for (const ControlMapFile& c : *maps) in.holdAgesTo = std::max(in.holdAgesTo, c.steps);
  }
  SearchSettings& settings = in.settings;
  settings.method = SearchOf(o.method);
  settings.rounds = o.rounds;
  settings.keep = o.keep;
  settings.lattice = o.lattice;
  settings.samples = o.samples;
  settings.trajectories = o.trajectories;
  settings.levels = o.levels;
  settings.evaluations = o.evaluations;
  settings.maxPoints = o.maxPoints;
  settings.seed = o.town.seed;
  const bool proposed = settings.method == SearchMethod::Proposed;
  const std::string& method = MethodName(o.method);
  if (proposed && o.evaluations < 1)
    throw io::Error(Spelled("method") + " " + method + " needs " + Spelled("evaluations") +
                    " N (the budget of distinct points)");
  if (o.population != 0 && !proposed)
    throw io::Error(Spelled("population") + " is for cmaes and nsga2, not " + method);
  if (o.runaway > 0 && o.runaway < 1)
    throw io::Error(Spelled("runaway") + " must be 0 (off) or from 1 to 1000, not " +
                    ValueText(o.runaway));
  try {
    CheckSettings(settings);
  } catch (const std::invalid_argument& e) {
    throw io::Error(std::string("search settings: ") + e.what());
  }
  in.makeProposer = nullptr;
  if (o.method == CalibrationMethod::Cmaes) {
    optimise::CmaesSettings c;
    c.population = o.population;
    c.seed = o.town.seed;
    try {
      optimise::CheckCmaesSettings(c);
    } catch (const std::invalid_argument& e) {
      throw io::Error(Spelled("population") + ": " + e.what());
    }
    in.makeProposer = [c] { return std::make_unique<optimise::CmaesProposer>(c); };
  }
  try {
    in.objective = Objective::Parse(o.objective);
  } catch (const std::invalid_argument& e) {
    throw io::Error(Spelled("objective") + " " + o.objective + ": " + e.what());
  }
  const std::string spaceName = o.space.empty() ? "space" : o.space;
  try {
    CheckSpace(in.space);
  } catch (const std::invalid_argument& e) {
    throw io::Error(spaceName + ": " + e.what());
  }

  CalibrationModel model;
  model.start = &in.start;
  model.background = in.hasBackground ? &in.background : nullptr;
  model.scenario = in.scenario;
  for (const ControlMapFile& c : in.controls) model.controls.push_back({ViewOf(c.map), c.steps});
  model.scheme = in.scheme;
  model.measures = CalibrationMeasures();
  model.runs = o.runs;
  model.runaway = o.runaway;
  model.baseSeed = o.town.seed;
  model.seedStep = o.seedStep;
  model.objective = in.objective;
  model.makeSet = [&in](const Point& p) { return in.SetOf(p); };
  try {
    in.validators.clear();
    for (const ControlMapFile& h : in.held) {
      CalibrationModel alone = model;
      alone.controls = {{ViewOf(h.map), h.steps}};
      alone.runaway = 0;  // the best point's scores there are its own, whatever it grows
      in.validators.push_back(std::make_unique<PointEvaluator>(alone, o.threads));
    }
    in.evaluator = std::make_unique<PointEvaluator>(model, o.threads);
  } catch (const std::invalid_argument& e) {
    throw io::Error(Spelled("objective") + " " + o.objective + ": " + e.what());
  }
  if (o.method == CalibrationMethod::Nsga2) {
    optimise::Nsga2Settings n;
    n.population = o.population != 0 ? o.population : 40;
    n.seed = o.town.seed;
    const std::vector<std::string>& measures = in.evaluator->Measures();
    n.quantityAt = static_cast<std::size_t>(
        std::find(measures.begin(), measures.end(), "quantity") - measures.begin());
    n.allocationAt = static_cast<std::size_t>(
        std::find(measures.begin(), measures.end(), "allocation") - measures.begin());
    try {
      optimise::CheckNsga2Settings(n);
    } catch (const std::invalid_argument& e) {
      throw io::Error(Spelled("population") + ": " + e.what());
    }
    in.makeProposer = [n] { return std::make_unique<optimise::Nsga2Proposer>(n); };
  }
  // A round too large to hold is refused before any work.
  try {
    const std::unique_ptr<Proposer> proposer = in.makeProposer ? in.makeProposer() : nullptr;
    CheckSize(in.space, settings, proposer.get());
  } catch (const std::invalid_argument& e) {
    throw io::Error(spaceName + ": " + e.what());
  }
}

std::string PlanText(const CalibrationInputs& in) {
  const std::unique_ptr<Proposer> proposer = in.makeProposer ? in.makeProposer() : nullptr;
  const SearchSize size = PlannedSize(in.space, in.settings, proposer.get());
  const SearchSettings& s = in.settings;
  std::string text;
  if (s.method == SearchMethod::Proposed) {
    text = Count(static_cast<double>(s.evaluations)) + " points at most (the budget), " +
           Count(size.firstRound) + " per round";
  } else {
    text = Count(size.firstRound) + " points";
    if (size.laterRound > 0)
      text += " in round 1, then up to " + Count(size.laterRound) + " per round of " +
              std::to_string(s.rounds - 1) + " more";
    if (s.evaluations > 0 && size.total < size.firstRound)
      text += " (the budget: " + Count(size.total) + ")";
    else if (size.total > 0 && size.total != size.firstRound)
      text += " (at most " + Count(size.total) + " in all)";
  }
  return text + ": " + size.what;
}

store::StoreMeta CalibrationMeta(const CalibrateOptions& o, const CalibrationInputs& in) {
  store::StoreMeta meta;
  meta.emplace_back("format", "towngrow calibration 1");
  meta.emplace_back("start", MapPrint(in.start, true));
  std::string controlPrint;
  for (const ControlMapFile& c : in.controls)
    controlPrint +=
        (controlPrint.empty() ? "" : ";") + std::to_string(c.steps) + "@" + MapPrint(c.map, false);
  meta.emplace_back("controls", controlPrint);
  meta.emplace_back("background", in.hasBackground ? MapPrint(in.background, false) : "none");
  if (in.holdAgesTo > 0) meta.emplace_back("holdAges", std::to_string(in.holdAgesTo));
  if (in.setup.hasScenario) {
    Hash scenario;
    for (const io::ScenarioFile& f : in.setup.scenario.files) scenario.Add(f.sha256);
    meta.emplace_back("scenario", scenario.Hex());
  }
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
  // What makes the points of the search (a database of another search is
  // refused: its points were asked by other rules, so rounds differ).
  std::string search = MethodName(o.method);
  const SearchMethod kind = SearchOf(o.method);
  if (kind == SearchMethod::Grid || kind == SearchMethod::Refine || kind == SearchMethod::Lhs)
    search += " rounds " + std::to_string(o.rounds) + " keep " + std::to_string(o.keep) +
              " lattice " + std::to_string(o.lattice) + " samples " + std::to_string(o.samples);
  else if (kind == SearchMethod::Morris)
    search +=
        " trajectories " + std::to_string(o.trajectories) + " levels " + std::to_string(o.levels);
  else if (in.makeProposer)
    search += " population " + std::to_string(in.makeProposer()->RoundSize(in.space));
  if (o.evaluations > 0) search += " evaluations " + std::to_string(o.evaluations);
  meta.emplace_back("search", search);
  meta.emplace_back("objective", in.objective.Text());
  // Stopped runs score as the worst: a database of another bound holds
  // other results (none: made with the bound off, or before it existed).
  if (o.runaway > 0) meta.emplace_back("runaway", ValueText(o.runaway));
  std::string measureList;
  for (const std::string& m : in.evaluator->Measures()) measureList += m + ",";
  meta.emplace_back("measures", measureList);
  // Classes other than the land uses' own change every measure.
  if (!o.classes.empty() || in.scheme.names != DefaultClasses(in.setup.set).names) {
    std::string classes;
    for (std::size_t k = 0; k < in.scheme.names.size(); ++k) {
      classes += in.scheme.names[k] + (in.scheme.developed[k] ? "*" : "") + "=";
      for (int id = 0; id < 256; ++id)
        if (in.scheme.classOf[static_cast<std::size_t>(id)] == static_cast<int>(k))
          classes += std::to_string(id) + ",";
      classes += ";";
    }
    meta.emplace_back("classes", classes);
  }
  return meta;
}

std::unique_ptr<store::CalibrationStore> OpenCalibrationStore(const CalibrateOptions& o,
                                                              const CalibrationInputs& in,
                                                              io::OutputFolder& folder,
                                                              bool resume) {
  const std::string path = folder.At("calibration.sqlite");
  const store::StoreMeta meta = CalibrationMeta(o, in);
  std::error_code ec;
  if (resume && !std::filesystem::exists(path, ec))
    throw io::Error(Spelled("resume") + ": " + path + " does not exist");
  store::CalibrationStore::CheckCompatible(path, meta);
  folder.Make();
  std::vector<long> steps;
  for (const ControlMapFile& c : in.controls) steps.push_back(c.steps);
  return std::make_unique<store::CalibrationStore>(path, meta, in.evaluator->Measures(), steps);
}

}  // namespace towngrow::jobs
