// The land-use base class: defaults, accessors, and the random choices it
// grows with. Expected draws are computed by replaying the generator.
#include <climits>
#include <cmath>
#include <tuple>

#include "support/scene.h"

using namespace testkit;

namespace {

// Runs op for a few seeds against the replayed expectation; both must agree
// and so must the next draw (the same number of draws).
template <typename Op, typename Expect>
void CheckAgainstReplay(Op op, Expect expect, unsigned seeds = 12) {
  for (unsigned seed = 1; seed <= seeds; ++seed) {
    Replay rp(seed, 4096);
    const auto want = expect(rp);
    EXPECT_EQ(op(), want) << "seed " << seed;
    EXPECT_TRUE(rp.DrawsMatch()) << "draw count differs, seed " << seed;
  }
}

}  // namespace

TEST(LandUseBase, DefaultsAccessorsCategoryWordsAndTheDensityCopy) {
  CLandUse lu;
  // Max length, density law, scale, rate, power; ages, radius, policy.
  const auto density = [](const CLandUse& l) {
    return std::make_tuple(l.m_nMaxLength, l.m_nDensityType, l.m_dDensityScale, l.m_dDensityRate,
                           l.m_dDensityPower);
  };
  const auto others = [](const CLandUse& l) {
    return std::make_tuple(l.m_ID, l.m_nActiveAge, l.m_nInactivePeriod, l.m_nDeadAge,
                           l.m_nNeighborRadius, l.m_nPolicy);
  };
  EXPECT_EQ(density(lu), std::make_tuple(5, 0, 1.0, 2.0, 2.0));
  EXPECT_EQ(others(lu), std::make_tuple(static_cast<unsigned char>(0), 50000, 30, 0, 2, 100));
  EXPECT_EQ(lu.GetLandUseCategory(), Blank);
  EXPECT_EQ(lu.GetColor(), 0xFFFFFFu);
  EXPECT_EQ(lu.GetLandUseName(), "Vacant Land");
  EXPECT_EQ(std::vector<int>(lu.m_nDirectionProb, lu.m_nDirectionProb + 8),
            std::vector<int>(8, 125));
  EXPECT_EQ(std::vector<int>(lu.m_nLandUseProb, lu.m_nLandUseProb + 3), std::vector<int>(3, 33));

  CLandUse source;  // only the five density parameters are copied
  source.m_nMaxLength = 9;
  source.m_nDensityType = 3;
  source.m_dDensityScale = 0.5;
  source.m_dDensityRate = 0.25;
  source.m_dDensityPower = 1.5;
  source.m_nActiveAge = 7;
  source.m_nNeighborRadius = 4;
  source.m_nPolicy = 3;
  source.m_ID = 11;
  EXPECT_EQ(lu.SetDensityFromOther(nullptr), 0);
  EXPECT_EQ(lu.SetDensityFromOther(&source), 1);
  EXPECT_EQ(density(lu), density(source));
  EXPECT_EQ(others(lu), std::make_tuple(static_cast<unsigned char>(0), 50000, 30, 0, 2, 100));

  EXPECT_EQ(lu.SetID(200) + lu.SetColor(0x123456u) + lu.SetLandUseName("Park") +
                lu.SetLandUseCategory(Industry),
            4);
  EXPECT_EQ(lu.m_ID, 200);
  EXPECT_EQ(lu.GetColor(), 0x123456u);
  EXPECT_EQ(lu.m_strLandUseName, "Park");
  EXPECT_EQ(lu.m_LandUseCategory, Industry);
  const char* words[] = {"Blank",    "StreetNode", "StreetVertex", "House",
                         "Industry", "Commerce",   "Others"};
  for (int c = -1; c <= 9; ++c) {
    lu.m_LandUseCategory = static_cast<LandUseCategory>(c);
    EXPECT_EQ(lu.GetCategoryString(), c >= 0 && c <= 6 ? words[c] : "Others") << c;
  }
}

TEST(LandUseBase, BaseDevelopChangesNothingAndDrawsNothing) {
  Scene s(6, 7);
  s.cur.SetCoverageAge(4);
  s.Start();
  CLandUse lu;
  Replay rp(4);
  EXPECT_EQ(lu.Develop(&s.cur, 2, 3, &s.next), 1);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_TRUE(s.SameExcept({}));
}

TEST(LandUseLength, EachLawDrawsOverItsTruncatedPerMille) {
  // Candidate lengths 1..n-1 weighted by the density law, turned into per
  // mille of their sum and truncated; a zero per mille takes no draw. Fewer
  // than two candidates answer 0; a negative sum gives entries of either
  // sign, each nonzero one drawing; an unknown law, a zero sum, NaN or
  // infinity weigh every candidate 0 (length 1, no draw).
  struct Case {
    const char* law;
    int type;
    double scale, rate, power;
    int maxLength, n;  // n: kOwn for the land use's own m_nMaxLength
    std::vector<int> perMille;
  };
  const int kOwn = INT_MIN;
  const double ln2 = std::log(2.0), nan = std::nan("");
  const std::vector<int> zeros2(2, 0), zeros4(4, 0);
  const Case cases[] = {
      {"linear, two candidates", 0, 1.0, 2.0, 2.0, 5, 2, {666}},
      {"linear, defaults", 0, 1.0, 2.0, 2.0, 5, kOwn, {333, 266, 199, 133}},
      {"linear, scale 2 not rescaled", 0, 2.0, 2.0, 2.0, 5, 4, {1000, 500, 0}},
      {"exponential", 1, 1.0, ln2, 2.0, 5, 4, {533, 266, 133}},
      {"power, C = -1", 2, 1.0, 2.0, -1.0, 5, 3, {166, 333}},
      {"combined", 3, 1.0, ln2, 1.0, 5, 4, {732, 183, 61}},
      {"per mille held at the int top", 0, 3.999999999, 2.0, 2.0, 5, 2, {2147483647}},
      {"power, C = 0, 257 equal weights", 2, 1.0, 2.0, 0.0, 5, 257, std::vector<int>(256, 3)},
      {"power, C = 0, 1500 equal weights", 2, 1.0, 2.0, 0.0, 5, 1500, std::vector<int>(1499, 0)},
      {"linear, 100000 candidates", 0, 1.0, 2.0, 2.0, 5, 100000, std::vector<int>(99999, 0)},
      {"one candidate", 0, 1.0, 2.0, 2.0, 5, 1, {}},
      {"no candidate", 0, 1.0, 2.0, 2.0, 5, 0, {}},
      {"negative count", 0, 1.0, 2.0, 2.0, 5, -1000, {}},
      {"own maximum 1", 0, 1.0, 2.0, 2.0, 1, kOwn, {}},
      {"unknown law", 7, 1.0, 2.0, 2.0, 5, 3, zeros2},
      {"unknown law, own maximum", 7, 1.0, 2.0, 2.0, 5, kOwn, zeros4},
      {"negative sum", 0, 4.0, 2.0, 2.0, 5, 3, {-1000, 333}},
      {"negative sum, scale 3", 0, 3.0, 2.0, 2.0, 5, kOwn, {-1000, -400, 199, 800}},
      {"negative scale", 1, -2.0, 0.5, 2.0, 5, kOwn, {428, 259, 157, 95}},
      {"zero sum", 2, 0.0, 2.0, 2.0, 5, kOwn, zeros4},
      {"NaN", 1, 1.0, nan, 2.0, 5, 3, zeros2},
      {"infinite", 2, HUGE_VAL, 2.0, 2.0, 5, kOwn, zeros4},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.law);
    CLandUse lu;
    lu.m_nDensityType = k.type;
    lu.m_dDensityScale = k.scale;
    lu.m_dDensityRate = k.rate;
    lu.m_dDensityPower = k.power;
    lu.m_nMaxLength = k.maxLength;
    CheckAgainstReplay([&] { return k.n == kOwn ? lu.GetRealLength() : lu.GetRealLength(k.n); },
                       [&](Replay& rp) { return rp.MaxIndex(k.perMille) + 1; }, 6);
  }
  CLandUse a, b;  // the scale cancels in the exponential law
  a.m_nDensityType = b.m_nDensityType = 1;
  b.m_dDensityScale = 7.0;
  for (unsigned seed = 1; seed < 10; ++seed) {
    SeedRandom(seed);
    const int la = a.GetRealLength(6);
    SeedRandom(seed);
    EXPECT_EQ(b.GetRealLength(6), la) << seed;
  }
}

TEST(LandUseLength, RandomLawsDrawAsThePlainAlgorithmNegativeSumsIncluded) {
  // Value and generator state after each call, twice per law (computed,
  // then cached), over short, stack-sized and long candidate tables.
  std::mt19937 g(18);
  int negative = 0, zero = 0;
  for (int k = 0; k < 3000; ++k) {
    CLandUse lu;
    RandomLaw(g, lu);
    const int n = k % 10 == 0 ? static_cast<int>(g() % 400) : static_cast<int>(g() % 42) - 2;
    const std::vector<int> pm = LengthPerMille(lu, n);
    negative += std::any_of(pm.begin(), pm.end(), [](int p) { return p < 0; });
    zero += !pm.empty() && std::all_of(pm.begin(), pm.end(), [](int p) { return p == 0; });
    for (unsigned seed : {k + 1u, k + 2u}) {
      Replay rp(seed, 1024);
      const int want = n <= 1 ? 0 : rp.MaxIndex(pm) + 1;
      ASSERT_EQ(lu.GetRealLength(n), want) << "case " << k << " law " << lu.m_nDensityType
                                           << " scale " << lu.m_dDensityScale << " n " << n;
      ASSERT_TRUE(rp.DrawsMatch()) << "case " << k;
    }
  }
  EXPECT_GT(negative, 200);
  EXPECT_GT(zero, 100);
  CLandUse example;  // linear, scale 3, n 5: four draws, and 3 after seed 1
  example.m_dDensityScale = 3;
  Replay rp(1);
  EXPECT_EQ(example.GetRealLength(), 3);
  rp.Skip(4);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(LandUseChoice, DirectionAndLandUseDrawTheirWeightsInOrder) {
  CLandUse lu;
  CheckAgainstReplay([&] { return lu.GetRealDirection(); },
                     [](Replay& rp) { return rp.MaxIndex(std::vector<int>(8, 125)); });
  const std::vector<int> street = {150, 100, 150, 100, 150, 100, 150, 100};
  std::copy(street.begin(), street.end(), lu.m_nDirectionProb);
  CheckAgainstReplay([&] { return lu.GetRealDirection(); },
                     [&](Replay& rp) { return rp.MaxIndex(street); });
  CheckAgainstReplay([&] { return lu.GetProbLandUse(); },
                     [](Replay& rp) {
                       return static_cast<LandUseCategory>(rp.MaxIndex({33, 33, 33}) + 3);
                     });
  SetWeights(lu.m_nLandUseProb, 0, 0, 1);
  CheckAgainstReplay([&] { return lu.GetProbLandUse(); },
                     [](Replay& rp) {
                       return static_cast<LandUseCategory>(rp.MaxIndex({0, 0, 1}) + 3);
                     });

  for (int& w : lu.m_nDirectionProb) w = 0;  // all weights zero: index 0, no draw
  SetWeights(lu.m_nLandUseProb, 0, 0, 0);
  Replay rp(7);
  EXPECT_EQ(lu.GetRealDirection(), 0);
  EXPECT_EQ(lu.GetProbLandUse(), House);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(LandUseChoice, PolicyTakesOneDrawAndComparesWithThePercentage) {
  CLandUse lu;
  for (int policy : {100, 0, 50, 1, -5, 250}) {
    lu.m_nPolicy = policy;
    CheckAgainstReplay([&] { return lu.CheckPolicy(); },
                       [&](Replay& rp) { return rp.Int(100) <= policy ? 1 : 0; }, 30);
  }
}
