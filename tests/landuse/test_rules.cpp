// The housing, industry and commerce rules. What they share runs once per
// rule: the draws of a spreading cell, the age states, which coverage the
// age is read from and which written, the policy and land-use draws, the
// written ID drawn from the set, abandonment, cells outside the grid and a
// missing set. Then what each rule has of its own.
#include "support/scene.h"

using namespace testkit;

namespace {

struct Rule {
  const char* name;
  int position, size, row, col;  // position and default ID in the set, scene, active cell
  int activeAge, lastInactiveAge;
  bool renews;       // housing may renew an old cell instead of giving it up
  bool landUseDraw;  // a land-use draw follows the policy draw
  const char* notice;
  CLandUse* (*make)();
  void (*prepare)(Scene&, CLandUse*);  // neighbours that let the cell spread to (row, col + 1)
};

std::ostream& operator<<(std::ostream& os, const Rule& k) { return os << k.name; }

const Rule kRules[] = {
    {"House", 3, 15, 7, 7, 30, 60, true, false, kIndustryNotice,
     [] { return static_cast<CLandUse*>(new CHouse()); },
     [](Scene& s, CLandUse* lu) {  // a street in the new cell's square only; the choice forced
       s.Put(9, 10, 2);
       SetWeights(static_cast<CHouse*>(lu)->m_nResidentialLandUseProb, 1, 0, 0);
     }},
    {"Industry", 4, 11, 5, 5, 10, 50, false, true, kIndustryNotice,
     [] { return static_cast<CLandUse*>(new CIndustry()); },
     [](Scene& s, CLandUse*) { s.PutRow(2, 2, 8, 2); }},  // 7 streets: 15 % of 49
    {"Commerce", 5, 11, 5, 5, 10, 40, false, true, kCommerceNotice,
     [] { return static_cast<CLandUse*>(new CCommerce()); },
     [](Scene& s, CLandUse*) {  // 3 streets around the cell, 5 housing around the new cell
       s.PutRow(3, 3, 5, 2);
       for (int r = 3; r <= 7; ++r) s.Put(r, 8, 3);
     }},
};

class SpreadRule : public ::testing::TestWithParam<Rule> {
protected:
  SpreadRule() : k(GetParam()), scene(k.size, k.size) {
    lu = scene.Get<CLandUse>(k.position);
    scene.Put(k.row, k.col, k.position, 0);
    ForceStep(lu, 2);  // one cell to the right
    if (k.landUseDraw)
      SetWeights(lu->m_nLandUseProb, k.position == 3, k.position == 4, k.position == 5);
    k.prepare(scene, lu);
  }
  int Run(int r, int c) { return lu->Develop(&scene.cur, r, c, &scene.next); }
  int Run() { return Run(k.row, k.col); }
  void SetAge(int age) {
    scene.Put(k.row, k.col, scene.cur.GetCellValue(k.row, k.col), static_cast<short>(age));
  }
  int Target() const { return scene.next.GetCellValue(k.row, k.col + 1); }
  Rule k;
  Scene scene;
  CLandUse* lu = nullptr;
  NoticeRecorder notices;
};

TEST_P(SpreadRule, AgeStatesDrawsAndRefusalsInOrder) {
  // Active 0 to a spreads (policy, land use or choice, length, direction),
  // inactive a + 1 to last and dead below 0 only age, old is given up to
  // vacant land without a draw (housing's renewal has a test of its own).
  // The age is read from the old coverage and grows in the new one.
  const int a = k.activeAge, last = k.lastInactiveAge;
  std::vector<std::array<int, 2>> cases = {{0, 1},    {a, 1},  {a + 1, 0},
                                           {last, 0}, {-1, 0}, {-32768, 0}};
  if (!k.renews) cases.insert(cases.end(), {{last + 1, 0}, {32767, 0}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    SetAge(c[0]);
    scene.Start();
    scene.next.SetCellAge(k.row, k.col, 7);
    Replay rp(5);
    EXPECT_EQ(Run(), c[1]);
    EXPECT_EQ(scene.next.GetCellValue(k.row, k.col), c[0] > last ? 0 : k.position);
    EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), c[0] > last ? 0 : 8);
    EXPECT_EQ(Target() * 1000 + scene.next.GetCellAge(k.row, k.col + 1), c[1] * k.position * 1000);
    EXPECT_TRUE(scene.SameExcept({{k.row, k.col}, {k.row, k.col + 1}}));
    EXPECT_EQ(scene.cur.GetCellValue(k.row, k.col + 1), 0);  // the read coverage is never written
    rp.Skip(c[1] * 4);
    EXPECT_TRUE(rp.DrawsMatch());
  }
  SetAge(0);
  for (int other = -1; other < 3; ++other) {  // -1: the policy refuses; others: the land use
    if (other == k.position - 3 || (other >= 0 && !k.landUseDraw)) continue;
    lu->m_nPolicy = other < 0 ? 0 : 100;
    if (other >= 0) SetWeights(lu->m_nLandUseProb, other == 0, other == 1, other == 2);
    scene.Start();
    Replay rp(2);
    EXPECT_EQ(Run(), 0) << other;
    rp.Skip(other < 0 ? 1 : 2);
    EXPECT_TRUE(rp.DrawsMatch()) << other;
    EXPECT_TRUE(scene.SameExcept({{k.row, k.col}}));
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_P(SpreadRule, WrittenAndAbandonedIdsAreTheSetsDrawsWithTheirNotices) {
  // A second land use of the rule's class: the written ID is the set's last
  // draw. A second vacant land use: an old cell is given up to the set's draw.
  CLandUse* second = k.make();
  second->SetID(14);
  scene.set.m_LandUseArray.Add(second);
  scene.Add<CLandUse>(7);
  lu->m_nDeadAge = 0;
  int seen[2] = {0, 0};
  for (int old = 0; old < (k.renews ? 1 : 2); ++old)
    for (unsigned seed = 1; seed <= 12; ++seed) {
      notices.texts.clear();
      SetAge(old ? k.lastInactiveAge + 1 : 0);
      scene.Start();
      Replay rp(seed);
      rp.Skip(old ? 0 : 4);
      const bool other = rp.Int(2) == 2;
      EXPECT_EQ(Run(), old ? 0 : 1);
      EXPECT_EQ(old ? scene.next.GetCellValue(k.row, k.col) : Target(),
                old ? (other ? 7 : 0) : (other ? 14 : k.position));
      EXPECT_TRUE(rp.DrawsMatch());
      EXPECT_EQ(notices.texts, std::vector<std::string>(other, old ? kVacantNotice : k.notice));
      seen[old] += other;
    }
  EXPECT_GT(seen[0], 0);
  EXPECT_LT(seen[0], 12);
  if (k.renews) return;
  EXPECT_GT(seen[1], 0);
  const int deadAges[][2] = {{7, -7}, {-5, 5}, {40000, 25536}, {0, 0}};
  scene.cur.m_pLandUseSet = nullptr;  // without a set an old cell turns vacant too
  for (const auto& d : deadAges) {
    lu->m_nDeadAge = d[0];
    SetAge(k.lastInactiveAge + 1);
    scene.Start();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scene.next.GetCellValue(k.row, k.col) * 100000 + scene.next.GetCellAge(k.row, k.col),
              d[1]);
  }
}

TEST_P(SpreadRule, OutsideTheGridNullCoveragesOrWithoutASetNothingIsDrawn) {
  scene.Start();
  const int n = k.size;
  Replay rp(8);
  for (auto rc : {std::pair<int, int>{-1, 0}, {0, -1}, {n, 3}, {3, n}, {n, n}})
    EXPECT_EQ(Run(rc.first, rc.second), 0);
  EXPECT_EQ(lu->Develop(nullptr, k.row, k.col, &scene.next) +
                lu->Develop(&scene.cur, k.row, k.col, nullptr),
            0);
  EXPECT_TRUE(scene.SameExcept({}));
  scene.cur.m_pLandUseSet = nullptr;  // a young cell only ages
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_TRUE(scene.SameExcept({{k.row, k.col}}));
  CLandUseCoverage bare;  // a written coverage without ages
  ASSERT_EQ(bare.InitGrid(k.size, k.size, 0), 1);
  scene.cur.m_pLandUseSet = &scene.set;
  bare.m_pLandUseSet = &scene.set;
  const bool commerce = k.position == 5;  // reads the target's age there: -100
  EXPECT_EQ(lu->Develop(&scene.cur, k.row, k.col, &bare), !commerce);
  EXPECT_EQ(bare.GetCellValue(k.row, k.col + 1), commerce ? 0 : k.position);
}

INSTANTIATE_TEST_SUITE_P(Rules, SpreadRule, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.name); });

// --- housing ---------------------------------------------------------------

class HouseRule : public SpreadRule {
protected:
  CHouse* house() { return static_cast<CHouse*>(lu); }
  // Puts n cells of an ID on the free cells of the new cell's square (rows
  // 5 to 9, columns 6 to 10), row by row.
  void Around(int id, int n) {
    for (; n > 0 && slot_ < 25; ++slot_) {
      const int r = 5 + slot_ / 5, c = 6 + slot_ % 5;
      if ((r == 7 && (c == 7 || c == 8)) || (r == 9 && c == 10)) continue;
      scene.Put(r, c, id);
      --n;
    }
  }
  // A fresh step: the written ID (0 refused) and the draws (policy, length,
  // direction, industry and commerce IDs, choice).
  int Grow() {
    scene.Start();
    Replay rp(3);
    const int result = Run();
    rp.Skip(result ? 4 : 0);
    EXPECT_TRUE(!result || rp.DrawsMatch());
    return result ? Target() : 0;
  }
  int slot_ = 0;
};

TEST_P(HouseRule, OldCellIsAbandonedOrRenewedByTheDrawOverStreetsAndTheRest) {
  // Streets in the 3 x 3 square weigh against its other cells (the cell
  // itself and cells beyond the edge included); renewal draws an active
  // age and the cell goes on with its old one (a negative inactive period
  // makes an active age old).
  struct Case {
    int row, col, streets, rest, age, inactive;
  } cases[] = {
      {7, 7, 0, 9, 61, 30}, {7, 7, 8, 1, 61, 30}, {0, 0, 3, 6, 61, 30}, {7, 7, 7, 2, 25, -10}};
  house()->m_nDeadAge = 2;
  for (const Case& k : cases) {
    int renewed = 0;
    house()->m_nInactivePeriod = k.inactive;
    for (unsigned seed = 1; seed <= 20; ++seed) {
      Scene s(15, 15);
      s.PutRow(5, 5, 9, 2);  // two rows away: outside the square of radius 1
      const int ring[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}};
      for (int i = 0, placed = 0; i < 8 && placed < k.streets; ++i) {
        const int r = k.row + ring[i][0], c = k.col + ring[i][1];
        if (r >= 0 && c >= 0) s.Put(r, c, r < k.row ? 1 : 2), ++placed;
      }
      s.Put(k.row, k.col, 3, static_cast<short>(k.age));
      s.Start();
      Replay rp(seed);
      const bool abandon = rp.MaxIndex({k.streets, k.rest}) == 1;
      const int age = abandon ? -2 : rp.Int(30);
      const bool spreads = !abandon && k.inactive < 0;
      rp.Skip(spreads ? 4 : 0);
      SCOPED_TRACE(testing::Message() << k.streets << " streets, seed " << seed);
      EXPECT_EQ(house()->Develop(&s.cur, k.row, k.col, &s.next), spreads);
      EXPECT_EQ(s.next.GetCellValue(k.row, k.col) * 1000 + s.next.GetCellAge(k.row, k.col),
                (abandon ? 0 : 3000) + age);
      EXPECT_TRUE(rp.DrawsMatch());
      EXPECT_EQ(s.next.GetCellValue(k.row, k.col + 1),
                spreads ? 3 : s.cur.GetCellValue(k.row, k.col + 1));
      renewed += !abandon;
    }
    EXPECT_EQ(renewed == 0, k.streets == 0);
    EXPECT_EQ(renewed == 20, k.streets == 8);
  }
}

TEST_P(HouseRule, TargetFromTheNewCoverageDeadAgeFromTheOldOneThenTheStreet) {
  const int cases[][5] = {                    // old ID, old age, new ID, new age, result
                          {0, 0, 5, 0, 0},    // taken earlier in this step
                          {4, 3, 0, 3, 1},    // given up earlier in this step
                          {0, -2, 0, 5, 0},   // dead at the start of the step
                          {0, 0, 0, -7, 1}};  // dead in the new coverage only
  for (const auto& c : cases) {
    scene.Put(7, 8, c[0], static_cast<short>(c[1]));
    scene.Start();
    scene.next.SetCellValue(7, 8, static_cast<unsigned char>(c[2]));
    scene.next.SetCellAge(7, 8, static_cast<short>(c[3]));
    EXPECT_EQ(Run(), c[4]);
    EXPECT_EQ(Target() * 1000 + scene.next.GetCellAge(7, 8), c[4] ? 3000 : c[2] * 1000 + c[3]);
  }
  scene.Put(9, 10, 0);  // no street near the new cell: refused before the IDs are drawn
  scene.Put(9, 11, 2);  // beside the square, not in it
  scene.Start();
  Replay rp(17);
  EXPECT_EQ(Run(), 0);
  rp.Skip(3);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST_P(HouseRule, ChoicesAndTheirThresholdsFromTheSetsIndustryAndCommerce) {
  // Residential (at most two industry and two commerce cells): commerce
  // needs 20 % housing (5 of 25, the cell itself counts), industry allows
  // 40 % housing and commerce; mixed: the own weights, and only the
  // dominant category (a tie: commerce), never housing.
  Around(4, 2);
  Around(5, 2);
  Around(3, 3);
  SetWeights(house()->m_nResidentialLandUseProb, 0, 0, 1);
  EXPECT_EQ(Grow(), 0);  // four housing cells
  Around(3, 1);
  EXPECT_EQ(Grow(), 5);
  SetWeights(house()->m_nResidentialLandUseProb, 0, 1, 0);
  Around(3, 3);  // eight housing cells, ten with commerce
  EXPECT_EQ(Grow(), 4);
  Around(3, 1);
  EXPECT_EQ(Grow(), 0);
  static_cast<CIndustry*>(scene.set.m_LandUseArray[4])->m_nHouseCommercePercent = 60;
  EXPECT_EQ(Grow(), 4);
  Around(4, 1);  // three industry cells: mixed
  for (const auto& m : {std::array<int, 4>{1, 0, 0, 0}, {0, 1, 0, 4}, {0, 0, 1, 0}}) {
    SetWeights(house()->m_nMixedLandUseProb, m[0], m[1], m[2]);
    EXPECT_EQ(Grow(), m[3]);
  }
  Around(5, 2);  // four commerce cells: commerce dominates, 20 % housing is there
  SetWeights(house()->m_nMixedLandUseProb, 0, 0, 1);
  EXPECT_EQ(Grow(), 5);
  static_cast<CCommerce*>(scene.set.m_LandUseArray[5])->m_nHousePercent = 40;
  EXPECT_EQ(Grow(), 0);
  house()->m_nNeighborRadius = 1;  // the rule's own radius: 40 % of 9 is 4, and 5 are there
  house()->m_nStreetPercent = 0;
  SetWeights(house()->m_nResidentialLandUseProb, 0, 0, 1);
  EXPECT_EQ(Grow(), 5);
  EXPECT_TRUE(notices.texts.empty());
}

TEST_P(HouseRule, IndustryThenCommerceIdAreDrawnBeforeTheChoiceAndMustBeOfTheirClass) {
  scene.Add<CIndustry>(14);
  scene.Add<CCommerce>(15)->m_nHousePercent = 0;  // needs no housing, unlike ID 5
  Around(3, 2);
  int written = 0;
  for (int choice : {1, 2})
    for (unsigned seed = 1; seed <= 16; ++seed) {
      SetWeights(house()->m_nResidentialLandUseProb, 0, choice == 1, choice == 2);
      notices.texts.clear();
      scene.Start();
      Replay rp(seed);
      rp.Skip(3);  // policy, length, direction
      const int industryID = rp.Int(2) == 1 ? 4 : 14, commerceID = rp.Int(2) == 1 ? 5 : 15;
      rp.Skip(1);
      const int id = choice == 1 ? industryID : (commerceID == 15 ? 15 : 0);
      EXPECT_EQ(Run(), id != 0);
      EXPECT_EQ(Target(), id) << seed;
      EXPECT_EQ(notices.texts, std::vector<std::string>(id > 10, kIndustryNotice));
      EXPECT_TRUE(rp.DrawsMatch());
      written += id == 15;
    }
  EXPECT_GT(written, 0);
  EXPECT_LT(written, 16);
}

TEST_P(HouseRule, MissingIndustryOrCommerceRefusesOnlyTheChoiceThatNeedsIt) {
  CObArray& a = scene.set.m_LandUseArray;
  delete a[4];
  delete a[5];
  a.RemoveAt(4);  // no industry, and commerce of the base class
  a[4] = new CLandUse();
  static_cast<CLandUse*>(a[4])->m_ID = 5;
  static_cast<CLandUse*>(a[4])->m_LandUseCategory = Commerce;
  Around(3, 6);
  for (const auto& w : {std::array<int, 4>{0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, 3}}) {
    SetWeights(house()->m_nResidentialLandUseProb, w[0], w[1], w[2]);
    EXPECT_EQ(Grow(), w[3]);
  }
}

INSTANTIATE_TEST_SUITE_P(House, HouseRule, ::testing::Values(kRules[0]));

// --- industry and commerce ---------------------------------------------------

class IndustryRule : public SpreadRule {};
class CommerceRule : public SpreadRule {};

TEST_P(IndustryRule, OwnCategoryDrawTargetInTheNewCoverageCountsAroundTheCell) {
  scene.Put(5, 5, 5, 0);  // on a commerce cell only a Commerce draw goes on, writing industry
  scene.Start();
  EXPECT_EQ(Run(), 0);
  SetWeights(lu->m_nLandUseProb, 0, 0, 1);
  scene.Start();
  EXPECT_EQ(Run() * 100 + Target() * 10 + scene.next.GetCellValue(5, 5), 145);
  scene.Start();
  scene.next.SetCellValue(5, 6, 3);  // taken earlier in the step
  EXPECT_EQ(Run(), 0);
  scene.Put(5, 6, 3, -3);  // housing with a negative age at the start: still vacant in the new one
  scene.Start();
  scene.next.SetCellValue(5, 6, 0);
  EXPECT_EQ(Run() * 10 + Target(), 14);
  scene.Put(5, 5, 4, 0);
  scene.Put(5, 6, 0);
  SetWeights(lu->m_nLandUseProb, 0, 1, 0);
  // At most 20 of 49 housing and commerce around the cell itself (beside
  // the new cell only: not counted), at least 7 streets.
  scene.PutRow(6, 2, 8, 5);
  scene.PutRow(7, 2, 8, 3);
  scene.PutRow(8, 2, 7, 3);
  for (int r = 0; r < 11; ++r) scene.PutRow(r, 9, 10, 3);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  scene.Put(8, 8, 3);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  scene.Put(8, 8, 0);
  scene.Put(2, 2, 0);  // six streets
  scene.Start();
  EXPECT_EQ(Run(), 0);
  scene.Put(2, 2, 1);  // a node counts as a street
  scene.Start();
  EXPECT_EQ(Run(), 1);
  // At the corner 16 of the 49 cells lie inside; a step off the grid is
  // cut to the cell itself, which is taken.
  Scene corner(11, 11);
  CIndustry* c = corner.Get<CIndustry>(4);
  SetWeights(c->m_nLandUseProb, 0, 1, 0);
  corner.Put(0, 0, 4, 0);
  corner.PutRow(3, 0, 3, 2);
  corner.PutRow(2, 1, 3, 2);
  for (int dir : {4, 0}) {
    ForceStep(c, dir);
    corner.Start();
    EXPECT_EQ(c->Develop(&corner.cur, 0, 0, &corner.next), dir == 4);
    EXPECT_EQ(corner.next.GetCellValue(1, 0), dir == 4 ? 4 : 0);
  }
  corner.Put(2, 1, 0);
  ForceStep(c, 4);
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 0, 0, &corner.next), 0);
}

TEST_P(CommerceRule, CommerceDrawTargetFromTheOldCoverageHousingAroundTheNewCell) {
  scene.Put(5, 5, 3, 0);  // a housing cell: a Commerce draw still spreads commerce
  scene.Start();
  EXPECT_EQ(Run() * 100 + Target() * 10 + scene.next.GetCellValue(5, 5), 153);
  scene.Put(5, 5, 4, 0);  // an industry cell with an Industry draw: refused
  SetWeights(lu->m_nLandUseProb, 0, 1, 0);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  scene.Put(5, 5, 5, 0);
  SetWeights(lu->m_nLandUseProb, 0, 0, 1);
  const int cases[][5] = {                   // old ID, old age, new ID, new age, result
                          {0, 0, 3, 0, 1},   // housing written earlier in the step: overwritten
                          {0, 0, 0, -1, 0},  // a negative age in the new coverage: refused
                          {0, -4, 0, 0, 1},  // a negative age in the old coverage only: taken
                          {6, 0, 0, 0, 0}};  // not vacant at the start of the step
  for (const auto& c : cases) {
    scene.Put(5, 6, c[0], static_cast<short>(c[1]));
    scene.Start();
    scene.next.SetCellValue(5, 6, static_cast<unsigned char>(c[2]));
    scene.next.SetCellAge(5, 6, static_cast<short>(c[3]));
    EXPECT_EQ(Run(), c[4]);
    EXPECT_EQ(Target() * 1000 + scene.next.GetCellAge(5, 6), c[4] ? 5000 : c[2] * 1000 + c[3]);
  }
  scene.Put(5, 6, 0);
  // Five housing cells around the commerce cell but not the new one, then
  // around both; streets: two around the cell and four beyond refuse.
  for (int r = 3; r <= 7; ++r) scene.Put(r, 8, 0), scene.Put(r, 3, 3);
  scene.Put(3, 6, 2);  // three streets still
  scene.Start();
  EXPECT_EQ(Run(), 0);
  scene.PutRow(7, 4, 8, 3);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  scene.Put(3, 5, 0);
  for (int r = 3; r <= 6; ++r) scene.Put(r, 8, 1);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  // At the corner nine cells lie inside; a step off the grid is cut.
  Scene corner(11, 11);
  CCommerce* c = corner.Get<CCommerce>(5);
  SetWeights(c->m_nLandUseProb, 0, 0, 1);
  corner.Put(10, 10, 5, 0);
  corner.Put(9, 9, 2);
  corner.Put(9, 10, 2);
  corner.Put(8, 10, 1);
  corner.PutRow(8, 7, 9, 3);
  corner.Put(9, 7, 3);
  corner.Put(10, 7, 3);  // five housing cells around (10, 9)
  for (int dir : {6, 3}) {
    ForceStep(c, dir);
    corner.Start();
    EXPECT_EQ(c->Develop(&corner.cur, 10, 10, &corner.next), dir == 6);
    EXPECT_EQ(corner.next.GetCellValue(10, 9), dir == 6 ? 5 : 0);
  }
  corner.Put(8, 10, 0);
  ForceStep(c, 6);
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 10, 10, &corner.next), 0);
}

INSTANTIATE_TEST_SUITE_P(Industry, IndustryRule, ::testing::Values(kRules[1]));
INSTANTIATE_TEST_SUITE_P(Commerce, CommerceRule, ::testing::Values(kRules[2]));

}  // namespace
