// Tests of the ensemble runner: every run is the lone driver's run for its
// seed, the aggregate is the same for any thread count and any split into
// partial sums, the statistics match a computation over the runs' own
// reports, and bad requests are refused.
#include <gtest/gtest.h>

#include <towngrow/towngrow.h>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace towngrow;

// What a lone driver run leaves: the final IDs, and the cells per ID of the
// start and after every step.
struct LoneRun {
  std::vector<unsigned char> finalCells;
  std::vector<std::array<long, 256>> perStep;
  std::unique_ptr<CLandUseSet> set;
};

std::unique_ptr<CLandUseSet> DefaultSet() {
  return std::unique_ptr<CLandUseSet>(new CLandUseSet());
}

LoneRun RunAlone(const CLandUseCoverage& start, long steps, unsigned int seed,
                 const std::function<std::unique_ptr<CLandUseSet>()>& makeSet = DefaultSet,
                 const CGrid* background = nullptr) {
  LoneRun out;
  out.set = makeSet();
  Simulation sim(out.set.get());
  EXPECT_EQ(sim.Init(start.m_nRows, start.m_nCols), 1);
  EXPECT_EQ(sim.Current().CopyValueFromCoverage(&start), 1);
  sim.SetBackground(background);
  out.perStep.push_back(CountCellsPerId(sim.Current()));
  SeedRandom(seed);
  sim.Run(steps, [&](const StepReport& r) {
    out.perStep.push_back(r.cellsPerId);
    return true;
  });
  const CLandUseCoverage& cur = sim.Current();
  out.finalCells.assign(cur.m_pData,
                        cur.m_pData + static_cast<std::size_t>(cur.m_nRows) * cur.m_nCols);
  return out;
}

bool InClass(const TrackedClass& tc, LandUseCategory cat) {
  for (LandUseCategory c : tc.categories)
    if (c == cat) return true;
  return false;
}

// A start with every land use of the default roster, random ages and the
// built-in town in the middle.
class EnsembleTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(start_.InitCoverage(24, 31, 0), 1);
    start_.m_pLandUseSet = &startSet_;
    SeedRandom(2024);
    ASSERT_EQ(start_.RandomFill(), 1);
    ASSERT_EQ(PlaceStarterTown(start_), 1);
    start_.m_dCellSize = 25.0;
    start_.m_dXllCorner = 1000.0;
    start_.m_dYllCorner = 2000.0;
  }

  EnsembleConfig Config(int runs, int threads, long steps = 6) const {
    EnsembleConfig c;
    c.start = &start_;
    c.steps = steps;
    c.baseSeed = 4000000000u;  // S + i*K wraps past 2^32 within a few runs
    c.seedStep = 123456789u;
    c.runs = runs;
    c.threads = threads;
    return c;
  }

  static unsigned int SeedOf(const EnsembleConfig& c, int i) {
    return c.baseSeed + static_cast<unsigned int>(i) * c.seedStep;
  }

  // The sums the lone runs of c's start give, computed without the runner.
  EnsembleSums SumsOfLoneRuns(const EnsembleConfig& c, const std::vector<int>& indices) const {
    EnsembleSums s = EnsembleSums::Zero(c.start->m_nRows, c.start->m_nCols, c.steps,
                                        static_cast<int>(c.tracked.size()));
    for (int i : indices) {
      const LoneRun run = RunAlone(*c.start, c.steps, SeedOf(c, i),
                                   c.makeSet ? c.makeSet : DefaultSet, c.background);
      for (std::size_t k = 0; k < c.tracked.size(); ++k)
        for (std::size_t cell = 0; cell < run.finalCells.size(); ++cell)
          if (InClass(c.tracked[k], run.set->GetCategory(run.finalCells[cell])))
            ++s.cellCounts[k][cell];
      for (std::size_t st = 0; st < run.perStep.size(); ++st)
        for (std::size_t id = 0; id < 256; ++id) {
          const auto x = static_cast<std::uint64_t>(run.perStep[st][id]);
          s.cellSum[st * 256 + id] += x;
          s.squareLow[st * 256 + id] += (x * x) & 0xFFFFFFFFu;
          s.squareHigh[st * 256 + id] += (x * x) >> 32;
        }
      ++s.runs;
    }
    return s;
  }

  static void ExpectSameSums(const EnsembleSums& a, const EnsembleSums& b) {
    EXPECT_EQ(a.rows, b.rows);
    EXPECT_EQ(a.cols, b.cols);
    EXPECT_EQ(a.steps, b.steps);
    EXPECT_EQ(a.classes, b.classes);
    EXPECT_EQ(a.runs, b.runs);
    EXPECT_TRUE(a.cellCounts == b.cellCounts);
    EXPECT_TRUE(a.cellSum == b.cellSum);
    EXPECT_TRUE(a.squareLow == b.squareLow);
    EXPECT_TRUE(a.squareHigh == b.squareHigh);
  }

  CLandUseSet startSet_;
  CLandUseCoverage start_;
};

TEST_F(EnsembleTest, DefaultClassesAreTheFiveKindsOfDevelopment) {
  const std::vector<TrackedClass> t = DefaultTrackedClasses();
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[0].name, "housing");
  EXPECT_EQ(t[1].name, "industry");
  EXPECT_EQ(t[2].name, "commerce");
  EXPECT_EQ(t[3].name, "street");
  EXPECT_EQ(t[4].name, "developed");
  EXPECT_EQ(t[0].categories, std::vector<LandUseCategory>({House}));
  EXPECT_EQ(t[1].categories, std::vector<LandUseCategory>({Industry}));
  EXPECT_EQ(t[2].categories, std::vector<LandUseCategory>({Commerce}));
  EXPECT_EQ(t[3].categories, std::vector<LandUseCategory>({StreetNode, StreetVertex}));
  EXPECT_EQ(t[4].categories,
            std::vector<LandUseCategory>({StreetNode, StreetVertex, House, Industry, Commerce}));
}

TEST_F(EnsembleTest, OneRunIsTheLoneRunOfItsSeed) {
  const EnsembleConfig c = Config(1, 1);
  const EnsembleResult r = RunEnsemble(c);
  const LoneRun lone = RunAlone(start_, c.steps, c.baseSeed);
  ASSERT_EQ(r.rows, 24);
  ASSERT_EQ(r.cols, 31);
  ASSERT_EQ(r.runs, 1);
  ASSERT_EQ(r.steps, 6);
  ASSERT_EQ(r.cellCounts.size(), 5u);
  ASSERT_EQ(r.classNames.size(), 5u);
  EXPECT_EQ(r.classNames[3], "street");
  // The run grew something, so the comparison says something.
  EXPECT_NE(lone.perStep.front(), lone.perStep.back());
  for (std::size_t k = 0; k < 5; ++k) {
    ASSERT_EQ(r.cellCounts[k].size(), lone.finalCells.size());
    for (std::size_t cell = 0; cell < lone.finalCells.size(); ++cell) {
      const bool in = InClass(c.tracked[k], lone.set->GetCategory(lone.finalCells[cell]));
      ASSERT_EQ(r.cellCounts[k][cell], in ? 1 : 0) << "class " << k << " cell " << cell;
    }
  }
  ASSERT_EQ(r.meanPerStep.size(), 7u);
  ASSERT_EQ(r.stddevPerStep.size(), 7u);
  for (std::size_t st = 0; st < 7; ++st)
    for (std::size_t id = 0; id < 256; ++id) {
      EXPECT_EQ(r.meanPerStep[st][id], static_cast<double>(lone.perStep[st][id]));
      EXPECT_EQ(r.stddevPerStep[st][id], 0.0);
    }
}

TEST_F(EnsembleTest, RunsPickedByIndexAreTheLoneRunsOfTheirSeeds) {
  const EnsembleConfig c = Config(10, 2);
  // 4000000000 + 7 * 123456789 wraps; the runner must wrap the same way.
  ExpectSameSums(RunEnsembleRuns(c, {7}), SumsOfLoneRuns(c, {7}));
  ExpectSameSums(RunEnsembleRuns(c, {9, 0, 4}), SumsOfLoneRuns(c, {0, 4, 9}));
  // Different runs really differ, so the index is not ignored.
  EXPECT_FALSE(RunEnsembleRuns(c, {7}).cellCounts == RunEnsembleRuns(c, {8}).cellCounts);
}

TEST_F(EnsembleTest, AnEmptyIndexListGivesEmptySumsOfTheRightShape) {
  const EnsembleSums s = RunEnsembleRuns(Config(3, 2), {});
  EXPECT_EQ(s.runs, 0u);
  ExpectSameSums(s, EnsembleSums::Zero(24, 31, 6, 5));
}

TEST_F(EnsembleTest, ThreadCountDoesNotChangeTheAggregate) {
  const EnsembleSums expected = SumsOfLoneRuns(Config(9, 1), {0, 1, 2, 3, 4, 5, 6, 7, 8});
  std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  EnsembleResult first;
  for (int threads : {1, 2, 5, 0}) {
    SCOPED_TRACE(threads);
    ExpectSameSums(RunEnsembleRuns(Config(9, threads), all), expected);
    const EnsembleResult r = RunEnsemble(Config(9, threads));
    if (threads == 1) {
      first = r;
      continue;
    }
    EXPECT_TRUE(r.cellCounts == first.cellCounts);
    EXPECT_TRUE(r.meanPerStep == first.meanPerStep);
    EXPECT_TRUE(r.stddevPerStep == first.stddevPerStep);
  }
}

TEST_F(EnsembleTest, PartialSumsMergeInAnyOrderToTheWhole) {
  const EnsembleConfig c = Config(7, 2);
  const EnsembleSums whole = RunEnsembleRuns(c, {0, 1, 2, 3, 4, 5, 6});
  const EnsembleSums a = RunEnsembleRuns(c, {0, 3, 6});
  const EnsembleSums b = RunEnsembleRuns(c, {1, 4});
  const EnsembleSums d = RunEnsembleRuns(c, {2, 5});
  EnsembleSums ab = a;
  ab.Merge(b);
  ab.Merge(d);
  EnsembleSums da = EnsembleSums::Zero(24, 31, 6, 5);
  da.Merge(d);
  da.Merge(b);
  da.Merge(a);
  ExpectSameSums(ab, whole);
  ExpectSameSums(da, whole);
  const EnsembleResult r1 = FinishEnsemble(ab, c.tracked);
  const EnsembleResult r2 = RunEnsemble(c);
  EXPECT_TRUE(r1.cellCounts == r2.cellCounts);
  EXPECT_TRUE(r1.meanPerStep == r2.meanPerStep);
  EXPECT_TRUE(r1.stddevPerStep == r2.stddevPerStep);
  // The moving finish gives the same as the copying one.
  const EnsembleResult r3 = FinishEnsemble(std::move(ab), c.tracked);
  EXPECT_TRUE(r3.cellCounts == r1.cellCounts);
  EXPECT_TRUE(r3.stddevPerStep == r1.stddevPerStep);
}

TEST_F(EnsembleTest, MeanAndSampleDeviationOverTheRunsReports) {
  const EnsembleConfig c = Config(5, 3, 8);
  const EnsembleResult r = RunEnsemble(c);
  std::vector<LoneRun> runs;
  for (int i = 0; i < 5; ++i) runs.push_back(RunAlone(start_, c.steps, SeedOf(c, i)));
  bool someSpread = false;
  for (std::size_t st = 0; st <= 8; ++st)
    for (std::size_t id = 0; id < 256; ++id) {
      long double sum = 0;
      for (const LoneRun& run : runs) sum += run.perStep[st][id];
      const long double mean = sum / 5;
      long double dev2 = 0;
      for (const LoneRun& run : runs)
        dev2 += (run.perStep[st][id] - mean) * (run.perStep[st][id] - mean);
      const double sd = static_cast<double>(std::sqrt(dev2 / 4));
      EXPECT_NEAR(r.meanPerStep[st][id], static_cast<double>(mean), 1e-9);
      EXPECT_NEAR(r.stddevPerStep[st][id], sd, 1e-9 * (1 + sd));
      if (sd > 0.5) someSpread = true;
    }
  EXPECT_TRUE(someSpread);  // the runs differ, so the deviations were exercised
  // Counts never pass the run count, and the developed class holds the others.
  for (std::size_t cell = 0; cell < r.cellCounts[0].size(); ++cell) {
    int parts = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      EXPECT_LE(r.cellCounts[k][cell], 5);
      parts += r.cellCounts[k][cell];
    }
    EXPECT_EQ(r.cellCounts[4][cell], parts);
  }
}

TEST(EnsembleStatistics, LargeCountsStayExact) {
  // Two runs of x = 4000000000 and 4000000002 cells: x*x passes 2^63, the
  // mean is 4000000001 and the sample deviation sqrt(2).
  EnsembleSums s = EnsembleSums::Zero(1, 1, 0, 0);
  for (std::uint64_t x : {4000000000ull, 4000000002ull}) {
    s.cellSum[7] += x;
    s.squareLow[7] += (x * x) & 0xFFFFFFFFu;
    s.squareHigh[7] += (x * x) >> 32;
  }
  s.runs = 2;
  const EnsembleResult r = FinishEnsemble(s, {});
  EXPECT_EQ(r.meanPerStep[0][7], 4000000001.0);
  EXPECT_DOUBLE_EQ(r.stddevPerStep[0][7], std::sqrt(2.0));
  EXPECT_EQ(r.stddevPerStep[0][6], 0.0);
}

TEST_F(EnsembleTest, BackgroundAndSetMakerReachEveryRun) {
  // A set of our own: ID 9 is an industry that never grows, placed in the
  // start's corner; the default set does not know ID 9.
  auto makeSet = [] {
    std::unique_ptr<CLandUseSet> set(new CLandUseSet());
    CLandUse* still = new CLandUse();
    still->SetID(9);
    still->m_LandUseCategory = Industry;  // directly: the setter shows a notice
    set->m_LandUseArray.Add(still);
    return set;
  };
  for (int r = 0; r < 3; ++r)
    for (int col = 0; col < 3; ++col) start_.SetCellValue(r, col, 9);
  // Development allowed only in the left half (all bits), none in the right.
  CGrid background;
  ASSERT_EQ(background.InitGrid(24, 31, 0), 1);
  for (int r = 0; r < 24; ++r)
    for (int col = 0; col < 16; ++col) background.SetCellValue(r, col, 0xFF);

  EnsembleConfig c = Config(4, 2);
  c.makeSet = makeSet;
  c.background = &background;
  const EnsembleSums got = RunEnsembleRuns(c, {0, 1, 2, 3});
  ExpectSameSums(got, SumsOfLoneRuns(c, {0, 1, 2, 3}));
  // The ID 9 corner counts as industry because the runs' set says so.
  EXPECT_EQ(got.cellCounts[1][0], 4);

  // Without the background the runs grow differently and, with this set,
  // the street rule shows notices. They reach the
  // process-wide handler from the workers, as many as the lone runs show.
  EnsembleConfig plain = c;
  plain.background = nullptr;
  std::mutex m;
  std::vector<std::string> notices;
  const MessageHandler old = SetMessageHandler([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(m);
    notices.push_back(text);
  });
  const EnsembleSums grown = RunEnsembleRuns(plain, {0, 1, 2, 3});
  const std::vector<std::string> fromEnsemble = notices;
  notices.clear();
  ExpectSameSums(grown, SumsOfLoneRuns(plain, {0, 1, 2, 3}));
  SetMessageHandler(old);
  EXPECT_EQ(fromEnsemble, notices);
  EXPECT_FALSE(notices.empty());
  EXPECT_FALSE(grown.cellSum == got.cellSum);
  // With the default set ID 9 is no industry.
  EnsembleConfig defaults = c;
  defaults.makeSet = nullptr;
  EXPECT_EQ(RunEnsembleRuns(defaults, {0}).cellCounts[1][0], 0);
}

TEST_F(EnsembleTest, CustomClassesAndNoClasses) {
  EnsembleConfig c = Config(3, 2, 2);
  c.tracked = {{"vacant", {Blank}}, {"other", {Others}}};
  ExpectSameSums(RunEnsembleRuns(c, {0, 1, 2}), SumsOfLoneRuns(c, {0, 1, 2}));
  c.tracked.clear();
  const EnsembleResult r = RunEnsemble(c);
  EXPECT_TRUE(r.cellCounts.empty());
  EXPECT_TRUE(r.classNames.empty());
  EXPECT_EQ(r.meanPerStep.size(), 3u);
}

TEST_F(EnsembleTest, AStartWithoutSetOrAgesIsTakenAsTheDriverTakesIt) {
  // Cells only: the runs' ages stay 0 and their own set gives the IDs meaning.
  CLandUseCoverage bare;
  ASSERT_EQ(bare.InitGrid(24, 31, 0), 1);
  ASSERT_EQ(bare.m_pCellAge, nullptr);
  ASSERT_EQ(bare.m_pLandUseSet, nullptr);
  std::copy(start_.m_pData, start_.m_pData + 24 * 31, bare.m_pData);
  EnsembleConfig c = Config(3, 2);
  c.start = &bare;
  const EnsembleSums got = RunEnsembleRuns(c, {0, 1, 2});
  ExpectSameSums(got, SumsOfLoneRuns(c, {0, 1, 2}));
  // The ages of the full start matter: the same IDs with their ages grow otherwise.
  EXPECT_FALSE(RunEnsembleRuns(Config(3, 2), {0, 1, 2}).cellSum == got.cellSum);
}

TEST_F(EnsembleTest, ProgressCountsUpOnTheCallingThread) {
  std::vector<int> seen;
  const std::thread::id caller = std::this_thread::get_id();
  bool sameThread = true;
  RunEnsemble(Config(6, 3, 1), [&](int done) {
    seen.push_back(done);
    if (std::this_thread::get_id() != caller) sameThread = false;
  });
  EXPECT_EQ(seen, std::vector<int>({1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(sameThread);
}

TEST_F(EnsembleTest, TheCallersGeneratorIsLeftAlone) {
  SeedRandom(31337);
  const int d1 = RandomDraw();
  const int d2 = RandomDraw();
  SeedRandom(31337);
  EXPECT_EQ(RandomDraw(), d1);
  RunEnsemble(Config(3, 1));
  RunEnsemble(Config(3, 2));
  EXPECT_EQ(RandomDraw(), d2);
}

TEST_F(EnsembleTest, ZeroStepsCountTheStartAndFillSixteenBitCounts) {
  // The most runs there may be, on the smallest grid, without steps: every
  // developed cell of the start reaches 65535 exactly.
  CLandUseCoverage small;
  ASSERT_EQ(small.InitCoverage(5, 5, 0), 1);
  small.m_pLandUseSet = &startSet_;
  ASSERT_EQ(PlaceStarterTown(small), 1);
  EnsembleConfig c;
  c.start = &small;
  c.steps = 0;
  c.runs = kMaxEnsembleRuns;
  c.threads = 2;
  const EnsembleResult r = RunEnsemble(c);
  ASSERT_EQ(r.runs, 65535);
  const std::array<long, 256> start = CountCellsPerId(small);
  for (std::size_t cell = 0; cell < 25; ++cell) {
    const bool developed = startSet_.GetCategory(small.m_pData[cell]) != Blank;
    EXPECT_EQ(r.cellCounts[4][cell], developed ? 65535 : 0);
  }
  for (std::size_t id = 0; id < 256; ++id) {
    EXPECT_EQ(r.meanPerStep[0][id], static_cast<double>(start[id]));
    EXPECT_EQ(r.stddevPerStep[0][id], 0.0);
  }
}

TEST_F(EnsembleTest, RefusesBadRequests) {
  EXPECT_THROW(RunEnsemble(Config(0, 1)), std::invalid_argument);
  EXPECT_THROW(RunEnsemble(Config(-3, 1)), std::invalid_argument);
  EXPECT_THROW(RunEnsemble(Config(65536, 1)), std::invalid_argument);
  EXPECT_THROW(RunEnsemble(Config(2, -1)), std::invalid_argument);
  EXPECT_THROW(RunEnsemble(Config(2, 1, -1)), std::invalid_argument);
  EnsembleConfig noStart = Config(2, 1);
  noStart.start = nullptr;
  EXPECT_THROW(RunEnsemble(noStart), std::invalid_argument);
  CLandUseCoverage empty;
  EnsembleConfig emptyStart = Config(2, 1);
  emptyStart.start = &empty;
  EXPECT_THROW(RunEnsemble(emptyStart), std::invalid_argument);
  EXPECT_THROW(RunEnsembleRuns(Config(3, 1), {3}), std::invalid_argument);
  EXPECT_THROW(RunEnsembleRuns(Config(3, 1), {-1}), std::invalid_argument);
  EXPECT_THROW(RunEnsembleRuns(Config(3, 1), {1, 2, 1}), std::invalid_argument);
  try {
    RunEnsemble(Config(70000, 1));
    FAIL() << "no refusal";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), "an ensemble may have at most 65535 runs, not 70000");
  }
}

TEST_F(EnsembleTest, MergeAndFinishRefuseMismatches) {
  EnsembleSums a = EnsembleSums::Zero(2, 3, 4, 1);
  EXPECT_THROW(a.Merge(EnsembleSums::Zero(3, 2, 4, 1)), std::invalid_argument);
  EXPECT_THROW(a.Merge(EnsembleSums::Zero(2, 3, 5, 1)), std::invalid_argument);
  EXPECT_THROW(a.Merge(EnsembleSums::Zero(2, 3, 4, 2)), std::invalid_argument);
  EnsembleSums many = EnsembleSums::Zero(2, 3, 4, 1);
  many.runs = 65535;
  many.cellSum[0] = 99;
  a.runs = 1;
  EXPECT_THROW(a.Merge(many), std::invalid_argument);
  EXPECT_EQ(a.runs, 1u);  // a refused merge changes nothing
  EXPECT_EQ(a.cellSum[0], 0u);
  EXPECT_THROW(EnsembleSums::Zero(0, 3, 4, 1), std::invalid_argument);
  EXPECT_THROW(EnsembleSums::Zero(65536, 65537, 0, 1), std::invalid_argument);  // over 2^32 cells
  EXPECT_THROW(FinishEnsemble(EnsembleSums::Zero(2, 3, 4, 1), {{"x", {House}}}),
               std::invalid_argument);
  EXPECT_THROW(FinishEnsemble(a, {}), std::invalid_argument);  // one class summed, none named
  EXPECT_NO_THROW(FinishEnsemble(a, {{"x", {House}}}));
}

TEST_F(EnsembleTest, FailuresInRunsAndCallbacksReachTheCaller) {
  EnsembleConfig c = Config(8, 3, 2);
  std::atomic<int> made{0};
  c.makeSet = [&]() -> std::unique_ptr<CLandUseSet> {
    if (++made == 3) return nullptr;
    return DefaultSet();
  };
  EXPECT_THROW(RunEnsemble(c), std::runtime_error);
  c.makeSet = [&]() -> std::unique_ptr<CLandUseSet> { throw std::logic_error("no set today"); };
  EXPECT_THROW(RunEnsemble(c), std::logic_error);
  c.makeSet = nullptr;
  EXPECT_THROW(RunEnsemble(c,
                           [](int done) {
                             if (done == 2) throw std::out_of_range("enough");
                           }),
               std::out_of_range);
  // The runner is usable again afterwards.
  EXPECT_EQ(RunEnsemble(c).runs, 8);
}

}  // namespace
