// Point lists: the written lines, reading in file order, skipped positions
// outside the coverage, malformed lines, and the list without a layout.
#include "test_format_support.h"

using namespace towngrow;
using fmt_test::ReadAll;
using fmt_test::Rows;
using fmt_test::WriteAll;

namespace {

// A 5 x 8 coverage with age 9 everywhere.
class PointTest : public fmt_test::FormatTest {
protected:
  void SetUp() override { ASSERT_EQ(cov.InitCoverage(5, 8, 9), 1); }
};
using R = std::vector<std::string>;
const std::string kKept = "0:9 0:9 0:9 0:9 0:9 0:9 0:9 0:9";

}  // namespace

TEST_F(PointTest, WritesNonBlankCellsRowByRowWithWideIndices) {
  cov.SetCellValue(2, 7, 3);
  cov.SetCellValue(0, 5, 255);
  cov.SetCellValue(2, 1, 12);
  ASSERT_EQ(cov.ExportXYAFile(dir / "p.xya"), 1);
  EXPECT_EQ(ReadAll(dir / "p.xya"), "   5    0  255\r\n   1    2   12\r\n   7    2    3\r\n");
  CLandUseCoverage wide;
  ASSERT_EQ(wide.InitCoverage(5, 10000, 0), 1);
  ASSERT_EQ(wide.ExportXYAFile(dir / "w.xya"), 1);  // blank: an empty file
  EXPECT_TRUE(fmt_test::Exists(dir / "w.xya"));
  EXPECT_EQ(ReadAll(dir / "w.xya"), "");
  wide.SetCellValue(4, 9999, 1);
  ASSERT_EQ(wide.ExportXYAFile(dir / "w.xya"), 1);
  EXPECT_EQ(ReadAll(dir / "w.xya"), "9999    4    1\r\n");
}

TEST_F(PointTest, ReadsLinesInOrderAndTheOverlayKeepsCellsNamedWithZero) {
  WriteAll(dir / "r.dat",
           "7 2 3\r\n"
           "  0\t0   256 trailing words 5 5 5\n"
           "1 1 -1\n"
           "7 2 4\n"  // the later line for the same cell wins
           "3 4 0");  // no line end at the end of the file
  for (auto import : {&CLandUseCoverage::ImportXYAFile, &CLandUseCoverage::ImportDATFile}) {
    for (int overlay : {0, 1}) {
      ASSERT_EQ(cov.InitCoverage(5, 8, 9), 1);
      cov.SetCellValue(4, 3, 50);
      ASSERT_EQ((cov.*import)(dir / "r.dat", overlay), 1);
      // 256 is not zero for the overlay, and stores 0.
      EXPECT_EQ(Rows(cov), (R{"0 0:9 0:9 0:9 0:9 0:9 0:9 0:9", "0:9 255 0:9 0:9 0:9 0:9 0:9 0:9",
                              "0:9 0:9 0:9 0:9 0:9 0:9 0:9 4", kKept,
                              overlay ? "0:9 0:9 0:9 50:9 0:9 0:9 0:9 0:9"
                                      : "0:9 0:9 0:9 0 0:9 0:9 0:9 0:9"}));
    }
  }
}

TEST_F(PointTest, OutsidePositionsAndLinesWithoutThreeIntegersAreSkippedEmptyListsReadNothing) {
  WriteAll(dir / "empty.xya", "");
  EXPECT_EQ(cov.ImportXYAFile(dir / "empty.xya", 0), 1);
  EXPECT_EQ(Rows(cov), R(5, kKept));
  WriteAll(dir / "m.xya",
           "8 0 1\n0 5 1\n-1 0 1\n0 -1 1\n200 2 1\n99999999999 0 1\n"  // outside 8 x 5
           "\r\n# a comment 1 1 1\r\n1 1\r\n1 1 x\r\n2abc 1 1\r\n1,1,1\r\n- 1 1 1\r\n   \t\r\n"
           "+1 +1 +7\r\n"
           "7 4 2\n");  // still read after the others
  ASSERT_EQ(cov.ImportXYAFile(dir / "m.xya", 0), 1);
  EXPECT_EQ(Rows(cov), (R{kKept, "0:9 7 0:9 0:9 0:9 0:9 0:9 0:9", kKept, kKept,
                          "0:9 0:9 0:9 0:9 0:9 0:9 0:9 2"}));
}

TEST_F(PointTest, MissingAndLayoutlessListsChangeNothing) {
  const auto before = fmt_test::Take(cov);
  EXPECT_EQ(cov.ImportXYAFile(dir / "none.xya", 0), 0);
  EXPECT_EQ(cov.ImportDATFile(dir / "none.dat", 1), 0);
  EXPECT_EQ(cov.ExportXYAFile(dir / "no/such/dir.xya"), 0);
  WriteAll(dir / "p.xy", "1 1 1\r\n");  // a list without a layout reads nothing
  EXPECT_EQ(cov.ImportXYFile(dir / "p.xy", 0), 0);
  EXPECT_EQ(cov.ImportXYFile(dir / "none.xy", 1), 0);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_TRUE(fmt_test::Take(cov) == before);
}
