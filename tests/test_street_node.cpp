// The street node rule: junction fill, spacing, demand, the direction
// attempts, the street length, the far-end probe in the new coverage and
// the three ways of treating a node near the far end. Expectations about
// random choices come from replaying the generator.
#include <climits>

#include "support/scene.h"

using namespace testkit;

namespace {

constexpr const char* kDirectionMessage = "Direction is wrong during caculation in StreetNode...";

// The worked case: a node at (10, 10), three houses in row 6.
void WorkedCase(Scene& s) {
  s.Put(10, 10, 1);
  s.PutRow(6, 6, 8, 3);
  s.Start();
}

// Only one direction can win the direction draw and the length draw is
// always 1: policy, direction and length take one draw each, step 5.
void Force(CStreetNode& node, int dir) {
  for (int i = 0; i < 8; ++i) node.m_nDirectionProb[i] = i == dir ? 1 : 0;
  node.m_nMaxStep = 2;
}

// The cells of a 20-column coverage with a street of len cells from
// (r, c): vertices (ID vid), then the node at the far end.
std::vector<unsigned char> WithStreet(std::vector<unsigned char> v, int r, int c, int dir, int len,
                                      int vid = 2) {
  for (int k = 1; k < len; ++k) v[(r + k * kDRow[dir]) * 20 + c + k * kDCol[dir]] = vid;
  v[(r + len * kDRow[dir]) * 20 + c + len * kDCol[dir]] = 1;
  return v;
}

}  // namespace

TEST(StreetNodeParts, SpacingCountsNodesInTheSquareOfRadiusMinStepMinusOne) {
  Scene t;
  CStreetNode node;
  t.Put(10, 10, 1);
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, 10, 10), 1);  // itself
  t.Put(13, 13, 1);                                         // corner of the 7 x 7 square
  t.Put(10, 14, 1);                                         // distance 4: outside
  t.Put(7, 10, 2);                                          // a vertex is not a node
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, 10, 10), 2);
  node.m_nMinStep = 5;
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, 10, 10), 3);
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, -1, 3), 0);
  EXPECT_EQ(node.CheckOtherStreetNode(&t.cur, 20, 3), 0);
}

TEST(StreetNodeParts, DemandThresholdsInTheNineByNineSquare) {
  // Houses 10 %, industry 60 %, commerce 70 % of the base 5 x 5
  // neighbourhood: 3, 15 and 18 cells, counted in the square of radius 4.
  struct Case {
    int id, need;
  };
  for (const Case& k : {Case{3, 3}, Case{4, 15}, Case{5, 18}}) {
    Scene t;
    CStreetNode node;
    t.Put(10, 10, 1);
    t.Put(5, 10, k.id);  // distance 5: outside
    for (int n = 0; n < k.need - 1; ++n) t.Put(6 + n / 9, 6 + n % 9, k.id);
    EXPECT_EQ(node.CheckHouseIndustryCommerce(&t.cur, 10, 10), 0) << k.id;
    t.Put(14, 14, k.id);  // the last one at the square's corner
    EXPECT_EQ(node.CheckHouseIndustryCommerce(&t.cur, 10, 10), 1) << k.id;
  }
  Scene t;  // others, streets and IDs outside the set give no demand
  CStreetNode node;
  for (int c = 6; c <= 14; ++c) {
    t.Put(6, c, 6);
    t.Put(7, c, 2);
    t.Put(8, c, 1);
    t.Put(9, c, 200);
  }
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&t.cur, 10, 10), 0);
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&t.cur, -1, 10), 0);

  // The thresholds are shares of the base neighbourhood, not of the square.
  Scene u;
  u.Put(13, 13, 3);  // one house, inside the 9 x 9 square
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&u.cur, 10, 10), 0);
  node.m_nNeighborRadius = 1;  // 10 % of 9 cells: trunc(0.9 + 0.5) = 1
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&u.cur, 10, 10), 1);
  node.m_nNeighborRadius = 2;
  node.m_nMinStep = 2;  // the square shrinks, the threshold stays 3
  u.Put(11, 11, 3);
  u.Put(9, 9, 3);
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&u.cur, 10, 10), 0);
  u.Put(12, 8, 3);
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&u.cur, 10, 10), 1);
}

TEST(StreetNodeParts, DirectionBlockedByTheVertexIdAndByTheEdge) {
  Scene t;
  CStreetNode node;
  t.Put(10, 11, 2);
  t.Put(9, 9, 3);
  EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, 2), 1);
  EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, 7), 0);  // a house does not block
  EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, 4), 0);
  const int edges[4][5] = {{0, 5, 0, 1, 7}, {19, 5, 3, 4, 5}, {5, 0, 5, 6, 7}, {5, 19, 1, 2, 3}};
  for (const auto& e : edges)
    for (int d = 0; d < 8; ++d) {
      const bool off = d == e[2] || d == e[3] || d == e[4];
      EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, e[0], e[1], d), off ? 1 : 0) << e[0] << d;
    }

  NoticeRecorder notices;
  EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, 8), 0);
  EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 0, 0, -1), 0);
  EXPECT_EQ(notices.texts, std::vector<std::string>(2, kDirectionMessage));
}

TEST(StreetNodeParts, TheVertexIdIsDrawnBeforeTheDirectionIsExamined) {
  Scene t;
  CStreetNode node;
  t.Add<CStreetVertex>(8);
  NoticeRecorder notices;
  Replay rp(11);  // even a wrong direction takes the set's draw first
  EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, 9), 0);
  rp.Skip(1);
  EXPECT_TRUE(rp.DrawsMatch());

  t.Put(10, 11, 8);  // blocks only when the draw picks 8
  int picked8 = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    Replay r2(seed);
    const bool is8 = r2.Int(2) == 2;
    EXPECT_EQ(node.IsDevelopedInDirection(&t.cur, 10, 10, 2), is8 ? 1 : 0) << seed;
    picked8 += is8;
  }
  EXPECT_GT(picked8, 0);
  EXPECT_LT(picked8, 12);
}

TEST(StreetNodeUpdate, VerticesThenTheEndNodeInEveryDirectionShortOrCutAtTheBorder) {
  CStreetNode node;
  for (int d = 0; d < 8; ++d) {
    Scene t;
    t.next.SetGridValue(5);
    t.next.SetCellAge(10 + kDRow[d], 10 + kDCol[d], 9);
    NoticeRecorder notices;
    EXPECT_EQ(node.UpdateCoverage(&t.next, 10, 10, d, 3, 77), 1);
    EXPECT_EQ(Values(t.next), WithStreet(std::vector<unsigned char>(400, 5), 10, 10, d, 3, 77))
        << d;
    EXPECT_EQ(t.next.GetCellAge(10 + kDRow[d], 10 + kDCol[d]), 9);  // no age changes
    EXPECT_TRUE(notices.texts.empty());
  }
  Scene t;
  std::vector<unsigned char> expected(400, 0);
  struct Case {
    int r, c, dir, len, endR, endC;
  };
  // Length 1: only the far end; length 0 and no such direction: the origin.
  const Case ends[] = {
      {10, 10, 4, 1, 11, 10}, {3, 3, 4, 0, 3, 3}, {5, 7, 9, 4, 5, 7}, {6, 7, -3, 4, 6, 7}};
  for (const Case& k : ends) {
    EXPECT_EQ(node.UpdateCoverage(&t.next, k.r, k.c, k.dir, k.len, 2), 1);
    expected[k.endR * 20 + k.endC] = 1;
    EXPECT_EQ(Values(t.next), expected) << k.dir << " " << k.len;
  }

  Scene u;  // only cells inside the grid are written
  EXPECT_EQ(node.UpdateCoverage(&u.next, 0, 0, 4, INT_MAX, 2), 1);
  EXPECT_EQ(node.UpdateCoverage(&u.next, 19, 19, 3, 5, 2), 1);  // all outside
  EXPECT_EQ(node.UpdateCoverage(&u.next, -5, -5, 3, 9, 2), 1);  // enters the grid
  EXPECT_EQ(node.UpdateCoverage(&u.next, INT_MAX, INT_MIN, 5, INT_MAX, 2), 1);
  EXPECT_EQ(node.UpdateCoverage(&u.next, 3, 3, 7, INT_MIN, 2), 1);
  EXPECT_EQ(node.UpdateCoverage(nullptr, 3, 3, 7, 4, 2), 1);
  expected.assign(400, 0);
  for (int r = 1; r < 20; ++r) expected[r * 20] = 2;
  for (int k = 0; k <= 3; ++k) expected[k * 21] = 2;  // (0, 0) by the third call
  expected[4 * 21] = 1;
  EXPECT_EQ(Values(u.next), expected);
}

TEST(StreetNodeDevelop, DefaultDrawsArePolicyDirectionLengthTheStepIsMinStepPlusLength) {
  // From seed 9 on, random density laws (negative weight sums included).
  std::mt19937 g(1);
  for (unsigned seed = 1; seed <= 60; ++seed) {
    Scene t;
    WorkedCase(t);
    CStreetNode node;
    if (seed > 8) {
      RandomLaw(g, node);
      node.m_nMaxStep = 2 + seed % 5;
    }
    Replay rp(seed);
    rp.Int(100);
    const int dir = rp.MaxIndex({150, 100, 150, 100, 150, 100, 150, 100});
    const int step = 5 + rp.MaxIndex(LengthPerMille(node, node.m_nMaxStep));
    ASSERT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1) << seed;
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
    EXPECT_EQ(Values(t.next), WithStreet(Values(t.cur), 10, 10, dir, step)) << seed;
  }
  // The step is the minimum step plus the drawn length.
  CStreetNode node;
  for (unsigned seed = 1; seed <= 8; ++seed) {  // default: 4 + 1 or 2
    Replay rp(seed);
    const int expected = 5 + rp.MaxIndex({500, 333});
    EXPECT_EQ(node.GetRealStep(), expected);
    EXPECT_TRUE(rp.DrawsMatch());
  }
  node.m_nMaxStep = 1;  // a single length: no draw
  node.m_nMinStep = 7;
  Replay rp(3);
  EXPECT_EQ(node.GetRealStep(), 7);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(StreetNodeDevelop, PolicyAndDemandRefuseAfterThePolicyDraw) {
  // The demand is read from the current coverage: houses written earlier
  // in the pass do not count.
  for (int policy : {0, 100}) {
    Scene t;
    t.Put(10, 10, 1);
    if (policy == 0) t.PutRow(6, 6, 8, 3);
    t.Start();
    for (int c = 6; c <= 8 && policy; ++c) t.next.SetCellValue(6, c, 3);
    CStreetNode node;
    node.m_nPolicy = policy;
    const auto before = Values(t.next);
    Replay rp(21);
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 0) << policy;
    rp.Skip(1);
    EXPECT_TRUE(rp.DrawsMatch()) << policy;
    EXPECT_EQ(Values(t.next), before) << policy;
  }
}

TEST(StreetNodeDevelop, BlockedDirectionsAreRetriedUpToEightTimes) {
  // A corner node ringed by vertices: policy and eight direction draws.
  Scene t;
  t.Put(0, 0, 1);
  t.Put(0, 1, 2);
  t.Put(1, 0, 2);
  t.Put(1, 1, 2);
  t.PutRow(3, 3, 4, 3);
  t.Put(4, 3, 3);
  t.Start();
  CStreetNode node;
  Replay rp(77);
  rp.Skip(1 + 8 * 8);  // the default weights take eight draws per direction
  const auto before = Values(t.next);
  EXPECT_EQ(node.Develop(&t.cur, 0, 0, &t.next), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(Values(t.next), before);

  // A node in row 0: direction 0 is blocked, 2 is free.
  Scene u;
  u.Put(0, 5, 1);
  u.PutRow(3, 3, 4, 3);
  u.Put(3, 6, 3);
  u.Start();
  for (int i = 0; i < 8; ++i) node.m_nDirectionProb[i] = (i == 0 || i == 2) ? 100 : 0;
  node.m_nMaxStep = 2;
  int retried = 0, built = 0;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    u.Start();
    Replay r2(seed);
    r2.Int(100);
    int attempts = 0;
    bool free = false;
    while (attempts < 8 && !free) {
      ++attempts;
      free = r2.MaxIndex({100, 0, 100, 0, 0, 0, 0, 0}) == 2;
    }
    if (free) r2.Skip(1);  // the length
    SCOPED_TRACE(seed);
    EXPECT_EQ(node.Develop(&u.cur, 0, 5, &u.next), free ? 1 : 0);
    EXPECT_TRUE(r2.DrawsMatch());
    EXPECT_EQ(Values(u.next), free ? WithStreet(Values(u.cur), 0, 5, 2, 5) : Values(u.cur));
    built += free;
    retried += free && attempts > 1;
  }
  EXPECT_GT(retried, 0);
  EXPECT_GT(built, retried);
}

TEST(StreetNodeDevelop, ForcedStreetsTheirBorderTheFarEndProbeAndTheConnectModes) {
  // The direction and the length draw are forced (policy, direction and
  // length take one draw each). The spacing reads the current coverage, the
  // far-end probe the new one: a node written earlier in the pass near the
  // far end stops a free street; mode 0 (and unknown modes) then build
  // nothing, mode 1 joins a single find in the origin's row or column, mode
  // 2 any single find; the search radius is trunc(min step x 0.66); more
  // finds build nothing. Streets are cut at the border.
  using Cells = std::vector<std::pair<int, int>>;
  struct Case {
    const char* what;
    int row, col, housesRow, housesCol;     // origin, three houses from there
    Cells curNodes, nextNodes, nextVacant;  // written after the step's start
    int dir, mode, minStep, maxStep;
    int built, street, draws;  // street: length from the origin, 0 no change
  };
  const Case cases[] = {
      {"worked case", 10, 10, 6, 6, {}, {}, {}, 2, 0, 4, 2, 1, 5, 3},
      {"spacing: another node in the 7 x 7 square",
       10,
       10,
       6,
       6,
       {{13, 7}},
       {},
       {},
       2,
       0,
       4,
       2,
       0,
       0,
       1},
      {"demand: the houses are outside the 9 x 9 square",
       10,
       10,
       0,
       6,
       {},
       {},
       {},
       2,
       0,
       4,
       2,
       0,
       0,
       1},
      {"length one: no length draw", 10, 10, 9, 9, {}, {}, {}, 2, 0, 1, 1, 1, 1, 2},
      {"node only in the current coverage: not probed",
       10,
       10,
       6,
       6,
       {{10, 16}},
       {},
       {},
       2,
       0,
       4,
       2,
       1,
       5,
       3},
      {"node only in the new coverage: no spacing refusal",
       10,
       10,
       6,
       6,
       {},
       {{10, 8}},
       {},
       2,
       0,
       4,
       2,
       1,
       5,
       3},
      {"cut at the top, the probe finds the origin", 2, 5, 6, 2, {}, {}, {}, 0, 0, 4, 2, 0, 0, 3},
      {"cut at the top, origin gone from the new coverage",
       2,
       5,
       6,
       2,
       {},
       {},
       {{2, 5}},
       0,
       0,
       4,
       2,
       1,
       2,
       3},
      {"diagonal cut by the rows only, probe (0, 8)", 2, 3, 5, 0, {}, {}, {}, 1, 0, 4, 2, 1, 2, 3},
      {"diagonal probe (0, 8) finds (0, 11)", 2, 3, 5, 0, {}, {{0, 11}}, {}, 1, 0, 4, 2, 0, 0, 3},
      {"mode 0", 10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 0, 4, 2, 0, 0, 3},
      {"unknown mode", 10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 5, 4, 2, 0, 0, -1},
      {"mode 1 along the row", 10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 1, 4, 2, 1, 6, -1},
      {"mode 2", 10, 10, 6, 6, {}, {{10, 16}}, {}, 2, 2, 4, 2, 1, 6, -1},
      {"mode 1 along the column", 10, 10, 14, 6, {}, {{3, 10}}, {}, 0, 1, 4, 2, 1, 7, -1},
      {"mode 1, another row and column", 10, 10, 6, 6, {}, {{11, 16}}, {}, 2, 1, 4, 2, 0, 0, -1},
      {"beyond the join radius 2", 10, 10, 6, 6, {}, {{10, 18}}, {}, 2, 2, 4, 2, 0, 0, -1},
      {"within the join radius 3", 10, 10, 6, 6, {}, {{10, 18}}, {}, 2, 2, 5, 2, 1, 8, -1},
      {"three finds", 10, 10, 6, 6, {}, {{8, 15}, {10, 16}, {12, 14}}, {}, 2, 2, 4, 2, 0, 0, -1},
      {"cut at the border, mode 1 finds only the origin",
       10,
       17,
       6,
       13,
       {},
       {},
       {},
       2,
       1,
       4,
       2,
       0,
       0,
       -1},
      {"cut at the border, mode 2 joins the origin to itself",
       10,
       17,
       6,
       13,
       {},
       {},
       {},
       2,
       2,
       4,
       2,
       1,
       0,
       -1},
  };
  for (const Case& k : cases) {
    Scene t;
    t.Put(k.row, k.col, 1);
    t.PutRow(k.housesRow, k.housesCol, k.housesCol + 2, 3);
    t.Start();
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
    EXPECT_EQ(node.Develop(&t.cur, k.row, k.col, &t.next), k.built) << k.what;
    rp.Skip(k.draws);
    EXPECT_TRUE(k.draws < 0 || rp.DrawsMatch()) << k.what;
    EXPECT_EQ(Values(t.next), k.street ? WithStreet(before, k.row, k.col, k.dir, k.street) : before)
        << k.what;
    EXPECT_EQ(Values(t.cur), cur) << k.what;  // the current coverage is never written
    EXPECT_EQ(Ages(t.next), ages) << k.what;
  }
  Scene t;  // mode 2 joins a find in another row and column along the drawn line
  WorkedCase(t);
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
  SeedRandom(2);
  EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
  EXPECT_EQ(Values(t.next), Values(line));
}

TEST(StreetNodeDevelop, TheJoinWritesFixedIdsAFreeStreetTheSetsIds) {
  NoticeRecorder notices;
  for (int mode : {2, 0}) {
    Scene t;
    static_cast<CLandUse*>(t.set.m_LandUseArray[1])->SetID(9);  // node
    static_cast<CLandUse*>(t.set.m_LandUseArray[2])->SetID(8);  // vertex
    t.Put(10, 10, 9);
    t.PutRow(6, 6, 8, 3);
    t.Start();
    if (mode == 2) t.next.SetCellValue(10, 16, 9);
    CStreetNode node;
    Force(node, 2);
    node.m_nConnectMode = mode;
    auto expected = Values(t.next);
    if (mode == 2) {
      expected = WithStreet(expected, 10, 10, 2, 6);  // IDs 2 and 1 ...
      expected[10 * 20 + 10] = 1;                     // ... the origin included
    } else {
      expected = WithStreet(expected, 10, 10, 2, 5, 8);
      expected[10 * 20 + 15] = 9;
    }
    SeedRandom(4);
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
    EXPECT_EQ(Values(t.next), expected) << mode;
  }
  EXPECT_EQ(notices.texts, std::vector<std::string>{kIndustryNotice});  // the free street's node
}

TEST(StreetNodeDevelop, CellsOutsideTheGridChangeNothingAndDrawNothing) {
  Scene t;
  WorkedCase(t);
  CStreetNode node;
  node.m_nJunctionVertices = 0;
  node.m_nHousePercent = 0;
  const auto before = Values(t.next);
  Replay rp(1);
  for (auto rc : {std::pair<int, int>{-1, -1}, {20, 5}, {5, 20}, {-1, 10}, {INT_MAX, INT_MIN}})
    EXPECT_EQ(node.Develop(&t.cur, rc.first, rc.second, &t.next), 0);
  EXPECT_EQ(node.Develop(nullptr, 10, 10, &t.next), 0);
  EXPECT_EQ(node.Develop(&t.cur, 10, 10, nullptr), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(Values(t.next), before);
}

TEST(StreetNodeDevelop, AppendedStreetNodeIsPickedAfterTheLengthWithTheNoticeAfterTheWrite) {
  Scene t;
  WorkedCase(t);
  t.Add<CStreetNode>(7);
  CStreetNode node;
  Force(node, 2);
  std::vector<int> endAtNotice;  // the far end's value when the notice shows
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
    EXPECT_EQ(endAtNotice, id == 7 ? std::vector<int>{7} : std::vector<int>{});
    EXPECT_TRUE(rp.DrawsMatch());
    picked7 += id == 7;
  }
  SetMessageHandler(previous);
  EXPECT_GT(picked7, 0);
  EXPECT_LT(picked7, 10);
}

namespace {

// A node at (10, 10) with street vertices N, S, W, E: the four diagonal
// neighbours are vacant. No houses, so the rule stops at the demand check.
void Junction(Scene& t) {
  t.Put(10, 10, 1);
  t.Put(9, 10, 2);
  t.Put(11, 10, 2);
  t.Put(10, 9, 2);
  t.Put(10, 11, 2);
  t.Start();
}

// Replays the fill over the vacant cells in visiting order, grouped by row:
// a fill draw (the rest of the row is left when above the percent), then
// the category draw (housing up to the percent).
std::vector<unsigned char> ReplayFill(Replay& rp, std::vector<unsigned char> v,
                                      const std::vector<std::vector<std::pair<int, int>>>& rows,
                                      int fillPercent, int housePercent) {
  for (const auto& cells : rows)
    for (const auto& cell : cells) {
      if (rp.Draw() % 100 > fillPercent) break;
      v[cell.first * 20 + cell.second] = rp.Draw() % 100 > housePercent ? 5 : 3;
    }
  return v;
}

}  // namespace

TEST(StreetNodeJunction, FillsVacantNeighboursInOrderIntoTheNewCoverage) {
  bool mixed = false;
  for (unsigned seed = 1; seed <= 10; ++seed) {
    Scene t;
    Junction(t);
    t.next.SetCoverageAge(7);
    t.next.SetCellValue(11, 11, 6);  // the new coverage's value is not read
    CStreetNode node;
    Replay rp(seed);
    rp.Skip(1);  // policy
    const auto expected =
        ReplayFill(rp, Values(t.next), {{{9, 9}, {9, 11}}, {}, {{11, 9}, {11, 11}}}, 100, 50);
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 0);  // no demand
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
    EXPECT_EQ(Values(t.next), expected) << seed;
    for (int r : {9, 11})
      for (int c : {9, 11}) EXPECT_EQ(t.next.GetCellAge(r, c), 0);
    EXPECT_EQ(t.next.GetCellAge(9, 10), 7);
    mixed = mixed || expected[9 * 20 + 9] != expected[11 * 20 + 11];
  }
  EXPECT_TRUE(mixed);
  Scene t;  // a corner node fills only cells in the grid
  t.Put(0, 0, 1);
  t.Start();
  CStreetNode node;
  node.m_nJunctionVertices = 0;
  Replay rp(50);
  rp.Skip(1);
  const auto expected = ReplayFill(rp, Values(t.next), {{{0, 1}}, {{1, 0}, {1, 1}}}, 100, 50);
  EXPECT_EQ(node.Develop(&t.cur, 0, 0, &t.next), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(Values(t.next), expected);
}

TEST(StreetNodeJunction, FillPercentZeroFillsOnlyOnADrawOfZero) {
  // Fill 0 % with every neighbour vacant: a cell is filled only on a draw
  // of 0, and a row without one takes a single draw.
  int filled = 0, quiet = 0;
  for (unsigned seed = 1; seed <= 600 && (filled == 0 || quiet == 0); ++seed) {
    Scene t;
    t.Put(10, 10, 1);
    t.Start();
    CStreetNode node;
    node.m_nJunctionVertices = 0;
    node.m_nJunctionFillPercent = 0;
    Replay rp(seed);
    rp.Skip(1);
    const auto before = Values(t.next);
    const auto expected = ReplayFill(
        rp, before,
        {{{9, 9}, {9, 10}, {9, 11}}, {{10, 9}, {10, 11}}, {{11, 9}, {11, 10}, {11, 11}}}, 0, 50);
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 0);
    ASSERT_TRUE(rp.DrawsMatch()) << seed;
    ASSERT_EQ(Values(t.next), expected) << seed;
    (expected == before ? quiet : filled)++;
  }
  EXPECT_GT(filled, 0);
  EXPECT_GT(quiet, 0);
}

TEST(StreetNodeJunction, OccupiedNeighboursDrawNothingAndFewVerticesFillNothing) {
  struct Case {
    const char* what;
    int extra[3];  // a cell written into the current coverage
    bool fillOff;
    int draws;  // after the policy draw
  };
  const Case cases[] = {{"a house on (9, 9)", {9, 9, 3}, false, 6},
                        {"three vertices", {10, 11, 0}, false, 0},
                        {"fill switched off", {-1, -1, 0}, true, 0}};
  for (const Case& k : cases) {
    Scene t;
    Junction(t);
    if (k.extra[0] >= 0) t.Put(k.extra[0], k.extra[1], k.extra[2]);
    t.Start();
    CStreetNode node;
    node.m_bJunctionFill = k.fillOff ? 0 : 1;
    Replay rp(31);
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 0);
    rp.Skip(1 + k.draws);
    EXPECT_TRUE(rp.DrawsMatch()) << k.what;
    EXPECT_EQ(t.next.GetCellValue(9, 9), k.extra[0] == 9 ? 3 : (k.draws ? 3 : 0)) << k.what;
    EXPECT_TRUE(k.draws != 0 || t.SameExcept({})) << k.what;
  }
}

TEST(StreetNodeJunction, HousePercentDecidesTheCategoryTheFillStaysAndTheStreetFollows) {
  for (int percent : {99, -1}) {  // all housing, all commerce
    Scene t;
    Junction(t);
    t.PutRow(14, 6, 8, 3);
    t.Start();
    CStreetNode node;
    Force(node, 7);
    node.m_nJunctionHousePercent = percent;
    auto expected = Values(t.cur);
    for (int r : {9, 11})
      for (int c : {9, 11}) expected[r * 20 + c] = percent == 99 ? 3 : 5;
    expected = WithStreet(expected, 10, 10, 7, 5);  // overwrites the filled (9, 9)
    SeedRandom(40);
    EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
    EXPECT_EQ(Values(t.next), expected);
  }
}
