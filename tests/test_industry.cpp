// The industry rule: the age step, abandonment, the refusal paths in their
// order, which coverage each test reads, the neighbourhood thresholds
// around the industry cell itself, notices, and the order of draws.
#include "growth_fixture.h"

using namespace growth_test;

namespace {

// An 11 x 11 scene with an active industry cell at (5, 5) and seven street
// cells (the least share, 15 % of 49) in row 2 of its radius-3 square.
// The land-use draw is forced to Industry and the step to one cell right,
// so a successful call takes exactly four draws: policy, land use, length,
// direction.
class IndustryRule : public ::testing::Test {
protected:
  IndustryRule() : scene(11, 11) {
    ind = scene.Get<CIndustry>(4);
    scene.Put(5, 5, 4, 0);
    scene.PutRow(2, 2, 8, 2);
    SetWeights(ind->m_nLandUseProb, 0, 1, 0);
    ForceStep(ind, 2);
  }
  int Run(int r = 5, int c = 5) { return ind->Develop(&scene.cur, r, c, &scene.next); }

  Scene scene;
  CIndustry* ind = nullptr;
  NoticeRecorder notices;
};

}  // namespace

TEST_F(IndustryRule, SpreadsOneIndustryCellBesideItsStreets) {
  ASSERT_NE(ind, nullptr);
  scene.Start();
  Replay rp(11);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), 1);
  EXPECT_TRUE(scene.SameExcept({{5, 5}, {5, 6}}));
  for (int k = 0; k < 4; ++k) rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_TRUE(notices.texts.empty());
  // The read coverage is never written.
  EXPECT_EQ(scene.cur.GetCellValue(5, 6), 0);
  EXPECT_EQ(scene.cur.GetCellAge(5, 5), 0);
}

TEST_F(IndustryRule, AgeIsReadFromTheOldCoverageAndAddedToTheNewOne) {
  scene.Put(5, 5, 4, 3);
  scene.Start();
  scene.next.SetCellAge(5, 5, 60);  // old in the new coverage: not looked at
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), 61);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 4);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);

  // Old in the old coverage, young in the new one: abandoned.
  scene.Put(5, 5, 4, 51);
  scene.Start();
  scene.next.SetCellAge(5, 5, 2);
  Replay rp(3);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 0);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
  EXPECT_EQ(RandomDraw(), rp.Next());  // abandonment takes no draw
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(IndustryRule, AgeStatesAtTheirBoundaries) {
  struct Case {
    short age;
    int result;
    int idAfter;
    short ageAfter;
    int draws;
  };
  // Active up to 10, inactive 11 to 50, old above 50, dead below 0.
  const Case cases[] = {{10, 1, 4, 11, 4},  {11, 0, 4, 12, 0}, {50, 0, 4, 51, 0},
                        {51, 0, 0, 0, 0},   {-1, 0, 4, 0, 0},  {-32768, 0, 4, -32767, 0},
                        {32767, 0, 0, 0, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.age);
    scene.Put(5, 5, 4, k.age);
    scene.Put(5, 6, 0, 0);
    scene.Start();
    Replay rp(5);
    EXPECT_EQ(Run(), k.result);
    EXPECT_EQ(scene.next.GetCellValue(5, 5), k.idAfter);
    EXPECT_EQ(scene.next.GetCellAge(5, 5), k.ageAfter);
    EXPECT_EQ(scene.next.GetCellValue(5, 6), k.result == 1 ? 4 : 0);
    for (int d = 0; d < k.draws; ++d) rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(IndustryRule, CellOutsideTheGridWritesNothingAndDrawsNothing) {
  scene.Start();
  const int outside[][2] = {{-1, 0}, {0, -1}, {11, 5}, {5, 11}, {11, 11}};
  for (auto& rc : outside) {
    Replay rp(8);
    EXPECT_EQ(Run(rc[0], rc[1]), 0);
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_TRUE(scene.SameExcept({}));
}

TEST_F(IndustryRule, AbandonmentAgeIsTheNegatedDeadAgeAsSixteenBits) {
  const int deadAges[] = {7, -5, 40000, 0};
  const short expected[] = {-7, 5, 25536, 0};
  for (int k = 0; k < 4; ++k) {
    ind->m_nDeadAge = deadAges[k];
    scene.Put(5, 5, 4, 60);
    scene.Start();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scene.next.GetCellValue(5, 5), 0);
    EXPECT_EQ(scene.next.GetCellAge(5, 5), expected[k]);
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(IndustryRule, AbandonmentWritesTheSetsVacantIdAndNoticesAChangedOne) {
  // Two vacant land uses: the set draws between IDs 0 and 7.
  CLandUse* other = new CLandUse();
  other->SetID(7);
  scene.set.m_LandUseArray.Add(other);
  int seen0 = 0, seen7 = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    notices.texts.clear();
    scene.Put(5, 5, 4, 51);
    scene.Start();
    Replay rp(seed);
    const int id = rp.Int(2) == 1 ? 0 : 7;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scene.next.GetCellValue(5, 5), id);
    EXPECT_EQ(scene.next.GetCellAge(5, 5), 0);
    EXPECT_EQ(RandomDraw(), rp.Next());
    if (id == 0) {
      ++seen0;
      EXPECT_TRUE(notices.texts.empty());
    } else {
      ++seen7;
      ASSERT_EQ(notices.texts.size(), 1u);
      EXPECT_EQ(notices.texts[0], kVacantNotice);
    }
  }
  EXPECT_GT(seen0, 0);
  EXPECT_GT(seen7, 0);
}

TEST_F(IndustryRule, PolicyAndLandUseDrawRefuseInOrder) {
  // Policy 0: one draw, then nothing.
  ind->m_nPolicy = 0;
  scene.Start();
  {
    Replay rp(2);
    EXPECT_EQ(Run(), 0);
    rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
    EXPECT_TRUE(scene.SameExcept({{5, 5}}));
  }
  ind->m_nPolicy = 100;
  // A draw of House or Commerce on an industry cell: policy and land-use
  // draws only.
  const int weights[2][3] = {{1, 0, 0}, {0, 0, 1}};
  for (auto& w : weights) {
    SetWeights(ind->m_nLandUseProb, w[0], w[1], w[2]);
    scene.Start();
    Replay rp(2);
    EXPECT_EQ(Run(), 0);
    rp.Draw();
    rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
    EXPECT_TRUE(scene.SameExcept({{5, 5}}));
  }
}

TEST_F(IndustryRule, LandUseDrawMustMatchTheCellsOwnCategory) {
  // An industry rule run on a commerce cell goes on only on a Commerce
  // draw, and then still writes industry.
  scene.Put(5, 5, 5, 0);
  SetWeights(ind->m_nLandUseProb, 0, 1, 0);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);

  SetWeights(ind->m_nLandUseProb, 0, 0, 1);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 5);
}

TEST_F(IndustryRule, TargetIsTestedInTheNewCoverageOnly) {
  // Vacant at the start of the step but taken earlier in it: refused.
  scene.Start();
  scene.next.SetCellValue(5, 6, 3);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 3);

  // Housing at the start of the step, vacant in the new coverage: taken.
  scene.Put(5, 6, 3, 4);
  scene.Start();
  scene.next.SetCellValue(5, 6, 0);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);

  // Vacant with a negative age: the age is not tested.
  scene.Put(5, 6, 0, -3);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);
}

TEST_F(IndustryRule, HousingAndCommerceAroundTheIndustryCellAtMostTwenty) {
  // 20 of 49 (the share count of 40 % with radius 3) in rows 6 to 8 of the
  // square: commerce in row 6, housing in rows 7 and 8 (one left out).
  scene.PutRow(6, 2, 8, 5);
  scene.PutRow(7, 2, 8, 3);
  scene.PutRow(8, 2, 7, 3);
  // Housing beside the new cell but outside the industry cell's square.
  for (int r = 0; r < 11; ++r) scene.Put(r, 9, 3);
  for (int r = 0; r < 11; ++r) scene.Put(r, 10, 3);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);

  scene.Put(8, 8, 3);  // the 21st
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
  EXPECT_TRUE(scene.SameExcept({{5, 5}}));
}

TEST_F(IndustryRule, StreetsAroundTheIndustryCellAtLeastSeven) {
  // Both kinds of street count, together.
  scene.Put(2, 2, 1);
  scene.Start();
  EXPECT_EQ(Run(), 1);

  // Six in the square; streets beyond it (column 9) do not help.
  scene.Put(2, 2, 0);
  for (int r = 0; r < 11; ++r) scene.Put(r, 9, 2);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
}

TEST_F(IndustryRule, BorderSquareCountsOnlyCellsInsideTheGrid) {
  // At the corner only 16 of the 49 cells lie inside; seven of them must be
  // streets.
  Scene corner(11, 11);
  CIndustry* lu = corner.Get<CIndustry>(4);
  SetWeights(lu->m_nLandUseProb, 0, 1, 0);
  ForceStep(lu, 4);  // down, to (1, 0)
  corner.Put(0, 0, 4, 0);
  corner.PutRow(3, 0, 3, 2);
  corner.PutRow(2, 1, 3, 2);
  corner.Start();
  EXPECT_EQ(lu->Develop(&corner.cur, 0, 0, &corner.next), 1);
  EXPECT_EQ(corner.next.GetCellValue(1, 0), 4);

  corner.Put(2, 1, 0);
  corner.Start();
  EXPECT_EQ(lu->Develop(&corner.cur, 0, 0, &corner.next), 0);
  EXPECT_EQ(corner.next.GetCellValue(1, 0), 0);

  // A step off the grid is cut to no step: the target is the cell itself.
  corner.Put(2, 1, 2);
  ForceStep(lu, 0);
  corner.Start();
  EXPECT_EQ(lu->Develop(&corner.cur, 0, 0, &corner.next), 0);
  EXPECT_TRUE(corner.SameExcept({{0, 0}}));
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(IndustryRule, ChangedIndustryIdIsWrittenWithOneNotice) {
  ind->SetID(14);
  scene.Put(5, 5, 14, 0);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 14);
  ASSERT_EQ(notices.texts.size(), 1u);
  EXPECT_EQ(notices.texts[0], kIndustryNotice);
}

TEST_F(IndustryRule, IndustryIdIsDrawnFromTheSetAfterTheDirection) {
  // A second industry land use: the set draws the ID as the last draw.
  CIndustry* second = new CIndustry();
  second->SetID(14);
  scene.set.m_LandUseArray.Add(second);
  int notices14 = 0, seen4 = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    scene.Start();
    Replay rp(seed);
    for (int k = 0; k < 4; ++k) rp.Draw();
    const int id = rp.Int(2) == 1 ? 4 : 14;
    const std::size_t before = notices.texts.size();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(scene.next.GetCellValue(5, 6), id);
    EXPECT_EQ(RandomDraw(), rp.Next());
    EXPECT_EQ(notices.texts.size() - before, id == 14 ? 1u : 0u);
    notices14 += id == 14;
    seen4 += id == 4;
  }
  EXPECT_GT(notices14, 0);
  EXPECT_GT(seen4, 0);
}

TEST_F(IndustryRule, WithoutALinkedSetOldCellsTurnVacantAndYoungOnesStop) {
  scene.cur.m_pLandUseSet = nullptr;
  scene.Start();
  Replay rp(3);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_TRUE(scene.SameExcept({{5, 5}}));
  scene.Put(5, 5, 4, 51);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 0);
  EXPECT_EQ(scene.next.GetCellAge(5, 5), 0);
  EXPECT_EQ(ind->Develop(nullptr, 5, 5, &scene.next), 0);
  EXPECT_EQ(ind->Develop(&scene.cur, 5, 5, nullptr), 0);
  EXPECT_TRUE(notices.texts.empty());
}

TEST(IndustryRuleDraws, DefaultParametersFollowTheReplayedSequence) {
  // Default weights and lengths on a 15 x 15 scene: an active industry cell
  // at (7, 7) with seven streets in row 4 of its square, more streets along
  // row 5 where a step of two upward lands on them.
  NoticeRecorder notices;
  int spread = 0, refusedDraw = 0, refusedTarget = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    Scene s(15, 15);
    CIndustry* lu = s.Get<CIndustry>(4);
    s.Put(7, 7, 4, 0);
    s.PutRow(4, 4, 10, 2);
    s.PutRow(5, 0, 14, 1);
    s.Start();
    Replay rp(seed);
    int expected = 0;
    int tr = -1, tc = -1;
    rp.Int(100);  // policy
    if (rp.MaxIndex({20, 50, 30}) != 1) {
      ++refusedDraw;
    } else {
      const int len = rp.MaxIndex({500, 333}) + 1;  // lengths 1 and 2
      const int dir = rp.Direction();
      tr = 7 + kDRow[dir] * len;
      tc = 7 + kDCol[dir] * len;
      if (s.cur.GetCellValue(tr, tc) != 0) {
        ++refusedTarget;
      } else {
        expected = 1;
        ++spread;
      }
    }
    SCOPED_TRACE(seed);
    ASSERT_EQ(lu->Develop(&s.cur, 7, 7, &s.next), expected);
    EXPECT_EQ(RandomDraw(), rp.Next());
    if (expected == 1) {
      EXPECT_EQ(s.next.GetCellValue(tr, tc), 4);
      EXPECT_TRUE(s.SameExcept({{7, 7}, {tr, tc}}));
    } else {
      EXPECT_TRUE(s.SameExcept({{7, 7}}));
    }
  }
  EXPECT_GT(spread, 0);
  EXPECT_GT(refusedDraw, 0);
  EXPECT_GT(refusedTarget, 0);
  EXPECT_TRUE(notices.texts.empty());
}
