// The files of a scenario: a suitability surface (--suitability) and a
// schedule (--schedule), read into the library's Scenario for a grid of a
// given size.
//
// A suitability raster is any single band GDAL reads, of the grid's size:
// whole numbers 0 to 100 (per cent) or, in a floating-point band, 0 to 1;
// no-data cells are 0 (nothing settles there).
//
// A schedule is a JSON list of entries
//   {"step": N, "layers": [F, ...], "background": F, "suitability": F}
// (every key but "step" optional; paths relative to the schedule's folder):
// at the start of step N (1 or more, one entry per step) the layers are
// painted over the state in turn, the later winning: each is a raster of
// the grid's size whose cells hold land-use IDs (0 to 255), or its no-data
// value where it changes nothing (a raster without a no-data value paints
// every cell); the background (read as --background reads one) and the
// suitability replace those in force.
//
// Choices of ours: a refusal is one line naming the file, the entry (its
// position from 1 and its step) and what is wrong, before anything runs;
// an entry after the last step of the run is no error, and the log gets
// one note naming such steps (a calibration to 1990 may carry the roads of
// 2010).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <towngrow/grid/coverage.h>
#include <towngrow/landuse/land_use_set.h>
#include <towngrow/scenario.h>

#include "io/grid_header.h"
#include "io/message_log.h"

namespace towngrow::io {

// A file the scenario read, with its SHA-256 (for the records of a run).
struct ScenarioFile {
  std::string path;  // as the user gave it, or the schedule's folder joined
  std::string sha256;
};

struct LoadedScenario {
  Scenario scenario;
  std::vector<std::shared_ptr<CLandUseCoverage>> backgrounds;  // owners of the entries' grids
  std::vector<ScenarioFile> files;  // the schedule first, then every file it names
};

// The surface of a suitability raster of rows x cols cells; `what` names it
// in refusals ("--suitability", "schedule.json: entry 2 (step 40)").
std::shared_ptr<const Suitability> LoadSuitability(const std::string& path, int rows, int cols,
                                                   const std::string& what);

// Reads the suitability file and the schedule (either may be empty) for a
// run of `steps` steps on rows x cols cells under `set` (which links the
// backgrounds). Throws io::Error.
LoadedScenario LoadScenario(const std::string& schedule, const std::string& suitability, int rows,
                            int cols, long steps, CLandUseSet& set, MessageLog& log,
                            const MapReadOptions& maps);

}  // namespace towngrow::io
