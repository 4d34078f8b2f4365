// CLandUseCoverage::GetNewPoint, inline for the rules that ask it on every
// call: the cell nStep cells away in a direction, the step shortened at the
// grid's border (see coverage.h for the rules of each direction).
#pragma once

#include <algorithm>
#include <cstdint>

#include "towngrow/grid/coverage.h"

namespace towngrow {
namespace detail {

// Narrows a 64-bit intermediate to int as 32-bit int arithmetic wraps.
inline int WrapInt(long long v) {
  return static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

inline CPoint NewPoint(const CLandUseCoverage& cov, int nRow, int nCol, int nDirection,
                       int& nStep) {
  const long long row = nRow;
  const long long col = nCol;
  const long long s = nStep;
  const long long lastRow = cov.m_nRows - 1LL;
  const long long lastCol = cov.m_nCols - 1LL;
  long long step = s;
  long long x = col;
  long long y = row;

  // Away from the border every direction moves s cells along its own
  // offsets: found by a look-up rather than by a jump on a random
  // direction, which the processor cannot foresee.
  if (nDirection >= 0 && nDirection < 8 && s >= 0 && row - s >= 0 && col - s >= 0 &&
      row + s <= lastRow && col + s <= lastCol) {
    static constexpr signed char kRowStep[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
    static constexpr signed char kColStep[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    return CPoint(WrapInt(col + kColStep[nDirection] * s), WrapInt(row + kRowStep[nDirection] * s));
  }

  switch (nDirection) {
    case 0:
      if (row - s < 0) {
        step = row;
        y = 0;
      } else {
        y = row - s;
      }
      break;
    case 1:
      if (col + s > lastCol) {
        step = lastCol - col;
        if (row - s < 0) step = std::min(step, row);
        x = col + step;
        y = row - step;
      } else if (row - s < 0) {
        step = row;
        x = col + s;
        y = 0;
      } else {
        x = col + s;
        y = row - s;
      }
      break;
    case 2:
      if (col + s > lastCol) {
        step = lastCol - col;
        x = lastCol;
      } else {
        x = col + s;
      }
      break;
    case 3:
      if (col + s > lastCol) {
        step = lastCol - col;
        if (row + s > lastRow) step = std::min(step, lastRow - row);
        x = col + step;
        y = row + step;
      } else if (row + s > lastRow) {
        step = lastRow - row;
        x = col + s;
        y = lastRow;
      } else {
        x = col + s;
        y = row + s;
      }
      break;
    case 4:
      if (row + s > lastRow) {
        step = lastRow - row;
        y = lastRow;
      } else {
        y = row + s;
      }
      break;
    case 5:
      if (col - s < 0) {
        step = col;
        if (row + s > lastRow) step = std::min(col, lastRow - row);
        x = col - step;
        y = row + step;
      } else if (row + s > lastRow) {
        step = lastRow - row;
        x = col - s;
        y = lastRow;
      } else {
        x = col - s;
        y = row + s;
      }
      break;
    case 6:
      if (col - s < 0) {
        step = col;
        x = 0;
      } else {
        x = col - s;
      }
      break;
    case 7:
      if (col - s < 0) {
        step = col;
        if (row - s < 0) step = std::min(col, row);
        x = col - step;
        y = row - step;
      } else if (row - s < 0) {
        step = row;
        x = col - s;
        y = 0;
      } else {
        x = col - s;
        y = row - s;
      }
      break;
    default:
      break;
  }
  nStep = WrapInt(step);
  return CPoint(WrapInt(x), WrapInt(y));
}

}  // namespace detail
}  // namespace towngrow
