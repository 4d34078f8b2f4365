// `towngrow run`: grows a town and writes everything a person or a GIS
// needs into one folder.
//
// Order of a run (fixed, so that a seed repeats a run): the land-use set is
// built (default roster, then the parameter file), the coverage is sized,
// the generator is seeded, the start is placed (built-in town, the sparse
// random start, or a file), the background is read, then the steps run.
//
// Outputs, each written under a temporary name and renamed when complete:
//   final.asc           the end state (with final.prj when the CRS is known)
//   final.tif           the end state as a GeoTIFF (and final.tif.aux.xml):
//                       the start's georeference and CRS, the land uses'
//                       colours and names
//   step-NNNN.<ext>     snapshots in each --format at step 0 and every
//                       --every steps (NNNN: the step, at least 4 digits)
//   final.png           the map of the end state (title, legend, scale bar
//                       when the start file gives the cell size)
//   growth.gif          one frame at step 0 and every --every steps, each
//                       with its step number and a legend strip; with
//                       --extent town (the default) every frame shows the
//                       area developed in any frame plus a margin
//   growth.png          cells per land use over the steps (vacant land left
//                       out), linear or log scale (--chart-scale)
//   stats.csv           per step: cells of each land use of the set, cells
//                       of IDs no land use has, developments per land use
//   report.html         one page with the pictures inline, the cells per
//                       land use at the end and the command that repeats
//                       the run (opens with no network)
//   run.json            the parameters in force (the --params layout) and
//                       a "run" record: version, seed, steps, size, start,
//                       background, every and a command line that repeats it
//
// The start, size, parameters, background and steps are shared with
// `towngrow ensemble`: both build their model with PrepareTown, PlaceStart
// and LoadBackground below, so a run of an ensemble and a lone run with the
// same options start from the same state.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "io/grid_files.h"
#include "io/message_log.h"
#include "io/params_json.h"
#include "report/report.h"

namespace towngrow::jobs {

struct RunOptions {
  int rows = 200;
  int cols = 200;
  bool sizeGiven = false;  // --rows or --cols given: not fitted to a start file
  long steps = 100;
  unsigned int seed = 1;
  std::string start = "town";  // "town", "random" or a file name
  std::string background;      // file name or empty
  std::string params;          // file name or empty
  std::string out = "towngrow-out";
  std::string crs;  // --crs as given (empty: the start file's)
  long every = 1;
  std::vector<std::string> formats;  // asc, e00, flt, xya, tif
  bool png = true;
  bool gif = true;
  std::string extent = "town";        // what the pictures show: "town" or "full"
  std::string chartScale = "linear";  // the charts' y axis: "linear" or "log"
  bool quiet = false;
};

// The report's table of cells per land use (name, ID, cells, share).
report::ReportTable LandUseTable(const CLandUseSet& set, const CLandUseCoverage& cov);

// Runs; throws AppError on bad input. `out` receives the closing summary.
void RunTown(const RunOptions& options, std::FILE* out);

// What a run is built from before its first step: the land-use set (the
// default roster, then the parameter file), the grid size (given, or fitted
// to a start file) and what the start file holds.
struct TownSetup {
  CLandUseSet set;
  int rows = 0;
  int cols = 0;
  bool fromFile = false;  // the start is a file (not "town" or "random")
  io::GridFileInfo startInfo;
  io::GeoInfo geo;  // where the output maps lie: the start file's, the CRS of --crs
};

// Checks the steps, reads the parameter file and the start file's header,
// fixes the size and where the output maps lie. Throws AppError.
void PrepareTown(const RunOptions& options, TownSetup& setup);

// Seeds the generator with `seed` and places the start into `cov` (sized
// to setup's rows and columns, values 0, linked to a set). Throws AppError.
// A start file holding IDs that no land use of the set has gets a one-line
// warning on standard error (those cells never change).
void PlaceStart(const RunOptions& options, const TownSetup& setup, unsigned int seed,
                CLandUseCoverage& cov, io::MessageLog& log);

// Reads the background file (if one is given) into `background`, sized to
// the town and linked to setup's set; its no-data cells allow nothing (0).
// False when there is none.
bool LoadBackground(const RunOptions& options, TownSetup& setup, CLandUseCoverage& background,
                    io::MessageLog& log);

// The record that run.json keeps beside the parameters: version, seed,
// steps, size, start and background (files as absolute paths).
io::Json RunRecord(const RunOptions& options, const TownSetup& setup);

// The options that repeat the start, size, steps, seed and background of
// a run, as shell words: " --rows R --cols C --steps N --seed S --start X"
// and " --background B", " --band N", " --lenient", " --crs C" when given.
std::string RepeatOptions(const RunOptions& options, const TownSetup& setup);

// A path as an absolute, normalised path (unchanged if that fails), and a
// word quoted for a POSIX shell when it needs it.
std::string AbsolutePath(const std::string& path);
std::string ShellWord(const std::string& word);

// A field of a CSV line, quoted when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);

}  // namespace towngrow::jobs
