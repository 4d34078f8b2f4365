#include "jobs/record.h"

#include "io/result_text.h"
#include "towngrow/scenario.h"
#include "towngrow/version.h"

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
  if (setup.hasScenario) run["scenario"] = ScenarioRecord(o, setup);
  return run;
}

io::Json ScenarioRecord(const io::TownOptions& o, const io::TownSetup& setup) {
  io::Json record = io::Json::object();
  record["schedule"] =
      o.schedule.empty() ? io::Json(nullptr) : io::Json(io::AbsolutePath(o.schedule));
  record["suitability"] =
      o.suitability.empty() ? io::Json(nullptr) : io::Json(io::AbsolutePath(o.suitability));
  io::Json files = io::Json::array();
  for (const io::ScenarioFile& f : setup.scenario.files)
    files.push_back({{"file", io::AbsolutePath(f.path)}, {"sha256", f.sha256}});
  record["files"] = files;
  io::Json steps = io::Json::array();
  for (const long s : ScheduledSteps(setup)) steps.push_back(s);
  record["steps"] = steps;
  return record;
}

std::vector<long> ScheduledSteps(const io::TownSetup& setup) {
  std::vector<long> steps;
  for (const ScheduleEntry& e : setup.scenario.scenario.schedule) steps.push_back(e.step);
  return steps;
}

report::Chart MarkScheduled(report::Chart chart, const io::TownSetup& setup) {
  for (const long s : ScheduledSteps(setup)) chart.marks.push_back(static_cast<double>(s));
  chart.markLabel = "scheduled";
  return chart;
}

void RepeatTown(io::TownOptions& town, const io::TownSetup& setup, const std::string& params) {
  town.rows = setup.rows;
  town.cols = setup.cols;
  town.start = StartWord(town, setup);
  if (!params.empty()) town.params = params;
}

}  // namespace towngrow::jobs
