// The land-use coverage: ages beside the cells, categories through the
// linked set, the three copy operations and their field rules, the sparse
// and the weighted random start (replayed from the generator), and the
// reports of buffers that cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

// Array allocations of this program go through malloc/free so that a test
// can make a chosen non-throwing array allocation fail.
namespace {
int g_failNothrowArrayIn = -1;  // fail the allocation after this many more; -1: never
}

void* operator new[](std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  if (g_failNothrowArrayIn == 0) {
    g_failNothrowArrayIn = -1;
    return nullptr;
  }
  if (g_failNothrowArrayIn > 0) --g_failNothrowArrayIn;
  return std::malloc(n ? n : 1);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

class MessageLog {
public:
  MessageLog() {
    old_ = SetMessageHandler([this](const std::string& t) { texts.push_back(t); });
  }
  ~MessageLog() { SetMessageHandler(old_); }
  std::vector<std::string> texts;

private:
  MessageHandler old_;
};

CLandUse* LandUseOf(CLandUseSet& set, unsigned char id) {
  const int i = set.GetIDIndex(id);
  return i < 0 ? nullptr : static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
}

// The age range the fills draw from for an ID: the land use's active age
// plus inactive period as a 32-bit int; 0 for an ID without land use.
long long AgeRange(const CLandUseSet* set, unsigned char id) {
  if (set == nullptr) return 0;
  const int i = set->GetIDIndex(id);
  if (i < 0) return 0;
  const auto* lu = static_cast<const CLandUse*>(set->m_LandUseArray.GetAt(i));
  const long long sum = static_cast<long long>(lu->m_nActiveAge) + lu->m_nInactivePeriod;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(sum));
}

// One uniform draw as the model takes it, straight from the generator.
int Uniform(long long n) {
  if (n == 0) return 0;
  const long long m = n < 0 ? -n : n;
  return static_cast<int>(RandomDraw() % m + 1);
}

struct Expected {
  std::vector<unsigned char> ids;
  std::vector<short> ages;
  int nextDraw = 0;
};

Expected ReplaySparse(unsigned int seed, int cells, const CLandUseSet* set) {
  Expected e;
  SeedRandom(seed);
  for (int k = 0; k < cells; ++k) {
    int id = 0;
    if (Uniform(58) == 2) id = Uniform(6) - 1;
    e.ids.push_back(static_cast<unsigned char>(id));
    e.ages.push_back(static_cast<short>(Uniform(AgeRange(set, static_cast<unsigned char>(id))) - 1));
  }
  e.nextDraw = RandomDraw();
  return e;
}

Expected ReplayWeighted(unsigned int seed, int cells, const std::vector<int>& w,
                        const CLandUseSet* set) {
  Expected e;
  SeedRandom(seed);
  for (int k = 0; k < cells; ++k) {
    int best = -32767, id = -1;
    for (std::size_t i = 0; i < w.size(); ++i) {
      const int d = Uniform(w[i]);
      if (d > best) {
        best = d;
        id = static_cast<int>(i);
      }
    }
    e.ids.push_back(static_cast<unsigned char>(id));
    e.ages.push_back(static_cast<short>(Uniform(AgeRange(set, static_cast<unsigned char>(id))) - 1));
  }
  e.nextDraw = RandomDraw();
  return e;
}

std::vector<unsigned char> Ids(const CLandUseCoverage& c) {
  return std::vector<unsigned char>(c.m_pData, c.m_pData + c.m_nRows * c.m_nCols);
}
std::vector<short> Ages(const CLandUseCoverage& c) {
  return std::vector<short>(c.m_pCellAge, c.m_pCellAge + c.m_nRows * c.m_nCols);
}

// A coverage with distinct IDs 0..6 and distinct ages per cell.
void FillPattern(CLandUseCoverage& c, int rows, int cols) {
  ASSERT_EQ(c.InitCoverage(rows, cols, 0), 1);
  for (int r = 0; r < rows; ++r)
    for (int k = 0; k < cols; ++k) {
      c.SetCellValue(r, k, static_cast<unsigned char>((r * cols + k) % 7));
      c.SetCellAge(r, k, static_cast<short>(100 * r + k));
    }
}

}  // namespace

// --- construction, sizing, ages --------------------------------------------

TEST(CoverageConstruction, NewCoverageIsEmptyWithDefaultGeoreference) {
  CLandUseCoverage c;
  EXPECT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(c.m_dCellSize, 30.0);
  EXPECT_EQ(c.m_dXllCorner, 0.0);
  EXPECT_EQ(c.m_dYllCorner, 0.0);
  EXPECT_EQ(c.m_nNoDataValue, -9999);
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.m_pLandUseSet, nullptr);
  EXPECT_EQ(c.GetCellAge(0, 0), -100);
  EXPECT_EQ(c.SetCellAge(0, 0, 1), 0);
  EXPECT_EQ(c.SetCellAgeGrow(0, 0, 1), 0);
  EXPECT_EQ(c.SetCoverageAge(1), 0);
  SeedRandom(3);
  const int first = RandomDraw();
  SeedRandom(3);
  EXPECT_EQ(c.RandomFill(), 0);
  const int w[] = {1, 2};
  EXPECT_EQ(c.RandomFill(w, 2), 0);
  EXPECT_EQ(RandomDraw(), first);  // nothing drawn
}

TEST(CoverageInit, ValuesZeroAgesGivenGeoreferenceUntouched) {
  CLandUseCoverage c;
  c.m_dCellSize = 12.5;
  c.m_nNoDataValue = -1;
  ASSERT_EQ(c.InitCoverage(10, 20, 5), 1);
  EXPECT_EQ(c.m_nRows, 10);
  EXPECT_EQ(c.m_nCols, 20);
  EXPECT_EQ(c.m_strName, "Grid");
  for (unsigned char v : Ids(c)) EXPECT_EQ(v, 0);
  for (short a : Ages(c)) EXPECT_EQ(a, 5);
  EXPECT_EQ(c.m_dCellSize, 12.5);
  EXPECT_EQ(c.m_nNoDataValue, -1);

  CLandUseCoverage d;
  ASSERT_EQ(d.InitCoverage(10, 20, -7), 1);
  EXPECT_EQ(d.m_dCellSize, 30.0);
  EXPECT_EQ(d.m_nNoDataValue, -9999);
  EXPECT_EQ(d.GetCellAge(9, 19), -7);
}

TEST(CoverageInit, InvalidShapeChangesNothing) {
  CLandUseCoverage c;
  FillPattern(c, 6, 8);
  const auto ids = Ids(c);
  const auto ages = Ages(c);
  const short* ageBuffer = c.m_pCellAge;
  EXPECT_EQ(c.InitCoverage(4, 20, 5), 0);
  EXPECT_EQ(c.InitCoverage(20, 10001, 5), 0);
  EXPECT_EQ(c.m_nRows, 6);
  EXPECT_EQ(c.m_pCellAge, ageBuffer);
  EXPECT_EQ(Ids(c), ids);
  EXPECT_EQ(Ages(c), ages);
}

TEST(CoverageInit, SecondInitGivesFreshBuffersOfTheNewShape) {
  CLandUseCoverage c;
  FillPattern(c, 6, 8);
  ASSERT_EQ(c.InitCoverage(9, 7, 3), 1);
  EXPECT_EQ(c.m_nRows, 9);
  EXPECT_EQ(c.m_nCols, 7);
  for (unsigned char v : Ids(c)) EXPECT_EQ(v, 0);
  for (short a : Ages(c)) EXPECT_EQ(a, 3);
}

TEST(CoverageInit, GridInitOnACoverageKeepsAgesOnlyForTheSameShape) {
  CLandUseCoverage c;
  FillPattern(c, 6, 8);
  ASSERT_EQ(c.InitGrid(6, 8, 2), 1);
  EXPECT_EQ(c.GetCellAge(5, 7), 507);  // same shape: ages stay
  EXPECT_EQ(c.GetCellValue(5, 7), 2);
  ASSERT_EQ(c.InitGrid(9, 9, 1), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);  // new shape: no ages that do not fit
  EXPECT_EQ(c.GetCellAge(0, 0), -100);
  EXPECT_EQ(c.SetCellAge(0, 0, 4), 0);
  EXPECT_EQ(c.SetCoverageAge(4), 0);
}

TEST(CoverageAges, OutsideCellsAnswerMinusHundredAndAreNotWritten) {
  CLandUseCoverage c;
  FillPattern(c, 6, 8);
  const auto ages = Ages(c);
  const int outside[][2] = {{6, 0}, {0, 8}, {-1, 0}, {0, -1}, {6, 8}};
  for (const auto& o : outside) {
    EXPECT_EQ(c.GetCellAge(o[0], o[1]), -100);
    EXPECT_EQ(c.GetCellAge(CPoint(o[1], o[0])), -100);
    EXPECT_EQ(c.SetCellAge(o[0], o[1], 1), 0);
    EXPECT_EQ(c.SetCellAge(CPoint(o[1], o[0]), 1), 0);
    EXPECT_EQ(c.SetCellAgeGrow(o[0], o[1], 1), 0);
    EXPECT_EQ(c.SetCellAgeGrow(CPoint(o[1], o[0]), 1), 0);
  }
  EXPECT_EQ(Ages(c), ages);
}

TEST(CoverageAges, PointFormsTakeRowFromYAndGrowAdds) {
  CLandUseCoverage c;
  FillPattern(c, 6, 8);
  EXPECT_EQ(c.GetCellAge(CPoint(7, 2)), 207);
  ASSERT_EQ(c.SetCellAge(CPoint(7, 2), 11), 1);
  EXPECT_EQ(c.m_pCellAge[2 * 8 + 7], 11);
  ASSERT_EQ(c.SetCellAgeGrow(CPoint(7, 2), 5), 1);
  EXPECT_EQ(c.GetCellAge(2, 7), 16);
  ASSERT_EQ(c.SetCellAgeGrow(2, 7, -20), 1);
  EXPECT_EQ(c.GetCellAge(2, 7), -4);
  EXPECT_EQ(c.GetCellAge(2, 6), 206);  // the neighbour is untouched
}

TEST(CoverageAges, GrowWrapsInSixteenBits) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 5, 32767), 1);
  ASSERT_EQ(c.SetCellAgeGrow(1, 1, 1), 1);
  EXPECT_EQ(c.GetCellAge(1, 1), -32768);
  ASSERT_EQ(c.SetCellAgeGrow(1, 1, -1), 1);
  EXPECT_EQ(c.GetCellAge(1, 1), 32767);
  ASSERT_EQ(c.SetCellAgeGrow(2, 2, 32767), 1);
  EXPECT_EQ(c.GetCellAge(2, 2), -2);
}

TEST(CoverageAges, CoverageAgeStoresTheLowSixteenBits) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 7, 0), 1);
  const struct {
    int age;
    short stored;
  } cases[] = {{70000, 4464}, {65536, 0}, {-1, -1}, {32768, -32768}, {-70000, -4464}, {12, 12}};
  for (const auto& k : cases) {
    ASSERT_EQ(c.SetCoverageAge(k.age), 1);
    for (short a : Ages(c)) ASSERT_EQ(a, k.stored) << k.age;
  }
}

// --- categories -----------------------------------------------------------

TEST(CoverageCategory, CategoriesComeFromTheLinkedSet) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 10, 0), 1);
  EXPECT_EQ(c.GetLandUseCategory(0, 0), Others);  // no set linked yet
  c.m_pLandUseSet = &set;
  for (int id = 0; id < 10; ++id) c.SetCellValue(2, id, static_cast<unsigned char>(id));
  const LandUseCategory expected[] = {Blank, StreetNode, StreetVertex, House, Industry,
                                      Commerce, Others, Others, Others, Others};
  for (int id = 0; id < 10; ++id) {
    EXPECT_EQ(c.GetLandUseCategory(2, id), expected[id]) << id;
    EXPECT_EQ(c.GetLandUseCategory(CPoint(id, 2)), expected[id]) << id;
  }
  // A land use whose category is changed answers the new category.
  LandUseOf(set, 3)->m_LandUseCategory = Commerce;
  EXPECT_EQ(c.GetLandUseCategory(2, 3), Commerce);
  // Outside the grid the cell reads ID 0.
  EXPECT_EQ(c.GetLandUseCategory(-1, 0), Blank);
  LandUseOf(set, 0)->m_LandUseCategory = Industry;
  EXPECT_EQ(c.GetLandUseCategory(5, 0), Industry);
}

// --- copies ---------------------------------------------------------------

TEST(CoverageCopy, CopyKeepsCellsAgesNameAndLinkButNotTheGeoreference) {
  CLandUseSet set;
  CLandUseCoverage src;
  FillPattern(src, 7, 6);
  src.m_dCellSize = 25.0;
  src.m_nNoDataValue = -1;
  src.m_dXllCorner = 100.0;
  src.m_dYllCorner = 200.0;
  src.m_dScale = 3.0;
  src.m_strName = "town";
  src.m_nGridType = 2;
  src.m_pLandUseSet = &set;
  std::unique_ptr<CLandUseCoverage> copy(src.Copy());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->m_nRows, 7);
  EXPECT_EQ(copy->m_nCols, 6);
  EXPECT_EQ(Ids(*copy), Ids(src));
  EXPECT_EQ(Ages(*copy), Ages(src));
  EXPECT_NE(copy->m_pData, src.m_pData);
  EXPECT_NE(copy->m_pCellAge, src.m_pCellAge);
  EXPECT_EQ(copy->m_strName, "town");
  EXPECT_EQ(copy->m_nGridType, 2);
  EXPECT_EQ(copy->m_pLandUseSet, &set);
  EXPECT_EQ(copy->m_dCellSize, 30.0);
  EXPECT_EQ(copy->m_nNoDataValue, -9999);
  EXPECT_EQ(copy->m_dXllCorner, 0.0);
  EXPECT_EQ(copy->m_dYllCorner, 0.0);
  EXPECT_EQ(copy->m_dScale, 1.0);
  // The copy is independent of its source.
  copy->SetCellValue(0, 0, 9);
  copy->SetCellAge(0, 0, 9);
  EXPECT_EQ(src.GetCellValue(0, 0), 0);
  EXPECT_EQ(src.GetCellAge(0, 0), 0);
}

TEST(CoverageCopy, CopyOfAnEmptyCoverageHoldsNoCells) {
  CLandUseCoverage never;
  std::unique_ptr<CLandUseCoverage> a(never.Copy());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->IsEmpty(), 1);
  EXPECT_EQ(a->m_pCellAge, nullptr);

  CLandUseCoverage freed;
  FillPattern(freed, 5, 5);
  freed.Free();
  std::unique_ptr<CLandUseCoverage> b(freed.Copy());
  EXPECT_EQ(b->IsEmpty(), 1);
  EXPECT_EQ(b->m_pCellAge, nullptr);
  EXPECT_EQ(b->GetCellAge(0, 0), -100);
}

TEST(CoverageCopy, AssignmentKeepsTheTargetsGeoreference) {
  CLandUseSet set;
  CLandUseCoverage src;
  FillPattern(src, 6, 8);
  src.m_dCellSize = 25.0;
  src.m_nNoDataValue = -1;
  src.m_dXllCorner = 5.0;
  src.m_dYllCorner = 6.0;
  src.m_dScale = 2.0;
  src.m_strName = "src";
  src.m_nGridType = 3;
  src.m_pLandUseSet = &set;

  CLandUseCoverage dst;
  ASSERT_EQ(dst.InitCoverage(6, 8, 77), 1);
  dst.m_dCellSize = 10.0;
  dst.m_nNoDataValue = -5;
  dst.m_dXllCorner = 1.0;
  dst.m_dYllCorner = 2.0;
  const unsigned char* buffer = dst.m_pData;
  dst = src;
  EXPECT_EQ(dst.m_pData, buffer);  // the target's own buffers
  EXPECT_EQ(Ids(dst), Ids(src));
  EXPECT_EQ(Ages(dst), Ages(src));
  EXPECT_EQ(dst.m_dScale, 2.0);
  EXPECT_EQ(dst.m_strName, "src");
  EXPECT_EQ(dst.m_nGridType, 3);
  EXPECT_EQ(dst.m_pLandUseSet, &set);
  EXPECT_EQ(dst.m_dCellSize, 10.0);
  EXPECT_EQ(dst.m_nNoDataValue, -5);
  EXPECT_EQ(dst.m_dXllCorner, 1.0);
  EXPECT_EQ(dst.m_dYllCorner, 2.0);
}

TEST(CoverageCopy, CopyValueFromCoverageTakesEveryField) {
  CLandUseSet set;
  CLandUseCoverage src;
  FillPattern(src, 6, 8);
  src.m_dCellSize = 25.0;
  src.m_nNoDataValue = -1;
  src.m_dXllCorner = 5.0;
  src.m_dYllCorner = 6.0;
  src.m_dScale = 2.0;
  src.m_strName = "src";
  src.m_nGridType = 3;
  src.m_pLandUseSet = &set;

  CLandUseCoverage dst;
  ASSERT_EQ(dst.InitCoverage(6, 8, 77), 1);
  EXPECT_EQ(dst.CopyValueFromCoverage(&src), 1);
  EXPECT_EQ(Ids(dst), Ids(src));
  EXPECT_EQ(Ages(dst), Ages(src));
  EXPECT_EQ(dst.m_dScale, 2.0);
  EXPECT_EQ(dst.m_strName, "src");
  EXPECT_EQ(dst.m_nGridType, 3);
  EXPECT_EQ(dst.m_pLandUseSet, &set);
  EXPECT_EQ(dst.m_dCellSize, 25.0);
  EXPECT_EQ(dst.m_nNoDataValue, -1);
  EXPECT_EQ(dst.m_dXllCorner, 5.0);
  EXPECT_EQ(dst.m_dYllCorner, 6.0);
}

TEST(CoverageCopy, TargetsThatCannotHoldTheSourceReceiveNothing) {
  CLandUseCoverage src;
  FillPattern(src, 8, 8);
  src.m_strName = "src";

  CLandUseCoverage small;
  ASSERT_EQ(small.InitCoverage(5, 9, 1), 1);
  EXPECT_EQ(small.CopyValueFromCoverage(&src), 0);
  small = src;
  EXPECT_EQ(small.m_nRows, 5);
  EXPECT_EQ(small.m_nCols, 9);
  EXPECT_EQ(small.m_strName, "Grid");
  for (unsigned char v : Ids(small)) EXPECT_EQ(v, 0);
  for (short a : Ages(small)) EXPECT_EQ(a, 1);

  CLandUseCoverage none;
  EXPECT_EQ(none.CopyValueFromCoverage(&src), 0);
  none = src;
  EXPECT_EQ(none.IsEmpty(), 1);
  EXPECT_EQ(none.m_nRows, 0);
  EXPECT_EQ(none.GetCellValue(7, 7), 0);
  EXPECT_EQ(none.CopyValueFromCoverage(nullptr), 0);

  // A freed source still has its shape; a target too small for that shape
  // does not take it over.
  CLandUseCoverage freed;
  FillPattern(freed, 8, 8);
  freed.Free();
  EXPECT_EQ(small.CopyValueFromCoverage(&freed), 0);
  small = freed;
  EXPECT_EQ(small.m_nRows, 5);
  EXPECT_EQ(small.m_nCols, 9);
  EXPECT_EQ(none.CopyValueFromCoverage(&freed), 1);  // both without cells
  EXPECT_EQ(none.m_nRows, 8);
  EXPECT_EQ(none.IsEmpty(), 1);

  // A larger target takes the source's shape into its own buffers.
  CLandUseCoverage large;
  ASSERT_EQ(large.InitCoverage(10, 10, 1), 1);
  EXPECT_EQ(large.CopyValueFromCoverage(&src), 1);
  EXPECT_EQ(large.m_nRows, 8);
  EXPECT_EQ(large.m_nCols, 8);
  EXPECT_EQ(Ids(large), Ids(src));
  EXPECT_EQ(Ages(large), Ages(src));
}

TEST(CoverageCopy, CopyingOntoItselfChangesNothing) {
  CLandUseCoverage c;
  FillPattern(c, 6, 6);
  const auto ids = Ids(c);
  const auto ages = Ages(c);
  CLandUseCoverage& alias = c;
  c = alias;
  EXPECT_EQ(c.CopyValueFromCoverage(&c), 1);
  EXPECT_EQ(Ids(c), ids);
  EXPECT_EQ(Ages(c), ages);
}

TEST(CoverageCopy, FreeDropsBuffersButKeepsTheShape) {
  CLandUseCoverage c;
  FillPattern(c, 6, 7);
  c.Free();
  EXPECT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.GetCellAge(0, 0), -100);
  EXPECT_EQ(c.GetCellValue(0, 0), 0);
  EXPECT_EQ(c.m_nRows, 6);
  EXPECT_EQ(c.m_nCols, 7);
  c.Free();  // twice is harmless
  EXPECT_EQ(c.InitCoverage(5, 5, 1), 1);
}

// --- random starts --------------------------------------------------------

TEST(CoverageRandomFill, SparseStartFollowsTheDrawOrder) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(23, 31, 0), 1);
  c.m_pLandUseSet = &set;
  for (unsigned int seed : {1u, 77u, 123456u}) {
    const Expected e = ReplaySparse(seed, 23 * 31, &set);
    SeedRandom(seed);
    ASSERT_EQ(c.RandomFill(), 1);
    EXPECT_EQ(Ids(c), e.ids) << seed;
    EXPECT_EQ(Ages(c), e.ages) << seed;
    EXPECT_EQ(RandomDraw(), e.nextDraw) << seed;
    int settled = 0;
    for (unsigned char id : e.ids) {
      EXPECT_LE(id, 5);
      settled += id != 0;
    }
    EXPECT_GT(settled, 0) << "the replay should settle some cells";
  }
}

TEST(CoverageRandomFill, DefaultRosterAgeRanges) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(40, 40, 0), 1);
  c.m_pLandUseSet = &set;
  const struct {
    int id;
    short maxAge;
  } kinds[] = {{0, 32767}, {3, 59}, {4, 49}, {5, 39}};
  for (const auto& k : kinds) {
    std::vector<int> w(static_cast<std::size_t>(k.id) + 1, 0);
    w.back() = 1;  // only this ID can win
    SeedRandom(99);
    ASSERT_EQ(c.RandomFill(w.data(), static_cast<int>(w.size())), 1);
    const std::vector<short> ages = Ages(c);
    const auto range = std::minmax_element(ages.begin(), ages.end());
    const short lo = *range.first, hi = *range.second;
    EXPECT_GE(lo, 0) << k.id;
    EXPECT_LE(hi, k.maxAge) << k.id;
    EXPECT_GT(hi, k.maxAge / 2) << k.id;
  }
}

TEST(CoverageRandomFill, WeightedStartFollowsTheDrawOrder) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(9, 14, 0), 1);
  c.m_pLandUseSet = &set;
  const std::vector<int> w = {3, 0, 7, 2, 0, 5, 1};
  for (unsigned int seed : {4u, 4242u}) {
    const Expected e = ReplayWeighted(seed, 9 * 14, w, &set);
    SeedRandom(seed);
    ASSERT_EQ(c.RandomFill(w.data(), static_cast<int>(w.size())), 1);
    EXPECT_EQ(Ids(c), e.ids) << seed;
    EXPECT_EQ(Ages(c), e.ages) << seed;
    EXPECT_EQ(RandomDraw(), e.nextDraw) << seed;
  }
}

TEST(CoverageRandomFill, WeightedStartRefusesNoWeights) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 5, 8), 1);
  const int w[] = {1};
  SeedRandom(6);
  const int first = RandomDraw();
  SeedRandom(6);
  EXPECT_EQ(c.RandomFill(w, 0), 0);
  EXPECT_EQ(c.RandomFill(w, -1), 0);
  EXPECT_EQ(c.RandomFill(nullptr, 1), 0);
  EXPECT_EQ(RandomDraw(), first);
  for (short a : Ages(c)) EXPECT_EQ(a, 8);
}

TEST(CoverageRandomFill, ZeroAgeRangeGivesDeadCellsWithoutAnAgeDraw) {
  CLandUseSet set;
  LandUseOf(set, 0)->m_nActiveAge = 0;
  LandUseOf(set, 0)->m_nInactivePeriod = 0;
  LandUseOf(set, 3)->m_nActiveAge = 10;
  LandUseOf(set, 3)->m_nInactivePeriod = -10;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(12, 12, 0), 1);
  c.m_pLandUseSet = &set;
  const Expected e = ReplaySparse(31, 144, &set);
  SeedRandom(31);
  ASSERT_EQ(c.RandomFill(), 1);
  EXPECT_EQ(Ids(c), e.ids);
  EXPECT_EQ(Ages(c), e.ages);
  EXPECT_EQ(RandomDraw(), e.nextDraw);
  const auto ages = Ages(c);
  for (std::size_t k = 0; k < e.ids.size(); ++k) {
    if (e.ids[k] == 0 || e.ids[k] == 3) {
      EXPECT_EQ(ages[k], -1) << k;
    }
  }

  // With only vacant land possible, every cell takes exactly one draw.
  const int w[] = {1};
  SeedRandom(31);
  std::vector<int> draws;
  for (int i = 0; i < 145; ++i) draws.push_back(RandomDraw());
  SeedRandom(31);
  ASSERT_EQ(c.RandomFill(w, 1), 1);
  for (short a : Ages(c)) EXPECT_EQ(a, -1);
  EXPECT_EQ(RandomDraw(), draws[144]);
}

TEST(CoverageRandomFill, WithoutSetOrForUnknownIdsAgesAreDeadWithoutADraw) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(8, 8, 0), 1);
  // No set: only the ID draws are taken.
  const Expected e = ReplaySparse(8, 64, nullptr);
  SeedRandom(8);
  ASSERT_EQ(c.RandomFill(), 1);
  EXPECT_EQ(Ids(c), e.ids);
  for (short a : Ages(c)) EXPECT_EQ(a, -1);
  EXPECT_EQ(RandomDraw(), e.nextDraw);

  // A set that lacks the drawn ID 9.
  CLandUseSet set;
  c.m_pLandUseSet = &set;
  std::vector<int> w(10, 0);
  w[9] = 4;
  const Expected f = ReplayWeighted(8, 64, w, &set);
  SeedRandom(8);
  ASSERT_EQ(c.RandomFill(w.data(), 10), 1);
  for (unsigned char id : Ids(c)) EXPECT_EQ(id, 9);
  for (short a : Ages(c)) EXPECT_EQ(a, -1);
  EXPECT_EQ(RandomDraw(), f.nextDraw);
}

TEST(CoverageRandomFill, AgeRangeSumWrapsLikeIntArithmetic) {
  CLandUseSet set;
  LandUseOf(set, 0)->m_nActiveAge = 2147483647;
  LandUseOf(set, 0)->m_nInactivePeriod = 2;  // wraps to a large negative range
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 6, 0), 1);
  c.m_pLandUseSet = &set;
  const int w[] = {1};
  SeedRandom(12);
  std::vector<int> draws;
  for (int i = 0; i < 60; ++i) draws.push_back(RandomDraw());
  SeedRandom(12);
  ASSERT_EQ(c.RandomFill(w, 1), 1);
  // Per cell: the ID draw, then the age draw, whose value is the age itself.
  const auto ages = Ages(c);
  for (std::size_t k = 0; k < ages.size(); ++k) EXPECT_EQ(ages[k], draws[2 * k + 1]) << k;
}

TEST(CoverageRandomFill, CellsWithoutAgesStillTakeTheAgeDraws) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitGrid(6, 6, 0), 1);  // cells only, no ages
  c.m_pLandUseSet = &set;
  const Expected e = ReplaySparse(21, 36, &set);
  SeedRandom(21);
  ASSERT_EQ(c.RandomFill(), 1);
  EXPECT_EQ(Ids(c), e.ids);
  EXPECT_EQ(RandomDraw(), e.nextDraw);
  EXPECT_EQ(c.m_pCellAge, nullptr);
}

TEST(CoverageRandomFill, FreedCoverageDrawsNothing) {
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(6, 6, 0), 1);
  c.Free();
  SeedRandom(2);
  const int first = RandomDraw();
  SeedRandom(2);
  EXPECT_EQ(c.RandomFill(), 0);
  EXPECT_EQ(RandomDraw(), first);
}

// --- buffers that cannot be had ---------------------------------------------

TEST(CoverageMemory, MissingCellBufferIsReportedOnce) {
  MessageLog log;
  CLandUseCoverage c;
  g_failNothrowArrayIn = 0;
  EXPECT_EQ(c.InitCoverage(7, 7, 1), 0);
  g_failNothrowArrayIn = -1;
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0], "Not enough memory!!");
  EXPECT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);
}

TEST(CoverageMemory, MissingAgeBufferIsReportedAndEmptiesTheCoverage) {
  MessageLog log;
  CLandUseCoverage c;
  FillPattern(c, 5, 5);
  g_failNothrowArrayIn = 1;  // the cell buffer works, the age buffer fails
  EXPECT_EQ(c.InitCoverage(7, 7, 1), 0);
  g_failNothrowArrayIn = -1;
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0], "Not Enough Memory!!");
  EXPECT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.GetCellAge(0, 0), -100);
  EXPECT_EQ(c.SetCellValue(0, 0, 1), 0);
}

TEST(CoverageMemory, GridInitThatFailsOnACoverageLeavesNoAges) {
  MessageLog log;
  CLandUseCoverage c;
  FillPattern(c, 6, 6);
  g_failNothrowArrayIn = 0;
  EXPECT_EQ(c.InitGrid(6, 6, 1), 0);  // same shape, but no cell buffer
  g_failNothrowArrayIn = -1;
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0], "Not enough memory!!");
  EXPECT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.SetCoverageAge(3), 0);
}

TEST(CoverageMemory, CopyWhoseAgeBufferFailsIsEmpty) {
  MessageLog log;
  CLandUseCoverage src;
  FillPattern(src, 6, 6);
  g_failNothrowArrayIn = 1;
  std::unique_ptr<CLandUseCoverage> copy(src.Copy());
  g_failNothrowArrayIn = -1;
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0], "Not Enough Memory!!");
  EXPECT_EQ(copy->IsEmpty(), 1);
  EXPECT_EQ(copy->m_pCellAge, nullptr);
}
