// The step driver and the built-in starting town, checked against a step
// written by hand against the raw classes (copy, visit rows then columns,
// look the land use up by ID, develop into the copy).
#include <cstring>

#include "support/scene.h"

using namespace testkit;

namespace {

// The reference step: what a host writes without the driver.
void HandStep(CLandUseSet& set, CLandUseCoverage*& cur, CLandUseCoverage*& nxt,
              const CGrid* background, std::vector<long>& developments) {
  nxt->CopyValueFromCoverage(cur);
  developments.assign(static_cast<std::size_t>(set.m_LandUseArray.GetSize()), 0);
  for (int r = 0; r < cur->m_nRows; ++r)
    for (int c = 0; c < cur->m_nCols; ++c) {
      const int i = set.GetIDIndex(cur->GetCellValue(r, c));
      if (i < 0) continue;
      CLandUse* use = static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
      const int done = background ? use->DevelopWithBackGround(cur, r, c, nxt, background)
                                  : use->Develop(cur, r, c, nxt);
      if (done == 1) ++developments[static_cast<std::size_t>(i)];
    }
  std::swap(cur, nxt);
}

// Runs the driver and the hand loop side by side from the same start and
// the same generator state, comparing after every step.
void CompareWithHandLoop(int rows, int cols, unsigned seed, int steps, bool withTown,
                         const CGrid* background) {
  NoticeRecorder quiet;
  Simulation sim;
  ASSERT_EQ(sim.Init(rows, cols), 1);
  EXPECT_EQ(sim.LastReport().step, 0);
  EXPECT_EQ(sim.LastReport().cellsPerId[0], rows * cols);  // the state Init made
  SeedRandom(seed);
  ASSERT_EQ(withTown ? PlaceStarterTown(sim.Current()) : sim.Current().RandomFill(), 1);
  sim.SetBackground(background);
  Scene hand(rows, cols);
  ASSERT_EQ(hand.cur.CopyValueFromCoverage(&sim.Current()), 1);
  hand.cur.m_pLandUseSet = &hand.set;
  CLandUseCoverage* cur = &hand.cur;
  CLandUseCoverage* nxt = &hand.next;
  for (int s = 1; s <= steps; ++s) {
    SeedRandom(seed * 7919u + static_cast<unsigned>(s));
    const StepReport& report = sim.Step();
    std::vector<long> developments;
    SeedRandom(seed * 7919u + static_cast<unsigned>(s));
    HandStep(hand.set, cur, nxt, background, developments);
    ASSERT_EQ(report.step, s);
    ASSERT_EQ(Values(sim.Current()), Values(*cur)) << "diverged at step " << s;
    ASSERT_EQ(Ages(sim.Current()), Ages(*cur)) << "diverged at step " << s;
    ASSERT_EQ(report.developments, developments) << "step " << s;
    std::array<long, 256> recount{};
    for (unsigned char id : Values(*cur)) ++recount[id];
    ASSERT_EQ(report.cellsPerId, recount) << "step " << s;
    EXPECT_EQ(CountCellsPerId(sim.Current()), recount);
    EXPECT_EQ(&report, &sim.LastReport());
    EXPECT_EQ(sim.StepCount(), s);
  }
}

// Records where it is developed and spreads its ID one cell to the right in
// the new coverage; answers a fixed result.
class Spreader : public CLandUse {
public:
  Spreader(unsigned char id, int result, std::vector<std::pair<int, int>>* log)
      : result_(result), log_(log) {
    m_ID = id;
    m_LandUseCategory = Others;
  }
  int Develop(CLandUseCoverage*, int nRow, int nCol, CLandUseCoverage* pNewCoverage) override {
    if (log_) log_->emplace_back(nRow, nCol);
    pNewCoverage->SetCellValue(nRow, nCol + 1, m_ID);
    return result_;
  }

private:
  int result_;
  std::vector<std::pair<int, int>>* log_;
};

}  // namespace

TEST(DriverMatchesHandLoop,
     StatesDevelopmentsAndCountsFromRandomStartOrTownWithAndWithoutABackground) {
  CGrid background;  // allows a random subset of IDs 0 to 7 in each cell
  ASSERT_EQ(background.InitGrid(40, 55, 0), 1);
  SeedRandom(12345);
  for (int r = 0; r < 40; ++r)
    for (int c = 0; c < 55; ++c)
      background.SetCellValue(r, c, static_cast<unsigned char>(RandomDraw() & 0xFF));
  CompareWithHandLoop(40, 55, 3u, 25, false, nullptr);
  CompareWithHandLoop(60, 60, 1u, 30, true, nullptr);
  CompareWithHandLoop(40, 55, 5u, 25, false, &background);
  CompareWithHandLoop(40, 55, 1u, 25, true, &background);
}

TEST(DriverMatchesHandLoop, BackgroundAndHostParametersChangeTheOutcome) {
  // Guards against a driver that ignores the background or the host's set:
  // a background allowing nothing, or a street node policy of 0, freezes
  // the town's streets, unlike a free run.
  NoticeRecorder quiet;
  CGrid nothing;
  ASSERT_EQ(nothing.InitGrid(60, 60, 0), 1);
  CLandUseSet noStreets;
  const int node = noStreets.GetIDIndex(1);
  static_cast<CLandUse*>(noStreets.m_LandUseArray.GetAt(node))->m_nPolicy = 0;
  Simulation free, fenced, host(&noStreets);
  for (Simulation* sim : {&free, &fenced, &host}) {
    ASSERT_EQ(sim->Init(60, 60), 1);
    PlaceStarterTown(sim->Current());
  }
  fenced.SetBackground(&nothing);
  for (Simulation* sim : {&free, &fenced, &host}) {
    SeedRandom(1);
    sim->Run(20);
  }
  for (long d : fenced.LastReport().developments) EXPECT_EQ(d, 0);
  EXPECT_EQ(fenced.LastReport().cellsPerId[2], 37);  // 4 arms of 10, less the nodes
  EXPECT_EQ(host.LastReport().developments[static_cast<std::size_t>(node)], 0);
  EXPECT_EQ(fenced.LastReport().cellsPerId[1], 4);
  EXPECT_EQ(host.LastReport().cellsPerId[1], 4);
  EXPECT_GT(free.LastReport().cellsPerId[1], 4);
}

TEST(HostSet, LandUsesDevelopInRowMajorOrderByPositionAndUnknownIDsAreSkipped) {
  std::vector<std::pair<int, int>> log;
  CLandUseSet set;
  testkit::ClearSet(set);
  set.m_LandUseArray.Add(new Spreader(9, 1, &log));     // position 0
  set.m_LandUseArray.Add(new Spreader(4, 0, &log));     // position 1
  set.m_LandUseArray.Add(new Spreader(9, 1, nullptr));  // shadowed by position 0
  Simulation sim(&set);
  EXPECT_EQ(&sim.Set(), &set);
  ASSERT_EQ(sim.Init(6, 8), 1);
  EXPECT_EQ(sim.Current().m_pLandUseSet, &set);
  sim.Current().SetCellValue(1, 0, 9);  // every other cell holds the unknown ID 0
  sim.Current().SetCellValue(3, 5, 4);
  sim.Current().SetCellValue(3, 2, 9);
  sim.Current().SetCellValue(0, 7, 4);  // spreads beyond the edge: refused

  const StepReport& r1 = sim.Step();
  EXPECT_EQ(log, (std::vector<std::pair<int, int>>{{0, 7}, {1, 0}, {3, 2}, {3, 5}}));
  EXPECT_EQ(r1.developments, (std::vector<long>{2, 0, 0}));
  EXPECT_EQ(sim.Current().GetCellValue(1, 1), 9);  // the rules read the old state
  EXPECT_EQ(sim.Current().GetCellValue(1, 2), 0);
  EXPECT_EQ(r1.cellsPerId[9] * 10 + r1.cellsPerId[4], 43);
  log.clear();
  EXPECT_EQ(sim.Step().developments[0], 4);
  EXPECT_EQ(log.size(), 7u);
  EXPECT_EQ(sim.Current().GetCellValue(1, 2), 9);

  set.m_LandUseArray.Add(new Spreader(0, 1, nullptr));  // appended between steps
  EXPECT_EQ(sim.Step().developments.size(), 4u);
  EXPECT_GT(sim.LastReport().developments[3], 0);

  CLandUseCoverage empty;
  EXPECT_EQ(CountCellsPerId(empty), (std::array<long, 256>{}));
  Simulation fallback(nullptr);
  EXPECT_EQ(fallback.Set().m_LandUseArray.GetSize(), 7);
  ASSERT_EQ(fallback.Init(5, 5), 1);
  EXPECT_EQ(fallback.Current().m_pLandUseSet, &fallback.Set());
}

TEST(Run, CallbackStopsEarlyInitResetsAndNothingHappensWithoutCells) {
  Simulation sim;
  EXPECT_EQ(sim.Init(4, 10), 0);
  EXPECT_EQ(sim.Init(10, 10001), 0);
  EXPECT_EQ(sim.Step().step, 0);
  EXPECT_EQ(sim.Run(5, [](const StepReport&) { return true; }), 0);
  EXPECT_EQ(sim.StepCount(), 0);

  ASSERT_EQ(sim.Init(10, 10), 1);
  std::vector<long> seen;
  EXPECT_EQ(sim.Run(10,
                    [&](const StepReport& r) {
                      seen.push_back(r.step);
                      return r.step < 3;
                    }),
            3);
  EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
  EXPECT_EQ(sim.Run(4), 4);
  EXPECT_EQ(sim.StepCount(), 7);
  EXPECT_EQ(sim.Run(0) + sim.Run(-2), 0);
  ASSERT_EQ(sim.Init(8, 12, 5), 1);
  EXPECT_EQ(sim.StepCount(), 0);
  EXPECT_EQ(sim.Current().GetCellAge(7, 11), 5);

  ASSERT_EQ(sim.Current().InitCoverage(20, 7, 0), 1);  // resized by the host
  sim.Current().SetCellValue(19, 6, 6);
  const StepReport& r = sim.Step();
  EXPECT_EQ(r.step, 1);
  EXPECT_EQ(sim.Current().m_nRows * 100 + sim.Current().m_nCols, 2007);
  EXPECT_EQ(r.cellsPerId[6], 1);
}

TEST(StarterTown, LayoutRefusalsNodesThatCanGrowAndSmallCoverages) {
  CLandUseCoverage empty;
  EXPECT_EQ(PlaceStarterTown(empty), 0);
  Scene s(100, 100);
  s.cur.m_pLandUseSet = nullptr;
  EXPECT_EQ(PlaceStarterTown(s.cur), 0);
  EXPECT_EQ(CountCellsPerId(s.cur)[0], 100 * 100);
  s.cur.m_pLandUseSet = &s.set;
  s.cur.SetGridValue(6);  // anything outside the town keeps what it held
  s.cur.SetCoverageAge(77);
  ASSERT_EQ(PlaceStarterTown(s.cur), 1);
  for (int k = -10; k <= 10; ++k) {  // the cross: nodes at the four ends
    const unsigned char expect = (k == -10 || k == 10) ? 1 : 2;
    EXPECT_EQ(s.cur.GetCellValue(50 + k, 50), expect) << k;
    EXPECT_EQ(s.cur.GetCellValue(50, 50 + k), expect) << k;
  }
  const std::array<long, 256> counts = CountCellsPerId(s.cur);
  EXPECT_EQ(counts[1], 4);
  EXPECT_EQ(counts[2], 37);
  EXPECT_EQ(counts[3], 12);
  EXPECT_EQ(counts[6], 100 * 100 - 4 - 37 - 12);
  for (int r = 0; r < 100; ++r)
    for (int c = 0; c < 100; ++c)
      EXPECT_EQ(s.cur.GetCellAge(r, c), s.cur.GetCellValue(r, c) == 6 ? 77 : 0);

  // Every node can grow and every house sees a street; small coverages
  // hold the town inside.
  for (int size : {20, 37, 200}) {
    Scene s(size, size + 3);
    ASSERT_EQ(PlaceStarterTown(s.cur), 1);
    CStreetNode node;
    int nodes = 0;
    for (int r = 0; r < size; ++r)
      for (int c = 0; c < size + 3; ++c) {
        if (s.cur.GetCellValue(r, c) == 1) {
          ++nodes;
          EXPECT_EQ(node.CheckOtherStreetNode(&s.cur, r, c), 1) << size << " " << r << "," << c;
          EXPECT_EQ(node.CheckHouseIndustryCommerce(&s.cur, r, c), 1)
              << size << " " << r << "," << c;
        }
        EXPECT_TRUE(s.cur.GetCellValue(r, c) != 3 || s.Count(r, c, 2, {1, 2}) >= 1)
            << r << "," << c;
      }
    EXPECT_EQ(nodes, 4) << size;
  }
  for (int rows : {5, 6, 9})
    for (int cols : {5, 7, 300}) {
      Scene s(rows, cols);
      EXPECT_EQ(PlaceStarterTown(s.cur), 1);
      EXPECT_EQ(CountCellsPerId(s.cur)[1], 4) << rows << "x" << cols;
      EXPECT_EQ(s.cur.GetCellValue(rows / 2, cols / 2), 2);
    }
}
