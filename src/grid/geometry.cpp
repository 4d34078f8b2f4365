// Moving about the grid: range and border tests, the shortened step in one
// of eight directions, the nearest cell of a category and the straight line.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "grid/new_point.h"
#include "towngrow/grid/coverage.h"

namespace towngrow {

namespace {

// Truncation toward zero of a coordinate, or false when the value lies
// beyond what an int can hold (such a cell is outside every grid).
bool Truncate(double v, int& out) {
  if (!(v > static_cast<double>(std::numeric_limits<int>::min()) - 1.0 &&
        v < static_cast<double>(std::numeric_limits<int>::max()) + 1.0))
    return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int CLandUseCoverage::IsInEdge(int nRow, int nCol, int nWidth) const {
  if (!IsInRange(nRow, nCol)) return 0;
  const long long row = nRow;
  const long long col = nCol;
  const long long width = nWidth;
  if (row < width || row > m_nRows - width - 1 || col < width || col > m_nCols - width - 1)
    return 1;
  return 0;
}

CPoint CLandUseCoverage::GetNewPoint(int nRow, int nCol, int nDirection, int& nStep) const {
  return detail::NewPoint(*this, nRow, nCol, nDirection, nStep);
}

CPoint CLandUseCoverage::GetPointByCategory(LandUseCategory category, CPoint centre,
                                            int nRadius) const {
  if (!IsInRange(centre.y, centre.x)) return CPoint(0, 0);
  if (nRadius < 0) return CPoint(-1, -1);
  const long long r = nRadius;
  // Rows and columns outside the grid can never match: scan only the part
  // of the window that lies in the grid.
  const long long rowFirst = std::max<long long>(0, centre.y - r);
  const long long rowLast = std::min<long long>(m_nRows - 1LL, centre.y + r);
  const long long colFirst = std::max<long long>(0, centre.x - r);
  const long long colLast = std::min<long long>(m_nCols - 1LL, centre.x + r);

  CPoint finds[2];
  int nFinds = 0;
  for (long long row = rowFirst; row <= rowLast; ++row) {
    for (long long col = colFirst; col <= colLast; ++col) {
      if (GetLandUseCategory(static_cast<int>(row), static_cast<int>(col)) != category) continue;
      if (nFinds == 2) return CPoint(-1, -1);  // a third find decides by itself
      finds[nFinds++] = CPoint(static_cast<int>(col), static_cast<int>(row));
      break;  // one find per row: its leftmost match
    }
  }
  if (nFinds == 1) return finds[0];
  if (nFinds == 2) {
    auto distance = [&](const CPoint& p) {
      return std::llabs(static_cast<long long>(p.x) - centre.x) +
             std::llabs(static_cast<long long>(p.y) - centre.y);
    };
    return distance(finds[1]) < distance(finds[0]) ? finds[1] : finds[0];
  }
  return CPoint(-1, -1);
}

void CLandUseCoverage::CovDDALine(CPoint from, CPoint to, unsigned char id) {
  if (from == to) {
    SetCellValue(from, id);
    return;
  }
  const double dx = static_cast<double>(to.x) - static_cast<double>(from.x);
  const double dy = static_cast<double>(to.y) - static_cast<double>(from.y);
  const double m = (dx == 0.0) ? std::numeric_limits<double>::infinity() : std::fabs(dy / dx);

  if (m <= 1.0) {
    // Shallow: the column is the major axis.
    const double increment = (from.y <= to.y) ? m : -m;
    const long long stepX = (from.x <= to.x) ? 1 : -1;
    const long long count = std::llabs(static_cast<long long>(to.x) - from.x) + 1;
    double y = from.y;
    long long x = from.x;
    for (long long i = 0; i < count; ++i, x += stepX, y += increment) {
      // Past the far side of the grid nothing more can be written.
      if ((stepX > 0 && x >= m_nCols) || (stepX < 0 && x < 0)) break;
      int row = 0;
      if (x >= 0 && x < m_nCols && Truncate(y + 0.5, row))
        SetCellValue(row, static_cast<int>(x), id);
    }
  } else {
    // Steep: the row is the major axis.
    const double increment = std::isinf(m) ? 0.0 : ((from.x <= to.x) ? 1.0 / m : -1.0 / m);
    const long long stepY = (from.y <= to.y) ? 1 : -1;
    const long long count = std::llabs(static_cast<long long>(to.y) - from.y) + 1;
    double x = from.x;
    long long y = from.y;
    for (long long i = 0; i < count; ++i, y += stepY, x += increment) {
      if ((stepY > 0 && y >= m_nRows) || (stepY < 0 && y < 0)) break;
      int col = 0;
      if (y >= 0 && y < m_nRows && Truncate(x + 0.5, col))
        SetCellValue(static_cast<int>(y), col, id);
    }
  }
}

}  // namespace towngrow
