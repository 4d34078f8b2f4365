// The library's messages in Python.
//
// The module's io::MessageLog (the layer's thread-safe log) takes every
// message of the library first, from any thread: it counts them and keeps
// what a thread showed inside a capture window, from which the layer
// explains a refused file in one line. Each message then goes on, with the
// GIL taken, to the callback given to set_message_handler, or else to
// warnings.warn as a TowngrowWarning, on the thread that showed it
// (ensemble workers too). The layer's own warnings (a map holding IDs no
// land use has) go to warnings.warn.
#include <cstdio>

#include "io/error.h"
#include "module.h"

namespace towngrow::python {
namespace {

// Owned by the module for the process's life (never destroyed: a message
// may still come from a thread while the interpreter shuts down).
py::object* g_callback = nullptr;  // set_message_handler's callable, or None
py::object* g_warning = nullptr;   // towngrow.TowngrowWarning
std::atomic<bool> g_pythonAlive{false};
io::MessageLog* g_log = nullptr;
MessageHandler g_logReceive;  // the log's own handler

thread_local MessageErrors* t_errors = nullptr;

// A message (or, with `warning`, a warning of the layer) to Python.
void ToPython(const std::string& text, bool warning) {
  if (!g_pythonAlive.load()) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return;
  }
  py::gil_scoped_acquire gil;
  try {
    if (!warning && !g_callback->is_none()) {
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
  g_logReceive(text);
  ToPython(text, false);
}

}  // namespace

io::MessageLog& Log() { return *g_log; }

MessageErrors::MessageErrors() : outer_(t_errors) { t_errors = this; }
MessageErrors::~MessageErrors() { t_errors = outer_; }

void MessageErrors::Rethrow() {
  if (!error) return;
  std::unique_ptr<py::error_already_set> e = std::move(error);
  e->restore();
  throw py::error_already_set();
}

void WithMapFiles(const std::function<void()>& work) {
  MessageErrors errors;
  {
    py::gil_scoped_release release;
    try {
      work();
    } catch (const io::Error& e) {
      throw FileFailure(e.what());
    } catch (const FileError& e) {
      throw FileFailure(e.what());
    }
  }
  errors.Rethrow();
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
    g_log = new io::MessageLog([](const std::string& text) { ToPython(text, true); });
    g_logReceive = SetMessageHandler(&Dispatch);  // the log first, then Python
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

The library shows a few fixed texts: exhausted memory, values a map reader
refuses, and the notices "Yes,You have changed the setting,.." (a rule wrote
an ID that differs from the default roster's). ``handler(text)`` is called
once per message, with the GIL held, from the thread that showed it (for an
ensemble, its worker threads). With ``None`` (the default) each message goes
to ``warnings.warn`` as a :class:`TowngrowWarning`, so the usual warning
filters apply. An exception raised by the handler ends the call that showed
the message (after its current step) and is raised from it; on a worker
thread it is printed as an unraisable exception. A map file that is refused
raises ``OSError`` whose one line names the file and what is wrong (the
message that explains it, when the library showed one).

Warnings of the module itself (a map holding IDs no land use has) always go
to ``warnings.warn``. The handler is process-wide, like the library's.)doc");
}

}  // namespace towngrow::python
