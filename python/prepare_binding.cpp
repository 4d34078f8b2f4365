// towngrow.prepare: `towngrow prepare` through the layer's job
// (jobs/prepare.h), with the recipe a dict or a recipe file.
#include <exception>
#include <string>

#include "io/error.h"
#include "jobs/prepare.h"
#include "module.h"

namespace towngrow::python {
namespace {

// Thrown through the job by its stage hook once it must stop.
struct Stop : std::exception {};

py::object PathOrNone(const io::OutputFolder& folder, bool present, const std::string& name) {
  return present ? py::object(py::str(folder.At(name))) : py::object(py::none());
}

py::dict Prepare(const py::object& recipe, const py::object& out, const py::object& progress) {
  if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
    throw py::type_error("progress must be a callable or None");
  if (!IsPath(out)) throw py::type_error("out must be the name of a folder");
  const bool fromFile = IsPath(recipe);
  if (!fromFile && !py::isinstance<py::dict>(recipe))
    throw py::type_error("recipe must be a dict or the name of a recipe file");
  io::Json given;
  if (!fromFile) given = JsonOf(recipe, "recipe");
  const std::string file = fromFile ? PathArgument(recipe) : std::string();
  io::OutputFolder folder(PathArgument(out));

  MessageErrors errors;
  std::unique_ptr<py::error_already_set> raised;
  jobs::PrepareHooks hooks;
  hooks.warning = [](const std::string& text) { Log().Warn(text); };
  hooks.stage = [&](const std::string& text) {
    py::gil_scoped_acquire gil;
    if (!raised && !errors.error) try {
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (!progress.is_none()) progress(text);
      } catch (py::error_already_set& e) {
        raised = std::make_unique<py::error_already_set>(std::move(e));
      }
    if (raised || errors.error) throw Stop();
  };

  jobs::PrepareResult result;
  std::string refused, failed;
  {
    py::gil_scoped_release release;
    try {
      result = fromFile ? jobs::RunPrepareFile(file, hooks)
                        : jobs::RunPrepare(given, ".", "recipe", hooks);
      try {
        jobs::WritePrepareOutputs(result, folder);
        folder.Publish();
      } catch (const io::Error& e) {
        failed = e.what();
      }
    } catch (const Stop&) {
    } catch (const io::Error& e) {
      refused = e.what();
    } catch (const FileError& e) {
      refused = e.what();
    }
  }
  if (raised) {
    raised->restore();
    throw py::error_already_set();
  }
  errors.Rethrow();
  if (!refused.empty()) throw py::value_error(refused);
  if (!failed.empty()) throw FileFailure(failed);

  py::dict observed;
  for (const jobs::PreparedMap& map : result.maps)
    if (!map.name.empty()) observed[py::str(map.name)] = py::str(folder.At(map.file));
  py::dict steps;
  for (const jobs::PreparedMap& map : result.maps)
    if (!map.name.empty()) steps[py::str(map.name)] = map.steps;
  py::dict d;
  d["out"] = py::str(folder.Path());
  d["start"] = py::str(folder.At("start.tif"));
  d["background"] = PathOrNone(folder, result.recipe.hasBackground, "background.tif");
  d["observed"] = observed;
  d["steps"] = steps;
  d["classes"] = PathOrNone(folder, result.oneClass, "classes.json");
  d["suitability"] = PathOrNone(folder, result.recipe.hasSuitability, "suitability.tif");
  d["schedule"] = PathOrNone(folder, !result.recipe.schedule.empty(), "schedule.json");
  d["record"] = py::str(folder.At("prepare.json"));
  d["report"] = py::str(folder.At("report.html"));
  d["rows"] = result.grid.rows;
  d["cols"] = result.grid.cols;
  d["calibrate"] = jobs::CalibrateCommandLine(result, folder.Path());
  d["summary"] = jobs::PrepareSummary(result, folder.Path());
  return d;
}

}  // namespace

void BindPrepare(py::module_& m) {
  m.def(
      "prepare", &Prepare, py::arg("recipe"), py::arg("out"), py::kw_only(),
      py::arg("progress") = py::none(),
      R"doc(Makes the start map, the background and the control maps of a recipe, as ``towngrow prepare``.

``recipe`` is the name of a recipe file (JSON; the paths in it are relative
to its folder, as for the program) or a dict in the same layout (its paths
relative to the current working folder): ``{"grid": {"like": "lc.tif"},
"start": [{"raster": "lc.tif", "classes": {"21-24": 3, "11": 6}},
{"vector": "roads.gpkg", "as": "street"}], "background": [{"vector":
"parks.gpkg", "allow": []}], "observed": [{"name": "2000", "steps": 20,
"layers": [...]}], "params": "params.json"}`` (every key in docs/prepare.md).

The files go into the folder ``out`` (made if missing), all together once
every layer has passed, or none: ``start.tif``, ``background.tif``,
``observed-<name>.tif``, ``suitability.tif``, the schedule's
``schedule-<step>*.tif`` and ``schedule.json``, their pictures (``.png``),
``classes.json`` (when the control maps know one developed land use),
``prepare.json`` and
``report.html``. For a recipe file they are those of ``towngrow prepare
RECIPE --out OUT`` byte for byte (run from the same working folder); for a
dict, ``prepare.json`` keeps it under ``"given"`` and the report names no
command line.

``progress(stage)`` is called with a line saying what is being done ("Opening
start[0] (lc.tif)", "Making start.tif"); an exception from it (or Ctrl-C)
stops the work, writes nothing and is raised. Warnings (an ID no land use
has, a filter that selects no feature) go to the message handler as
:class:`TowngrowWarning`.

A refused recipe or layer (an unknown key, a missing file, a layer that does
not overlap the grid) raises ``ValueError`` with the program's one line and
writes nothing; a folder that cannot be written raises ``OSError``.

Returns a dict: ``out``; the written files' paths ``start``, ``background``
(``None`` without one), ``observed`` (name: path), ``classes`` (or
``None``), ``suitability`` and ``schedule`` (``schedule.json``; each
``None`` when the recipe has none), ``record`` (``prepare.json``) and
``report``; ``steps`` (name:
steps of each control map); ``rows`` and ``cols`` of the grid;
``calibrate``, the calibrate command line on these files; ``summary``, the
text the program prints.)doc");
}

}  // namespace towngrow::python
