// Shared pieces of the Python module: the Simulation wrapper, the messages,
// map and parameter arguments, the calls of the layer's jobs, and the error
// translation.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <towngrow/towngrow.h>

#include "io/gdal_raster.h"
#include "io/json_file.h"
#include "io/message_log.h"
#include "io/output_folder.h"
#include "jobs/hooks.h"
#include "jobs/options.h"
#include "jobs/town.h"

namespace towngrow::python {

namespace py = pybind11;

// A refused or failed file, raised in Python as OSError (io::Error, the
// layer's one failure type, is raised as ValueError where it is not about
// a file).
struct FileFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A seed argument (0 to 4294967295; ValueError naming `what` otherwise).
unsigned int SeedArgument(const py::int_& value, const char* what);

// schedule= and suitability= (file names, None for none) into the options;
// TypeError for anything else.
void ScenarioArguments(const py::object& schedule, const py::object& suitability,
                       io::TownOptions& town);
// Loads them for setup's grid (OSError for a refused file); the scenario,
// or null when neither is given.
const Scenario* LoadScenarioFiles(const io::TownOptions& town, io::TownSetup& setup);

// ---- messages (messages_binding.cpp) ----

// Makes the module's message log (the layer's io::MessageLog: every
// message of the library, from any thread) and hands each message on to
// Python: set_message_handler's callback, else warnings.warn; binds
// set_message_handler and the warning class.
void BindMessages(py::module_& m);

// The module's log, which the layer's readers and jobs are given.
io::MessageLog& Log();

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

// Runs `work` (a map file read or written through the layer) without the
// GIL; io::Error and FileError become FileFailure (OSError), whose one line
// the layer explains from the messages this thread showed.
void WithMapFiles(const std::function<void()>& work);

// ---- the layer's jobs (job_calls.cpp) ----

// A job run from Python: `Run` does its work without the GIL; the job's
// progress hook calls the Python `progress(done, total)` (None: no call)
// with the GIL. Ctrl-C, an exception from `progress` or one raised by the
// message handler on this thread stop the job at its next report; Run then
// raises that exception. io::Error and FileError of the work become
// FileFailure (OSError): by then every argument has been checked.
class JobCall {
public:
  explicit JobCall(py::object progress);
  jobs::Progress Progress();
  void Run(const std::function<void()>& work);

private:
  py::object progress_;
  MessageErrors errors_;
  std::unique_ptr<py::error_already_set> raised_;
};

// The folder of `out=` (str or os.PathLike; None: no folder). Its files
// are staged and published together (io::OutputFolder).
std::unique_ptr<io::OutputFolder> OutFolder(const py::object& out);
// The folder's path as the result dicts give it ("out": None without one).
py::object OutValue(const io::OutputFolder* folder);

// ---- parameters and maps (maps_binding.cpp) ----

// A parameter document from a Python object: a dict in the layout of
// default_params(), or the name of a JSON parameter file. It is checked on
// a copy of `set` (default: the default roster): refusals raise ValueError
// naming the key, and nothing is changed.
io::Json ParamsDocument(const py::handle& params, const CLandUseSet* set = nullptr);
// Applies such an object (None: nothing) to the set.
void ApplyPythonParams(const py::handle& params, CLandUseSet& set);
py::object SetToPython(const CLandUseSet& set);

// A Python value (dicts, lists, numbers, texts; NumPy scalars and arrays as
// the numbers and lists they hold) as JSON; ValueError naming `what` for
// anything else.
io::Json JsonOf(const py::handle& value, const std::string& what);

// Class schemes for comparisons: a dict in the layout of a class file, or
// the name of one; ValueError naming the key.
ClassScheme ClassesArgument(const py::handle& classes);

// File names: str or os.PathLike.
bool IsPath(const py::handle& x);
std::string PathArgument(const py::handle& path);

// A map argument: a 2-D array of IDs, a Simulation (its current state) or
// a file name, its IDs copied into `cov`, linked to `set` (at least 5 x 5
// cells; rows and cols are the map's own size). Bad maps raise ValueError
// (OSError for files).
struct MapInfo {
  int rows = 0, cols = 0;
  std::string path;  // the file read ("" for an array or a Simulation)
  std::string kind;  // "an array", "a Simulation" or the file's name as given
  io::GeoInfo geo;   // where the map lies (a file's, a Simulation's)
};
MapInfo MapArgument(const py::handle& arg, const char* what, CLandUseSet& set,
                    CLandUseCoverage& cov);
// The map arguments of calibrate(): the map and its own size.
struct MapData {
  CLandUseCoverage cov;
  int rows = 0, cols = 0;
};
void MapArgument(const py::handle& arg, const char* what, CLandUseSet& set, MapData& out);
// The same for a map that must have rows x cols cells: a file of another
// size is refused before it is read (OSError), another array or
// Simulation raises ValueError ("<what>: the map has R x C cells, <whose>
// r x c").
MapInfo MapOfSize(const py::handle& arg, const char* what, int rows, int cols, const char* whose,
                  CLandUseSet& set, CLandUseCoverage& cov);

void BindMaps(py::module_& m);

// ---- the simulation (simulation_state.cpp, simulation_binding.cpp) ----

// The Python Simulation: the driver, its own set, where its maps lie, the
// background, and who is using it.
struct PySimulation {
  std::unique_ptr<CLandUseSet> set;
  std::unique_ptr<Simulation> sim;
  io::GeoInfo geo;         // of the last map loaded; CRS of crs=
  bool mapLoaded = false;  // the state came from a map file: its cells have a size
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

// ---- the functions that have a command ----
// grow (grow_binding.cpp), ensemble (ensemble_binding.cpp), compare
// (compare_binding.cpp), calibrate (calibrate_binding.cpp), prepare
// (prepare_binding.cpp).

void BindGrow(py::module_& m);
void BindEnsemble(py::module_& m);
void BindCompare(py::module_& m);
void BindCalibrate(py::module_& m);
void BindPrepare(py::module_& m);

// The default of a command's option as its table gives it (a negated
// flag's: the keyword's value, png=True for --no-png).
template <class T, class O>
T OptionDefault(jobs::OptionTable (*table)(O&, jobs::HostOptions&), const std::string& stem) {
  O options{};
  jobs::HostOptions host;
  const T* value = nullptr;
  table(options, host)([&](const jobs::Option& o, jobs::OptionField field) {
    if (stem == o.stem) value = std::get<T*>(field);
  });
  if (value == nullptr) throw std::logic_error(stem + ": no such option");
  return *value;
}

}  // namespace towngrow::python
