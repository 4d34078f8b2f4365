// The street vertex rule: a cell with fewer than two street cells (node or
// vertex) in its 3 x 3 window, itself included, is cleared to vacant land in
// the new coverage.
#include <climits>

#include "support/scene.h"

using namespace testkit;

TEST(StreetVertex, TwoStreetCellsInTheWindowKeepTheCellFewerClearIt) {
  // Each case: the cell, then the other cells of the current coverage.
  struct Case {
    const char* what;
    int row, col, id;
    std::vector<std::vector<int>> others;  // row, col, id
    int cleared;
  };
  std::vector<Case> cases = {
      {"isolated, streets two rows away",
       4,
       4,
       2,
       {{2, 4, 2}, {3, 3, 3}, {5, 5, 6}, {4, 5, 200}},
       1},
      {"housing beside a node", 4, 4, 3, {{5, 5, 1}}, 1},
      {"housing between a node and a vertex", 4, 4, 3, {{5, 5, 1}, {3, 3, 2}}, 0},
  };
  const int neighbours[8][2] = {{3, 3}, {3, 4}, {3, 5}, {4, 3}, {4, 5}, {5, 3}, {5, 4}, {5, 5}};
  for (int id : {1, 2})
    for (const auto& n : neighbours)
      cases.push_back({"one street neighbour", 4, 4, 2, {{n[0], n[1], id}}, 0});
  const int corners[4][4] = {{0, 0, 1, 1}, {0, 9, 0, 8}, {9, 0, 8, 0}, {9, 9, 8, 9}};
  for (const auto& k : corners) {
    cases.push_back({"corner with a neighbour", k[0], k[1], 2, {{k[2], k[3], 2}}, 0});
    cases.push_back({"corner alone", k[0], k[1], 2, {}, 1});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.what << " at " << k.row << "," << k.col);
    Scene s(10, 10);
    s.Put(k.row, k.col, k.id);
    for (const auto& o : k.others) s.Put(o[0], o[1], o[2]);
    s.Start();
    s.next.SetCellAge(k.row, k.col, 12);
    const auto cur = Values(s.cur);
    auto expected = Values(s.next);
    const auto ages = Ages(s.next);
    if (k.cleared) expected[k.row * 10 + k.col] = 0;
    CStreetVertex v;
    Replay rp(3);
    EXPECT_EQ(v.Develop(&s.cur, k.row, k.col, &s.next), k.cleared);
    EXPECT_TRUE(rp.DrawsMatch());  // one vacant land use: nothing drawn
    EXPECT_EQ(Values(s.next), expected);
    EXPECT_EQ(Ages(s.next), ages);
    EXPECT_EQ(Values(s.cur), cur);
  }
}

TEST(StreetVertex, ReadsTheCurrentCoverageOnly) {
  Scene s(10, 10);
  s.Put(4, 4, 2);
  s.Start();
  s.next.SetCellValue(4, 5, 2);  // a street cell written earlier in the pass
  CStreetVertex v;
  EXPECT_EQ(v.Develop(&s.cur, 4, 4, &s.next), 1);
  EXPECT_EQ(s.next.GetCellValue(4, 4), 0);
  EXPECT_EQ(s.next.GetCellValue(4, 5), 2);
}

TEST(StreetVertex, IdentityAndSeveralVacantLandUsesPickedByTheSet) {
  CStreetVertex identity;
  EXPECT_EQ(identity.GetID(), 2);
  EXPECT_EQ(identity.GetLandUseCategory(), StreetVertex);
  EXPECT_EQ(identity.GetColor(), 0x8CB4D2u);
  EXPECT_EQ(identity.GetLandUseName(), "Street Vertex");
  Scene s(10, 10);
  s.Add<CLandUse>(9);
  s.Put(4, 4, 2);
  s.Start();
  CStreetVertex v;
  int picked9 = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    Replay rp(seed);
    const int expected = rp.Int(2) == 1 ? 0 : 9;
    s.next.SetCellValue(4, 4, 2);
    EXPECT_EQ(v.Develop(&s.cur, 4, 4, &s.next), 1);
    EXPECT_EQ(s.next.GetCellValue(4, 4), expected) << seed;
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
    picked9 += expected == 9;
  }
  EXPECT_GT(picked9, 0);
  EXPECT_LT(picked9, 12);
}

TEST(StreetVertex, ACellOutsideTheGridWritesNothing) {
  Scene s(10, 10);
  CStreetVertex v;
  for (auto rc : {std::pair<int, int>{-1, 0}, {0, -1}, {10, 3}, {3, 10}, {INT_MIN, INT_MAX}})
    EXPECT_EQ(v.Develop(&s.cur, rc.first, rc.second, &s.next), 0);
  EXPECT_EQ(v.Develop(nullptr, 1, 1, &s.next), 0);
  EXPECT_EQ(v.Develop(&s.cur, 1, 1, nullptr), 0);
  EXPECT_TRUE(s.SameExcept({}));
}
