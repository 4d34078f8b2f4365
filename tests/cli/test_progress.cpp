// The progress line: units done, their rate, the time left and the job's
// note; a stage of work that is not counted shows its name.
#include <gtest/gtest.h>

#include <tuple>

#include "cli/progress.h"
#include "support/files.h"

using towngrow::cli::ProgressBar;
using towngrow::jobs::ProgressReport;

TEST(ProgressLine, ShowsUnitsRateTimeLeftAndNote) {
  // clang-format off
  const std::tuple<ProgressReport, double, const char*> cases[] = {
      {{25, 100, "steps", ""}, 5.0,
       "[#######.......................] 25/100 steps  5.0 steps/s  15s left"},
      {{10, 1000, "runs", ""}, 2.0,
       "[..............................] 10/1000 runs  5.0 runs/s  3m18s left"},
      {{1, 100000, "steps", ""}, 1.0,
       "[..............................] 1/100000 steps  1.0 steps/s  27h46m left"},
      {{100, 100, "steps", ""}, 4.0,
       "[##############################] 100/100 steps  25.0 steps/s  0s left"},
      {{3, 12, "points", "round 2, best so far 0.4321"}, 0.0,
       "[#######.......................] 3/12 points  0.0 points/s  ? left  round 2, best so far "
       "0.4321"},
      {{0, 0, "", "Comparing the maps"}, 1.0, "Comparing the maps..."}};
  // clang-format on
  for (const auto& [report, rate, line] : cases) EXPECT_EQ(ProgressBar::Text(report, rate), line);
}

// Drawn in place on its stream: the first report, and a report of a new round, at once; the line
// then kept with a line feed, or wiped, once. A bar not enabled draws nothing and has no hook.
TEST(ProgressLine, IsDrawnInPlaceAndEndedOnce) {
  const ProgressReport first{0, 10, "steps", ""}, next{0, 10, "steps", "round 2"};
  for (const bool wipe : {false, true}) {
    testkit::ScratchDir dir;
    std::FILE* f = std::fopen((dir / "bar").c_str(), "w");
    ProgressBar bar(true, f), off(false, f);
    off.Update(first);
    bar.Hook()(first);
    bar.Update(next);
    bar.Finish(wipe);
    bar.Finish(wipe);  // nothing drawn since: nothing to end
    EXPECT_FALSE(off.Hook());
    std::fclose(f);
    EXPECT_EQ(testkit::ReadAll(dir / "bar"), "\r" + ProgressBar::Text(first, 0) + "\x1b[K\r" +
                                                 ProgressBar::Text(next, 0) + "\x1b[K" +
                                                 (wipe ? "\r\x1b[K" : "\n"));
  }
}
