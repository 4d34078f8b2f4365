// The small grid answers the rules ask on every call, inline: the public
// IntToCategory, ShareCount and CLandUseCoverage::GetCellAge answer through
// these, so both give the same values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "towngrow/grid/category.h"
#include "towngrow/grid/coverage.h"

namespace towngrow {
namespace detail {

// 0..5 to the enumerators of those values, everything else to Others.
inline LandUseCategory CategoryOfInt(int n) {
  return static_cast<unsigned>(n) <= 5u ? static_cast<LandUseCategory>(n) : Others;
}

// trunc(percent * (2r+1)^2 * 0.01 + 0.5). The product wraps in 32 bits as
// the original integer arithmetic did; unsigned arithmetic keeps that free
// of undefined behaviour.
inline int ShareCountOf(int percent, int radius) {
  const std::uint32_t side = 2u * static_cast<std::uint32_t>(radius) + 1u;
  const std::uint32_t product = static_cast<std::uint32_t>(percent) * side * side;
  const std::int32_t cells = static_cast<std::int32_t>(product);
  return static_cast<int>(static_cast<double>(cells) * 0.01 + 0.5);
}

// The cell's age, -100 outside the grid or without buffers.
inline short AgeAt(const CLandUseCoverage& cov, int nRow, int nCol) {
  if (cov.m_pData == nullptr || cov.m_pCellAge == nullptr || nRow < 0 || nCol < 0 ||
      nRow >= cov.m_nRows || nCol >= cov.m_nCols)
    return -100;
  return cov.m_pCellAge[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(cov.m_nCols) +
                        static_cast<std::size_t>(nCol)];
}
inline short AgeAt(const CLandUseCoverage& cov, CPoint p) { return AgeAt(cov, p.y, p.x); }

}  // namespace detail
}  // namespace towngrow
