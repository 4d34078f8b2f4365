// The commerce rule: besides the behaviours shared with housing and
// industry, only a Commerce draw counts, the target's category is read from
// the old coverage and its age from the new one, housing is counted around
// the new cell and streets around the commerce cell.
#include "support/spread_rule.h"

using namespace testkit;

namespace {

// In an 11 x 11 scene, a commerce cell at (5, 5): three street cells (10 %
// of 25) in its radius-2 square and five housing cells (20 % of 25) in
// column 8, in the square of the new cell (5, 6) but not in the cell's own.
void Around(Scene& s, CLandUse*) {
  s.PutRow(3, 3, 5, 2);
  for (int r = 3; r <= 7; ++r) s.Put(r, 8, 3);
}

const SpreadCase kCommerce = {"Commerce",
                              5,
                              11,
                              5,
                              5,
                              2,
                              10,
                              40,
                              false,
                              true,
                              kCommerceNotice,
                              [] { return static_cast<CLandUse*>(new CCommerce()); },
                              Around};

INSTANTIATE_TEST_SUITE_P(Commerce, SpreadRule, ::testing::Values(kCommerce));

class CommerceRule : public SpreadRule {};

}  // namespace

TEST_P(CommerceRule, OnlyACommerceDrawCountsTargetCategoryFromTheOldCoverageAgeFromTheNew) {
  scene.Put(5, 5, 3, 0);  // a housing cell: a Commerce draw still spreads commerce
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);
  EXPECT_EQ(scene.next.GetCellValue(5, 5), 3);
  scene.Put(5, 5, 4, 0);  // an industry cell with an Industry draw: refused
  SetWeights(lu->m_nLandUseProb, 0, 1, 0);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  scene.Put(5, 5, 5, 0);
  SetWeights(lu->m_nLandUseProb, 0, 0, 1);
  struct Case {
    int oldId, oldAge, newId, newAge, result;
  };
  const Case cases[] = {
      {0, 0, 3, 0, 1},   // housing written earlier in the step: overwritten
      {0, 0, 0, -1, 0},  // a negative age in the new coverage: refused
      {0, -4, 0, 0, 1},  // a negative age in the old coverage only: taken
      {6, 0, 0, 0, 0},   // not vacant at the start of the step: refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.oldId * 100 + c.newAge);
    scene.Put(5, 6, c.oldId, static_cast<short>(c.oldAge));
    scene.Start();
    scene.next.SetCellValue(5, 6, static_cast<unsigned char>(c.newId));
    scene.next.SetCellAge(5, 6, static_cast<short>(c.newAge));
    EXPECT_EQ(Run(), c.result);
    EXPECT_EQ(scene.next.GetCellValue(5, 6), c.result ? 5 : c.newId);
    EXPECT_EQ(scene.next.GetCellAge(5, 6), c.result ? 0 : c.newAge);
  }
}

TEST_P(CommerceRule, HousingAroundTheNewCellAndStreetsAroundTheCommerceCell) {
  scene.Put(7, 8, 0);  // four housing cells of five: refused
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(scene.SameExcept({{5, 5}}));

  // Five housing cells in column 3 lie around the commerce cell but not
  // around the new one; (3, 6) keeps three streets.
  for (int r = 3; r <= 7; ++r) scene.Put(r, 8, 0);
  for (int r = 3; r <= 7; ++r) scene.Put(r, 3, 3);
  scene.Put(3, 6, 2);
  scene.Start();
  EXPECT_EQ(scene.Count(5, 5, 2, {1, 2}), 3);
  EXPECT_EQ(scene.Count(5, 5, 2, {3}), 5);
  EXPECT_EQ(Run(), 0);
  scene.PutRow(7, 4, 8, 3);  // five around the new cell again
  scene.Start();
  EXPECT_EQ(Run(), 1);

  // Streets: two in the commerce cell's square and four in column 8 (in
  // the new cell's square only) refuse; a third in the square is taken.
  scene.Put(3, 6, 0);
  scene.Put(3, 5, 0);
  scene.Put(3, 3, 2);
  for (int r = 3; r <= 6; ++r) scene.Put(r, 8, 1);
  scene.Start();
  EXPECT_EQ(scene.Count(5, 5, 2, {1, 2}), 2);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 0);
  scene.Put(3, 5, 1);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(5, 6), 5);
}

TEST_P(CommerceRule, BorderSquaresCountOnlyCellsInsideTheGrid) {
  Scene corner(11, 11);
  CCommerce* c = corner.Get<CCommerce>(5);
  SetWeights(c->m_nLandUseProb, 0, 0, 1);
  ForceStep(c, 6);  // left, to (10, 9)
  corner.Put(10, 10, 5, 0);
  corner.Put(9, 9, 2);
  corner.Put(9, 10, 2);
  corner.Put(8, 10, 1);  // three streets in the nine cells inside
  corner.PutRow(8, 7, 9, 3);
  corner.Put(9, 7, 3);
  corner.Put(10, 7, 3);  // five housing cells around (10, 9)
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 10, 10, &corner.next), 1);
  EXPECT_EQ(corner.next.GetCellValue(10, 9), 5);
  corner.Put(8, 10, 0);
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 10, 10, &corner.next), 0);

  // Off the grid the step is cut to nothing: the target is the cell itself.
  corner.Put(8, 10, 1);
  ForceStep(c, 3);
  corner.Start();
  EXPECT_EQ(c->Develop(&corner.cur, 10, 10, &corner.next), 0);
  EXPECT_TRUE(corner.SameExcept({{10, 10}}));
}

INSTANTIATE_TEST_SUITE_P(Commerce, CommerceRule, ::testing::Values(kCommerce));
