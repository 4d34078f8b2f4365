// The step driver and the built-in starting town, checked against a step
// written by hand against the raw classes (copy, visit rows then columns,
// look the land use up by ID, develop into the copy).
#include <gtest/gtest.h>

#include <cstring>
#include <towngrow/towngrow.h>
#include <utility>
#include <vector>

using namespace towngrow;

namespace {

// The reference step: what a host writes without the driver.
void HandStep(CLandUseSet& set, CLandUseCoverage*& cur, CLandUseCoverage*& nxt,
              const CGrid* background, std::vector<long>* developments = nullptr) {
  nxt->CopyValueFromCoverage(cur);
  if (developments) developments->assign(static_cast<std::size_t>(set.m_LandUseArray.GetSize()), 0);
  for (int r = 0; r < cur->m_nRows; ++r)
    for (int c = 0; c < cur->m_nCols; ++c) {
      const int i = set.GetIDIndex(cur->GetCellValue(r, c));
      if (i < 0) continue;
      CLandUse* use = static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
      const int done = background ? use->DevelopWithBackGround(cur, r, c, nxt, background)
                                  : use->Develop(cur, r, c, nxt);
      if (developments && done == 1) ++(*developments)[static_cast<std::size_t>(i)];
    }
  std::swap(cur, nxt);
}

bool SameState(const CLandUseCoverage& a, const CLandUseCoverage& b) {
  if (a.m_nRows != b.m_nRows || a.m_nCols != b.m_nCols) return false;
  const std::size_t n = static_cast<std::size_t>(a.m_nRows) * static_cast<std::size_t>(a.m_nCols);
  return std::memcmp(a.m_pData, b.m_pData, n) == 0 &&
         std::memcmp(a.m_pCellAge, b.m_pCellAge, n * sizeof(short)) == 0;
}

// Copies values and ages of one coverage into another of the same size.
void CopyState(const CLandUseCoverage& from, CLandUseCoverage& to) {
  for (int r = 0; r < from.m_nRows; ++r)
    for (int c = 0; c < from.m_nCols; ++c) {
      to.SetCellValue(r, c, from.GetCellValue(r, c));
      to.SetCellAge(r, c, from.GetCellAge(r, c));
    }
}

class QuietMessages : public ::testing::Test {
protected:
  void SetUp() override {
    previous_ = SetMessageHandler([this](const std::string& t) { messages_.push_back(t); });
  }
  void TearDown() override { SetMessageHandler(previous_); }
  MessageHandler previous_;
  std::vector<std::string> messages_;
};

// Runs the driver and the hand loop side by side from the same start and the
// same generator state, comparing after every step.
void CompareWithHandLoop(int rows, int cols, unsigned seed, int steps, bool withTown,
                         const CGrid* background) {
  Simulation sim;
  ASSERT_EQ(sim.Init(rows, cols), 1);
  SeedRandom(seed);
  if (withTown) {
    ASSERT_EQ(PlaceStarterTown(sim.Current()), 1);
  } else {
    ASSERT_EQ(sim.Current().RandomFill(), 1);
  }
  sim.SetBackground(background);

  CLandUseSet set;
  CLandUseCoverage a, b;
  ASSERT_EQ(a.InitCoverage(rows, cols, 0), 1);
  ASSERT_EQ(b.InitCoverage(rows, cols, 0), 1);
  a.m_pLandUseSet = &set;
  b.m_pLandUseSet = &set;
  CopyState(sim.Current(), a);
  CLandUseCoverage* cur = &a;
  CLandUseCoverage* nxt = &b;

  for (int s = 1; s <= steps; ++s) {
    SeedRandom(seed * 7919u + static_cast<unsigned>(s));
    const StepReport& report = sim.Step();
    std::vector<long> handDevelopments;
    SeedRandom(seed * 7919u + static_cast<unsigned>(s));
    HandStep(set, cur, nxt, background, &handDevelopments);
    ASSERT_EQ(report.step, s);
    ASSERT_TRUE(SameState(sim.Current(), *cur)) << "diverged at step " << s;
    ASSERT_EQ(report.developments, handDevelopments) << "step " << s;
    // Both runs left the generator at the same place.
    SeedRandom(0);
  }
}

}  // namespace

using DriverMatchesHandLoop = QuietMessages;

TEST_F(DriverMatchesHandLoop, FromSparseRandomStart) {
  CompareWithHandLoop(40, 55, 3u, 30, false, nullptr);
}

TEST_F(DriverMatchesHandLoop, FromStarterTown) {
  CompareWithHandLoop(60, 60, 1u, 40, true, nullptr);
}

TEST_F(DriverMatchesHandLoop, UnderABackground) {
  // A background that allows a random subset of IDs 0 to 7 in each cell.
  CGrid background;
  ASSERT_EQ(background.InitGrid(40, 55, 0), 1);
  SeedRandom(12345);
  for (int r = 0; r < 40; ++r)
    for (int c = 0; c < 55; ++c)
      background.SetCellValue(r, c, static_cast<unsigned char>(RandomDraw() & 0xFF));
  CompareWithHandLoop(40, 55, 5u, 30, false, &background);
  CompareWithHandLoop(40, 55, 1u, 30, true, &background);
}

TEST_F(DriverMatchesHandLoop, BackgroundChangesTheOutcome) {
  // Guards against a driver that ignores the background: a background that
  // allows nothing freezes streets and nodes, unlike a free run.
  CGrid nothing;
  ASSERT_EQ(nothing.InitGrid(60, 60, 0), 1);
  Simulation free, fenced;
  ASSERT_EQ(free.Init(60, 60), 1);
  ASSERT_EQ(fenced.Init(60, 60), 1);
  PlaceStarterTown(free.Current());
  PlaceStarterTown(fenced.Current());
  fenced.SetBackground(&nothing);
  SeedRandom(1);
  free.Run(20);
  SeedRandom(1);
  fenced.Run(20);
  for (long d : fenced.LastReport().developments) EXPECT_EQ(d, 0);
  // Under a background that allows nothing, only old housing, industry and
  // commerce change (they are given up); the town's streets stay as placed,
  // while the free run grows new nodes.
  EXPECT_EQ(fenced.LastReport().cellsPerId[1], 4);
  EXPECT_EQ(fenced.LastReport().cellsPerId[2], 37);  // 4 arms of 10, less the nodes
  EXPECT_GT(free.LastReport().cellsPerId[1], 4);
}

// --- the step report ------------------------------------------------------

using StepReportTest = QuietMessages;

TEST_F(StepReportTest, CountsMatchARecountAfterEveryStep) {
  Simulation sim;
  ASSERT_EQ(sim.Init(50, 30), 1);
  SeedRandom(9);
  sim.Current().RandomFill();
  const StepReport& first = sim.LastReport();
  EXPECT_EQ(first.step, 0);
  // Init counts the state it made (all vacant), not the later fill.
  EXPECT_EQ(first.cellsPerId[0], 50 * 30);
  for (int s = 0; s < 15; ++s) {
    const StepReport& report = sim.Step();
    std::array<long, 256> recount{};
    for (int r = 0; r < 50; ++r)
      for (int c = 0; c < 30; ++c) ++recount[sim.Current().GetCellValue(r, c)];
    EXPECT_EQ(report.cellsPerId, recount);
    EXPECT_EQ(&report, &sim.LastReport());
    EXPECT_EQ(sim.StepCount(), s + 1);
  }
}

TEST(CountCellsPerId, EmptyAndFilledCoverages) {
  CLandUseCoverage empty;
  for (long n : CountCellsPerId(empty)) EXPECT_EQ(n, 0);
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(5, 7, 0), 1);
  cov.SetCellValue(0, 0, 255);
  cov.SetCellValue(4, 6, 255);
  cov.SetCellValue(2, 3, 9);
  const std::array<long, 256> counts = CountCellsPerId(cov);
  EXPECT_EQ(counts[255], 2);
  EXPECT_EQ(counts[9], 1);
  EXPECT_EQ(counts[0], 35 - 3);
}

// --- a host's own set ------------------------------------------------------

namespace {

// Records where it is developed and spreads its ID one cell to the right in
// the new coverage; answers a fixed result.
class Spreader : public CLandUse {
public:
  Spreader(unsigned char id, int result, std::vector<std::pair<int, int>>* log)
      : result_(result), log_(log) {
    m_ID = id;
    m_LandUseCategory = Others;
  }
  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override {
    if (log_) log_->emplace_back(nRow, nCol);
    (void)pCoverage;
    pNewCoverage->SetCellValue(nRow, nCol + 1, m_ID);
    return result_;
  }

private:
  int result_;
  std::vector<std::pair<int, int>>* log_;
};

// Empties a set of its default roster so that a test can fill it itself.
void ClearSet(CLandUseSet& set) {
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i)
    delete static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
  set.m_LandUseArray.RemoveAll();
}

}  // namespace

TEST(HostSet, LandUsesOfTheHostsSetDevelopInRowMajorOrderAndUnknownIDsAreSkipped) {
  std::vector<std::pair<int, int>> log;
  CLandUseSet set;
  ClearSet(set);
  // Array positions differ from IDs: the counts are per position.
  set.m_LandUseArray.Add(new Spreader(9, 1, &log));   // position 0
  set.m_LandUseArray.Add(new Spreader(4, 0, &log));   // position 1
  set.m_LandUseArray.Add(new Spreader(9, 1, nullptr));  // shadowed by position 0
  Simulation sim(&set);
  EXPECT_EQ(&sim.Set(), &set);
  ASSERT_EQ(sim.Init(6, 8), 1);
  EXPECT_EQ(sim.Current().m_pLandUseSet, &set);
  // Every cell holds an ID the set does not know (0), except these.
  sim.Current().SetCellValue(1, 0, 9);
  sim.Current().SetCellValue(3, 5, 4);
  sim.Current().SetCellValue(3, 2, 9);
  sim.Current().SetCellValue(0, 7, 4);  // spreads beyond the edge: refused

  const StepReport& r1 = sim.Step();
  const std::vector<std::pair<int, int>> firstVisits = {{0, 7}, {1, 0}, {3, 2}, {3, 5}};
  EXPECT_EQ(log, firstVisits);
  ASSERT_EQ(r1.developments.size(), 3u);
  EXPECT_EQ(r1.developments[0], 2);  // the two ID-9 cells
  EXPECT_EQ(r1.developments[1], 0);  // ID 4 answers 0
  EXPECT_EQ(r1.developments[2], 0);  // never reached
  // The rules read the old state: a cell spreads one column per step.
  EXPECT_EQ(sim.Current().GetCellValue(1, 1), 9);
  EXPECT_EQ(sim.Current().GetCellValue(1, 2), 0);
  EXPECT_EQ(sim.Current().GetCellValue(3, 6), 4);
  EXPECT_EQ(r1.cellsPerId[9], 4);
  EXPECT_EQ(r1.cellsPerId[4], 3);

  log.clear();
  const StepReport& r2 = sim.Step();
  EXPECT_EQ(log.size(), 7u);  // 4 cells of ID 9 and 3 of ID 4
  EXPECT_EQ(r2.developments[0], 4);
  EXPECT_EQ(sim.Current().GetCellValue(1, 2), 9);
  EXPECT_EQ(sim.Current().GetCellValue(1, 3), 0);
}

TEST(HostSet, LandUsesAppendedBetweenStepsAreCounted) {
  CLandUseSet set;
  ClearSet(set);
  set.m_LandUseArray.Add(new Spreader(9, 1, nullptr));
  Simulation sim(&set);
  ASSERT_EQ(sim.Init(5, 5), 1);
  sim.Current().SetCellValue(0, 0, 7);
  EXPECT_EQ(sim.Step().developments, std::vector<long>{0});
  set.m_LandUseArray.Add(new Spreader(7, 1, nullptr));
  const StepReport& r = sim.Step();
  EXPECT_EQ(r.developments, (std::vector<long>{0, 1}));
  EXPECT_EQ(sim.Current().GetCellValue(0, 1), 7);
}

TEST_F(QuietMessages, HostSetParameterChangeTakesEffect) {
  // The same town under the host's set with a policy of 0 for the street
  // node never grows a street, while the default set does.
  CLandUseSet set;
  const int node = set.GetIDIndex(1);
  ASSERT_GE(node, 0);
  static_cast<CLandUse*>(set.m_LandUseArray.GetAt(node))->m_nPolicy = 0;
  Simulation host(&set), own;
  ASSERT_EQ(host.Init(100, 100), 1);
  ASSERT_EQ(own.Init(100, 100), 1);
  PlaceStarterTown(host.Current());
  PlaceStarterTown(own.Current());
  SeedRandom(1);
  host.Run(20);
  SeedRandom(1);
  own.Run(20);
  EXPECT_EQ(host.LastReport().developments[static_cast<std::size_t>(node)], 0);
  EXPECT_EQ(host.LastReport().cellsPerId[1], 4);
  EXPECT_GT(own.LastReport().cellsPerId[1], 4);
}

TEST(HostSet, NullSetFallsBackToADefaultSet) {
  Simulation sim(nullptr);
  EXPECT_EQ(sim.Set().m_LandUseArray.GetSize(), 7);
  ASSERT_EQ(sim.Init(5, 5), 1);
  EXPECT_EQ(sim.Current().m_pLandUseSet, &sim.Set());
}

// --- Run, Init and robustness ----------------------------------------------

TEST(Run, CallbackSeesEveryStepAndCanStopEarly) {
  Simulation sim;
  ASSERT_EQ(sim.Init(10, 10), 1);
  std::vector<long> seen;
  const long ran = sim.Run(10, [&](const StepReport& r) {
    seen.push_back(r.step);
    return r.step < 3;
  });
  EXPECT_EQ(ran, 3);
  EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
  EXPECT_EQ(sim.StepCount(), 3);
  EXPECT_EQ(sim.Run(4), 4);
  EXPECT_EQ(sim.StepCount(), 7);
  EXPECT_EQ(sim.Run(0), 0);
  EXPECT_EQ(sim.Run(-2), 0);
}

TEST(Run, InitResetsTheStepCount) {
  Simulation sim;
  ASSERT_EQ(sim.Init(10, 10), 1);
  sim.Run(2);
  ASSERT_EQ(sim.Init(8, 12, 5), 1);
  EXPECT_EQ(sim.StepCount(), 0);
  EXPECT_EQ(sim.Current().m_nRows, 8);
  EXPECT_EQ(sim.Current().GetCellAge(7, 11), 5);
}

TEST(Run, NothingHappensWithoutCells) {
  Simulation sim;
  EXPECT_EQ(sim.Init(4, 10), 0);
  EXPECT_EQ(sim.Init(10, 10001), 0);
  EXPECT_EQ(sim.Step().step, 0);
  EXPECT_EQ(sim.Run(5, [](const StepReport&) { return true; }), 0);
  EXPECT_EQ(sim.StepCount(), 0);
}

TEST(Run, HostResizingTheStateIsFollowed) {
  Simulation sim;
  ASSERT_EQ(sim.Init(10, 10), 1);
  ASSERT_EQ(sim.Current().InitCoverage(20, 7, 0), 1);
  sim.Current().SetCellValue(19, 6, 6);
  const StepReport& r = sim.Step();
  EXPECT_EQ(r.step, 1);
  EXPECT_EQ(sim.Current().m_nRows, 20);
  EXPECT_EQ(sim.Current().m_nCols, 7);
  EXPECT_EQ(r.cellsPerId[6], 1);
}

// --- the built-in starting town --------------------------------------------

TEST(StarterTown, RefusesCoveragesItCannotHold) {
  CLandUseCoverage empty;
  EXPECT_EQ(PlaceStarterTown(empty), 0);
  CLandUseCoverage unlinked;
  ASSERT_EQ(unlinked.InitCoverage(20, 20, 0), 1);
  EXPECT_EQ(PlaceStarterTown(unlinked), 0);
  for (long n = 1; n < 256; ++n) EXPECT_EQ(CountCellsPerId(unlinked)[static_cast<std::size_t>(n)], 0);
}

TEST(StarterTown, LayoutOnAHundredByHundred) {
  CLandUseSet set;
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(100, 100, 0), 1);
  cov.m_pLandUseSet = &set;
  // Anything outside the town keeps what it held.
  for (int r = 0; r < 100; ++r)
    for (int c = 0; c < 100; ++c) {
      cov.SetCellValue(r, c, 6);
      cov.SetCellAge(r, c, 77);
    }
  ASSERT_EQ(PlaceStarterTown(cov), 1);
  const int arm = 10;
  // The cross: nodes at the four ends, vertices between.
  for (int k = -arm; k <= arm; ++k) {
    const unsigned char expect = (k == -arm || k == arm) ? 1 : 2;
    EXPECT_EQ(cov.GetCellValue(50 + k, 50), expect) << k;
    EXPECT_EQ(cov.GetCellValue(50, 50 + k), expect) << k;
    EXPECT_EQ(cov.GetCellAge(50 + k, 50), 0);
    EXPECT_EQ(cov.GetCellAge(50, 50 + k), 0);
  }
  const std::array<long, 256> counts = CountCellsPerId(cov);
  EXPECT_EQ(counts[1], 4);
  EXPECT_EQ(counts[2], 4 * arm - 3);
  EXPECT_EQ(counts[3], 12);
  EXPECT_EQ(counts[6], 100 * 100 - 4 - (4 * arm - 3) - 12);
  for (int r = 0; r < 100; ++r)
    for (int c = 0; c < 100; ++c)
      if (cov.GetCellValue(r, c) == 6) EXPECT_EQ(cov.GetCellAge(r, c), 77);
      else EXPECT_EQ(cov.GetCellAge(r, c), 0);
}

TEST(StarterTown, EveryNodeCanGrowAndEveryHouseSeesAStreet) {
  // Checked with the default street node's own tests: enough housing in its
  // demand window and no other node too close.
  for (int size : {20, 37, 100, 200}) {
    CLandUseSet set;
    CLandUseCoverage cov;
    ASSERT_EQ(cov.InitCoverage(size, size + 3, 0), 1);
    cov.m_pLandUseSet = &set;
    ASSERT_EQ(PlaceStarterTown(cov), 1);
    CStreetNode node;
    CLandUse probe;
    int nodes = 0;
    for (int r = 0; r < size; ++r)
      for (int c = 0; c < size + 3; ++c) {
        if (cov.GetCellValue(r, c) == 1) {
          ++nodes;
          EXPECT_EQ(node.CheckOtherStreetNode(&cov, r, c), 1) << size << " " << r << "," << c;
          EXPECT_EQ(node.CheckHouseIndustryCommerce(&cov, r, c), 1) << size << " " << r << "," << c;
        }
        if (cov.GetCellValue(r, c) == 3) {
          LandUseCategory streets[2] = {StreetNode, StreetVertex};
          int counts[2] = {0, 0};
          probe.GetCategoryInNeighbor(&cov, streets, counts, 2, r, c, 2);
          EXPECT_GE(counts[0] + counts[1], 1) << size << " " << r << "," << c;
        }
      }
    EXPECT_EQ(nodes, 4) << size;
  }
}

TEST(StarterTown, SmallCoveragesStayInside) {
  for (int rows : {5, 6, 9}) {
    for (int cols : {5, 7, 300}) {
      CLandUseSet set;
      CLandUseCoverage cov;
      ASSERT_EQ(cov.InitCoverage(rows, cols, 3), 1);
      cov.m_pLandUseSet = &set;
      EXPECT_EQ(PlaceStarterTown(cov), 1);
      const std::array<long, 256> counts = CountCellsPerId(cov);
      EXPECT_EQ(counts[1], 4) << rows << "x" << cols;
      EXPECT_EQ(cov.GetCellValue(rows / 2, cols / 2), 2);
    }
  }
}
