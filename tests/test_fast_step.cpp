// The driver's step (it visits only cells that can change, copies only cells written) against the
// plain loop of the public surface: random rosters (odd IDs and categories, hosts' own classes),
// starts, backgrounds, host edits, scenarios, settlement rules on and off. Every state, develop
// result, settled count, cell count and message agrees after every step.
#include <gtest/gtest.h>

#include <towngrow/towngrow.h>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace towngrow;

namespace {

// Turns the category of the set's last land use one further (host code
// changing the set while a step runs, which the rules must see).
void TurnLastCategory(const CLandUseSet* set) {
  auto* use = static_cast<CLandUse*>(set->m_LandUseArray.GetAt(set->m_LandUseArray.GetSize() - 1));
  use->m_LandUseCategory = static_cast<LandUseCategory>((use->m_LandUseCategory + 1) % 7);
}

// A host's own class: draws, writes its ID and an age into a random cell of the new coverage
// through the public fields, sometimes changes the set, answers by a draw.
template <class Base>
class Scribbler : public Base {
public:
  int Develop(CLandUseCoverage* pCur, int r, int c, CLandUseCoverage* pNew) override {
    const int k = RandomDraw() % (pNew->m_nRows * pNew->m_nCols);
    pNew->m_pData[k] = this->m_ID;
    pNew->m_pCellAge[k] = static_cast<short>(r - c);
    if (k % 5 == 0) TurnLastCategory(pCur->m_pLandUseSet);
    return (RandomDraw() + this->GetCategoryInNeighbor(pCur, House, r, c, 1)) % 2;
  }
};

template <class T>
CLandUse* Make() {
  return new T();
}
// Land uses of the library's classes and of hosts' own, by number.
CLandUse* MakeLandUse(int kind) {
  // clang-format off
  static CLandUse* (*const kMakers[9])() = {
      Make<CLandUse>, Make<COthersLand>, Make<CStreetNode>, Make<CStreetVertex>, Make<CHouse>,
      Make<CIndustry>, Make<CCommerce>, Make<Scribbler<CLandUse>>, Make<Scribbler<COthersLand>>};
  // clang-format on
  return kMakers[kind % 9]();
}

// A change of the set between steps, by the same numbers on both sides:
// an ID, a category, an entry replaced, a land use appended, a parameter.
void EditSet(CLandUseSet& set, unsigned what, unsigned a, unsigned b) {
  CObArray& arr = set.m_LandUseArray;
  const int at = static_cast<int>(a % static_cast<unsigned>(arr.GetSize()));
  auto* use = static_cast<CLandUse*>(arr.GetAt(at));
  if (what == 1) use->m_ID = static_cast<unsigned char>(b % 12);
  if (what == 2)
    use->m_LandUseCategory = static_cast<LandUseCategory>(static_cast<int>(b % 10) - 1);
  if (what == 3) delete use, arr.SetAt(at, MakeLandUse(static_cast<int>(b % 9)));
  if (what == 4) arr.Add(MakeLandUse(static_cast<int>(b % 9)));
  if (what == 5) use->m_nPolicy = static_cast<int>(b % 101);
  if (what == 7) {  // the settlement rules and the suitability weight
    use->m_nSpontaneousRate = static_cast<int>(b % 60);
    use->m_nSpontaneousNodePercent = static_cast<int>(b % 40);
    use->m_nCenterPercent = static_cast<int>(b % 70), use->m_nCenterCells = static_cast<int>(b % 9);
    use->m_nEdgePercent = static_cast<int>(b % 30), use->m_nEdgeRadius = static_cast<int>(b % 4);
    use->m_dEdgePower = (b % 3) * 0.5;
    use->m_nRoadPercent = static_cast<int>(b % 101), use->m_nRoadRadius = static_cast<int>(b % 7);
    use->m_nRoadTrip = static_cast<int>(b % 12);
    use->m_dSuitabilityWeight = (b % 5) * 0.75;
  }
}

// Random scenario entries at a few steps: painted cells, grid-sized backgrounds, suitability.
Scenario RandomScenario(std::mt19937& rnd, int rows, int cols) {
  const auto surface = [&] {
    auto s = std::make_shared<Suitability>();
    s->rows = rows, s->cols = cols;
    for (int k = 0; k < rows * cols; ++k) s->values.push_back(static_cast<float>(rnd() % 5) / 4);
    return s;
  };
  Scenario sc;
  if (rnd() % 2) sc.suitability = surface();
  for (long step = 1 + rnd() % 4; step <= 30; step += 1 + rnd() % 9) {
    ScheduleEntry e;
    e.step = step;
    for (int k = static_cast<int>(rnd() % 7); k < rows * cols;
         k += 1 + static_cast<int>(rnd() % 40))
      e.paint.cells.push_back(static_cast<std::uint32_t>(k)), e.paint.ids.push_back(rnd() % 8);
    if (rnd() % 3 == 0) e.suitability = surface();
    if (rnd() % 3 == 0) {
      auto bg = std::make_shared<CGrid>();
      bg->InitGrid(rows, cols, 0);
      for (int k = 0; k < rows * cols; ++k) bg->m_pData[k] = rnd() & 0xFF;
      e.background = bg;
    }
    sc.schedule.push_back(e);
  }
  CheckScenario(sc, rows, cols);
  return sc;
}

std::vector<std::string> g_messages;
const CLandUseSet* g_running = nullptr;  // the set of the side that runs

}  // namespace

TEST(FastStep, MatchesThePlainLoopOverRandomRostersStartsBackgroundsAndEdits) {
  SetMessageHandler([](const std::string& t) {
    g_messages.push_back(t);
    if (g_messages.size() % 3 == 0) TurnLastCategory(g_running);
  });
  // rows, cols, start (0 town, 1 sparse, 2 mixed, 3 dense), roster additions
  const int kScenarios[][4] = {{30, 41, 0, 0}, {30, 41, 1, 3},   {23, 64, 2, 5}, {7, 130, 3, 2},
                               {64, 5, 2, 4},  {150, 200, 3, 0}, {40, 40, 1, 6}};
  for (unsigned seed = 1; seed <= 24; ++seed) {
    const int* sc = kScenarios[seed % 7];
    std::mt19937 rnd(seed);
    CLandUseSet drv, ref;  // alike, the default roster and random additions
    for (int k = 0; k < sc[3]; ++k) {
      const unsigned kind = rnd(), id = 7 + rnd() % 5, cat = rnd();  // IDs of no default use
      for (CLandUseSet* set : {&drv, &ref}) {
        EditSet(*set, 4, 0, kind);
        EditSet(*set, 1, static_cast<unsigned>(set->m_LandUseArray.GetSize() - 1), id);
        EditSet(*set, 2, static_cast<unsigned>(set->m_LandUseArray.GetSize() - 1), cat);
      }
    }
    const unsigned pos = 3 + seed % 3, kind = rnd();  // ID 3, 4 or 5 of any class
    for (CLandUseSet* set : {&drv, &ref}) EditSet(*set, 3, pos, kind), EditSet(*set, 1, pos, pos);
    CGrid background;  // wider than the grid; its last row allows nothing
    ASSERT_EQ(background.InitGrid(sc[0] - 1, sc[1] + 3, 0), 1);
    for (int k = 0; k < (sc[0] - 1) * (sc[1] + 3); ++k) background.m_pData[k] = rnd() & 0xFF;
    Simulation sim(&drv);
    ASSERT_EQ(sim.Init(sc[0], sc[1]), 1);
    const Scenario scenario = RandomScenario(rnd, sc[0], sc[1]);
    if (seed % 4 != 0) sim.SetScenario(&scenario);
    const Scenario* plan = seed % 4 != 0 ? &scenario : nullptr;
    SeedRandom(seed);
    const int weights[4][12] = {
        {}, {}, {30, 8, 20, 40, 25, 25, 5, 3, 3, 3, 2, 2}, {100, 2, 10, 40, 10, 10, 1}};
    if (sc[2] == 0) PlaceStarterTown(sim.Current());
    if (sc[2] == 1) sim.Current().RandomFill();
    if (sc[2] >= 2) sim.Current().RandomFill(weights[sc[2]], sc[2] == 2 ? 12 : 7);
    CLandUseCoverage a, b;
    ASSERT_EQ(a.InitCoverage(sc[0], sc[1], 0) * b.InitCoverage(sc[0], sc[1], 0), 1);
    a.CopyValueFromCoverage(&sim.Current());
    a.m_pLandUseSet = b.m_pLandUseSet = &ref;
    CLandUseCoverage *cur = &a, *next = &b;
    const CGrid* bg = nullptr;
    for (int step = 1; step <= 30; ++step) {
      const unsigned what = step == 1 && seed % 3 != 0 ? 7 : rnd() % 16, x = rnd(), y = rnd();
      if (what == 0)  // edits between steps, through the host's handles
        for (CLandUseCoverage* cov : {&sim.Current(), cur})
          cov->SetCellValue(x % sc[0], y % sc[1], y % 12);
      for (CLandUseSet* set : {&drv, &ref}) EditSet(*set, what, x, y);
      if (what == 6) sim.SetBackground(bg = bg ? nullptr : &background);
      g_messages.clear(), g_running = &drv, SeedRandom(seed * 1000 + step);
      const StepReport report = sim.Step();
      const std::vector<std::string> driverMessages = g_messages;
      const int driverNextDraw = RandomDraw();
      g_messages.clear(), g_running = &ref, SeedRandom(seed * 1000 + step);
      // The plain loop of the public surface: paint the entry, develop under the gate, settle.
      if (const ScheduleEntry* e = EntryAt(plan, step)) PaintEntry(*e, *cur);
      const CGrid* inForce = BackgroundAt(plan, step, bg);
      next->CopyValueFromCoverage(cur);
      std::vector<long> dev(static_cast<std::size_t>(ref.m_LandUseArray.GetSize()), 0);
      SettleCounts settled{};
      {
        SuitabilityScope gate(&ref, SuitabilityAt(plan, step));
        for (int r = 0; r < cur->m_nRows; ++r)
          for (int c = 0; c < cur->m_nCols; ++c) {
            const int i = ref.GetIDIndex(cur->GetCellValue(r, c));
            if (i < 0) continue;
            auto* use = static_cast<CLandUse*>(ref.m_LandUseArray.GetAt(i));
            dev[i] += (inForce ? use->DevelopWithBackGround(cur, r, c, next, inForce)
                               : use->Develop(cur, r, c, next)) == 1;
          }
        settled = SettleByRules(*cur, *next, inForce, SuitabilityAt(plan, step));
      }
      std::swap(cur, next);
      const CLandUseCoverage& got = static_cast<const Simulation&>(sim).Current();
      const int n = sc[0] * sc[1];
      SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
      ASSERT_TRUE(std::equal(got.m_pData, got.m_pData + n, cur->m_pData));
      ASSERT_TRUE(std::equal(got.m_pCellAge, got.m_pCellAge + n, cur->m_pCellAge));
      ASSERT_EQ(report.developments, dev);
      ASSERT_EQ(report.settled, settled);
      ASSERT_EQ(report.cellsPerId, CountCellsPerId(*cur));
      ASSERT_EQ(driverMessages, g_messages);
      ASSERT_EQ(driverNextDraw, RandomDraw());
    }
  }
  SetMessageHandler({});
}
