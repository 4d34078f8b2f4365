// The share of runs per cell that every ensemble map holds: 100 * count /
// runs, rounded half up, exactly (no floating point on the way).
#include <gtest/gtest.h>

#include <cmath>

#include "jobs/ensemble.h"

using towngrow::jobs::PercentOfRuns;

TEST(EnsembleMaps, PercentOfRunsRoundsHalfUp) {
  for (unsigned int runs = 1; runs <= 300; ++runs)
    for (unsigned int count = 0; count <= runs; ++count)
      ASSERT_EQ(PercentOfRuns(count, runs),
                static_cast<int>(std::floor(100.0 * count / runs + 0.5)));
  const unsigned most[][2] = {{65535, 100}, {327, 0}, {328, 1}, {65207, 99}, {65208, 100}};
  for (const auto& k : most) EXPECT_EQ(PercentOfRuns(k[0], 65535), static_cast<int>(k[1]));
}
