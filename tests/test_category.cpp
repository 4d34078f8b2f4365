// The random primitives every rule draws through, the number-to-category
// map and the share count of a square neighbourhood.
#include <gtest/gtest.h>

#include <climits>
#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

namespace {

// The draws that follow a seed, taken from a fresh replay of the generator.
std::vector<int> DrawsAfter(unsigned int seed, int n) {
  SeedRandom(seed);
  std::vector<int> draws;
  for (int i = 0; i < n; ++i) draws.push_back(RandomDraw());
  return draws;
}

}  // namespace

TEST(RandInt, ZeroIsZeroAndLeavesTheGeneratorAlone) {
  const std::vector<int> draws = DrawsAfter(7, 1);
  SeedRandom(7);
  EXPECT_EQ(RandInt(0), 0);
  EXPECT_EQ(RandInt(0), 0);
  EXPECT_EQ(RandomDraw(), draws[0]);
}

TEST(RandInt, ClassicSequenceGivesKnownValues) {
  // After seed 1 the draws are 41, 18467, 6334, 26500, 19169.
  SeedRandom(1);
  EXPECT_EQ(RandInt(10), 2);
  EXPECT_EQ(RandInt(10), 8);
  EXPECT_EQ(RandInt(10), 5);
  EXPECT_EQ(RandInt(10), 1);
  EXPECT_EQ(RandInt(10), 10);
}

TEST(RandInt, OneIsAlwaysOneButTakesADraw) {
  const std::vector<int> draws = DrawsAfter(3, 4);
  SeedRandom(3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(RandInt(1), 1);
  EXPECT_EQ(RandomDraw(), draws[3]);
}

TEST(RandInt, NegativeBoundGivesTheSameRangeAsItsMagnitude) {
  const std::vector<int> draws = DrawsAfter(11, 200);
  SeedRandom(11);
  std::vector<int> negative;
  for (int i = 0; i < 200; ++i) negative.push_back(RandInt(-3));
  SeedRandom(11);
  for (int i = 0; i < 200; ++i) {
    const int positive = RandInt(3);
    EXPECT_EQ(negative[static_cast<std::size_t>(i)], positive);
    EXPECT_GE(positive, 1);
    EXPECT_LE(positive, 3);
  }
}

TEST(RandInt, BoundsBeyondTheGeneratorRangeGiveTheDrawPlusOne) {
  // 50030 (the age range of vacant land), 32768 and the most negative int
  // all exceed every draw, so the remainder is the draw itself.
  const std::vector<int> draws = DrawsAfter(2024, 3);
  SeedRandom(2024);
  EXPECT_EQ(RandInt(50030), draws[0] + 1);
  EXPECT_EQ(RandInt(32768), draws[1] + 1);
  EXPECT_EQ(RandInt(INT_MIN), draws[2] + 1);
  // Over many draws the result never passes 32768.
  SeedRandom(5);
  for (int i = 0; i < 5000; ++i) {
    const int v = RandInt(50030);
    EXPECT_GE(v, 1);
    EXPECT_LE(v, 32768);
  }
}

TEST(GetMaxIndex, NoWeightsMeansNoIndexAndNoDraw) {
  const std::vector<int> draws = DrawsAfter(9, 1);
  const int w[] = {5, 5};
  SeedRandom(9);
  EXPECT_EQ(GetMaxIndex(w, 0), -1);
  EXPECT_EQ(GetMaxIndex(w, -4), -1);
  EXPECT_EQ(GetMaxIndex(nullptr, 2), -1);
  EXPECT_EQ(RandomDraw(), draws[0]);
}

TEST(GetMaxIndex, ZeroWeightsDrawNothingAndTheFirstWins) {
  const std::vector<int> draws = DrawsAfter(13, 1);
  const int zeros[] = {0, 0, 0};
  SeedRandom(13);
  EXPECT_EQ(GetMaxIndex(zeros, 3), 0);
  EXPECT_EQ(RandomDraw(), draws[0]);
}

TEST(GetMaxIndex, ZeroAgainstFiveAndTiesOfOne) {
  const std::vector<int> draws = DrawsAfter(17, 4);
  const int zeroFive[] = {0, 5};
  const int ones[] = {1, 1};
  SeedRandom(17);
  EXPECT_EQ(GetMaxIndex(zeroFive, 2), 1);  // one draw
  EXPECT_EQ(GetMaxIndex(ones, 2), 0);      // two draws, both 1: the earlier wins
  EXPECT_EQ(RandomDraw(), draws[3]);
}

TEST(GetMaxIndex, EveryWeightDrawsInOrderAndTheLargestWins) {
  const int w[] = {4, 0, 9, 9, -6, 2};
  for (unsigned int seed = 1; seed <= 40; ++seed) {
    // Replay: one draw per nonzero weight, in index order.
    SeedRandom(seed);
    int best = -32767;
    int expected = -1;
    for (int i = 0; i < 6; ++i) {
      int d = 0;
      if (w[i] != 0) {
        const int r = RandomDraw();
        const int m = w[i] < 0 ? -w[i] : w[i];
        d = r % m + 1;
      }
      if (d > best) {
        best = d;
        expected = i;
      }
    }
    const int next = RandomDraw();
    SeedRandom(seed);
    EXPECT_EQ(GetMaxIndex(w, 6), expected) << "seed " << seed;
    EXPECT_EQ(RandomDraw(), next) << "seed " << seed;
  }
}

TEST(IntToCategory, KnownValuesAndEverythingElse) {
  EXPECT_EQ(IntToCategory(0), Blank);
  EXPECT_EQ(IntToCategory(1), StreetNode);
  EXPECT_EQ(IntToCategory(2), StreetVertex);
  EXPECT_EQ(IntToCategory(3), House);
  EXPECT_EQ(IntToCategory(4), Industry);
  EXPECT_EQ(IntToCategory(5), Commerce);
  EXPECT_EQ(IntToCategory(6), Others);
  EXPECT_EQ(IntToCategory(7), Others);
  EXPECT_EQ(IntToCategory(-1), Others);
  EXPECT_EQ(IntToCategory(INT_MIN), Others);
  EXPECT_EQ(IntToCategory(INT_MAX), Others);
}

TEST(ShareCount, RoundsHalfUpOfThePercentOfTheSquare) {
  EXPECT_EQ(ShareCount(50, 1), 5);   // 4.5 -> 5
  EXPECT_EQ(ShareCount(10, 2), 3);   // 2.5 -> 3
  EXPECT_EQ(ShareCount(33, 1), 3);   // 2.97 -> 3
  EXPECT_EQ(ShareCount(20, 1), 2);   // 1.8 -> 2
  EXPECT_EQ(ShareCount(4, 1), 0);    // 0.36 -> 0
  EXPECT_EQ(ShareCount(0, 7), 0);
  EXPECT_EQ(ShareCount(100, 0), 1);
  EXPECT_EQ(ShareCount(100, 3), 49);
}

TEST(ShareCount, NegativeValuesAreCutTowardZero) {
  EXPECT_EQ(ShareCount(-50, 1), -4);  // -4.5 + 0.5 = -4.0
  EXPECT_EQ(ShareCount(-30, 1), -2);  // -2.7 + 0.5 = -2.2 -> -2
  EXPECT_EQ(ShareCount(50, -2), 5);   // (2 * -2 + 1)^2 = 9
}

TEST(ShareCount, TheProductWrapsInThirtyTwoBits) {
  // 2147483647 * 9 = 19327352823, which is 2147483639 modulo 2^32.
  EXPECT_EQ(ShareCount(INT_MAX, 1), 21474836);
  // 65536 * 65537^2 wraps to 65536 (2^16 * (2^32 + 2^17 + 1) mod 2^32).
  EXPECT_EQ(ShareCount(65536, 32768), 655);
}
