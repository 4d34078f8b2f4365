// Others land never changes by itself: Develop answers 1, writes nothing in
// either coverage and draws nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

TEST(OthersLand, IdentityAndParameters) {
  COthersLand o;
  const CLandUse& base = o;
  EXPECT_EQ(base.GetID(), 6);
  EXPECT_EQ(base.GetLandUseCategory(), Others);
  EXPECT_EQ(base.GetColor(), 0x000000u);
  EXPECT_EQ(base.GetLandUseName(), "Others");
  EXPECT_EQ(base.GetCategoryString(), "Others");
  EXPECT_EQ(o.m_nActiveAge, 50000);
  EXPECT_EQ(o.m_nInactivePeriod, 30);
  EXPECT_EQ(o.m_nDeadAge, 0);
  EXPECT_EQ(o.m_nNeighborRadius, 2);
  EXPECT_EQ(o.m_nMaxLength, 5);
  EXPECT_EQ(o.m_nDensityType, 0);
  EXPECT_EQ(o.m_dDensityScale, 1.0);
  EXPECT_EQ(o.m_dDensityRate, 2.0);
  EXPECT_EQ(o.m_dDensityPower, 2.0);
  for (int w : o.m_nDirectionProb) EXPECT_EQ(w, 125);
  for (int w : o.m_nLandUseProb) EXPECT_EQ(w, 33);
  EXPECT_EQ(o.m_nPolicy, 100);
}

TEST(OthersLand, DevelopChangesNothingAndDrawsNothing) {
  CLandUseSet set;
  CLandUseCoverage cur;
  CLandUseCoverage next;
  ASSERT_EQ(cur.InitCoverage(8, 9, 0), 1);
  ASSERT_EQ(next.InitCoverage(8, 9, 0), 1);
  cur.m_pLandUseSet = &set;
  next.m_pLandUseSet = &set;
  SeedRandom(17);
  ASSERT_EQ(cur.RandomFill(), 1);
  for (int r = 0; r < 8; ++r) cur.SetCellValue(r, r, 6);
  next.CopyValueFromCoverage(&cur);
  next.SetCellValue(0, 1, 4);  // the two coverages differ somewhere

  const int n = 8 * 9;
  std::vector<unsigned char> curValues(cur.m_pData, cur.m_pData + n);
  std::vector<short> curAges(cur.m_pCellAge, cur.m_pCellAge + n);
  std::vector<unsigned char> nextValues(next.m_pData, next.m_pData + n);
  std::vector<short> nextAges(next.m_pCellAge, next.m_pCellAge + n);

  // Through the set, as a host reaches it, and directly.
  CLandUse* viaSet = static_cast<CLandUse*>(set.m_LandUseArray[set.GetIDIndex(6)]);
  COthersLand direct;
  SeedRandom(99);
  const int a = RandomDraw();
  const int b = RandomDraw();
  SeedRandom(99);
  for (int r = -1; r <= 8; ++r) {
    for (int c = -1; c <= 9; ++c) {
      EXPECT_EQ(viaSet->Develop(&cur, r, c, &next), 1);
      EXPECT_EQ(direct.Develop(&cur, r, c, &next), 1);
    }
  }
  EXPECT_EQ(direct.Develop(nullptr, 0, 0, nullptr), 1);
  EXPECT_EQ(RandomDraw(), a);
  EXPECT_EQ(RandomDraw(), b);
  EXPECT_EQ(std::memcmp(cur.m_pData, curValues.data(), n), 0);
  EXPECT_EQ(std::memcmp(cur.m_pCellAge, curAges.data(), n * sizeof(short)), 0);
  EXPECT_EQ(std::memcmp(next.m_pData, nextValues.data(), n), 0);
  EXPECT_EQ(std::memcmp(next.m_pCellAge, nextAges.data(), n * sizeof(short)), 0);
}
