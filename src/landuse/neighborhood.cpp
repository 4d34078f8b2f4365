// Neighbourhood counts, age states and development under a background
// raster: the members of CLandUse that look at a coverage.
#include <algorithm>

#include "towngrow/grid/coverage.h"
#include "towngrow/grid/grid.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/messages.h"

namespace towngrow {

namespace {

// The part of the square of radius r around (row, col) that lies inside a
// coverage of rows x cols cells, as inclusive bounds; 64-bit so that any
// radius is safe. Empty when first > last.
struct Window {
  long long rowFirst, rowLast, colFirst, colLast;
};

Window ClipSquare(const CLandUseCoverage& cov, int nRow, int nCol, int nRadius) {
  const long long r = nRadius;
  Window w;
  w.rowFirst = std::max<long long>(0, nRow - r);
  w.rowLast = std::min<long long>(cov.m_nRows - 1LL, nRow + r);
  w.colFirst = std::max<long long>(0, nCol - r);
  w.colLast = std::min<long long>(cov.m_nCols - 1LL, nCol + r);
  return w;
}

long long Span(long long first, long long last) { return last >= first ? last - first + 1 : 0; }

}  // namespace

int CLandUse::GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, LandUseCategory category,
                                    int nRow, int nCol, int nRadius) const {
  if (pCoverage == nullptr || !pCoverage->IsInRange(nRow, nCol)) return 0;
  if (nRadius < 0) return 0;  // an empty square

  const Window w = ClipSquare(*pCoverage, nRow, nCol, nRadius);
  long long count = 0;
  for (long long r = w.rowFirst; r <= w.rowLast; ++r)
    for (long long c = w.colFirst; c <= w.colLast; ++c)
      if (pCoverage->GetLandUseCategory(static_cast<int>(r), static_cast<int>(c)) == category)
        ++count;

  unsigned long long total = static_cast<unsigned long long>(count);
  if (category == Blank) {
    // Cells of the square beyond the edge count as vacant land. The side is
    // below 2^32, so its square fits in 64 unsigned bits.
    const unsigned long long side = 2ULL * static_cast<unsigned long long>(nRadius) + 1ULL;
    const unsigned long long inside =
        static_cast<unsigned long long>(Span(w.rowFirst, w.rowLast) * Span(w.colFirst, w.colLast));
    total += side * side - inside;
  }
  return total > 2147483647ULL ? 2147483647 : static_cast<int>(total);
}

int CLandUse::GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, LandUseCategory category,
                                    CPoint pt, int nRadius) const {
  return GetCategoryInNeighbor(pCoverage, category, pt.y, pt.x, nRadius);
}

int CLandUse::GetCategoryInNeighbor(const CLandUseCoverage* pCoverage,
                                    const LandUseCategory* categories, int* counts, int nCount,
                                    int nRow, int nCol, int nRadius) const {
  if (pCoverage == nullptr || !pCoverage->IsInRange(nRow, nCol)) return 0;
  if (nCount > 0 && (categories == nullptr || counts == nullptr)) return 0;
  for (int k = 0; k < nCount; ++k) counts[k] = 0;
  if (nRadius < 0 || nCount <= 0) return 1;

  const Window w = ClipSquare(*pCoverage, nRow, nCol, nRadius);
  for (long long r = w.rowFirst; r <= w.rowLast; ++r) {
    for (long long c = w.colFirst; c <= w.colLast; ++c) {
      const LandUseCategory cat =
          pCoverage->GetLandUseCategory(static_cast<int>(r), static_cast<int>(c));
      if (cat == Blank) continue;
      for (int k = 0; k < nCount; ++k) {
        if (categories[k] == cat) {
          ++counts[k];  // the first listed place only
          break;
        }
      }
    }
  }
  return 1;
}

int CLandUse::GetCategoryInNeighbor(const CLandUseCoverage* pCoverage,
                                    const LandUseCategory* categories, int* counts, int nCount,
                                    CPoint pt, int nRadius) const {
  return GetCategoryInNeighbor(pCoverage, categories, counts, nCount, pt.y, pt.x, nRadius);
}

namespace {

// Age of a cell; a missing coverage holds no cell, so the answer is that of
// a cell outside one.
long long AgeOf(const CLandUseCoverage* pCoverage, int nRow, int nCol) {
  return pCoverage == nullptr ? -100 : pCoverage->GetCellAge(nRow, nCol);
}

}  // namespace

int CLandUse::IsActive(const CLandUseCoverage* pCoverage, int nRow, int nCol) const {
  const long long a = AgeOf(pCoverage, nRow, nCol);
  return a >= 0 && a <= m_nActiveAge ? 1 : 0;
}

int CLandUse::IsInActive(const CLandUseCoverage* pCoverage, int nRow, int nCol) const {
  const long long a = AgeOf(pCoverage, nRow, nCol);
  const long long last = static_cast<long long>(m_nActiveAge) + m_nInactivePeriod;
  return a >= 0 && a > m_nActiveAge && a <= last ? 1 : 0;
}

int CLandUse::IsOld(const CLandUseCoverage* pCoverage, int nRow, int nCol) const {
  const long long a = AgeOf(pCoverage, nRow, nCol);
  const long long last = static_cast<long long>(m_nActiveAge) + m_nInactivePeriod;
  return a >= 0 && a > last ? 1 : 0;
}

int CLandUse::IsDead(const CLandUseCoverage* pCoverage, int nRow, int nCol) const {
  return AgeOf(pCoverage, nRow, nCol) < 0 ? 1 : 0;
}

int CLandUse::CheckBackGround(int nRow, int nCol, const CGrid* pBackGround) const {
  if (pBackGround == nullptr || m_ID > 7) return 0;  // no bit for IDs above 7
  return (1 << m_ID) & pBackGround->GetCellValue(nRow, nCol);
}

int CLandUse::DevelopWithBackGround(CLandUseCoverage* pCoverage, int nRow, int nCol,
                                    CLandUseCoverage* pNewCoverage, const CGrid* pBackGround) {
  if (CheckBackGround(nRow, nCol, pBackGround) != 0)
    return Develop(pCoverage, nRow, nCol, pNewCoverage);
  if (m_ID != 3 && m_ID != 4 && m_ID != 5) return 0;

  const long long a = AgeOf(pCoverage, nRow, nCol);
  if (pNewCoverage != nullptr) pNewCoverage->SetCellAgeGrow(nRow, nCol, 1);
  if (a < 0 || a <= static_cast<long long>(m_nActiveAge) + m_nInactivePeriod) return 0;

  // An old cell under a background that no longer allows it: given up.
  const CLandUseSet* pSet = pCoverage->m_pLandUseSet;
  const int vacant = pSet != nullptr ? pSet->GetProbID(Blank) : 0;
  if (pNewCoverage != nullptr)
    pNewCoverage->SetCellValue(nRow, nCol, static_cast<unsigned char>(vacant));
  if (vacant != 0) ShowMessage("Yes,You have changed the setting,..");
  if (pNewCoverage != nullptr)
    pNewCoverage->SetCellAge(nRow, nCol, static_cast<short>(-static_cast<long long>(m_nDeadAge)));
  return 0;
}

}  // namespace towngrow
