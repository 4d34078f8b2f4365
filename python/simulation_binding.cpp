// towngrow.Simulation: the step driver with its own land-use set, NumPy
// views of its buffers, map files, parameters and a background.
#include <array>
#include <cstring>
#include <sstream>
#include <string>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/town.h"
#include "module.h"

namespace towngrow::python {
namespace {

// The base object of a view: keeps the simulation alive and counts it.
struct ViewOwner {
  py::object simulation;
  PySimulation* s;
};

py::array View(const py::object& self, bool ages) {
  PySimulation& s = self.cast<PySimulation&>();
  Use use(s, "take a view of", false);
  const CLandUseCoverage& cov = s.State();
  auto* owner = new ViewOwner{self, &s};
  ++s.views;
  py::capsule base(owner, [](void* p) {
    auto* o = static_cast<ViewOwner*>(p);
    --o->s->views;
    delete o;
  });
  const py::ssize_t rows = cov.m_nRows, cols = cov.m_nCols;
  py::array view;
  if (ages)
    view = py::array_t<std::int16_t>({rows, cols},
                                     {cols * static_cast<py::ssize_t>(sizeof(std::int16_t)),
                                      static_cast<py::ssize_t>(sizeof(std::int16_t))},
                                     cov.m_pCellAge, base);
  else
    view = py::array_t<std::uint8_t>({rows, cols}, {cols, py::ssize_t{1}}, cov.m_pData, base);
  s.viewRefs.append(py::weakref(view));
  s.freshViews = true;
  return view;
}

// After a step the views taken before it show the buffer the driver keeps
// for itself: they become read-only, so that a write to them fails instead
// of being lost, and the following steps take the fast path again.
void RetireViews(PySimulation& s) {
  for (py::handle ref : s.viewRefs) {
    py::object view = ref();
    if (!view.is_none()) view.attr("flags").attr("writeable") = false;
  }
  s.viewRefs = py::list();
  s.freshViews = false;
}

py::dict ReportDict(const PySimulation& s) {
  const StepReport& r = s.sim->LastReport();
  // Before the first step the start (a town placed, a fill, writes through
  // views) is counted as it is now.
  const std::array<long, 256> counted =
      r.step == s.stepBase ? CountCellsPerId(s.State()) : r.cellsPerId;
  py::array_t<std::int64_t> cells(256);
  for (std::size_t id = 0; id < 256; ++id) cells.mutable_at(id) = counted[id];
  const std::size_t n = static_cast<std::size_t>(s.set->m_LandUseArray.GetSize());
  py::array_t<std::int64_t> developments(static_cast<py::ssize_t>(n));
  for (std::size_t i = 0; i < n; ++i)
    developments.mutable_at(i) = i < r.developments.size() ? r.developments[i] : 0;
  py::dict d;
  d["step"] = r.step - s.stepBase;
  d["cells"] = cells;
  d["developments"] = developments;
  return d;
}

void CheckSize(long long rows, long long cols) {
  try {
    io::CheckGridSize(rows, cols);
  } catch (const io::Error& e) {
    throw py::value_error(e.what());
  }
}

// Sizes the driver; MemoryError when the buffers cannot be had.
void InitOrRaise(PySimulation& s, int rows, int cols) {
  int ok;
  {
    py::gil_scoped_release release;
    ok = s.sim->Init(rows, cols);
  }
  if (!ok) throw std::bad_alloc();  // the library's own message went to the handler
  s.stepBase = 0;
}

void RefuseResizeWithViews(const PySimulation& s, const char* what) {
  if (s.views.load() > 0)
    throw std::runtime_error(std::string("cannot ") + what +
                             ": NumPy views of .ids or .ages are alive and would point to "
                             "freed memory (delete them first)");
}

// Cells of IDs no land use has: one warning, as the program gives.
void WarnOfUnknownIds(const std::string& path, const PySimulation& s) {
  const std::string text = io::UnknownIdsWarning(path, s.State(), *s.set);
  if (text.empty()) return;
  py::module_::import("warnings")
      .attr("warn")(text, py::module_::import("towngrow").attr("TowngrowWarning"), 2);
}

std::unique_ptr<PySimulation> Make(int rows, int cols, const py::object& params) {
  CheckSize(rows, cols);
  auto s = std::make_unique<PySimulation>();
  s->set = std::make_unique<CLandUseSet>();
  ApplyPythonParams(params, *s->set);
  s->sim = std::make_unique<Simulation>(s->set.get());
  InitOrRaise(*s, rows, cols);
  return s;
}

long RunSteps(PySimulation& s, long steps, const py::object& callback) {
  Use use(s, "run", true);
  if (steps < 0) throw py::value_error("steps must be 0 or more, got " + std::to_string(steps));
  MessageErrors errors;
  long ran = 0;
  {
    py::gil_scoped_release release;
    for (long k = 0; k < steps; ++k) {
      // A view taken since the last step may have been written: the step
      // then copies and scans the whole grid instead of the cells the last
      // step wrote.
      const bool fresh = s.freshViews.load();
      if (fresh) s.sim->Current();
      const long before = s.sim->StepCount();
      if (s.sim->Step().step == before) break;  // nothing to step
      ++ran;
      py::gil_scoped_acquire gil;
      if (fresh) RetireViews(s);
      if (errors.error) break;
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (!callback.is_none()) {
        s.inCallback = true;
        py::object answer;
        try {
          answer = callback(ReportDict(s));
        } catch (...) {
          s.inCallback = false;
          throw;
        }
        s.inCallback = false;
        if (!answer.is_none() && !PyObject_IsTrue(answer.ptr())) break;
      }
    }
  }
  errors.Rethrow();
  return ran;
}

void Load(PySimulation& s, const py::object& file, int band, bool lenient) {
  Use use(s, "load a map into", true);
  const std::string path = PathArgument(file);
  if (band < 0) throw py::value_error("band counts from 1");
  CLandUseCoverage map;
  io::GridFileInfo info;
  io::MapReadOptions reading;
  reading.band = band;
  reading.lenient = lenient;
  WithMapFiles(
      [&](io::MessageLog& log) { info = io::LoadFitted(path, map, *s.set, log, reading); });
  const CLandUseCoverage& cur = s.State();
  if (map.m_nRows != cur.m_nRows || map.m_nCols != cur.m_nCols) {
    RefuseResizeWithViews(s, "load a map of another size");
    InitOrRaise(s, map.m_nRows, map.m_nCols);
  }
  s.sim->Current().CopyValueFromCoverage(&map);
  s.geo = info.geo;
  s.stepBase = s.sim->StepCount();
  WarnOfUnknownIds(path, s);
}

void Save(PySimulation& s, const py::object& file) {
  Use use(s, "save", false);
  const std::string path = PathArgument(file);
  WithMapFiles([&](io::MessageLog&) {
    io::ScratchDir scratch;
    io::ExportCoverage(s.State(), path, scratch, s.geo);
  });
}

void SetBackground(PySimulation& s, const py::object& bg) {
  Use use(s, "change the background of", true);
  if (bg.is_none()) {
    s.sim->SetBackground(nullptr);
    s.background.reset();
    return;
  }
  const CLandUseCoverage& cur = s.State();
  auto grid = std::make_unique<CLandUseCoverage>();
  if (IsPath(bg)) {
    const std::string path = PathArgument(bg);
    WithMapFiles([&](io::MessageLog& log) {
      io::LoadBackgroundFile(path, cur.m_nRows, cur.m_nCols, *s.set, *grid, log,
                             io::MapReadOptions());
    });
  } else {
    MapData map;
    MapArgument(bg, "background", *s.set, map);
    if (map.rows != cur.m_nRows || map.cols != cur.m_nCols)
      throw py::value_error("background: the map has " + std::to_string(map.rows) + " x " +
                            std::to_string(map.cols) + " cells, the town " +
                            std::to_string(cur.m_nRows) + " x " + std::to_string(cur.m_nCols));
    grid->InitCoverage(map.rows, map.cols, 0);
    if (grid->IsEmpty()) throw std::bad_alloc();
    grid->CopyValueFromCoverage(&map.cov);
  }
  s.sim->SetBackground(grid.get());
  s.background = std::move(grid);
}

py::object Background(PySimulation& s) {
  Use use(s, "read the background of", false);
  if (!s.background) return py::none();
  const CLandUseCoverage& g = *s.background;
  py::array_t<std::uint8_t> out({g.m_nRows, g.m_nCols});
  std::memcpy(out.mutable_data(), g.m_pData,
              static_cast<std::size_t>(g.m_nRows) * static_cast<std::size_t>(g.m_nCols));
  return std::move(out);
}

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

Use::Use(PySimulation& s, const char* what, bool structural) : s_(s) {
  if (s.busy) {
    if (s.owner != std::this_thread::get_id())
      throw std::runtime_error(std::string("cannot ") + what +
                               " this Simulation: another thread is running it");
    if (structural && s.inCallback)
      throw std::runtime_error(std::string("cannot ") + what +
                               " this Simulation inside the callback of its run()");
    nested_ = true;
    return;
  }
  s.busy = true;
  s.owner = std::this_thread::get_id();
}

Use::~Use() {
  if (!nested_) s_.busy = false;
}

PySimulation* SimulationOf(const py::handle& x) {
  if (!py::isinstance<PySimulation>(x)) return nullptr;
  return &x.cast<PySimulation&>();
}

const CLandUseCoverage* StateOf(const py::handle& x) {
  PySimulation* s = SimulationOf(x);
  if (s == nullptr) return nullptr;
  Use use(*s, "read", false);
  return &s->State();
}

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
  cls.def(
      "random_fill",
      [](PySimulation& s) {
        Use use(s, "fill", false);
        for (int id = 0; id <= 5; ++id)
          if (!s.set->IsIDExist(static_cast<unsigned char>(id)))
            throw py::value_error(
                "the sparse random start places the IDs 0 to 5, but no land "
                "use has ID " +
                std::to_string(id));
        s.sim->Current().RandomFill();
      },
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
      "crs",
      [](PySimulation& s) {
        Use use(s, "read the CRS of", false);
        return s.geo.wkt;
      },
      [](PySimulation& s, const std::string& text) {
        Use use(s, "set the CRS of", false);
        if (text.empty()) {
          s.geo.wkt.clear();
          return;
        }
        std::string wkt;
        try {
          WithMapFiles([&](io::MessageLog&) { wkt = io::CrsFromUserText(text); });
        } catch (py::error_already_set& e) {
          if (!e.matches(PyExc_OSError)) throw;
          throw py::value_error(py::str(e.value()).cast<std::string>());
        }
        s.geo.wkt = wkt;
      },
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
