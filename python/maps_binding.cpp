// Parameters as Python dicts (the layout of `towngrow params`) and map
// arguments (arrays, simulations, files) for the functions that take maps.
#include <cstring>
#include <string>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/params_json.h"
#include "module.h"

namespace towngrow::python {
namespace {

[[noreturn]] void RaiseValueError(const std::string& text) { throw py::value_error(text); }

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

void ApplyPythonParams(const py::handle& params, CLandUseSet& set) {
  if (params.is_none()) return;
  if (IsPath(params)) {
    const std::string path = PathArgument(params);
    try {
      io::ApplyParamsFile(path, set);
    } catch (const io::Error& e) {
      RaiseValueError(e.what());
    }
    return;
  }
  if (!py::isinstance<py::dict>(params))
    throw py::type_error("params must be a dict (the layout of default_params()) or a file name");
  std::string text;
  try {
    text = ToJsonText(params);
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_TypeError) && !e.matches(PyExc_ValueError)) throw;
    RaiseValueError(std::string("params: not JSON data: ") +
                    py::str(e.value()).cast<std::string>());
  }
  try {
    // Checked on a copy first, so that a refused dict changes nothing.
    const io::Json doc = io::Json::parse(text);
    CLandUseSet trial;
    io::ApplyParams(io::SetToJson(set), "params", trial);
    io::ApplyParams(doc, "params", trial);
    io::ApplyParams(doc, "params", set);
  } catch (const io::Error& e) {
    RaiseValueError(e.what());
  } catch (const io::Json::exception& e) {
    RaiseValueError(std::string("params: ") + e.what());
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

void MapArgument(const py::handle& arg, const char* what, CLandUseSet& set, MapData& out) {
  if (IsPath(arg)) {
    const std::string path = PathArgument(arg);
    WithMapFiles([&](io::MessageLog& log) {
      const io::GridFileInfo info = io::LoadFitted(path, out.cov, set, log, io::MapReadOptions());
      out.rows = info.rows;
      out.cols = info.cols;
    });
    return;
  }
  if (const CLandUseCoverage* state = StateOf(arg)) {
    out.cov.InitCoverage(state->m_nRows, state->m_nCols, 0);
    if (out.cov.IsEmpty()) throw std::bad_alloc();
    std::memcpy(
        out.cov.m_pData, state->m_pData,
        static_cast<std::size_t>(state->m_nRows) * static_cast<std::size_t>(state->m_nCols));
    out.cov.m_pLandUseSet = &set;
    out.rows = state->m_nRows;
    out.cols = state->m_nCols;
    return;
  }
  const py::array_t<std::uint8_t> a = IdArray(arg, what);
  const auto rows = a.shape(0), cols = a.shape(1);
  if (rows < 1 || cols < 1 || rows > io::kMaxSide || cols > io::kMaxSide)
    RaiseValueError(std::string(what) + ": a map of " + std::to_string(rows) + " x " +
                    std::to_string(cols) + " cells is not possible (each side from 1 to 10000)");
  // Coverages are at least 5 x 5 cells; the map's own size is kept for the
  // view that compares it.
  out.rows = static_cast<int>(rows);
  out.cols = static_cast<int>(cols);
  out.cov.InitCoverage(std::max(out.rows, io::kMinSide), std::max(out.cols, io::kMinSide), 0);
  if (out.cov.IsEmpty()) throw std::bad_alloc();
  for (py::ssize_t r = 0; r < rows; ++r)
    std::memcpy(out.cov.m_pData + r * out.cov.m_nCols, a.data(r, 0),
                static_cast<std::size_t>(cols));
  out.cov.m_pLandUseSet = &set;
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
