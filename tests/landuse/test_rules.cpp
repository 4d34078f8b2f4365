// The rules as single calls: a street node's street, far-end probe and connect modes, a street
// vertex without a street neighbour, and every land use outside the grid or without coverages, a
// set or ages. Their draws over whole towns: the runs of tests/test_simulation.cpp.
#include <climits>

#include "support/scene.h"

using namespace testkit;

namespace {

constexpr const char* kDirectionMessage = "Direction is wrong during caculation in StreetNode...";

// One direction wins, the length draw is 1: policy, direction, length one draw each; step 5.
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

TEST(StreetNode, UpdateWritesVerticesThenTheEndNodeInsideTheGridOnly) {
  CStreetNode node;
  Scene t;
  t.next.SetCoverageAge(9);
  for (int d = 0; d < 8; ++d) {
    t.next.SetGridValue(5);
    EXPECT_EQ(node.UpdateCoverage(&t.next, 10, 10, d, 3, 77), 1);
    EXPECT_EQ(Values(t.next), WithStreet(std::vector<unsigned char>(400, 5), 10, 10, d, 3, 77))
        << d;
  }
  EXPECT_EQ(Ages(t.next), std::vector<short>(400, 9));
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

TEST(StreetNode, ForcedStreetsTheirBorderTheFarEndProbeAndTheConnectModes) {
  // The spacing reads the current coverage, the far-end probe the new one: a node written earlier
  // in the pass near the far end stops a free street; mode 0 (and unknown modes) then build
  // nothing, mode 1 joins a single find in the origin's row or column, mode 2 any single find; the
  // search radius is trunc(min step x 0.66); more finds build nothing. Streets are cut at the
  // border. Each: origin, three houses from there; nodes of the current and of the new coverage and
  // vacant cells of the new one, written after the step's start; direction, mode, minimum and
  // maximum step; built, the street's length from the origin (0: none), draws (-1: any).
  using Cells = std::vector<std::pair<int, int>>;
  using Case =
      std::tuple<int, int, int, int, Cells, Cells, Cells, int, int, int, int, int, int, int>;
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
      {10, 17, 6, 13, {}, {}, {}, 2, 1, 4, 2, 0, 0, -1},   // cut at the border, mode 1: the origin
      {10, 17, 6, 13, {}, {}, {}, 2, 2, 4, 2, 1, 0, -1}};  // mode 2 joins the origin to itself
  for (const auto& k : cases) {
    const auto& [row, col, housesRow, housesCol, curNodes, nextNodes, nextVacant, dir, mode,
                 minStep, maxStep, built, street, draws] = k;
    SCOPED_TRACE(&k - cases);
    Scene t;
    Town(t, row, col, housesRow, housesCol);
    for (auto rc : curNodes) t.Put(rc.first, rc.second, 1);
    for (auto rc : nextNodes) t.next.SetCellValue(rc.first, rc.second, 1);
    for (auto rc : nextVacant) t.next.SetCellValue(rc.first, rc.second, 0);
    CStreetNode node;
    Force(node, dir);
    node.m_nConnectMode = mode, node.m_nMinStep = minStep, node.m_nMaxStep = maxStep;
    const auto before = Values(t.next), cur = Values(t.cur);
    const auto ages = Ages(t.next);
    Replay rp(9);
    EXPECT_EQ(node.Develop(&t.cur, row, col, &t.next), built);
    rp.Skip(draws);
    EXPECT_TRUE(draws < 0 || rp.DrawsMatch());
    EXPECT_EQ(Values(t.next), street ? WithStreet(before, row, col, dir, street) : before);
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
  line.SetCellValue(10, 10, 1), line.SetCellValue(11, 16, 1);
  CStreetNode node;
  Force(node, 2), node.m_nConnectMode = 2;
  EXPECT_EQ(node.Develop(&t.cur, 10, 10, &t.next), 1);
  EXPECT_EQ(Values(t.next), Values(line));
}

TEST(StreetNode, TheJoinWritesFixedIdsAFreeStreetTheSetsDrawnAfterTheLength) {
  for (int mode : {2, 0}) {  // node ID 9 and vertex ID 8 in the set
    Scene t;
    t.Get<CLandUse>(1)->SetID(9), t.Get<CLandUse>(2)->SetID(8);
    t.Put(10, 10, 9), t.PutRow(6, 6, 8, 3), t.Start();
    if (mode == 2) t.next.SetCellValue(10, 16, 9);
    CStreetNode node;
    Force(node, 2), node.m_nConnectMode = mode;
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
}

TEST(StreetVertex, TwoStreetCellsInTheWindowKeepTheCellFewerClearIt) {
  // The cell (row, col, id), other cells of the current coverage (row, col, id), cleared or not.
  using Case = std::tuple<int, int, int, std::vector<std::array<int, 3>>, int>;
  // clang-format off
  std::vector<Case> cases = {{4, 4, 2, {{2, 4, 2}, {3, 3, 3}, {5, 5, 6}, {4, 5, 200}}, 1},
                             {4, 4, 3, {{5, 5, 1}}, 1}, {4, 4, 3, {{5, 5, 1}, {3, 3, 2}}, 0}};
  // clang-format on
  for (int id : {1, 2})
    for (int n = 0; n < 8; ++n) cases.push_back({4, 4, 2, {{{4 + kDRow[n], 4 + kDCol[n], id}}}, 0});
  for (const auto& k : {std::array<int, 4>{0, 0, 1, 1}, {0, 9, 0, 8}, {9, 0, 8, 0}, {9, 9, 8, 9}}) {
    cases.push_back({k[0], k[1], 2, {{{k[2], k[3], 2}}}, 0});
    cases.push_back({k[0], k[1], 2, {}, 1});
  }
  for (const Case& k : cases) {
    const auto& [row, col, id, others, cleared] = k;
    SCOPED_TRACE(testing::Message() << row << "," << col << " case " << &k - cases.data());
    Scene s(10, 10);
    s.Put(row, col, id);
    for (const auto& o : others) s.Put(o[0], o[1], o[2]);
    s.Start(), s.next.SetCellAge(row, col, 12);
    s.next.SetCellValue(row == 4 ? 5 : 1, 4, 2);  // a street written earlier in the pass: not read
    auto expected = Values(s.next), cur = Values(s.cur);
    const auto ages = Ages(s.next);
    expected[row * 10 + col] = cleared ? 0 : id;
    CStreetVertex v;
    Replay rp(3);
    EXPECT_EQ(v.Develop(&s.cur, row, col, &s.next), cleared);
    EXPECT_TRUE(rp.DrawsMatch());  // one vacant land use: nothing drawn
    EXPECT_EQ(std::make_tuple(Values(s.next), Ages(s.next)), std::make_tuple(expected, ages));
    EXPECT_EQ(Values(s.cur), cur);
  }
}

TEST(Rules, OutsideTheGridWithoutCoveragesASetOrAgesNothingIsWrittenOrDrawn) {
  // Every land use of the roster, the spreading ones with policy 0: vacant
  // and others land answer 1 and change nothing, the rules 0.
  Scene s(10, 10);
  for (int id = 1; id <= 5; ++id) s.Put(id, id, id);
  s.Put(6, 6, 3, 61);  // an old house
  s.Start();
  NoticeRecorder notices;
  for (int i = 0; i < 7; ++i) {
    CLandUse* lu = s.Get<CLandUse>(i);
    lu->m_nPolicy = 0;
    const int inert = i == 0 || i == 6;
    Replay rp(1);
    for (auto rc : {std::pair<int, int>{-1, 0}, {0, -1}, {10, 3}, {3, 10}, {INT_MIN, INT_MAX}})
      EXPECT_EQ(lu->Develop(&s.cur, rc.first, rc.second, &s.next), inert) << i;
    EXPECT_EQ(lu->Develop(nullptr, 4, 4, &s.next) + lu->Develop(&s.cur, 4, 4, nullptr), 2 * inert);
    EXPECT_TRUE(rp.DrawsMatch() && s.SameExcept({})) << i;
  }
  CLandUseCoverage bare;  // a written coverage without ages: no age is written
  ASSERT_EQ(bare.InitGrid(10, 10, 0), 1);
  bare.m_pLandUseSet = &s.set;
  for (int id = 1; id <= 5; ++id)
    EXPECT_EQ(s.Get<CLandUse>(id)->Develop(&s.cur, id, id, &bare), 0) << id;
  EXPECT_EQ(Values(bare), std::vector<unsigned char>(100, 0));
  s.cur.m_pLandUseSet = nullptr;  // without a set a young cell only ages, an old one turns vacant
  Replay rp(2);
  for (int id : {3, 4, 5, 6})
    EXPECT_EQ(s.Get<CLandUse>(id % 6 + id / 6 * 3)->Develop(&s.cur, id, id, &s.next), 0);
  EXPECT_TRUE(rp.DrawsMatch() && s.SameExcept({{3, 3}, {4, 4}, {5, 5}, {6, 6}}));
  EXPECT_EQ(std::make_tuple(s.next.GetCellAge(3, 3), s.next.GetCellAge(5, 5),
                            s.next.GetCellValue(6, 6), s.next.GetCellAge(6, 6)),
            std::make_tuple(1, 1, 0, 0));
  // A direction out of 0..7 is reported (after the vertex ID is asked for).
  CStreetNode node;
  for (int d : {8, -1}) EXPECT_EQ(node.IsDevelopedInDirection(&s.cur, 4, 4, d), 0);
  EXPECT_EQ(notices.texts, std::vector<std::string>(2, kDirectionMessage));
  EXPECT_EQ(std::make_pair(node.CheckHouseIndustryCommerce(nullptr, 4, 4),  // no coverage
                           node.CheckOtherStreetNode(nullptr, 4, 4)),
            std::make_pair(0, 0));
}

// The checks a host may call alone count as the rules do: a house's streets (nodes and vertices)
// within its radius; a node's other nodes within its minimum step less one, and its demand (houses,
// industry or commerce within the minimum step, against shares of the base neighbourhood).
TEST(Rules, TheChecksAHostCallsAloneCountAsTheRulesDo) {
  Scene s(9, 9);
  CHouse& house = *s.Get<CHouse>(3);
  CStreetNode& node = *s.Get<CStreetNode>(1);
  house.m_nNeighborRadius = node.m_nNeighborRadius = 1;
  house.m_nStreetPercent = node.m_nHousePercent = 23;  // 2 cells of 3 x 3
  node.m_nIndustryPercent = node.m_nCommercePercent = 100, node.m_nMinStep = 3;
  s.Put(3, 3, 1), s.Put(2, 6, 1), s.Put(1, 4, 1), s.Put(6, 6, 2), s.Put(7, 7, 3);
  auto checks = [&] {
    return std::make_tuple(house.CheckStreet(4, 4, &s.cur), node.CheckOtherStreetNode(&s.cur, 4, 4),
                           node.CheckHouseIndustryCommerce(&s.cur, 4, 4));
  };
  EXPECT_EQ(checks(), std::make_tuple(0, 2, 0));
  s.Put(5, 5, 2), s.Put(1, 1, 3), s.Put(4, 6, 1);
  EXPECT_EQ(checks(), std::make_tuple(1, 3, 1));
  EXPECT_EQ(node.CheckHouseIndustryCommerce(&s.cur, -1, 4) + house.CheckStreet(4, 4, nullptr), 0);
}
