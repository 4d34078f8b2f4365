// towngrow.grow: `towngrow run` through the layer's job (jobs/grow.h).
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include "jobs/grow.h"
#include "jobs/town.h"
#include "module.h"

namespace towngrow::python {
namespace {

// The arguments of grow() as the job's options; refusals raise ValueError
// (TypeError for a wrong kind of value) before any file is read.
jobs::GrowOptions GrowArguments(const py::object& start, std::optional<long long> rows,
                                std::optional<long long> cols, long steps, const py::int_& seed,
                                const py::object& params, const py::object& background,
                                const std::optional<std::string>& crs, int band) {
  jobs::GrowOptions o;
  io::TownOptions& t = o.town;
  if (!IsPath(start))
    throw py::type_error("start must be \"town\", \"random\" or the name of a map file");
  t.start = PathArgument(start);
  t.sizeGiven = rows.has_value() || cols.has_value();
  if (t.sizeGiven) {
    io::CheckGridSize(rows.value_or(t.rows), cols.value_or(t.cols));
    t.rows = static_cast<int>(rows.value_or(t.rows));
    t.cols = static_cast<int>(cols.value_or(t.cols));
  }
  t.steps = steps;
  t.seed = SeedArgument(seed, "seed");
  if (!params.is_none()) t.paramsGiven = ParamsDocument(params);
  if (!background.is_none()) t.background = PathArgument(background);
  if (crs) {
    t.crs = *crs;
    io::CrsFromUserText(t.crs);  // refused here as ValueError, not as a file
  }
  t.maps.band = band;
  return o;
}

py::dict Grow(const py::object& start, std::optional<long long> rows, std::optional<long long> cols,
              long steps, const py::int_& seed, const py::object& params,
              const py::object& background, const py::object& schedule,
              const py::object& suitability, const std::optional<std::string>& crs, int band,
              bool lenient, long every, const std::vector<std::string>& formats, bool png, bool gif,
              const std::string& extent, const std::string& chartScale, const py::object& out,
              const py::object& progress) {
  jobs::GrowOptions o =
      GrowArguments(start, rows, cols, steps, seed, params, background, crs, band);
  ScenarioArguments(schedule, suitability, o.town);
  o.town.maps.lenient = lenient;
  o.every = every;
  o.formats = formats;
  o.png = png;
  o.gif = gif;
  o.pictures.extent = extent;
  o.pictures.chartScale = chartScale;
  jobs::CheckGrowOptions(o);

  std::unique_ptr<io::OutputFolder> folder = OutFolder(out);
  std::unique_ptr<jobs::Growth> growth;
  JobCall job(progress);
  job.Run([&]() {
    growth = jobs::GrowTown(o, Log(), job.Progress(), folder.get());
    if (!folder) return;
    jobs::WriteGrowthOutputs(*growth, o, *folder);
    folder->Publish();
  });

  const CLandUseCoverage& end = static_cast<const Simulation&>(*growth->sim).Current();
  py::array_t<std::uint8_t> final({end.m_nRows, end.m_nCols});
  std::memcpy(final.mutable_data(), end.m_pData,
              static_cast<std::size_t>(end.m_nRows) * static_cast<std::size_t>(end.m_nCols));
  const jobs::StepTable& table = jobs::StepStatistics(*growth);
  py::dict stats;
  for (std::size_t k = 0; k < table.columns.size(); ++k) {
    py::array_t<std::int64_t> column(static_cast<py::ssize_t>(table.rows.size()));
    for (std::size_t r = 0; r < table.rows.size(); ++r) column.mutable_at(r) = table.rows[r][k];
    stats[py::str(table.columns[k])] = column;
  }
  py::dict d;
  d["final"] = final;
  d["steps"] = growth->stepsRun;
  d["stats"] = stats;
  d["out"] = OutValue(folder.get());
  return d;
}

}  // namespace

void BindGrow(py::module_& m) {
  const auto run = jobs::RunTable;
  m.def("grow", &Grow, py::arg("start") = OptionDefault<std::string>(run, "start"), py::kw_only(),
        py::arg("rows") = py::none(), py::arg("cols") = py::none(),
        py::arg("steps") = OptionDefault<long>(run, "steps"),
        py::arg("seed") = OptionDefault<unsigned int>(run, "seed"), py::arg("params") = py::none(),
        py::arg("background") = py::none(), py::arg("schedule") = py::none(),
        py::arg("suitability") = py::none(), py::arg("crs") = py::none(),
        py::arg("band") = OptionDefault<int>(run, "band"),
        py::arg("lenient") = OptionDefault<bool>(run, "lenient"),
        py::arg("every") = OptionDefault<long>(run, "every"),
        py::arg("formats") = OptionDefault<std::vector<std::string>>(run, "format"),
        py::arg("png") = OptionDefault<bool>(run, "no-png"),
        py::arg("gif") = OptionDefault<bool>(run, "no-gif"),
        py::arg("extent") = OptionDefault<std::string>(run, "extent"),
        py::arg("chart_scale") = OptionDefault<std::string>(run, "chart-scale"),
        py::arg("out") = py::none(), py::arg("progress") = py::none(),
        R"doc(Grows a town as ``towngrow run`` does and, with ``out``, writes that command's folder.

Each argument is the option of the same name (``chart_scale`` is
``--chart-scale``; ``png=False`` and ``gif=False`` are ``--no-png`` and
``--no-gif``): ``start`` is ``"town"`` (the built-in town), ``"random"`` (the
sparse random start) or a map file whose size becomes the grid's unless
``rows`` or ``cols`` is given (default 200 x 200); ``params`` a dict in the
layout of :func:`default_params` or a parameter file; ``background`` a map
file of the grid's size; ``schedule`` a schedule file (layers, backgrounds
and suitability surfaces that take effect at their steps) and
``suitability`` a suitability raster; ``crs`` any text GDAL takes, which replaces the
start's CRS in the output maps; ``band`` and ``lenient`` how map files are
read; ``every``, ``formats`` (a list of ``"asc"``, ``"e00"``, ``"flt"``,
``"xya"``, ``"tif"``), ``extent`` (``"town"`` or ``"full"``) and
``chart_scale`` (``"linear"`` or ``"log"``) what the folder holds.

With ``out`` (a folder, made if missing) the files are those of
``towngrow run --out``, byte for byte when run from the same working folder:
``final.asc``/``.tif``, the snapshots ``step-NNNN.<ext>``, ``final.png``,
``growth.png``, ``growth.gif``, ``stats.csv``, ``run.json`` (whose command
line repeats the run, ``params`` given as a dict too) and ``report.html``.
They all appear together when the run ends, or none. Without ``out``
nothing is written.

``progress(step, steps)`` is called after each step; an exception from it
(or Ctrl-C) stops the run, writes nothing and is raised. The run goes
without the GIL. Bad arguments raise ``ValueError`` (``TypeError`` for a
wrong kind of value) before anything is read; refused files and folders
``OSError`` naming them.

Returns a dict: ``final``, the IDs of the end state (``uint8`` array of
shape (rows, cols)); ``steps``, the steps run; ``stats``, the table of
``stats.csv`` as a dict of ``int64`` arrays (one entry per step from step 0)
under the file's column names, in its order: ``"step"``, ``"<land use> (ID
n) cells"`` per land use, ``"other IDs cells"``, ``"<land use> (ID n)
developments"`` per land use (``pandas.DataFrame(result["stats"])`` is the
file's table); ``out``, the folder or ``None``.)doc");
}

}  // namespace towngrow::python
