// Inputs beyond what the readers' own tests feed them: lines of 100 MB,
// read by a child process that cannot even hold such a line, and imports
// into a coverage that has its shape but no buffers (after Free, or after
// its memory ran out).
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

#include <towngrow/towngrow.h>

#include "support/child_process.h"
#include "support/sanitizer.h"
#include "test_format_support.h"

namespace fs = std::filesystem;
using namespace towngrow;

namespace {

constexpr std::size_t kHundredMB = 100u * 1000u * 1000u;

// Writes head, then `digits` digits 1234567890 repeated, then tail.
std::string WriteDigits(const std::string& path, const std::string& head, std::size_t digits,
                        const std::string& tail) {
  std::ofstream out(path, std::ios::binary);
  out << head;
  std::string block;
  for (int i = 0; i < 100000; ++i) block += "1234567890";
  for (std::size_t left = digits; left > 0;) {
    const std::size_t n = left < block.size() ? left : block.size();
    out.write(block.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  out << tail;
  return path;
}

// Result, then the ID and age of every cell of the first two rows, and
// whether the rest is still 9 with age 50.
std::string Outcome(int result, const CLandUseCoverage& c) {
  std::string s = std::to_string(result) + ":";
  for (int r = 0; r < 2; ++r)
    for (int col = 0; col < c.m_nCols; ++col)
      s +=
          " " + std::to_string(c.GetCellValue(r, col)) + "/" + std::to_string(c.GetCellAge(r, col));
  bool rest = true;
  for (int r = 2; r < c.m_nRows; ++r)
    for (int col = 0; col < c.m_nCols; ++col)
      rest = rest && c.GetCellValue(r, col) == 9 && c.GetCellAge(r, col) == 50;
  return s + (rest ? " rest kept" : " rest changed");
}

std::string Expected(int result, const std::string& row0, const std::string& row1) {
  return std::to_string(result) + ":" + row0 + row1 + " rest kept";
}

class HundredMegabyteLines : public testing::Test {
protected:
  void SetUp() override {
#ifdef TOWNGROW_ASAN
    GTEST_SKIP() << "address-space limits and the address sanitizer do not mix";
#endif
    if (testkit::UnderValgrind()) GTEST_SKIP() << "100 MB through memcheck takes too long";
  }
  fmt_test::ScratchDir scratch_;
};

// Each reader meets one line of 100 MB of digits in a child that may grow
// by 32 MB only. The digits saturate at INT_MAX, whose low 8 bits are 255.
TEST_F(HundredMegabyteLines, EveryReaderOnALineOfDigits) {
  struct Case {
    const char* file;
    const char* head;
    const char* tail;
    fmt_test::Reader read;
    const char* row0;
    const char* row1;
  };
  const Case cases[] = {
      {"long.asc", "ncols 5\r\nnrows 2\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 3\r\n7 ",
       " 4\r\n1 2 3 4 5 \r\n", &CLandUseCoverage::ImportASCFile, " 7/0 255/0 4/0 9/50 9/50",
       " 1/0 2/0 3/0 4/0 5/0"},
      // A row of 5 columns takes one line; the values the line lacks read 0.
      {"long.e00", "EXP  0\r\nGRD  2\r\n5 2 1 0\r\n\r\n\r\n\r\n  7 ", " 4\r\n1 2 3 4 5\r\nEOG\r\n",
       &CLandUseCoverage::ImportE00File, " 7/0 255/0 4/0 0/0 0/0", " 1/0 2/0 3/0 4/0 5/0"},
      {"long.xya", "0 1 ", "\r\n1 0 3\r\n", &CLandUseCoverage::ImportXYAFile,
       " 9/50 3/0 9/50 9/50 9/50", " 255/0 9/50 9/50 9/50 9/50"},
      // A data file of 100 MB behind a 5 x 2 header: the float grid reads
      // only what the header promises. The digits 1234 as a little-endian
      // float are bytes 31 32 33 34, about 1.67e-7, which truncates to 0.
      {"long.flt", "", "", &CLandUseCoverage::ImportFLTFile, " 0/0 0/0 0/0 0/0 0/0",
       " 0/0 0/0 0/0 0/0 0/0"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    if (k.read == &CLandUseCoverage::ImportFLTFile)
      std::ofstream(scratch_ / "long.hdr", std::ios::binary)
          << "ncols 5\r\nnrows 2\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 30\r\nnodata_value "
             "-9999\r\n";
    const std::string file = WriteDigits(scratch_ / k.file, k.head, kHundredMB, k.tail);
    const std::string got = testkit::InChildWithHeadroom(32LL * 1024 * 1024, [&] {
      CLandUseCoverage c;
      c.InitCoverage(5, 5, 50);
      c.SetGridValue(9);
      const int result = (c.*k.read)(file, 0);
      return Outcome(result, c);
    });
    EXPECT_EQ(got, Expected(1, k.row0, k.row1));
    fs::remove(file);
  }
}

TEST(ImportIntoBufferlessCoverage, EveryReaderWritesNothing) {
  // Free keeps the shape and drops the buffers: the size checks pass and
  // every store must find no buffer to write into.
  fmt_test::ScratchDir s;
  std::ofstream(s / "g.asc", std::ios::binary)
      << "ncols 5\r\nnrows 5\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 30\r\n1 2 3 4 5\r\n";
  std::ofstream(s / "g.e00", std::ios::binary)
      << "EXP  0\r\nGRD  2\r\n5 5 1 0\r\n\r\n\r\n\r\n1 2 3 4 5\r\n";
  std::ofstream(s / "g.hdr", std::ios::binary)
      << "ncols 5\r\nnrows 5\r\n\r\n\r\n\r\nnodata_value 1\r\n";
  std::ofstream(s / "g.flt", std::ios::binary) << std::string(100, '\x40');
  std::ofstream(s / "g.xya", std::ios::binary) << "1 1 3\r\n4 4 5\r\n";
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 5, 1), 1);
  c.Free();
  ASSERT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(c.ImportASCFile(s / "g.asc", 0), 1);
  EXPECT_EQ(c.ImportE00File(s / "g.e00", 0), 1);
  EXPECT_EQ(c.ImportFLTFile(s / "g.flt", 0), 1);
  EXPECT_EQ(c.ImportXYAFile(s / "g.xya", 0), 1);
  EXPECT_EQ(c.ImportDATFile(s / "g.xya", 1), 1);
  EXPECT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.m_nRows * 100 + c.m_nCols, 505);
  // And its exports write a grid of IDs 0 without reading any buffer.
  ASSERT_EQ(c.ExportASCFile(s / "out.asc"), 1);
  CLandUseCoverage back;
  ASSERT_EQ(back.InitCoverage(5, 5, 7), 1);
  back.SetGridValue(4);
  ASSERT_EQ(back.ImportASCFile(s / "out.asc", 0), 1);
  for (int r = 0; r < 5; ++r)
    for (int col = 0; col < 5; ++col)
      EXPECT_EQ(back.GetCellValue(r, col) * 100 + back.GetCellAge(r, col), 0);
}

}  // namespace
