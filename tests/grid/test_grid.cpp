// The byte raster and the coverage: shapes and their limits, cells and ages at and beyond the
// border, the three copies and the fields each takes, the random starts replayed.
#include <memory>
#include <tuple>

#include "support/scene.h"

using namespace testkit;

namespace {

// IDs 0..6 and distinct ages per cell.
void Pattern(CLandUseCoverage& c, int rows, int cols) {
  ASSERT_EQ(c.InitCoverage(rows, cols, 0), 1);
  for (int r = 0; r < rows; ++r)
    for (int k = 0; k < cols; ++k) {
      c.SetCellValue(r, k, static_cast<unsigned char>((r * cols + k) % 7));
      c.SetCellAge(r, k, static_cast<short>(100 * r + k));
    }
}

// Every field but the cells: cell size, corners, scale, no-data value, type, name and linked set.
using Fields = std::tuple<double, double, double, double, int, int, std::string, CLandUseSet*>;
auto Tie(CLandUseCoverage& c) {
  return std::tie(c.m_dCellSize, c.m_dXllCorner, c.m_dYllCorner, c.m_dScale, c.m_nNoDataValue,
                  c.m_nGridType, c.m_strName, c.m_pLandUseSet);
}
Fields FieldsOf(CLandUseCoverage& c) { return Tie(c); }

}  // namespace

TEST(Grid, ShapesFromFiveToTenThousandCellsBeyondTheBorderAndTheFill) {
  CGrid g;
  EXPECT_EQ(std::make_tuple(g.IsEmpty(), g.m_nGridType, g.m_strName, g.GetCellValue(0, 0)),
            std::make_tuple(1, -1, std::string(), static_cast<unsigned char>(0)));
  EXPECT_EQ(g.SetCellValue(0, 0, 1) + g.SetCellValue(CPoint(0, 0), 1) + g.SetGridValue(1), 0);
  const int shapes[][3] = {{5, 5, 1},     {10000, 5, 1}, {5, 10000, 1}, {4, 5, 0},  {5, 4, 0},
                           {10001, 5, 0}, {5, 10001, 0}, {0, 0, 0},     {-5, 7, 0}, {6, 9, 1}};
  for (const auto& s : shapes) {
    const unsigned char* before = g.m_pData;
    EXPECT_EQ(g.InitGrid(s[0], s[1], 3), s[2]) << s[0] << " x " << s[1];
    EXPECT_TRUE(s[2] == 1 || g.m_pData == before);  // a refused shape changes nothing
  }
  EXPECT_EQ(std::make_tuple(g.m_nRows, g.m_nCols, g.m_strName, g.m_nGridType, g.m_dScale),
            std::make_tuple(6, 9, std::string("Grid"), 0, 1.0));
  ASSERT_EQ(g.SetCellValue(CPoint(8, 5), 58) + g.SetCellValue(1, 2, 12), 2);  // x column, y row
  EXPECT_EQ(std::make_pair(+g.m_pData[5 * 9 + 8], +g.m_pData[1 * 9 + 2]), std::make_pair(58, 12));
  EXPECT_EQ(std::make_pair(+g.GetCellValue(CPoint(2, 1)), +g.GetCellValue(0, 0)),
            std::make_pair(12, 3));
  const int outside[][2] = {{6, 0},  {0, 9}, {-1, 0},
                            {0, -1}, {6, 9}, {-2147483647 - 1, 2147483647}};
  for (const auto& o : outside) {
    EXPECT_EQ(g.GetCellValue(o[0], o[1]) + g.GetCellValue(CPoint(o[1], o[0])), 0);
    EXPECT_EQ(g.SetCellValue(o[0], o[1], 200) + g.SetCellValue(CPoint(o[1], o[0]), 201), 0);
  }
  EXPECT_EQ(std::count(g.m_pData, g.m_pData + 54, 3), 52);
  for (int v : {0x1FF, 256, -1, 0x12345678}) {
    ASSERT_EQ(g.SetGridValue(v), 1);
    EXPECT_EQ(std::count(g.m_pData, g.m_pData + 54, static_cast<unsigned char>(v)), 54) << v;
  }
}

TEST(Coverage, AgesBesideTheCellsWrapInSixteenBitsAndAnswerMinusHundredOutside) {
  CLandUseCoverage c;
  EXPECT_EQ(FieldsOf(c), Fields(30.0, 0.0, 0.0, 1.0, -9999, -1, "", nullptr));
  EXPECT_EQ(c.GetCellAge(0, 0), -100);
  EXPECT_EQ(c.SetCellAge(0, 0, 1) + c.SetCellAgeGrow(0, 0, 1) + c.SetCoverageAge(1), 0);
  c.m_dCellSize = 12.5;
  Pattern(c, 6, 8);
  const auto ages = Ages(c);
  EXPECT_EQ(c.InitCoverage(4, 20, 5) + c.InitCoverage(20, 10001, 5), 0);
  EXPECT_EQ(Ages(c), ages);
  const int outside[][2] = {{6, 0}, {0, 8}, {-1, 0}, {0, -1}};
  for (const auto& o : outside) {
    EXPECT_EQ(c.GetCellAge(o[0], o[1]) + c.GetCellAge(CPoint(o[1], o[0])), -200);
    EXPECT_EQ(c.SetCellAge(o[0], o[1], 1) + c.SetCellAge(CPoint(o[1], o[0]), 1), 0);
    EXPECT_EQ(c.SetCellAgeGrow(o[0], o[1], 1) + c.SetCellAgeGrow(CPoint(o[1], o[0]), 1), 0);
  }
  EXPECT_EQ(std::make_tuple(Ages(c), c.GetCellAge(CPoint(7, 2))), std::make_tuple(ages, 207));
  ASSERT_EQ(c.SetCellAge(CPoint(7, 2), 11) + c.SetCellAgeGrow(CPoint(7, 2), 5), 2);
  ASSERT_EQ(c.SetCellAgeGrow(2, 7, -20), 1);
  EXPECT_EQ(std::make_pair(+c.m_pCellAge[2 * 8 + 7], +c.GetCellAge(2, 6)), std::make_pair(-4, 206));
  c.SetCellAge(1, 1, 32767);
  c.SetCellAgeGrow(1, 1, 1);
  EXPECT_EQ(c.GetCellAge(1, 1), -32768);
  for (int v : {70000, 65536, -1, 32768, -70000}) {
    ASSERT_EQ(c.SetCoverageAge(v), 1);
    EXPECT_EQ(Ages(c), std::vector<short>(48, static_cast<short>(v))) << v;
  }
  ASSERT_EQ(c.InitCoverage(10, 20, 5), 1);  // zero cells, the given age, the georeference kept
  EXPECT_EQ(std::make_tuple(Values(c), Ages(c), c.m_dCellSize, c.m_strName),
            std::make_tuple(std::vector<unsigned char>(200, 0), std::vector<short>(200, 5), 12.5,
                            std::string("Grid")));
  Pattern(c, 6, 8);
  ASSERT_EQ(c.InitGrid(6, 8, 2), 1);  // the same shape keeps the ages, another drops them
  EXPECT_EQ(std::make_pair(+c.GetCellAge(5, 7), +c.GetCellValue(5, 7)), std::make_pair(507, 2));
  ASSERT_EQ(c.InitGrid(9, 9, 1), 1);
  EXPECT_EQ(c.m_pCellAge, nullptr);
  EXPECT_EQ(c.SetCellAge(0, 0, 4) + c.SetCoverageAge(4) - c.GetCellAge(0, 0), 100);
}

TEST(Coverage, CopiesTakeTheirOwnFieldsIntoBuffersThatHoldTheSource) {
  // Copy: a new coverage with cells, type, name and link, the default
  // georeference and scale. Assignment: cells, scale, type, name and link
  // into the target's buffers. CopyValueFromCoverage: every field.
  CLandUseSet set;
  CLandUseCoverage src, assigned, valued, small, none, large, freed;
  Pattern(src, 6, 8);
  const Fields from(25.0, 5.0, 6.0, 2.0, -1, 3, "src", &set);
  Tie(src) = from;
  std::unique_ptr<CLandUseCoverage> copy(src.Copy());
  EXPECT_EQ(FieldsOf(*copy), Fields(30.0, 0.0, 0.0, 1.0, -9999, 3, "src", &set));
  for (CLandUseCoverage* dst : {&assigned, &valued}) {
    ASSERT_EQ(dst->InitCoverage(6, 8, 77), 1);
    Tie(*dst) = Fields(10.0, 1.0, 2.0, 1.0, -5, 0, "Grid", nullptr);
  }
  const unsigned char* buffer = assigned.m_pData;
  assigned = src;
  EXPECT_EQ(assigned.m_pData, buffer);
  EXPECT_EQ(FieldsOf(assigned), Fields(10.0, 1.0, 2.0, 2.0, -5, 3, "src", &set));
  EXPECT_EQ(valued.CopyValueFromCoverage(&src), 1);
  EXPECT_EQ(FieldsOf(valued), from);
  ASSERT_EQ(large.InitCoverage(10, 10, 1), 1);  // a larger target takes the shape
  EXPECT_EQ(large.CopyValueFromCoverage(&src), 1);
  for (CLandUseCoverage* dst : {copy.get(), &assigned, &valued, &large}) {
    EXPECT_EQ(std::make_tuple(dst->m_nRows, dst->m_nCols, Values(*dst), Ages(*dst)),
              std::make_tuple(6, 8, Values(src), Ages(src)));
    dst->SetCellValue(0, 0, 9);
  }
  EXPECT_EQ(src.GetCellValue(0, 0), 0);  // the copies are independent
  Pattern(freed, 8, 8);
  freed.Free();  // no buffers, the shape stays; twice is harmless
  freed.Free();
  EXPECT_EQ(std::unique_ptr<CLandUseCoverage>(freed.Copy())->IsEmpty(), 1);
  ASSERT_EQ(small.InitCoverage(5, 5, 1), 1);  // smaller targets refuse, and stay
  EXPECT_EQ(small.CopyValueFromCoverage(&src) + small.CopyValueFromCoverage(&freed), 0);
  small = src;
  EXPECT_EQ(std::make_tuple(small.m_nRows, small.m_strName, Ages(small)),
            std::make_tuple(5, std::string("Grid"), std::vector<short>(25, 1)));
  EXPECT_EQ(none.CopyValueFromCoverage(&src) + none.CopyValueFromCoverage(nullptr), 0);
  EXPECT_EQ(none.CopyValueFromCoverage(&freed), 1);  // both without cells
  EXPECT_EQ(std::make_pair(none.m_nRows, none.IsEmpty()), std::make_pair(8, 1));
  EXPECT_EQ(src.CopyValueFromCoverage(&src), 1);
}

TEST(Coverage, RandomStartsDrawTheIdThenTheAgeOfEveryCell) {
  // Sparse: 1 in 58 cells settles one of six IDs; weighted: the largest draw over the weights. Then
  // an age draw over the ID's active age plus inactive period (32-bit wrap; 0 or less, no set, an
  // ID without land use: age -1 without a draw). A coverage without ages draws them all the same.
  CLandUseSet set, odd, wrapped;
  auto lu = [](CLandUseSet& s, int id) { return static_cast<CLandUse*>(s.m_LandUseArray[id]); };
  lu(odd, 0)->m_nActiveAge = lu(odd, 0)->m_nInactivePeriod = 0;
  lu(odd, 3)->m_nActiveAge = 10;
  lu(odd, 3)->m_nInactivePeriod = -10;
  lu(wrapped, 0)->m_nActiveAge = 2147483647;
  lu(wrapped, 0)->m_nInactivePeriod = 2;
  const std::vector<int> none, w = {3, 0, 7, 2, 0, 5, 1}, vacant = {1}, only9(10, 0);
  // Each: the set, the weights (none: the sparse start), whether the coverage has ages.
  const std::tuple<const CLandUseSet*, const std::vector<int>*, bool> cases[] = {
      {&set, &none, true}, {&set, &w, true},          {&odd, &none, true},  {&odd, &vacant, true},
      {nullptr, &w, true}, {&wrapped, &vacant, true}, {&set, &none, false}, {&set, &w, false}};
  for (const auto& k : cases) {
    const auto& [from, weights, withAges] = k;
    SCOPED_TRACE(&k - cases);
    CLandUseCoverage c;
    ASSERT_EQ(withAges ? c.InitCoverage(23, 31, 0) : c.InitGrid(23, 31, 0), 1);
    c.m_pLandUseSet = const_cast<CLandUseSet*>(from);
    Replay rp(31, 23 * 31 * 9);
    std::vector<unsigned char> ids;
    std::vector<short> ages;
    for (int n = 0; n < 23 * 31; ++n) {
      int id = weights->empty() ? 0 : rp.MaxIndex(*weights);
      if (weights->empty() && rp.Int(58) == 2) id = rp.Int(6) - 1;
      const int i = from ? from->GetIDIndex(static_cast<unsigned char>(id)) : -1;
      const CLandUse* use =
          i < 0 ? nullptr : static_cast<const CLandUse*>(from->m_LandUseArray.GetAt(i));
      ids.push_back(static_cast<unsigned char>(id));
      ages.push_back(static_cast<short>(
          rp.Int(use ? static_cast<int>(static_cast<unsigned>(use->m_nActiveAge) +
                                        static_cast<unsigned>(use->m_nInactivePeriod))
                     : 0) -
          1));
    }
    EXPECT_EQ(weights->empty() ? c.RandomFill()
                               : c.RandomFill(weights->data(), static_cast<int>(weights->size())),
              1);
    EXPECT_EQ(std::make_tuple(Values(c), withAges ? Ages(c) : ages), std::make_tuple(ids, ages));
    EXPECT_TRUE(rp.DrawsMatch());
    EXPECT_TRUE(weights == &vacant || std::count(ids.begin(), ids.end(), 0) < 23 * 31 - 5);
  }
  CLandUseCoverage c, empty;
  ASSERT_EQ(c.InitCoverage(5, 5, 8), 1);
  Replay rp(6);  // no weights or no cells: nothing drawn or written
  EXPECT_EQ(c.RandomFill(only9.data(), 0) + c.RandomFill(nullptr, 1) + empty.RandomFill() +
                empty.RandomFill(only9.data(), 10),
            0);
  c.Free();
  EXPECT_EQ(c.RandomFill(), 0);
  EXPECT_TRUE(rp.DrawsMatch());
}
