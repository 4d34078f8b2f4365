// towngrow.Simulation: the step driver with its own land-use set, NumPy
// views of its buffers, map files, parameters and a background (the
// bindings and their docstrings; simulation_state.cpp does the work).
#include <sstream>
#include <string>

#include "simulation.h"

namespace towngrow::python {
namespace {

const char* const kClassDoc = R"doc(A town on a raster of land-use cells, grown step by step.

``Simulation(rows, cols, params=None)`` makes a grid of ``rows`` x ``cols``
vacant cells (each side 5 to 10000) with its own land uses: the default
roster, changed by ``params`` (a dict in the layout of :func:`default_params`,
or the name of a JSON parameter file such as a run's ``run.json``).

Every random choice comes from the calling thread's generator
(:func:`seed`), so::

    towngrow.seed(s)
    sim = towngrow.Simulation(r, c)
    sim.place_starter_town()
    sim.run(n)

grows the very town of ``towngrow run --rows r --cols c --seed s --steps n``.

:attr:`ids` and :attr:`ages` are NumPy views of the state (no copy). A step
only copies the cells the last step wrote, unless a view was taken since the
last step: then it copies and scans the whole grid once, so that writes
through the view are seen. The driver keeps two buffers and alternates them:
after a step, the views taken before it view the buffer the driver keeps for
itself and become read-only; take :attr:`ids` and :attr:`ages` again after
each step.

C++ runs without the GIL: threads may grow separate simulations at once. A
simulation is used by one call at a time; a call from another thread while
one runs raises ``RuntimeError``.)doc";

}  // namespace

void BindSimulation(py::module_& m) {
  py::class_<PySimulation> cls(m, "Simulation", kClassDoc);
  cls.def(py::init(&Make), py::arg("rows"), py::arg("cols"), py::arg("params") = py::none());

  cls.def_property_readonly(
      "rows", [](PySimulation& s) { return s.State().m_nRows; }, "Rows of the grid.");
  cls.def_property_readonly(
      "cols", [](PySimulation& s) { return s.State().m_nCols; }, "Columns of the grid.");
  cls.def_property_readonly(
      "shape", [](PySimulation& s) { return py::make_tuple(s.State().m_nRows, s.State().m_nCols); },
      "(rows, cols).");
  cls.def_property_readonly(
      "step_count", [](PySimulation& s) { return s.sim->StepCount() - s.stepBase; },
      "Steps run since the simulation was made or a map was loaded.");

  cls.def_property_readonly(
      "ids", [](py::object self) { return View(self, false); },
      R"doc(The land-use ID of every cell: a writable ``uint8`` array of shape (rows, cols).

A view of the simulation's memory, not a copy: a write through it is seen by
the next step. It keeps the simulation alive. The step after a view was taken
copies and scans the whole grid (instead of only the cells the last step
wrote) so as to see such writes. The driver alternates two buffers: after
that step the view looks at the buffer the driver keeps for itself and becomes
read-only (a write raises ``ValueError``); take the view again after each
step. While any view
is alive the grid cannot be resized (a :meth:`load` of another size raises
``RuntimeError``). IDs of the default roster: 0 vacant, 1 street node,
2 street vertex, 3 housing, 4 industry, 5 commerce, 6 others.)doc");
  cls.def_property_readonly(
      "ages", [](py::object self) { return View(self, true); },
      R"doc(The age of every cell: a writable ``int16`` view of shape (rows, cols).

Negative ages are dead cells. The same rules as :attr:`ids` hold: no copy, a
write is seen by the next step, take it again after each step.)doc");

  cls.def(
      "step",
      [](PySimulation& s, long n) {
        RunSteps(s, n, py::none());
        return ReportDict(s);
      },
      py::arg("n") = 1,
      R"doc(Runs ``n`` steps and returns the report of the last one.

The report is a dict: ``step`` (steps since the start), ``cells`` (an int64
array of 256: cells holding each ID after the step) and ``developments``
(per land use, in the order of :attr:`params`, the cells whose rule
developed).)doc");
  cls.def("run", &RunSteps, py::arg("steps"), py::arg("callback") = py::none(),
          R"doc(Runs up to ``steps`` steps and returns how many ran.

``callback(report)``, if given, sees the report of each step (as :meth:`step`
returns it); returning ``False`` stops the run (``None`` goes on). The
callback may read and write :attr:`ids` and :attr:`ages` and :meth:`save`
maps, but not step, load or change parameters. Ctrl-C stops the run after
the current step.)doc");

  cls.def(
      "place_starter_town",
      [](PySimulation& s) {
        Use use(s, "place a town in", false);
        if (!PlaceStarterTown(s.sim->Current()))
          throw py::value_error("the built-in town cannot be placed");
      },
      R"doc(Places the built-in starting town (as ``towngrow run`` does).

A street cross through the middle with street nodes at its ends and a few
houses beside it; only those cells are written. It draws nothing.)doc");
  cls.def("random_fill", &RandomFill,
          R"doc(Fills the grid with the sparse random start of ``towngrow run --start random``.

Each cell gets a random ID (one in 58) and a random age, drawn from the
calling thread's generator, so ``seed(s)`` first repeats the program's start.)doc");

  cls.def(
      "load",
      [](PySimulation& s, const py::object& path, const py::object& band, bool lenient) {
        Load(s, path, band.is_none() ? 0 : band.cast<int>(), lenient);
      },
      py::arg("path"), py::kw_only(), py::arg("band") = py::none(), py::arg("lenient") = false,
      R"doc(Replaces the state with a map file, as ``towngrow run --start`` reads it.

Any map the program reads: ``.asc``, ``.e00``, ``.flt`` (with its ``.hdr``),
``.xya``/``.dat`` point lists, and every single-band raster GDAL opens
(GeoTIFF, ...; ``band`` picks one of several). Files of the library's own
formats are checked strictly unless ``lenient``. The grid takes the map's size
(at least 5 x 5; another size is refused while views are alive), the ages
become 0 and the step count starts again from 0. The map's georeference and
CRS are kept for :meth:`save`. Cells of IDs no land use has give a
``TowngrowWarning``. Unreadable or refused files raise ``OSError`` naming the
file and what is wrong.)doc");
  cls.def("save", &Save, py::arg("path"),
          R"doc(Writes the IDs to a map file in the format its name gives.

``.asc``, ``.e00``, ``.flt`` (and its ``.hdr``), ``.xya``, ``.dat`` or ``.tif``
(a GeoTIFF with the land uses' colours and names, and a ``.tif.aux.xml``
beside it), byte for byte as ``towngrow convert`` writes them, with the
georeference and CRS of the last map loaded. The file appears whole or not at
all. Failures raise ``OSError``.)doc");

  cls.def_property(
      "params", [](PySimulation& s) { return SetToPython(*s.set); },
      [](PySimulation& s, const py::object& params) {
        Use use(s, "change the parameters of", true);
        ApplyPythonParams(params, *s.set);
      },
      R"doc(The land-use parameters as a dict (the layout of :func:`default_params`).

Assigning a dict (or a file name) changes the fields it names, as a parameter
file does; a refused dict raises ``ValueError`` and changes nothing.)doc");
  cls.def_property("background", &Background, &SetBackground,
                   R"doc(The background raster, or None (every cell allows every land use).

Each cell is a bit set of the IDs allowed there (bit k for ID k: 8 = housing
only, 255 = everything). Assign a 2-D integer array of the grid's shape, a map
file name (no-data cells allow nothing) or None. Reading gives a copy.)doc");
  cls.def_property(
      "crs", &Crs, &SetCrs,
      R"doc(The coordinate reference system of the maps :meth:`save` writes, as WKT ("" when unknown).

Loading a map takes its CRS; assign any text GDAL takes (``"EPSG:32633"``, WKT,
a PROJ string) to set it, or "" to clear it.)doc");
  cls.def_property_readonly(
      "report",
      [](PySimulation& s) {
        Use use(s, "read the report of", false);
        return ReportDict(s);
      },
      "The report of the last step (as :meth:`step` returns it); before the first, step 0 and the "
      "cells of the start.");
  cls.def("__repr__", [](PySimulation& s) {
    std::ostringstream text;
    text << "<towngrow.Simulation " << s.State().m_nRows << " x " << s.State().m_nCols << ", step "
         << s.sim->StepCount() - s.stepBase << ">";
    return text.str();
  });
}

}  // namespace towngrow::python
