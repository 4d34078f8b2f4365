// towngrow.ensemble: `towngrow ensemble` through the layer's job
// (jobs/ensemble.h), from a Simulation's state.
#include <cstring>
#include <string>

#include "io/result_text.h"
#include "jobs/ensemble.h"
#include "jobs/grow.h"
#include "module.h"
#include "params/params_json.h"

namespace towngrow::python {
namespace {

void CopyCoverage(const CLandUseCoverage& from, CLandUseCoverage& to, CLandUseSet& set) {
  if (!to.InitCoverage(from.m_nRows, from.m_nCols, 0)) throw std::bad_alloc();
  to.CopyValueFromCoverage(&from);
  to.m_pLandUseSet = &set;
}

// The ensemble's town from the simulation: its parameters, state,
// background and where its maps lie. The record names the start "given in
// memory" and has no command line that repeats it.
void FillTown(const PySimulation& s, jobs::EnsembleTown& t) {
  io::ApplyParams(io::SetToJson(*s.set), "params", t.setup.set);
  const CLandUseCoverage& state = s.State();
  t.setup.rows = state.m_nRows;
  t.setup.cols = state.m_nCols;
  t.setup.geo = s.geo;
  t.setup.fromFile = s.mapLoaded;
  CopyCoverage(state, t.start, t.setup.set);
  t.hasBackground = s.background != nullptr;
  if (t.hasBackground) CopyCoverage(*s.background, t.background, t.setup.set);
  t.repeatable = false;
}

// A map as comparison.json names it.
std::string NameOf(const MapInfo& map) {
  return map.path.empty() ? "given in memory" : io::AbsolutePath(map.path);
}

// The comparison with the observed map, in the classes given.
void CompareWithObserved(jobs::EnsembleTown& t, const py::object& observed,
                         const py::object& startOfChange, const py::object& classes, int runs) {
  const int rows = t.setup.rows, cols = t.setup.cols;
  const MapInfo seen =
      MapOfSize(observed, "observed", rows, cols, "the start", t.setup.set, t.observed);
  MapInfo change;
  if (!startOfChange.is_none())
    change = MapOfSize(startOfChange, "start_of_change", rows, cols, "the start", t.setup.set,
                       t.startOfChange);
  ClassScheme scheme = classes.is_none() ? DefaultClasses(t.setup.set) : ClassesArgument(classes);
  jobs::CompareEnsembleWith(t, NameOf(seen), startOfChange.is_none() ? nullptr : &t.startOfChange,
                            startOfChange.is_none() ? "" : NameOf(change), std::move(scheme), runs);
}

py::object ScalarOf(const Scalar& v) {
  return v.value ? py::object(py::float_(*v.value)) : py::object(py::none());
}

py::dict ResultDict(const jobs::EnsembleTown& t, const EnsembleResult& result) {
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
  for (py::ssize_t step = 0; step < rows; ++step) {
    std::memcpy(mean.mutable_data(step, 0), result.meanPerStep[step].data(), 256 * sizeof(double));
    std::memcpy(stddev.mutable_data(step, 0), result.stddevPerStep[step].data(),
                256 * sizeof(double));
  }
  py::dict d;
  d["runs"] = result.runs;
  d["steps"] = result.steps;
  d["probability"] = probability;
  d["mean"] = mean;
  d["std"] = stddev;
  if (t.comparison) {
    const jobs::EnsembleComparison& c = *t.comparison;
    py::dict measures;
    for (std::size_t k = 0; k < c.Names().size(); ++k) {
      const RunStatistic& st = c.Statistics()[k];
      py::dict entry;
      entry["mean"] = ScalarOf(st.mean);
      entry["sd"] = ScalarOf(st.sd);
      entry["runs"] = st.defined;
      measures[py::str(c.Names()[k])] = entry;
    }
    py::dict comparison;
    comparison["measures"] = measures;
    comparison["auc"] = ScalarOf(c.Score().auc);
    d["comparison"] = comparison;
  }
  return d;
}

py::dict Ensemble(const py::object& simulation, long steps, int runs, const py::int_& seed,
                  const py::int_& seedStep, int threads, const py::object& progress,
                  const py::object& observed, const py::object& startOfChange,
                  const py::object& classes, const py::object& schedule,
                  const py::object& suitability, const py::object& out) {
  PySimulation* s = SimulationOf(simulation);
  if (s == nullptr) throw py::type_error("ensemble() grows from a towngrow.Simulation");
  jobs::EnsembleOptions o;
  o.town.start = "";  // the simulation's state
  o.town.steps = steps;
  o.town.seed = SeedArgument(seed, "seed");
  o.seedStep = SeedArgument(seedStep, "seed_step");
  o.runs = runs;
  o.threads = threads;
  ScenarioArguments(schedule, suitability, o.town);
  jobs::CheckEnsembleOptions(o);
  if (observed.is_none() && !startOfChange.is_none())
    throw py::value_error("start_of_change needs observed");
  if (observed.is_none() && !classes.is_none()) throw py::value_error("classes needs observed");

  Use use(*s, "run an ensemble from", false);
  jobs::EnsembleTown town;
  FillTown(*s, town);
  town.scenario = LoadScenarioFiles(o.town, town.setup);
  if (!observed.is_none()) CompareWithObserved(town, observed, startOfChange, classes, runs);

  std::unique_ptr<io::OutputFolder> folder = OutFolder(out);
  jobs::EnsembleOutcome outcome;
  JobCall job(progress);
  job.Run([&]() {
    if (folder) folder->Make();  // a folder that cannot be made is refused before the runs
    outcome = jobs::GrowEnsemble(town, o, job.Progress(), jobs::ThisProcessAlone());
    if (!folder) return;
    jobs::WriteEnsembleOutputs(town, outcome, o, *folder);
    folder->Publish();
  });
  py::dict d = ResultDict(town, outcome.result);
  d["out"] = OutValue(folder.get());
  return d;
}

const char* const kEnsembleDoc =
    R"doc(Grows the simulation's current state ``runs`` times and sums up where each land use ended, as ``towngrow ensemble``.

Run i (from 0) is exactly ``seed(seed + i * seed_step)`` and ``run(steps)`` on a
copy of ``simulation`` (its state, parameters and background), as
``towngrow ensemble`` runs it; ``simulation`` itself is left as it is. The runs
go to ``threads`` worker threads (0: one per core) without the GIL; the
results never depend on the number of threads. ``progress(done, runs)`` is
called after each finished run; an exception from it (or Ctrl-C) stops the
ensemble, writes nothing and is raised.

``observed`` (an array of IDs, a :class:`Simulation` or a map file, of the
start's size) compares every run's end state with it, as ``--observed`` does:
the change measures from ``start_of_change`` (a map of the same kinds;
default: the simulation's state), in the classes of ``classes`` (a dict in
the layout of :func:`compare`'s, or a class file; default: the land uses'
classes). ``schedule`` and ``suitability`` (file names) are read as
``--schedule`` and ``--suitability`` read them, for the simulation's grid.

With ``out`` (a folder, made if missing) the command's files are written
there, all together once every run is done: the maps per class
(``<class>.asc``, ``.tif``, ``.png``), ``ensemble.csv``, ``ensemble.png``,
with ``observed`` ``comparison.json`` and ``comparison.csv``, and
``ensemble.json`` and ``report.html``, whose record names the start (and a
background) "given in memory" and has no command line that repeats it. The
maps and tables are those of ``towngrow ensemble`` from the same start,
byte for byte; observed maps given as files are named by their absolute
paths, others "given in memory".

Returns a dict: ``runs``, ``steps``; ``probability``, a dict of float arrays
(rows, cols) per class (``housing``, ``industry``, ``commerce``, ``street``,
``developed``): the share of runs that ended with the cell in the class; the
per-step table ``mean`` and ``std``, arrays (steps + 1, 256) of the mean
and sample standard deviation over runs of the cells holding each ID (row 0
is the start); ``out``, the folder or ``None``; with ``observed``,
``comparison``: ``{"measures": {name: {"mean", "sd", "runs"}}, "auc"}``, per
measure of :func:`compare` its mean and sample deviation over the runs where
it is defined (``None`` where none is) and that number of runs, and the ROC
AUC of the probability of developed against the observed developed cells.
Bad arguments raise ``ValueError`` naming them, refused files ``OSError``.)doc";

}  // namespace

void BindEnsemble(py::module_& m) {
  m.def("ensemble", &Ensemble, py::arg("simulation"), py::arg("steps"), py::arg("runs"),
        py::kw_only(), py::arg("seed") = OptionDefault<unsigned int>(jobs::EnsembleTable, "seed"),
        py::arg("seed_step") = OptionDefault<unsigned int>(jobs::EnsembleTable, "seed-step"),
        py::arg("threads") = OptionDefault<int>(jobs::EnsembleTable, "threads"),
        py::arg("progress") = py::none(), py::arg("observed") = py::none(),
        py::arg("start_of_change") = py::none(), py::arg("classes") = py::none(),
        py::arg("schedule") = py::none(), py::arg("suitability") = py::none(),
        py::arg("out") = py::none(), kEnsembleDoc);
}

}  // namespace towngrow::python
