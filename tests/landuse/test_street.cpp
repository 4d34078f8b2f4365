// The street rules. A street node: junction fill, spacing, demand, up to
// eight direction attempts, the length, the far-end probe in the new
// coverage and the three ways of treating a node near the far end. A street
// vertex cleared without a street neighbour, and others land that never
// changes. Expectations about random choices come from the replayed
// generator.
#include <climits>

#include "support/scene.h"

using namespace testkit;

namespace {

constexpr const char* kDirectionMessage = "Direction is wrong during caculation in StreetNode...";

// One direction can win and the length draw is always 1: policy,
// direction and length take one draw each, the step is 5.
void Force(CStreetNode& node, int dir) {
  for (int i = 0; i < 8; ++i) node.m_nDirectionProb[i] = i == dir ? 1 : 0;
  node.m_nMaxStep = 2;
}

// The cells of a 20-column coverage with a street of len cells from (r, c):
// vertices (ID vid), then the node at the far end.
std::vector<unsigned char> WithStreet(std::vector<unsigned char> v, int r, int c, int dir, int len,
                                      int vid = 2) {
  for (int k = 1; k < len; ++k) v[(r + k * kDRow[dir]) * 20 + c + k * kDCol[dir]] = vid;
  v[(r + len * kDRow[dir]) * 20 + c + len * kDCol[dir]] = 1;
  return v;
}

// A node at (10, 10) with houses at row 6, columns 6 to 8: enough demand.
void Town(Scene& s, int row = 10, int col = 10, int housesRow = 6, int housesCol = 6) {
  s.Put(row, col, 1);
  s.PutRow(housesRow, housesCol, housesCol + 2, 3);
  s.Start();
}

}  // namespace

TEST(StreetNode, SpacingDemandAndBlockedDirections) {
  Scene t;
  CStreetNode node;
  t.Put(10, 10, 1);
  t.Put(13, 13, 1);  // corner of the 7 x 7 square
  t.Put(10, 14, 1);  // outside it
  t.Put(7, 10, 2);   // a vertex is no node
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, 10, 10), 2);
  node.m_nMinStep = 5;
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, 10, 10), 3);
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, -1, 3) + node.CheckOtherStreetNode(nullptr, 1, 3), 0);
  // Demand: 10 % housing, 60 % industry or 70 % commerce of the base 5 x 5
  // neighbourhood (3, 15, 18 cells), counted in the square of radius min
  // step; others, streets and unknown IDs give none.
  for (const auto& k : {std::pair<int, int>{3, 3}, {4, 15}, {5, 18}}) {
    Scene u;
    CStreetNode n;
    u.Put(5, 10, k.first);  // distance 5: outside
    for (int i = 0; i < k.second - 1; ++i) u.Put(6 + i / 9, 6 + i % 9, k.first);
    EXPECT_EQ(n.CheckHouseIndustryCommerce(&u.cur, 10, 10), 0) << k.first;
    u.Put(14, 14, k.first);
    EXPECT_EQ(n.CheckHouseIndustryCommerce(&u.cur, 10, 10), 1) << k.first;
    for (int c = 6; c <= 14; ++c) u.Put(6, c, 6), u.Put(7, c, 2), u.Put(8, c, 1), u.Put(9, c, 200);
    EXPECT_EQ(n.CheckHouseIndustryCommerce(&u.cur, 10, 10), 0) << k.first;
  }
  Scene u;
  u.Put(13, 13, 3);
  u.Put(11, 11, 3);
  u.Put(9, 9, 3);
  node.m_nNeighborRadius = 2;
  node.m_nMinStep = 2;  // the square shrinks, the threshold stays 3
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&u.cur, 10, 10), 0);
  u.Put(12, 8, 3);
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&u.cur, 10, 10), 1);
  node.m_nNeighborRadius = 1;  // 10 % of 9 cells: 1
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&u.cur, -1, 10) * 10 +
                node.CheckHouseIndustryCommerce(&u.cur, 12, 8),
            1);
  // A direction is blocked by the set's vertex ID (drawn first, even for a
  // wrong direction) and by the edge; a house does not block.
  t.Put(10, 11, 2);
  t.Put(9, 9, 3);
  EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, 2) * 10 +
                node.IsDevelopedInDirection(&t.cur, 10, 10, 7),
            10);
  const int edges[4][5] = {{0, 5, 0, 1, 7}, {19, 5, 3, 4, 5}, {5, 0, 5, 6, 7}, {5, 19, 1, 2, 3}};
  for (const auto& e : edges)
    for (int d = 0; d < 8; ++d)
      EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, e[0], e[1], d),
                d == e[2] || d == e[3] || d == e[4]);
  t.Add<CStreetVertex>(8);
  t.Put(10, 11, 8);
  NoticeRecorder notices;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    Replay rp(seed);
    const bool is8 = rp.Int(2) == 2;
    EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, seed % 2 ? 2 : 8 + seed),
              is8 && seed % 2);
    EXPECT_TRUE(rp.DrawsMatch());
  }
  EXPECT_EQ(notices.texts, std::vector<std::string>(6, kDirectionMessage));
}

TEST(StreetNode, UpdateWritesVerticesThenTheEndNodeInsideTheGridOnly) {
  CStreetNode node;
  for (int d = 0; d < 8; ++d) {
    Scene t;
    t.next.SetGridValue(5);
    t.next.SetCoverageAge(9);
    EXPECT_EQ(node.UpdateCoverage(&t.next, 10, 10, d, 3, 77), 1);
    EXPECT_EQ(Values(t.next), WithStreet(std::vector<unsigned char>(400, 5), 10, 10, d, 3, 77))
        << d;
    EXPECT_EQ(Ages(t.next), std::vector<short>(400, 9));
  }
  // Length 1: only the end; 0 or no such direction: the origin; cut at the
  // border (coming into the grid too), never beyond it.
  const int calls[][4] = {
      {10, 10, 4, 1},     {3, 8, 4, 0},   {5, 7, 9, 4},   {6, 7, -3, 4},
      {0, 0, 4, INT_MAX}, {19, 19, 3, 5}, {-5, -5, 3, 9}, {INT_MAX, INT_MIN, 5, INT_MAX},
      {3, 3, 7, INT_MIN}};
  Scene u;
  for (const auto& k : calls) EXPECT_EQ(node.UpdateCoverage(&u.next, k[0], k[1], k[2], k[3], 2), 1);
  EXPECT_EQ(node.UpdateCoverage(nullptr, 3, 3, 7, 4, 2), 1);
  std::vector<unsigned char> expected(400, 0);
  for (int r = 1; r < 20; ++r) expected[r * 20] = 2;
  for (int k = 0; k <= 3; ++k) expected[k * 21] = 2;
  for (int at : {4 * 21, 11 * 20 + 10, 3 * 20 + 8, 5 * 20 + 7, 6 * 20 + 7}) expected[at] = 1;
  EXPECT_EQ(Values(u.next), expected);
}

TEST(StreetNode, PolicyDirectionAndLengthDrawsTheStepIsMinStepPlusLength) {
  std::mt19937 g(1);  // from seed 9 on, random density laws (negative sums too)
  for (unsigned seed = 1; seed <= 60; ++seed) {
    Scene t;
    Town(t);
    CStreetNode node;
    if (seed > 8) RandomLaw(g, node), node.m_nMaxStep = 2 + seed % 5;
    Replay rp(seed);
    rp.Int(100);
    const int dir = rp.MaxIndex({150, 100, 150, 100, 150, 100, 150, 100});
    const int step = 5 + rp.MaxIndex(LengthPerMille(node, node.m_nMaxStep));
    ASSERT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1) << seed;
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
    EXPECT_EQ(Values(t.next), WithStreet(Values(t.cur), 10, 10, dir, step)) << seed;
    Replay r2(seed);
    EXPECT_EQ(node.GetRealStep(), 4 + r2.MaxIndex(LengthPerMille(node, node.m_nMaxStep)) + 1);
    EXPECT_TRUE(r2.DrawsMatch());
  }
  // Policy and demand (read from the current coverage) refuse after the
  // policy draw; so do the eight direction attempts of a ringed corner node.
  for (int k = 0; k < 3; ++k) {
    Scene t;
    if (k == 2)
      Town(t, 0, 0, 3, 2), t.Put(0, 1, 2), t.Put(1, 0, 2), t.Put(1, 1, 2), t.Start();
    else
      Town(t, 10, 10, k ? 16 : 6, 6);
    if (k == 1)
      t.next.SetCellValue(6, 6, 3), t.next.SetCellValue(6, 7, 3), t.next.SetCellValue(6, 8, 3);
    CStreetNode node;
    node.m_nPolicy = k == 0 ? 0 : 100;
    const auto before = Values(t.next);
    Replay rp(21);
    EXPECT_EQ(node.Develop(&t.cur, k == 2 ? 0 : 10, k == 2 ? 0 : 10, &t.next), 0) << k;
    rp.Skip(k == 2 ? 1 + 8 * 8 : 1);  // the default weights take eight draws per attempt
    EXPECT_TRUE(rp.DrawsMatch()) << k;
    EXPECT_EQ(Values(t.next), before) << k;
  }
}

TEST(StreetNode, BlockedDirectionsAreRetriedUpToEightTimes) {
  Scene u;  // a node in row 0: direction 0 is blocked, 2 is free
  Town(u, 0, 5, 3, 3);
  u.Put(3, 6, 3);
  u.Start();
  CStreetNode node;
  for (int i = 0; i < 8; ++i) node.m_nDirectionProb[i] = (i == 0 || i == 2) ? 100 : 0;
  node.m_nMaxStep = 2;
  int retried = 0, built = 0;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    u.Start();
    Replay rp(seed);
    rp.Int(100);
    int attempts = 0;
    bool free = false;
    while (attempts < 8 && !free) ++attempts, free = rp.MaxIndex({100, 0, 100, 0, 0, 0, 0, 0}) == 2;
    rp.Skip(free);  // the length
    EXPECT_EQ(node.Develop(&u.cur, 0, 5, &u.next), free) << seed;
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
    EXPECT_EQ(Values(u.next), free ? WithStreet(Values(u.cur), 0, 5, 2, 5) : Values(u.cur));
    built += free;
    retried += free && attempts > 1;
  }
  EXPECT_GT(retried, 0);
  EXPECT_GT(built, retried);
}

TEST(StreetNode, ForcedStreetsTheirBorderTheFarEndProbeAndTheConnectModes) {
  // The spacing reads the current coverage, the far-end probe the new one:
  // a node written earlier in the pass near the far end stops a free street;
  // mode 0 (and unknown modes) then build nothing, mode 1 joins a single
  // find in the origin's row or column, mode 2 any single find; the search
  // radius is trunc(min step x 0.66); more finds build nothing. Streets are
  // cut at the border.
  using Cells = std::vector<std::pair<int, int>>;
  struct Case {
    int row, col, housesRow, housesCol;     // origin, three houses from there
    Cells curNodes, nextNodes, nextVacant;  // written after the step's start
    int dir, mode, minStep, maxStep;
    int built, street, draws;  // street: length from the origin, 0 none; draws -1: any
  };
  const Case cases[] = {
      {10, 10, 6, 6, {}, {}, {}, 2, 0, 4, 2, 1, 5, 3},           // the worked case
      {10, 10, 6, 6, {{13, 7}}, {}, {}, 2, 0, 4, 2, 0, 0, 1},    // spacing
      {10, 10, 0, 6, {}, {}, {}, 2, 0, 4, 2, 0, 0, 1},           // demand: houses too far
      {10, 10, 9, 9, {}, {}, {}, 2, 0, 1, 1, 1, 1, 2},           // length one: no length draw
      {10, 10, 6, 6, {{10, 16}}, {}, {}, 2, 0, 4, 2, 1, 5, 3},   // a node in the current only
      {10, 10, 6, 6, {}, {{10, 8}}, {}, 2, 0, 4, 2, 1, 5, 3},    // in the new one: no spacing
      {2, 5, 6, 2, {}, {}, {}, 0, 0, 4, 2, 0, 0, 3},             // cut at the top: the origin
      {2, 5, 6, 2, {}, {}, {{2, 5}}, 0, 0, 4, 2, 1, 2, 3},       // ... gone from the new one
      {2, 3, 5, 0, {}, {}, {}, 1, 0, 4, 2, 1, 2, 3},             // diagonal, probe (0, 8)
      {2, 3, 5, 0, {}, {{0, 11}}, {}, 1, 0, 4, 2, 0, 0, 3},      // ... finds (0, 11)
      {10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 0, 4, 2, 0, 0, 3},   // mode 0
      {10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 5, 4, 2, 0, 0, -1},  // unknown mode
      {10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 1, 4, 2, 1, 6, -1},  // mode 1 along the row
      {10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 2, 4, 2, 1, 6, -1},  // mode 2
      {10, 10, 14, 6, {}, {{3, 10}}, {}, 0, 1, 4, 2, 1, 7, -1},  // mode 1 along the column
      {10, 10, 6, 6, {}, {{11, 16}}, {}, 2, 1, 4, 2, 0, 0, -1},  // mode 1, elsewhere
      {10, 10, 6, 6, {}, {{10, 18}}, {}, 2, 2, 4, 2, 0, 0, -1},  // beyond the join radius 2
      {10, 10, 6, 6, {}, {{10, 18}}, {}, 2, 2, 5, 2, 1, 8, -1},  // within the join radius 3
      {10, 10, 6, 6, {}, {{8, 15}, {10, 16}, {12, 14}}, {}, 2, 2, 4, 2, 0, 0, -1},  // three finds
      {10, 17, 6, 13, {}, {}, {}, 2, 1, 4, 2, 0, 0, -1},  // cut at the border, mode 1: the origin
      {10, 17, 6, 13, {}, {}, {}, 2, 2, 4, 2, 1, 0, -1},  // mode 2 joins the origin to itself
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(&k - cases);
    Scene t;
    Town(t, k.row, k.col, k.housesRow, k.housesCol);
    for (auto rc : k.curNodes) t.Put(rc.first, rc.second, 1);
    for (auto rc : k.nextNodes) t.next.SetCellValue(rc.first, rc.second, 1);
    for (auto rc : k.nextVacant) t.next.SetCellValue(rc.first, rc.second, 0);
    CStreetNode node;
    Force(node, k.dir);
    node.m_nConnectMode = k.mode;
    node.m_nMinStep = k.minStep;
    node.m_nMaxStep = k.maxStep;
    const auto before = Values(t.next), cur = Values(t.cur);
    const auto ages = Ages(t.next);
    Replay rp(9);
    EXPECT_EQ(node.Develop(&t.cur, k.row, k.col, &t.next), k.built);
    rp.Skip(k.draws);
    EXPECT_TRUE(k.draws < 0 || rp.DrawsMatch());
    EXPECT_EQ(Values(t.next),
              k.street ? WithStreet(before, k.row, k.col, k.dir, k.street) : before);
    EXPECT_EQ(Values(t.cur), cur);  // the current coverage is never written
    EXPECT_EQ(Ages(t.next), ages);
  }
  Scene t;  // mode 2 joins a find in another row and column along the drawn line
  Town(t);
  t.next.SetCellValue(11, 16, 1);
  CLandUseCoverage line;
  line.InitCoverage(20, 20, 0);
  line.CopyValueFromCoverage(&t.next);
  line.CovDDALine(CPoint(10, 10), CPoint(16, 11), 2);
  line.SetCellValue(10, 10, 1);
  line.SetCellValue(11, 16, 1);
  CStreetNode node;
  Force(node, 2);
  node.m_nConnectMode = 2;
  EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
  EXPECT_EQ(Values(t.next), Values(line));
}

TEST(StreetNode, TheJoinWritesFixedIdsAFreeStreetTheSetsDrawnAfterTheLength) {
  for (int mode : {2, 0}) {  // node ID 9 and vertex ID 8 in the set
    Scene t;
    t.Get<CLandUse>(1)->SetID(9);
    t.Get<CLandUse>(2)->SetID(8);
    t.Put(10, 10, 9);
    t.PutRow(6, 6, 8, 3);
    t.Start();
    if (mode == 2) t.next.SetCellValue(10, 16, 9);
    CStreetNode node;
    Force(node, 2);
    node.m_nConnectMode = mode;
    auto expected = WithStreet(Values(t.next), 10, 10, 2, mode == 2 ? 6 : 5, mode == 2 ? 2 : 8);
    expected[10 * 20 + (mode == 2 ? 10 : 15)] = mode == 2 ? 1 : 9;  // the join: 1s at both ends
    NoticeRecorder notices;
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
    EXPECT_EQ(Values(t.next), expected) << mode;
    EXPECT_EQ(notices.texts, std::vector<std::string>(mode == 0, kIndustryNotice));
  }
  Scene t;  // a second node land use, picked after the length, noticed after the write
  Town(t);
  t.Add<CStreetNode>(7);
  CStreetNode node;
  Force(node, 2);
  std::vector<int> endAtNotice;
  const MessageHandler previous = SetMessageHandler([&](const std::string& text) {
    EXPECT_EQ(text, kIndustryNotice);
    endAtNotice.push_back(t.next.GetCellValue(10, 15));
  });
  int picked7 = 0;
  for (unsigned seed = 1; seed <= 10; ++seed) {
    endAtNotice.clear();
    t.Start();
    Replay rp(seed);
    rp.Skip(3);
    const int id = rp.Int(2) == 2 ? 7 : 1;
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
    EXPECT_EQ(t.next.GetCellValue(10, 15), id);
    EXPECT_EQ(endAtNotice, std::vector<int>(id == 7, 7));
    EXPECT_TRUE(rp.DrawsMatch());
    picked7 += id == 7;
  }
  SetMessageHandler(previous);
  EXPECT_GT(picked7 * (10 - picked7), 0);
  Replay rp(1);  // cells outside the grid and missing coverages: nothing at all
  for (auto rc : {std::pair<int, int>{-1, -1}, {20, 5}, {5, 20}, {INT_MAX, INT_MIN}})
    EXPECT_EQ(node.Develop(&t.cur, rc.first, rc.second, &t.next), 0);
  EXPECT_EQ(node.Develop(nullptr, 10, 10, &t.next) + node.Develop(&t.cur, 10, 10, nullptr), 0);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(StreetNode, JunctionFillsVacantNeighboursRowByRowIntoTheNewCoverage) {
  // Per vacant neighbour (current coverage) in visiting order: a fill draw
  // (above the percent the rest of the row is left), then the category
  // draw (housing up to the percent, else commerce). Only with enough
  // vertices around, only cells in the grid; the written ages are 0.
  struct Case {
    int row, col, vertices, fillPercent, housePercent, extra[3];
    bool off;
  } cases[] = {{10, 10, 4, 100, 50, {-1}, false},        {0, 0, 0, 100, 50, {-1}, false},
               {10, 10, 0, 0, 50, {-1}, false},          {10, 10, 4, 100, 99, {9, 9, 3}, false},
               {10, 10, 4, 100, -1, {10, 11, 0}, false}, {10, 10, 4, 100, 50, {-1}, true}};
  bool mixed = false;
  for (const Case& k : cases)
    for (unsigned seed = 1; seed <= 30; ++seed) {
      SCOPED_TRACE(testing::Message() << &k - cases << " seed " << seed);
      Scene t;
      t.Put(k.row, k.col, 1);
      if (k.row == 10) t.Put(9, 10, 2), t.Put(11, 10, 2), t.Put(10, 9, 2), t.Put(10, 11, 2);
      if (k.extra[0] >= 0) t.Put(k.extra[0], k.extra[1], k.extra[2]);
      t.Start();
      t.next.SetCoverageAge(7);
      t.next.SetCellValue(11, 11, 6);  // the new coverage's value is not read
      CStreetNode node;
      node.m_nJunctionVertices = k.vertices;
      node.m_nJunctionFillPercent = k.fillPercent;
      node.m_nJunctionHousePercent = k.housePercent;
      node.m_bJunctionFill = !k.off;
      auto expected = Values(t.next);
      auto ages = Ages(t.next);
      Replay rp(seed);
      rp.Skip(1);  // policy
      const bool fills = !k.off && t.Count(k.row, k.col, 1, {2}) >= node.m_nJunctionVertices;
      for (int r = k.row - 1; r <= k.row + 1 && fills; ++r)
        for (int c = k.col - 1; c <= k.col + 1; ++c) {
          if ((r == k.row && c == k.col) || r < 0 || c < 0 || t.cur.GetCellValue(r, c) != 0)
            continue;
          if (rp.Draw() % 100 > k.fillPercent) break;
          expected[r * 20 + c] = rp.Draw() % 100 > k.housePercent ? 5 : 3;
          ages[r * 20 + c] = 0;
        }
      EXPECT_EQ(node.Develop(&t.cur, k.row, k.col, &t.next), 0);  // no demand
      EXPECT_TRUE(rp.DrawsMatch());
      EXPECT_EQ(Values(t.next), expected);
      EXPECT_EQ(Ages(t.next), ages);
      mixed = mixed || expected != Values(t.cur);
    }
  EXPECT_TRUE(mixed);
  Scene t;  // the street goes on after the fill and overwrites a filled cell
  Town(t, 10, 10, 14, 6);
  t.Put(9, 10, 2), t.Put(11, 10, 2), t.Put(10, 9, 2), t.Put(10, 11, 2);
  t.Start();
  CStreetNode node;
  Force(node, 7);
  node.m_nJunctionHousePercent = 99;
  auto expected = Values(t.cur);
  for (int at : {9 * 20 + 9, 9 * 20 + 11, 11 * 20 + 9, 11 * 20 + 11}) expected[at] = 3;
  EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
  EXPECT_EQ(Values(t.next), WithStreet(expected, 10, 10, 7, 5));
}

TEST(StreetVertex, TwoStreetCellsInTheWindowKeepTheCellFewerClearIt) {
  // The cell, then other cells of the current coverage (row, col, id).
  struct Case {
    int row, col, id;
    std::vector<std::array<int, 3>> others;
    int cleared;
  };
  std::vector<Case> cases = {{4, 4, 2, {{2, 4, 2}, {3, 3, 3}, {5, 5, 6}, {4, 5, 200}}, 1},
                             {4, 4, 3, {{5, 5, 1}}, 1},
                             {4, 4, 3, {{5, 5, 1}, {3, 3, 2}}, 0}};
  for (int id : {1, 2})
    for (int n = 0; n < 8; ++n) cases.push_back({4, 4, 2, {{{4 + kDRow[n], 4 + kDCol[n], id}}}, 0});
  for (const auto& k : {std::array<int, 4>{0, 0, 1, 1}, {0, 9, 0, 8}, {9, 0, 8, 0}, {9, 9, 8, 9}}) {
    cases.push_back({k[0], k[1], 2, {{{k[2], k[3], 2}}}, 0});
    cases.push_back({k[0], k[1], 2, {}, 1});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.row << "," << k.col << " case " << &k - cases.data());
    Scene s(10, 10);
    s.Put(k.row, k.col, k.id);
    for (const auto& o : k.others) s.Put(o[0], o[1], o[2]);
    s.Start();
    s.next.SetCellAge(k.row, k.col, 12);
    s.next.SetCellValue(k.row == 4 ? 5 : 1, 4,
                        2);  // a street written earlier in the pass: not read
    auto expected = Values(s.next);
    const auto ages = Ages(s.next);
    const auto cur = Values(s.cur);
    expected[k.row * 10 + k.col] = k.cleared ? 0 : k.id;
    CStreetVertex v;
    Replay rp(3);
    EXPECT_EQ(v.Develop(&s.cur, k.row, k.col, &s.next), k.cleared);
    EXPECT_TRUE(rp.DrawsMatch());  // one vacant land use: nothing drawn
    EXPECT_EQ(Values(s.next), expected);
    EXPECT_EQ(Ages(s.next), ages);
    EXPECT_EQ(Values(s.cur), cur);
  }
}

TEST(StreetVertex, IdentitySeveralVacantLandUsesAndCellsOutside) {
  CStreetVertex v;
  EXPECT_EQ(std::make_tuple(v.GetID(), v.GetLandUseCategory(), v.GetColor(), v.GetLandUseName()),
            std::make_tuple(static_cast<unsigned char>(2), StreetVertex, 0x8CB4D2u,
                            std::string("Street Vertex")));
  Scene s(10, 10);
  s.Add<CLandUse>(9);
  s.Put(4, 4, 2);
  s.Start();
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
  EXPECT_GT(picked9 * (12 - picked9), 0);
  s.Start();
  for (auto rc : {std::pair<int, int>{-1, 0}, {0, -1}, {10, 3}, {3, 10}, {INT_MIN, INT_MAX}})
    EXPECT_EQ(v.Develop(&s.cur, rc.first, rc.second, &s.next), 0);
  EXPECT_EQ(v.Develop(nullptr, 1, 1, &s.next) + v.Develop(&s.cur, 4, 4, nullptr), 0);
  EXPECT_TRUE(s.SameExcept({}));
}

TEST(OthersLand, IdentityAndADevelopThatChangesAndDrawsNothing) {
  COthersLand o;
  const CLandUse plain;
  EXPECT_EQ(std::make_tuple(o.GetID(), o.GetLandUseCategory(), o.GetColor(), o.GetLandUseName(),
                            o.m_nActiveAge, o.m_nInactivePeriod, o.m_nNeighborRadius,
                            o.m_nMaxLength, o.m_nPolicy),
            std::make_tuple(static_cast<unsigned char>(6), Others, 0u, std::string("Others"),
                            plain.m_nActiveAge, plain.m_nInactivePeriod, plain.m_nNeighborRadius,
                            plain.m_nMaxLength, 100));
  Scene s(8, 9);
  SeedRandom(17);
  ASSERT_EQ(s.cur.RandomFill(), 1);
  for (int r = 0; r < 8; ++r) s.cur.SetCellValue(r, r, 6);
  s.Start();
  s.next.SetCellValue(0, 1, 4);
  const auto cur = Values(s.cur), next = Values(s.next);
  const auto ages = Ages(s.next);
  Replay rp(99);
  for (int r = -1; r <= 8; ++r)
    for (int c = -1; c <= 9; ++c) EXPECT_EQ(o.Develop(&s.cur, r, c, &s.next), 1);
  EXPECT_EQ(o.Develop(nullptr, 0, 0, nullptr), 1);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(std::make_tuple(Values(s.cur), Values(s.next), Ages(s.next)),
            std::make_tuple(cur, next, ages));
}
