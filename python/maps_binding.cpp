// Parameters and classes as Python dicts (the layouts of `towngrow params`
// and of class files) and map arguments (arrays, simulations, files) for
// the functions that take maps.
#include <algorithm>
#include <cstring>
#include <string>

#include "io/class_file.h"
#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "module.h"
#include "params/params_json.h"

namespace towngrow::python {
namespace {

[[noreturn]] void RaiseValueError(const std::string& text) { throw py::value_error(text); }

// A map file of an argument read through the layer: a refusal names the
// argument before the file ("simulated: <file>: ...").
void ReadMapFile(const char* what, const std::function<void()>& read) {
  try {
    WithMapFiles(read);
  } catch (const FileFailure& e) {
    throw FileFailure(std::string(what) + ": " + e.what());
  }
}

// Python values to JSON text; NumPy scalars count as the numbers they hold.
std::string ToJsonText(const py::handle& value) {
  py::module_ json = py::module_::import("json");
  py::object numbers = py::cpp_function([](py::handle x) -> py::object {
    if (py::hasattr(x, "item") && !py::isinstance<py::array>(x)) return x.attr("item")();
    if (py::isinstance<py::array>(x)) return x.attr("tolist")();
    throw py::type_error(std::string("a value of type ") +
                         py::str(x.get_type().attr("__name__")).cast<std::string>() +
                         " has no JSON form");
  });
  return json.attr("dumps")(value, py::arg("default") = numbers, py::arg("allow_nan") = false)
      .cast<std::string>();
}

}  // namespace

std::string PathArgument(const py::handle& path) {
  py::object text = py::module_::import("os").attr("fspath")(path);
  if (!py::isinstance<py::str>(text)) throw py::type_error("file names must be str or os.PathLike");
  return text.cast<std::string>();
}

io::Json JsonOf(const py::handle& value, const std::string& what) {
  try {
    return io::Json::parse(ToJsonText(value));
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_TypeError) && !e.matches(PyExc_ValueError)) throw;
    RaiseValueError(what + ": not JSON data: " + py::str(e.value()).cast<std::string>());
  }
}

bool IsPath(const py::handle& x) {
  return py::isinstance<py::str>(x) || py::hasattr(x, "__fspath__");
}

io::Json ParamsDocument(const py::handle& params, const CLandUseSet* set) {
  if (!IsPath(params) && !py::isinstance<py::dict>(params))
    throw py::type_error("params must be a dict (the layout of default_params()) or a file name");
  try {
    std::string name = "params";
    io::Json doc;
    if (IsPath(params)) {
      name = PathArgument(params);
      doc = io::ReadJsonFile(name, "parameter file");
    } else {
      doc = JsonOf(params, "params");
    }
    // Checked on a copy, so that a refused document changes nothing.
    CLandUseSet trial;
    if (set != nullptr) io::ApplyParams(io::SetToJson(*set), "params", trial);
    io::ApplyParams(doc, name, trial);
    return doc;
  } catch (const io::Error& e) {
    RaiseValueError(e.what());
  } catch (const io::Json::exception& e) {
    RaiseValueError(std::string("params: ") + e.what());
  }
}

void ApplyPythonParams(const py::handle& params, CLandUseSet& set) {
  if (params.is_none()) return;
  const io::Json doc = ParamsDocument(params, &set);
  io::ApplyParams(doc, "params", set);
}

ClassScheme ClassesArgument(const py::handle& classes) {
  try {
    if (IsPath(classes)) return io::ReadClassFile(PathArgument(classes));
    return io::ReadClasses(JsonOf(classes, "classes"), "classes");
  } catch (const io::Error& e) {
    RaiseValueError(e.what());
  }
}

py::object SetToPython(const CLandUseSet& set) {
  return py::module_::import("json").attr("loads")(io::SetToJson(set).dump());
}

py::array_t<std::uint8_t> IdArray(const py::handle& arg, const char* what) {
  py::module_ np = py::module_::import("numpy");
  py::array a = np.attr("asarray")(arg);
  if (a.ndim() != 2)
    RaiseValueError(std::string(what) + ": a map must be a 2-D array of IDs, got " +
                    std::to_string(a.ndim()) + " dimensions");
  const char kind = a.dtype().kind();
  if (kind != 'u' && kind != 'i' && kind != 'b')
    RaiseValueError(std::string(what) + ": map IDs must be integers, got dtype " +
                    py::str(a.dtype()).cast<std::string>());
  if (a.size() > 0 && kind != 'b' && a.dtype().itemsize() > 0 &&
      !(kind == 'u' && a.dtype().itemsize() == 1)) {
    const long long lo = a.attr("min")().cast<long long>();
    const long long hi = a.attr("max")().cast<long long>();
    if (lo < 0 || hi > 255)
      RaiseValueError(std::string(what) + ": map IDs must be 0 to 255, found " +
                      std::to_string(lo < 0 ? lo : hi));
  }
  return py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>::ensure(a);
}

MapInfo MapArgument(const py::handle& arg, const char* what, CLandUseSet& set,
                    CLandUseCoverage& cov) {
  MapInfo info;
  if (IsPath(arg)) {
    info.path = info.kind = PathArgument(arg);
    ReadMapFile(what, [&]() {
      const io::GridFileInfo file =
          io::LoadFitted(info.path, cov, set, Log(), io::MapReadOptions());
      info.rows = file.rows;
      info.cols = file.cols;
      info.geo = file.geo;
    });
    return info;
  }
  if (PySimulation* s = SimulationOf(arg)) {
    const CLandUseCoverage* state = StateOf(arg);
    if (!cov.InitCoverage(state->m_nRows, state->m_nCols, 0)) throw std::bad_alloc();
    cov.CopyValueFromCoverage(state);
    cov.m_pLandUseSet = &set;
    info.rows = state->m_nRows;
    info.cols = state->m_nCols;
    info.kind = "a Simulation";
    info.geo = s->geo;
    return info;
  }
  const py::array_t<std::uint8_t> a = IdArray(arg, what);
  const auto rows = a.shape(0), cols = a.shape(1);
  if (rows < 1 || cols < 1 || rows > io::kMaxSide || cols > io::kMaxSide)
    RaiseValueError(std::string(what) + ": a map of " + std::to_string(rows) + " x " +
                    std::to_string(cols) + " cells is not possible (each side from 1 to 10000)");
  // Coverages are at least 5 x 5 cells; the map's own size is kept for the
  // view that compares it.
  info.rows = static_cast<int>(rows);
  info.cols = static_cast<int>(cols);
  info.kind = "an array";
  if (!cov.InitCoverage(std::max(info.rows, io::kMinSide), std::max(info.cols, io::kMinSide), 0))
    throw std::bad_alloc();
  for (py::ssize_t r = 0; r < rows; ++r)
    std::memcpy(cov.m_pData + r * cov.m_nCols, a.data(r, 0), static_cast<std::size_t>(cols));
  cov.m_pLandUseSet = &set;
  return info;
}

void MapArgument(const py::handle& arg, const char* what, CLandUseSet& set, MapData& out) {
  const MapInfo info = MapArgument(arg, what, set, out.cov);
  out.rows = info.rows;
  out.cols = info.cols;
}

MapInfo MapOfSize(const py::handle& arg, const char* what, int rows, int cols, const char* whose,
                  CLandUseSet& set, CLandUseCoverage& cov) {
  if (IsPath(arg)) {
    MapInfo info;
    info.path = info.kind = PathArgument(arg);
    ReadMapFile(what, [&]() {
      info.geo =
          io::LoadOfSize(info.path, rows, cols, whose, cov, set, Log(), io::MapReadOptions()).geo;
    });
    info.rows = rows;
    info.cols = cols;
    return info;
  }
  MapInfo info = MapArgument(arg, what, set, cov);
  if (info.rows != rows || info.cols != cols)
    RaiseValueError(std::string(what) + ": the map has " + std::to_string(info.rows) + " x " +
                    std::to_string(info.cols) + " cells, " + whose + " " + std::to_string(rows) +
                    " x " + std::to_string(cols));
  return info;
}

void BindMaps(py::module_& m) {
  m.def(
      "default_params", []() { return SetToPython(CLandUseSet()); },
      R"doc(The parameters of the default roster as a dict.

The layout is that of ``towngrow params``: ``{"landUses": [...]}``, one dict per
land use with its ``id``, ``kind``, ``name``, ``category``, ``color`` and every
growth parameter. Give a changed copy (or just the entries and keys to change,
each land use named by its ``id``) to :class:`Simulation` or
:attr:`Simulation.params`; an entry with a new ``id`` and a ``kind`` adds a land
use. Unknown keys, wrong types and values out of range raise ``ValueError``
naming the key, e.g. ``params: landUses[3].activeAge: ...``.)doc");
}

}  // namespace towngrow::python
