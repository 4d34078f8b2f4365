// The layer's message log: counts, capture windows, one-line texts, the handler, worker threads.
#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

#include "io/message_log.h"

using namespace towngrow;
using namespace towngrow::io;

TEST(MessageLog, CountsCapturesOneLineAndRestoresTheHandler) {
  std::string before;
  SetMessageHandler([&](const std::string& t) { before += t + "|"; });
  {
    MessageLog log;
    for (int i = 0; i < 1000; ++i) ShowMessage("a");
    ShowMessage("b");
    log.BeginCapture();
    ShowMessage("The Range is larger!\n Please");
    ShowMessage("Now the system");
    EXPECT_EQ(std::make_pair(log.Counts().at("a"), log.Counts().at("Now the system")),
              std::make_pair(1000L, 1L));
    EXPECT_EQ(std::make_tuple(log.Total(), log.Captured().size()), std::make_tuple(1003, 2u));
    EXPECT_EQ(log.CapturedLine(), "The Range is larger! Please; Now the system");
    EXPECT_EQ(MessageLog::OneLine("  a\r\n\tb  c \n"), "a b c");
  }
  ShowMessage("after");
  EXPECT_EQ(before, "after|");
  SetMessageHandler(nullptr);
}

// Worker threads show messages while the main thread captures its own: every
// message is counted once, and a capture window holds only its thread's.
TEST(MessageLog, CountsEveryThreadAndCapturesPerThread) {
  MessageLog log;
  log.BeginCapture();
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([] {
      for (int i = 0; i < 2500; ++i) ShowMessage("from a worker");
    });
  ShowMessage("mine");
  for (auto& w : workers) w.join();
  EXPECT_EQ(log.Counts().at("from a worker"), 10000);
  EXPECT_EQ(log.Captured(), std::vector<std::string>{"mine"});
}
