// The land-use base class: defaults, accessors, and the random choices it
// grows with. Expected draws are computed by replaying the generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

namespace {

// RandInt of the generator, replayed: one draw r for n != 0, r % n + 1.
int ReplayRandInt(int n) {
  if (n == 0) return 0;
  const int r = RandomDraw();
  return r % n + 1;
}

// GetMaxIndex replayed over the given weights.
int ReplayMaxIndex(const std::vector<int>& weights) {
  int best = -32767;
  int index = -1;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    const int d = ReplayRandInt(weights[i]);
    if (d > best) {
      best = d;
      index = static_cast<int>(i);
    }
  }
  return index;
}

// Runs op after seeding, then replays expect after seeding again; the
// results must agree and so must the next draw (same number of draws).
template <typename Op, typename Expect>
void CheckAgainstReplay(unsigned seed, Op op, Expect expect) {
  SeedRandom(seed);
  const auto got = op();
  const int nextAfterOp = RandomDraw();
  SeedRandom(seed);
  const auto want = expect();
  const int nextAfterReplay = RandomDraw();
  EXPECT_EQ(got, want) << "seed " << seed;
  EXPECT_EQ(nextAfterOp, nextAfterReplay) << "draw count differs, seed " << seed;
}

// True when op takes no draw from the generator.
template <typename Op>
bool TakesNoDraw(Op op) {
  SeedRandom(4242);
  const int first = RandomDraw();
  SeedRandom(4242);
  op();
  return RandomDraw() == first;
}

}  // namespace

TEST(LandUseBase, ConstructorDefaults) {
  CLandUse lu;
  EXPECT_EQ(lu.GetID(), 0);
  EXPECT_EQ(lu.GetLandUseCategory(), Blank);
  EXPECT_EQ(lu.GetColor(), 0xFFFFFFu);
  EXPECT_EQ(lu.GetLandUseName(), "Vacant Land");
  EXPECT_EQ(lu.GetCategoryString(), "Blank");
  EXPECT_EQ(lu.m_nMaxLength, 5);
  EXPECT_EQ(lu.m_nDensityType, 0);
  EXPECT_DOUBLE_EQ(lu.m_dDensityScale, 1.0);
  EXPECT_DOUBLE_EQ(lu.m_dDensityRate, 2.0);
  EXPECT_DOUBLE_EQ(lu.m_dDensityPower, 2.0);
  EXPECT_EQ(lu.m_nActiveAge, 50000);
  EXPECT_EQ(lu.m_nInactivePeriod, 30);
  EXPECT_EQ(lu.m_nDeadAge, 0);
  EXPECT_EQ(lu.m_nNeighborRadius, 2);
  for (int w : lu.m_nDirectionProb) EXPECT_EQ(w, 125);
  for (int w : lu.m_nLandUseProb) EXPECT_EQ(w, 33);
  EXPECT_EQ(lu.m_nPolicy, 100);
}

TEST(LandUseBase, SettersStoreAndAnswerOne) {
  CLandUse lu;
  EXPECT_EQ(lu.SetID(200), 1);
  EXPECT_EQ(lu.GetID(), 200);
  EXPECT_EQ(lu.m_ID, 200);
  EXPECT_EQ(lu.SetColor(0x123456u), 1);
  EXPECT_EQ(lu.GetColor(), 0x123456u);
  EXPECT_EQ(lu.SetLandUseName("Park"), 1);
  EXPECT_EQ(lu.GetLandUseName(), "Park");
  EXPECT_EQ(lu.m_strLandUseName, "Park");
  EXPECT_EQ(lu.SetLandUseCategory(Industry), 1);
  EXPECT_EQ(lu.GetLandUseCategory(), Industry);
  EXPECT_EQ(lu.m_LandUseCategory, Industry);
}

TEST(LandUseBase, CategoryWords) {
  CLandUse lu;
  const struct {
    int category;
    const char* word;
  } cases[] = {{0, "Blank"},    {1, "StreetNode"}, {2, "StreetVertex"}, {3, "House"},
               {4, "Industry"}, {5, "Commerce"},   {6, "Others"},       {9, "Others"},
               {-1, "Others"}};
  for (const auto& c : cases) {
    lu.m_LandUseCategory = static_cast<LandUseCategory>(c.category);
    EXPECT_EQ(lu.GetCategoryString(), c.word) << c.category;
  }
}

TEST(LandUseBase, SetDensityFromOtherCopiesTheFiveDensityParametersOnly) {
  CLandUse source;
  source.m_nMaxLength = 9;
  source.m_nDensityType = 3;
  source.m_dDensityScale = 0.5;
  source.m_dDensityRate = 0.25;
  source.m_dDensityPower = 1.5;
  source.m_nActiveAge = 7;
  source.m_nNeighborRadius = 4;
  source.m_nPolicy = 3;
  source.m_ID = 11;

  CLandUse target;
  EXPECT_EQ(target.SetDensityFromOther(nullptr), 0);
  EXPECT_EQ(target.m_nMaxLength, 5);
  EXPECT_EQ(target.m_nDensityType, 0);

  EXPECT_EQ(target.SetDensityFromOther(&source), 1);
  EXPECT_EQ(target.m_nMaxLength, 9);
  EXPECT_EQ(target.m_nDensityType, 3);
  EXPECT_DOUBLE_EQ(target.m_dDensityScale, 0.5);
  EXPECT_DOUBLE_EQ(target.m_dDensityRate, 0.25);
  EXPECT_DOUBLE_EQ(target.m_dDensityPower, 1.5);
  EXPECT_EQ(target.m_nActiveAge, 50000);
  EXPECT_EQ(target.m_nNeighborRadius, 2);
  EXPECT_EQ(target.m_nPolicy, 100);
  EXPECT_EQ(target.m_ID, 0);
}

TEST(LandUseBase, BaseDevelopChangesNothing) {
  CLandUseSet set;
  CLandUseCoverage cur, next;
  ASSERT_EQ(cur.InitCoverage(6, 7, 4), 1);
  ASSERT_EQ(next.InitCoverage(6, 7, 4), 1);
  cur.m_pLandUseSet = next.m_pLandUseSet = &set;
  cur.SetCellValue(2, 3, 0);
  CLandUse lu;
  bool noDraw = TakesNoDraw([&] { EXPECT_EQ(lu.Develop(&cur, 2, 3, &next), 1); });
  EXPECT_TRUE(noDraw);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 7; ++c) {
      EXPECT_EQ(next.GetCellValue(r, c), 0);
      EXPECT_EQ(next.GetCellAge(r, c), 4);
    }
}

// --- GetRealLength -----------------------------------------------------

TEST(LandUseLength, ShortAndNegativeCountsAnswerZeroWithoutDraw) {
  CLandUse lu;
  for (int n : {1, 0, -1, -1000}) {
    int got = -7;
    EXPECT_TRUE(TakesNoDraw([&] { got = lu.GetRealLength(n); })) << n;
    EXPECT_EQ(got, 0) << n;
  }
  lu.m_nMaxLength = 1;
  EXPECT_EQ(lu.GetRealLength(), 0);
}

TEST(LandUseLength, TwoCandidatesAlwaysGiveOneWithOneDraw) {
  CLandUse lu;  // linear: weights 1 and 0.5, per mille 666 for the only entry
  for (unsigned seed = 1; seed < 30; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetRealLength(2); },
        [] { return ReplayMaxIndex({666}) + 1; });
  lu.m_nMaxLength = 2;
  for (unsigned seed = 1; seed < 10; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetRealLength(); },
        [] { return ReplayMaxIndex({666}) + 1; });
}

TEST(LandUseLength, DefaultsDrawAmongFourLengthsWithTheTruncatedPerMille) {
  CLandUse lu;
  std::vector<int> seen(6, 0);
  for (unsigned seed = 1; seed < 400; ++seed) {
    SeedRandom(seed);
    const int len = lu.GetRealLength();
    ASSERT_GE(len, 1);
    ASSERT_LE(len, 4);  // 5 is never drawn
    ++seen[static_cast<std::size_t>(len)];
    CheckAgainstReplay(
        seed, [&] { return lu.GetRealLength(); },
        [] { return ReplayMaxIndex({333, 266, 199, 133}) + 1; });
  }
  EXPECT_GT(seen[1], 0);
  EXPECT_GT(seen[2], 0);
}

TEST(LandUseLength, LinearLawDoesNotScaleTheWeights) {
  // A = 2, n = 4: weights 1, 0.5, 0, -0.5, sum 1: per mille 1000, 500, 0.
  // The zero entry takes no draw, so two draws in all.
  CLandUse lu;
  lu.m_dDensityScale = 2.0;
  for (unsigned seed = 1; seed < 40; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetRealLength(4); },
        [] { return ReplayMaxIndex({1000, 500, 0}) + 1; });
}

TEST(LandUseLength, ExponentialPowerAndCombinedLaws) {
  CLandUse exponential;  // 1, 1/2, 1/4, 1/8: sum 1.875
  exponential.m_nDensityType = 1;
  exponential.m_dDensityRate = std::log(2.0);
  CLandUse power;  // C = -1: weights 1, 2, 3: sum 6
  power.m_nDensityType = 2;
  power.m_dDensityPower = -1.0;
  CLandUse combined;  // 1, 1/4, 1/12, 1/32: sum 1.364583...
  combined.m_nDensityType = 3;
  combined.m_dDensityPower = 1.0;
  combined.m_dDensityRate = std::log(2.0);
  for (unsigned seed = 1; seed < 40; ++seed) {
    CheckAgainstReplay(
        seed, [&] { return exponential.GetRealLength(4); },
        [] { return ReplayMaxIndex({533, 266, 133}) + 1; });
    CheckAgainstReplay(
        seed, [&] { return power.GetRealLength(3); },
        [] { return ReplayMaxIndex({166, 333}) + 1; });
    CheckAgainstReplay(
        seed, [&] { return combined.GetRealLength(4); },
        [] { return ReplayMaxIndex({732, 183, 61}) + 1; });
  }
}

TEST(LandUseLength, ScaleFactorCancelsInTheExponentialLaw) {
  CLandUse a, b;
  a.m_nDensityType = b.m_nDensityType = 1;
  a.m_dDensityScale = 1.0;
  b.m_dDensityScale = 7.0;
  for (unsigned seed = 1; seed < 30; ++seed) {
    SeedRandom(seed);
    const int la = a.GetRealLength(6);
    SeedRandom(seed);
    EXPECT_EQ(b.GetRealLength(6), la) << seed;
  }
}

TEST(LandUseLength, UndefinedWeightsDrawOverZeroEntries) {
  // Every such table answers index 0 of n - 1 zero weights: length 1, and a
  // zero weight takes no draw.
  CLandUse unknownLaw;
  unknownLaw.m_nDensityType = 7;
  CLandUse negativeSum;  // A = 4, n = 3: 1, -1/3, -5/3: sum -1
  negativeSum.m_dDensityScale = 4.0;
  CLandUse zeroSum;  // A = 0 in the power law: every weight 0
  zeroSum.m_nDensityType = 2;
  zeroSum.m_dDensityScale = 0.0;
  CLandUse notANumber;
  notANumber.m_nDensityType = 1;
  notANumber.m_dDensityRate = std::nan("");
  CLandUse infinite;
  infinite.m_nDensityType = 2;
  infinite.m_dDensityScale = HUGE_VAL;

  for (CLandUse* lu : {&unknownLaw, &negativeSum, &zeroSum, &notANumber, &infinite}) {
    int got = -1;
    EXPECT_TRUE(TakesNoDraw([&] { got = lu->GetRealLength(3); }));
    EXPECT_EQ(got, 1);
    EXPECT_TRUE(TakesNoDraw([&] { got = lu->GetRealLength(); }));
    EXPECT_EQ(got, 1);
  }
}

TEST(LandUseLength, HugePerMilleIsHeldInsideTheIntRange) {
  // A = 3.999999, n = 2: weights 1 and 1 - A/2, sum 2 - A/2 barely above 0:
  // the first per mille is far beyond the int range and is held at its top.
  CLandUse lu;
  lu.m_dDensityScale = 3.999999999;
  for (unsigned seed = 1; seed < 10; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetRealLength(2); },
        [] { return ReplayMaxIndex({2147483647}) + 1; });
}

TEST(LandUseLength, LongCandidateTablesDrawLikeShortOnes) {
  // The power law with C = 0 gives n equal weights: per mille trunc(1000/n).
  CLandUse lu;
  lu.m_nDensityType = 2;
  lu.m_dDensityPower = 0.0;
  for (int n : {100, 256, 257, 258, 300, 1500}) {
    const std::vector<int> weights(static_cast<std::size_t>(n - 1), 1000 / n);
    for (unsigned seed = 3; seed < 6; ++seed)
      CheckAgainstReplay(
          seed, [&] { return lu.GetRealLength(n); },
          [&] { return ReplayMaxIndex(weights) + 1; });
  }
}

TEST(LandUseLength, ManyCandidatesWithZeroPerMilleTakeNoDraw) {
  CLandUse lu;  // linear: every per mille truncates to 0 for a long table
  int got = -1;
  EXPECT_TRUE(TakesNoDraw([&] { got = lu.GetRealLength(100000); }));
  EXPECT_EQ(got, 1);
}

// --- directions, land-use choice, policy -------------------------------

TEST(LandUseChoice, DirectionDrawsEightWeightsInOrder) {
  CLandUse lu;
  for (unsigned seed = 1; seed < 50; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetRealDirection(); },
        [] { return ReplayMaxIndex({125, 125, 125, 125, 125, 125, 125, 125}); });
  const int street[8] = {150, 100, 150, 100, 150, 100, 150, 100};
  std::copy(street, street + 8, lu.m_nDirectionProb);
  for (unsigned seed = 1; seed < 50; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetRealDirection(); },
        [&] { return ReplayMaxIndex(std::vector<int>(street, street + 8)); });

  for (int& w : lu.m_nDirectionProb) w = 0;
  int got = -1;
  EXPECT_TRUE(TakesNoDraw([&] { got = lu.GetRealDirection(); }));
  EXPECT_EQ(got, 0);
}

TEST(LandUseChoice, ProbLandUsePicksAmongHouseIndustryCommerce) {
  CLandUse lu;
  for (unsigned seed = 1; seed < 50; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetProbLandUse(); },
        [] { return static_cast<LandUseCategory>(ReplayMaxIndex({33, 33, 33}) + 3); });

  lu.m_nLandUseProb[0] = 0;
  lu.m_nLandUseProb[1] = 0;
  lu.m_nLandUseProb[2] = 1;
  for (unsigned seed = 1; seed < 20; ++seed)
    CheckAgainstReplay(
        seed, [&] { return lu.GetProbLandUse(); }, [] {
          RandomDraw();  // the weight 1 takes its draw
          return Commerce;
        });

  lu.m_nLandUseProb[2] = 0;
  LandUseCategory got = Others;
  EXPECT_TRUE(TakesNoDraw([&] { got = lu.GetProbLandUse(); }));
  EXPECT_EQ(got, House);
}

TEST(LandUseChoice, PolicyTakesOneDrawAndComparesWithThePercentage) {
  CLandUse lu;
  for (int policy : {100, 0, 50, 1, -5, 250}) {
    lu.m_nPolicy = policy;
    for (unsigned seed = 1; seed < 40; ++seed)
      CheckAgainstReplay(
          seed, [&] { return lu.CheckPolicy(); },
          [&] { return ReplayRandInt(100) <= policy ? 1 : 0; });
  }
  lu.m_nPolicy = 100;
  for (int i = 0; i < 200; ++i) EXPECT_EQ(lu.CheckPolicy(), 1);
  lu.m_nPolicy = 0;
  for (int i = 0; i < 200; ++i) EXPECT_EQ(lu.CheckPolicy(), 0);
}
