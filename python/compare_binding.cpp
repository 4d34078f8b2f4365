// towngrow.compare: `towngrow compare` through the layer's job
// (jobs/compare.h), with maps as arrays, Simulations or files.
#include <string>

#include "io/result_text.h"
#include "jobs/compare.h"
#include "module.h"

namespace towngrow::python {
namespace {

py::dict CompareMapsOf(const py::object& observed, const py::object& simulated,
                       const py::object& start, const py::object& params, const py::object& classes,
                       bool fuzzy, double halving, double radius, const py::object& out) {
  jobs::MapComparisonOptions o;
  o.fuzzy = fuzzy;
  o.halvingDistance = halving;
  o.radius = radius;
  jobs::CheckComparisonOptions(o);
  // The land uses: of `params`, else of the simulated Simulation, else the
  // default roster.
  CLandUseSet set;
  bool repeatable = true;
  if (!params.is_none()) {
    ApplyPythonParams(params, set);
    repeatable = IsPath(params);
    if (repeatable) o.params = PathArgument(params);
  } else if (PySimulation* s = SimulationOf(simulated)) {
    ApplyPythonParams(SetToPython(*s->set), set);
  }
  jobs::MapComparison m;
  m.scheme = classes.is_none() ? DefaultClasses(set) : ClassesArgument(classes);
  if (!classes.is_none()) {
    repeatable = repeatable && IsPath(classes);
    if (IsPath(classes)) o.classes = PathArgument(classes);
  }
  m.hasStart = !start.is_none();
  const py::object* args[3] = {&observed, &simulated, &start};
  const char* what[3] = {"observed", "simulated", "start"};
  std::string* files[3] = {&o.observed, &o.simulated, &o.start};
  MapInfo maps[3];
  for (int i = 0; i < (m.hasStart ? 3 : 2); ++i) {
    maps[i] = i == 0 ? MapArgument(*args[i], what[i], set, m.maps[i])
                     : MapOfSize(*args[i], what[i], maps[0].rows, maps[0].cols, "the observed map",
                                 set, m.maps[i]);
    m.views[i] = ViewOf(m.maps[i], maps[i].rows, maps[i].cols);
    m.names[i] = maps[i].path.empty() ? "given in memory" : io::AbsolutePath(maps[i].path);
    m.shown[i] = maps[i].kind;
    *files[i] = maps[i].path;
    repeatable = repeatable && !maps[i].path.empty();
  }
  m.geo = maps[0].geo;
  m.repeatable = repeatable;

  std::unique_ptr<io::OutputFolder> folder = OutFolder(out);
  JobCall job{py::none()};
  job.Run([&]() {
    jobs::CompareMaps(m, o, {});
    if (!folder) return;
    jobs::WriteComparisonOutputs(m, o, *folder);
    folder->Publish();
  });
  py::dict d;
  for (const std::string& name :
       MeasureNames(m.scheme, m.result.hasChange, maps[0].rows, maps[0].cols)) {
    const Scalar v = MeasureValue(m.result, m.scheme, name);
    d[py::str(name)] = v.value ? py::object(py::float_(*v.value)) : py::object(py::none());
  }
  return d;
}

}  // namespace

void BindCompare(py::module_& m) {
  m.def("compare", &CompareMapsOf, py::arg("observed"), py::arg("simulated"),
        py::arg("start") = py::none(), py::kw_only(), py::arg("params") = py::none(),
        py::arg("classes") = py::none(),
        py::arg("fuzzy") = OptionDefault<bool>(jobs::CompareTable, "no-fuzzy"),
        py::arg("halving") = OptionDefault<double>(jobs::CompareTable, "halving"),
        py::arg("radius") = OptionDefault<double>(jobs::CompareTable, "radius"),
        py::arg("out") = py::none(),
        R"doc(Every measure of a simulated map against an observed one, as ``towngrow compare``.

Maps are 2-D integer arrays of IDs, :class:`Simulation` objects (their current
state) or map file names, all of one size. ``start``, the map where the change
began, adds the change measures (hits, misses, Figure of Merit, KSim, ...).

Classes: vacant, street, housing, industry, commerce, others by the
categories of the land uses of ``params`` (a dict or a parameter file;
default: the simulated Simulation's, else the default roster), or
``classes``, a dict in the layout of a class file, or the name of one:
``{"classes": [{"name": "urban", "ids": [1, 2, 3, 5], "developed": True},
...]}`` (1 to 32 classes, names of letters, digits, ``_`` or ``-``, each ID
in at most one class). ``fuzzy``, ``halving`` and ``radius`` set the fuzzy
kappa (off, or its halving distance and radius in cells).

With ``out`` (a folder, made if missing) the command's files are written
there, all together: ``compare.json``, ``crosstab.csv``, ``landscape.csv``,
``resolution.csv``, ``resolution.png``, ``agreement.png``, ``agreement.tif``
and ``report.html``. With every map, ``params`` and ``classes`` given as
files they are those of ``towngrow compare --out`` byte for byte (run from
the same working folder); otherwise maps are named "given in memory" and the
report has no command line that repeats the comparison.

Returns a dict of every measure by name (``agreement``, ``kappa``,
``quantity``, ``allocation``, ``fom.developed``, ``ksim``, ``fuzzykappa``,
``allocation@4``, ``patches.housing``, ...), ``None`` where a measure is
undefined (its formula would divide by zero) or not computed. Bad maps and
options raise ``ValueError``, unreadable files and folders ``OSError``.)doc");
}

}  // namespace towngrow::python
