// `towngrow prepare`: a recipe of a modeller's own layers (land cover,
// roads, areas closed to growth, maps of later years) made into the maps a
// run and a calibration take: the start map, the background and the
// control maps, all on one grid.
//
// RunPrepare reads and checks the recipe, opens and checks every layer
// (nothing is computed before every input has passed), then makes the maps
// in memory; WritePrepareOutputs writes them into a folder, all files
// together or none:
//   start.tif, background.tif (when the recipe has a background),
//   observed-<name>.tif    GeoTIFFs as the program writes them (the grid's
//                          georeference and CRS, colour table, class names)
//   suitability.tif        (with "suitability") the surface, 0..100, no no-data
//   schedule-<step>.tif, schedule-<step>-background.tif,
//   schedule-<step>-suitability.tif
//                          (with "schedule") per entry, the land uses it
//                          paints (cells it leaves as they are hold the
//                          map's no-data value: 255, or when a cell holds
//                          255 the largest value no cell holds), the
//                          background and the surface it brings in
//   schedule.json          the entries by step, the files relative to it
//   start.png, background.png, observed-<name>.png, ...
//                          the same maps drawn (the land uses' colours and
//                          names; a background's allowed sets; a surface
//                          from white to green)
//   classes.json           when a control map's rules give one developed
//                          land use (a binary urban map): the class file
//                          of `towngrow compare --classes` that compares
//                          developed against the rest
//   prepare.json           the recipe as resolved: the grid, every input
//                          with its size, CRS, SHA-256 and how it was
//                          placed, the cells per land use of every map and
//                          per layer, each map's SHA-256, the schedule, the
//                          calibrate command line
//   report.html            every map drawn, the cells per land use and per
//                          layer
// Warnings (an ID no land use has, a vector layer whose filter selects no
// feature) go to the hooks, one line each.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <towngrow/landuse/land_use_set.h>

#include "io/json_file.h"
#include "io/output_folder.h"
#include "prepare/layers.h"
#include "prepare/recipe.h"

namespace towngrow::jobs {

using io::Json;

struct PrepareHooks {
  std::function<void(const std::string&)> warning;  // one line, without a prefix
  std::function<void(const std::string&)> stage;    // what is being done now
};

struct PreparedMap {
  std::string file;  // start.tif, background.tif, observed-<name>.tif, schedule-<step>.tif, ...
  bool background = false;
  bool suitability = false;  // a surface, 0..100
  std::string name;          // a control map's
  long steps = 0;            // a control map's
  long step = 0;             // a schedule entry's (0: the map is none)
  int noData = -1;           // a schedule's land uses: the value of cells left as they are
  std::vector<std::uint8_t> cells;
  std::vector<io::LayerReport> layers;
  std::array<std::uint64_t, 256> counts{};  // cells per value
};

struct PrepareResult {
  io::Recipe recipe;
  Json given;  // the recipe as given
  io::Grid grid;
  std::shared_ptr<CLandUseSet> set;  // the roster the maps are named by
  std::vector<PreparedMap> maps;     // start, background, control maps
  bool oneClass = false;             // classes.json is written
};

// `recipe`: the parsed recipe; `folder`: what its paths are relative to (a
// file's folder, or the working folder for a recipe made in a program);
// `name`: the recipe in messages. Throws io::Error.
PrepareResult RunPrepare(const Json& recipe, const std::string& folder,
                         const std::string& name = "recipe", const PrepareHooks& hooks = {});
// The same for a recipe file.
PrepareResult RunPrepareFile(const std::string& path, const PrepareHooks& hooks = {});

// Writes the outputs into the folder. Throws io::Error.
void WritePrepareOutputs(const PrepareResult& result, io::OutputFolder& folder);

// prepare.json (with the SHA-256 of each file written, by name), the class
// file (when oneClass), schedule.json and the command line of a calibration
// on the maps written into `folder` (its --space left to fill).
Json PrepareRecord(const PrepareResult& result, const std::string& folder,
                   const std::map<std::string, std::string>& digests = {});
Json ClassesJson(const PrepareResult& result);
Json ScheduleJson(const PrepareResult& result);
std::string CalibrateCommandLine(const PrepareResult& result, const std::string& folder);

// The closing summary for the terminal: the grid, cells per land use of
// each map, the files written and the calibrate command line.
std::string PrepareSummary(const PrepareResult& result, const std::string& folder);

}  // namespace towngrow::jobs
