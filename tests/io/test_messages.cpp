// The layer's message log (counts, capture windows, one-line texts, the
// handler put back, messages from worker threads) and the parameter-file
// fuzz target's inputs through the parameter reader.
#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

#include "fuzz/params_harness.h"
#include "io/message_log.h"
#include "support/files.h"

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
    EXPECT_EQ(log.Total(), 1003);
    EXPECT_EQ(log.Captured().size(), 2u);
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

// Every file of the corpus and every past failure is either taken or
// refused with one line naming it; a set that took it grows a town and
// writes parameters that read back alike.
TEST(ParamsReader, FuzzInputsAreTakenOrRefusedCleanly) {
  const testkit::fs::path fuzz =
      testkit::fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";
  int files = 0;
  for (const char* kind : {"corpus", "regressions"})
    for (const auto& f : testkit::FilesIn(fuzz / kind / "params")) {
      const std::string bytes = testkit::ReadAll(f);
      EXPECT_EQ(towngrow_fuzz::CheckParamsInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size()),
                "")
          << f;
      ++files;
    }
  EXPECT_GT(files, 10);
}
