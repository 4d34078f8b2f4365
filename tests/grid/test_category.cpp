// The draws every rule takes (a uniform draw, the largest draw over
// weights), the number-to-category map and the share count of a square.
#include <climits>

#include "support/scene.h"

using namespace testkit;

TEST(Draws, UniformDrawAndLargestDrawOverWeightsAgainstTheReplay) {
  // A bound of 0 takes no draw, a negative one acts as its magnitude, the
  // most negative int draws over INT_MAX.
  for (int n : {0, 1, 3, -3, 50030, INT_MIN})
    for (unsigned seed = 1; seed <= 30; ++seed) {
      Replay rp(seed);
      const int want = n == 0 ? 0 : rp.Draw() % (n == INT_MIN ? INT_MAX : std::abs(n)) + 1;
      EXPECT_EQ(RandInt(n), want) << n << " seed " << seed;
      EXPECT_TRUE(rp.DrawsMatch()) << n;
    }
  // The largest draw wins, ties go to the earlier weight, a zero weight
  // draws nothing and counts 0, a negative one draws over its magnitude.
  const std::vector<std::vector<int>> weights = {
      {4, 0, 9, 9, -6, 2}, {0, 0, 0}, {0, 5}, {1, 1}, {150, 100, 150, 100, 150, 100, 150, 100}};
  for (const auto& w : weights)
    for (unsigned seed = 1; seed <= 20; ++seed) {
      Replay rp(seed);
      EXPECT_EQ(GetMaxIndex(w.data(), static_cast<int>(w.size())), rp.MaxIndex(w)) << seed;
      EXPECT_TRUE(rp.DrawsMatch()) << seed;
    }
  Replay rp(9);
  EXPECT_EQ(GetMaxIndex(weights[0].data(), 0) + GetMaxIndex(weights[0].data(), -4) +
                GetMaxIndex(nullptr, 2),
            -3);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(Category, IntToCategoryAndShareCountRoundingHalfUpCuttingTowardZeroWrapping) {
  for (int i = -1; i <= 7; ++i)
    EXPECT_EQ(IntToCategory(i), i >= 0 && i <= 5 ? static_cast<LandUseCategory>(i) : Others) << i;
  EXPECT_EQ(IntToCategory(INT_MIN), Others);
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
