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

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "support/sanitizer.h"

namespace {

using namespace towngrow;

bool UnderValgrind() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

// Virtual size of this process in bytes, from /proc/self/status.
long long VirtualSize() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmSize:", 0) == 0) return std::atoll(line.c_str() + 7) * 1024;
  return -1;
}

// Runs `body` in a child whose address space may grow by `headroom` bytes
// at most; answers what the body wrote, or a text starting "child:" when the
// child did not end normally.
template <class F>
std::string InChildWithHeadroom(long long headroom, F body) {
  int fds[2];
  if (pipe(fds) != 0) return "child: no pipe";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const long long base = VirtualSize();
    rlimit lim{};
    lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(base + headroom);
    std::string out = base < 0 || setrlimit(RLIMIT_AS, &lim) != 0 ? std::string("child: no limit") : body();
    const ssize_t n = write(fds[1], out.data(), out.size());
    _exit(n == static_cast<ssize_t>(out.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string got;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child: ended abnormally, status " + std::to_string(status);
  return got;
}

// One line per fact, so a failure shows all of them.
std::string Report(int result, const std::vector<std::string>& texts, const CLandUseCoverage& c) {
  std::ostringstream o;
  o << "result " << result << "\n";
  for (const auto& t : texts) o << "message " << t << "\n";
  o << "empty " << c.IsEmpty() << " ages " << (c.m_pCellAge == nullptr ? "none" : "held") << " age(0,0) "
    << c.GetCellAge(0, 0) << " value(0,0) " << int(c.GetCellValue(0, 0)) << "\n";
  return o.str();
}

class RealExhaustion : public testing::Test {
protected:
  void SetUp() override {
#ifdef TOWNGROW_ASAN
    GTEST_SKIP() << "address-space limits and the address sanitizer do not mix";
#endif
    if (UnderValgrind()) GTEST_SKIP() << "valgrind's allocator does not answer null";
  }
};

constexpr long long kMiB = 1024 * 1024;

TEST_F(RealExhaustion, CellBufferOfTheLargestCoverage) {
  // 100 MB of cells cannot be had with 40 MB to spare.
  const std::string got = InChildWithHeadroom(40 * kMiB, [] {
    std::vector<std::string> texts;
    SetMessageHandler([&](const std::string& t) { texts.push_back(t); });
    CLandUseCoverage c;
    const int result = c.InitCoverage(10000, 10000, 3);
    return Report(result, texts, c);
  });
  EXPECT_EQ(got, "result 0\nmessage Not enough memory!!\nempty 1 ages none age(0,0) -100 value(0,0) 0\n");
}

TEST_F(RealExhaustion, AgeBufferAfterTheCellBufferWasHad) {
  // 100 MB of cells fit in 160 MB, the 200 MB of ages then do not; the
  // coverage lets go of its cells too and stays empty.
  const std::string got = InChildWithHeadroom(160 * kMiB, [] {
    std::vector<std::string> texts;
    SetMessageHandler([&](const std::string& t) { texts.push_back(t); });
    CLandUseCoverage c;
    const int result = c.InitCoverage(10000, 10000, 3);
    return Report(result, texts, c);
  });
  EXPECT_EQ(got, "result 0\nmessage Not Enough Memory!!\nempty 1 ages none age(0,0) -100 value(0,0) 0\n");
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
