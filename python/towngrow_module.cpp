// The Python module `towngrow`.
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include "io/error.h"
#include "jobs/options.h"
#include "module.h"

namespace py = pybind11;
using namespace towngrow::python;

PYBIND11_MODULE(towngrow, m) {
  m.doc() = R"doc(Grow a town on a raster of land-use cells, with NumPy arrays.

Streets grow out of street nodes; housing, industry and commerce settle near
streets by neighbourhood rules; cells age, stop growing and are abandoned.
Every random choice comes from one seeded generator per thread, so a run with
the same seed repeats exactly, and repeats ``towngrow run``::

    import towngrow
    towngrow.seed(1)
    sim = towngrow.Simulation(200, 200)
    sim.place_starter_town()
    sim.run(100)
    ids = sim.ids            # uint8 view (rows, cols): 0 vacant, 1 street node,
                             # 2 street vertex, 3 housing, 4 industry, 5 commerce
    sim.save("town.tif")

Classes and functions: :class:`Simulation`, :func:`seed`,
:func:`default_params`, :func:`set_message_handler`, :class:`TowngrowWarning`;
the commands of the program, through the same code: :func:`grow`
(``towngrow run``), :func:`ensemble`, :func:`compare`, :func:`calibrate`,
:func:`prepare`, each writing the command's files with ``out=``. The library's errors
arrive as ``ValueError`` (bad input), ``OSError`` (files) and ``MemoryError``.)doc";
  m.attr("__version__") = towngrow::Version();

  towngrow::jobs::SetSpelling(towngrow::jobs::Spelling::Python);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const towngrow::FileError& e) {
      PyErr_SetString(PyExc_OSError, e.what());
    } catch (const FileFailure& e) {
      PyErr_SetString(PyExc_OSError, e.what());
    } catch (const towngrow::io::Error& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });

  m.def(
      "seed", [](const py::int_& value) { towngrow::SeedRandom(SeedArgument(value, "seed")); },
      py::arg("n"),
      R"doc(Seeds the calling thread's random generator (as ``towngrow run --seed n``).

Each thread has its own generator (state 1 until seeded): steps, fills and
starts drawn on a thread use that thread's. ``n`` is 0 to 4294967295.)doc");

  m.def(
      "options",
      [](const std::string& command) {
        py::list list;
        for (const towngrow::jobs::OptionEntry& e : towngrow::jobs::CommandOptions(command)) {
          const towngrow::jobs::Option& o = e.option;
          py::dict d;
          d["stem"] = o.stem;
          d["keyword"] = o.python != nullptr ? o.python : o.stem;
          d["kind"] = std::vector<const char*>{"flag", "number", "text", "file",
                                               "map:steps"}[static_cast<std::size_t>(o.kind)];
          d["default"] = e.defaults;
          d["range"] = o.min <= o.max ? py::object(py::make_tuple(o.min, o.max)) : py::none();
          d["choices"] = o.choices;
          d["help"] = o.help;
          d["negated"] = o.negated;
          list.append(d);
        }
        return list;
      },
      py::arg("command"),
      R"doc(The options of a command of the program (``"run"``, ``"ensemble"``, ``"calibrate"``, ``"compare"``, ``"prepare"``), in its order: a list of dicts ``stem`` (the program's ``--stem``), ``keyword`` (the stem as the functions' keywords spell it, ``-`` read as ``_``), ``kind`` (``flag``, ``number``, ``text``, ``file``, ``map:steps``), ``default`` (the words of the default; none for a flag not given or no file), ``range`` (``(min, max)`` of a number, or ``None``), ``choices``, ``help`` and ``negated`` (a flag that sets its keyword false, as ``--no-fuzzy`` sets ``fuzzy``).)doc");

  BindMessages(m);
  BindMaps(m);
  BindSimulation(m);
  BindGrow(m);
  BindEnsemble(m);
  BindCompare(m);
  BindCalibrate(m);
  BindPrepare(m);
}
