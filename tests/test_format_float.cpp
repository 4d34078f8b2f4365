// The float grid with its header: the header name rule, the six header
// lines, little-endian floats written and read byte by byte, truncation,
// ID 6 for the no-data value, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>

#include "test_format_support.h"

using namespace towngrow;
using fmt_test::ReadAll;
using fmt_test::WriteAll;

namespace {

// The four bytes of a float, least significant first, from its bit pattern.
std::string Le(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return s;
}

std::string Hdr(int cols, int rows, const std::string& noData) {
  return "ncols  " + std::to_string(cols) + "\r\nnrows  " + std::to_string(rows) +
         "\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 30\r\nnodata_value " + noData + "\r\n";
}

class FloatTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1); }
  CLandUseCoverage cov;
  fmt_test::ScratchDir dir;
  fmt_test::MessageRecorder messages;
};

}  // namespace

TEST_F(FloatTest, WritesSixHeaderLinesAndLittleEndianFloats) {
  cov.SetCellValue(0, 1, 3);
  cov.SetCellValue(4, 5, 255);
  cov.SetCellValue(2, 0, 1);
  ASSERT_EQ(cov.ExportBINFile(dir / "grid.flt"), 1);
  EXPECT_EQ(ReadAll(dir / "grid.hdr"),
            "ncols  6\r\nnrows  5\r\nxllcorner 378923\r\nyllcorner 4072345\r\ncellsize 30\r\n"
            "nodata_value -32768\r\n");
  const std::string data = ReadAll(dir / "grid.flt");
  ASSERT_EQ(data.size(), 120u);
  const std::string zero("\x00\x00\x00\x00", 4);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 6; ++c) {
      const std::string cell = data.substr(static_cast<std::size_t>(4 * (r * 6 + c)), 4);
      if (r == 0 && c == 1)
        EXPECT_EQ(cell, std::string("\x00\x00\x40\x40", 4));
      else if (r == 4 && c == 5)
        EXPECT_EQ(cell, std::string("\x00\x00\x7F\x43", 4));
      else if (r == 2 && c == 0)
        EXPECT_EQ(cell, std::string("\x00\x00\x80\x3F", 4));
      else
        EXPECT_EQ(cell, zero) << r << "," << c;
    }
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
}

TEST_F(FloatTest, NameWithoutADotPairsWithHdrAlone) {
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const int written = cov.ExportBINFile("gridnodot");
  const bool header = fmt_test::Exists(".hdr");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(written, 1);
  EXPECT_TRUE(header);
  EXPECT_TRUE(fmt_test::Exists(dir / "gridnodot"));
}

TEST_F(FloatTest, ReadsValuesByTruncationTowardZero) {
  WriteAll(dir / "v.hdr", Hdr(4, 3, "-9999.0"));
  const float values[] = {255.0f, 256.0f, 3.99f, -2.9f,   //
                          -1.0f, 2.9f, 70000.5f, 1e-30f,  //
                          -9999.0f, 0.0f, 12.0f, -0.5f};
  std::string data;
  for (float f : values) data += Le(f);
  WriteAll(dir / "v.flt", data);
  ASSERT_EQ(cov.ImportFLTFile(dir / "v.flt", 0), 1);
  // 70000 keeps its low 8 bits (112); -2.9 is -2 (254); tiny values are 0.
  const int expected[3][4] = {{255, 0, 3, 254}, {255, 2, 112, 0}, {6, 0, 12, 0}};
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 6; ++c) {
      const bool inFile = r < 3 && c < 4;
      EXPECT_EQ(cov.GetCellValue(r, c), inFile ? expected[r][c] : 0) << r << "," << c;
      EXPECT_EQ(cov.GetCellAge(r, c), inFile ? 0 : 9) << r << "," << c;
    }
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
    EXPECT_EQ(cov.GetCellValue(0, 0), 6) << overlay;
    EXPECT_EQ(cov.GetCellAge(0, 0), 0) << overlay;
    EXPECT_EQ(cov.GetCellValue(0, 1), overlay ? 50 : 0);
    EXPECT_EQ(cov.GetCellAge(0, 1), overlay ? 9 : 0);
    EXPECT_EQ(cov.GetCellValue(0, 2), 4);
  }
}

TEST_F(FloatTest, ZeroNoDataValueMakesZerosIdSix) {
  // A no-data line without an integer reads 0.
  WriteAll(dir / "z.hdr", Hdr(2, 1, "none"));
  WriteAll(dir / "z.flt", Le(0.0f) + Le(0.7f));
  ASSERT_EQ(cov.ImportFLTFile(dir / "z.flt", 1), 1);
  EXPECT_EQ(cov.GetCellValue(0, 0), 6);
  EXPECT_EQ(cov.GetCellValue(0, 1), 6);  // 0.7 truncates to 0
}

TEST_F(FloatTest, ValuesWithoutAnIntValueStoreNothing) {
  WriteAll(dir / "x.hdr", Hdr(5, 1, "-32768"));
  const float inf = std::numeric_limits<float>::infinity();
  WriteAll(dir / "x.flt", Le(std::numeric_limits<float>::quiet_NaN()) + Le(inf) + Le(-inf) + Le(3e9f) +
                              Le(-2147483648.0f));
  for (int c = 0; c < 5; ++c) cov.SetCellValue(0, c, 50);
  ASSERT_EQ(cov.ImportFLTFile(dir / "x.flt", 0), 1);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(cov.GetCellValue(0, c), 50) << c;
    EXPECT_EQ(cov.GetCellAge(0, c), 9) << c;
  }
  EXPECT_EQ(cov.GetCellValue(0, 4), 0);  // INT_MIN is an int value
  EXPECT_EQ(cov.GetCellAge(0, 4), 0);
}

TEST_F(FloatTest, RowsFollowTheHeaderColumnsAndAShortFileStopsEarly) {
  WriteAll(dir / "s.hdr", Hdr(2, 3, "-1"));
  WriteAll(dir / "s.flt", Le(1) + Le(2) + Le(3) + Le(4) + Le(5) + std::string("\x00\x00", 2));
  for (int c = 0; c < 6; ++c) cov.SetCellValue(2, c, 50);
  ASSERT_EQ(cov.ImportFLTFile(dir / "s.flt", 0), 1);
  EXPECT_EQ(cov.GetCellValue(0, 0), 1);
  EXPECT_EQ(cov.GetCellValue(0, 1), 2);
  EXPECT_EQ(cov.GetCellValue(1, 0), 3);
  EXPECT_EQ(cov.GetCellValue(1, 1), 4);
  EXPECT_EQ(cov.GetCellValue(2, 0), 5);
  EXPECT_EQ(cov.GetCellValue(2, 1), 50);  // half a value at the end: unchanged
  EXPECT_EQ(cov.GetCellAge(2, 1), 9);
  EXPECT_EQ(cov.GetCellValue(0, 2), 0);
  EXPECT_EQ(cov.GetCellAge(0, 2), 9);
}

TEST_F(FloatTest, LargerHeaderIsRefusedBeforeTheDataFile) {
  const fmt_test::Snapshot before = fmt_test::Take(cov);
  WriteAll(dir / "big.hdr", Hdr(7, 5, "-9999"));  // no big.flt at all
  EXPECT_EQ(cov.ImportFLTFile(dir / "big.flt", 0), 0);
  EXPECT_EQ(messages.texts, std::vector<std::string>{fmt_test::kRangeText});
  WriteAll(dir / "tall.hdr", Hdr(6, 6, "-9999"));
  WriteAll(dir / "tall.flt", std::string(36 * 4, '\0'));
  EXPECT_EQ(cov.ImportFLTFile(dir / "tall.flt", 0), 0);
  EXPECT_EQ(messages.texts.size(), 2u);
  EXPECT_TRUE(fmt_test::Take(cov) == before);
}

TEST_F(FloatTest, MissingFilesFailQuietly) {
  const fmt_test::Snapshot before = fmt_test::Take(cov);
  EXPECT_EQ(cov.ImportFLTFile(dir / "none.flt", 0), 0);  // no header
  WriteAll(dir / "nodata.hdr", Hdr(2, 2, "-9999"));
  EXPECT_EQ(cov.ImportFLTFile(dir / "nodata.flt", 0), 0);  // header but no data
  EXPECT_EQ(cov.ExportBINFile(dir / "no/such.flt"), 0);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_TRUE(fmt_test::Take(cov) == before);
  // The header is written even when the data file cannot be created.
  std::filesystem::create_directories(dir / "d.flt");
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
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 6; ++c) EXPECT_EQ(back.GetCellValue(r, c), cov.GetCellValue(r, c));
}
