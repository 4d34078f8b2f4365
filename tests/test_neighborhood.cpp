// Neighbourhood counts with their two border rules, the age states of a
// cell, and development under a background raster.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

namespace {

int ReplayRandInt(int n) {
  if (n == 0) return 0;
  return RandomDraw() % n + 1;
}

// Records every message shown while it lives.
class MessageLog {
public:
  MessageLog() {
    previous_ = SetMessageHandler([this](const std::string& text) { texts.push_back(text); });
  }
  ~MessageLog() { SetMessageHandler(previous_); }
  std::vector<std::string> texts;

private:
  MessageHandler previous_;
};

// A land use whose growth rule records its calls and answers 7.
class RecordingDevelop : public CLandUse {
public:
  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override {
    ++calls;
    lastCoverage = pCoverage;
    lastNew = pNewCoverage;
    lastRow = nRow;
    lastCol = nCol;
    return 7;
  }
  int calls = 0;
  int lastRow = -1, lastCol = -1;
  CLandUseCoverage* lastCoverage = nullptr;
  CLandUseCoverage* lastNew = nullptr;
};

struct Coverages {
  CLandUseSet set;
  CLandUseCoverage cur, next;
  Coverages(int rows, int cols, short age = 0) {
    cur.InitCoverage(rows, cols, age);
    next.InitCoverage(rows, cols, age);
    cur.m_pLandUseSet = &set;
    next.m_pLandUseSet = &set;
  }
  void Put(int r, int c, unsigned char id, short age) {
    cur.SetCellValue(r, c, id);
    cur.SetCellAge(r, c, age);
    next.SetCellValue(r, c, id);
    next.SetCellAge(r, c, age);
  }
};

bool SameCells(const CLandUseCoverage& a, const CLandUseCoverage& b) {
  for (int r = 0; r < a.m_nRows; ++r)
    for (int c = 0; c < a.m_nCols; ++c)
      if (a.GetCellValue(r, c) != b.GetCellValue(r, c) || a.GetCellAge(r, c) != b.GetCellAge(r, c))
        return false;
  return true;
}

}  // namespace

// --- one-category count: beyond the edge is Blank ------------------------

TEST(NeighborOneCategory, BlankCornerCountsCellsBeyondTheEdge) {
  Coverages cv(10, 10);
  CLandUse lu;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 0, 0, 1), 9);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 9, 9, 2), 25);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 5, 5, 0), 1);
  // A square larger than the coverage: every one of its cells is Blank.
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 4, 4, 20), 41 * 41);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, House, 0, 0, 1), 0);
}

TEST(NeighborOneCategory, CountsTheCentreAndOnlyTheSquare) {
  Coverages cv(8, 12);
  cv.Put(3, 4, 3, 0);  // centre
  cv.Put(2, 5, 3, 0);  // inside radius 1
  cv.Put(5, 4, 3, 0);  // radius 2 only
  cv.Put(3, 7, 3, 0);  // outside radius 2
  cv.Put(4, 3, 4, 0);  // industry
  CLandUse lu;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, House, 3, 4, 0), 1);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, House, 3, 4, 1), 2);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, House, 3, 4, 2), 3);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, House, 3, 4, 3), 4);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Industry, 3, 4, 1), 1);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 3, 4, 1), 6);
  // Reads the coverage it is given: the new one is still all Blank.
  cv.next.SetGridValue(0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.next, House, 3, 4, 2), 0);
}

TEST(NeighborOneCategory, PointFormTakesRowFromY) {
  Coverages cv(6, 15);
  cv.Put(1, 12, 5, 0);  // row 1, column 12: no row 12 exists
  CLandUse lu;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Commerce, CPoint(12, 1), 0), 1);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Commerce, CPoint(11, 2), 1), 1);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Commerce, CPoint(1, 12), 3), 0);
}

TEST(NeighborOneCategory, CentreOutsideAnswersZero) {
  Coverages cv(10, 10);
  CLandUse lu;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, -1, 0, 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 0, 10, 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 10, 3, 5), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, CPoint(-1, 5), 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(nullptr, Blank, 1, 1, 1), 0);
  CLandUseCoverage empty;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&empty, Blank, 0, 0, 1), 0);
}

TEST(NeighborOneCategory, ExtremeRadii) {
  Coverages cv(5, 5);
  cv.Put(2, 2, 3, 0);
  CLandUse lu;
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 2, 2, -1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, House, 2, 2, INT_MAX), 1);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 2, 2, INT_MAX), INT_MAX);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, Blank, 0, 0, 23169), 46339 * 46339 - 1);
}

// --- several categories: beyond the edge and Blank never count ----------

TEST(NeighborSeveralCategories, BlankIsNeverCounted) {
  Coverages cv(10, 10);
  CLandUse lu;
  const LandUseCategory cats[] = {Blank};
  int counts[] = {55};
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 1, 0, 0, 1), 1);
  EXPECT_EQ(counts[0], 0);
}

TEST(NeighborSeveralCategories, FirstListedPlaceTakesTheCell) {
  Coverages cv(7, 9);
  cv.Put(0, 0, 3, 0);
  cv.Put(0, 1, 3, 0);
  cv.Put(1, 0, 4, 0);
  cv.Put(1, 1, 1, 0);
  cv.Put(2, 2, 5, 0);  // outside radius 1 around (0, 0)
  cv.Put(0, 2, 9, 0);  // not in the set: Others
  CLandUse lu;
  const LandUseCategory cats[] = {House, Industry, House, Blank, Others, Commerce};
  int counts[6] = {-1, -1, -1, -1, -1, -1};
  ASSERT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 6, 0, 0, 1), 1);
  EXPECT_EQ(counts[0], 2);
  EXPECT_EQ(counts[1], 1);
  EXPECT_EQ(counts[2], 0);  // listed twice: counted at the first place
  EXPECT_EQ(counts[3], 0);
  EXPECT_EQ(counts[4], 0);  // (0, 2) lies outside radius 1
  EXPECT_EQ(counts[5], 0);

  ASSERT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 6, CPoint(1, 1), 1), 1);
  EXPECT_EQ(counts[0], 2);
  EXPECT_EQ(counts[1], 1);
  EXPECT_EQ(counts[4], 1);
  EXPECT_EQ(counts[5], 1);
  // StreetNode is not listed: (1, 1) itself counts nowhere.
  EXPECT_EQ(counts[0] + counts[1] + counts[2] + counts[3] + counts[4] + counts[5], 5);
}

TEST(NeighborSeveralCategories, CentreOutsideLeavesCountsUntouched) {
  Coverages cv(10, 10);
  CLandUse lu;
  const LandUseCategory cats[] = {House, Blank};
  int counts[] = {13, 14};
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 2, 10, 0, 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 2, CPoint(0, -1), 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(nullptr, cats, counts, 2, 1, 1, 1), 0);
  EXPECT_EQ(counts[0], 13);
  EXPECT_EQ(counts[1], 14);
  // Missing arrays are refused as well.
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, nullptr, counts, 2, 1, 1, 1), 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, nullptr, 2, 1, 1, 1), 0);
  EXPECT_EQ(counts[0], 13);
}

TEST(NeighborSeveralCategories, EdgeCellsOnlyCountInsideAndCountsAreReset) {
  Coverages cv(5, 5);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) cv.Put(r, c, 2, 0);  // street vertex everywhere
  CLandUse lu;
  const LandUseCategory cats[] = {StreetVertex};
  int counts[] = {1000};
  ASSERT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 1, 4, 4, 2), 1);
  EXPECT_EQ(counts[0], 9);
  ASSERT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 1, 2, 2, INT_MAX), 1);
  EXPECT_EQ(counts[0], 25);
  ASSERT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 1, 2, 2, -3), 1);
  EXPECT_EQ(counts[0], 0);
  EXPECT_EQ(lu.GetCategoryInNeighbor(&cv.cur, cats, counts, 0, 2, 2, 1), 1);
}

// --- age states ---------------------------------------------------------

TEST(AgeStates, BoundariesOfEachState) {
  Coverages cv(5, 5);
  CLandUse lu;
  lu.m_nActiveAge = 30;
  lu.m_nInactivePeriod = 30;
  const struct {
    short age;
    int active, inactive, old, dead;
  } cases[] = {{0, 1, 0, 0, 0},  {30, 1, 0, 0, 0}, {31, 0, 1, 0, 0},    {60, 0, 1, 0, 0},
               {61, 0, 0, 1, 0}, {32767, 0, 0, 1, 0}, {-1, 0, 0, 0, 1}, {-32768, 0, 0, 0, 1}};
  for (const auto& c : cases) {
    cv.cur.SetCellAge(1, 2, c.age);
    EXPECT_EQ(lu.IsActive(&cv.cur, 1, 2), c.active) << c.age;
    EXPECT_EQ(lu.IsInActive(&cv.cur, 1, 2), c.inactive) << c.age;
    EXPECT_EQ(lu.IsOld(&cv.cur, 1, 2), c.old) << c.age;
    EXPECT_EQ(lu.IsDead(&cv.cur, 1, 2), c.dead) << c.age;
  }
  // A cell outside the coverage has the age -100: dead.
  EXPECT_EQ(lu.IsDead(&cv.cur, 5, 0), 1);
  EXPECT_EQ(lu.IsActive(&cv.cur, 5, 0), 0);
  EXPECT_EQ(lu.IsOld(&cv.cur, 0, -1), 0);
  EXPECT_EQ(lu.IsDead(nullptr, 0, 0), 1);
}

TEST(AgeStates, ReadTheAgeOfTheCellAskedFor) {
  Coverages cv(5, 6);
  CLandUse lu;
  lu.m_nActiveAge = 10;
  lu.m_nInactivePeriod = 5;
  cv.cur.SetCellAge(4, 5, 16);
  cv.cur.SetCellAge(4, 4, 12);
  EXPECT_EQ(lu.IsOld(&cv.cur, 4, 5), 1);
  EXPECT_EQ(lu.IsInActive(&cv.cur, 4, 4), 1);
  EXPECT_EQ(lu.IsActive(&cv.cur, 3, 5), 1);  // still 0
  EXPECT_EQ(lu.IsActive(&cv.next, 4, 5), 1);
}

TEST(AgeStates, ExtremeThresholds) {
  Coverages cv(5, 5);
  CLandUse lu;
  lu.m_nActiveAge = INT_MAX;
  lu.m_nInactivePeriod = INT_MAX;
  cv.cur.SetCellAge(0, 0, 32767);
  EXPECT_EQ(lu.IsActive(&cv.cur, 0, 0), 1);
  EXPECT_EQ(lu.IsOld(&cv.cur, 0, 0), 0);

  lu.m_nActiveAge = -10;  // dead wins over the other states
  lu.m_nInactivePeriod = 5;
  cv.cur.SetCellAge(0, 0, -2);
  EXPECT_EQ(lu.IsDead(&cv.cur, 0, 0), 1);
  EXPECT_EQ(lu.IsInActive(&cv.cur, 0, 0), 0);
  EXPECT_EQ(lu.IsOld(&cv.cur, 0, 0), 0);
  cv.cur.SetCellAge(0, 0, 0);
  EXPECT_EQ(lu.IsOld(&cv.cur, 0, 0), 1);
}

// --- background ---------------------------------------------------------

TEST(BackGround, BitOfTheIDInTheCellValue) {
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(5, 5, 0x08), 1);
  bg.SetCellValue(4, 0, 0x80);
  bg.SetCellValue(0, 4, 0xFF);
  CLandUse lu;
  lu.m_ID = 3;
  EXPECT_EQ(lu.CheckBackGround(2, 2, &bg), 8);
  EXPECT_EQ(lu.CheckBackGround(4, 0, &bg), 0);
  lu.m_ID = 2;
  EXPECT_EQ(lu.CheckBackGround(2, 2, &bg), 0);
  lu.m_ID = 4;
  EXPECT_EQ(lu.CheckBackGround(2, 2, &bg), 0);
  lu.m_ID = 7;
  EXPECT_EQ(lu.CheckBackGround(4, 0, &bg), 0x80);
  EXPECT_EQ(lu.CheckBackGround(0, 4, &bg), 0x80);
  lu.m_ID = 8;  // no bit in a byte
  EXPECT_EQ(lu.CheckBackGround(0, 4, &bg), 0);
  for (int id : {32, 33, 40, 64, 255}) {  // shifts past the width never wrap around
    lu.m_ID = static_cast<unsigned char>(id);
    EXPECT_EQ(lu.CheckBackGround(0, 4, &bg), 0) << id;
  }
  lu.m_ID = 0;
  EXPECT_EQ(lu.CheckBackGround(0, 4, &bg), 1);
  EXPECT_EQ(lu.CheckBackGround(5, 4, &bg), 0);  // outside: allows nothing
  EXPECT_EQ(lu.CheckBackGround(0, -1, &bg), 0);
  EXPECT_EQ(lu.CheckBackGround(0, 0, nullptr), 0);
}

TEST(BackGround, AllowedCellRunsTheGrowthRule) {
  Coverages cv(6, 6);
  CLandUseCoverage bg;
  ASSERT_EQ(bg.InitCoverage(6, 6, 0), 1);
  bg.SetCellValue(2, 3, 0x10);
  RecordingDevelop lu;
  lu.m_ID = 4;
  EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 2, 3, &cv.next, &bg), 7);
  EXPECT_EQ(lu.calls, 1);
  EXPECT_EQ(lu.lastRow, 2);
  EXPECT_EQ(lu.lastCol, 3);
  EXPECT_EQ(lu.lastCoverage, &cv.cur);
  EXPECT_EQ(lu.lastNew, &cv.next);
}

TEST(BackGround, ForbiddenCellOfAnotherKindChangesNothing) {
  for (unsigned char id : {0, 1, 2, 6, 9}) {
    Coverages cv(6, 6, 100);
    CGrid bg;
    ASSERT_EQ(bg.InitGrid(6, 6, 0), 1);
    RecordingDevelop lu;
    lu.m_ID = id;
    lu.m_nActiveAge = 1;
    lu.m_nInactivePeriod = 1;
    cv.Put(1, 1, id, 100);
    CLandUseCoverage before;
    ASSERT_EQ(before.InitCoverage(6, 6, 0), 1);
    before.CopyValueFromCoverage(&cv.next);
    MessageLog log;
    EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 1, 1, &cv.next, &bg), 0);
    EXPECT_EQ(lu.calls, 0);
    EXPECT_TRUE(SameCells(before, cv.next)) << int(id);
    EXPECT_TRUE(log.texts.empty());
  }
}

TEST(BackGround, ForbiddenOldCellIsGivenUpToVacantLand) {
  for (unsigned char id : {3, 4, 5}) {
    Coverages cv(6, 6);
    CGrid bg;
    ASSERT_EQ(bg.InitGrid(6, 6, 0xFF), 1);
    bg.SetCellValue(3, 4, static_cast<unsigned char>(0xFF & ~(1 << id)));
    RecordingDevelop lu;
    lu.m_ID = id;
    lu.m_nActiveAge = 10;
    lu.m_nInactivePeriod = 40;
    lu.m_nDeadAge = 5;
    cv.Put(3, 4, id, 51);
    MessageLog log;
    SeedRandom(31);
    const int first = RandomDraw();
    SeedRandom(31);
    EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 3, 4, &cv.next, &bg), 0);
    EXPECT_EQ(RandomDraw(), first);  // one vacant land use: no draw
    EXPECT_EQ(lu.calls, 0);
    EXPECT_EQ(cv.next.GetCellValue(3, 4), 0);
    EXPECT_EQ(cv.next.GetCellAge(3, 4), -5);
    EXPECT_EQ(cv.cur.GetCellValue(3, 4), id);  // the current state is only read
    EXPECT_EQ(cv.cur.GetCellAge(3, 4), 51);
    EXPECT_TRUE(log.texts.empty());
  }
}

TEST(BackGround, ForbiddenLivingCellOnlyAges) {
  const struct {
    short age;
    short after;
  } cases[] = {{0, 1}, {50, 51}, {-3, -2}, {32767, -32768}};
  for (const auto& c : cases) {
    Coverages cv(6, 6);
    CGrid bg;
    ASSERT_EQ(bg.InitGrid(6, 6, 0), 1);
    CLandUse lu;
    lu.m_ID = 4;
    lu.m_nActiveAge = 10;
    lu.m_nInactivePeriod = 40;
    if (c.age == 32767) lu.m_nInactivePeriod = 32757;  // 32767 is still inactive
    cv.Put(2, 2, 4, c.age);
    EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 2, 2, &cv.next, &bg), 0);
    EXPECT_EQ(cv.next.GetCellValue(2, 2), 4) << c.age;
    EXPECT_EQ(cv.next.GetCellAge(2, 2), c.after) << c.age;
    EXPECT_EQ(cv.next.GetCellAge(2, 3), 0);
  }
}

TEST(BackGround, AgeIsReadFromTheCurrentCoverage) {
  Coverages cv(6, 6);
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(6, 6, 0), 1);
  CLandUse lu;
  lu.m_ID = 5;
  lu.m_nActiveAge = 10;
  lu.m_nInactivePeriod = 0;
  lu.m_nDeadAge = 2;
  cv.Put(1, 1, 5, 5);
  cv.next.SetCellAge(1, 1, 11);  // old in the new state only
  EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 1, 1, &cv.next, &bg), 0);
  EXPECT_EQ(cv.next.GetCellValue(1, 1), 5);
  EXPECT_EQ(cv.next.GetCellAge(1, 1), 12);

  cv.cur.SetCellAge(1, 1, 11);  // old in the current state
  cv.next.SetCellAge(1, 1, 3);
  EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 1, 1, &cv.next, &bg), 0);
  EXPECT_EQ(cv.next.GetCellValue(1, 1), 0);
  EXPECT_EQ(cv.next.GetCellAge(1, 1), -2);
}

TEST(BackGround, SecondVacantLandUseIsDrawnAndNoticed) {
  Coverages cv(6, 6);
  CLandUse* extra = new CLandUse();
  extra->m_ID = 12;  // a second land use of category Blank
  cv.set.m_LandUseArray.Add(extra);
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(6, 6, 0), 1);
  CLandUse lu;
  lu.m_ID = 3;
  lu.m_nActiveAge = 30;
  lu.m_nInactivePeriod = 30;
  bool sawExtra = false, sawZero = false;
  for (unsigned seed = 1; seed < 40; ++seed) {
    cv.Put(0, 5, 3, 61);
    MessageLog log;
    SeedRandom(seed);
    EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 0, 5, &cv.next, &bg), 0);
    const int next = RandomDraw();
    SeedRandom(seed);
    const int expected = ReplayRandInt(2) == 1 ? 0 : 12;
    EXPECT_EQ(next, RandomDraw());  // exactly one draw
    EXPECT_EQ(cv.next.GetCellValue(0, 5), expected);
    EXPECT_EQ(cv.next.GetCellAge(0, 5), 0);  // -m_nDeadAge with dead age 0
    if (expected == 12) {
      sawExtra = true;
      ASSERT_EQ(log.texts.size(), 1u);
      EXPECT_EQ(log.texts[0], "Yes,You have changed the setting,..");
    } else {
      sawZero = true;
      EXPECT_TRUE(log.texts.empty());
    }
  }
  EXPECT_TRUE(sawExtra);
  EXPECT_TRUE(sawZero);
}

TEST(BackGround, WithoutLinkedSetTheCellBecomesIDZero) {
  CLandUseCoverage cur, next;
  ASSERT_EQ(cur.InitCoverage(5, 5, 70), 1);
  ASSERT_EQ(next.InitCoverage(5, 5, 70), 1);
  cur.SetCellValue(2, 2, 4);
  next.SetCellValue(2, 2, 4);
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(5, 5, 0), 1);
  CLandUse lu;
  lu.m_ID = 4;
  lu.m_nActiveAge = 10;
  lu.m_nInactivePeriod = 40;
  lu.m_nDeadAge = 1;
  MessageLog log;
  EXPECT_EQ(lu.DevelopWithBackGround(&cur, 2, 2, &next, &bg), 0);
  EXPECT_EQ(next.GetCellValue(2, 2), 0);
  EXPECT_EQ(next.GetCellAge(2, 2), -1);
  EXPECT_TRUE(log.texts.empty());
}

TEST(BackGround, CellOutsideWritesNothing) {
  Coverages cv(5, 5, 90);
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(5, 5, 0), 1);
  CLandUse lu;
  lu.m_ID = 3;
  lu.m_nActiveAge = 1;
  lu.m_nInactivePeriod = 1;
  CLandUseCoverage before;
  ASSERT_EQ(before.InitCoverage(5, 5, 0), 1);
  before.CopyValueFromCoverage(&cv.next);
  EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 5, 0, &cv.next, &bg), 0);
  EXPECT_EQ(lu.DevelopWithBackGround(&cv.cur, 0, -1, &cv.next, &bg), 0);
  EXPECT_EQ(lu.DevelopWithBackGround(nullptr, 0, 0, nullptr, &bg), 0);
  EXPECT_TRUE(SameCells(before, cv.next));
}
