// The ASCII grid: the whole written file, the georeference and no-data
// value read back, the optional no-data line, row parsing and the overlay
// rule with the no-data value in force.
#include "test_format_support.h"

using namespace towngrow;
using fmt_test::ReadAll;
using fmt_test::Rows;
using fmt_test::WriteAll;
using testkit::Ages;
using testkit::Values;

namespace {
using AsciiTest = fmt_test::FormatTest;
using R = std::vector<std::string>;
}  // namespace

TEST_F(AsciiTest, WritesTheWholeFileWithDefaultFieldsAndFourDigitGeoreference) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 5, 0), 1);
  c.SetCellValue(0, 4, 12);
  c.SetCellValue(3, 0, 255);
  c.SetCellValue(4, 2, 3);
  ASSERT_EQ(c.ExportASCFile(dir / "g.asc"), 1);
  EXPECT_EQ(ReadAll(dir / "g.asc"),
            "ncols  5\r\nnrows  5\r\nxllcorner 0.\r\nyllcorner 0.\r\ncellsize 30.\r\nnodata_value "
            "-9999\r\n"
            "0 0 0 0 12 \r\n0 0 0 0 0 \r\n0 0 0 0 0 \r\n255 0 0 0 0 \r\n0 0 3 0 0 \r\n");
  cov.m_dXllCorner = 378923.0;
  cov.m_dYllCorner = -0.05;
  cov.m_dCellSize = 12.5;
  cov.m_nNoDataValue = 0;
  ASSERT_EQ(cov.ExportASCFile(dir / "g.asc"), 1);
  const std::string text = ReadAll(dir / "g.asc");
  EXPECT_EQ(
      text.substr(0, text.find("0 0 0")),
      "ncols  6\r\nnrows  5\r\nxllcorner 3.789e+005\r\nyllcorner -5.e-002\r\ncellsize 12.5\r\n"
      "nodata_value 0\r\n");
}

TEST_F(AsciiTest, ReadsTheHeaderAndTheRows) {
  WriteAll(dir / "r.asc",
           "ncols 4\r\nnrows 3\r\nxllcorner 1000.5\r\nyllcorner 3.789e+005\r\ncellsize 25\r\n"
           "NODATA_value -1\r\n"
           "1 2 3 4\r\n"            // no blank after the last value
           "256 -1 3.7 -9999 \r\n"  // 256 stores 0, -1 255, 3.7 3, -9999 241
           "  5\t 6   7 8 9 10\r\n");
  ASSERT_EQ(cov.ImportASCFile(dir / "r.asc", 0), 1);
  EXPECT_DOUBLE_EQ(cov.m_dXllCorner, 1000.5);
  EXPECT_DOUBLE_EQ(cov.m_dYllCorner, 378900.0);
  EXPECT_DOUBLE_EQ(cov.m_dCellSize, 25.0);
  EXPECT_EQ(cov.m_nNoDataValue, -1);
  EXPECT_EQ(Rows(cov), (R{"1 2 3 4 0:9 0:9", "0 255 3 241 0:9 0:9", "5 6 7 8 0:9 0:9",
                          "0:9 0:9 0:9 0:9 0:9 0:9", "0:9 0:9 0:9 0:9 0:9 0:9"}));
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(AsciiTest, NoDataLineIsOptionalAndNumbersFollowTheFirstBlank) {
  cov.m_nNoDataValue = 77;
  WriteAll(dir / "n.asc", "ncols 2\nnrows 2\nxllcorner 1\nyllcorner 2\ncellsize 3\n4 5\n 6 7\n");
  ASSERT_EQ(cov.ImportASCFile(dir / "n.asc", 0), 1);
  EXPECT_EQ(cov.m_nNoDataValue, 77);
  EXPECT_EQ(Rows(cov, 2),
            (R{"4 5 0:9 0:9 0:9 0:9", "6 7 0:9 0:9 0:9 0:9"}));  // the first row is row 0
  EXPECT_DOUBLE_EQ(cov.m_dCellSize, 3.0);

  // A line starting with n that is not the keyword still counts as it.
  WriteAll(dir / "m.asc", "ncols 2\nnrows 1\nx 1\ny 2\nc 3\nnothing\n4 5\n");
  ASSERT_EQ(cov.ImportASCFile(dir / "m.asc", 0), 1);
  EXPECT_EQ(cov.m_nNoDataValue, 0);
  EXPECT_EQ(cov.GetCellValue(0, 0), 4);

  WriteAll(
      dir / "t.asc",
      "ncols\t2\nnrows\t1\nxllcorner\t5\nyllcorner  -7.5e1\ncellsize 1e\nnodata_value\t-3\n1 2\n");
  ASSERT_EQ(cov.ImportASCFile(dir / "t.asc", 0), 1);
  EXPECT_EQ(cov.m_dXllCorner, 0.0);  // no blank: the whole line is read
  EXPECT_DOUBLE_EQ(cov.m_dYllCorner, -75.0);
  EXPECT_DOUBLE_EQ(cov.m_dCellSize, 1.0);
  EXPECT_EQ(cov.m_nNoDataValue, 0);
  EXPECT_EQ(cov.GetCellValue(0, 1), 2);
}

TEST_F(AsciiTest, OverlaySkipsZeroAndTheNoDataValueOfTheFileOrTheCoverage) {
  WriteAll(dir / "o.asc",
           "ncols 4\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 30\nnodata_value -9999\n"
           "0 -9999 7 241\n");
  for (int c = 0; c < 4; ++c) cov.SetCellValue(0, c, 50);
  ASSERT_EQ(cov.ImportASCFile(dir / "o.asc", 1), 1);
  EXPECT_EQ(Rows(cov, 1), R{"50:9 50:9 7 241 0:9 0:9"});  // only the value itself is no data
  ASSERT_EQ(cov.ImportASCFile(dir / "o.asc", 0), 1);
  EXPECT_EQ(Rows(cov, 1), R{"0 241 7 241 0:9 0:9"});

  cov.m_nNoDataValue = 4;  // the file's own value is in force
  WriteAll(dir / "a.asc", "ncols 3\nnrows 1\nx 0\ny 0\nc 30\nnodata_value 5\n4 5 6\n");
  ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1);
  ASSERT_EQ(cov.ImportASCFile(dir / "a.asc", 1), 1);
  EXPECT_EQ(Rows(cov, 1), R{"4 0:9 6 0:9 0:9 0:9"});
}

TEST_F(AsciiTest, ShortRowsShortFilesAndValuesEndingAtBlanksOnly) {
  cov.SetGridValue(50);
  WriteAll(dir / "s.asc", "ncols 6\nnrows 5\nx 0\ny 0\nc 30\n1 2\n\n   \t\n3 4 5 6 7 8 9 10\n");
  ASSERT_EQ(cov.ImportASCFile(dir / "s.asc", 0), 1);
  const std::string kept = "50:9 50:9 50:9 50:9 50:9 50:9";
  EXPECT_EQ(Rows(cov), (R{"1 2 50:9 50:9 50:9 50:9", kept, kept, "3 4 5 6 7 8", kept}));

  // A tab does not end a value: "7\t8" is read as 7; "x" reads 0.
  WriteAll(dir / "b.asc", "ncols 3\nnrows 1\nx 0\ny 0\nc 30\n7\t8 x 9\n");
  ASSERT_EQ(cov.ImportASCFile(dir / "b.asc", 0), 1);
  EXPECT_EQ(Rows(cov, 1), R{"7 0 9 50:9 50:9 50:9"});
}

TEST_F(AsciiTest, RefusalsAndMalformedSizes) {
  cov.m_dCellSize = 5.0;
  const auto before = fmt_test::Take(cov);
  for (const char* header : {"ncols 7\nnrows 5\n", "ncols 6\nnrows 6\n"}) {
    messages.texts.clear();
    WriteAll(dir / "big.asc",
             std::string(header) + "xllcorner 1\nyllcorner 1\ncellsize 1\nnodata_value 1\n1\n");
    EXPECT_EQ(cov.ImportASCFile(dir / "big.asc", 0), 0);
    EXPECT_EQ(messages.texts, std::vector<std::string>{fmt_test::kRangeText});
    EXPECT_TRUE(fmt_test::Take(cov) == before);
  }
  messages.texts.clear();
  EXPECT_EQ(cov.ImportASCFile(dir / "missing.asc", 0), 0);  // missing files fail quietly
  EXPECT_EQ(cov.ExportASCFile(dir / "no/such/dir/x.asc"), 0);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_TRUE(fmt_test::Take(cov) == before);

  WriteAll(dir / "bad.asc", "ncols\nnrows x\nxllcorner 1\nyllcorner 1\ncellsize 1\n1 2 3\n");
  EXPECT_EQ(cov.ImportASCFile(dir / "bad.asc", 0), 1);  // sizes read 0: no cell
  EXPECT_EQ(testkit::Values(cov), std::get<0>(before));
  EXPECT_EQ(testkit::Ages(cov), std::get<1>(before));
  EXPECT_DOUBLE_EQ(cov.m_dCellSize, 1.0);
  WriteAll(dir / "neg.asc", "ncols -3\nnrows 99999999999999\n");
  EXPECT_EQ(cov.ImportASCFile(dir / "neg.asc", 0), 0);  // saturated rows do not fit
}

TEST_F(AsciiTest, RoundTripKeepsIdsAndFourDigitsOfTheFields) {
  fmt_test::FillRandom(cov, 7);
  cov.m_dXllCorner = 378923.0;
  cov.m_dYllCorner = 4072345.0;
  cov.m_nNoDataValue = -32768;
  ASSERT_EQ(cov.ExportASCFile(dir / "rt.asc"), 1);
  CLandUseCoverage back;
  ASSERT_EQ(back.InitCoverage(5, 6, 3), 1);
  ASSERT_EQ(back.ImportASCFile(dir / "rt.asc", 0), 1);
  EXPECT_EQ(Values(back), Values(cov));
  EXPECT_EQ(Ages(back), std::vector<short>(30, 0));
  EXPECT_DOUBLE_EQ(back.m_dXllCorner, 378900.0);
  EXPECT_DOUBLE_EQ(back.m_dYllCorner, 4072000.0);
  EXPECT_DOUBLE_EQ(back.m_dCellSize, 30.0);
  EXPECT_EQ(back.m_nNoDataValue, -32768);
}
