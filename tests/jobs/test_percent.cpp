// The share of runs per cell that every ensemble map holds: 100 * count / runs, rounded half up,
// exactly (no floating point on the way), in every cell of the maps written.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "io/message_log.h"
#include "io/output_folder.h"
#include "jobs/ensemble.h"
#include "jobs/hooks.h"
#include "support/files.h"

using towngrow::CLandUseCoverage;
using towngrow::jobs::PercentOfRuns;

TEST(EnsembleMaps, PercentOfRunsRoundsHalfUp) {
  for (unsigned int runs = 1; runs <= 300; ++runs)
    for (unsigned int count = 0; count <= runs; ++count)
      ASSERT_EQ(PercentOfRuns(count, runs),
                static_cast<int>(std::floor(100.0 * count / runs + 0.5)));
  const unsigned most[][2] = {{65535, 100}, {327, 0}, {328, 1}, {65207, 99}, {65208, 100}};
  for (const auto& k : most) EXPECT_EQ(PercentOfRuns(k[0], 65535), static_cast<int>(k[1]));
}

// Every cell of every map an ensemble writes holds the share of runs its
// counts give, the first cell and the last included: a start whose corner
// cells are housing that one step leaves standing gives 100 there.
TEST(EnsembleMaps, EachCellHoldsItsShareOfRuns) {
  testkit::ScratchDir dir;
  std::string start = "ncols 8\nnrows 6\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9\n";
  for (int k = 0; k < 48; ++k)  // housing in the first and last cell, a street along row 3
    start += std::string(k % 47 == 0 ? "3" : k / 8 == 3 ? "2" : "0") + (k % 8 == 7 ? "\n" : " ");
  std::ofstream(dir / "start.asc") << start;

  towngrow::jobs::EnsembleOptions o;
  o.town.start = dir / "start.asc", o.town.steps = 1;
  o.runs = 3, o.threads = 1;
  towngrow::io::MessageLog log;
  towngrow::jobs::EnsembleTown t;
  towngrow::jobs::ReadEnsembleTown(o, log, t);
  const auto outcome = towngrow::jobs::GrowEnsemble(t, o, {}, towngrow::jobs::ThisProcessAlone());
  towngrow::io::OutputFolder folder(dir / "out");
  towngrow::jobs::WriteEnsembleOutputs(t, outcome, o, folder);
  folder.Publish();

  const auto tracked = towngrow::DefaultTrackedClasses();
  for (std::size_t c = 0; c < tracked.size(); ++c) {
    CLandUseCoverage map;
    ASSERT_EQ(map.InitCoverage(6, 8, 0), 1);
    ASSERT_EQ(map.ImportASCFile(dir / ("out/" + tracked[c].name + ".asc"), 0), 1);
    for (std::size_t k = 0; k < 48; ++k)
      ASSERT_EQ(map.m_pData[k], PercentOfRuns(outcome.result.cellCounts[c][k], 3))
          << tracked[c].name << " cell " << k;
  }
  CLandUseCoverage developed;
  ASSERT_EQ(developed.InitCoverage(6, 8, 0), 1);
  ASSERT_EQ(developed.ImportASCFile(dir / "out/developed.asc", 0), 1);
  EXPECT_EQ(developed.m_pData[0], 100);
  EXPECT_EQ(developed.m_pData[47], 100);
}
