// The byte raster: sizing, bounds of every cell operation, the fill, and the
// report of a cell buffer that cannot be had.
#include "support/failing_alloc.h"
#include "support/scene.h"

#include <tuple>

using namespace testkit;

namespace {

std::vector<unsigned char> Cells(const CGrid& g) {
  return std::vector<unsigned char>(g.m_pData, g.m_pData + g.m_nRows * g.m_nCols);
}

// A 6 x 9 grid whose cell (r, c) holds 10 * r + c.
void FillPattern(CGrid& g) {
  ASSERT_EQ(g.InitGrid(6, 9, 0), 1);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 9; ++c)
      ASSERT_EQ(g.SetCellValue(r, c, static_cast<unsigned char>(10 * r + c)), 1);
}

}  // namespace

TEST(Grid, NewGridRefusesEveryCellInitSizesFillsAndNamesFromFiveToTenThousand) {
  CGrid g;
  EXPECT_EQ(g.IsEmpty(), 1);
  EXPECT_EQ(std::make_tuple(g.m_nGridType, g.m_strName, g.m_nRows, g.m_pData),
            std::make_tuple(-1, "", 0, nullptr));
  EXPECT_EQ(g.GetCellValue(0, 0), 0);
  EXPECT_EQ(g.SetCellValue(0, 0, 1) + g.SetCellValue(CPoint(0, 0), 1) + g.SetGridValue(1), 0);
  EXPECT_EQ(g.IsEmpty(), 1);
  ASSERT_EQ(g.InitGrid(6, 9, 7), 1);
  EXPECT_EQ(g.IsEmpty(), 0);
  EXPECT_EQ(std::make_tuple(g.m_nCols, g.m_strName, g.m_nGridType, g.m_dScale),
            std::make_tuple(9, "Grid", 0, 1.0));
  EXPECT_EQ(Cells(g), std::vector<unsigned char>(54, 7));
  const int shapes[3][2] = {{5, 5}, {10000, 5}, {5, 10000}};
  for (const auto& s : shapes) {
    ASSERT_EQ(g.InitGrid(s[0], s[1], 3), 1);
    EXPECT_EQ(g.GetCellValue(s[0] - 1, s[1] - 1), 3);
    EXPECT_EQ(g.GetCellValue(s[0], s[1] - 1), 0);
  }
}

TEST(Grid, InvalidShapesLeaveAnInitialisedGridAsItWas) {
  CGrid g;
  FillPattern(g);
  g.m_strName = "kept";
  g.m_nGridType = 4;
  g.m_dScale = 2.5;
  const unsigned char* buffer = g.m_pData;
  const std::vector<unsigned char> before = Cells(g);
  const int bad[][2] = {{4, 5}, {5, 4}, {10001, 5}, {5, 10001}, {0, 0}, {-5, 7}, {7, -5}};
  for (const auto& b : bad) {
    EXPECT_EQ(g.InitGrid(b[0], b[1], 99), 0) << b[0] << " x " << b[1];
    EXPECT_EQ(g.m_pData, buffer);
    EXPECT_EQ(g.m_nRows * 100 + g.m_nCols, 609);
    EXPECT_EQ(g.m_strName, "kept");
    EXPECT_EQ(g.m_nGridType, 4);
    EXPECT_EQ(g.m_dScale, 2.5);
    EXPECT_EQ(Cells(g), before);
  }
  ASSERT_EQ(g.InitGrid(12, 7, 4), 1);  // a valid one replaces shape and values
  EXPECT_EQ(Cells(g), std::vector<unsigned char>(84, 4));
}

TEST(Grid, MissingBufferIsReportedAndLeavesTheGridEmpty) {
  NoticeRecorder log;
  CGrid g;
  FillPattern(g);
  EXPECT_EQ(WithFailingAllocation(0, [&] { return g.InitGrid(8, 11, 1); }), 0);
  EXPECT_EQ(log.texts, std::vector<std::string>{"Not enough memory!!"});
  EXPECT_EQ(g.IsEmpty(), 1);
  EXPECT_EQ(g.m_nRows * 100 + g.m_nCols, 811);  // the new shape stays
  EXPECT_EQ(g.GetCellValue(0, 0), 0);
  EXPECT_EQ(g.SetCellValue(0, 0, 1), 0);
  EXPECT_EQ(g.SetGridValue(3), 0);
  EXPECT_EQ(g.InitGrid(5, 5, 2), 1);  // a later initialisation works again
  EXPECT_EQ(g.GetCellValue(4, 4), 2);
  EXPECT_EQ(log.texts.size(), 1u);
}

TEST(Grid, OutsideCellsReadZeroAndAreNeverWritten) {
  CGrid g;
  FillPattern(g);
  const std::vector<unsigned char> before = Cells(g);
  const int outside[][2] = {{6, 0},         {0, 9},       {-1, 0},
                            {0, -1},        {6, 9},       {-1, -1},
                            {100000, 3},    {3, -100000}, {-2147483647 - 1, 0},
                            {0, 2147483647}};
  for (const auto& o : outside) {
    EXPECT_EQ(g.GetCellValue(o[0], o[1]), 0);
    EXPECT_EQ(g.GetCellValue(CPoint(o[1], o[0])), 0);
    EXPECT_EQ(g.SetCellValue(o[0], o[1], 200), 0);
    EXPECT_EQ(g.SetCellValue(CPoint(o[1], o[0]), 201), 0);
  }
  EXPECT_EQ(Cells(g), before);
}

TEST(Grid, CellsRowAfterRowThePointFormTakesRowFromYTheFillStoresTheLowEightBits) {
  CGrid g;
  FillPattern(g);
  EXPECT_EQ(g.GetCellValue(5, 8), 58);
  EXPECT_EQ(g.GetCellValue(0, 8), 8);
  EXPECT_EQ(g.GetCellValue(5, 0), 50);
  EXPECT_EQ(g.GetCellValue(CPoint(3, 2)), 23);  // x column 3, y row 2
  ASSERT_EQ(g.SetCellValue(CPoint(8, 5), 3), 1);
  EXPECT_EQ(g.m_pData[5 * 9 + 8], 3);
  ASSERT_EQ(g.SetCellValue(1, 2, 250), 1);
  EXPECT_EQ(g.m_pData[1 * 9 + 2], 250);
  // The fill stores the low eight bits.
  const int values[][2] = {{0x1FF, 0xFF}, {256, 0}, {-1, 0xFF}, {0x12345678, 0x78}, {9, 9}};
  for (const auto& k : values) {
    ASSERT_EQ(g.SetGridValue(k[0]), 1);
    EXPECT_EQ(Cells(g), std::vector<unsigned char>(54, static_cast<unsigned char>(k[1]))) << k[0];
  }
}
