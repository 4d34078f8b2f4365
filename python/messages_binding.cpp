// The library's messages in Python, and the program's map files under one
// lock.
//
// One process-wide handler (Dispatch) is installed for the module's life.
// A message goes, with the GIL taken, to the callback given to
// set_message_handler, or else to warnings.warn as a TowngrowWarning;
// messages of ensemble workers take the same way from their own threads.
// While a thread reads or writes a map file through the program's code, its
// messages go to the program's message log instead (which explains a
// refused file); they reach Python once the file operation succeeded.
#include <cstdio>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/message_log.h"
#include "module.h"

namespace towngrow::python {
namespace {

// Owned by the module for the process's life (never destroyed: the handler
// may still be called from a thread while the interpreter shuts down).
py::object* g_callback = nullptr;  // set_message_handler's callable, or None
py::object* g_warning = nullptr;   // towngrow.TowngrowWarning
std::atomic<bool> g_pythonAlive{false};
io::MessageLog* g_log = nullptr;  // the program's log, for map files
MessageHandler g_logReceive;      // its receiving handler
std::mutex g_fileMutex;           // one map file operation at a time

thread_local MessageErrors* t_errors = nullptr;
thread_local std::vector<std::string>* t_capture = nullptr;  // map file messages

void ToPython(const std::string& text) {
  py::gil_scoped_acquire gil;
  try {
    if (g_callback != nullptr && !g_callback->is_none()) {
      (*g_callback)(text);
    } else {
      py::module_::import("warnings").attr("warn")(text, *g_warning, 1);
    }
  } catch (py::error_already_set& e) {
    if (t_errors != nullptr && !t_errors->error) {
      t_errors->error = std::make_unique<py::error_already_set>(std::move(e));
    } else {
      e.discard_as_unraisable("towngrow message handler");
    }
  }
}

void Dispatch(const std::string& text) {
  if (t_capture != nullptr) {
    g_logReceive(text);
    t_capture->push_back(text);
    return;
  }
  if (!g_pythonAlive.load()) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return;
  }
  ToPython(text);
}

}  // namespace

MessageErrors::MessageErrors() : outer_(t_errors) { t_errors = this; }
MessageErrors::~MessageErrors() { t_errors = outer_; }

void MessageErrors::Rethrow() {
  if (!error) return;
  std::unique_ptr<py::error_already_set> e = std::move(error);
  e->restore();
  throw py::error_already_set();
}

void WithMapFiles(const std::function<void(io::MessageLog& log)>& work) {
  std::vector<std::string> messages;
  std::string failure;
  {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(g_fileMutex);
    t_capture = &messages;
    try {
      work(*g_log);
    } catch (const io::Error& e) {
      failure = e.what();
    } catch (const FileError& e) {
      failure = e.what();
    } catch (...) {
      t_capture = nullptr;
      throw;
    }
    t_capture = nullptr;
  }
  if (!failure.empty()) {
    PyErr_SetString(PyExc_OSError, failure.c_str());
    throw py::error_already_set();
  }
  for (const std::string& text : messages) ToPython(text);
}

void BindMessages(py::module_& m) {
  g_warning = new py::object(py::reinterpret_steal<py::object>(
      PyErr_NewExceptionWithDoc("towngrow.TowngrowWarning",
                                "The category of the library's messages when they are shown "
                                "through the warnings module.",
                                PyExc_UserWarning, nullptr)));
  m.attr("TowngrowWarning") = *g_warning;
  g_callback = new py::object(py::none());

  if (g_log == nullptr) {
    g_log = new io::MessageLog();                 // installs its own handler ...
    g_logReceive = SetMessageHandler(&Dispatch);  // ... which Dispatch calls for map files
  }
  g_pythonAlive = true;
  // Messages after the interpreter's end go to standard error.
  py::module_::import("atexit").attr("register")(py::cpp_function([]() { g_pythonAlive = false; }));

  m.def(
      "set_message_handler",
      [](py::object handler) {
        if (!handler.is_none() && !PyCallable_Check(handler.ptr()))
          throw py::type_error("set_message_handler takes a callable or None");
        py::object previous = *g_callback;
        *g_callback = std::move(handler);
        return previous;
      },
      py::arg("handler"),
      R"doc(Sends the library's messages to ``handler`` and returns the handler it replaces.

The library shows a few fixed texts: exhausted memory, refused files, and the
notices "Yes,You have changed the setting,.." (a rule wrote an ID that differs
from the default roster's). ``handler(text)`` is called once per message, with
the GIL held, from the thread that showed it (for an ensemble, its worker
threads). With ``None`` (the default) each message goes to ``warnings.warn``
as a :class:`TowngrowWarning`, so the usual warning filters apply. An exception
raised by the handler ends the call that showed the message (after its
current step) and is raised from it; on a worker thread it is printed as an
unraisable exception.

The handler is process-wide, like the library's.)doc");
}

}  // namespace towngrow::python
