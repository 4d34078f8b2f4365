// Moving about the grid: range and border band, the step shortened at the border in each of the
// eight directions, the nearest cell of a category and the drawn straight line.
#include <climits>
#include <set>

#include "support/scene.h"

using namespace testkit;

TEST(Geometry, RangeAndTheBorderBandFollowRowsAndColumns) {
  CLandUseCoverage c, wide, empty;
  ASSERT_EQ(c.InitCoverage(7, 12, 0) + wide.InitCoverage(8, 20, 0), 2);
  const int range[][3] = {{6, 11, 1}, {0, 0, 1},  {7, 0, 0},  {0, 12, 0},
                          {-1, 0, 0}, {0, -1, 0}, {11, 6, 0}, {INT_MIN, INT_MAX, 0}};
  for (const auto& k : range) EXPECT_EQ(c.IsInRange(k[0], k[1]), k[2]) << k[0] << "," << k[1];
  EXPECT_EQ(empty.IsInRange(0, 0), 0);
  const int band[][4] = {{2, 5, 3, 1},  {4, 5, 3, 1}, {5, 2, 3, 1},       {5, 8, 3, 1},
                         {3, 6, 3, 0},  {4, 3, 0, 0}, {0, 0, 0, 0},       {0, 0, 1, 1},
                         {-1, 5, 3, 0}, {7, 5, 3, 0}, {3, 5, INT_MAX, 1}, {3, 5, INT_MIN, 0}};
  for (const auto& k : band) EXPECT_EQ(c.IsInEdge(k[0], k[1], k[2]), k[3]) << k[0] << "," << k[1];
  EXPECT_FALSE(wide.IsInEdge(4, 16, 3));
  EXPECT_TRUE(wide.IsInEdge(4, 17, 3));
  EXPECT_TRUE(wide.IsInEdge(5, 10, 3));
}

TEST(Geometry, NewPointStraightStepsStopAtTheBorderDiagonalsTestTheColumnFirst) {
  // Each: the grid, the origin, the direction, the step asked; the point and the step afterwards.
  const std::tuple<int, int, int, int, int, int, int, int, int> moves[] = {
      {10, 10, 2, 3, 0, 5, 3, 0, 2},       {10, 10, 4, 8, 2, 5, 9, 4, 1},
      {10, 10, 2, 3, 1, 5, 8, 0, 2},  // row limit only: the column moves fully
      {10, 10, 2, 8, 1, 5, 9, 1, 1},       {10, 10, 8, 2, 5, 5, 1, 9, 1},
      {10, 10, 4, 4, 3, INT_MAX, 9, 9, 5}, {10, 10, 3, 6, INT_MIN, 4, 6, 3, 4}};
  for (const auto& [rows, cols, row, col, dir, asked, x, y, newStep] : moves) {
    CLandUseCoverage c;
    ASSERT_EQ(c.InitCoverage(rows, cols, 0), 1);
    int step = asked;
    const CPoint p = c.GetNewPoint(row, col, dir, step);
    EXPECT_EQ(std::make_tuple(p.x, p.y, step), std::make_tuple(x, y, newStep))
        << "dir " << dir << " from " << row << "," << col << " step " << asked;
    for (int zero = 0, d = 0; d < 8; ++d)  // a step of 0 stays at the origin
      EXPECT_EQ(c.GetNewPoint(row, col, d, zero), CPoint(col, row));
  }
}

TEST(Geometry, NearestRowFindOrNoneWhenThreeRowsFind) {
  // Each row within the window yields its leftmost match; one find is
  // returned, of two the nearer (the upper on a tie), of three or more none.
  const CPoint none(-1, -1), centre(5, 5), origin(0, 0);
  // Each: the houses (row, column), the centre and radius looked about, the cell found.
  const std::tuple<std::vector<std::pair<int, int>>, CPoint, int, CPoint> cases[] = {
      {{{3, 7}}, centre, 2, CPoint(7, 3)},
      {{{3, 7}}, centre, 1, none},
      {{{5, 1}, {5, 6}, {2, 5}}, centre, 4, CPoint(5, 2)},
      {{{4, 4}, {7, 5}}, centre, 3, CPoint(4, 4)},
      {{{5, 6}, {3, 3}, {7, 7}}, centre, 2, none},
      {{{5, 5}}, CPoint(10, 5), 3, origin},  // centre outside
      {{{5, 5}}, centre, INT_MIN, none},
      {{{2, 1}, {9, 9}}, CPoint(8, 8), INT_MAX, CPoint(9, 9)}};
  for (const auto& k : cases) {
    const auto& [houses, at, radius, expected] = k;
    Scene s(10, 10);
    for (auto rc : houses) s.Put(rc.first, rc.second, 3);
    EXPECT_EQ(s.cur.GetPointByCategory(House, at, radius), expected) << &k - cases;
  }
  Scene s(10, 10);  // without a set every cell is Others
  s.cur.m_pLandUseSet = nullptr;
  EXPECT_EQ(s.cur.GetPointByCategory(Others, centre, 0), centre);
  EXPECT_EQ(s.cur.GetPointByCategory(Others, origin, 1), origin);  // two rows: the nearer
  EXPECT_EQ(s.cur.GetPointByCategory(Others, centre, 1), none);
}

TEST(Geometry, CellsOfTheDrawnLine) {
  using Cells = std::set<std::pair<int, int>>;  // (row, column)
  Cells row2;
  for (int k = 0; k < 10; ++k) row2.insert({2, k});
  const Cells column5 = {{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}};
  const std::tuple<CPoint, CPoint, Cells> cases[] = {
      {{0, 0}, {4, 2}, {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}}},  // halfway: the larger row
      {{5, 1}, {5, 6}, column5},
      {{0, 0}, {2, 5}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}},
      {{4, 0}, {0, 4}, {{0, 4}, {1, 3}, {2, 2}, {3, 1}, {4, 0}}},
      {{-3, 2}, {12, 2}, row2},             // cells outside the grid are skipped
      {{0, -3}, {3, 0}, {{0, 2}, {0, 3}}},  // coordinates cut toward zero
      {{-1, 0}, {1, 4}, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}}};
  for (const auto& k : cases) {
    CLandUseCoverage c;
    ASSERT_EQ(c.InitCoverage(10, 10, 4), 1);
    c.CovDDALine(std::get<0>(k), std::get<1>(k), 7);
    Cells drawn;
    for (int r = 0; r < 10; ++r)
      for (int col = 0; col < 10; ++col)
        if (c.GetCellValue(r, col) == 7) drawn.insert({r, col});
    EXPECT_EQ(drawn, std::get<2>(k)) << &k - cases;
    EXPECT_EQ(Ages(c), std::vector<short>(100, 4));
  }
  CLandUseCoverage empty;
  empty.CovDDALine(CPoint(0, 0), CPoint(3, 3), 1);  // nothing to write into
  EXPECT_EQ(empty.IsEmpty(), 1);
}
