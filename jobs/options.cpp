#include "jobs/options.h"

#include <atomic>
#include <cctype>
#include <map>
#include <type_traits>

#include "io/error.h"
#include "io/result_text.h"

namespace towngrow::jobs {
namespace {

using K = OptionKind;

std::atomic<Spelling> spelling{Spelling::Program};

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string NumberWord(double v) { return ValueText(v); }

}  // namespace

Option Option::Keyword(const char* name) const {
  Option o = *this;
  o.python = name;
  return o;
}
Option Option::Positional() const {
  Option o = *this;
  o.positional = true;
  return o;
}
Option Option::Required() const {
  Option o = *this;
  o.required = true;
  return o;
}
Option Option::Display() const {
  Option o = *this;
  o.repeated = false;
  return o;
}
Option Option::Negated() const {
  Option o = *this;
  o.negated = true;
  return o;
}

std::vector<OptionEntry> CommandOptions(const std::string& command) {
  GrowOptions grow;
  EnsembleOptions ensemble;
  CalibrateOptions calibrate;
  MapComparisonOptions compare;
  std::string recipe;
  HostOptions host;
  const std::map<std::string, OptionTable> tables = {{"run", RunTable(grow, host)},
                                                     {"ensemble", EnsembleTable(ensemble, host)},
                                                     {"calibrate", CalibrateTable(calibrate, host)},
                                                     {"compare", CompareTable(compare, host)},
                                                     {"prepare", PrepareTable(recipe, host)}};
  FileOptions file;
  const auto table = tables.find(command);
  std::vector<OptionEntry> entries;
  (table != tables.end() ? table->second
                         : FileTable(command, file))([&entries](const Option& o, OptionField f) {
    entries.push_back({o, ValueWords(o, f)});
  });
  return entries;
}

std::vector<std::string> ValueWords(const Option& option, OptionField field) {
  return std::visit(
      Overloaded{[&option](bool* b) {
                   return *b != option.negated ? std::vector<std::string>{"true"}
                                               : std::vector<std::string>{};
                 },
                 [](double* d) { return std::vector<std::string>{NumberWord(*d)}; },
                 [](std::string* s) {
                   return s->empty() ? std::vector<std::string>{} : std::vector<std::string>{*s};
                 },
                 [](std::vector<std::string>* list) { return *list; },
                 [](CalibrationMethod* m) { return std::vector<std::string>{MethodName(*m)}; },
                 [](auto* n) { return std::vector<std::string>{std::to_string(*n)}; }},
      field);
}

std::string RepeatLine(const std::string& command, const OptionTable& table) {
  std::string line = "towngrow " + command;
  table([&line](const Option& o, OptionField f) {
    if (!o.repeated) return;
    for (std::string word : ValueWords(o, f)) {
      if (o.kind == K::File) word = io::AbsolutePath(word);
      const std::size_t colon = word.rfind(':');
      if (o.kind == K::MapSteps && colon != std::string::npos)
        word = io::AbsolutePath(word.substr(0, colon)) + word.substr(colon);
      if (!o.positional) line += std::string(" --") + o.stem;
      if (o.kind != K::Flag) line += " " + io::ShellWord(word);
    }
  });
  return line;
}

void CheckOptionValues(const OptionTable& table) {
  table([](const Option& o, OptionField f) {
    if (o.kind == K::Number && o.min <= o.max) {
      const double value = std::visit(
          [](auto* v) -> double {
            if constexpr (std::is_arithmetic_v<std::remove_pointer_t<decltype(v)>>)
              return static_cast<double>(*v);
            return 0;
          },
          f);
      if (!(value >= o.min && value <= o.max))
        throw io::Error(Spelled(o) + " must be from " + NumberWord(o.min) + " to " +
                        NumberWord(o.max) + ", not " + NumberWord(value));
    }
    if (o.choices.empty() || std::holds_alternative<CalibrationMethod*>(f)) return;
    for (const std::string& word : ValueWords(o, f)) {
      bool known = false;
      std::string list;
      for (const std::string& c : o.choices) {
        known = known || c == word;
        list += (list.empty() ? "" : ", ") + c;
      }
      if (!known) throw io::Error(Spelled(o) + " " + word + ": not one of " + list);
    }
  });
}

void SetSpelling(Spelling s) { spelling = s; }

std::string Spelled(const Option& o) {
  std::string python = o.python != nullptr ? o.python : o.stem;
  for (char& c : python)
    if (c == '-') c = '_';
  switch (spelling.load()) {
    case Spelling::Python:
      return python + "=";
    case Spelling::Qgis:
      for (char& c : python) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return python;
    case Spelling::Program:
      break;
  }
  if (!o.positional) return std::string("--") + o.stem;
  std::string word = o.stem;
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word;
}

std::string Spelled(const std::string& stem) {
  for (const char* command : {"calibrate", "ensemble", "run", "compare", "prepare", "render"})
    for (const OptionEntry& e : CommandOptions(command))
      if (stem == e.option.stem) return Spelled(e.option);
  throw io::Error(stem + ": no such option");
}

std::string ProgramOption(const std::string& stem) {
  Spelled(stem);  // refuses a stem no table has
  return "--" + stem;
}

const std::vector<std::string>& MethodNames() {
  static const std::vector<std::string> names = {"grid",   "refine", "lhs",
                                                 "morris", "cmaes",  "nsga2"};
  return names;
}

const std::string& MethodName(CalibrationMethod method) {
  return MethodNames().at(static_cast<std::size_t>(method));
}

CalibrationMethod MethodNamed(const std::string& name) {
  const std::vector<std::string>& names = MethodNames();
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<CalibrationMethod>(i);
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
  throw io::Error(Spelled("method") + " " + name + ": not one of " + list);
}

}  // namespace towngrow::jobs
