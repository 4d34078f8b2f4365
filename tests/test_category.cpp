// The random primitives every rule draws through, the number-to-category
// map and the share count of a square neighbourhood.
#include <climits>

#include "support/scene.h"

using namespace testkit;

TEST(RandomPrimitives, RandIntSequenceAndBoundsGetMaxIndexOrderAndTies) {
  SeedRandom(1);  // the draws 41, 18467, 6334, 26500, 19169
  for (int expected : {2, 8, 5, 1, 10}) EXPECT_EQ(RandInt(10), expected);
  // 0: no draw; 1: always 1 with a draw; bounds beyond 32767 and the most
  // negative int give the draw plus one; a negative bound acts as its magnitude.
  for (int n : {0, 1, 3, -3, 50030, 32768, INT_MIN}) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
      Replay rp(seed);
      const int m = n == INT_MIN ? INT_MAX : (n < 0 ? -n : n);
      const int expected = n == 0 ? 0 : (n == INT_MIN ? rp.Draw() + 1 : rp.Draw() % m + 1);
      EXPECT_EQ(RandInt(n), expected) << n << " seed " << seed;
      EXPECT_TRUE(rp.DrawsMatch()) << n;
    }
  }
  // GetMaxIndex: the largest draw wins, ties go to the earlier weight, zero
  // weights draw nothing.
  const int w[] = {4, 0, 9, 9, -6, 2};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Replay rp(seed);
    const int expected = rp.MaxIndex({4, 0, 9, 9, -6, 2});
    EXPECT_EQ(GetMaxIndex(w, 6), expected) << "seed " << seed;
    EXPECT_TRUE(rp.DrawsMatch()) << "seed " << seed;
  }
  const int zeros[] = {0, 0, 0}, zeroFive[] = {0, 5}, ones[] = {1, 1};
  Replay rp(9);
  EXPECT_EQ(GetMaxIndex(w, 0), -1);  // no weights: no index
  EXPECT_EQ(GetMaxIndex(w, -4), -1);
  EXPECT_EQ(GetMaxIndex(nullptr, 2), -1);
  EXPECT_EQ(GetMaxIndex(zeros, 3), 0);
  EXPECT_EQ(GetMaxIndex(zeroFive, 2), 1);  // one draw
  EXPECT_EQ(GetMaxIndex(ones, 2), 0);      // two draws, both 1: the earlier wins
  rp.Skip(3);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(CategoryAndShare, IntToCategoryAndShareCountRoundingHalfUpCuttingTowardZeroWrapping) {
  const LandUseCategory known[] = {Blank,    StreetNode, StreetVertex, House,
                                   Industry, Commerce,   Others};
  for (int i = 0; i <= 6; ++i) EXPECT_EQ(IntToCategory(i), known[i]);
  for (int i : {7, -1, INT_MIN, INT_MAX}) EXPECT_EQ(IntToCategory(i), Others) << i;
  const int cases[][3] = {
      {50, 1, 5},          {10, 2, 3},
      {33, 1, 3},          {20, 1, 2},
      {4, 1, 0},           {0, 7, 0},
      {100, 0, 1},         {100, 3, 49},
      {-50, 1, -4},        {-30, 1, -2},
      {50, -2, 5},         {INT_MAX, 1, 21474836},  // 2147483647 * 9 wraps to 2147483639
      {65536, 32768, 655},                          // 2^16 * 65537^2 wraps to 65536
  };
  for (const auto& k : cases) EXPECT_EQ(ShareCount(k[0], k[1]), k[2]) << k[0] << "% r" << k[1];
}
