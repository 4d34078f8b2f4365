// The framework layer: the classic random sequence and its per-thread state,
// the message handler, points and the pointer array.
#include <climits>
#include <thread>

#include "platform/draws.h"
#include "support/scene.h"

using namespace testkit;

TEST(RandomSource, ClassicSequencePerThreadStateAndWrappingSeeds) {
  std::vector<int> fresh;  // a new thread starts at state 1, like seed 1
  std::thread([&] {
    for (int i = 0; i < 5; ++i) fresh.push_back(RandomDraw());
  }).join();
  EXPECT_EQ(fresh, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
  SeedRandom(5);
  const int first = RandomDraw();
  std::thread([] { SeedRandom(77); }).join();  // another thread's seed changes nothing here
  SeedRandom(5);
  EXPECT_EQ(RandomDraw(), first);
  for (unsigned seed : {0u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SeedRandom(seed);
    unsigned state = seed;
    for (int i = 0; i < 3; ++i) {
      state = state * 214013u + 2531011u;
      EXPECT_EQ(RandomDraw(), static_cast<int>((state >> 16) & 0x7FFF)) << seed;
    }
  }
}

TEST(RandomSource, RemaindersByReciprocalEqualTheDivisionForEveryDrawAndSmallDivisor) {
  // Every divisor of the reciprocal table, and some that take the division.
  long wrong = 0;
  for (int w = 1; w < detail::kSmallDivisors; ++w)
    for (int d = 0; d <= 0x7FFF; ++d) wrong += detail::RemainderOf(d, w) != d % w;
  EXPECT_EQ(wrong, 0);
  for (int w : {detail::kSmallDivisors, 32767, 32768, 40000, -1, -3, -1000, INT_MAX, INT_MIN})
    for (int d : {0, 1, 1023, 1024, 32767}) EXPECT_EQ(detail::RemainderOf(d, w), d % w) << w;
}

TEST(Messages, HandlerTakesEveryTextAndAnEmptyOneRestoresStandardError) {
  std::vector<std::string> seen;
  MessageHandler old = SetMessageHandler([&](const std::string& t) { seen.push_back(t); });
  ShowMessage("a\nb");
  MessageHandler mine = SetMessageHandler(old);
  EXPECT_EQ(seen, std::vector<std::string>{"a\nb"});
  mine("x");
  EXPECT_EQ(seen.size(), 2u);
  SetMessageHandler(nullptr);
  testing::internal::CaptureStderr();
  ShowMessage("Not enough memory!!");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Not enough memory!!\n");
}

TEST(Framework, PointsAndArray) {
  EXPECT_TRUE(CPoint() == CPoint(0, 0) && CPoint(1, 2) != CPoint(2, 1));
  CObArray a;
  CObject o1, o2, o3;
  EXPECT_EQ(a.Add(&o1), 0);
  EXPECT_EQ(a.Add(&o2), 1);
  a.SetAt(1, &o3), a[0] = &o2, a.RemoveAt(0);
  EXPECT_EQ(std::make_pair(a.GetSize(), a.GetAt(0)), std::make_pair(1, static_cast<CObject*>(&o3)));
  a.RemoveAll();
  EXPECT_EQ(a.GetSize(), 0);
}
