// The industry rule: besides the behaviours shared with housing and
// commerce, the land-use draw compared with the cell's own category, the
// target tested in the new coverage, and the thresholds counted around the
// industry cell itself.
#include "support/spread_rule.h"

using namespace testkit;

namespace {

// Seven street cells (15 % of 49) in row 2 of the radius-3 square of the
// industry cell at (5, 5) in an 11 x 11 scene.
void Streets(Scene& s, CLandUse*) { s.PutRow(2, 2, 8, 2); }

const SpreadCase kIndustry = {"Industry",
                              4,
                              11,
                              5,
                              5,
                              2,
                              10,
                              50,
                              false,
                              true,
                              kIndustryNotice,
                              [] { return static_cast<CLandUse*>(new CIndustry()); },
                              Streets};

INSTANTIATE_TEST_SUITE_P(Industry, SpreadRule, ::testing::Values(kIndustry));

class IndustryRule : public SpreadRule {};

}  // namespace

TEST_P(IndustryRule, LandUseDrawMustMatchTheCellsOwnCategoryTargetIsTestedInTheNewCoverage) {
  // On a commerce cell the rule goes on only on a Commerce draw, and then
  // still writes industry.
  scene.Put(5, 5, 5, 0);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
  SetWeights(lu->m_nLandUseProb, 0, 0, 1);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 5);
  scene.Start();
  scene.next.SetCellValue(5, 6, 3);  // taken earlier in the step: refused
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 3);

  scene.Put(5, 6, 3, 4);  // housing at the start, vacant in the new coverage
  scene.Start();
  scene.next.SetCellValue(5, 6, 0);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 4);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);

  scene.Put(5, 6, 0, -3);  // a negative age is not tested
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellAge(5, 6), 0);
}

TEST_P(IndustryRule, HousingPlusCommerceAtMostTwentyAndStreetsAtLeastSeven) {
  // 20 of 49 (40 % with radius 3) in the industry cell's square; housing
  // beside the new cell but outside that square does not count.
  scene.PutRow(6, 2, 8, 5);
  scene.PutRow(7, 2, 8, 3);
  scene.PutRow(8, 2, 7, 3);
  for (int r = 0; r < 11; ++r) scene.PutRow(r, 9, 10, 3);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  scene.Put(8, 8, 3);  // the 21st
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(scene.SameExcept({{5, 5}}));

  // Streets: both kinds count together; six in the square and more beyond
  // it refuse.
  scene.Put(8, 8, 0);
  scene.Put(2, 2, 1);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  scene.Put(2, 2, 0);
  for (int r = 0; r < 11; ++r) scene.Put(r, 9, 2);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
}

TEST_P(IndustryRule, BorderSquareCountsOnlyCellsInsideTheGrid) {
  // At the corner 16 of the 49 cells lie inside; seven must be streets.
  Scene corner(11, 11);
  CIndustry* c = corner.Get<CIndustry>(4);
  SetWeights(c->m_nLandUseProb, 0, 1, 0);
  ForceStep(c, 4);  // down, to (1, 0)
  corner.Put(0, 0, 4, 0);
  corner.PutRow(3, 0, 3, 2);
  corner.PutRow(2, 1, 3, 2);
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 0, 0, &corner.next), 1);
  EXPECT_EQ(corner.next.GetCellValue(1, 0), 4);
  corner.Put(2, 1, 0);
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 0, 0, &corner.next), 0);

  // A step off the grid is cut to no step: the target is the cell itself.
  corner.Put(2, 1, 2);
  ForceStep(c, 0);
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 0, 0, &corner.next), 0);
  EXPECT_TRUE(corner.SameExcept({{0, 0}}));
}

INSTANTIATE_TEST_SUITE_P(Industry, IndustryRule, ::testing::Values(kIndustry));
