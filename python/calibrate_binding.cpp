// towngrow.calibrate: the search of towngrow calibrate over a Simulation's
// start, with control maps and a space given as Python values.
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/params_json.h"
#include "jobs/calibrate_command.h"
#include "module.h"

namespace towngrow::python {
namespace {

// The space, checked by the program's reader (through a scratch file, so
// that the checks and messages are the program's, with "space" for its name).
SearchSpace SpaceOf(const py::object& space, const CLandUseSet& set,
                    std::vector<jobs::SpaceEntry>& entries) {
  if (!py::isinstance<py::list>(space) && !py::isinstance<py::tuple>(space))
    throw py::type_error("space must be a list of dicts ({\"id\", \"field\", \"values\"})");
  const std::string text = py::module_::import("json").attr("dumps")(space).cast<std::string>();
  io::ScratchDir scratch;
  const std::string path = scratch.Path() + "/space";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write a scratch file in /tmp");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  try {
    SearchSpace out = jobs::ReadSpace(path, set, entries);
    CheckSpace(out);
    return out;
  } catch (const io::AppError& e) {
    std::string what = e.what();
    if (what.compare(0, path.size(), path) == 0) what = "space" + what.substr(path.size());
    throw py::value_error(what);
  } catch (const std::invalid_argument& e) {
    throw py::value_error(std::string("space: ") + e.what());
  }
}

SearchMethod MethodOf(const std::string& name) {
  if (name == "grid") return SearchMethod::Grid;
  if (name == "refine") return SearchMethod::Refine;
  if (name == "lhs") return SearchMethod::Lhs;
  throw py::value_error("method " + name + ": not one of grid, refine, lhs");
}

py::object ScalarOf(const Scalar& s) {
  return s.value ? py::object(py::float_(*s.value)) : py::none();
}

py::list Calibrate(const py::object& simulation, const py::dict& observed, const py::object& space,
                   int runs, const py::int_& seed, const py::int_& seedStep,
                   const std::string& method, int rounds, int keep, int lattice, int samples,
                   const std::string& objectiveText, int threads, const py::object& progress) {
  PySimulation* s = SimulationOf(simulation);
  if (s == nullptr) throw py::type_error("calibrate() grows from a towngrow.Simulation");
  if (runs < 1 || runs > 65535)
    throw py::value_error("runs must be from 1 to 65535, got " + std::to_string(runs));
  if (threads < 0) throw py::value_error("threads must be 0 or more");
  if (observed.empty()) throw py::value_error("observed: give {steps: map, ...} (one or more)");
  SearchSettings settings;
  settings.method = MethodOf(method);
  settings.rounds = rounds;
  settings.keep = keep;
  settings.lattice = lattice;
  settings.samples = samples;
  const unsigned int baseSeed = SeedArgument(seed, "seed");
  settings.seed = baseSeed;
  try {
    CheckSettings(settings);
  } catch (const std::invalid_argument& e) {
    throw py::value_error(std::string("search settings: ") + e.what());
  }
  Objective objective;
  try {
    objective = Objective::Parse(objectiveText);
  } catch (const std::invalid_argument& e) {
    throw py::value_error("objective " + objectiveText + ": " + e.what());
  }

  Use use(*s, "calibrate from", false);
  const CLandUseCoverage& start = s->State();
  // The control maps, by steps after the start.
  std::map<long, MapData> controls;
  for (auto item : observed) {
    const long steps = item.first.cast<long>();
    if (steps < 1 || steps > 100000000)
      throw py::value_error("observed: the steps must be from 1 to 100000000, got " +
                            std::to_string(steps));
    MapData& map = controls[steps];
    MapArgument(item.second, "observed", *s->set, map);
    if (map.rows != start.m_nRows || map.cols != start.m_nCols)
      throw py::value_error("observed[" + std::to_string(steps) + "]: the map has " +
                            std::to_string(map.rows) + " x " + std::to_string(map.cols) +
                            " cells, the start " + std::to_string(start.m_nRows) + " x " +
                            std::to_string(start.m_nCols));
  }
  std::vector<jobs::SpaceEntry> entries;
  const SearchSpace searched = SpaceOf(space, *s->set, entries);
  try {
    FirstRound(searched, settings);  // refuses a round too large to hold
  } catch (const std::invalid_argument& e) {
    throw py::value_error(std::string("space: ") + e.what());
  }

  const io::Json baseParams = io::SetToJson(*s->set);
  CalibrationModel model;
  model.start = &start;
  model.background = s->background.get();
  for (const auto& c : controls) model.controls.push_back({c.second.View(), c.first});
  model.scheme = DefaultClasses(*s->set);
  model.measures = {"fom.developed", "producers.developed", "users.developed", "ksim", "leesallee",
                    "quantity",      "allocation"};
  model.runs = runs;
  model.baseSeed = baseSeed;
  model.seedStep = SeedArgument(seedStep, "seed_step");
  model.objective = objective;
  model.makeSet = [&baseParams, &entries](const Point& p) {
    auto set = std::make_unique<CLandUseSet>();
    io::ApplyParams(baseParams, "parameters", *set);
    for (std::size_t d = 0; d < entries.size(); ++d) {
      const int index = set->GetIDIndex(static_cast<unsigned char>(entries[d].id));
      io::SetNumberField(*static_cast<CLandUse*>(set->m_LandUseArray.GetAt(index)),
                         entries[d].field, p.values[d]);
    }
    return set;
  };
  std::unique_ptr<PointEvaluator> evaluator;
  try {
    evaluator = std::make_unique<PointEvaluator>(model, threads);
  } catch (const std::invalid_argument& e) {
    throw py::value_error("objective " + objectiveText + ": " + e.what());
  }

  // Progress (and Ctrl-C) between points, with the GIL; an exception from
  // it stops the search.
  std::size_t done = 0, total = 0;
  SearchHooks hooks;
  hooks.evaluate = [&](const std::vector<Point>& points, int round,
                       const std::function<void(std::size_t, PointResult &&)>& finished) {
    evaluator->Evaluate(points, searched, round, finished);
  };
  hooks.roundBegins = [&](int, std::size_t points, std::size_t known) { total += points - known; };
  hooks.finished = [&](const PointResult&) {
    ++done;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (!progress.is_none()) progress(done, total);
  };
  MessageErrors errors;
  SearchResult result;
  {
    py::gil_scoped_release release;
    result = Search(searched, settings, hooks);
  }
  errors.Rethrow();

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
    std::size_t c = 0;
    for (const auto& control : controls) {
      const std::string at = " step " + std::to_string(control.first);
      for (std::size_t m = 0; m < evaluator->Measures().size(); ++m) {
        const RunStatistic& stat = r.stats[c][m];
        d[py::str(evaluator->Measures()[m] + at + " mean")] = ScalarOf(stat.mean);
        d[py::str(evaluator->Measures()[m] + at + " sd")] = ScalarOf(stat.sd);
      }
      ++c;
    }
    ranking.append(d);
  }
  return ranking;
}

}  // namespace

void BindCalibrate(py::module_& m) {
  m.def(
      "calibrate", &Calibrate, py::arg("simulation"), py::arg("observed"), py::arg("space"),
      py::kw_only(), py::arg("runs") = 4, py::arg("seed") = 1, py::arg("seed_step") = 1,
      py::arg("method") = "grid", py::arg("rounds") = 3, py::arg("keep") = 3,
      py::arg("lattice") = 5, py::arg("samples") = 100, py::arg("objective") = "fom.developed",
      py::arg("threads") = 0, py::arg("progress") = py::none(),
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
finer lattices of ``lattice`` values around the best ``keep`` points) or
``"lhs"`` (a Latin hypercube of ``samples`` points drawn from ``seed``, then
refined). The runs go to ``threads`` worker threads (0: one per core)
without the GIL; the ranking never depends on them. ``progress(done,
total)`` is called after each point; an exception from it (or Ctrl-C)
stops the search.

Returns the ranking, best first, as a list of dicts (one row of the
program's ``ranking.csv`` each; ``pandas.DataFrame(ranking)`` makes the
table): ``rank``, ``point`` (its key), one entry per parameter
(``"id3.activeAge"``), ``objective``, ``quantity``, ``round``, and
``"<measure> step <N> mean"`` / ``"... sd"`` for fom.developed,
producers.developed, users.developed, ksim, leesallee, quantity and
allocation at each control map (``None`` where undefined). Bad input raises
``ValueError`` naming it, unreadable maps ``OSError``.)doc");
}

}  // namespace towngrow::python
