// The town a run starts from, as every job and host builds it: the
// land-use set (the default roster, then the parameter file), the grid size
// (given, or fitted to a start file), where the output maps lie, the start
// (the built-in town, the sparse random start, or a map file) and the
// background. A run of an ensemble, a calibration's run and a lone run with
// the same options start from the same state.
//
// Order (fixed, so that a seed repeats a run): the set is built, the
// coverage is sized, the generator is seeded, the start is placed, the
// background is read.
#pragma once

#include <string>

#include <towngrow/grid/coverage.h>
#include <towngrow/landuse/land_use_set.h>
#include <towngrow/scenario.h>

#include "io/gdal_raster.h"
#include "io/grid_header.h"
#include "io/json_file.h"
#include "io/message_log.h"
#include "io/scenario_files.h"

namespace towngrow::io {

struct TownOptions {
  int rows = 200;
  int cols = 200;
  bool sizeGiven = false;  // rows or cols given: not fitted to a start file
  long steps = 100;
  unsigned int seed = 1;
  std::string start = "town";  // "town", "random", a file name; empty: a state a host gives
  std::string background;      // file name or empty
  std::string schedule;        // schedule file (io/scenario_files.h) or empty
  std::string suitability;     // suitability raster or empty
  std::string params;          // file name or empty
  Json paramsGiven;            // a parameter document a host gives (null: none), after `params`
  std::string crs;             // as given (empty: the start file's)
  MapReadOptions maps;         // how the start, background and other maps are read
};

struct TownSetup {
  CLandUseSet set;
  int rows = 0;
  int cols = 0;
  bool fromFile = false;  // the start is a file (not "town" or "random")
  GridFileInfo startInfo;
  GeoInfo geo;              // where the output maps lie: the start file's, the CRS of `crs`
  LoadedScenario scenario;  // the schedule and suitability, once loaded
  bool hasScenario = false;
};

// Refuses a grid size the coverage does not take (each side 5 to 10000).
void CheckGridSize(long long rows, long long cols);

// Checks the steps, applies the parameter file and the document given, reads
// the start file's header, fixes the size and where the output maps lie.
// Throws io::Error.
void PrepareTown(const TownOptions& options, TownSetup& setup);

// Refuses a sparse random start with a set that lacks one of the IDs 0 to
// 5 it places.
void CheckRandomStartIds(const CLandUseSet& set);

// Seeds the generator with `seed` and places the start into `cov` (sized
// to setup's rows and columns, values 0, linked to a set). Throws
// io::Error. A start file holding IDs that no land use of the set has
// gives a warning to the log (those cells never change).
void PlaceStart(const TownOptions& options, const TownSetup& setup, unsigned int seed,
                CLandUseCoverage& cov, MessageLog& log);

// "<path>: N cells hold IDs that no land use has (3, 9, ...); those cells
// never change", or "" when every cell's ID has a land use.
std::string UnknownIdsWarning(const std::string& path, const CLandUseCoverage& cov,
                              const CLandUseSet& set);

// The options' background, if one is given; false when there is none.
bool LoadBackground(const TownOptions& options, TownSetup& setup, CLandUseCoverage& background,
                    MessageLog& log);

// The options' schedule and suitability, if any is given, into
// setup.scenario (for setup's size and set, a run of the options' steps);
// the scenario for the driver, or null when there is none.
const Scenario* LoadTownScenario(const TownOptions& options, TownSetup& setup, MessageLog& log);

}  // namespace towngrow::io
