// The float grid with its header: the header name rule, the six header
// lines, little-endian floats written and read byte by byte, truncation,
// ID 6 for the no-data value, and the refusals.
#include <cstdint>
#include <cstring>
#include <limits>

#include "test_format_support.h"

using namespace towngrow;
using fmt_test::ReadAll;
using fmt_test::Rows;
using fmt_test::WriteAll;

namespace {

using FloatTest = fmt_test::FormatTest;
using R = std::vector<std::string>;

// The four bytes of a float, least significant first, from its bit pattern.
std::string Le(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return s;
}

std::string Hdr(int cols, int rows, const std::string& noData) {
  return "ncols  " + std::to_string(cols) + "\r\nnrows  " + std::to_string(rows) +
         "\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 30\r\nnodata_value " + noData + "\r\n";
}

}  // namespace

TEST_F(FloatTest, WritesSixHeaderLinesAndLittleEndianFloats) {
  cov.SetCellValue(0, 1, 3);
  cov.SetCellValue(4, 5, 255);
  cov.SetCellValue(2, 0, 1);
  ASSERT_EQ(cov.ExportBINFile(dir / "grid.flt"), 1);
  EXPECT_EQ(ReadAll(dir / "grid.hdr"),
            "ncols  6\r\nnrows  5\r\nxllcorner 378923\r\nyllcorner 4072345\r\ncellsize 30\r\n"
            "nodata_value -32768\r\n");
  std::string expected(120, '\0');
  expected.replace(4 * 1, 4, std::string("\x00\x00\x40\x40", 4));
  expected.replace(4 * 29, 4, std::string("\x00\x00\x7F\x43", 4));
  expected.replace(4 * 12, 4, std::string("\x00\x00\x80\x3F", 4));
  EXPECT_EQ(ReadAll(dir / "grid.flt"), expected);
}

TEST_F(FloatTest, HeaderIsNamedUpToTheFirstDotOfTheWholeName) {
  std::filesystem::create_directories(dir / "maps.old");
  ASSERT_EQ(cov.ExportBINFile(dir / "maps.old/grid.flt"), 1);
  EXPECT_TRUE(fmt_test::Exists(dir / "maps.hdr"));
  EXPECT_TRUE(fmt_test::Exists(dir / "maps.old/grid.flt"));
  EXPECT_FALSE(fmt_test::Exists(dir / "maps.old/grid.hdr"));
  ASSERT_EQ(cov.ImportFLTFile(dir / "maps.old/grid.flt", 0), 1);  // and reads it back from there
  ASSERT_EQ(cov.ExportBINFile(dir / "a.b.c"), 1);
  EXPECT_TRUE(fmt_test::Exists(dir / "a.hdr"));

  const auto cwd = std::filesystem::current_path();  // no dot: ".hdr" alone
  std::filesystem::current_path(dir.Path());
  const int written = cov.ExportBINFile("gridnodot");
  const bool header = fmt_test::Exists(".hdr");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(written, 1);
  EXPECT_TRUE(header);
}

TEST_F(FloatTest, ReadsValuesByTruncationTowardZero) {
  WriteAll(dir / "v.hdr", Hdr(4, 3, "-9999.0"));
  // 70000 keeps its low 8 bits (112); -2.9 is -2 (254); tiny values are 0;
  // the no-data value is ID 6.
  WriteAll(dir / "v.flt", Le(255.0f) + Le(256.0f) + Le(3.99f) + Le(-2.9f) + Le(-1.0f) + Le(2.9f) +
                              Le(70000.5f) + Le(1e-30f) + Le(-9999.0f) + Le(0.0f) + Le(12.0f) +
                              Le(-0.5f));
  ASSERT_EQ(cov.ImportFLTFile(dir / "v.flt", 0), 1);
  EXPECT_EQ(Rows(cov), (R{"255 0 3 254 0:9 0:9", "255 2 112 0 0:9 0:9", "6 0 12 0 0:9 0:9",
                          "0:9 0:9 0:9 0:9 0:9 0:9", "0:9 0:9 0:9 0:9 0:9 0:9"}));
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(FloatTest, NoDataBecomesIdSixWhateverTheOverlayFlag) {
  WriteAll(dir / "n.hdr", Hdr(3, 1, "-9999"));
  WriteAll(dir / "n.flt", Le(-9999.0f) + Le(0.0f) + Le(4.0f));
  for (int overlay : {0, 1}) {
    ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1);
    cov.SetCellValue(0, 0, 50);
    cov.SetCellValue(0, 1, 50);
    ASSERT_EQ(cov.ImportFLTFile(dir / "n.flt", overlay), 1);
    EXPECT_EQ(Rows(cov, 1), R{overlay ? "6 50:9 4 0:9 0:9 0:9" : "6 0 4 0:9 0:9 0:9"});
  }
  // A no-data line without an integer reads 0: zeros become ID 6.
  WriteAll(dir / "z.hdr", Hdr(2, 1, "none"));
  WriteAll(dir / "z.flt", Le(0.0f) + Le(0.7f));
  ASSERT_EQ(cov.ImportFLTFile(dir / "z.flt", 1), 1);
  EXPECT_EQ(Rows(cov, 1), R{"6 6 4 0:9 0:9 0:9"});
}

TEST_F(FloatTest, ValuesWithoutAnIntValueStoreNothingRowsFollowTheHeaderAShortFileStops) {
  WriteAll(dir / "x.hdr", Hdr(5, 1, "-32768"));
  const float inf = std::numeric_limits<float>::infinity();
  WriteAll(dir / "x.flt", Le(std::numeric_limits<float>::quiet_NaN()) + Le(inf) + Le(-inf) +
                              Le(3e9f) + Le(-2147483648.0f));
  cov.SetGridValue(50);
  ASSERT_EQ(cov.ImportFLTFile(dir / "x.flt", 0), 1);
  EXPECT_EQ(Rows(cov, 1), R{"50:9 50:9 50:9 50:9 0 50:9"});  // INT_MIN is an int value
  ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1);
  WriteAll(dir / "s.hdr", Hdr(2, 3, "-1"));
  WriteAll(dir / "s.flt", Le(1) + Le(2) + Le(3) + Le(4) + Le(5) + std::string("\x00\x00", 2));
  for (int c = 0; c < 6; ++c) cov.SetCellValue(2, c, 50);
  ASSERT_EQ(cov.ImportFLTFile(dir / "s.flt", 0), 1);
  EXPECT_EQ(Rows(cov, 3),
            (R{"1 2 0:9 0:9 0:9 0:9", "3 4 0:9 0:9 0:9 0:9", "5 50:9 50:9 50:9 50:9 50:9"}));
}

TEST_F(FloatTest, RefusalsAndMissingFiles) {
  const auto before = fmt_test::Take(cov);
  WriteAll(dir / "big.hdr", Hdr(7, 5, "-9999"));  // refused before the data file
  EXPECT_EQ(cov.ImportFLTFile(dir / "big.flt", 0), 0);
  EXPECT_EQ(messages.texts, std::vector<std::string>{fmt_test::kRangeText});
  WriteAll(dir / "tall.hdr", Hdr(6, 6, "-9999"));
  WriteAll(dir / "tall.flt", std::string(36 * 4, '\0'));
  EXPECT_EQ(cov.ImportFLTFile(dir / "tall.flt", 0), 0);
  EXPECT_EQ(messages.texts.size(), 2u);
  messages.texts.clear();
  EXPECT_EQ(cov.ImportFLTFile(dir / "none.flt", 0), 0);  // no header
  WriteAll(dir / "nodata.hdr", Hdr(2, 2, "-9999"));
  EXPECT_EQ(cov.ImportFLTFile(dir / "nodata.flt", 0), 0);  // header but no data
  EXPECT_EQ(cov.ExportBINFile(dir / "no/such.flt"), 0);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_TRUE(fmt_test::Take(cov) == before);
  std::filesystem::create_directories(dir / "d.flt");  // the header is written first
  EXPECT_EQ(cov.ExportBINFile(dir / "d.flt"), 0);
  EXPECT_TRUE(fmt_test::Exists(dir / "d.hdr"));
}

TEST_F(FloatTest, SeventhHeaderLineIsIgnored) {
  fmt_test::FillRandom(cov, 11);
  ASSERT_EQ(cov.ExportBINFile(dir / "g.flt"), 1);
  WriteAll(dir / "g.hdr", ReadAll(dir / "g.hdr") + "byteorder LSBFIRST\r\n");
  CLandUseCoverage back;
  ASSERT_EQ(back.InitCoverage(5, 6, 9), 1);
  ASSERT_EQ(back.ImportFLTFile(dir / "g.flt", 0), 1);
  EXPECT_EQ(testkit::Values(back), testkit::Values(cov));
}
