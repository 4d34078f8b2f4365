// Shared pieces of the Python module: the Simulation wrapper, the message
// dispatcher, map and parameter conversions, and the error translation.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <towngrow/towngrow.h>

#include "io/gdal_raster.h"
#include "io/json_file.h"
#include "io/message_log.h"
#include "io/params_json.h"

namespace towngrow::python {

namespace py = pybind11;

// ---- messages (messages_binding.cpp) ----

// Installs the process-wide handler that hands the library's messages to
// Python (set_message_handler's callback, else warnings.warn), and binds
// set_message_handler and the warning class.
void BindMessages(py::module_& m);

// While one lives on a thread, an exception raised by the Python message
// callback on that thread is kept (the first one) instead of being printed
// as unraisable; Rethrow() raises it once the C++ call is over.
class MessageErrors {
public:
  MessageErrors();
  ~MessageErrors();
  MessageErrors(const MessageErrors&) = delete;
  MessageErrors& operator=(const MessageErrors&) = delete;
  void Rethrow();  // with the GIL held

  std::unique_ptr<py::error_already_set> error;

private:
  MessageErrors* outer_;
};

// Runs `work` (without the GIL) with the program's map reading: one file
// operation at a time, the program's message log receiving the messages of
// this thread (to explain refused files); those messages reach Python
// after a successful `work`. io::Error and FileError become OSError.
void WithMapFiles(const std::function<void(io::MessageLog& log)>& work);

// ---- parameters and maps (maps_binding.cpp) ----

// A Python object (dict, or str/path of a JSON file) applied to a set;
// refusals raise ValueError naming the key.
void ApplyPythonParams(const py::handle& params, CLandUseSet& set);
py::object SetToPython(const CLandUseSet& set);

// A Python value (dicts, lists, numbers, texts; NumPy scalars and arrays as
// the numbers and lists they hold) as JSON; ValueError naming `what` for
// anything else.
io::Json JsonOf(const py::handle& value, const std::string& what);

// File names: str or os.PathLike.
bool IsPath(const py::handle& x);
std::string PathArgument(const py::handle& path);

// A map argument: a 2-D array of IDs, a Simulation (its current state) or
// a file name, its IDs copied into a coverage linked to `set` (at least
// 5 x 5 cells; rows and cols are the map's own size). Bad maps raise
// ValueError (OSError for files).
struct MapData {
  CLandUseCoverage cov;
  int rows = 0, cols = 0;
  RasterView View() const { return ViewOf(cov, rows, cols); }
};
void MapArgument(const py::handle& arg, const char* what, CLandUseSet& set, MapData& out);

void BindMaps(py::module_& m);

// ---- the simulation (simulation_binding.cpp) ----

// The Python Simulation: the driver, its own set, where its maps lie, the
// background, and who is using it.
struct PySimulation {
  std::unique_ptr<CLandUseSet> set;
  std::unique_ptr<Simulation> sim;
  io::GeoInfo geo;  // of the last map loaded; CRS of crs=
  std::unique_ptr<CLandUseCoverage> background;
  long stepBase = 0;                    // steps before the last load
  std::atomic<int> views{0};            // NumPy views of the buffers alive
  std::atomic<bool> freshViews{false};  // views taken since the last step
  py::list viewRefs;                    // weak references to those views
  bool busy = false;                    // a call runs C++ without the GIL
  std::thread::id owner;                // the thread of that call
  bool inCallback = false;              // run()'s callback is running

  const CLandUseCoverage& State() const { return static_cast<const Simulation&>(*sim).Current(); }
};

void BindSimulation(py::module_& m);

// The simulation behind a Python object, or null when it is not one.
PySimulation* SimulationOf(const py::handle& x);
// Its current state for reading; RuntimeError while another thread runs it.
const CLandUseCoverage* StateOf(const py::handle& x);

// Marks a simulation in use by a call on this thread. A second use from
// another thread raises RuntimeError; inside run()'s callback (the same
// thread) a structural call (step, run, load, params, background) raises
// RuntimeError, a reading one goes on.
class Use {
public:
  Use(PySimulation& s, const char* what, bool structural);
  ~Use();
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

private:
  PySimulation& s_;
  bool nested_ = false;
};

// ---- ensemble, compare (analysis_binding.cpp), calibrate (calibrate_binding.cpp) ----

void BindAnalysis(py::module_& m);
void BindCalibrate(py::module_& m);

// A seed argument (0 to 4294967295; ValueError naming `what` otherwise).
unsigned int SeedArgument(const py::int_& value, const char* what);

}  // namespace towngrow::python
