// The towngrow program against bad input that the other end-to-end tests do
// not cover: files whose header promises a grid that memory cannot hold,
// files that are not grids at all, broken parameter files and binary junk on
// the command line, and writes that fail half-way. Every case ends with exit status 2, one line on
// standard error that starts "towngrow: error: ", nothing on standard output and no output file
// left behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "program_support.h"

#include "../support/sanitizer.h"

namespace fs = std::filesystem;

namespace {

using namespace program_test;

class RobustCli : public program_test::ProgramTest {
protected:
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(work_ / name, std::ios::binary) << bytes;
  }
};

std::string AscHeader(const std::string& ncols, const std::string& nrows) {
  return "ncols " + ncols + "\r\nnrows " + nrows +
         "\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 30\r\n";
}

TEST_F(RobustCli, AHeaderThatPromisesMoreThanMemoryHoldsIsRefused) {
#ifdef TOWNGROW_ASAN
  GTEST_SKIP() << "address-space limits and the address sanitizer do not mix";
#endif
  // Three short rows, but the header asks for 10000 x 10000 cells: the
  // converter sizes its coverage from the header and cannot have 300 MB.
  Write("big.asc", AscHeader("10000", "10000") + "1 2 3 \r\n4 5 6 \r\n");
  ExpectBadInput("convert big.asc out.asc", "not enough memory for a grid of 10000 x 10000 cells",
                 {"big.asc"}, "ulimit -v 250000; ");
  ExpectBadInput("info big.asc", "not enough memory for a grid of 10000 x 10000 cells", {"big.asc"},
                 "ulimit -v 250000; ");
}

TEST_F(RobustCli, AWriteThatFailsHalfWayLeavesNoOutputFile) {
  // A file-size limit of 64 kB makes the writes fail with EFBIG (the signal
  // it would raise is ignored): the 200 x 200 grid needs 560 kB as E00.
  std::string grid = AscHeader("200", "200");
  for (int r = 0; r < 200; ++r) {
    for (int c = 0; c < 200; ++c) grid += std::to_string((r + c) % 7) + " ";
    grid += "\r\n";
  }
  Write("g.asc", grid);
  ExpectBadInput("convert g.asc out.e00", "out.e00: write error", {"g.asc"},
                 "trap '' XFSZ; ulimit -f 128; ");
  // A run writes its folder, but no file in it.
  ExpectBadInput("run --rows 300 --cols 300 --steps 2 --out o", "write error", {"g.asc", "o"},
                 "trap '' XFSZ; ulimit -f 128; ");
  EXPECT_TRUE(fs::is_empty(work_ / "o"));
}

TEST_F(RobustCli, GridFilesThatCannotBeGridsAreRefused) {
  Write("neg.asc", AscHeader("-5", "-2147483648") + "1 2 3\r\n");
  Write("huge.asc", AscHeader("99999999999999999999", "5") + "1 2 3\r\n");
  Write("zero.e00", "EXP  0\r\nGRD  2\r\n0 0 1 0\r\n\r\n\r\n\r\nEOG\r\n");
  Write("float.e00", "EXP  0\r\nGRD  2\r\n5 5 2 0\r\n\r\n\r\n\r\nEOG\r\n");
  Write("nul.asc", std::string("\0\0\0\0ncols", 9) + std::string(100, '\0'));
  Write("empty.asc", "");
  for (const char* in : {"neg.asc", "huge.asc", "zero.e00", "float.e00", "nul.asc", "empty.asc"})
    ExpectBadInput(std::string("convert ") + in + " out.asc", in,
                   {"neg.asc", "huge.asc", "zero.e00", "float.e00", "nul.asc", "empty.asc"});
}

TEST_F(RobustCli, BrokenParameterFilesAreRefusedNamingTheFile) {
  Write("overflow.json", R"({"landUses": [{"id": 3, "activeAge": 1e999}]})");
  // A number of a million digits: the parser's text quotes it; the error
  // line keeps its start only.
  Write("long.json",
        R"({"landUses": [{"id": 3, "activeAge": 1)" + std::string(1000000, '0') + "e999}]}");
  Write("deep.json", std::string(100000, '[') + std::string(100000, ']'));
  Write("nul.json", std::string("{\"landUses\": [\0]}", 17));
  Write("utf8.json", "{\"landUses\": [{\"id\": 3, \"name\": \"\xff\xfe\"}]}");
  const std::vector<std::string> inputs = {"overflow.json", "long.json", "deep.json", "nul.json",
                                           "utf8.json"};
  const std::set<std::string> all(inputs.begin(), inputs.end());
  for (const auto& p : inputs) ExpectBadInput("run --steps 1 --out o --params " + p, p + ": ", all);
}

TEST_F(RobustCli, AParameterFileOfMoreThanSixteenMegabytesIsRefusedUnread) {
  // One number of 17 MB digits: the JSON parser would hold its text several
  // times over; the file is refused before it is parsed.
  Write("long.json", "{\"landUses\": [{\"id\": " + std::string(17u << 20, '7') + "}]}");
  Write("edge.json", "{\"landUses\": []}" + std::string((16u << 20) - 16, ' '));
  ExpectBadInput("run --steps 1 --out o --params long.json",
                 "long.json: too large for a parameter file (more than 16 MB)",
                 {"long.json", "edge.json"});
  // Exactly 16 MB is still read.
  const Result r = Run("params --params edge.json");
  EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(RobustCli, JunkOnTheCommandLineIsRefused) {
  ExpectBadInput("run --rows 5x --out o", "--rows", {});
  ExpectBadInput("run --rows 99999999999999999999 --out o", "--rows", {});
  ExpectBadInput("run --steps -1 --out o", "--steps", {});
  ExpectBadInput("run --seed abc --out o", "--seed", {});
  ExpectBadInput("convert '' out.asc", "unknown kind of file", {});
  ExpectBadInput("'\xff'", "A subcommand is required", {});
}

}  // namespace
