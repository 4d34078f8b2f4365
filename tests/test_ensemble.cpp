// The ensemble runner: every run is the lone driver's run for its seed, the aggregate is the same
// for any thread count and any split into partial sums, the statistics are those of the runs' own
// reports, and bad requests are refused.
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/files.h"
#include "support/scene.h"

using namespace testkit;

namespace {

// A start with every land use, random ages and the starting town.
class Ensemble : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(start_.InitCoverage(24, 31, 0), 1);
    start_.m_pLandUseSet = &startSet_;
    SeedRandom(2024);
    ASSERT_EQ(start_.RandomFill() + PlaceStarterTown(start_), 2);
  }
  EnsembleConfig Config(int runs, int threads, long steps = 6) const {
    EnsembleConfig c;
    c.start = &start_, c.steps = steps, c.runs = runs, c.threads = threads;
    c.baseSeed = 4000000000u;  // S + i*K wraps past 2^32 within a few runs
    c.seedStep = 123456789u;
    return c;
  }
  // The sums of lone driver runs, computed without the runner; per run also
  // the cells per ID of the start and after every step.
  static EnsembleSums LoneSums(const EnsembleConfig& c, const std::vector<int>& indices,
                               std::vector<std::vector<std::array<long, 256>>>* perRun = nullptr) {
    EnsembleSums s = EnsembleSums::Zero(c.start->m_nRows, c.start->m_nCols, c.steps,
                                        static_cast<int>(c.tracked.size()));
    for (int i : indices) {
      auto set = c.makeSet ? c.makeSet() : std::make_unique<CLandUseSet>();
      Simulation sim(set.get());
      EXPECT_EQ(sim.Init(c.start->m_nRows, c.start->m_nCols), 1);
      EXPECT_EQ(sim.Current().CopyValueFromCoverage(c.start), 1);
      sim.SetBackground(c.background);
      SeedRandom(c.baseSeed + static_cast<unsigned>(i) * c.seedStep);
      if (c.makeStart) sim.Current().RandomFill();  // the one maker used here: a lone random start
      std::vector<std::array<long, 256>> counts = {CountCellsPerId(sim.Current())};
      sim.Run(c.steps, [&](const StepReport& r) { return counts.push_back(r.cellsPerId), true; });
      for (std::size_t k = 0; k < c.tracked.size(); ++k)
        for (std::size_t cell = 0; cell < s.cellCounts[k].size(); ++cell) {
          const auto& cats = c.tracked[k].categories;
          const auto cat = set->GetCategory(sim.Current().m_pData[cell]);
          s.cellCounts[k][cell] += std::count(cats.begin(), cats.end(), cat) > 0;
        }
      for (std::size_t at = 0; at < counts.size() * 256; ++at) {
        const auto x = static_cast<std::uint64_t>(counts[at / 256][at % 256]);
        s.cellSum[at] += x, s.squareLow[at] += (x * x) & 0xFFFFFFFFu,
            s.squareHigh[at] += (x * x) >> 32;
      }
      ++s.runs;
      if (perRun) perRun->push_back(counts);
    }
    return s;
  }
  static std::string Of(const EnsembleSums& a) {  // everything a sum holds
    Digest d;
    d.Add(a.rows).Add(a.cols).Add(static_cast<std::uint64_t>(a.steps)).Add(a.classes).Add(a.runs);
    for (const auto& counts : a.cellCounts)
      for (auto v : counts) d.Add(v);
    for (const auto* v : {&a.cellSum, &a.squareLow, &a.squareHigh})
      for (auto x : *v) d.Add(x);
    return d.Hex();
  }
  static bool Same(const EnsembleResult& a, const EnsembleResult& b) {
    return a.cellCounts == b.cellCounts && a.meanPerStep == b.meanPerStep &&
           a.stddevPerStep == b.stddevPerStep && a.classNames == b.classNames;
  }
  NoticeRecorder quiet_;  // notices of the rules stay off standard error
  CLandUseSet startSet_;
  CLandUseCoverage start_;
};

TEST_F(Ensemble, RunsAreTheLoneRunsOfTheirSeedsWithTheirSetBackgroundClassesAndStart) {
  CGrid left;  // development allowed in the left half only
  ASSERT_EQ(left.InitGrid(24, 31, 0), 1);
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 16; ++c) left.SetCellValue(r, c, 0xFF);
  CLandUseCoverage bare;  // cells only: no set, no ages
  ASSERT_EQ(bare.InitGrid(24, 31, 0), 1);
  std::copy(start_.m_pData, start_.m_pData + 24 * 31, bare.m_pData);
  for (int r = 0; r < 3; ++r) start_.SetCellValue(r, 0, 9);
  std::vector<std::string> seen;
  for (int variant = 0; variant < 7; ++variant) {
    SCOPED_TRACE(variant);
    EnsembleConfig c = Config(10, 2);
    if (variant == 1 || variant == 2 || variant == 6)  // a set of its own: ID 9 an industry
      c.makeSet = [variant] {                          // that never grows (6: of category 7)
        auto set = std::make_unique<CLandUseSet>();
        Append(*set, 9, variant == 6 ? 7 : Industry);
        return set;
      };
    if (variant == 2) c.background = &left;
    if (variant == 3) c.tracked = {{"vacant", {Blank}}, {"other", {Others}}};
    if (variant == 4) c.start = &bare;
    if (variant == 5) c.makeStart = SparseRandomStart();
    if (variant == 6)  // a category a host stored outside the seven, tracked by its number
      c.tracked = {{"seven", {static_cast<LandUseCategory>(7)}}, {"others", {Others}}};
    const EnsembleSums one = RunEnsembleRuns(c, {7});
    EXPECT_EQ(Of(one), Of(LoneSums(c, {7})));
    EXPECT_EQ(Of(RunEnsembleRuns(c, {9, 0, 4})), Of(LoneSums(c, {0, 4, 9})));
    EXPECT_NE(Of(one), Of(RunEnsembleRuns(c, {8})));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Of(one)), 0);  // each variant matters
    seen.push_back(Of(one));
    EXPECT_TRUE(variant != 1 || one.cellCounts[1][0] == 1);  // ID 9: industry in the runs' set
  }
  EXPECT_EQ(Of(RunEnsembleRuns(Config(3, 2), {})), Of(EnsembleSums::Zero(24, 31, 6, 5)));
}

TEST_F(Ensemble, ThreadCountsAndPartialSumsInAnyOrderGiveTheSameAggregate) {
  const EnsembleConfig c = Config(9, 1);
  const EnsembleSums whole = LoneSums(c, {0, 1, 2, 3, 4, 5, 6, 7, 8});
  const EnsembleResult reference = FinishEnsemble(whole, c.tracked);
  for (int threads : {1, 2, 5, 0}) {
    EXPECT_EQ(Of(RunEnsembleRuns(Config(9, threads), {0, 1, 2, 3, 4, 5, 6, 7, 8})), Of(whole));
    EXPECT_TRUE(Same(RunEnsemble(Config(9, threads)), reference)) << threads;
  }
  const EnsembleSums a = RunEnsembleRuns(c, {0, 3, 6}), b = RunEnsembleRuns(c, {1, 4, 7}),
                     d = RunEnsembleRuns(c, {2, 5, 8});
  EnsembleSums abd = a, dba = EnsembleSums::Zero(24, 31, 6, 5);
  abd.Merge(b), abd.Merge(d), dba.Merge(d), dba.Merge(b), dba.Merge(a);
  EXPECT_EQ(std::make_tuple(Of(abd), Of(dba)), std::make_tuple(Of(whole), Of(whole)));
  EXPECT_TRUE(Same(FinishEnsemble(std::move(abd), c.tracked), reference));
}

TEST_F(Ensemble, MeanAndSampleDeviationOfTheRunsReportsAndSixteenBitCounts) {
  const EnsembleConfig c = Config(5, 3, 8);
  const EnsembleResult r = RunEnsemble(c);
  std::vector<std::vector<std::array<long, 256>>> runs;
  LoneSums(c, {0, 1, 2, 3, 4}, &runs);
  ASSERT_EQ(std::make_tuple(r.rows, r.cols, r.runs, r.steps, r.meanPerStep.size(),
                            r.stddevPerStep.size()),
            std::make_tuple(24, 31, 5, 8L, std::size_t{9}, std::size_t{9}));
  bool spread = false;
  for (std::size_t at = 0; at < 9 * 256; ++at) {
    long double sum = 0, dev2 = 0;
    for (const auto& run : runs) sum += run[at / 256][at % 256];
    for (const auto& run : runs) dev2 += std::pow(run[at / 256][at % 256] - sum / 5, 2);
    const double sd = static_cast<double>(std::sqrt(dev2 / 4));
    EXPECT_NEAR(r.meanPerStep[at / 256][at % 256], static_cast<double>(sum / 5), 1e-9);
    EXPECT_NEAR(r.stddevPerStep[at / 256][at % 256], sd, 1e-9 * (1 + sd));
    spread = spread || sd > 0.5;
  }
  EXPECT_TRUE(spread);
  EnsembleSums s = EnsembleSums::Zero(1, 1, 0, 0);  // x * x passes 2^63
  for (std::uint64_t x : {4000000000ull, 4000000002ull})
    s.cellSum[7] += x, s.squareLow[7] += (x * x) & 0xFFFFFFFFu, s.squareHigh[7] += (x * x) >> 32;
  s.runs = 2;
  const EnsembleResult big = FinishEnsemble(s, {});
  EXPECT_EQ(big.meanPerStep[0][7], 4000000001.0);
  EXPECT_DOUBLE_EQ(big.stddevPerStep[0][7], std::sqrt(2.0));
  CLandUseCoverage small;  // the most runs on the smallest grid without steps: counts fill up
  ASSERT_EQ(small.InitCoverage(5, 5, 0), 1);
  small.m_pLandUseSet = &startSet_;
  ASSERT_EQ(PlaceStarterTown(small), 1);
  EnsembleConfig most;
  most.start = &small, most.runs = kMaxEnsembleRuns, most.threads = 2;
  const EnsembleResult full = RunEnsemble(most);
  ASSERT_EQ(full.runs, 65535);
  for (std::size_t cell = 0; cell < 25; ++cell)
    EXPECT_EQ(full.cellCounts[4][cell],
              startSet_.GetCategory(small.m_pData[cell]) != Blank ? 65535 : 0);
  EXPECT_EQ(full.meanPerStep[0][3], CountCellsPerId(small)[3]);
  EXPECT_EQ(full.stddevPerStep[0][3], 0.0);
}

TEST_F(Ensemble, ProgressOnTheCallingThreadNoticesAsTheLoneRunsAndTheCallersGenerator) {
  std::vector<int> done;
  const std::thread::id caller = std::this_thread::get_id();
  SeedRandom(31337);
  const int first = RandomDraw(), second = RandomDraw();
  SeedRandom(31337);
  EXPECT_EQ(RandomDraw(), first);
  RunEnsemble(Config(6, 3, 1),
              [&](int n) { done.push_back(std::this_thread::get_id() == caller ? n : -n); });
  EXPECT_EQ(RandomDraw(), second);
  EXPECT_EQ(done, std::vector<int>({1, 2, 3, 4, 5, 6}));
  EnsembleConfig c = Config(4, 2);  // a second housing: the rules show notices
  c.makeSet = [] {
    auto set = std::make_unique<CLandUseSet>();
    Append(*set, 9, House, new CHouse());
    return set;
  };
  std::mutex m;
  std::vector<std::string> notices;
  const MessageHandler old = SetMessageHandler([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(m);
    notices.push_back(text);
  });
  RunEnsembleRuns(c, {0, 1, 2, 3});
  const std::vector<std::string> fromEnsemble = notices;
  notices.clear();
  LoneSums(c, {0, 1, 2, 3});
  SetMessageHandler(old);
  EXPECT_EQ(fromEnsemble, notices);
  EXPECT_FALSE(notices.empty());
}

TEST_F(Ensemble, BadRequestsMismatchesAndFailuresReachTheCaller) {
  EnsembleConfig none = Config(2, 1), empty = Config(2, 1);
  CLandUseCoverage nothing;
  none.start = nullptr, empty.start = &nothing;
  for (const EnsembleConfig& c :
       {Config(0, 1), Config(65536, 1), Config(2, -1), Config(2, 1, -1), none, empty})
    EXPECT_THROW(RunEnsemble(c), std::invalid_argument);
  for (const std::vector<int>& runs : {std::vector<int>{3}, {-1}, {1, 2, 1}})
    EXPECT_THROW(RunEnsembleRuns(Config(3, 1), runs), std::invalid_argument);
  EXPECT_EQ(Thrown<std::invalid_argument>([&] { RunEnsemble(Config(70000, 1)); }),
            "an ensemble may have at most 65535 runs, not 70000");
  EnsembleSums a = EnsembleSums::Zero(2, 3, 4, 1), many = a;
  many.runs = 65535, many.cellSum[0] = 99, a.runs = 1;
  for (const EnsembleSums& other : {EnsembleSums::Zero(3, 2, 4, 1), EnsembleSums::Zero(2, 3, 5, 1),
                                    EnsembleSums::Zero(2, 3, 4, 2), many})
    EXPECT_THROW(a.Merge(other), std::invalid_argument);
  EXPECT_EQ(a.runs, 1u);  // a refused merge changes nothing
  EXPECT_EQ(a.cellSum[0], 0u);
  EXPECT_THROW(EnsembleSums::Zero(0, 3, 4, 1), std::invalid_argument);
  EXPECT_THROW(EnsembleSums::Zero(3, 0, 4, 1), std::invalid_argument);
  EXPECT_THROW(EnsembleSums::Zero(65536, 65537, 0, 1), std::invalid_argument);  // over 2^32 cells
  EXPECT_THROW(FinishEnsemble(EnsembleSums::Zero(2, 3, 4, 1), {{"x", {House}}}),
               std::invalid_argument);
  EXPECT_THROW(FinishEnsemble(a, {}), std::invalid_argument);  // one class summed, none named
  EXPECT_NO_THROW(FinishEnsemble(a, {{"x", {House}}}));
  EnsembleConfig c = Config(8, 3, 2);
  std::atomic<int> made{0};
  c.makeSet = [&]() -> std::unique_ptr<CLandUseSet> {
    return ++made == 3 ? nullptr : std::make_unique<CLandUseSet>();
  };
  EXPECT_THROW(RunEnsemble(c), std::runtime_error);
  c.makeSet = []() -> std::unique_ptr<CLandUseSet> { throw std::logic_error("no set"); };
  EXPECT_THROW(RunEnsemble(c), std::logic_error);
  c.makeSet = nullptr;
  c.makeStart = [](int, CLandUseCoverage& run) { run.InitCoverage(5, 5, 0); };
  EXPECT_THROW(RunEnsemble(c), std::runtime_error);  // a start of another size
  c.makeStart = nullptr;
  EXPECT_THROW(RunEnsemble(c,
                           [](int n) {
                             if (n == 2) throw std::out_of_range("enough");
                           }),
               std::out_of_range);
  EXPECT_EQ(RunEnsemble(c).runs, 8);  // usable again afterwards
}

}  // namespace
