// The framework layer: the random sequence, its per-thread state, the
// message handler and the pointer array.
#include <gtest/gtest.h>

#include <towngrow/towngrow.h>
#include <thread>
#include <vector>

using namespace towngrow;

TEST(RandomSource, ClassicSequenceAfterSeedOne) {
  SeedRandom(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169};
  for (int e : expected) EXPECT_EQ(RandomDraw(), e);
}

TEST(RandomSource, UnseededThreadStartsAtStateOne) {
  SeedRandom(99);
  RandomDraw();
  int first = -1;
  std::thread t([&] { first = RandomDraw(); });  // fresh thread: state 1
  t.join();
  EXPECT_EQ(first, 41);
}

TEST(RandomSource, ThreadsDoNotShareState) {
  SeedRandom(5);
  std::vector<int> mine;
  for (int i = 0; i < 4; ++i) mine.push_back(RandomDraw());
  SeedRandom(5);
  std::vector<int> other;
  std::thread t([&] {
    SeedRandom(5);
    for (int i = 0; i < 4; ++i) other.push_back(RandomDraw());
  });
  t.join();
  std::vector<int> again;
  for (int i = 0; i < 4; ++i) again.push_back(RandomDraw());
  EXPECT_EQ(mine, other);
  EXPECT_EQ(mine, again);
}

TEST(RandomSource, LargeSeedWrapsLikeTheRuntime) {
  SeedRandom(0xFFFFFFFFu);
  // state = 0xFFFFFFFF * 214013 + 2531011 mod 2^32 = 2317010 -> 35
  EXPECT_EQ(RandomDraw(), static_cast<int>(((0xFFFFFFFFu * 214013u + 2531011u) >> 16) & 0x7FFF));
}

TEST(Messages, HandlerReceivesTextAndIsReplaced) {
  std::vector<std::string> seen;
  MessageHandler old = SetMessageHandler([&](const std::string& t) { seen.push_back(t); });
  ShowMessage("a\nb");
  MessageHandler mine = SetMessageHandler(old);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "a\nb");
  ASSERT_TRUE(static_cast<bool>(mine));
  mine("x");
  EXPECT_EQ(seen.size(), 2u);
}

TEST(Messages, EmptyHandlerRestoresDefaultOnStderr) {
  SetMessageHandler(nullptr);
  testing::internal::CaptureStderr();
  ShowMessage("Not enough memory!!");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Not enough memory!!\n");
}

TEST(Framework, PointsAndArray) {
  EXPECT_EQ(CPoint(), CPoint(0, 0));
  EXPECT_NE(CPoint(1, 2), CPoint(2, 1));
  CObArray a;
  CObject o1, o2, o3;
  EXPECT_EQ(a.Add(&o1), 0);
  EXPECT_EQ(a.Add(&o2), 1);
  a.SetAt(1, &o3);
  EXPECT_EQ(a.GetAt(1), &o3);
  a[0] = &o2;
  a.RemoveAt(0);
  EXPECT_EQ(a.GetSize(), 1);
  EXPECT_EQ(a.GetAt(0), &o3);
  a.RemoveAll();
  EXPECT_EQ(a.GetSize(), 0);
}
