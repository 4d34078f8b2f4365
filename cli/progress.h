// The program's one progress line for long work: units done of the total
// ("steps", "runs", "points"), their rate, the time left and the job's note
// (a calibration's round and best objective so far), redrawn in place on
// standard error at most ten times a second; or, for a stage of work that
// is not counted, its name. It draws only when enabled (the program
// enables it when standard error is a terminal and the work is not quiet).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "jobs/hooks.h"

namespace towngrow::cli {

class ProgressBar {
public:
  explicit ProgressBar(bool enabled, std::FILE* out = stderr);
  // Redraws when due (always when the count starts again, or is complete).
  void Update(const jobs::ProgressReport& report);
  // Ends the line: the last state stays with a line feed, or (`clear`) the
  // line is wiped.
  void Finish(bool clear = false);
  // The hook that hands a job's reports to this bar.
  jobs::Progress Hook();

  // The text of the bar, without redraw control characters.
  static std::string Text(const jobs::ProgressReport& report, double seconds);

private:
  bool enabled_;
  std::FILE* out_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
  bool drawn_ = false;
  jobs::ProgressReport shown_;
};

}  // namespace towngrow::cli
