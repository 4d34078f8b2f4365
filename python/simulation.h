// The functions behind towngrow.Simulation's methods and properties
// (simulation_state.cpp), bound with their docstrings in
// simulation_binding.cpp.
#pragma once

#include <memory>
#include <string>

#include "module.h"

namespace towngrow::python {

std::unique_ptr<PySimulation> Make(int rows, int cols, const py::object& params);
// A NumPy view of the IDs (or the ages) that keeps the simulation alive.
py::array View(const py::object& self, bool ages);
py::dict ReportDict(const PySimulation& s);
long RunSteps(PySimulation& s, long steps, const py::object& callback);
void RandomFill(PySimulation& s);
void Load(PySimulation& s, const py::object& file, int band, bool lenient);
void Save(PySimulation& s, const py::object& file);
void SetBackground(PySimulation& s, const py::object& bg);
py::object Background(PySimulation& s);
std::string Crs(PySimulation& s);
void SetCrs(PySimulation& s, const std::string& text);

}  // namespace towngrow::python
