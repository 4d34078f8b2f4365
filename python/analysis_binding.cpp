// Ensembles and map comparison.
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/class_file.h"
#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/params_json.h"
#include "module.h"

namespace towngrow::python {
namespace {

// Thrown by a run's set maker once the progress callback has raised.
struct Cancelled : std::exception {};

py::dict Ensemble(const py::object& simulation, long steps, int runs, const py::int_& seed,
                  const py::int_& seedStep, int threads, const py::object& progress) {
  PySimulation* s = SimulationOf(simulation);
  if (s == nullptr) throw py::type_error("ensemble() grows from a towngrow.Simulation");
  Use use(*s, "run an ensemble from", false);
  EnsembleConfig config;
  config.start = &s->State();
  config.background = s->background.get();
  config.steps = steps;
  config.baseSeed = SeedArgument(seed, "seed");
  config.seedStep = SeedArgument(seedStep, "seed_step");
  config.runs = runs;
  config.threads = threads;
  const CLandUseSet& params = *s->set;
  std::atomic<bool> cancelled{false};
  config.makeSet = [&params, &cancelled]() {
    if (cancelled.load()) throw Cancelled();
    return CopyLandUseSet(params);
  };
  std::unique_ptr<py::error_already_set> raised;
  EnsembleProgress onProgress = [&](int done) {
    py::gil_scoped_acquire gil;
    if (raised) return;
    try {
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (!progress.is_none()) progress(done, runs);
    } catch (py::error_already_set& e) {
      raised = std::make_unique<py::error_already_set>(std::move(e));
      cancelled = true;
    }
  };

  MessageErrors errors;
  EnsembleResult result;
  bool stopped = false;
  {
    py::gil_scoped_release release;
    try {
      result = RunEnsemble(config, onProgress);
    } catch (const Cancelled&) {
      stopped = true;
    }
  }
  if (raised) {
    raised->restore();
    throw py::error_already_set();
  }
  if (stopped) throw std::runtime_error("the ensemble was stopped");
  errors.Rethrow();

  py::dict probability;
  const std::size_t cells = static_cast<std::size_t>(result.rows) * result.cols;
  for (std::size_t k = 0; k < result.classNames.size(); ++k) {
    py::array_t<double> p({result.rows, result.cols});
    double* out = p.mutable_data();
    const std::uint16_t* count = result.cellCounts[k].data();
    for (std::size_t i = 0; i < cells; ++i) out[i] = static_cast<double>(count[i]) / result.runs;
    probability[py::str(result.classNames[k])] = p;
  }
  const py::ssize_t rows = static_cast<py::ssize_t>(result.meanPerStep.size());
  py::array_t<double> mean({rows, py::ssize_t{256}}), stddev({rows, py::ssize_t{256}});
  for (py::ssize_t t = 0; t < rows; ++t) {
    std::memcpy(mean.mutable_data(t, 0), result.meanPerStep[t].data(), 256 * sizeof(double));
    std::memcpy(stddev.mutable_data(t, 0), result.stddevPerStep[t].data(), 256 * sizeof(double));
  }
  py::dict d;
  d["runs"] = result.runs;
  d["steps"] = result.steps;
  d["probability"] = probability;
  d["mean"] = mean;
  d["std"] = stddev;
  return d;
}

// A class dict ({"classes": [...]}) through the layer's class reader.
ClassScheme SchemeOf(const py::object& classes) {
  try {
    return io::ReadClasses(JsonOf(classes, "classes"), "classes");
  } catch (const io::Error& e) {
    throw py::value_error(e.what());
  }
}

py::dict CompareMaps(const py::object& observed, const py::object& simulated,
                     const py::object& start, const py::object& params, const py::object& classes,
                     bool fuzzy, double halving, double radius) {
  CLandUseSet set;
  if (!params.is_none()) {
    ApplyPythonParams(params, set);
  } else if (PySimulation* s = SimulationOf(simulated)) {
    ApplyPythonParams(SetToPython(*s->set), set);
  }
  const ClassScheme scheme = classes.is_none() ? DefaultClasses(set) : SchemeOf(classes);
  MapData maps[3];
  MapArgument(observed, "observed", set, maps[0]);
  MapArgument(simulated, "simulated", set, maps[1]);
  const bool hasStart = !start.is_none();
  if (hasStart) MapArgument(start, "start", set, maps[2]);
  for (int k = 1; k < (hasStart ? 3 : 2); ++k)
    if (maps[k].rows != maps[0].rows || maps[k].cols != maps[0].cols)
      throw py::value_error(std::string(k == 1 ? "simulated" : "start") + ": the map has " +
                            std::to_string(maps[k].rows) + " x " + std::to_string(maps[k].cols) +
                            " cells, the observed map " + std::to_string(maps[0].rows) + " x " +
                            std::to_string(maps[0].cols));
  CompareOptions options;
  options.fuzzy = fuzzy;
  options.halvingDistance = halving;
  options.radius = radius;
  ComparisonResult result;
  {
    py::gil_scoped_release release;
    const RasterView startView = maps[2].View();
    result =
        Compare(maps[0].View(), maps[1].View(), hasStart ? &startView : nullptr, scheme, options);
  }
  py::dict d;
  for (const std::string& name : MeasureNames(scheme, hasStart, maps[0].rows, maps[0].cols)) {
    const Scalar v = MeasureValue(result, scheme, name);
    d[py::str(name)] = v.value ? py::object(py::float_(*v.value)) : py::object(py::none());
  }
  return d;
}

}  // namespace

unsigned int SeedArgument(const py::int_& value, const char* what) {
  const long long v = value.cast<long long>();
  if (v < 0 || v > 4294967295LL)
    throw py::value_error(std::string(what) + " must be 0 to 4294967295, got " + std::to_string(v));
  return static_cast<unsigned int>(v);
}

void BindAnalysis(py::module_& m) {
  m.def(
      "ensemble", &Ensemble, py::arg("simulation"), py::arg("steps"), py::arg("runs"),
      py::kw_only(), py::arg("seed") = 1, py::arg("seed_step") = 1, py::arg("threads") = 0,
      py::arg("progress") = py::none(),
      R"doc(Grows the simulation's current state ``runs`` times and sums up where each land use ended.

Run i (from 0) is exactly ``seed(seed + i * seed_step)`` and ``run(steps)`` on a
copy of ``simulation`` (its state, parameters and background), as
``towngrow ensemble`` runs it; ``simulation`` itself is left as it is. The runs
go to ``threads`` worker threads (0: one per core) without the GIL; the
results never depend on the number of threads. ``progress(done, runs)`` is
called after each finished run; an exception from it (or Ctrl-C) stops the
ensemble.

Returns a dict: ``runs``, ``steps``; ``probability``, a dict of float arrays
(rows, cols) per class (``housing``, ``industry``, ``commerce``, ``street``,
``developed``): the share of runs that ended with the cell in the class; and
the per-step table ``mean`` and ``std``, arrays (steps + 1, 256) of the mean
and sample standard deviation over runs of the cells holding each ID (row 0
is the start).)doc");

  m.def("compare", &CompareMaps, py::arg("observed"), py::arg("simulated"),
        py::arg("start") = py::none(), py::kw_only(), py::arg("params") = py::none(),
        py::arg("classes") = py::none(), py::arg("fuzzy") = true, py::arg("halving") = 2.0,
        py::arg("radius") = 4.0,
        R"doc(Every measure of a simulated map against an observed one, as ``towngrow compare``.

Maps are 2-D integer arrays of IDs, :class:`Simulation` objects (their current
state) or map file names, all of one size. ``start``, the map where the change
began, adds the change measures (hits, misses, Figure of Merit, KSim, ...).

Classes: vacant, street, housing, industry, commerce, others by the
categories of the land uses of ``params`` (default: the simulated
Simulation's, else the default roster), or ``classes``, a dict
``{"classes": [{"name": "urban", "ids": [1, 2, 3, 5], "developed": True}, ...]}``.
``fuzzy``, ``halving`` and ``radius`` set the fuzzy kappa (off, or its
halving distance and radius in cells).

Returns a dict of every measure by name (``agreement``, ``kappa``,
``quantity``, ``allocation``, ``fom.developed``, ``ksim``, ``fuzzykappa``,
``allocation@4``, ``patches.housing``, ...), ``None`` where a measure is
undefined (its formula would divide by zero) or not computed. Bad maps and
options raise ``ValueError``, unreadable files ``OSError``.)doc");
}

}  // namespace towngrow::python
