// The byte raster: sizing, bounds of every cell operation, the fill, and the
// report of a cell buffer that cannot be had.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

// Array allocations of this program go through malloc/free so that a test
// can make the next non-throwing array allocation fail.
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

std::vector<unsigned char> Cells(const CGrid& g) {
  return std::vector<unsigned char>(g.m_pData, g.m_pData + g.m_nRows * g.m_nCols);
}

// A 6 x 9 grid whose cell (r, c) holds 10 * r + c.
void FillPattern(CGrid& g) {
  ASSERT_EQ(g.InitGrid(6, 9, 0), 1);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 9; ++c) ASSERT_EQ(g.SetCellValue(r, c, static_cast<unsigned char>(10 * r + c)), 1);
}

}  // namespace

TEST(GridConstruction, NewGridIsEmptyAndRefusesEveryCell) {
  CGrid g;
  EXPECT_EQ(g.IsEmpty(), 1);
  EXPECT_EQ(g.m_nGridType, -1);
  EXPECT_EQ(g.m_strName, "");
  EXPECT_EQ(g.m_nRows, 0);
  EXPECT_EQ(g.m_nCols, 0);
  EXPECT_EQ(g.m_pData, nullptr);
  EXPECT_EQ(g.GetCellValue(0, 0), 0);
  EXPECT_EQ(g.GetCellValue(CPoint(0, 0)), 0);
  EXPECT_EQ(g.SetCellValue(0, 0, 1), 0);
  EXPECT_EQ(g.SetCellValue(CPoint(0, 0), 1), 0);
  EXPECT_EQ(g.SetGridValue(1), 0);
  EXPECT_EQ(g.IsEmpty(), 1);
}

TEST(GridInit, SizesAndFillsAndNames) {
  CGrid g;
  ASSERT_EQ(g.InitGrid(6, 9, 7), 1);
  EXPECT_EQ(g.IsEmpty(), 0);
  EXPECT_EQ(g.m_nRows, 6);
  EXPECT_EQ(g.m_nCols, 9);
  EXPECT_EQ(g.m_strName, "Grid");
  EXPECT_EQ(g.m_nGridType, 0);
  EXPECT_EQ(g.m_dScale, 1.0);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 9; ++c) EXPECT_EQ(g.GetCellValue(r, c), 7) << r << "," << c;
}

TEST(GridInit, SmallestAndLargestShapesAreAccepted) {
  CGrid g;
  EXPECT_EQ(g.InitGrid(5, 5, 1), 1);
  EXPECT_EQ(g.GetCellValue(4, 4), 1);
  EXPECT_EQ(g.InitGrid(10000, 5, 2), 1);
  EXPECT_EQ(g.GetCellValue(9999, 4), 2);
  EXPECT_EQ(g.InitGrid(5, 10000, 3), 1);
  EXPECT_EQ(g.GetCellValue(4, 9999), 3);
}

TEST(GridInit, InvalidShapesLeaveAnInitialisedGridAsItWas) {
  CGrid g;
  FillPattern(g);
  g.m_strName = "kept";
  g.m_nGridType = 4;
  g.m_dScale = 2.5;
  const unsigned char* buffer = g.m_pData;
  const std::vector<unsigned char> before = Cells(g);
  const int bad[][2] = {{4, 5}, {5, 4}, {10001, 5}, {5, 10001}, {0, 0}, {-5, 7}, {7, -5}};
  for (const auto& b : bad) {
    EXPECT_EQ(g.InitGrid(b[0], b[1], 99), 0) << b[0] << " x " << b[1];
    EXPECT_EQ(g.m_pData, buffer);
    EXPECT_EQ(g.m_nRows, 6);
    EXPECT_EQ(g.m_nCols, 9);
    EXPECT_EQ(g.m_strName, "kept");
    EXPECT_EQ(g.m_nGridType, 4);
    EXPECT_EQ(g.m_dScale, 2.5);
    EXPECT_EQ(Cells(g), before);
  }
}

TEST(GridInit, SecondInitReplacesShapeAndValues) {
  CGrid g;
  FillPattern(g);
  ASSERT_EQ(g.InitGrid(12, 7, 4), 1);
  EXPECT_EQ(g.m_nRows, 12);
  EXPECT_EQ(g.m_nCols, 7);
  for (int r = 0; r < 12; ++r)
    for (int c = 0; c < 7; ++c) EXPECT_EQ(g.GetCellValue(r, c), 4);
  EXPECT_EQ(g.GetCellValue(0, 7), 0);
}

TEST(GridInit, MissingBufferIsReportedAndLeavesTheGridEmpty) {
  MessageLog log;
  CGrid g;
  FillPattern(g);
  g_failNothrowArrayIn = 0;
  EXPECT_EQ(g.InitGrid(8, 11, 1), 0);
  g_failNothrowArrayIn = -1;
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0], "Not enough memory!!");
  EXPECT_EQ(g.IsEmpty(), 1);
  EXPECT_EQ(g.m_nRows, 8);  // the new shape stays
  EXPECT_EQ(g.m_nCols, 11);
  EXPECT_EQ(g.GetCellValue(0, 0), 0);
  EXPECT_EQ(g.SetCellValue(0, 0, 1), 0);
  EXPECT_EQ(g.SetGridValue(3), 0);
  // A later initialisation works again.
  EXPECT_EQ(g.InitGrid(5, 5, 2), 1);
  EXPECT_EQ(g.GetCellValue(4, 4), 2);
  EXPECT_EQ(log.texts.size(), 1u);
}

TEST(GridCells, OutsideCellsReadZeroAndAreNeverWritten) {
  CGrid g;
  FillPattern(g);
  const std::vector<unsigned char> before = Cells(g);
  const int outside[][2] = {{6, 0}, {0, 9}, {-1, 0}, {0, -1}, {6, 9}, {-1, -1}, {100000, 3},
                            {3, -100000}, {-2147483647 - 1, 0}, {0, 2147483647}};
  for (const auto& o : outside) {
    EXPECT_EQ(g.GetCellValue(o[0], o[1]), 0);
    EXPECT_EQ(g.GetCellValue(CPoint(o[1], o[0])), 0);
    EXPECT_EQ(g.SetCellValue(o[0], o[1], 200), 0);
    EXPECT_EQ(g.SetCellValue(CPoint(o[1], o[0]), 201), 0);
  }
  EXPECT_EQ(Cells(g), before);
}

TEST(GridCells, CornersAndThePointFormTakeRowFromY) {
  CGrid g;
  FillPattern(g);
  EXPECT_EQ(g.GetCellValue(0, 0), 0);
  EXPECT_EQ(g.GetCellValue(5, 8), 58);
  EXPECT_EQ(g.GetCellValue(0, 8), 8);
  EXPECT_EQ(g.GetCellValue(5, 0), 50);
  EXPECT_EQ(g.GetCellValue(CPoint(3, 2)), 23);  // x column 3, y row 2

  ASSERT_EQ(g.SetCellValue(CPoint(8, 5), 3), 1);
  EXPECT_EQ(g.m_pData[5 * 9 + 8], 3);
  EXPECT_EQ(g.GetCellValue(5, 8), 3);
  ASSERT_EQ(g.SetCellValue(1, 2, 250), 1);
  EXPECT_EQ(g.m_pData[1 * 9 + 2], 250);  // row after row in one buffer
  EXPECT_EQ(g.GetCellValue(CPoint(2, 1)), 250);
}

TEST(GridFill, StoresTheLowEightBits) {
  CGrid g;
  FillPattern(g);
  const struct {
    int value;
    unsigned char stored;
  } cases[] = {{0x1FF, 0xFF}, {256, 0}, {-1, 0xFF}, {0x12345678, 0x78}, {9, 9}};
  for (const auto& k : cases) {
    ASSERT_EQ(g.SetGridValue(k.value), 1);
    for (unsigned char v : Cells(g)) ASSERT_EQ(v, k.stored) << k.value;
  }
}
