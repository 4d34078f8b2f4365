// The options of every command, one table each: an option's name, kind,
// range, choices and help. From the tables come the program's command
// line, the lines that repeat a job, the checks of the values, the names
// errors give in each host's own spelling and the options a host lists.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "jobs/calibrate.h"
#include "jobs/compare.h"
#include "jobs/ensemble.h"
#include "jobs/grow.h"

namespace towngrow::jobs {

enum class OptionKind {
  Flag,      // given or not
  Number,    // a whole or real number within [min, max]
  Text,      // a word, one of `choices` when there are any
  File,      // a file or folder name (written absolute in repeat lines)
  MapSteps,  // MAP:STEPS (the map written absolute)
};

struct Option {
  Option(const char* stem, OptionKind kind, const char* help, double min = 0, double max = -1,
         std::vector<std::string> choices = {})
      : stem(stem), kind(kind), help(help), min(min), max(max), choices(std::move(choices)) {}
  // The same option with one property changed.
  Option Keyword(const char* name) const;  // Python's keyword
  Option Positional() const;
  Option Required() const;
  Option Display() const;  // not repeated
  Option Negated() const;

  const char* stem;  // "max-points": the program's --max-points
  OptionKind kind;
  const char* help;
  double min, max;                   // a number's range (min > max: any)
  std::vector<std::string> choices;  // the words a text may be (none: any)
  const char* python = nullptr;      // Python's keyword when not the stem's
  bool positional = false;           // a word in its place, not a named option
  bool required = false;             // the program refuses a command line without it
  bool repeated = true;              // written in repeat lines (not so a display option)
  bool negated = false;              // a flag that sets its value false (--no-png: png)
};

// Where an option's value lies.
using OptionField = std::variant<bool*, int*, long*, unsigned int*, double*, std::string*,
                                 std::vector<std::string>*, CalibrationMethod*>;
using OptionVisit = std::function<void(const Option&, OptionField)>;
// Calls the visit with every option of a command and where its value lies.
using OptionTable = std::function<void(const OptionVisit&)>;

// What a host keeps for itself: the output folder, no progress and no
// summary, and a calibration's resumption.
struct HostOptions {
  std::string out;
  bool quiet = false;
  bool resume = false;
};

// The tables, one per command.
OptionTable RunTable(GrowOptions& options, HostOptions& host);
OptionTable EnsembleTable(EnsembleOptions& options, HostOptions& host);
OptionTable CalibrateTable(CalibrateOptions& options, HostOptions& host);
OptionTable CompareTable(MapComparisonOptions& options, HostOptions& host);
OptionTable PrepareTable(std::string& recipe, HostOptions& host);

// The commands on one map file: params, convert, info and render.
struct FileOptions {
  std::string in, out;  // the file read, the file written
  std::string params, crs, extent = "town";
  int scale = 0;
  bool space = false;  // params: the space file of every field
  io::MapReadOptions maps;
};
OptionTable FileTable(const std::string& command, FileOptions& options);

// Every option of a command ("run", "ensemble", "calibrate", "compare",
// "prepare" and the file commands) with its default as the words a repeat
// line holds; throws io::Error for another command.
struct OptionEntry {
  Option option;
  std::vector<std::string> defaults;
};
std::vector<OptionEntry> CommandOptions(const std::string& command);

// The words of a value: none for an empty text, a list's items, "true" or
// nothing for a flag (negated: set when the value is false).
std::vector<std::string> ValueWords(const Option& option, OptionField field);

// "towngrow <command>" and every option that repeats, with its value in
// force: files absolute, words quoted for a shell where needed.
std::string RepeatLine(const std::string& command, const OptionTable& table);

// Refuses a number out of its range or a text not among its choices, with
// an io::Error naming the option in the host's spelling.
void CheckOptionValues(const OptionTable& table);

// How a host names options in its messages: the program "--max-points",
// Python "max_points=", QGIS "MAX_POINTS".
enum class Spelling { Program, Python, Qgis };
void SetSpelling(Spelling spelling);
std::string Spelled(const Option& option);
// The option of that stem, of any command, as the host spells it, and as
// the program does (for the files every host writes alike).
std::string Spelled(const std::string& stem);
std::string ProgramOption(const std::string& stem);

// The names of the methods, in CalibrationMethod's order.
const std::vector<std::string>& MethodNames();
const std::string& MethodName(CalibrationMethod method);
// The method of a name; io::Error naming the option otherwise.
CalibrationMethod MethodNamed(const std::string& name);

}  // namespace towngrow::jobs
