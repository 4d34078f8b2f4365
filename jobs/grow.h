// `towngrow run`: grows a town and writes everything a person or a GIS
// needs into one folder.
//
// Outputs (all published together when the run ends; a failure or an
// interrupted run leaves none of them):
//   final.asc           the end state (with final.prj when the CRS is known)
//   final.tif           the end state as a GeoTIFF (and final.tif.aux.xml):
//                       the start's georeference and CRS, the land uses'
//                       colours and names
//   step-NNNN.<ext>     snapshots in each format at step 0 and every
//                       `every` steps (NNNN: the step, at least 4 digits)
//   final.png           the map of the end state (title, legend, scale bar
//                       when the start file gives the cell size)
//   growth.gif          one frame at step 0 and every `every` steps, each
//                       with its step number and a legend strip; with the
//                       extent "town" (the default) every frame shows the
//                       area developed in any frame plus a margin
//   growth.png          cells per land use over the steps (vacant land left
//                       out), linear or log scale
//   stats.csv           per step: cells of each land use of the set, cells
//                       of IDs no land use has, developments per land use
//   report.html         one page with the pictures inline, the cells per
//                       land use at the end and the command that repeats
//                       the run (opens with no network)
//   run.json            the parameters in force (the parameter file's
//                       layout) and a "run" record: version, seed, steps,
//                       size, start, background, every and a command line
//                       that repeats it
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <towngrow/grid/coverage.h>
#include <towngrow/simulation.h>

#include "io/message_log.h"
#include "io/output_folder.h"
#include "jobs/hooks.h"
#include "jobs/record.h"
#include "jobs/town.h"

namespace towngrow::jobs {

struct GrowOptions {
  io::TownOptions town;
  long every = 1;                    // a snapshot and a frame every N steps
  std::vector<std::string> formats;  // snapshot formats: asc, e00, flt, xya, tif
  bool png = true;                   // final.png and growth.png
  bool gif = true;                   // growth.gif
  PictureOptions pictures;
};

// A run: its town, the driver holding the end state, and what was recorded
// on the way.
struct Growth {
  Growth();
  ~Growth();
  io::TownSetup setup;
  std::unique_ptr<Simulation> sim;
  CLandUseCoverage background;
  long stepsRun = 0;
  struct Records;  // the step table, the chart's points, the animation
  std::unique_ptr<Records> records;
};

// The most steps a run takes.
constexpr long kMaxSteps = 100000000;

// Refuses options out of range (steps, every, formats, extent, chart
// scale) with an io::Error naming the option; reads no file.
void CheckGrowOptions(const GrowOptions& options);

// The table stats.csv holds: its column names ("step", "<land use> (ID n)
// cells", ..., "other IDs cells", "<land use> (ID n) developments", ...)
// and one row of numbers per step from step 0.
struct StepTable {
  std::vector<std::string> columns;
  std::vector<std::vector<long>> rows;
};
const StepTable& StepStatistics(const Growth& growth);

// Checks the options, builds the town and grows it. With a folder, the
// animation's frames and the snapshots are recorded into it on the way
// (WriteGrowthOutputs adds the rest; nothing appears before the folder is
// published). `progress` sees the steps done. Throws io::Error on bad input.
std::unique_ptr<Growth> GrowTown(const GrowOptions& options, io::MessageLog& log,
                                 const Progress& progress, io::OutputFolder* folder);

// The end state, the pictures, stats.csv, run.json and report.html.
void WriteGrowthOutputs(Growth& growth, const GrowOptions& options, io::OutputFolder& folder);

}  // namespace towngrow::jobs
