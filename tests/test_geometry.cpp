// Moving about the grid: range and border band, the shortened step in each
// of the eight directions, the nearest cell of a category and the drawn
// straight line.
#include <climits>
#include <set>

#include "support/scene.h"

using namespace testkit;

namespace {

using Cells = std::set<std::pair<int, int>>;  // (row, column)

Cells Line(CPoint from, CPoint to) {
  CLandUseCoverage c;
  EXPECT_EQ(c.InitCoverage(10, 10, 4), 1);
  c.CovDDALine(from, to, 7);
  EXPECT_EQ(Ages(c), std::vector<short>(100, 4));
  Cells out;
  for (int r = 0; r < 10; ++r)
    for (int k = 0; k < 10; ++k)
      if (c.GetCellValue(r, k) == 7) out.insert({r, k});
  return out;
}

struct Move {
  int row, col, dir, step;  // origin, direction and requested step
  int x, y, newStep;        // expected point and step afterwards
};

void ExpectMoves(int rows, int cols, const std::vector<Move>& moves) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(rows, cols, 0), 1);
  for (const Move& m : moves) {
    int step = m.step;
    const CPoint p = c.GetNewPoint(m.row, m.col, m.dir, step);
    EXPECT_EQ(p, CPoint(m.x, m.y)) << "dir " << m.dir << " from row " << m.row << " col " << m.col
                                   << " step " << m.step << ": got x " << p.x << " y " << p.y;
    EXPECT_EQ(step, m.newStep) << "dir " << m.dir << " from row " << m.row << " col " << m.col;
  }
}

}  // namespace

TEST(Geometry, RangeAndTheBorderBandFollowRowsAndColumns) {
  CLandUseCoverage c, wide, empty;
  ASSERT_EQ(c.InitCoverage(7, 12, 0), 1);
  ASSERT_EQ(wide.InitCoverage(8, 20, 0), 1);
  const int range[][3] = {{6, 11, 1}, {0, 0, 1},  {7, 0, 0},  {0, 12, 0},
                          {-1, 0, 0}, {0, -1, 0}, {11, 6, 0}, {INT_MIN, INT_MAX, 0}};
  for (const auto& k : range) EXPECT_EQ(c.IsInRange(k[0], k[1]), k[2]) << k[0] << "," << k[1];
  EXPECT_EQ(empty.IsInRange(0, 0), 0);
  const int band[][4] = {{2, 5, 3, 1},  {4, 5, 3, 1}, {5, 2, 3, 1},       {5, 8, 3, 1},
                         {3, 6, 3, 0},  {4, 3, 0, 0}, {0, 0, 0, 0},       {0, 0, 1, 1},
                         {-1, 5, 3, 0}, {7, 5, 3, 0}, {3, 5, INT_MAX, 1}, {3, 5, INT_MIN, 0}};
  for (const auto& k : band) EXPECT_EQ(c.IsInEdge(k[0], k[1], k[2]), k[3]) << k[0] << "," << k[1];
  EXPECT_EQ(wide.IsInEdge(4, 16, 3), 0);
  EXPECT_EQ(wide.IsInEdge(4, 17, 3), 1);
  EXPECT_EQ(wide.IsInEdge(5, 10, 3), 1);
  EXPECT_EQ(wide.IsInEdge(4, 10, 3), 0);
}

TEST(GeometryNewPoint, StraightDirectionsStopAtTheBorderDiagonalsTestTheColumnFirst) {
  ExpectMoves(10, 10,
              {
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
                  {2, 3, 1, 5, 8, 0, 2},  // up-right, row limit only: the
                                          // column moves the full step
                  {2, 8, 1, 5, 9, 1, 1},  // both limits: the smaller distance
                  {7, 6, 1, 5, 9, 4, 3},  // column limit only
                  {7, 2, 1, 3, 5, 4, 3},  // nothing shortened
                  {8, 7, 3, 5, 8, 9, 1},
                  {7, 2, 3, 5, 7, 9, 2},
                  {2, 7, 3, 5, 9, 4, 2},
                  {1, 1, 3, 3, 4, 4, 3},
                  {8, 2, 5, 5, 1, 9, 1},
                  {7, 6, 5, 5, 1, 9, 2},
                  {2, 3, 5, 5, 0, 5, 3},
                  {2, 6, 5, 3, 3, 5, 3},
                  {2, 6, 7, 5, 1, 0, 2},
                  {2, 3, 7, 5, 1, 0, 2},
                  {7, 2, 7, 5, 0, 5, 2},
                  {7, 6, 7, 3, 3, 4, 3},
                  {4, 4, 3, INT_MAX, 9, 9, 5},
                  {4, 6, 7, INT_MAX, 2, 0, 4},
                  {4, 6, 0, INT_MAX, 6, 0, 4},
                  {3, 6, 8, 4, 6, 3, 4},
                  {3, 6, -1, 4, 6, 3, 4},
                  {3, 6, INT_MIN, 4, 6, 3, 4},
              });
  ExpectMoves(8, 15,
              {
                  // last row 7, last column 14
                  {3, 12, 2, 5, 14, 3, 2},
                  {5, 12, 4, 5, 12, 7, 2},
                  {6, 11, 3, 5, 12, 7, 1},
                  {6, 2, 3, 5, 7, 7, 1},
                  {1, 12, 1, 5, 13, 0, 1},
              });
  std::vector<Move> zero;  // a step of 0 stays at the origin in every direction
  for (int dir = 0; dir < 8; ++dir)
    for (const auto& o : {std::pair<int, int>{0, 0}, {9, 9}, {4, 6}, {0, 9}})
      zero.push_back({o.first, o.second, dir, 0, o.second, o.first, 0});
  ExpectMoves(10, 10, zero);
}

TEST(GeometryFind, NearestRowFindOrNoneWhenThreeRowsFind) {
  // Each row within the window yields its leftmost match; one find is
  // returned, of two the nearer (the upper on a tie), of three or more none.
  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> houses;
    CPoint centre;
    int radius;
    CPoint expected;
  };
  const CPoint none(-1, -1), centre(5, 5);
  const Case cases[] = {
      {"one find", {{3, 7}}, centre, 2, CPoint(7, 3)},
      {"outside the window", {{3, 7}}, centre, 1, none},
      {"the centre cell", {{5, 5}}, centre, 0, centre},
      {"leftmost of a row", {{4, 6}, {4, 3}}, centre, 2, CPoint(3, 4)},
      {"leftmost even when farther", {{5, 1}, {5, 6}, {2, 5}}, centre, 4, CPoint(5, 2)},
      {"the nearer of two", {{3, 5}, {6, 5}}, centre, 3, CPoint(5, 6)},
      {"the upper on a tie", {{4, 4}, {7, 5}}, centre, 3, CPoint(4, 4)},
      {"three rows find", {{5, 6}, {3, 3}, {7, 7}}, centre, 2, none},
      {"only the adjacent one", {{5, 6}, {3, 3}, {7, 7}}, centre, 1, CPoint(6, 5)},
      {"centre outside", {{5, 5}}, CPoint(10, 5), 3, CPoint(0, 0)},
      {"centre outside, left", {{5, 5}}, CPoint(5, -1), 3, CPoint(0, 0)},
      {"centre outside, negative radius", {{5, 5}}, CPoint(-1, -1), -2, CPoint(0, 0)},
      {"negative radius", {{5, 5}}, centre, -1, none},
      {"most negative radius", {{5, 5}}, centre, INT_MIN, none},
      {"window past the border", {{2, 1}}, CPoint(0, 0), 3, CPoint(1, 2)},
      {"radius beyond the grid", {{2, 1}}, CPoint(9, 9), INT_MAX, CPoint(1, 2)},
      {"radius beyond the grid, nearer", {{2, 1}, {9, 9}}, CPoint(8, 8), INT_MAX, CPoint(9, 9)},
  };
  for (const Case& k : cases) {
    Scene s(10, 10);
    for (auto rc : k.houses) s.Put(rc.first, rc.second, 3);
    EXPECT_EQ(s.cur.GetPointByCategory(House, k.centre, k.radius), k.expected) << k.what;
  }
  Scene s(10, 10);  // without a set every cell is Others
  s.Put(3, 7, 3);
  EXPECT_EQ(s.cur.GetPointByCategory(Industry, centre, 9), none);
  s.cur.m_pLandUseSet = nullptr;
  EXPECT_EQ(s.cur.GetPointByCategory(Others, centre, 0), centre);
  EXPECT_EQ(s.cur.GetPointByCategory(Others, CPoint(0, 0), 1), CPoint(0, 0));  // two rows: nearer
  EXPECT_EQ(s.cur.GetPointByCategory(Others, centre, 1), none);
  EXPECT_EQ(s.cur.GetPointByCategory(Blank, centre, 1), none);
}

TEST(GeometryLine, CellsOfTheDrawnLine) {
  Cells row2, diagonal{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
  for (int k = 0; k < 10; ++k) row2.insert({2, k});
  struct Case {
    CPoint from, to;
    Cells cells;
  };
  const Case cases[] = {
      {{0, 0},
       {4, 2},
       {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}}},  // halfway rounds to the larger row
      {{6, 3}, {2, 1}, {{3, 6}, {3, 5}, {2, 4}, {2, 3}, {1, 2}}},  // left and up
      {{5, 1}, {5, 6}, {{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}}},
      {{5, 6}, {5, 1}, {{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}}},
      {{0, 0}, {2, 5}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}},  // 0.4 a row
      {{3, 3}, {3, 3}, {{3, 3}}},
      {{4, 4}, {0, 0}, diagonal},
      {{0, 0}, {4, 4}, diagonal},
      {{4, 0}, {0, 4}, {{0, 4}, {1, 3}, {2, 2}, {3, 1}, {4, 0}}},
      {{-3, 2}, {12, 2}, row2},  // cells outside the grid are skipped
      {{12, 2}, {-3, 2}, row2},
      {{20, 20}, {30, 25}, {}},
      {{2000000000, 5}, {2000000005, 5}, {}},
      {{5, INT_MAX - 3}, {5, INT_MAX}, {}},
      {{0, -3}, {3, 0}, {{0, 2}, {0, 3}}},  // coordinates cut toward zero
      {{-1, 0}, {1, 4}, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}},
  };
  for (const Case& k : cases)
    EXPECT_EQ(Line(k.from, k.to), k.cells)
        << k.from.x << "," << k.from.y << " to " << k.to.x << "," << k.to.y;
  CLandUseCoverage empty;
  empty.CovDDALine(CPoint(0, 0), CPoint(3, 3), 1);  // nothing to write into
  EXPECT_EQ(empty.IsEmpty(), 1);
}
