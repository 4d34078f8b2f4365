// The step driver and the starting town: whole runs over a table of scenarios, by the driver and by
// a hand-written reference step (copy, visit rows then columns, develop into the copy), agree and
// are pinned by a digest of their Develop results, values, ages, messages and next draw. A changed
// pin means a rule, a draw, the cell order or a start changed: explain it in the unit's tests and
// update the pin in the same commit.
#include "support/scene.h"

using namespace testkit;

namespace {

using SetUp = void (*)(CLandUseSet&, int step);  // step -1: before the start

struct DriverCase {
  const char* name;
  int rows, cols;
  unsigned seed;
  int steps;
  const std::vector<int>* weights;  // null: none (vacant, age 0); empty: the sparse start
  bool town;                        // the starting town laid over the start
  SetUp setUp;                      // changes to the set, before the start and each step
  bool background;                  // a background forbidding some IDs in a pattern of cells
  const char* pin;
};

template <class T>
T* At(CLandUseSet& set, int i) {
  return dynamic_cast<T*>(set.m_LandUseArray.GetAt(i));
}

void NoChange(CLandUseSet&, int) {}

// Parameters of every rule moved off their defaults.
void Parameters(CLandUseSet& set, int step) {
  if (step != -1) return;
  auto* node = At<CStreetNode>(set, 1);
  node->m_nConnectMode = 2, node->m_nJunctionFillPercent = 60, node->m_nJunctionVertices = 3;
  node->m_nMinStep = 3, node->m_nMaxStep = 5, node->m_nDensityType = 1;
  auto* house = At<CHouse>(set, 3);
  house->m_nNeighborRadius = 3, house->m_nMaxLength = 7, house->m_nDensityType = 3;
  house->m_dDensityRate = 0.3, house->m_dDensityPower = 1.5, house->m_nPolicy = 80;
  house->m_nStreetPercent = 8, house->m_nInactivePeriod = 12, house->m_nDeadAge = 3;
  SetWeights(house->m_nMixedLandUseProb, 20, 40, 40);
  auto* industry = At<CIndustry>(set, 4);
  industry->m_nDensityType = 2, industry->m_nNeighborRadius = 1, industry->m_nStreetPercent = 10;
  industry->m_nHouseCommercePercent = 60, industry->m_nActiveAge = 6;
  auto* commerce = At<CCommerce>(set, 5);
  commerce->m_nNeighborRadius = 4, commerce->m_nDeadAge = 5, commerce->m_nHousePercent = 10;
  SetWeights(commerce->m_nLandUseProb, 30, 30, 40);
}

void ConnectRow(CLandUseSet& set, int step) {
  Parameters(set, step);
  if (step == -1) At<CStreetNode>(set, 1)->m_nConnectMode = 1;
}

// Thresholds and shares moved the other way, and the junction fill.
void Thresholds(CLandUseSet& set, int step) {
  if (step != -1) return;
  auto* node = At<CStreetNode>(set, 1);
  node->m_nJunctionVertices = 2, node->m_nJunctionHousePercent = 20,
  node->m_nJunctionFillPercent = 30;
  node->m_nHousePercent = 5, node->m_nIndustryPercent = 30, node->m_nCommercePercent = 40;
  auto* house = At<CHouse>(set, 3);
  house->m_nNeighborRadius = 1, house->m_nStreetPercent = 15, house->m_nActiveAge = 10;
  SetWeights(house->m_nResidentialLandUseProb, 30, 30, 40);
  At<CIndustry>(set, 4)->m_nHouseCommercePercent = 20, At<CIndustry>(set, 4)->m_nNeighborRadius = 2;
  At<CCommerce>(set, 5)->m_nHousePercent = 40, At<CCommerce>(set, 5)->m_nStreetPercent = 4;
}

// A second housing (9), a null entry, a second vacant land (12), a second street node (7), an
// industry (13) and commerce (14) of their own, a category outside 0..6 (8).
void Appended(CLandUseSet& set, int step) {
  if (step != -1) return;
  Append(set, 9, House);
  set.m_LandUseArray.Add(nullptr);
  Append(set, 12, Blank);
  Append(set, 7, StreetNode, new CStreetNode());
  Append(set, 13, Industry, new CIndustry());
  Append(set, 14, Commerce, new CCommerce())->m_nPolicy = 60;
  Append(set, 8, 9);
}

// The host changes IDs, categories and parameters between steps.
void Changing(CLandUseSet& set, int step) {
  auto *house = At<CLandUse>(set, 3), *commerce = At<CLandUse>(set, 5);
  if (step == 10) house->m_LandUseCategory = Industry;
  if (step == 15) house->m_LandUseCategory = House;
  if (step == 20) commerce->m_ID = 11;
  if (step == 25) Append(set, 20, Commerce, new CCommerce());
  if (step == 30) commerce->m_ID = 5;
  if (step == 35) house->m_ID = 0;  // two vacant IDs: the earlier wins
  if (step == 40) house->m_ID = 3;
  if (step == 45) house->m_nMaxLength = 9;
  if (step == 50) house->m_dDensityScale = 0.5;
}

// Reduced with a fresh set and start: through the driver (which also
// checks its reports) or through the hand-written reference step.
std::string RunDigest(const DriverCase& k, bool driver) {
  NoticeRecorder notices;
  CLandUseSet set;
  k.setUp(set, -1);
  CGrid background;
  EXPECT_EQ(background.InitGrid(k.rows, k.cols, 0xFF), 1);
  for (int r = 0; r < k.rows; ++r)
    for (int c = 0; c < k.cols; ++c)
      if ((r * 7 + c * 13) % 3 == 0) background.SetCellValue(r, c, (r + c) % 2 ? 0x07 : 0x29);
  Simulation sim(&set);
  EXPECT_EQ(sim.Init(k.rows, k.cols), 1);
  CLandUseCoverage& start = sim.Current();
  SeedRandom(k.seed);
  if (const std::vector<int>* w = k.weights) {
    const int n = static_cast<int>(w->size());
    EXPECT_EQ(n == 0 ? start.RandomFill() : start.RandomFill(w->data(), n), 1);
  }
  EXPECT_EQ(k.town ? PlaceStarterTown(start) : 1, 1);
  Scene hand(k.rows, k.cols);
  hand.cur.CopyValueFromCoverage(&start);
  hand.cur.m_pLandUseSet = hand.next.m_pLandUseSet = &set;
  CLandUseCoverage *cur = &hand.cur, *next = &hand.next;
  const CGrid* bg = k.background ? &background : nullptr;
  sim.SetBackground(bg);
  Digest d;
  for (int s = 1; s <= k.steps; ++s) {
    k.setUp(set, s);
    if (driver) {
      const StepReport& report = sim.Step();
      EXPECT_EQ(report.step, s);
      EXPECT_EQ(report.cellsPerId, CountCellsPerId(sim.Current()));
      for (long v : report.developments) d.Add(static_cast<std::uint64_t>(v));
      continue;
    }
    next->CopyValueFromCoverage(cur);
    std::vector<long> developments(static_cast<std::size_t>(set.m_LandUseArray.GetSize()), 0);
    for (int r = 0; r < cur->m_nRows; ++r)
      for (int c = 0; c < cur->m_nCols; ++c) {
        const int i = set.GetIDIndex(cur->GetCellValue(r, c));
        if (i < 0) continue;
        auto* use = static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
        developments[static_cast<std::size_t>(i)] +=
            (bg ? use->DevelopWithBackGround(cur, r, c, next, bg)
                : use->Develop(cur, r, c, next)) == 1;
      }
    std::swap(cur, next);
    for (long v : developments) d.Add(static_cast<std::uint64_t>(v));
  }
  d.Add(driver ? sim.Current() : *cur).Add(notices.texts.size());
  for (const std::string& t : notices.texts) d.Add(t);
  return d.Add(static_cast<std::uint64_t>(RandomDraw())).Hex();
}

const std::vector<int> kSparse, kDense = {100, 2, 10, 40, 10, 10, 0},
                                kMixed = {30, 8, 20, 40, 25, 25, 5},
                                kWide = {60, 4, 10, 30, 10, 10, 3, 3, 3, 10, 0, 0, 5, 4, 4};

}  // namespace

TEST(Runs, DriverAndReferenceStepAgreeAndArePinned) {
  const DriverCase scenarios[] = {
      {"town 100x100 s1", 100, 100, 1, 50, nullptr, true, NoChange, false, "23da3f7115922465"},
      {"sparse 100x100 s1", 100, 100, 1, 50, &kSparse, false, NoChange, false, "1f9a09ac9936d3ef"},
      {"mixed 5x5 s3", 5, 5, 3, 40, &kMixed, false, NoChange, false, "54f29930ae6e2963"},
      {"mixed 7x13 s11", 7, 13, 11, 60, &kMixed, false, NoChange, false, "2882e5fd88bd375b"},
      {"town 9x6 s2", 9, 6, 2, 30, nullptr, true, NoChange, false, "b514145996ed5b45"},
      {"dense 60x60 s7", 60, 60, 7, 30, &kDense, false, NoChange, false, "8b1cd784e4c4496c"},
      {"mixed 6x200 s9", 6, 200, 9, 40, &kMixed, false, NoChange, false, "1825ba0e29dc1d20"},
      {"mixed town 61x60 s5", 61, 60, 5, 70, &kMixed, true, NoChange, false, "93c82b7a05139df1"},
      {"parameters 80x80 s2", 80, 80, 2, 40, &kMixed, false, Parameters, false, "612c149c703863e9"},
      {"connect by row 90x90 s4", 90, 90, 4, 60, &kSparse, true, ConnectRow, false,
       "9ebe0f7682062f77"},
      {"appended 90x70 s6", 90, 70, 6, 40, &kWide, false, Appended, false, "7c5f107872b06b3a"},
      {"appended town 80x80 s8", 80, 80, 8, 50, nullptr, true, Appended, false, "c8cfd1511e11ccd7"},
      {"thresholds 70x70 s13", 70, 70, 13, 50, &kMixed, true, Thresholds, false,
       "14c6319b5ce2372d"},
      {"changing 90x90 s12", 90, 90, 12, 60, &kMixed, false, Changing, false, "e8180f7718ef5fdc"},
      {"background 100x100 s21", 100, 100, 21, 40, &kMixed, false, NoChange, true,
       "f883744031ee79cf"},
      {"background town 64x64 s33", 64, 64, 33, 60, &kSparse, true, Appended, true,
       "d35c03b08a1cf3fd"}};
  for (const DriverCase& k : scenarios) {
    const std::string driver = RunDigest(k, true);
    EXPECT_EQ(driver, RunDigest(k, false)) << k.name;
    EXPECT_EQ(driver, k.pin) << k.name;
  }
}

TEST(Driver, RunStopsWhenTheCallbackSaysInitResetsNothingStepsWithoutCells) {
  EXPECT_EQ(CountCellsPerId(CLandUseCoverage()), (std::array<long, 256>{}));
  Simulation sim(nullptr);  // a set of its own
  EXPECT_EQ(sim.Set().m_LandUseArray.GetSize(), 7);
  EXPECT_EQ(sim.Init(4, 10) + sim.Init(10, 10001), 0);
  EXPECT_EQ(sim.Step().step, 0);
  EXPECT_EQ(sim.Run(5, [](const StepReport&) { return true; }), 0);
  ASSERT_EQ(sim.Init(10, 10), 1);
  EXPECT_EQ(sim.Current().m_pLandUseSet, &sim.Set());
  EXPECT_EQ(sim.LastReport().cellsPerId[0], 100);
  EXPECT_EQ(sim.LastReport().developments, std::vector<long>(7, 0));  // one per land use
  std::vector<long> seen;
  EXPECT_EQ(sim.Run(10, [&](const StepReport& r) { return seen.push_back(r.step), r.step < 3; }),
            3);
  EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
  EXPECT_EQ(sim.Run(4) + sim.Run(0) + sim.Run(-2), 4);
  EXPECT_EQ(sim.StepCount(), 7);
  ASSERT_EQ(sim.Init(8, 12, 5), 1);
  EXPECT_EQ(sim.StepCount(), 0);
  EXPECT_EQ(sim.Current().GetCellAge(7, 11), 5);
  ASSERT_EQ(sim.Current().InitCoverage(20, 7, 0), 1);  // resized by the host
  sim.Current().SetCellValue(19, 6, 6);
  const StepReport& r = sim.Step();
  EXPECT_EQ(r.step, 1);
  EXPECT_EQ(std::make_pair(sim.Current().m_nRows, sim.Current().m_nCols), std::make_pair(20, 7));
  EXPECT_EQ(r.cellsPerId[6], 1);
}

TEST(Driver, AnEditThroughAKeptPointerIsSeenOnceTheHostMarksIt) {
  // Cells written between steps are counted (and visited) from the next
  // step on, told by the non-const Current() or by MarkEdited() alike.
  for (int marked = 0; marked < 2; ++marked) {
    Simulation sim;
    ASSERT_EQ(sim.Init(40, 40), 1);
    ASSERT_EQ(PlaceStarterTown(sim.Current()), 1);
    SeedRandom(5);
    sim.Run(3);
    unsigned char* cells = const_cast<unsigned char*>(std::as_const(sim).Current().m_pData);
    if (marked == 0) cells = sim.Current().m_pData;
    for (int k : {0, 2, 38 * 40 + 2, 1599}) cells[k] = static_cast<unsigned char>(1 + k % 5);
    if (marked == 1) sim.MarkEdited();
    sim.Run(2);
    EXPECT_EQ(sim.LastReport().cellsPerId, CountCellsPerId(std::as_const(sim).Current()));
  }
}

TEST(StarterTown, CrossOfStreetsOverWhatTheCoverageHeldAndRefusals) {
  // The town itself over every start is pinned by the runs above.
  CLandUseCoverage empty;
  Scene s(100, 100);
  s.cur.m_pLandUseSet = nullptr;
  EXPECT_EQ(PlaceStarterTown(empty) + PlaceStarterTown(s.cur), 0);
  s.cur.m_pLandUseSet = &s.set;
  s.cur.SetGridValue(6);  // anything outside the town keeps what it held
  s.cur.SetCoverageAge(77);
  ASSERT_EQ(PlaceStarterTown(s.cur), 1);
  for (int k = -10; k <= 10; ++k)
    for (const CPoint& at : {CPoint(50, 50 + k), CPoint(50 + k, 50)})  // column, row
      EXPECT_EQ(s.cur.GetCellValue(at), k * k == 100 ? 1 : 2) << k;
  const std::array<long, 256> counts = CountCellsPerId(s.cur);
  EXPECT_EQ(std::make_tuple(counts[1], counts[2], counts[3], counts[6]),
            std::make_tuple(4L, 37L, 12L, 10000L - 53));
  for (int at = 0; at < 10000; ++at)
    EXPECT_EQ(s.cur.m_pCellAge[at], s.cur.m_pData[at] == 6 ? 77 : 0);
}
