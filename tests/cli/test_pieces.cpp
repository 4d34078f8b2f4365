// Pieces of the program its output shows only in part: the progress line,
// the message counter, the percentage of runs, the seed that continues the
// generator, and the parameter-file fuzz target's inputs through its checks.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "fuzz/params_harness.h"
#include "io/message_log.h"
#include "jobs/ensemble_command.h"
#include "jobs/progress.h"
#include "support/files.h"

using namespace towngrow;
using namespace towngrow::io;
using namespace towngrow::jobs;

TEST(Pieces, ProgressLineShowsStepsRateAndTimeLeft) {
  const std::tuple<long, long, double, const char*> cases[] = {
      {25, 100, 5.0, "[#######.......................] 25/100 steps  5.0 steps/s  15s left"},
      {10, 1000, 2.0, "[..............................] 10/1000 steps  5.0 steps/s  3m18s left"},
      {1, 100000, 1.0, "[..............................] 1/100000 steps  1.0 steps/s  27h46m left"},
      {100, 100, 4.0, "[##############################] 100/100 steps  25.0 steps/s  0s left"},
      {0, 0, 0.0, "[##############################] 0/0 steps  0.0 steps/s  0s left"}};
  for (const auto& k : cases)
    EXPECT_EQ(ProgressBar::Text(std::get<0>(k), std::get<1>(k), std::get<2>(k)), std::get<3>(k));
}

TEST(Pieces, MessageLogCountsCapturesOneLineAndRestoresTheHandler) {
  std::string before;
  SetMessageHandler([&](const std::string& t) { before += t + "|"; });
  {
    MessageLog log;
    for (int i = 0; i < 1000; ++i) ShowMessage("a");
    ShowMessage("b");
    log.BeginCapture();
    ShowMessage("The Range is larger!\n Please");
    ShowMessage("Now the system");
    EXPECT_EQ(log.Counts().at("a") * 10 + log.Counts().at("Now the system"), 10001);
    EXPECT_EQ(log.Total() * 10 + static_cast<long>(log.Captured().size()), 10032);
    EXPECT_EQ(log.CapturedLine(), "The Range is larger! Please; Now the system");
    EXPECT_EQ(MessageLog::OneLine("  a\r\n\tb  c \n"), "a b c");
  }
  ShowMessage("after");
  EXPECT_EQ(before, "after|");
  SetMessageHandler(nullptr);
}

TEST(Pieces, PercentOfRunsAndTheSeedThatContinuesTheGenerator) {
  for (unsigned int runs = 1; runs <= 300; ++runs)
    for (unsigned int count = 0; count <= runs; ++count)
      ASSERT_EQ(PercentOfRuns(count, runs),
                static_cast<int>(std::floor(100.0 * count / runs + 0.5)));
  const unsigned most[][2] = {{65535, 100}, {327, 0}, {328, 1}, {65207, 99}, {65208, 100}};
  for (const auto& k : most) EXPECT_EQ(PercentOfRuns(k[0], 65535), static_cast<int>(k[1]));
  for (unsigned int seed : {0u, 7u, 0x80000000u, 0xFFFFFFFFu})
    for (int skip : {0, 1, 5000, 77777}) {  // the generator goes on as if nothing had been drawn
      std::vector<int> expected(3000), got(3000);
      SeedRandom(seed);
      for (int k = 0; k < skip; ++k) RandomDraw();
      for (int& v : expected) v = RandomDraw();
      SeedRandom(seed);
      for (int k = 0; k < skip; ++k) RandomDraw();
      SeedRandom(ContinuationSeed());
      for (int& v : got) v = RandomDraw();
      ASSERT_EQ(got, expected) << seed << " after " << skip;
    }
}

// Every file of the corpus and every past failure is either taken or
// refused with one line naming it; a set that took it grows a town and
// writes parameters that read back alike.
TEST(Pieces, ParameterFileFuzzInputsAreTakenOrRefusedCleanly) {
  const testkit::fs::path fuzz =
      testkit::fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";
  int files = 0;
  for (const char* kind : {"corpus", "regressions"})
    for (const auto& f : testkit::FilesIn(fuzz / kind / "params")) {
      const std::string bytes = testkit::ReadAll(f);
      EXPECT_EQ(towngrow_fuzz::CheckParamsInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size()),
                "")
          << f;
      ++files;
    }
  EXPECT_GT(files, 10);
}
