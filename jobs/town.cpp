#include "jobs/town.h"

#include <algorithm>

#include "io/error.h"
#include "io/grid_files.h"
#include "jobs/options.h"
#include "params/params_json.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/random.h"
#include "towngrow/scenario.h"
#include "towngrow/simulation.h"

namespace towngrow::io {

void CheckGridSize(long long rows, long long cols) {
  if (rows < kMinSide || cols < kMinSide || rows > kMaxSide || cols > kMaxSide)
    throw Error("a grid of " + std::to_string(rows) + " x " + std::to_string(cols) +
                " cells is not possible (each side from 5 to 10000)");
}

void PrepareTown(const TownOptions& o, TownSetup& setup) {
  if (o.steps < 0) throw Error(jobs::Spelled(std::string("steps")) + " must be 0 or more");
  if (!o.params.empty()) ApplyParamsFile(o.params, setup.set);
  if (!o.paramsGiven.is_null()) ApplyParams(o.paramsGiven, "params", setup.set);

  // Size: given, or fitted to a start file.
  setup.fromFile = o.start != "town" && o.start != "random";
  int rows = o.rows, cols = o.cols;
  if (setup.fromFile) {
    setup.startInfo = ReadGridFileInfo(o.start, o.maps);
    if (!o.sizeGiven) {
      rows = std::max(setup.startInfo.rows, kMinSide);
      cols = std::max(setup.startInfo.cols, kMinSide);
    }
  }
  CheckGridSize(rows, cols);
  setup.rows = rows;
  setup.cols = cols;
  if (setup.fromFile) setup.geo = setup.startInfo.geo;
  if (!o.crs.empty()) setup.geo.wkt = CrsFromUserText(o.crs);
}

void CheckRandomStartIds(const CLandUseSet& set) {
  for (int id = 0; id <= 5; ++id)
    if (!set.IsIDExist(static_cast<unsigned char>(id)))
      throw Error(
          "the sparse random start (--start random) places the IDs 0 to 5, but no land use "
          "has ID " +
          std::to_string(id));
}

std::string UnknownIdsWarning(const std::string& path, const CLandUseCoverage& cov,
                              const CLandUseSet& set) {
  const auto cells = CountCellsPerId(cov);
  long count = 0;
  std::string ids;
  int listed = 0;
  for (int id = 0; id < 256; ++id) {
    if (cells[static_cast<std::size_t>(id)] == 0 || set.IsIDExist(static_cast<unsigned char>(id)))
      continue;
    count += cells[static_cast<std::size_t>(id)];
    if (++listed <= 8) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
  }
  if (count == 0) return "";
  if (listed > 8) ids += ", ...";
  return path + ": " + std::to_string(count) + " cells hold IDs that no land use has (" + ids +
         "); those cells never change";
}

void PlaceStart(const TownOptions& o, const TownSetup& setup, unsigned int seed,
                CLandUseCoverage& cur, MessageLog& log) {
  SeedRandom(seed);
  if (o.start == "town") {
    if (!PlaceStarterTown(cur)) throw Error("the built-in town cannot be placed");
  } else if (o.start == "random") {
    CheckRandomStartIds(setup.set);
    cur.RandomFill();
  } else {
    ImportInto(o.start, setup.startInfo, cur, log, o.maps);
    const std::string warning = UnknownIdsWarning(o.start, cur, setup.set);
    if (!warning.empty()) log.Warn(warning);
  }
}

bool LoadBackground(const TownOptions& o, TownSetup& setup, CLandUseCoverage& background,
                    MessageLog& log) {
  if (o.background.empty()) return false;
  LoadBackgroundFile(o.background, setup.rows, setup.cols, setup.set, background, log, o.maps);
  return true;
}

const Scenario* LoadTownScenario(const TownOptions& o, TownSetup& setup, MessageLog& log) {
  setup.hasScenario = !o.schedule.empty() || !o.suitability.empty();
  if (!setup.hasScenario) return nullptr;
  setup.scenario = LoadScenario(o.schedule, o.suitability, setup.rows, setup.cols, o.steps,
                                setup.set, log, o.maps);
  return &setup.scenario.scenario;
}

}  // namespace towngrow::io
