// Neighbourhood counts, age states and development under a background
// raster: the members of CLandUse that look at a coverage.
#include <algorithm>

#include "landuse/category_table.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/grid/grid.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/messages.h"

namespace towngrow {

// The counts run on the set's category table (landuse/category_table.h),
// taken afresh for every call, so a host may change the set between calls.
int CLandUse::GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, LandUseCategory category,
                                    int nRow, int nCol, int nRadius) const {
  if (pCoverage == nullptr || !pCoverage->IsInRange(nRow, nCol) || nRadius < 0) return 0;
  const CLandUseSet* pSet = pCoverage->m_pLandUseSet;
  return detail::CountOne(pCoverage, pSet, detail::CategoryTableOf(pSet), category, nRow, nCol,
                          nRadius);
}

int CLandUse::GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, LandUseCategory category,
                                    CPoint pt, int nRadius) const {
  return GetCategoryInNeighbor(pCoverage, category, pt.y, pt.x, nRadius);
}

int CLandUse::GetCategoryInNeighbor(const CLandUseCoverage* pCoverage,
                                    const LandUseCategory* categories, int* counts, int nCount,
                                    int nRow, int nCol, int nRadius) const {
  if (pCoverage == nullptr || !pCoverage->IsInRange(nRow, nCol)) return 0;
  const CLandUseSet* pSet = pCoverage->m_pLandUseSet;
  return detail::CountSeveral(pCoverage, pSet, detail::CategoryTableOf(pSet), categories, counts,
                              nCount, nRow, nCol, nRadius);
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
