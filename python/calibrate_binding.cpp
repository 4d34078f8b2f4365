// towngrow.calibrate: the search of towngrow calibrate over a Simulation's
// start, with control maps and a space given as Python values.
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/class_file.h"
#include "io/error.h"
#include "io/grid_files.h"
#include "io/output_folder.h"
#include "jobs/calibrate.h"
#include "jobs/options.h"
#include "module.h"
#include "params/params_json.h"
#include "params/search_space.h"

namespace towngrow::python {
namespace {

py::object ScalarOf(const Scalar& s) {
  return s.value ? py::object(py::float_(*s.value)) : py::none();
}

// The copy of a coverage's IDs and ages that a calibration starts from.
void CopyState(const CLandUseCoverage& from, CLandUseCoverage& to) {
  if (!to.InitCoverage(from.m_nRows, from.m_nCols, 0)) throw std::bad_alloc();
  to.CopyValueFromCoverage(&from);
}

// Control maps given as {steps: map}, in steps order, checked against the
// start's size.
std::vector<jobs::ControlMapFile> MapsByStep(const py::dict& maps, const char* what,
                                             PySimulation& s, const CLandUseCoverage& start) {
  std::map<long, MapData> byStep;
  for (auto item : maps) {
    const long steps = item.first.cast<long>();
    if (steps < 1 || steps > 100000000)
      throw py::value_error(std::string(what) + ": the steps must be from 1 to 100000000, got " +
                            std::to_string(steps));
    MapData& map = byStep[steps];
    MapArgument(item.second, what, *s.set, map);
    if (map.rows != start.m_nRows || map.cols != start.m_nCols)
      throw py::value_error(std::string(what) + "[" + std::to_string(steps) + "]: the map has " +
                            std::to_string(map.rows) + " x " + std::to_string(map.cols) +
                            " cells, the start " + std::to_string(start.m_nRows) + " x " +
                            std::to_string(start.m_nCols));
  }
  std::vector<jobs::ControlMapFile> out(byStep.size());
  std::size_t c = 0;
  for (auto& [steps, map] : byStep) {
    out[c].steps = steps;
    CopyState(map.cov, out[c++].map);
  }
  return out;
}

py::list Calibrate(const py::object& simulation, const py::dict& observed, const py::object& space,
                   int runs, const py::int_& seed, const py::int_& seedStep,
                   const std::string& method, int rounds, int keep, int lattice, int samples,
                   int trajectories, int levels, long evaluations, int population, double maxPoints,
                   int majorityRuns, double runaway, const std::string& objective,
                   const py::object& classes, const py::object& validate,
                   const py::object& schedule, const py::object& suitability, long horizon,
                   bool holdAges, const py::object& out, int threads, const py::object& progress) {
  PySimulation* s = SimulationOf(simulation);
  if (s == nullptr) throw py::type_error("calibrate() grows from a towngrow.Simulation");
  if (observed.empty()) throw py::value_error("observed: give {steps: map, ...} (one or more)");
  if (!py::isinstance<py::list>(space) && !py::isinstance<py::tuple>(space))
    throw py::type_error("space must be a list of dicts ({\"id\", \"field\", \"values\"})");
  jobs::CalibrateOptions o;
  o.runs = runs;
  o.town.seed = SeedArgument(seed, "seed");
  o.seedStep = SeedArgument(seedStep, "seed_step");
  o.method = jobs::MethodNamed(method);
  o.rounds = rounds;
  o.keep = keep;
  o.lattice = lattice;
  o.samples = samples;
  o.trajectories = trajectories;
  o.levels = levels;
  o.evaluations = evaluations;
  o.population = population;
  o.maxPoints = maxPoints;
  o.majorityRuns = majorityRuns;
  o.runaway = runaway;
  o.objective = objective;
  o.threads = threads;
  ScenarioArguments(schedule, suitability, o.town);
  o.horizon = horizon;
  o.holdAges = holdAges;
  if (!validate.is_none() && !py::isinstance<py::dict>(validate))
    throw py::type_error("validate must be a dict {steps: map}");
  if (!classes.is_none() && !py::isinstance<py::dict>(classes))
    throw py::type_error("classes must be a dict (as a class file holds it)");

  Use use(*s, "calibrate from", false);
  jobs::CalibrationInputs in;
  in.repeatable = false;
  const CLandUseCoverage& start = s->State();
  CopyState(start, in.start);
  in.setup.rows = start.m_nRows;  // the best point's ensembles grow on this grid
  in.setup.cols = start.m_nCols;
  in.setup.geo = s->geo;
  in.hasBackground = s->background != nullptr;
  if (in.hasBackground) CopyState(*s->background, in.background);
  in.controls = MapsByStep(observed, "observed", *s, start);
  if (!validate.is_none()) in.held = MapsByStep(validate.cast<py::dict>(), "validate", *s, start);
  io::TownOptions scenario = o.town;  // through the last control or held-out map
  scenario.steps = 0;
  for (const auto* maps : {&in.controls, &in.held})
    for (const jobs::ControlMapFile& c : *maps) scenario.steps = std::max(scenario.steps, c.steps);
  in.scenario = LoadScenarioFiles(scenario, in.setup);
  try {
    in.space = io::ReadSpace(JsonOf(space, "space"), "space", *s->set, in.entries);
    in.scheme = classes.is_none() ? DefaultClasses(*s->set)
                                  : io::ReadClasses(JsonOf(classes, "classes"), "classes");
    if (!classes.is_none()) o.classes = "classes";  // the database records the scheme
    in.baseParams = io::SetToJson(*s->set);
    jobs::FinishCalibrationInputs(o, in);
  } catch (const io::Error& e) {
    throw py::value_error(e.what());
  }
  // With a folder: its database (refused when made for other inputs; the
  // points it holds are not run again) and, at the end, the command's files.
  std::unique_ptr<io::OutputFolder> folder;
  std::unique_ptr<store::CalibrationStore> store;
  if (!out.is_none()) {
    folder = std::make_unique<io::OutputFolder>(py::str(out).cast<std::string>());
    try {
      store = jobs::OpenCalibrationStore(o, in, *folder, false);
    } catch (const io::Error& e) {
      throw py::value_error(e.what());
    }
  }

  // Progress (and Ctrl-C) between points, with the GIL; an exception from
  // it stops the search (the database keeps the points finished so far).
  long done = 0, total = 0;
  jobs::CalibrateHooks hooks;
  hooks.progress = [&](const jobs::ProgressReport& r) {
    if (r.done == 0) {
      total += r.total;
      return;
    }
    ++done;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (!progress.is_none()) progress(done, total);
  };
  MessageErrors errors;
  SearchResult result;
  {
    py::gil_scoped_release release;
    result = jobs::Calibrate(in, store.get(), hooks);
    store.reset();
    if (folder) jobs::FinishCalibration(in, o, result, *folder);
  }
  errors.Rethrow();

  const SearchSpace& searched = in.space;
  py::list ranking;
  for (std::size_t i = 0; i < result.ranking.size(); ++i) {
    const PointResult& r = result.ranking[i];
    py::dict d;
    d["rank"] = i + 1;
    d["point"] = r.key;
    for (std::size_t k = 0; k < searched.size(); ++k) {
      const double v = r.point.values[k];
      d[py::str(searched[k].name)] = searched[k].integer
                                         ? py::object(py::int_(static_cast<long long>(v)))
                                         : py::object(py::float_(v));
    }
    d["objective"] = ScalarOf(r.objective);
    d["quantity"] = ScalarOf(r.quantity);
    d["round"] = r.round;
    const std::vector<std::string>& measures = in.evaluator->Measures();
    for (std::size_t c = 0; c < in.controls.size(); ++c) {
      const std::string at = " step " + std::to_string(in.controls[c].steps);
      for (std::size_t m = 0; m < measures.size(); ++m) {
        const RunStatistic& stat = r.stats[c][m];
        d[py::str(measures[m] + at + " mean")] = ScalarOf(stat.mean);
        d[py::str(measures[m] + at + " sd")] = ScalarOf(stat.sd);
      }
    }
    d["stopped runs"] = r.stoppedRuns;
    d["stopped at step"] = r.stoppedRuns > 0 ? py::object(py::int_(r.stoppedStep)) : py::none();
    ranking.append(d);
  }
  return ranking;
}

// The default of a calibration's option, as its table gives it.
template <class T>
T Default(const std::string& stem) {
  return OptionDefault<T>(jobs::CalibrateTable, stem);
}

}  // namespace

void BindCalibrate(py::module_& m) {
  m.def(
      "calibrate", &Calibrate, py::arg("simulation"), py::arg("observed"), py::arg("space"),
      py::kw_only(), py::arg("runs") = Default<int>("runs"),
      py::arg("seed") = Default<unsigned int>("seed"),
      py::arg("seed_step") = Default<unsigned int>("seed-step"),
      py::arg("method") = jobs::MethodName(Default<jobs::CalibrationMethod>("method")),
      py::arg("rounds") = Default<int>("rounds"), py::arg("keep") = Default<int>("keep"),
      py::arg("lattice") = Default<int>("lattice"), py::arg("samples") = Default<int>("samples"),
      py::arg("trajectories") = Default<int>("trajectories"),
      py::arg("levels") = Default<int>("levels"),
      py::arg("evaluations") = Default<long>("evaluations"),
      py::arg("population") = Default<int>("population"),
      py::arg("max_points") = Default<double>("max-points"),
      py::arg("majority_runs") = Default<int>("majority-runs"),
      py::arg("runaway") = Default<double>("runaway"),
      py::arg("objective") = Default<std::string>("objective"), py::arg("classes") = py::none(),
      py::arg("validate") = py::none(), py::arg("schedule") = py::none(),
      py::arg("suitability") = py::none(), py::arg("horizon") = Default<long>("horizon"),
      py::arg("hold_ages") = Default<bool>("hold-ages"), py::arg("out") = py::none(),
      py::arg("threads") = Default<int>("threads"), py::arg("progress") = py::none(),
      R"doc(Searches land-use parameter values whose runs come closest to observed maps, as ``towngrow calibrate``.

``simulation`` gives the start (its current state, parameters and
background; it is left as it is). ``observed`` maps steps after the start to
the map observed then: ``{20: "town-2010.tif", 40: array, ...}`` (arrays,
Simulations or file names of the start's size). ``space`` lists the searched
parameters as the program's space file does:
``[{"id": 3, "field": "activeAge", "values": [5, 10, 20]},
{"id": 5, "field": "housePercent", "min": 10, "max": 40, "step": 10}]``
(fields as :func:`default_params` names them; ``"directionProb[2]"`` for a
list entry).

Each point is run ``runs`` times (run i seeded ``seed + i * seed_step``, as
:func:`ensemble` seeds it) and compared with every control map; the
``objective`` (a measure name, a product ``"fom.developed*ksim"`` or a
weighted mean ``"0.6*fom.developed+0.4*leesallee"``) ranks the points.
``method``: ``"grid"`` (every combination), ``"refine"`` (then ``rounds - 1``
finer lattices of ``lattice`` values around the best ``keep`` points),
``"lhs"`` (a Latin hypercube of ``samples`` points drawn from ``seed``, then
refined), ``"morris"`` (screening: ``trajectories`` elementary-effects
trajectories over ``levels`` levels), ``"cmaes"`` (CMA-ES, generations of
``population`` points) or ``"nsga2"`` (a front of quantity against
allocation disagreement); the last two need ``evaluations``, the budget of
distinct points (a budget for the others too). A search any of whose rounds
could hold more than ``max_points`` points is refused before it starts.
``classes`` is a class scheme as a dict (as the program's class file holds
it); ``validate`` maps steps to held-out maps, scored apart and never
fitted; ``schedule`` and ``suitability`` (file names) are read as
``--schedule`` and ``--suitability`` read them, for the start's grid;
``horizon`` and ``hold_ages`` are ``--horizon`` and ``--hold-ages``. A run
that grows past ``runaway`` times the developed cells of the next control map
stops there and its point scores as the worst (undefined objective, ranked
last; 0 turns it off). The runs go to ``threads`` worker threads (0: one per core) without
the GIL; the ranking never depends on them. ``progress(done, total)`` is
called after each point; an exception from it (or Ctrl-C, as
``KeyboardInterrupt``) stops the search.

With ``out`` (a folder), the files of ``towngrow calibrate`` are written
there (ranking.csv, rounds.csv, best.json, report.html, validation.csv,
sensitivity.csv, pareto.csv, best/step-N/ with majority.json: the measures
of the map of cells in a class in at least half of ``majority_runs`` fresh
runs), without a command line that repeats the work; its database
``calibration.sqlite`` keeps every finished point as it finishes, so a call
stopped by Ctrl-C or an exception keeps them, and a second call with the
same inputs goes on from them (one with other inputs is refused).

Returns the ranking, best first, as a list of dicts (one row of the
program's ``ranking.csv`` each; ``pandas.DataFrame(ranking)`` makes the
table): ``rank``, ``point`` (its key), one entry per parameter
(``"id3.activeAge"``), ``objective``, ``quantity``, ``round``, and
``"<measure> step <N> mean"`` / ``"... sd"`` for fom.developed,
producers.developed, users.developed, ksim, leesallee, quantity and
allocation at each control map (``None`` where undefined), then
``"stopped runs"`` and ``"stopped at step"`` (the runaway bound's; ``None``
when none stopped). Bad input raises
``ValueError`` naming it, unreadable maps ``OSError``.)doc");
}

}  // namespace towngrow::python
