// `towngrow run`: grows a town and writes everything a person or a GIS
// needs into one folder.
//
// Order of a run (fixed, so that a seed repeats a run): the land-use set is
// built (default roster, then the parameter file), the coverage is sized,
// the generator is seeded, the start is placed (built-in town, the sparse
// random start, or a file), the background is read, then the steps run.
//
// Outputs, each written under a temporary name and renamed when complete:
//   final.asc           the end state
//   step-NNNN.<ext>     snapshots in each --format at step 0 and every
//                       --every steps (NNNN: the step, at least 4 digits)
//   final.png           the map of the end state
//   growth.gif          one frame at step 0 and every --every steps
//   stats.csv           per step: cells of each land use of the set, cells
//                       of IDs no land use has, developments per land use
//   run.json            the parameters in force (the --params layout) and
//                       a "run" record: version, seed, steps, size, start,
//                       background, every and a command line that repeats it
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace towngrow::app {

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
  long every = 1;
  std::vector<std::string> formats;  // asc, e00, flt, xya
  bool png = true;
  bool gif = true;
  bool quiet = false;
};

// Runs; throws AppError on bad input. `out` receives the closing summary.
void RunTown(const RunOptions& options, std::FILE* out);

}  // namespace towngrow::app
