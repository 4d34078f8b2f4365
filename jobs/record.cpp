#include "jobs/record.h"

#include "io/result_text.h"

namespace towngrow::jobs {

std::string StartWord(const io::TownOptions& o, const io::TownSetup& setup) {
  if (o.start.empty()) return "given in memory";
  return setup.fromFile ? io::AbsolutePath(o.start) : o.start;
}

io::Json RunRecord(const io::TownOptions& o, const io::TownSetup& setup) {
  io::Json run = io::Json::object();
  run["towngrowVersion"] = Version();
  run["seed"] = o.seed;
  run["steps"] = o.steps;
  run["rows"] = setup.rows;
  run["cols"] = setup.cols;
  run["start"] = StartWord(o, setup);
  run["background"] =
      o.background.empty() ? io::Json(nullptr) : io::Json(io::AbsolutePath(o.background));
  return run;
}

std::string MapReadWords(const io::MapReadOptions& maps) {
  std::string words;
  if (maps.band > 0) words += " --band " + std::to_string(maps.band);
  if (maps.lenient) words += " --lenient";
  return words;
}

std::string RepeatOptions(const io::TownOptions& o, const io::TownSetup& setup) {
  std::string words = " --rows " + std::to_string(setup.rows) + " --cols " +
                      std::to_string(setup.cols) + " --steps " + std::to_string(o.steps) +
                      " --seed " + std::to_string(o.seed) + " --start " +
                      io::ShellWord(StartWord(o, setup));
  if (!o.background.empty())
    words += " --background " + io::ShellWord(io::AbsolutePath(o.background));
  words += MapReadWords(o.maps);
  if (!o.crs.empty()) words += " --crs " + io::ShellWord(o.crs);
  return words;
}

}  // namespace towngrow::jobs
