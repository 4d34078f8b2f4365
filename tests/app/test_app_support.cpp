// The host's message counter and progress line.
#include <gtest/gtest.h>

#include <string>

#include <towngrow/towngrow.h>

#include "commands/message_log.h"
#include "commands/progress.h"

using towngrow::ShowMessage;
using towngrow::app::MessageLog;
using towngrow::app::ProgressBar;

TEST(MessageLog, CountsEachTextAndRestoresThePreviousHandler) {
  std::string seenBefore;
  towngrow::SetMessageHandler([&](const std::string& t) { seenBefore += t + "|"; });
  {
    MessageLog log;
    for (int i = 0; i < 1000; ++i) ShowMessage("Yes,You have changed the setting,..");
    ShowMessage("Not enough memory!!");
    ShowMessage("Yes,You have changed the setting,..");
    EXPECT_EQ(log.Counts().size(), 2u);
    EXPECT_EQ(log.Counts().at("Yes,You have changed the setting,.."), 1001);
    EXPECT_EQ(log.Counts().at("Not enough memory!!"), 1);
    EXPECT_EQ(log.Total(), 1002);
    EXPECT_EQ(seenBefore, "");  // nothing reaches the earlier handler
  }
  ShowMessage("after");
  EXPECT_EQ(seenBefore, "after|");
  towngrow::SetMessageHandler(nullptr);
}

TEST(MessageLog, CaptureTurnsTheMessagesOfOneCallIntoOneLine) {
  MessageLog log;
  ShowMessage("earlier");
  log.BeginCapture();
  EXPECT_EQ(log.CapturedLine(), "");
  ShowMessage("The Range is larger than the environment!\n Please make a larger environemt first");
  ShowMessage("The Range is larger than the environment!\n Please make a larger environemt first");
  ShowMessage("Now the system can only support integer grid!!");
  EXPECT_EQ(log.Captured().size(), 3u);
  EXPECT_EQ(log.CapturedLine(),
            "The Range is larger than the environment! Please make a larger environemt first; "
            "Now the system can only support integer grid!!");
  EXPECT_EQ(log.Counts().at("earlier"), 1);
  EXPECT_EQ(MessageLog::OneLine("  a\r\n\tb  c \n"), "a b c");
}

TEST(ProgressBar, ShowsStepsRateAndTimeLeft) {
  EXPECT_EQ(ProgressBar::Text(25, 100, 5.0),
            "[#######.......................] 25/100 steps  5.0 steps/s  15s left");
  EXPECT_EQ(ProgressBar::Text(10, 1000, 2.0),
            "[..............................] 10/1000 steps  5.0 steps/s  3m18s left");
  EXPECT_EQ(ProgressBar::Text(1, 100000, 1.0).substr(32),
            " 1/100000 steps  1.0 steps/s  27h46m left");
  EXPECT_EQ(ProgressBar::Text(100, 100, 4.0),
            "[##############################] 100/100 steps  25.0 steps/s  0s left");
  EXPECT_EQ(ProgressBar::Text(0, 100, 0.0),
            "[..............................] 0/100 steps  0.0 steps/s  ? left");
  EXPECT_EQ(ProgressBar::Text(0, 0, 0.0),
            "[##############################] 0/0 steps  0.0 steps/s  0s left");
}
