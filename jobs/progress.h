// A one-line progress bar for long runs: steps done, steps per second and
// the time left, redrawn in place on standard error at most ten times a
// second. It draws only when enabled (the host enables it when standard
// error is a terminal and the run is not quiet).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace towngrow::jobs {

class ProgressBar {
public:
  ProgressBar(long total, bool enabled, std::FILE* out = stderr);
  void Update(long done);  // redraws when due
  void Finish();           // final state and a line feed
  // The text of the bar for `done` steps after `seconds`, without redraw
  // control characters (for tests and the final line).
  static std::string Text(long done, long total, double seconds);

private:
  void Draw(long done);
  long total_;
  bool enabled_;
  std::FILE* out_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
  bool drawn_ = false;
};

}  // namespace towngrow::jobs
