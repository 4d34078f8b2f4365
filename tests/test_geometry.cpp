// Moving about the grid: range and border band, the shortened step in each
// of the eight directions, the nearest cell of a category and the drawn
// straight line.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <towngrow/towngrow.h>
#include <utility>
#include <vector>

using namespace towngrow;

namespace {

using Cells = std::set<std::pair<int, int>>;  // (row, column)

Cells CellsHolding(const CLandUseCoverage& c, unsigned char id) {
  Cells out;
  for (int r = 0; r < c.m_nRows; ++r)
    for (int k = 0; k < c.m_nCols; ++k)
      if (c.GetCellValue(r, k) == id) out.insert({r, k});
  return out;
}

Cells Line(CPoint from, CPoint to, int rows = 10, int cols = 10) {
  CLandUseCoverage c;
  EXPECT_EQ(c.InitCoverage(rows, cols, 4), 1);
  c.CovDDALine(from, to, 7);
  for (short a : std::vector<short>(c.m_pCellAge, c.m_pCellAge + rows * cols)) EXPECT_EQ(a, 4);
  return CellsHolding(c, 7);
}

struct Move {
  int row, col, dir, step;  // origin, direction and requested step
  int x, y, newStep;        // expected point and step afterwards
};

void ExpectMoves(const CLandUseCoverage& c, const std::vector<Move>& moves) {
  for (const Move& m : moves) {
    int step = m.step;
    const CPoint p = c.GetNewPoint(m.row, m.col, m.dir, step);
    EXPECT_EQ(p, CPoint(m.x, m.y)) << "dir " << m.dir << " from row " << m.row << " col " << m.col
                                   << " step " << m.step << ": got x " << p.x << " y " << p.y;
    EXPECT_EQ(step, m.newStep) << "dir " << m.dir << " from row " << m.row << " col " << m.col;
  }
}

}  // namespace

TEST(GeometryRange, LastCellIsInAndOneBeyondIsOut) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(7, 12, 0), 1);
  EXPECT_EQ(c.IsInRange(6, 11), 1);
  EXPECT_EQ(c.IsInRange(0, 0), 1);
  EXPECT_EQ(c.IsInRange(7, 0), 0);
  EXPECT_EQ(c.IsInRange(0, 12), 0);
  EXPECT_EQ(c.IsInRange(-1, 0), 0);
  EXPECT_EQ(c.IsInRange(0, -1), 0);
  EXPECT_EQ(c.IsInRange(11, 6), 0);  // rows and columns are not swapped
  EXPECT_EQ(c.IsInRange(INT_MIN, INT_MAX), 0);
  CLandUseCoverage empty;
  EXPECT_EQ(empty.IsInRange(0, 0), 0);
}

TEST(GeometryEdge, BandOfTheOutermostRowsAndColumns) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(10, 10, 0), 1);
  EXPECT_EQ(c.IsInEdge(2, 5, 3), 1);
  EXPECT_EQ(c.IsInEdge(7, 5, 3), 1);
  EXPECT_EQ(c.IsInEdge(5, 2, 3), 1);
  EXPECT_EQ(c.IsInEdge(5, 7, 3), 1);
  EXPECT_EQ(c.IsInEdge(3, 6, 3), 0);
  EXPECT_EQ(c.IsInEdge(6, 3, 3), 0);
  EXPECT_EQ(c.IsInEdge(4, 4, 0), 0);
  EXPECT_EQ(c.IsInEdge(0, 0, 0), 0);
  EXPECT_EQ(c.IsInEdge(0, 0, 1), 1);
  EXPECT_EQ(c.IsInEdge(-1, 5, 3), 0);  // outside the grid is never in the band
  EXPECT_EQ(c.IsInEdge(10, 5, 3), 0);
  EXPECT_EQ(c.IsInEdge(5, 5, INT_MAX), 1);
  EXPECT_EQ(c.IsInEdge(5, 5, INT_MIN), 0);

  CLandUseCoverage wide;
  ASSERT_EQ(wide.InitCoverage(8, 20, 0), 1);
  EXPECT_EQ(wide.IsInEdge(4, 16, 3), 0);  // the band follows the number of columns
  EXPECT_EQ(wide.IsInEdge(4, 17, 3), 1);
  EXPECT_EQ(wide.IsInEdge(5, 10, 3), 1);  // and of rows
  EXPECT_EQ(wide.IsInEdge(4, 10, 3), 0);
}

TEST(GeometryNewPoint, StraightDirectionsStopAtTheBorder) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(10, 10, 0), 1);
  ExpectMoves(c, {
                     {2, 3, 0, 5, 3, 0, 2},
                     {7, 3, 0, 5, 3, 2, 5},
                     {7, 3, 4, 5, 3, 9, 2},
                     {2, 3, 4, 5, 3, 7, 5},
                     {4, 8, 2, 5, 9, 4, 1},
                     {4, 2, 2, 5, 7, 4, 5},
                     {4, 2, 6, 5, 0, 4, 2},
                     {4, 7, 6, 5, 2, 4, 5},
                     {0, 0, 0, 3, 0, 0, 0},
                     {9, 9, 4, 1, 9, 9, 0},
                 });
}

TEST(GeometryNewPoint, DiagonalsTestTheColumnFirst) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(10, 10, 0), 1);
  ExpectMoves(c, {
                     // up-right
                     {2, 3, 1, 5, 8, 0, 2},  // row limit only: column moves the full step
                     {2, 8, 1, 5, 9, 1, 1},  // both: the smaller distance
                     {7, 6, 1, 5, 9, 4, 3},  // column limit only
                     {7, 2, 1, 3, 5, 4, 3},  // nothing shortened
                     // down-right
                     {8, 7, 3, 5, 8, 9, 1},
                     {7, 2, 3, 5, 7, 9, 2},
                     {2, 7, 3, 5, 9, 4, 2},
                     {1, 1, 3, 3, 4, 4, 3},
                     // down-left
                     {8, 2, 5, 5, 1, 9, 1},
                     {7, 6, 5, 5, 1, 9, 2},
                     {2, 3, 5, 5, 0, 5, 3},
                     {2, 6, 5, 3, 3, 5, 3},
                     // up-left
                     {2, 6, 7, 5, 1, 0, 2},
                     {2, 3, 7, 5, 1, 0, 2},
                     {7, 2, 7, 5, 0, 5, 2},
                     {7, 6, 7, 3, 3, 4, 3},
                 });
}

TEST(GeometryNewPoint, RowsAndColumnsOfANonSquareGrid) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(8, 15, 0), 1);  // last row 7, last column 14
  ExpectMoves(c, {
                     {3, 12, 2, 5, 14, 3, 2},
                     {5, 12, 4, 5, 12, 7, 2},
                     {6, 11, 3, 5, 12, 7, 1},
                     {6, 2, 3, 5, 7, 7, 1},
                     {1, 12, 1, 5, 13, 0, 1},  // both limits: row distance 1 wins
                 });
}

TEST(GeometryNewPoint, OtherDirectionsAndZeroStepsReturnTheOrigin) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(10, 10, 0), 1);
  for (int dir : {8, -1, 100, INT_MIN}) {
    int step = 4;
    EXPECT_EQ(c.GetNewPoint(3, 6, dir, step), CPoint(6, 3));
    EXPECT_EQ(step, 4);
  }
  for (int dir = 0; dir < 8; ++dir) {
    for (const auto& origin : {std::pair<int, int>{0, 0}, {9, 9}, {4, 6}, {0, 9}}) {
      int step = 0;
      EXPECT_EQ(c.GetNewPoint(origin.first, origin.second, dir, step),
                CPoint(origin.second, origin.first))
          << dir;
      EXPECT_EQ(step, 0);
    }
  }
}

TEST(GeometryNewPoint, ExtremeStepsDoNotOverflow) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(10, 10, 0), 1);
  int step = INT_MAX;
  EXPECT_EQ(c.GetNewPoint(4, 4, 3, step), CPoint(9, 9));
  EXPECT_EQ(step, 5);
  step = INT_MAX;
  EXPECT_EQ(c.GetNewPoint(4, 6, 7, step), CPoint(2, 0));
  EXPECT_EQ(step, 4);
  step = INT_MAX;
  EXPECT_EQ(c.GetNewPoint(4, 6, 0, step), CPoint(6, 0));
  EXPECT_EQ(step, 4);
}

class GeometryFind : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(c.InitCoverage(10, 10, 0), 1);
    c.m_pLandUseSet = &set;
  }
  void PutHouse(int row, int col) { ASSERT_EQ(c.SetCellValue(row, col, 3), 1); }
  CLandUseSet set;
  CLandUseCoverage c;
  const CPoint centre{5, 5};
};

TEST_F(GeometryFind, OneFindIsReturned) {
  PutHouse(3, 7);
  EXPECT_EQ(c.GetPointByCategory(House, centre, 2), CPoint(7, 3));
  EXPECT_EQ(c.GetPointByCategory(House, centre, 1), CPoint(-1, -1));  // outside the window
  EXPECT_EQ(c.GetPointByCategory(Industry, centre, 9), CPoint(-1, -1));
}

TEST_F(GeometryFind, TheCentreCellCounts) {
  PutHouse(5, 5);
  EXPECT_EQ(c.GetPointByCategory(House, centre, 0), CPoint(5, 5));
  EXPECT_EQ(c.GetPointByCategory(House, centre, 3), CPoint(5, 5));
}

TEST_F(GeometryFind, ARowYieldsOnlyItsLeftmostMatch) {
  PutHouse(4, 6);
  PutHouse(4, 3);
  EXPECT_EQ(c.GetPointByCategory(House, centre, 2), CPoint(3, 4));
  // The leftmost match of a row is its find even when a later match of the
  // same row lies nearer to the centre.
  PutHouse(5, 1);
  PutHouse(5, 6);
  c.SetCellValue(4, 6, 0);
  c.SetCellValue(4, 3, 0);
  PutHouse(2, 5);  // distance 3, against row 5's leftmost at distance 4
  EXPECT_EQ(c.GetPointByCategory(House, centre, 4), CPoint(5, 2));
}

TEST_F(GeometryFind, TwoFindsGoToTheNearerOrTheUpper) {
  PutHouse(3, 5);  // distance 2
  PutHouse(6, 5);  // distance 1
  EXPECT_EQ(c.GetPointByCategory(House, centre, 3), CPoint(5, 6));
  c.SetCellValue(3, 5, 0);
  PutHouse(4, 4);  // distance 2, upper row
  PutHouse(6, 5);
  c.SetCellValue(6, 5, 0);
  PutHouse(7, 5);  // distance 2, lower row
  EXPECT_EQ(c.GetPointByCategory(House, centre, 3), CPoint(4, 4));
}

TEST_F(GeometryFind, ThreeFindsGiveNoneEvenWithAnAdjacentOne) {
  PutHouse(5, 6);  // adjacent to the centre
  PutHouse(3, 3);
  PutHouse(7, 7);
  EXPECT_EQ(c.GetPointByCategory(House, centre, 2), CPoint(-1, -1));
  EXPECT_EQ(c.GetPointByCategory(House, centre, 1), CPoint(6, 5));  // only the adjacent one
}

TEST_F(GeometryFind, CentreOutsideAndNegativeRadius) {
  PutHouse(5, 5);
  EXPECT_EQ(c.GetPointByCategory(House, CPoint(10, 5), 3), CPoint(0, 0));
  EXPECT_EQ(c.GetPointByCategory(House, CPoint(5, -1), 3), CPoint(0, 0));
  EXPECT_EQ(c.GetPointByCategory(House, CPoint(-1, -1), -2), CPoint(0, 0));
  EXPECT_EQ(c.GetPointByCategory(House, centre, -1), CPoint(-1, -1));
  EXPECT_EQ(c.GetPointByCategory(House, centre, INT_MIN), CPoint(-1, -1));
}

TEST_F(GeometryFind, WindowsReachingPastTheBorder) {
  PutHouse(2, 1);
  EXPECT_EQ(c.GetPointByCategory(House, CPoint(0, 0), 3), CPoint(1, 2));
  EXPECT_EQ(c.GetPointByCategory(House, CPoint(9, 9), INT_MAX), CPoint(1, 2));
  PutHouse(9, 9);
  EXPECT_EQ(c.GetPointByCategory(House, CPoint(8, 8), INT_MAX), CPoint(9, 9));
}

TEST_F(GeometryFind, WithoutASetEveryCellIsOthers) {
  c.m_pLandUseSet = nullptr;
  EXPECT_EQ(c.GetPointByCategory(Others, centre, 0), centre);
  EXPECT_EQ(c.GetPointByCategory(Others, CPoint(0, 0), 1), CPoint(0, 0));  // rows 0 and 1: nearer
  EXPECT_EQ(c.GetPointByCategory(Others, centre, 1), CPoint(-1, -1));
  EXPECT_EQ(c.GetPointByCategory(Blank, centre, 1), CPoint(-1, -1));
}

TEST(GeometryLine, ShallowLineRoundsHalfwayToTheLargerRow) {
  EXPECT_EQ(Line(CPoint(0, 0), CPoint(4, 2)), (Cells{{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}}));
  EXPECT_EQ(Line(CPoint(0, 0), CPoint(9, 0)).size(), 10u);
  // Going left and up: (row, col) (3,6) (3,5) (2,4) (2,3) (1,2).
  EXPECT_EQ(Line(CPoint(6, 3), CPoint(2, 1)), (Cells{{3, 6}, {3, 5}, {2, 4}, {2, 3}, {1, 2}}));
}

TEST(GeometryLine, SteepLinesStepTheRows) {
  EXPECT_EQ(Line(CPoint(5, 1), CPoint(5, 6)),
            (Cells{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}}));
  EXPECT_EQ(Line(CPoint(5, 6), CPoint(5, 1)), Line(CPoint(5, 1), CPoint(5, 6)));
  // Slope 2.5: the column grows by 0.4 a row: 0, 0.4, 0.8, 1.2, 1.6, 2.0.
  EXPECT_EQ(Line(CPoint(0, 0), CPoint(2, 5)),
            (Cells{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}));
}

TEST(GeometryLine, SinglePointsAndDiagonals) {
  EXPECT_EQ(Line(CPoint(3, 3), CPoint(3, 3)), (Cells{{3, 3}}));
  const Cells diagonal{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
  EXPECT_EQ(Line(CPoint(4, 4), CPoint(0, 0)), diagonal);
  EXPECT_EQ(Line(CPoint(0, 0), CPoint(4, 4)), diagonal);
  EXPECT_EQ(Line(CPoint(4, 0), CPoint(0, 4)), (Cells{{0, 4}, {1, 3}, {2, 2}, {3, 1}, {4, 0}}));
}

TEST(GeometryLine, CellsOutsideTheGridAreSkipped) {
  Cells row2;
  for (int k = 0; k < 10; ++k) row2.insert({2, k});
  EXPECT_EQ(Line(CPoint(-3, 2), CPoint(12, 2)), row2);
  EXPECT_EQ(Line(CPoint(12, 2), CPoint(-3, 2)), row2);
  EXPECT_EQ(Line(CPoint(20, 20), CPoint(30, 25)), Cells{});
  EXPECT_EQ(Line(CPoint(2000000000, 5), CPoint(2000000005, 5)), Cells{});
  EXPECT_EQ(Line(CPoint(5, INT_MAX - 3), CPoint(5, INT_MAX)), Cells{});
  // Coordinates are cut toward zero: row -2.5 + 0.5 stays outside, -0.5 + 0.5
  // and a minor coordinate between -1 and 0 land in row or column 0.
  EXPECT_EQ(Line(CPoint(0, -3), CPoint(3, 0)), (Cells{{0, 2}, {0, 3}}));
  EXPECT_EQ(Line(CPoint(-1, 0), CPoint(1, 4)), (Cells{{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}));
}

TEST(GeometryLine, OnlyTheIdsChange) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(6, 6, 9), 1);
  c.SetCellValue(0, 5, 2);
  c.CovDDALine(CPoint(0, 0), CPoint(5, 0), 1);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(c.GetCellValue(0, k), 1);
    EXPECT_EQ(c.GetCellAge(0, k), 9);
    EXPECT_EQ(c.GetCellValue(1, k), 0);
  }
  CLandUseCoverage empty;
  empty.CovDDALine(CPoint(0, 0), CPoint(3, 3), 1);  // nothing to write into
  EXPECT_EQ(empty.IsEmpty(), 1);
}
