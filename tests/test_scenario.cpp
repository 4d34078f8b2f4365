// Scenarios and the settlement rules through the driver: entries take effect at the start of their
// step, suitability passes a development with probability s^w, and each settlement rule settles
// where and as often as it says (against the plain loop: test_fast_step.cpp).
#include <gtest/gtest.h>

#include <towngrow/towngrow.h>
#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "support/scene.h"

using namespace towngrow;

namespace {

std::shared_ptr<Suitability> Surface(int rows, int cols, float (*at)(int, int)) {
  auto s = std::make_shared<Suitability>();
  s->rows = rows, s->cols = cols;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) s->values.push_back(at(r, c));
  return s;
}

CLandUse& Housing(CLandUseSet& set) { return LandUseAt(set, set.GetIDIndex(3)); }

// A driver on a vacant rows x cols grid, housing silent (its own rule never
// draws: every cell it holds rests), seeded.
struct Vacant {
  CLandUseSet set;
  Simulation sim{&set};
  Vacant(int rows, int cols, unsigned seed) {
    EXPECT_EQ(sim.Init(rows, cols), 1);
    Housing(set).m_nActiveAge = 0;
    Housing(set).m_nInactivePeriod = 30000;
    SeedRandom(seed);
  }
  // Housing cells at age 1 (resting).
  void Houses(std::initializer_list<std::pair<int, int>> cells) {
    for (auto [r, c] : cells)
      sim.Current().SetCellValue(r, c, 3), sim.Current().SetCellAge(r, c, 1);
  }
};

}  // namespace

// On the built-in town, s = 0.5 everywhere and w = 2: the share of the developments that took the
// draw and passed is 0.25 within 4 binomial standard deviations; s = 0 lets none of them settle; w
// = 0 leaves every draw and cell as the run without a surface.
TEST(Suitability, PassesADevelopmentWithProbabilitySToTheW) {
  const auto half = Surface(60, 60, [](int, int) { return 0.5f; });
  const auto none = Surface(60, 60, [](int, int) { return 0.0f; });
  long tested = 0, refused = 0;
  for (unsigned seed = 1; seed <= 6; ++seed) {
    for (const auto& [surface, weight] : {std::pair{half, 2.0}, {none, 1.0}, {half, 0.0}}) {
      CLandUseSet set, plain;
      for (int i : {1, 3, 4, 5}) LandUseAt(set, i).m_dSuitabilityWeight = weight;
      Scenario scenario;
      scenario.suitability = surface;
      Simulation sim(&set), without(&plain);
      for (Simulation* s : {&sim, &without}) s->Init(60, 60), PlaceStarterTown(s->Current());
      sim.SetScenario(&scenario);
      const auto start = CountCellsPerId(sim.Current());
      SeedRandom(seed);
      for (int step = 0; step < 25; ++step) {
        const StepReport& r = sim.Step();
        if (weight == 2.0) tested += r.suitabilityTested, refused += r.suitabilityRefused;
      }
      const int draw = RandomDraw();
      SeedRandom(seed);
      without.Run(25);
      const auto& cells = sim.LastReport().cellsPerId;
      if (surface == none) {  // nothing settles; cells are only given up
        for (int id : {1, 3, 4, 5}) EXPECT_LE(cells[id], start[id]) << id;
      }
      if (weight == 0.0) {
        EXPECT_EQ(testkit::Values(sim.Current()), testkit::Values(without.Current()));
        EXPECT_EQ(draw, RandomDraw());
      }
    }
  }
  const double n = static_cast<double>(tested), share = (n - refused) / n;
  ASSERT_GT(n, 400);
  EXPECT_NEAR(share, 0.25, 4 * std::sqrt(0.25 * 0.75 / n)) << n;
}

// An entry of step N is in the state after N steps and not after N - 1: a painted road (street
// nodes at its ends) grows streets from then on; a background that allows nothing stops every rule
// from the start of its step, and not before.
TEST(Schedule, AnEntryTakesEffectAtTheStartOfItsStep) {
  CLandUseSet set;
  Simulation sim(&set);
  sim.Init(80, 80);
  PlaceStarterTown(sim.Current());
  Scenario scenario;
  ScheduleEntry road;  // row 70, columns 10..40, nodes at both ends, housing along it
  road.step = 10;
  for (int r : {69, 70})
    for (int c = 10; c <= 40; ++c) {
      road.paint.cells.push_back(static_cast<std::uint32_t>(r * 80 + c));
      road.paint.ids.push_back(r == 69 ? 3 : (c == 10 || c == 40 ? 1 : 2));
    }
  ScheduleEntry closed;
  closed.step = 30;
  auto nothing = std::make_shared<CGrid>();
  nothing->InitGrid(80, 80, 0);
  closed.background = nothing;
  scenario.schedule = {road, closed};
  CheckScenario(scenario, 80, 80);
  sim.SetScenario(&scenario);
  SeedRandom(4);
  const auto streetsBelow = [&] {
    int n = 0;
    for (int r = 60; r < 80; ++r)
      for (int c = 0; c < 80; ++c)
        n += r != 69 && r != 70 && sim.Current().GetCellValue(r, c) <= 2 &&
             sim.Current().GetCellValue(r, c) >= 1;
    return n;
  };
  sim.Run(9);
  EXPECT_EQ(sim.Current().GetCellValue(70, 25), 0);
  sim.Step();
  EXPECT_EQ(sim.Current().GetCellValue(70, 10), 1);
  EXPECT_EQ(sim.Current().GetCellValue(70, 25), 2);
  EXPECT_EQ(sim.Current().GetCellValue(69, 25), 3);
  sim.Run(19);
  EXPECT_GT(streetsBelow(), 0);  // streets grew from the road's nodes
  long before = 0;
  for (long d : sim.LastReport().developments) before += d;
  EXPECT_GT(before, 0);
  for (int step = 30; step < 35; ++step) {
    const StepReport& r = sim.Step();
    for (int i : {1, 2, 3}) EXPECT_EQ(r.developments[static_cast<std::size_t>(i)], 0) << step;
  }
}

// The four settlement rules, each alone on a hand-made map (housing's own rule silent), many seeds.
TEST(SettlementRules, SettleWhereAndAsOftenAsTheySay) {
  // Spontaneous: 37 x diagonal (1414.2) / 10000 = 5.23 tries a step, each
  // settled on a vacant grid (few collisions); none where the background
  // forbids housing (left half) or the suitability is 0 (top half); none for street nodes given a
  // rate (the rules settle housing to commerce). A set that lists housing twice runs its rules
  // once.
  long settled = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    Vacant v(1000, 1000, seed * 2654435761u);  // seeds apart: their first draws differ widely
    Housing(v.set).m_nSpontaneousRate = LandUseAt(v.set, 1).m_nSpontaneousRate = 37;
    LandUseAt(v.set, 5).m_nSpontaneousRate = 37;  // commerce
    if (seed % 2) testkit::Append(v.set, 3, House)->m_nSpontaneousRate = 37;
    settled += v.sim.Step().settled[kSpontaneous];
  }
  EXPECT_NEAR(settled / 300.0, 2 * 5.2326, 4 * std::sqrt(2 * 0.2326 * 0.7674 / 300) + 0.04);
  {
    Vacant v(200, 200, 9);
    Housing(v.set).m_nSpontaneousRate = 100;
    Housing(v.set).m_dSuitabilityWeight = 1;
    CGrid right;
    right.InitGrid(200, 200, 0);
    for (int k = 0; k < 40000; ++k) right.m_pData[k] = k % 200 >= 100 ? 8 : 0;
    Scenario scenario;
    scenario.suitability = Surface(200, 200, [](int r, int) { return r < 100 ? 0.0f : 1.0f; });
    v.sim.SetBackground(&right);
    v.sim.SetScenario(&scenario);
    v.sim.Run(40);
    int housed = 0;
    for (int k = 0; k < 40000; ++k) {
      if (v.sim.Current().m_pData[k] != 3) continue;
      ++housed;
      EXPECT_TRUE(k / 200 >= 100 && k % 200 >= 100) << k;
    }
    EXPECT_GT(housed, 10);  // of about 28 tries in that quarter
  }
  // Edge growth at 100 %: every cell with 2 to 7 developed neighbours takes its two draws (the
  // chance, the cell of its window), none other: in a 5 x 5 block the 16 border cells, not the 9
  // inside (8 neighbours), not a lone cell (0) nor a pair (1 each); the middle of three in a row
  // (2) and every cell of a 3 x 3 block without a corner (its centre: 7).
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Vacant v(20, 20, seed);
    Housing(v.set).m_nEdgePercent = 100;
    for (int r = 2; r <= 6; ++r)
      for (int c = 2; c <= 6; ++c) v.Houses({{r, c}});
    v.Houses({{15, 15}, {12, 2}, {12, 3}, {17, 5}, {17, 6}, {17, 7}});
    for (int k = 1; k < 9; ++k) v.Houses({{9 + k / 3, 12 + k % 3}});
    const std::vector<unsigned char> before = testkit::Values(v.sim.Current());
    std::vector<unsigned char> want = before;  // each cell in turn, rows from 0
    testkit::Replay replay(seed);
    long added = 0;
    const auto housed = [&](int r, int c) {
      return r >= 0 && r < 20 && c >= 0 && c < 20 && before[r * 20 + c] == 3;
    };
    for (int k = 0, around = 0; k < 400; ++k, around = 0) {
      for (int d = 0; d < 8; ++d)
        around += housed(k / 20 + testkit::kDRow[d], k % 20 + testkit::kDCol[d]);
      if (before[k] != 3 || around < 2 || around > 7) continue;
      replay.Draw();
      const int d = replay.Int(8) - 1, r = k / 20 + testkit::kDRow[d],
                c = k % 20 + testkit::kDCol[d];
      if (r >= 0 && r < 20 && c >= 0 && c < 20 && want[r * 20 + c] == 0)
        want[r * 20 + c] = 3, ++added;
    }
    EXPECT_EQ(v.sim.Step().settled[kEdge], added);
    EXPECT_EQ(testkit::Values(v.sim.Current()), want) << seed;
    EXPECT_TRUE(replay.DrawsMatch());
  }
  // Road trips from one spontaneous try a step (60 x 80: the diagonal is 100, the rate 100 per
  // 10,000): a trip's cells (against the same run without trips) touch a street cell at most
  // roadRadius + roadTrip cells along the street from where it joined it (the street row 30 or
  // column 40). It joins at the first street cell of the rings around the settled cell, each
  // ring from its top-left corner clockwise: a trip of 0 settles beside that cell.
  for (const auto& [vertical, trip] : {std::pair(false, 4), {false, 0}, {true, 0}}) {
    long trips = 0;
    for (unsigned seed = 1; seed <= 150; ++seed) {
      std::vector<unsigned char> with, without;
      for (bool on : {true, false}) {
        Vacant v(60, 80, seed);
        CLandUse& h = Housing(v.set);
        h.m_nSpontaneousRate = 100, h.m_nRoadPercent = on ? 100 : 0;
        h.m_nRoadRadius = 6, h.m_nRoadTrip = trip;
        for (int i = 0; i < 80; ++i)
          v.sim.Current().SetCellValue(vertical ? i % 60 : 30, vertical ? 40 : i, 2);
        v.sim.Step();
        (on ? with : without) = testkit::Values(v.sim.Current());
      }
      int r0 = -1, c0 = -1, extra = 0;
      for (int k = 0; k < 4800; ++k)
        std::tie(r0, c0) = without[k] == 3 ? std::pair(k / 80, k % 80) : std::pair(r0, c0);
      const int d = vertical ? std::abs(c0 - 40) : std::abs(r0 - 30);
      const int joinR = !vertical ? 30 : r0 - d >= 0 ? r0 - d : c0 < 40 ? 0 : r0 + d;
      const int joinC = vertical ? 40 : r0 > 30 ? std::max(0, c0 - d) : std::min(79, c0 + d);
      for (int k = 0; k < 4800; ++k) {
        if (with[k] == without[k]) continue;
        ++extra;
        ASSERT_GE(r0, 0);
        const int along = vertical ? k / 80 - joinR : k % 80 - joinC,
                  across = vertical ? k % 80 - 40 : k / 80 - 30;
        EXPECT_TRUE(std::abs(across) == 1 && std::abs(along) <= trip + 1) << seed << " " << k;
      }
      EXPECT_LE(extra, 1);
      trips += extra;
    }
    EXPECT_GT(trips, 10) << vertical;  // a sixth of the cells lie within 6 of the street
  }
}

// A spontaneous cell takes two draws; a new centre is then a draw of 1 to 100 at most the centre
// percent, and its neighbours are drawn as directions until centerCells of them are settled.
TEST(SettlementRules, ANewCentreTakesItsDrawsInOrder) {
  for (const int percent : {1, 37, 100})
    for (unsigned seed = 1; seed <= 60; ++seed) {
      Vacant v(60, 80, seed);  // a diagonal of 100: one try a step at the rate 100
      CLandUse& h = Housing(v.set);
      h.m_nSpontaneousRate = 100, h.m_nCenterPercent = percent, h.m_nCenterCells = 2;
      testkit::Replay rp(seed);
      const int high = rp.Draw(), at = ((high << 15) | rp.Draw()) % 4800;
      std::set<int> taken = {at};
      const bool centre = rp.Int(100) <= percent;
      for (int t = 0; centre && t < 8 && taken.size() < 3; ++t) {
        const int d = rp.Int(8) - 1, r = at / 80 + testkit::kDRow[d],
                  c = at % 80 + testkit::kDCol[d];
        if (r >= 0 && r < 60 && c >= 0 && c < 80) taken.insert(r * 80 + c);
      }
      EXPECT_EQ(v.sim.Step().settled[kNewCentre], static_cast<long>(taken.size()) - 1) << seed;
      EXPECT_TRUE(rp.DrawsMatch()) << percent << " " << seed;
    }
}

// A trip of length 0, taken with the road percent (a draw of 1 to 100 at most it), joins the first
// street cell of the square rings around the settled cell, each ring clockwise from its top-left
// corner (the cell itself first), and settles the neighbour of it drawn as a direction: of two
// street cells, the first (corners, sides, a nearer ring), never the later.
TEST(SettlementRules, ARoadTripJoinsTheFirstStreetCellOfItsRings) {
  using Cell = std::pair<int, int>;
  const std::pair<Cell, Cell> rows[] = {{{-3, -3}, {-3, 3}}, {{-3, 2}, {0, 3}},  {{2, 3}, {3, -2}},
                                        {{3, 3}, {3, -3}},   {{3, 0}, {-2, -3}}, {{2, 2}, {-3, -3}},
                                        {{-1, -1}, {1, 0}},  {{-1, -1}, {-1, 0}}};
  int trips = 0;
  for (const auto& [first, later] : rows)
    for (unsigned seed = 1; seed <= 30; ++seed) {
      testkit::Replay rp(seed);
      const int high = rp.Draw(), at = ((high << 15) | rp.Draw()) % 4800, r = at / 80, c = at % 80;
      if (r < 4 || r > 55 || c < 4 || c > 75) continue;  // the street and its neighbours inside
      Vacant v(60, 80, seed);
      CLandUse& h = Housing(v.set);
      h.m_nSpontaneousRate = 100, h.m_nRoadPercent = 37, h.m_nRoadRadius = 3, h.m_nRoadTrip = 0;
      for (const auto& [dr, dc] : {first, later}) v.sim.Current().SetCellValue(r + dr, c + dc, 2);
      int want = -1;  // directions drawn until a vacant neighbour
      for (int t = 0, trip = rp.Int(100) <= 37; trip && t < 8 && want < 0; ++t) {
        const int d = rp.Int(8) - 1, k = (r + first.first + testkit::kDRow[d]) * 80 + c +
                                         first.second + testkit::kDCol[d];
        if (k != at && v.sim.Current().m_pData[k] == 0) want = k;
      }
      EXPECT_EQ(v.sim.Step().settled[kRoadTrip], want >= 0 ? 1 : 0) << seed;
      EXPECT_TRUE(want < 0 || v.sim.Current().m_pData[want] == 3) << seed;
      EXPECT_TRUE(rp.DrawsMatch()) << seed;
      trips += want >= 0;
    }
  EXPECT_GT(trips, 30);
}
