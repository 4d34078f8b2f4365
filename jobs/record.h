// What repeats a job: the record its JSON file keeps beside the parameters
// (version, seed, steps, size, start, background: files as absolute paths)
// and the command-line words that repeat the town it grew from.
#pragma once

#include <string>
#include <vector>

#include "io/json_file.h"
#include "jobs/town.h"
#include "report/chart.h"

namespace towngrow::jobs {

// How the pictures of a job look: what the maps show ("town": the
// developed area with a margin; "full": the whole grid) and the y axis of
// the charts of cells over the steps ("linear" or "log").
struct PictureOptions {
  std::string extent = "town";
  std::string chartScale = "linear";
};

// The "run" record: towngrowVersion, seed, steps, rows, cols, start and
// background.
io::Json RunRecord(const io::TownOptions& town, const io::TownSetup& setup);

// The "scenario" record of a run with a schedule or a suitability surface:
// both files (absolute, null when not given), every file read with its
// SHA-256, and the steps of the schedule's entries.
io::Json ScenarioRecord(const io::TownOptions& town, const io::TownSetup& setup);

// The steps of the schedule's entries (none without a schedule), and a
// chart with them marked.
std::vector<long> ScheduledSteps(const io::TownSetup& setup);
report::Chart MarkScheduled(report::Chart chart, const io::TownSetup& setup);

// The town as a repeat line gives it: the grid's size, the start as the
// record names it and the parameters of `params` (the job's own file;
// empty: those given).
void RepeatTown(io::TownOptions& town, const io::TownSetup& setup, const std::string& params);

// The start as the record names it: the file as an absolute path, the
// word ("town", "random"), or "given in memory" for a host's own state.
std::string StartWord(const io::TownOptions& town, const io::TownSetup& setup);

}  // namespace towngrow::jobs
