// Memory that really runs out: a child process lowers its address-space
// limit and asks for the largest coverage, so the cell or the age buffer
// cannot be had without any allocation hook. The child reports what it saw
// through a pipe; the parent checks the message texts, the result 0 and the
// empty coverage, and that the coverage stays usable and safe afterwards
// (an import into it writes nothing, a later small InitCoverage works).
//
// Address-space limits do not mix with the address sanitizer (its shadow
// memory alone exceeds them) nor with valgrind (whose own allocator gives up
// instead of answering null): the tests skip there.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "support/child_process.h"
#include "support/sanitizer.h"

namespace {

using namespace towngrow;

using testkit::InChildWithHeadroom;

// One line per fact, so a failure shows all of them.
std::string Report(int result, const std::vector<std::string>& texts, const CLandUseCoverage& c) {
  std::ostringstream o;
  o << "result " << result << "\n";
  for (const auto& t : texts) o << "message " << t << "\n";
  o << "empty " << c.IsEmpty() << " ages " << (c.m_pCellAge == nullptr ? "none" : "held")
    << " age(0,0) " << c.GetCellAge(0, 0) << " value(0,0) " << int(c.GetCellValue(0, 0)) << "\n";
  return o.str();
}

class RealExhaustion : public testing::Test {
protected:
  void SetUp() override {
#ifdef TOWNGROW_ASAN
    GTEST_SKIP() << "address-space limits and the address sanitizer do not mix";
#endif
    if (testkit::UnderValgrind()) GTEST_SKIP() << "valgrind's allocator does not answer null";
  }
};

constexpr long long kMiB = 1024 * 1024;

// The largest coverage with too little room: 100 MB of cells cannot be had
// with 40 MB to spare; with 160 MB the cells fit but the 200 MB of ages then
// do not, and the coverage lets go of its cells too and stays empty.
TEST_F(RealExhaustion, LargestCoverageWithTooLittleRoom) {
  const struct {
    long long headroom;
    const char* expected;
  } cases[] = {
      {40 * kMiB,
       "result 0\nmessage Not enough memory!!\nempty 1 ages none age(0,0) -100 value(0,0) 0\n"},
      {160 * kMiB,
       "result 0\nmessage Not Enough Memory!!\nempty 1 ages none age(0,0) -100 value(0,0) 0\n"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.headroom / kMiB);
    const std::string got = InChildWithHeadroom(k.headroom, [] {
      std::vector<std::string> texts;
      SetMessageHandler([&](const std::string& t) { texts.push_back(t); });
      CLandUseCoverage c;
      const int result = c.InitCoverage(10000, 10000, 3);
      return Report(result, texts, c);
    });
    EXPECT_EQ(got, k.expected);
  }
}

TEST_F(RealExhaustion, CoverageStaysSafeAndUsableAfterwards) {
  const std::string got = InChildWithHeadroom(40 * kMiB, [] {
    std::vector<std::string> texts;
    SetMessageHandler([&](const std::string& t) { texts.push_back(t); });
    CLandUseCoverage c;
    std::ostringstream o;
    o << c.InitCoverage(10000, 10000, 3) << " ";
    // The shape stays 10000 x 10000 without buffers: a grid that fits that
    // shape is read but nothing is written, and copies hold nothing.
    const std::string file = "/tmp/towngrow_robust_memory_" + std::to_string(getpid()) + ".asc";
    {
      std::ofstream f(file, std::ios::binary);
      f << "ncols 5\r\nnrows 5\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 1\r\n";
      for (int r = 0; r < 5; ++r) f << "1 2 3 4 5 \r\n";
    }
    o << c.ImportASCFile(file, 0) << " " << c.IsEmpty() << " " << c.GetCellAge(4, 4) << " ";
    std::remove(file.c_str());
    CLandUseCoverage* copy = c.Copy();
    o << (copy != nullptr && copy->IsEmpty()) << " ";
    delete copy;
    o << c.InitCoverage(6, 7, 2) << " " << c.GetCellAge(5, 6) << " " << texts.size();
    return o.str();
  });
  // Failed init, import answered 1 and stored nothing, empty copy, then a
  // small coverage works; one message in all.
  EXPECT_EQ(got, "0 1 1 -100 1 1 2 1");
}

}  // namespace
