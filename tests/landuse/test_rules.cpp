// The housing, industry and commerce rules, each through the same tests:
// the draws of a spreading cell, the age states, which coverage the age is
// read from and which written, the policy and land-use draws, the written
// ID drawn from the set, abandonment, cells outside the grid and a missing
// set. Their thresholds and choices over whole towns are pinned by the
// digests of tests/test_simulation.cpp.
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

}  // namespace
