// The land-use coverage: ages beside the cells, categories through the
// linked set, the three copy operations and their field rules, the sparse
// and the weighted random start (replayed from the generator), and the
// reports of buffers that cannot be had.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <tuple>

#include "support/failing_alloc.h"
#include "support/scene.h"

using namespace testkit;

namespace {

CLandUse* LandUseOf(CLandUseSet& set, unsigned char id) {
  return static_cast<CLandUse*>(set.m_LandUseArray.GetAt(set.GetIDIndex(id)));
}

// The age range the fills draw from for an ID: active age plus inactive
// period as a 32-bit int; 0 for an ID without land use or without a set.
int AgeRange(const CLandUseSet* set, unsigned char id) {
  const int i = set ? set->GetIDIndex(id) : -1;
  if (i < 0) return 0;
  const auto* lu = static_cast<const CLandUse*>(set->m_LandUseArray.GetAt(i));
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(lu->m_nActiveAge) +
                                   static_cast<std::uint32_t>(lu->m_nInactivePeriod));
}

// Replays a fill: per cell the ID draw (sparse: 1 in 58 settles one of six
// IDs; weighted: the largest draw over the weights), then the age draw.
struct Fill {
  std::vector<unsigned char> ids;
  std::vector<short> ages;
};
Fill ReplayFill(Replay& rp, int cells, const CLandUseSet* set,
                const std::vector<int>* w = nullptr) {
  Fill f;
  for (int k = 0; k < cells; ++k) {
    int id = w ? rp.MaxIndex(*w) : 0;
    if (!w && rp.Int(58) == 2) id = rp.Int(6) - 1;
    f.ids.push_back(static_cast<unsigned char>(id));
    f.ages.push_back(static_cast<short>(rp.Int(AgeRange(set, static_cast<unsigned char>(id))) - 1));
  }
  return f;
}

// A coverage with IDs 0..6 and distinct ages per cell.
void FillPattern(CLandUseCoverage& c, int rows, int cols) {
  ASSERT_EQ(c.InitCoverage(rows, cols, 0), 1);
  for (int r = 0; r < rows; ++r)
    for (int k = 0; k < cols; ++k) {
      c.SetCellValue(r, k, static_cast<unsigned char>((r * cols + k) % 7));
      c.SetCellAge(r, k, static_cast<short>(100 * r + k));
    }
}

// Every field but the cells, to compare what an operation takes over:
// cell size, corners, scale, no-data value, type, name and linked set.
using Fields = std::tuple<double, double, double, double, int, int, std::string, CLandUseSet*>;
auto Tie(CLandUseCoverage& c) {
  return std::tie(c.m_dCellSize, c.m_dXllCorner, c.m_dYllCorner, c.m_dScale, c.m_nNoDataValue,
                  c.m_nGridType, c.m_strName, c.m_pLandUseSet);
}
Fields FieldsOf(CLandUseCoverage& c) { return Tie(c); }

}  // namespace

TEST(Coverage, NewCoverageIsEmptyWithDefaultGeoreferenceAndRefusesEverything) {
  CLandUseCoverage c;
  EXPECT_EQ(c.IsEmpty(), 1);
  EXPECT_EQ(FieldsOf(c), Fields(30.0, 0.0, 0.0, 1.0, -9999, -1, "", nullptr));
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.GetCellAge(0, 0), -100);
  EXPECT_EQ(c.SetCellAge(0, 0, 1), 0);
  EXPECT_EQ(c.SetCellAgeGrow(0, 0, 1), 0);
  EXPECT_EQ(c.SetCoverageAge(1), 0);
  const int w[] = {1, 2};
  Replay rp(3);
  EXPECT_EQ(c.RandomFill(), 0);
  EXPECT_EQ(c.RandomFill(w, 2), 0);
  c.InitCoverage(6, 6, 0);
  c.Free();
  EXPECT_EQ(c.RandomFill(), 0);  // freed: nothing either
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(Coverage, InitGivesZeroCellsTheGivenAgeAndKeepsTheGeoreference) {
  CLandUseCoverage c;
  c.m_dCellSize = 12.5;
  c.m_nNoDataValue = -1;
  FillPattern(c, 6, 8);
  ASSERT_EQ(c.InitCoverage(10, 20, 5), 1);
  EXPECT_EQ(c.m_nRows * 100 + c.m_nCols, 1020);
  EXPECT_EQ(c.m_strName, "Grid");
  EXPECT_EQ(Values(c), std::vector<unsigned char>(200, 0));
  EXPECT_EQ(Ages(c), std::vector<short>(200, 5));
  EXPECT_EQ(c.m_dCellSize, 12.5);
  EXPECT_EQ(c.m_nNoDataValue, -1);

  FillPattern(c, 6, 8);  // invalid shapes change nothing
  const auto ids = Values(c);
  const auto ages = Ages(c);
  const short* ageBuffer = c.m_pCellAge;
  EXPECT_EQ(c.InitCoverage(4, 20, 5), 0);
  EXPECT_EQ(c.InitCoverage(20, 10001, 5), 0);
  EXPECT_EQ(c.m_pCellAge, ageBuffer);
  EXPECT_EQ(Values(c), ids);
  EXPECT_EQ(Ages(c), ages);

  ASSERT_EQ(c.InitGrid(6, 8, 2), 1);  // a grid init keeps ages for the same shape only
  EXPECT_EQ(c.GetCellAge(5, 7), 507);
  EXPECT_EQ(c.GetCellValue(5, 7), 2);
  ASSERT_EQ(c.InitGrid(9, 9, 1), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.GetCellAge(0, 0), -100);
  EXPECT_EQ(c.SetCellAge(0, 0, 4) + c.SetCoverageAge(4), 0);
}

TEST(Coverage, AgesOutsideAnswerMinusHundredInsideTakeRowFromYAndWrapInSixteenBits) {
  CLandUseCoverage c;
  FillPattern(c, 6, 8);
  const auto ages = Ages(c);
  const int outside[][2] = {{6, 0}, {0, 8}, {-1, 0}, {0, -1}, {6, 8}};
  for (const auto& o : outside) {
    EXPECT_EQ(c.GetCellAge(o[0], o[1]), -100);
    EXPECT_EQ(c.GetCellAge(CPoint(o[1], o[0])), -100);
    EXPECT_EQ(c.SetCellAge(o[0], o[1], 1) + c.SetCellAge(CPoint(o[1], o[0]), 1), 0);
    EXPECT_EQ(c.SetCellAgeGrow(o[0], o[1], 1) + c.SetCellAgeGrow(CPoint(o[1], o[0]), 1), 0);
  }
  EXPECT_EQ(Ages(c), ages);

  EXPECT_EQ(c.GetCellAge(CPoint(7, 2)), 207);
  ASSERT_EQ(c.SetCellAge(CPoint(7, 2), 11), 1);
  EXPECT_EQ(c.m_pCellAge[2 * 8 + 7], 11);
  ASSERT_EQ(c.SetCellAgeGrow(CPoint(7, 2), 5), 1);
  ASSERT_EQ(c.SetCellAgeGrow(2, 7, -20), 1);
  EXPECT_EQ(c.GetCellAge(2, 7), -4);
  EXPECT_EQ(c.GetCellAge(2, 6), 206);  // the neighbour is untouched

  c.SetCellAge(1, 1, 32767);
  ASSERT_EQ(c.SetCellAgeGrow(1, 1, 1), 1);
  EXPECT_EQ(c.GetCellAge(1, 1), -32768);
  ASSERT_EQ(c.SetCellAgeGrow(1, 1, 32767), 1);
  EXPECT_EQ(c.GetCellAge(1, 1), -1);
  const int stored[][2] = {{70000, 4464}, {65536, 0}, {-1, -1}, {32768, -32768}, {-70000, -4464}};
  for (const auto& k : stored) {
    ASSERT_EQ(c.SetCoverageAge(k[0]), 1);
    EXPECT_EQ(Ages(c), std::vector<short>(48, static_cast<short>(k[1]))) << k[0];
  }
}

TEST(Coverage, CategoriesComeFromTheLinkedSet) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(5, 10, 0), 1);
  EXPECT_EQ(c.GetLandUseCategory(0, 0), Others);  // no set linked yet
  c.m_pLandUseSet = &set;
  const LandUseCategory expected[] = {Blank,    StreetNode, StreetVertex, House,  Industry,
                                      Commerce, Others,     Others,       Others, Others};
  for (int id = 0; id < 10; ++id) {
    c.SetCellValue(2, id, static_cast<unsigned char>(id));
    EXPECT_EQ(c.GetLandUseCategory(2, id), expected[id]) << id;
    EXPECT_EQ(c.GetLandUseCategory(CPoint(id, 2)), expected[id]) << id;
  }
  LandUseOf(set, 3)->m_LandUseCategory = Commerce;  // a changed category is answered
  EXPECT_EQ(c.GetLandUseCategory(2, 3), Commerce);
  LandUseOf(set, 0)->m_LandUseCategory = Industry;  // outside, the cell reads ID 0
  EXPECT_EQ(c.GetLandUseCategory(5, 0), Industry);
}

TEST(Coverage, CopyAssignmentAndCopyValueTakeTheirFields) {
  // Copy: a new coverage with the source's cells, name, type and link but
  // the default georeference and scale. Assignment: cells, scale, name,
  // type and link into the target's own buffers, which keeps its
  // georeference. CopyValueFromCoverage: every field.
  CLandUseSet set;
  CLandUseCoverage src;
  FillPattern(src, 6, 8);
  const Fields from(25.0, 5.0, 6.0, 2.0, -1, 3, "src", &set);
  const Fields target(10.0, 1.0, 2.0, 1.0, -5, 0, "Grid", nullptr);
  Tie(src) = from;

  std::unique_ptr<CLandUseCoverage> copy(src.Copy());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(FieldsOf(*copy), Fields(30.0, 0.0, 0.0, 1.0, -9999, 3, "src", &set));
  EXPECT_NE(copy->m_pCellAge, src.m_pCellAge);
  CLandUseCoverage assigned, valued;
  for (CLandUseCoverage* dst : {&assigned, &valued}) {
    ASSERT_EQ(dst->InitCoverage(6, 8, 77), 1);
    Tie(*dst) = target;
  }
  const unsigned char* buffer = assigned.m_pData;
  assigned = src;
  EXPECT_EQ(assigned.m_pData, buffer);
  EXPECT_EQ(FieldsOf(assigned), Fields(10.0, 1.0, 2.0, 2.0, -5, 3, "src", &set));
  EXPECT_EQ(valued.CopyValueFromCoverage(&src), 1);
  EXPECT_EQ(FieldsOf(valued), from);
  for (CLandUseCoverage* dst : {copy.get(), &assigned, &valued}) {
    EXPECT_EQ(dst->m_nRows * 100 + dst->m_nCols, 608);
    EXPECT_EQ(Values(*dst), Values(src));
    EXPECT_EQ(Ages(*dst), Ages(src));
    dst->SetCellValue(0, 0, 9);  // independent of the source
    dst->SetCellAge(0, 0, 9);
  }
  EXPECT_EQ(src.GetCellValue(0, 0) + src.GetCellAge(0, 0), 0);

  CLandUseCoverage& alias = src;  // onto itself: nothing changes
  const auto ids = Values(src);
  src = alias;
  EXPECT_EQ(src.CopyValueFromCoverage(&src), 1);
  EXPECT_EQ(Values(src), ids);
}

TEST(Coverage, FreedAndEmptySourcesAndTargetsThatCannotHoldTheSource) {
  CLandUseCoverage src, freed, never;
  FillPattern(src, 8, 8);
  src.m_strName = "src";
  FillPattern(freed, 8, 8);
  freed.Free();  // freed: no buffers, the shape stays; twice is harmless
  freed.Free();
  EXPECT_EQ(freed.IsEmpty(), 1);
  EXPECT_EQ(freed.GetCellValue(0, 0), 0);
  for (CLandUseCoverage* c : {&never, &freed}) {  // copies hold no cells
    std::unique_ptr<CLandUseCoverage> copy(c->Copy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->IsEmpty(), 1);
    EXPECT_EQ(copy->m_pCellAge, nullptr);
    EXPECT_EQ(copy->GetCellAge(0, 0), -100);
  }

  CLandUseCoverage small, none;
  ASSERT_EQ(small.InitCoverage(5, 9, 1), 1);
  for (CLandUseCoverage* from : {&src, &freed}) {
    EXPECT_EQ(small.CopyValueFromCoverage(from), 0);
    small = *from;
    EXPECT_EQ(small.m_nRows * 100 + small.m_nCols, 509);
    EXPECT_EQ(small.m_strName, "Grid");
    EXPECT_EQ(Values(small), std::vector<unsigned char>(45, 0));
    EXPECT_EQ(Ages(small), std::vector<short>(45, 1));
  }
  EXPECT_EQ(none.CopyValueFromCoverage(&src), 0);
  none = src;
  EXPECT_EQ(none.IsEmpty(), 1);
  EXPECT_EQ(none.m_nRows, 0);
  EXPECT_EQ(none.CopyValueFromCoverage(nullptr), 0);
  EXPECT_EQ(none.CopyValueFromCoverage(&freed), 1);  // both without cells
  EXPECT_EQ(none.m_nRows, 8);
  EXPECT_EQ(none.IsEmpty(), 1);

  CLandUseCoverage large;  // a larger target takes the shape into its buffers
  ASSERT_EQ(large.InitCoverage(10, 10, 1), 1);
  EXPECT_EQ(large.CopyValueFromCoverage(&src), 1);
  EXPECT_EQ(large.m_nRows * 100 + large.m_nCols, 808);
  EXPECT_EQ(Values(large), Values(src));
  EXPECT_EQ(Ages(large), Ages(src));
}

TEST(CoverageRandomFill, SparseAndWeightedStartsFollowTheDrawOrder) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(23, 31, 0), 1);
  c.m_pLandUseSet = &set;
  const std::vector<int> w = {3, 0, 7, 2, 0, 5, 1};
  for (unsigned seed : {1u, 123456u}) {
    for (bool weighted : {false, true}) {
      Replay rp(seed, 23 * 31 * 9);
      const Fill f = ReplayFill(rp, 23 * 31, &set, weighted ? &w : nullptr);
      ASSERT_EQ(weighted ? c.RandomFill(w.data(), 7) : c.RandomFill(), 1);
      EXPECT_EQ(Values(c), f.ids) << seed << weighted;
      EXPECT_EQ(Ages(c), f.ages) << seed << weighted;
      EXPECT_TRUE(rp.DrawsMatch());
      EXPECT_GT(std::count(f.ids.begin(), f.ids.end(), 0), 0);
      EXPECT_LT(std::count(f.ids.begin(), f.ids.end(), 0), 23 * 31);
    }
  }
  const int one[] = {1};  // no weights: nothing drawn, nothing written
  c.SetCoverageAge(8);
  Replay rp(6);
  EXPECT_EQ(c.RandomFill(one, 0) + c.RandomFill(one, -1) + c.RandomFill(nullptr, 1), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(Ages(c), std::vector<short>(23 * 31, 8));
}

TEST(CoverageRandomFill, DefaultRosterAgeRanges) {
  CLandUseSet set;
  CLandUseCoverage c;
  ASSERT_EQ(c.InitCoverage(40, 40, 0), 1);
  c.m_pLandUseSet = &set;
  const int kinds[][2] = {{0, 32767}, {3, 59}, {4, 49}, {5, 39}};
  for (const auto& k : kinds) {
    std::vector<int> w(static_cast<std::size_t>(k[0]) + 1, 0);
    w.back() = 1;  // only this ID can win
    SeedRandom(99);
    ASSERT_EQ(c.RandomFill(w.data(), static_cast<int>(w.size())), 1);
    const std::vector<short> ages = Ages(c);
    const auto range = std::minmax_element(ages.begin(), ages.end());
    EXPECT_GE(*range.first, 0) << k[0];
    EXPECT_LE(*range.second, k[1]) << k[0];
    EXPECT_GT(*range.second, k[1] / 2) << k[0];
  }
}

TEST(CoverageRandomFill, AgeDrawsForEmptyWrappedAndUnknownRanges) {
  // A range of 0 (or below) gives age -1 without an age draw; a sum beyond
  // 32 bits wraps like int arithmetic; no set, an ID the set lacks, and a
  // coverage without ages still replay exactly.
  CLandUseSet set;
  LandUseOf(set, 0)->m_nActiveAge = 0;
  LandUseOf(set, 0)->m_nInactivePeriod = 0;
  LandUseOf(set, 3)->m_nActiveAge = 10;
  LandUseOf(set, 3)->m_nInactivePeriod = -10;
  CLandUseSet wrapped;
  LandUseOf(wrapped, 0)->m_nActiveAge = 2147483647;
  LandUseOf(wrapped, 0)->m_nInactivePeriod = 2;
  const std::vector<int> vacant = {1}, only9 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 4};
  struct Case {
    const CLandUseSet* set;
    const std::vector<int>* w;
    bool withAges;
  };
  const Case cases[] = {{&set, nullptr, true},     {&set, &vacant, true}, {&wrapped, &vacant, true},
                        {nullptr, nullptr, true},  {&set, &only9, true},  {&set, nullptr, false},
                        {&wrapped, &vacant, false}};
  for (const Case& k : cases) {
    CLandUseCoverage c;
    ASSERT_EQ(k.withAges ? c.InitCoverage(12, 12, 0) : c.InitGrid(12, 12, 0), 1);
    c.m_pLandUseSet = const_cast<CLandUseSet*>(k.set);
    Replay rp(31, 144 * 12);
    const Fill f = ReplayFill(rp, 144, k.set, k.w);
    ASSERT_EQ(k.w ? c.RandomFill(k.w->data(), static_cast<int>(k.w->size())) : c.RandomFill(), 1);
    const int index = static_cast<int>(&k - cases);
    EXPECT_EQ(Values(c), f.ids) << index;
    EXPECT_EQ(k.withAges ? Ages(c) : f.ages, f.ages) << index;
    EXPECT_TRUE(rp.DrawsMatch()) << index;
  }
  CLandUseCoverage c;  // with only vacant land possible, one draw per cell
  ASSERT_EQ(c.InitCoverage(12, 12, 0), 1);
  c.m_pLandUseSet = &set;
  Replay rp(31);
  ASSERT_EQ(c.RandomFill(vacant.data(), 1), 1);
  EXPECT_EQ(Ages(c), std::vector<short>(144, -1));
  rp.Skip(144);
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(CoverageMemory, BuffersThatCannotBeHadAreReportedAndEmptyTheCoverage) {
  struct Case {
    const char* what;
    int skip;  // allocations that still succeed
    const char* message;
  };
  const Case cases[] = {{"cell buffer of InitCoverage", 0, "Not enough memory!!"},
                        {"age buffer of InitCoverage", 1, "Not Enough Memory!!"},
                        {"cell buffer of InitGrid, same shape", 0, "Not enough memory!!"},
                        {"age buffer of Copy", 1, "Not Enough Memory!!"}};
  for (const Case& k : cases) {
    NoticeRecorder log;
    CLandUseCoverage c;
    FillPattern(c, 6, 6);
    const int index = static_cast<int>(&k - cases);
    std::unique_ptr<CLandUseCoverage> copy;
    EXPECT_EQ(WithFailingAllocation(k.skip,
                                    [&] {
                                      if (index == 3) copy.reset(c.Copy());
                                      return index == 3   ? 0
                                             : index == 2 ? c.InitGrid(6, 6, 1)
                                                          : c.InitCoverage(7, 7, 1);
                                    }),
              0)
        << k.what;
    CLandUseCoverage* result = index == 3 ? copy.get() : &c;
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(log.texts, std::vector<std::string>{k.message}) << k.what;
    EXPECT_EQ(result->IsEmpty(), 1) << k.what;
    EXPECT_EQ(result->m_pCellAge, nullptr) << k.what;
    EXPECT_EQ(result->GetCellAge(0, 0), -100) << k.what;
    EXPECT_EQ(result->SetCellValue(0, 0, 1) + result->SetCoverageAge(3), 0) << k.what;
  }
}
