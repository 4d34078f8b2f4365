// The layer's jobs called from Python: progress, stopping, errors and the
// output folder.
#include <exception>

#include "io/error.h"
#include "module.h"

namespace towngrow::python {
namespace {

// Thrown through the job by its progress hook once it must stop; the
// reason waits in the JobCall.
struct Stop : std::exception {};

}  // namespace

JobCall::JobCall(py::object progress) : progress_(std::move(progress)) {
  if (!progress_.is_none() && !PyCallable_Check(progress_.ptr()))
    throw py::type_error("progress must be a callable or None");
}

jobs::Progress JobCall::Progress() {
  return [this](const jobs::ProgressReport& report) {
    if (report.total == 0) return;  // a stage of work, not counted
    py::gil_scoped_acquire gil;
    if (!raised_ && !errors_.error) try {
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (!progress_.is_none()) progress_(report.done, report.total);
      } catch (py::error_already_set& e) {
        raised_ = std::make_unique<py::error_already_set>(std::move(e));
      }
    if (raised_ || errors_.error) throw Stop();
  };
}

void JobCall::Run(const std::function<void()>& work) {
  std::string failure;
  {
    py::gil_scoped_release release;
    try {
      work();
    } catch (const Stop&) {
    } catch (const io::Error& e) {
      failure = e.what();
    } catch (const FileError& e) {
      failure = e.what();
    }
  }
  if (raised_) {
    std::unique_ptr<py::error_already_set> e = std::move(raised_);
    e->restore();
    throw py::error_already_set();
  }
  errors_.Rethrow();
  if (!failure.empty()) throw FileFailure(failure);
}

std::unique_ptr<io::OutputFolder> OutFolder(const py::object& out) {
  if (out.is_none()) return nullptr;
  return std::make_unique<io::OutputFolder>(PathArgument(out));
}

py::object OutValue(const io::OutputFolder* folder) {
  return folder != nullptr ? py::object(py::str(folder->Path())) : py::object(py::none());
}

unsigned int SeedArgument(const py::int_& value, const char* what) {
  const long long v = value.cast<long long>();
  if (v < 0 || v > 4294967295LL)
    throw py::value_error(std::string(what) + " must be 0 to 4294967295, got " + std::to_string(v));
  return static_cast<unsigned int>(v);
}

void ScenarioArguments(const py::object& schedule, const py::object& suitability,
                       io::TownOptions& town) {
  for (const auto& [arg, name, into] :
       {std::tuple{&schedule, "schedule", &town.schedule},
        std::tuple{&suitability, "suitability", &town.suitability}}) {
    if (arg->is_none()) continue;
    if (!IsPath(*arg)) throw py::type_error(std::string(name) + " must be a file name or None");
    *into = PathArgument(*arg);
  }
}

const Scenario* LoadScenarioFiles(const io::TownOptions& town, io::TownSetup& setup) {
  const Scenario* scenario = nullptr;
  WithMapFiles([&] { scenario = io::LoadTownScenario(town, setup, Log()); });
  return scenario;
}

}  // namespace towngrow::python
