// Behaviours the housing, industry and commerce rules share, run once per
// rule: the age step and its boundaries, which coverage the age is read
// from, cells outside the grid, the policy and land-use draws, the written
// ID drawn from the set as the last draw, and the notice of a changed ID.
// A test file includes this once and instantiates SpreadRule with its case.
#pragma once

#include "support/scene.h"

namespace testkit {

struct SpreadCase {
  const char* name;
  int position;        // position and default ID in the set: 3, 4 or 5
  int size, row, col;  // square scene and the active cell
  int direction;       // the forced one-cell step
  int activeAge, lastInactiveAge;
  bool renews;       // housing may renew an old cell instead of giving it up
  bool landUseDraw;  // a land-use draw follows the policy draw
  const char* ownNotice;
  CLandUse* (*make)();                 // a fresh land use of the rule's class
  void (*prepare)(Scene&, CLandUse*);  // neighbours that let the cell spread
};

inline std::ostream& operator<<(std::ostream& os, const SpreadCase& k) { return os << k.name; }

class SpreadRule : public ::testing::TestWithParam<SpreadCase> {
protected:
  SpreadRule() : k(GetParam()), scene(k.size, k.size) {
    lu = scene.Get<CLandUse>(k.position);
    scene.Put(k.row, k.col, k.position, 0);
    ForceStep(lu, k.direction);
    if (k.landUseDraw) {
      int* w = lu->m_nLandUseProb;
      for (int i = 0; i < 3; ++i) w[i] = (i == k.position - 3) ? 1 : 0;
    }
    k.prepare(scene, lu);
    tr = k.row + kDRow[k.direction];
    tc = k.col + kDCol[k.direction];
  }
  int Run() { return lu->Develop(&scene.cur, k.row, k.col, &scene.next); }
  int Run(int r, int c) { return lu->Develop(&scene.cur, r, c, &scene.next); }
  void SetAge(short age) { scene.Put(k.row, k.col, scene.cur.GetCellValue(k.row, k.col), age); }
  // Draws of a successful call: policy, then the land use (industry and
  // commerce) or the choice (housing), length and direction.
  static constexpr int Draws() { return 4; }

  SpreadCase k;
  Scene scene;
  CLandUse* lu = nullptr;
  int tr = 0, tc = 0;
  NoticeRecorder notices;
};

TEST_P(SpreadRule, SpreadsOneCellWithItsDraws) {
  ASSERT_NE(lu, nullptr);
  scene.Start();
  Replay rp(31);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(tr, tc), k.position);
  EXPECT_EQ(scene.next.GetCellAge(tr, tc), 0);
  EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), 1);
  EXPECT_TRUE(scene.SameExcept({{k.row, k.col}, {tr, tc}}));
  rp.Skip(Draws());
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(scene.cur.GetCellValue(tr, tc), 0);  // the read coverage is never written
  EXPECT_EQ(scene.cur.GetCellAge(k.row, k.col), 0);
  EXPECT_TRUE(notices.texts.empty());
}

TEST_P(SpreadRule, LengthDrawFollowsTheDensityLawNegativeSumsIncluded) {
  // No neighbour needed and a vacant ray: the written cell lies at the
  // drawn length.
  if (auto* h = dynamic_cast<CHouse*>(lu)) h->m_nStreetPercent = 0;
  if (auto* c = dynamic_cast<CCommerce*>(lu)) c->m_nHousePercent = c->m_nStreetPercent = 0;
  for (int d = 1; d <= 5; ++d)
    scene.Put(k.row + kDRow[k.direction] * d, k.col + kDCol[k.direction] * d, 0);
  std::mt19937 g(k.position);
  for (int t = 0; t < 60; ++t) {
    RandomLaw(g, *lu);
    lu->m_nMaxLength = 2 + t % 5;
    const std::vector<int> pm = LengthPerMille(*lu, lu->m_nMaxLength);
    scene.Start();
    Replay rp(t + 1u);
    rp.Skip(k.landUseDraw ? 2 : 1);  // policy, land use
    const int length = rp.MaxIndex(pm) + 1;
    rp.Skip(k.landUseDraw ? 1 : 2);  // direction, housing's choice
    ASSERT_EQ(Run(), 1) << t;
    const int r = k.row + kDRow[k.direction] * length, c = k.col + kDCol[k.direction] * length;
    EXPECT_EQ(scene.next.GetCellValue(r, c), k.position) << t << " length " << length;
    EXPECT_TRUE(scene.SameExcept({{k.row, k.col}, {r, c}})) << t;
    EXPECT_TRUE(rp.DrawsMatch()) << t;
  }
}

TEST_P(SpreadRule, AgeStatesAtTheirBoundaries) {
  struct Age {
    int age, result, ageAfter;
  };
  const int a = k.activeAge, last = k.lastInactiveAge;
  // Active 0 to a, inactive a + 1 to last, dead below 0 (ages towards 0).
  std::vector<Age> cases = {{0, 1, 1},           {a, 1, a + 1}, {a + 1, 0, a + 2},
                            {last, 0, last + 1}, {-1, 0, 0},    {-32768, 0, -32767}};
  if (!k.renews) {  // old: given up to vacant land, no draw
    cases.push_back({last + 1, 0, 0});
    cases.push_back({32767, 0, 0});
  }
  for (const Age& c : cases) {
    SCOPED_TRACE(c.age);
    SetAge(static_cast<short>(c.age));
    scene.Start();
    Replay rp(5);
    EXPECT_EQ(Run(), c.result);
    const bool old = c.age > last;
    EXPECT_EQ(scene.next.GetCellValue(k.row, k.col), old ? 0 : k.position);
    EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), c.ageAfter);
    EXPECT_EQ(scene.next.GetCellValue(tr, tc), c.result == 1 ? k.position : 0);
    rp.Skip(c.result == 1 ? Draws() : 0);
    EXPECT_TRUE(rp.DrawsMatch());
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_P(SpreadRule, AgeIsReadFromTheOldCoverageAndAddedToTheNewOne) {
  SetAge(2);
  scene.Start();
  scene.next.SetCellAge(k.row, k.col, static_cast<short>(k.lastInactiveAge + 5));
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), k.lastInactiveAge + 6);
  EXPECT_EQ(scene.next.GetCellValue(tr, tc), k.position);

  SetAge(static_cast<short>(k.activeAge + 1));
  scene.Start();
  scene.next.SetCellAge(k.row, k.col, 2);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), 3);
  EXPECT_EQ(scene.next.GetCellValue(tr, tc), 0);
  if (k.renews) return;

  SetAge(static_cast<short>(k.lastInactiveAge + 1));  // old in the old coverage only
  scene.Start();
  scene.next.SetCellAge(k.row, k.col, 2);
  Replay rp(3);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(k.row, k.col), 0);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST_P(SpreadRule, PolicyAndLandUseDrawRefuseInOrder) {
  lu->m_nPolicy = 0;
  scene.Start();
  Replay rp(2);
  EXPECT_EQ(Run(), 0);
  rp.Skip(1);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_TRUE(scene.SameExcept({{k.row, k.col}}));
  if (!k.landUseDraw) return;
  lu->m_nPolicy = 100;
  for (int other = 0; other < 3; ++other) {
    if (other == k.position - 3) continue;
    SetWeights(lu->m_nLandUseProb, other == 0, other == 1, other == 2);
    scene.Start();
    Replay r2(2);
    EXPECT_EQ(Run(), 0) << other;
    r2.Skip(2);
    EXPECT_TRUE(r2.DrawsMatch());
    EXPECT_TRUE(scene.SameExcept({{k.row, k.col}}));
  }
}

TEST_P(SpreadRule, WrittenIdIsTheSetsLastDrawAChangedOneWithItsNotice) {
  CLandUse* second = k.make();
  second->SetID(14);
  scene.set.m_LandUseArray.Add(second);
  int seen14 = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    notices.texts.clear();
    scene.Start();
    Replay rp(seed);
    rp.Skip(Draws());
    const int id = rp.Int(2) == 1 ? k.position : 14;
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(scene.next.GetCellValue(tr, tc), id);
    EXPECT_TRUE(rp.DrawsMatch());
    EXPECT_EQ(notices.texts, std::vector<std::string>(id == 14, k.ownNotice));
    seen14 += id == 14;
  }
  EXPECT_GT(seen14, 0);
  EXPECT_LT(seen14, 12);
}

TEST_P(SpreadRule, AbandonmentWritesTheSetsVacantIdAndTheNegatedDeadAge) {
  if (k.renews) return;  // housing's abandonment has tests of its own
  const int deadAges[] = {7, -5, 40000, 0};
  const short expected[] = {-7, 5, 25536, 0};
  for (int i = 0; i < 4; ++i) {
    lu->m_nDeadAge = deadAges[i];
    SetAge(static_cast<short>(k.lastInactiveAge + 1));
    scene.Start();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scene.next.GetCellValue(k.row, k.col), 0);
    EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), expected[i]);
  }
  EXPECT_TRUE(notices.texts.empty());
  lu->m_nDeadAge = 0;
  scene.Add<CLandUse>(7);  // two vacant land uses: the set draws 0 or 7
  int seen7 = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    notices.texts.clear();
    scene.Start();
    Replay rp(seed);
    const int id = rp.Int(2) == 1 ? 0 : 7;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scene.next.GetCellValue(k.row, k.col), id);
    EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), 0);
    EXPECT_TRUE(rp.DrawsMatch());
    EXPECT_EQ(notices.texts,
              id == 7 ? std::vector<std::string>{kVacantNotice} : std::vector<std::string>{});
    seen7 += id == 7;
  }
  EXPECT_GT(seen7, 0);
  EXPECT_LT(seen7, 12);
}

TEST_P(SpreadRule, OutsideTheGridNullCoveragesOrWithoutALinkedSetNothingIsDrawn) {
  scene.Start();
  const int n = k.size;
  const int outside[][2] = {{-1, 0}, {0, -1}, {n, 3}, {3, n}, {n, n}};
  Replay rp(8);
  for (auto& rc : outside) EXPECT_EQ(Run(rc[0], rc[1]), 0);
  EXPECT_EQ(lu->Develop(nullptr, k.row, k.col, &scene.next), 0);
  EXPECT_EQ(lu->Develop(&scene.cur, k.row, k.col, nullptr), 0);
  EXPECT_TRUE(scene.SameExcept({}));
  // Without a set a young cell only ages and an old one turns vacant.
  scene.cur.m_pLandUseSet = nullptr;
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_TRUE(scene.SameExcept({{k.row, k.col}}));
  SetAge(static_cast<short>(k.lastInactiveAge + 1));
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(k.row, k.col), 0);
  EXPECT_EQ(scene.next.GetCellAge(k.row, k.col), 0);
  EXPECT_TRUE(notices.texts.empty());
}

}  // namespace testkit
