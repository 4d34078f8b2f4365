// The state of a towngrow.Simulation: who is using it, NumPy views of its
// buffers, the step loop, map files, the background and the CRS.
#include <array>
#include <cstring>
#include <string>

#include "io/grid_files.h"
#include "jobs/town.h"
#include "simulation.h"

namespace towngrow::python {

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

namespace {

// The base object of a view: keeps the simulation alive and counts it.
struct ViewOwner {
  py::object simulation;
  PySimulation* s;
};

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

}  // namespace

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

namespace {

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

}  // namespace

std::unique_ptr<PySimulation> Make(int rows, int cols, const py::object& params) {
  io::CheckGridSize(rows, cols);
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
  WithMapFiles([&]() { info = io::LoadFitted(path, map, *s.set, Log(), reading); });
  const CLandUseCoverage& cur = s.State();
  if (map.m_nRows != cur.m_nRows || map.m_nCols != cur.m_nCols) {
    RefuseResizeWithViews(s, "load a map of another size");
    InitOrRaise(s, map.m_nRows, map.m_nCols);
  }
  s.sim->Current().CopyValueFromCoverage(&map);
  s.geo = info.geo;
  s.mapLoaded = true;
  s.stepBase = s.sim->StepCount();
  // Cells of IDs no land use has: one warning, as the program gives.
  const std::string warning = io::UnknownIdsWarning(path, s.State(), *s.set);
  if (!warning.empty()) Log().Warn(warning);
}

void Save(PySimulation& s, const py::object& file) {
  Use use(s, "save", false);
  const std::string path = PathArgument(file);
  WithMapFiles([&]() {
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
    WithMapFiles([&]() {
      io::LoadBackgroundFile(path, cur.m_nRows, cur.m_nCols, *s.set, *grid, Log(),
                             io::MapReadOptions());
    });
  } else {
    MapOfSize(bg, "background", cur.m_nRows, cur.m_nCols, "the town", *s.set, *grid);
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

void RandomFill(PySimulation& s) {
  Use use(s, "fill", false);
  io::CheckRandomStartIds(*s.set);
  s.sim->Current().RandomFill();
}

std::string Crs(PySimulation& s) {
  Use use(s, "read the CRS of", false);
  return s.geo.wkt;
}

void SetCrs(PySimulation& s, const std::string& text) {
  Use use(s, "set the CRS of", false);
  s.geo.wkt = text.empty() ? std::string() : io::CrsFromUserText(text);
}

}  // namespace towngrow::python
