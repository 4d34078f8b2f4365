// The street vertex rule: a cell with fewer than two street cells (node or
// vertex) in its 3 x 3 window, itself included, is cleared to vacant land in
// the new coverage.
#include <gtest/gtest.h>

#include <climits>
#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

namespace {

struct Town {
  CLandUseSet set;
  CLandUseCoverage cur;
  CLandUseCoverage next;
  Town() {
    cur.InitCoverage(10, 10, 0);
    next.InitCoverage(10, 10, 0);
    cur.m_pLandUseSet = &set;
    next.m_pLandUseSet = &set;
  }
  void Put(int r, int c, int id) { cur.SetCellValue(r, c, static_cast<unsigned char>(id)); }
  void Sync() { next.CopyValueFromCoverage(&cur); }
};

std::vector<unsigned char> Values(const CLandUseCoverage& cov) {
  return std::vector<unsigned char>(cov.m_pData, cov.m_pData + cov.m_nRows * cov.m_nCols);
}
std::vector<short> Ages(const CLandUseCoverage& cov) {
  return std::vector<short>(cov.m_pCellAge, cov.m_pCellAge + cov.m_nRows * cov.m_nCols);
}

}  // namespace

TEST(StreetVertex, Identity) {
  CStreetVertex v;
  EXPECT_EQ(v.GetID(), 2);
  EXPECT_EQ(v.GetLandUseCategory(), StreetVertex);
  EXPECT_EQ(v.GetColor(), 0x8CB4D2u);
  EXPECT_EQ(v.GetLandUseName(), "Street Vertex");
}

TEST(StreetVertex, OneStreetNeighbourKeepsTheCell) {
  const int neighbours[8][2] = {{3, 3}, {3, 4}, {3, 5}, {4, 3}, {4, 5}, {5, 3}, {5, 4}, {5, 5}};
  for (int id : {1, 2}) {
    for (const auto& n : neighbours) {
      Town t;
      t.Put(4, 4, 2);
      t.Put(n[0], n[1], id);
      t.Sync();
      const auto before = Values(t.next);
      CStreetVertex v;
      EXPECT_EQ(v.Develop(&t.cur, 4, 4, &t.next), 0) << id << " " << n[0] << "," << n[1];
      EXPECT_EQ(Values(t.next), before);
    }
  }
}

TEST(StreetVertex, IsolatedCellIsClearedAndKeepsItsAge) {
  Town t;
  t.Put(4, 4, 2);
  t.Put(2, 4, 2);  // two rows away: outside the window
  t.Put(3, 3, 3);
  t.Put(5, 5, 6);
  t.Put(4, 5, 200);  // not in the set
  t.Sync();
  t.next.SetCellAge(4, 4, 12);
  const auto curBefore = Values(t.cur);
  const auto agesBefore = Ages(t.next);
  auto expected = Values(t.next);
  expected[4 * 10 + 4] = 0;
  CStreetVertex v;
  SeedRandom(3);
  const int nextDraw = RandomDraw();
  SeedRandom(3);
  EXPECT_EQ(v.Develop(&t.cur, 4, 4, &t.next), 1);
  EXPECT_EQ(RandomDraw(), nextDraw);  // nothing drawn with one vacant land use
  EXPECT_EQ(Values(t.next), expected);
  EXPECT_EQ(Ages(t.next), agesBefore);
  EXPECT_EQ(Values(t.cur), curBefore);
}

TEST(StreetVertex, ReadsTheCurrentCoverageOnly) {
  Town t;
  t.Put(4, 4, 2);
  t.Sync();
  t.next.SetCellValue(4, 5, 2);  // a street cell written earlier in the pass
  CStreetVertex v;
  EXPECT_EQ(v.Develop(&t.cur, 4, 4, &t.next), 1);
  EXPECT_EQ(t.next.GetCellValue(4, 4), 0);
  EXPECT_EQ(t.next.GetCellValue(4, 5), 2);
}

TEST(StreetVertex, NonStreetCellsAreJudgedTheSameWay) {
  {
    Town t;
    t.Put(4, 4, 3);
    t.Put(5, 5, 1);
    t.Sync();
    CStreetVertex v;
    EXPECT_EQ(v.Develop(&t.cur, 4, 4, &t.next), 1);  // one street cell only
    EXPECT_EQ(t.next.GetCellValue(4, 4), 0);
  }
  {
    Town t;
    t.Put(4, 4, 3);
    t.Put(5, 5, 1);
    t.Put(3, 3, 2);
    t.Sync();
    CStreetVertex v;
    EXPECT_EQ(v.Develop(&t.cur, 4, 4, &t.next), 0);
    EXPECT_EQ(t.next.GetCellValue(4, 4), 3);
  }
}

TEST(StreetVertex, CornerCells) {
  const int corners[4][4] = {{0, 0, 1, 1}, {0, 9, 0, 8}, {9, 0, 8, 0}, {9, 9, 8, 9}};
  for (const auto& k : corners) {
    Town keep;
    keep.Put(k[0], k[1], 2);
    keep.Put(k[2], k[3], 2);
    keep.Sync();
    CStreetVertex v;
    EXPECT_EQ(v.Develop(&keep.cur, k[0], k[1], &keep.next), 0);
    EXPECT_EQ(keep.next.GetCellValue(k[0], k[1]), 2);

    Town clear;
    clear.Put(k[0], k[1], 2);
    clear.Sync();
    EXPECT_EQ(v.Develop(&clear.cur, k[0], k[1], &clear.next), 1);
    EXPECT_EQ(clear.next.GetCellValue(k[0], k[1]), 0);
  }
}

TEST(StreetVertex, SeveralVacantLandUsesArePickedByTheSet) {
  Town t;
  auto* other = new CLandUse;
  other->SetID(9);
  t.set.m_LandUseArray.Add(other);
  t.Put(4, 4, 2);
  t.Sync();
  CStreetVertex v;
  bool saw0 = false;
  bool saw9 = false;
  for (unsigned s = 1; s <= 20; ++s) {
    SeedRandom(s);
    const int expected = RandInt(2) == 1 ? 0 : 9;
    const int after = RandomDraw();
    (expected == 0 ? saw0 : saw9) = true;
    t.next.SetCellValue(4, 4, 2);
    SeedRandom(s);
    EXPECT_EQ(v.Develop(&t.cur, 4, 4, &t.next), 1);
    EXPECT_EQ(t.next.GetCellValue(4, 4), expected) << s;
    EXPECT_EQ(RandomDraw(), after) << s;
  }
  EXPECT_TRUE(saw0);
  EXPECT_TRUE(saw9);
}

TEST(StreetVertex, ACellOutsideTheGridWritesNothing) {
  Town t;
  t.Sync();
  const auto before = Values(t.next);
  CStreetVertex v;
  for (auto rc : {std::pair<int, int>{-1, 0}, {0, -1}, {10, 3}, {3, 10}, {INT_MIN, INT_MAX}})
    EXPECT_EQ(v.Develop(&t.cur, rc.first, rc.second, &t.next), 0);
  EXPECT_EQ(Values(t.next), before);
  EXPECT_EQ(v.Develop(nullptr, 1, 1, &t.next), 0);
  EXPECT_EQ(v.Develop(&t.cur, 1, 1, nullptr), 0);
}
