// Neighbourhood counts with their two border rules, the age states of a
// cell, and development under a background raster.
#include <climits>

#include "support/scene.h"

using namespace testkit;

namespace {

// A land use whose growth rule records its calls and answers 7.
class RecordingDevelop : public CLandUse {
public:
  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override {
    ++calls;
    args = {pCoverage, pNewCoverage, nRow, nCol};
    return 7;
  }
  struct Args {
    CLandUseCoverage *cur, *next;
    int row, col;
  } args{nullptr, nullptr, -1, -1};
  int calls = 0;
};

// A land use with the given ID and age thresholds (active, inactive, dead).
void Shape(CLandUse& lu, int id, int active, int inactive, int dead = 0) {
  lu.m_ID = static_cast<unsigned char>(id);
  lu.m_nActiveAge = active;
  lu.m_nInactivePeriod = inactive;
  lu.m_nDeadAge = dead;
}

}  // namespace

TEST(NeighborOneCategory, CountsTheCentreTheSquareAndBlankBeyondTheEdge) {
  Scene s(8, 12);
  s.Put(3, 4, 3);  // centre
  s.Put(2, 5, 3);  // inside radius 1
  s.Put(5, 4, 3);  // radius 2 only
  s.Put(3, 7, 3);  // radius 3 only
  s.Put(4, 3, 4);
  s.Put(1, 10, 5);
  CLandUse lu;
  struct Case {
    LandUseCategory cat;
    int row, col, radius;
    long long count;
  };
  const Case cases[] = {
      {House, 3, 4, 0, 1},
      {House, 3, 4, 1, 2},
      {House, 3, 4, 2, 3},
      {House, 3, 4, 3, 4},
      {Industry, 3, 4, 1, 1},
      {Blank, 3, 4, 1, 6},
      {Blank, 0, 0, 1, 9},
      {Blank, 7, 11, 2, 25},
      {Blank, 4, 4, 20, 41 * 41 - 6},
      {House, 0, 0, 1, 0},
      {Blank, 3, 4, -1, 0},
      {House, 3, 4, INT_MAX, 4},
      {Blank, 2, 2, INT_MAX, INT_MAX},
      {Blank, 0, 0, 23169, 46339LL * 46339 - 6},
      {Blank, -1, 0, 1, 0},
      {Blank, 0, 12, 1, 0},
      {Blank, 8, 3, 5, 0},
  };
  for (const Case& k : cases)
    EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, k.cat, k.row, k.col, k.radius), k.count)
        << k.cat << " at " << k.row << "," << k.col << " r" << k.radius;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.next, House, 3, 4, 2), 0);  // reads the coverage given
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, Commerce, CPoint(10, 1), 0), 1);  // x column, y row
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, Commerce, CPoint(9, 2), 1), 1);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, Commerce, CPoint(1, 10), 3), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, Blank, CPoint(-1, 5), 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(nullptr, Blank, 1, 1, 1), 0);
  CLandUseCoverage empty;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&empty, Blank, 0, 0, 1), 0);
}

TEST(NeighborSeveralCategories, FirstListedPlaceTakesTheCellAndBlankNeverCounts) {
  Scene s(7, 9);
  s.Put(0, 0, 3);
  s.Put(0, 1, 3);
  s.Put(1, 0, 4);
  s.Put(1, 1, 1);
  s.Put(2, 2, 5);
  s.Put(0, 2, 9);  // not in the set: Others
  CLandUse lu;
  const LandUseCategory cats[] = {House, Industry, House, Blank, Others, Commerce};
  int counts[6] = {-1, -1, -1, -1, -1, -1};
  ASSERT_EQ(lu.GetCategoryInNeighbor(&s.cur, cats, counts, 6, 0, 0, 1), 1);
  EXPECT_EQ(std::vector<int>(counts, counts + 6), (std::vector<int>{2, 1, 0, 0, 0, 0}));
  ASSERT_EQ(lu.GetCategoryInNeighbor(&s.cur, cats, counts, 6, CPoint(1, 1), 1), 1);
  // StreetNode is not listed: (1, 1) itself counts nowhere.
  EXPECT_EQ(std::vector<int>(counts, counts + 6), (std::vector<int>{2, 1, 0, 0, 1, 1}));

  Scene full(5, 5);  // beyond the edge never counts; counts are reset
  for (int r = 0; r < 5; ++r) full.PutRow(r, 0, 4, 2);
  const LandUseCategory vertex[] = {StreetVertex};
  const int radii[][4] = {{4, 4, 2, 9}, {2, 2, INT_MAX, 25}, {2, 2, -3, 0}};
  for (const auto& k : radii) {
    int n[] = {1000};
    ASSERT_EQ(lu.GetCategoryInNeighbor(&full.cur, vertex, n, 1, k[0], k[1], k[2]), 1);
    EXPECT_EQ(n[0], k[3]) << k[2];
  }
  const LandUseCategory blank[] = {Blank};
  int n[] = {55};
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, blank, n, 1, 6, 8, 1), 1);
  EXPECT_EQ(n[0], 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&full.cur, vertex, n, 0, 2, 2, 1), 1);

  int kept[] = {13, 14};  // refusals leave the counts untouched
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, cats, kept, 2, 7, 0, 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, cats, kept, 2, CPoint(0, -1), 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(nullptr, cats, kept, 2, 1, 1, 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, nullptr, kept, 2, 1, 1, 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&s.cur, cats, nullptr, 2, 1, 1, 1), 0);
  EXPECT_EQ(kept[0] * 100 + kept[1], 1314);
}

TEST(AgeStates, BoundariesExtremesAndTheCellAskedFor) {
  Scene s(5, 6);
  CLandUse lu;
  Shape(lu, 3, 30, 30);
  const struct {
    short age;
    int active, inactive, old, dead;
  } cases[] = {{0, 1, 0, 0, 0},  {30, 1, 0, 0, 0},    {31, 0, 1, 0, 0}, {60, 0, 1, 0, 0},
               {61, 0, 0, 1, 0}, {32767, 0, 0, 1, 0}, {-1, 0, 0, 0, 1}, {-32768, 0, 0, 0, 1}};
  for (const auto& c : cases) {
    s.cur.SetCellAge(1, 2, c.age);
    EXPECT_EQ(lu.IsActive(&s.cur, 1, 2), c.active) << c.age;
    EXPECT_EQ(lu.IsInActive(&s.cur, 1, 2), c.inactive) << c.age;
    EXPECT_EQ(lu.IsOld(&s.cur, 1, 2), c.old) << c.age;
    EXPECT_EQ(lu.IsDead(&s.cur, 1, 2), c.dead) << c.age;
  }
  EXPECT_EQ(lu.IsActive(&s.cur, 1, 3), 1);  // the neighbour is still 0
  EXPECT_EQ(lu.IsActive(&s.next, 1, 2), 1);
  EXPECT_EQ(lu.IsDead(&s.cur, 5, 0), 1);  // outside: age -100
  EXPECT_EQ(lu.IsActive(&s.cur, 5, 0), 0);
  EXPECT_EQ(lu.IsOld(&s.cur, 0, -1), 0);
  EXPECT_EQ(lu.IsDead(nullptr, 0, 0), 1);

  Shape(lu, 3, INT_MAX, INT_MAX);  // no overflow of the sum
  s.cur.SetCellAge(0, 0, 32767);
  EXPECT_EQ(lu.IsActive(&s.cur, 0, 0), 1);
  EXPECT_EQ(lu.IsOld(&s.cur, 0, 0), 0);
  Shape(lu, 3, -10, 5);  // dead wins over the other states
  s.cur.SetCellAge(0, 0, -2);
  EXPECT_EQ(
      lu.IsDead(&s.cur, 0, 0) * 100 + lu.IsInActive(&s.cur, 0, 0) * 10 + lu.IsOld(&s.cur, 0, 0),
      100);
  s.cur.SetCellAge(0, 0, 0);
  EXPECT_EQ(lu.IsOld(&s.cur, 0, 0), 1);
}

TEST(BackGround, BitOfTheIDInTheCellValueAllowsTheGrowthRule) {
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(5, 5, 0x08), 1);
  bg.SetCellValue(4, 0, 0x80);
  bg.SetCellValue(0, 4, 0xFF);
  CLandUse lu;
  const int cases[][4] = {{3, 2, 2, 8},    {3, 4, 0, 0},    {2, 2, 2, 0},   {4, 2, 2, 0},
                          {7, 4, 0, 0x80}, {7, 0, 4, 0x80}, {8, 0, 4, 0},   {32, 0, 4, 0},
                          {33, 0, 4, 0},   {64, 0, 4, 0},   {255, 0, 4, 0}, {0, 0, 4, 1},
                          {0, 5, 4, 0},    {0, 0, -1, 0}};
  for (const auto& k : cases) {
    lu.m_ID = static_cast<unsigned char>(k[0]);
    EXPECT_EQ(lu.CheckBackGround(k[1], k[2], &bg), k[3]) << k[0] << " at " << k[1] << "," << k[2];
  }
  EXPECT_EQ(lu.CheckBackGround(0, 0, nullptr), 0);

  Scene s(6, 6);  // an allowed cell runs the growth rule with its arguments
  CLandUseCoverage allow;
  ASSERT_EQ(allow.InitCoverage(6, 6, 0), 1);
  allow.SetCellValue(2, 3, 0x10);
  RecordingDevelop rec;
  rec.m_ID = 4;
  EXPECT_EQ(rec.DevelopWithBackGround(&s.cur, 2, 3, &s.next, &allow), 7);
  EXPECT_EQ(rec.calls, 1);
  EXPECT_EQ(rec.args.cur, &s.cur);
  EXPECT_EQ(rec.args.next, &s.next);
  EXPECT_EQ(rec.args.row * 10 + rec.args.col, 23);
}

TEST(BackGround, ForbiddenCellsOnlyAgeOrAreGivenUp) {
  // Forbidden: the growth rule is not run. A living cell ages in the new
  // coverage (age read from the current one); an old cell of housing,
  // industry or commerce is given up to vacant land with -dead age, without
  // a draw; other kinds and cells outside change nothing.
  struct Case {
    int id;
    short curAge, nextAge;
    int valueAfter;
    short ageAfter;
  };
  const Case cases[] = {
      {4, 0, 0, 4, 1},       {4, 50, 50, 4, 51},    {4, -3, -3, 4, -2},    {4, 5, 60, 4, 61},
      {3, 51, 51, 0, -5},    {4, 51, 3, 0, -5},     {5, 51, 51, 0, -5},    {0, 100, 100, 0, 100},
      {1, 100, 100, 1, 100}, {2, 100, 100, 2, 100}, {6, 100, 100, 6, 100}, {9, 100, 100, 9, 100},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.id << " " << k.curAge << "/" << k.nextAge);
    Scene s(6, 6);
    s.Put(3, 4, k.id, k.curAge);
    s.Start();
    s.next.SetCellAge(3, 4, k.nextAge);
    CGrid bg;
    ASSERT_EQ(bg.InitGrid(6, 6, 0xFF), 1);
    bg.SetCellValue(3, 4, static_cast<unsigned char>(0xFF & ~(1 << k.id)));
    RecordingDevelop lu;
    Shape(lu, k.id, 10, 40, 5);
    NoticeRecorder log;
    Replay rp(31);
    EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 3, 4, &s.next, &bg), 0);
    EXPECT_TRUE(rp.DrawsMatch());
    EXPECT_EQ(lu.calls, 0);
    EXPECT_EQ(s.next.GetCellValue(3, 4), k.valueAfter);
    EXPECT_EQ(s.next.GetCellAge(3, 4), k.ageAfter);
    EXPECT_TRUE(s.SameExcept({{3, 4}}));
    EXPECT_EQ(s.cur.GetCellValue(3, 4), k.id);  // the current state is only read
    EXPECT_TRUE(log.texts.empty());
  }
  Scene s(5, 5);
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(5, 5, 0), 1);
  s.Put(4, 4, 3, 70);
  s.Start();
  CLandUse lu;
  Shape(lu, 3, 1, 1);
  EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 5, 0, &s.next, &bg), 0);
  EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 0, -1, &s.next, &bg), 0);
  EXPECT_EQ(lu.DevelopWithBackGround(nullptr, 0, 0, nullptr, &bg), 0);
  EXPECT_TRUE(s.SameExcept({}));
  s.cur.m_pLandUseSet = nullptr;  // without a linked set: ID 0
  lu.m_nDeadAge = 1;
  EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 4, 4, &s.next, &bg), 0);
  EXPECT_EQ(s.next.GetCellValue(4, 4), 0);
  EXPECT_EQ(s.next.GetCellAge(4, 4), -1);
}

TEST(BackGround, SecondVacantLandUseIsDrawnAndNoticed) {
  Scene s(6, 6);
  s.Add<CLandUse>(12);  // a second land use of category Blank
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(6, 6, 0), 1);
  CLandUse lu;
  Shape(lu, 3, 30, 30);
  int picked12 = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    s.Put(0, 5, 3, 61);
    s.Start();
    NoticeRecorder log;
    Replay rp(seed);
    const int expected = rp.Int(2) == 1 ? 0 : 12;
    EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 0, 5, &s.next, &bg), 0);
    EXPECT_TRUE(rp.DrawsMatch());
    EXPECT_EQ(s.next.GetCellValue(0, 5), expected);
    EXPECT_EQ(s.next.GetCellAge(0, 5), 0);
    EXPECT_EQ(log.texts, expected == 12 ? std::vector<std::string>{kVacantNotice}
                                        : std::vector<std::string>{});
    picked12 += expected == 12;
  }
  EXPECT_GT(picked12, 0);
  EXPECT_LT(picked12, 12);
}
