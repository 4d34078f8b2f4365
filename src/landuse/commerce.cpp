// The commerce rule. A commerce cell ages one step per call; while active
// it may settle one new commerce cell at a drawn length and direction,
// provided the policy passes, the land-use draw gives Commerce, enough
// housing lies around the new cell and enough street cells around the
// commerce cell itself. An old cell is always abandoned.
//
// Choices of this unit: a null coverage ends the call with 0 and writes
// nothing. Without a set linked to the read coverage an old cell is given
// up to ID 0 (no draw, no notice) and an active cell ends with 0 before
// any draw, since no category or ID can be looked up.
#include "towngrow/landuse/commerce.h"

#include "landuse/growth_steps.h"
#include "landuse/suitability_gate.h"

namespace towngrow {

CCommerce::CCommerce() {
  SetID(5);
  SetLandUseCategory(Commerce);
  SetColor(0x0000FF);
  SetLandUseName("Commerce");
  m_nActiveAge = 10;
  m_nLandUseProb[0] = 15;
  m_nLandUseProb[1] = 5;
  m_nLandUseProb[2] = 80;
  m_nHousePercent = 20;
  m_nStreetPercent = 10;
}

CCommerce::~CCommerce() = default;

int CCommerce::Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
                       CLandUseCoverage* pNewCoverage) {
  if (pCoverage == nullptr || pNewCoverage == nullptr) return 0;

  // Age step: read the old age, raise the new one whatever follows.
  const short age = growth::AgeThenGrow(*pCoverage, *pNewCoverage, nRow, nCol);
  if (age < 0) return 0;  // dead, or a cell outside the grid

  const CLandUseSet* pSet = pCoverage->m_pLandUseSet;
  if (growth::IsOldAge(age, *this)) {
    growth::AbandonCell(pSet, nRow, nCol, pNewCoverage, m_nDeadAge);
    return 0;
  }
  if (age > m_nActiveAge) return 0;  // inactive: only ages
  if (pSet == nullptr) return 0;
  if (!detail::PolicyPasses(*this)) return 0;
  // Commerce spreads only on a Commerce draw, whatever the cell itself holds.
  if (detail::ProbLandUseOf(*this) != Commerce) return 0;

  int step = detail::RealLengthOf(*this, m_nMaxLength);
  const int direction = detail::DirectionOf(*this);
  const CPoint p = detail::NewPoint(*pCoverage, nRow, nCol, direction, step);

  // The target must be vacant at the start of the step, and not have been
  // given a negative age by an earlier call of this step.
  growth::Categories categories(pSet);
  if (categories.At(*pCoverage, p) != Blank) return 0;
  if (detail::AgeAt(*pNewCoverage, p) < 0) return 0;

  // Housing is counted around the new cell, streets around the commerce cell.
  const int r = m_nNeighborRadius;
  if (categories.CountCategory(pCoverage, House, p.y, p.x, r) <
      detail::ShareCountOf(m_nHousePercent, r))
    return 0;
  if (categories.CountStreets(pCoverage, nRow, nCol, r) < detail::ShareCountOf(m_nStreetPercent, r))
    return 0;

  const int id = pSet->GetProbID(Commerce);
  if (!detail::SuitabilityPasses(p.y, p.x, id)) return 0;
  growth::WriteNewCell(pNewCoverage, p, id);
  if (id != 5) ShowMessage(growth::kCommerceChangedNotice);
  return 1;
}

}  // namespace towngrow
