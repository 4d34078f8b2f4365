// `towngrow ensemble`: the same town grown many times under different
// seeds, summarised per cell and per step.
//
// Run i (from 0) of an ensemble with seed S and seed step K is exactly a
// lone run with seed S + i*K and the same start, size, parameters,
// background and steps (seeds wrap modulo 2^32): the same end state, bit
// for bit. With the sparse random start every run makes its own start from
// its own seed, on its worker, as a lone run does.
//
// Outputs, all published together when every run is done (a failure
// leaves none of them):
//   <class>.asc    per tracked class (housing, industry, commerce, street
//                  = street node or vertex, developed = any of these), the
//                  percentage of runs that ended with the cell in the class,
//                  as an ASCII grid with the start's georeference
//   <class>.tif    the same as a GeoTIFF (no-data 255, a colour ramp)
//   <class>.png    the same as a heat map from white (0 %) to the class's
//                  colour (100 %), with a colour bar; with the extent "town"
//                  (the default) every heat map shows the cells any run
//                  developed into any class, with a margin
//   ensemble.csv   per step (0 = the start), per land use of the set: the
//                  mean and the sample standard deviation over runs of its
//                  cells (4 decimals; the deviation of one run is 0)
//   ensemble.png   the same as a chart: per land use but vacant land the
//                  mean with a band of one standard deviation each side
//   comparison.json, comparison.csv  with an observed map: every run
//                  compared with it (ensemble_observed.h)
//   report.html    the pictures, the means at the last step and the command
//                  line that repeats the ensemble
//   ensemble.json  the parameters in force and a "run" record as run.json
//                  keeps it, plus runs, seed step and a command line that
//                  repeats the ensemble (the file works as parameters)
//
// Choices of ours:
// - Percent per cell: 100 * count / runs rounded half up (PercentOfRuns).
// - Heat map colour: the colour of the set's first land use of the class's
//   first category (street: the street node's); a class of more than two
//   categories (developed) is drawn in dark grey.
// - The results never depend on the threads, nor on the number of
//   processes: every aggregate is an exact integer sum. Spread over
//   processes, run i goes to process i mod P; the sums are added on process
//   0, which alone writes the outputs.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include <towngrow/compare.h>
#include <towngrow/ensemble.h>
#include <towngrow/grid/coverage.h>
#include <towngrow/scenario.h>

#include "io/message_log.h"
#include "io/output_folder.h"
#include "jobs/ensemble_observed.h"
#include "jobs/hooks.h"
#include "jobs/record.h"
#include "jobs/town.h"

namespace towngrow::jobs {

struct EnsembleOptions {
  io::TownOptions town;  // start, size, parameters, background, steps, seed
  int runs = 0;          // 1 to 65535
  unsigned int seedStep = 1;
  int threads = 0;            // 0: one per processor core
  std::string observed;       // compare every run with this map (empty: none)
  std::string startOfChange;  // start of the observed change (empty: the ensemble's start)
  std::string classes;        // class file of the comparison (empty: the land uses' classes)
  PictureOptions pictures;
};

// What an ensemble grows from, read and checked: the town, and the
// observed map with the start of its change when it is compared.
struct EnsembleTown {
  EnsembleTown();
  ~EnsembleTown();
  io::TownSetup setup;
  CLandUseCoverage start;
  CLandUseCoverage background;
  bool hasBackground = false;
  const Scenario* scenario = nullptr;  // the schedule and suitability (in setup), or none
  bool randomStart = false;            // every run makes its own sparse random start
  bool repeatable = true;              // the options repeat it (a host's own town does not)
  CLandUseCoverage observed, startOfChange;
  std::unique_ptr<EnsembleComparison> comparison;
};

// Refuses options out of range, and a start of change or classes without
// an observed map, with an io::Error naming the option; reads no file.
void CheckEnsembleOptions(const EnsembleOptions& options);

// Reads the town, the observed map and the classes of the options. Throws
// io::Error on bad input.
void ReadEnsembleTown(const EnsembleOptions& options, io::MessageLog& log, EnsembleTown& town);

// Compares every run with `observed` (of the town's size; `startOfChange`
// null: the town's own start unless it is random), in `scheme`'s classes.
void CompareEnsembleWith(EnsembleTown& town, const std::string& observedName,
                         const CLandUseCoverage* startOfChange, const std::string& startName,
                         ClassScheme scheme, int runs);

struct EnsembleOutcome {
  bool root = true;     // this process holds the results (the first of several)
  bool failed = false;  // a process failed (on the others than the first)
  EnsembleResult result;
  double seconds = 0.0;
};

// Grows the runs of this process and joins the sums on the first one.
// `progress` sees this process's runs done. A failure on any process (here
// before the call: `failedBefore`) is rethrown on the first one, which
// names it, and ends the others with `failed` set.
EnsembleOutcome GrowEnsemble(EnsembleTown& town, const EnsembleOptions& options,
                             const Progress& progress, Processes& processes,
                             std::exception_ptr failedBefore = nullptr);

// The maps, tables, pictures, ensemble.json and report.html (on the first
// process).
void WriteEnsembleOutputs(const EnsembleTown& town, const EnsembleOutcome& outcome,
                          const EnsembleOptions& options, io::OutputFolder& folder);

// 100 * count / runs rounded half up (runs at least 1, count 0 to runs).
int PercentOfRuns(unsigned int count, unsigned int runs);

}  // namespace towngrow::jobs
