// Others land never changes by itself: Develop answers 1, writes nothing in
// either coverage and draws nothing.
#include "support/scene.h"

using namespace testkit;

TEST(OthersLand, IdentityBaseClassParametersAndADevelopThatChangesAndDrawsNothing) {
  COthersLand o;
  const CLandUse& base = o;
  const CLandUse plain;
  EXPECT_EQ(base.GetID(), 6);
  EXPECT_EQ(base.GetLandUseCategory(), Others);
  EXPECT_EQ(base.GetColor(), 0x000000u);
  EXPECT_EQ(base.GetLandUseName(), "Others");
  EXPECT_EQ(base.GetCategoryString(), "Others");
  EXPECT_EQ(o.m_nActiveAge, plain.m_nActiveAge);
  EXPECT_EQ(o.m_nInactivePeriod, plain.m_nInactivePeriod);
  EXPECT_EQ(o.m_nNeighborRadius, plain.m_nNeighborRadius);
  EXPECT_EQ(o.m_nMaxLength, plain.m_nMaxLength);
  EXPECT_EQ(o.m_nDeadAge * 10 + o.m_nDensityType, 0);
  EXPECT_EQ(o.m_dDensityScale, plain.m_dDensityScale);
  EXPECT_EQ(o.m_dDensityRate, plain.m_dDensityRate);
  EXPECT_EQ(o.m_dDensityPower, plain.m_dDensityPower);
  EXPECT_EQ(std::vector<int>(o.m_nDirectionProb, o.m_nDirectionProb + 8), std::vector<int>(8, 125));
  EXPECT_EQ(std::vector<int>(o.m_nLandUseProb, o.m_nLandUseProb + 3), std::vector<int>(3, 33));
  EXPECT_EQ(o.m_nPolicy, 100);
  // Develop changes nothing in either coverage and draws nothing.
  Scene s(8, 9);
  SeedRandom(17);
  ASSERT_EQ(s.cur.RandomFill(), 1);
  for (int r = 0; r < 8; ++r) s.cur.SetCellValue(r, r, 6);
  s.Start();
  s.next.SetCellValue(0, 1, 4);  // the two coverages differ somewhere
  const auto cur = Values(s.cur), next = Values(s.next);
  const auto curAges = Ages(s.cur), nextAges = Ages(s.next);
  CLandUse* viaSet = static_cast<CLandUse*>(s.set.m_LandUseArray[s.set.GetIDIndex(6)]);
  COthersLand direct;
  Replay rp(99);
  for (int r = -1; r <= 8; ++r)
    for (int c = -1; c <= 9; ++c) {
      EXPECT_EQ(viaSet->Develop(&s.cur, r, c, &s.next), 1);
      EXPECT_EQ(direct.Develop(&s.cur, r, c, &s.next), 1);
    }
  EXPECT_EQ(direct.Develop(nullptr, 0, 0, nullptr), 1);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(Values(s.cur), cur);
  EXPECT_EQ(Values(s.next), next);
  EXPECT_EQ(Ages(s.cur), curAges);
  EXPECT_EQ(Ages(s.next), nextAges);
}
