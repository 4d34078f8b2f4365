// Point lists: the written lines, reading in file order, skipped positions
// outside the coverage, malformed lines, and the list without a layout.
#include <gtest/gtest.h>

#include <string>

#include "test_format_support.h"

using namespace towngrow;
using fmt_test::ReadAll;
using fmt_test::WriteAll;

namespace {

class PointTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(cov.InitCoverage(5, 8, 9), 1); }
  CLandUseCoverage cov;
  fmt_test::ScratchDir dir;
  fmt_test::MessageRecorder messages;
};

}  // namespace

TEST_F(PointTest, WritesNonBlankCellsRowByRow) {
  cov.SetCellValue(2, 7, 3);
  cov.SetCellValue(0, 5, 255);
  cov.SetCellValue(2, 1, 12);
  ASSERT_EQ(cov.ExportXYAFile(dir / "p.xya"), 1);
  EXPECT_EQ(ReadAll(dir / "p.xya"),
            "   5    0  255\r\n"
            "   1    2   12\r\n"
            "   7    2    3\r\n");
}

TEST_F(PointTest, WideIndicesTakeMoreThanFourCharacters) {
  CLandUseCoverage wide;
  ASSERT_EQ(wide.InitCoverage(5, 10000, 0), 1);
  wide.SetCellValue(4, 9999, 1);
  ASSERT_EQ(wide.ExportXYAFile(dir / "w.xya"), 1);
  EXPECT_EQ(ReadAll(dir / "w.xya"), "9999    4    1\r\n");
}

TEST_F(PointTest, BlankCoverageWritesAnEmptyFile) {
  ASSERT_EQ(cov.ExportXYAFile(dir / "e.xya"), 1);
  EXPECT_TRUE(fmt_test::Exists(dir / "e.xya"));
  EXPECT_EQ(ReadAll(dir / "e.xya"), "");
}

TEST_F(PointTest, ReadsLinesInOrder) {
  WriteAll(dir / "r.dat",
           "7 2 3\r\n"
           "  0\t0   256 trailing words 5 5 5\n"
           "1 1 -1\n"
           "7 2 4\n"   // the later line for the same cell wins
           "3 4 0");  // no line end at the end of the file
  cov.SetCellValue(4, 3, 50);
  for (auto import : {&CLandUseCoverage::ImportXYAFile, &CLandUseCoverage::ImportDATFile}) {
    ASSERT_EQ(cov.InitCoverage(5, 8, 9), 1);
    cov.SetCellValue(4, 3, 50);
    ASSERT_EQ((cov.*import)(dir / "r.dat", 0), 1);
    EXPECT_EQ(cov.GetCellValue(2, 7), 4);
    EXPECT_EQ(cov.GetCellAge(2, 7), 0);
    EXPECT_EQ(cov.GetCellValue(0, 0), 0);
    EXPECT_EQ(cov.GetCellAge(0, 0), 0);
    EXPECT_EQ(cov.GetCellValue(1, 1), 255);
    EXPECT_EQ(cov.GetCellValue(4, 3), 0);
    EXPECT_EQ(cov.GetCellAge(4, 3), 0);
    EXPECT_EQ(cov.GetCellAge(0, 1), 9);  // not named: unchanged
  }
}

TEST_F(PointTest, OverlayKeepsCellsNamedWithZero) {
  WriteAll(dir / "o.xya", "3 4 0\r\n2 1 5\r\n");
  cov.SetCellValue(4, 3, 50);
  ASSERT_EQ(cov.ImportXYAFile(dir / "o.xya", 1), 1);
  EXPECT_EQ(cov.GetCellValue(4, 3), 50);
  EXPECT_EQ(cov.GetCellAge(4, 3), 9);
  EXPECT_EQ(cov.GetCellValue(1, 2), 5);
  EXPECT_EQ(cov.GetCellAge(1, 2), 0);
}

TEST_F(PointTest, PositionsOutsideTheCoverageAreSkipped) {
  WriteAll(dir / "out.xya",
           "8 0 1\n"     // column 8 of 8 columns
           "0 5 1\n"     // row 5 of 5 rows
           "-1 0 1\n"
           "0 -1 1\n"
           "200 2 1\n"
           "99999999999 0 1\n"
           "7 4 2\n");  // still read after the others
  const fmt_test::Snapshot before = fmt_test::Take(cov);
  ASSERT_EQ(cov.ImportXYAFile(dir / "out.xya", 0), 1);
  fmt_test::Snapshot after = fmt_test::Take(cov);
  EXPECT_EQ(cov.GetCellValue(4, 7), 2);
  EXPECT_EQ(cov.GetCellAge(4, 7), 0);
  after.ids[4 * 8 + 7] = before.ids[4 * 8 + 7];
  after.ages[4 * 8 + 7] = before.ages[4 * 8 + 7];
  EXPECT_TRUE(after == before);
}

TEST_F(PointTest, LinesWithoutThreeIntegersAreSkipped) {
  WriteAll(dir / "m.xya",
           "\r\n"
           "# a comment 1 1 1\r\n"
           "1 1\r\n"
           "1 1 x\r\n"
           "2abc 1 1\r\n"
           "1,1,1\r\n"
           "- 1 1 1\r\n"
           "+1 +1 +7\r\n"
           "   \t\r\n"
           "2 2 8\r\n");
  ASSERT_EQ(cov.ImportXYAFile(dir / "m.xya", 0), 1);
  EXPECT_EQ(cov.GetCellValue(1, 1), 7);
  EXPECT_EQ(cov.GetCellValue(2, 2), 8);
  int stored = 0;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 8; ++c) stored += cov.GetCellAge(r, c) == 0;
  EXPECT_EQ(stored, 2);
}

TEST_F(PointTest, EmptyFileChangesNothing) {
  WriteAll(dir / "empty.xya", "");
  const fmt_test::Snapshot before = fmt_test::Take(cov);
  EXPECT_EQ(cov.ImportXYAFile(dir / "empty.xya", 0), 1);
  EXPECT_TRUE(fmt_test::Take(cov) == before);
}

TEST_F(PointTest, MissingFilesFailQuietly) {
  const fmt_test::Snapshot before = fmt_test::Take(cov);
  EXPECT_EQ(cov.ImportXYAFile(dir / "none.xya", 0), 0);
  EXPECT_EQ(cov.ImportDATFile(dir / "none.dat", 1), 0);
  EXPECT_EQ(cov.ExportXYAFile(dir / "no/such/dir.xya"), 0);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_TRUE(fmt_test::Take(cov) == before);
}

TEST_F(PointTest, ListWithoutALayoutReadsNothing) {
  WriteAll(dir / "p.xy", "1 1 1\r\n");
  const fmt_test::Snapshot before = fmt_test::Take(cov);
  EXPECT_EQ(cov.ImportXYFile(dir / "p.xy", 0), 0);
  EXPECT_EQ(cov.ImportXYFile(dir / "none.xy", 1), 0);
  EXPECT_TRUE(fmt_test::Take(cov) == before);
  EXPECT_TRUE(messages.texts.empty());
}
