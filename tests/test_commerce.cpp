// The commerce rule: the age step, abandonment, the refusal paths in their
// order, which coverage each test reads (category of the target in the old
// coverage, its age in the new one), housing counted around the new cell
// and streets around the commerce cell, notices, and the order of draws.
#include "growth_fixture.h"

using namespace growth_test;

namespace {

// An 11 x 11 scene with an active commerce cell at (5, 5), three street
// cells (10 % of 25) in its radius-2 square and five housing cells (20 %
// of 25) in column 8, which lies in the square of the new cell (5, 6) but
// not in the commerce cell's. The land-use draw is forced to Commerce and
// the step to one cell right: a successful call takes four draws.
class CommerceRule : public ::testing::Test {
protected:
  CommerceRule() : scene(11, 11) {
    com = scene.Get<CCommerce>(5);
    scene.Put(5, 5, 5, 0);
    scene.PutRow(3, 3, 5, 2);
    for (int r = 3; r <= 7; ++r) scene.Put(r, 8, 3);
    SetWeights(com->m_nLandUseProb, 0, 0, 1);
    ForceStep(com, 2);
  }
  int Run(int r = 5, int c = 5) { return com->Develop(&scene.cur, r, c, &scene.next); }

  Scene scene;
  CCommerce* com = nullptr;
  NoticeRecorder notices;
};

}  // namespace

TEST_F(CommerceRule, SpreadsOneCommerceCellNearHousing) {
  ASSERT_NE(com, nullptr);
  scene.Start();
  Replay rp(21);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), 1);
  EXPECT_TRUE(scene.SameExcept({{5, 5}, {5, 6}}));
  for (int k = 0; k < 4; ++k) rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_EQ(scene.cur.GetCellValue(5, 6), 0);
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(CommerceRule, AgeStatesAtTheirBoundaries) {
  struct Case {
    short age;
    int result;
    int idAfter;
    short ageAfter;
    int draws;
  };
  // Active up to 10, inactive 11 to 40, old above 40, dead below 0.
  const Case cases[] = {{0, 1, 5, 1, 4},   {10, 1, 5, 11, 4}, {11, 0, 5, 12, 0},
                        {40, 0, 5, 41, 0}, {41, 0, 0, 0, 0},  {-1, 0, 5, 0, 0},
                        {-100, 0, 5, -99, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.age);
    scene.Put(5, 5, 5, k.age);
    scene.Start();
    Replay rp(6);
    EXPECT_EQ(Run(), k.result);
    EXPECT_EQ(scene.next.GetCellValue(5, 5), k.idAfter);
    EXPECT_EQ(scene.next.GetCellAge(5, 5), k.ageAfter);
    EXPECT_EQ(scene.next.GetCellValue(5, 6), k.result == 1 ? 5 : 0);
    for (int d = 0; d < k.draws; ++d) rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(CommerceRule, AgeIsReadFromTheOldCoverageAndAddedToTheNewOne) {
  scene.Put(5, 5, 5, 41);
  scene.Start();
  scene.next.SetCellAge(5, 5, 4);  // young in the new coverage: not looked at
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 0);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), 0);

  scene.Put(5, 5, 5, 9);
  scene.Start();
  scene.next.SetCellAge(5, 5, 100);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), 101);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 5);
}

TEST_F(CommerceRule, CellOutsideTheGridWritesNothingAndDrawsNothing) {
  scene.Start();
  const int outside[][2] = {{-1, 5}, {5, -1}, {11, 0}, {0, 11}};
  for (auto& rc : outside) {
    Replay rp(4);
    EXPECT_EQ(Run(rc[0], rc[1]), 0);
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_TRUE(scene.SameExcept({}));
}

TEST_F(CommerceRule, AbandonmentWithAChangedVacantIdAndDeadAge) {
  scene.Get<CLandUse>(0)->m_ID = 9;  // the only vacant land use
  com->m_nDeadAge = 3;
  scene.Put(5, 5, 5, 41);
  scene.Start();
  Replay rp(9);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 9);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), -3);
  EXPECT_EQ(RandomDraw(), rp.Next());
  ASSERT_EQ(notices.texts.size(), 1u);
  EXPECT_EQ(notices.texts[0], kVacantNotice);
  EXPECT_TRUE(scene.SameExcept({{5, 5}}));
}

TEST_F(CommerceRule, PolicyAndLandUseDrawRefuseInOrder) {
  com->m_nPolicy = 0;
  scene.Start();
  {
    Replay rp(2);
    EXPECT_EQ(Run(), 0);
    rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  com->m_nPolicy = 100;
  const int weights[2][3] = {{1, 0, 0}, {0, 1, 0}};
  for (auto& w : weights) {
    SetWeights(com->m_nLandUseProb, w[0], w[1], w[2]);
    scene.Start();
    Replay rp(2);
    EXPECT_EQ(Run(), 0);
    rp.Draw();
    rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
    EXPECT_TRUE(scene.SameExcept({{5, 5}}));
  }
}

TEST_F(CommerceRule, OnlyACommerceDrawCountsWhateverTheCellHolds) {
  // Run on a housing cell: a Commerce draw still spreads commerce.
  scene.Put(5, 5, 3, 0);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 3);
  // Run on an industry cell with an Industry draw: refused.
  scene.Put(5, 5, 4, 0);
  SetWeights(com->m_nLandUseProb, 0, 1, 0);
  scene.Start();
  EXPECT_EQ(Run(), 0);
}

TEST_F(CommerceRule, TargetCategoryFromTheOldCoverageAgeFromTheNewOne) {
  // Housing written earlier in this step at age 0: overwritten.
  scene.Start();
  scene.next.SetCellValue(5, 6, 3);
  scene.next.SetCellAge(5, 6, 0);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);

  // Vacant in the old coverage, but a negative age in the new one: refused.
  scene.Start();
  scene.next.SetCellAge(5, 6, -1);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), -1);

  // A negative age in the old coverage only: taken.
  scene.Put(5, 6, 0, -4);
  scene.Start();
  scene.next.SetCellAge(5, 6, 0);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);

  // Not vacant in the old coverage, vacant in the new one: refused.
  scene.Put(5, 6, 6, 0);
  scene.Start();
  scene.next.SetCellValue(5, 6, 0);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
}

TEST_F(CommerceRule, HousingIsCountedAroundTheNewCell) {
  // Four of five: refused.
  scene.Put(7, 8, 0);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(scene.SameExcept({{5, 5}}));

  // Five housing cells around the commerce cell but in column 3, outside
  // the new cell's square, do not count. (3, 3) was a street: one more
  // street at (3, 6) keeps three.
  for (int r = 3; r <= 7; ++r) scene.Put(r, 8, 0);
  for (int r = 3; r <= 7; ++r) scene.Put(r, 3, 3);
  scene.Put(3, 6, 2);
  scene.Start();
  EXPECT_EQ(scene.Count(5, 5, 2, {1, 2}), 3);
  EXPECT_EQ(scene.Count(5, 5, 2, {3}), 5);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);

  // Five around the new cell again: taken.
  scene.Put(7, 4, 3);
  scene.PutRow(7, 5, 8, 3);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);
}

TEST_F(CommerceRule, StreetsAreCountedAroundTheCommerceCell) {
  // Two streets in the commerce cell's square, five more in column 8 (in
  // the new cell's square only): refused.
  scene.Put(3, 5, 0);
  for (int r = 3; r <= 7; ++r) scene.Put(r, 8, 1);
  scene.PutRow(6, 4, 7, 3);
  scene.Put(7, 4, 3);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);

  // A third street node in the commerce cell's square: taken.
  scene.Put(3, 5, 1);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);
}

TEST_F(CommerceRule, BorderSquaresCountOnlyCellsInsideTheGrid) {
  Scene corner(11, 11);
  CCommerce* lu = corner.Get<CCommerce>(5);
  SetWeights(lu->m_nLandUseProb, 0, 0, 1);
  ForceStep(lu, 6);  // left, to (10, 9)
  corner.Put(10, 10, 5, 0);
  corner.Put(9, 9, 2);
  corner.Put(9, 10, 2);
  corner.Put(8, 10, 1);  // three streets in the nine cells inside
  corner.PutRow(8, 7, 9, 3);
  corner.Put(9, 7, 3);
  corner.Put(10, 7, 3);  // five housing cells around (10, 9)
  corner.Start();
  EXPECT_EQ(lu->Develop(&corner.cur, 10, 10, &corner.next), 1);
  EXPECT_EQ(corner.next.GetCellValue(10, 9), 5);

  corner.Put(8, 10, 0);
  corner.Start();
  EXPECT_EQ(lu->Develop(&corner.cur, 10, 10, &corner.next), 0);

  // Off the grid the step is cut to nothing: the target is the cell itself.
  corner.Put(8, 10, 1);
  ForceStep(lu, 3);
  corner.Start();
  EXPECT_EQ(lu->Develop(&corner.cur, 10, 10, &corner.next), 0);
  EXPECT_TRUE(corner.SameExcept({{10, 10}}));
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(CommerceRule, ChangedCommerceIdIsWrittenWithOneNotice) {
  com->SetID(15);
  scene.Put(5, 5, 15, 0);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 15);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);
  ASSERT_EQ(notices.texts.size(), 1u);
  EXPECT_EQ(notices.texts[0], kCommerceNotice);
}

TEST(CommerceRuleDraws, DefaultParametersFollowTheReplayedSequence) {
  // Default weights and lengths on a 15 x 15 scene: an active commerce cell
  // at (7, 7), streets in row 5 of its square, housing in rows 9 and 10.
  NoticeRecorder notices;
  int spread = 0, refusedDraw = 0, refusedTarget = 0, refusedHousing = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    Scene s(15, 15);
    CCommerce* lu = s.Get<CCommerce>(5);
    s.Put(7, 7, 5, 0);
    s.PutRow(5, 5, 9, 2);
    s.PutRow(9, 3, 11, 3);
    s.PutRow(10, 3, 11, 3);
    s.Start();
    Replay rp(seed);
    int expected = 0, tr = -1, tc = -1;
    rp.Int(100);  // policy
    if (rp.MaxIndex({15, 5, 80}) != 2) {
      ++refusedDraw;
    } else {
      const int len = rp.MaxIndex({333, 266, 199, 133}) + 1;
      const int dir = rp.Direction();
      tr = 7 + kDRow[dir] * len;
      tc = 7 + kDCol[dir] * len;
      if (s.cur.GetCellValue(tr, tc) != 0) {
        ++refusedTarget;
      } else if (s.Count(tr, tc, 2, {3}) < 5) {
        ++refusedHousing;
      } else {
        expected = 1;
        ++spread;
      }
    }
    SCOPED_TRACE(seed);
    ASSERT_EQ(lu->Develop(&s.cur, 7, 7, &s.next), expected);
    EXPECT_EQ(RandomDraw(), rp.Next());
    if (expected == 1) {
      EXPECT_EQ(s.next.GetCellValue(tr, tc), 5);
      EXPECT_TRUE(s.SameExcept({{7, 7}, {tr, tc}}));
    } else {
      EXPECT_TRUE(s.SameExcept({{7, 7}}));
    }
  }
  EXPECT_GT(spread, 0);
  EXPECT_GT(refusedDraw, 0);
  EXPECT_GT(refusedTarget, 0);
  EXPECT_GT(refusedHousing, 0);
  EXPECT_TRUE(notices.texts.empty());
}
