// The industry rule. An industry cell ages one step per call; while active
// it may settle one new industry cell at a drawn length and direction,
// provided the policy passes, the land-use draw matches the cell's own
// category, and its own square holds few housing-plus-commerce cells and
// enough street cells. An old cell is always abandoned.
//
// Choices of this unit: a null coverage ends the call with 0 and writes
// nothing. Without a set linked to the read coverage an old cell is given
// up to ID 0 (no draw, no notice) and an active cell ends with 0 before
// any draw, since no category or ID can be looked up.
#include "towngrow/landuse/industry.h"

#include "landuse/growth_steps.h"
#include "landuse/suitability_gate.h"

namespace towngrow {

CIndustry::CIndustry() {
  SetID(4);
  SetLandUseCategory(Industry);
  SetColor(0xD0E040);
  SetLandUseName("Industry");
  m_nActiveAge = 10;
  m_nInactivePeriod = 40;
  m_nNeighborRadius = 3;
  m_nMaxLength = 3;
  m_nLandUseProb[0] = 20;
  m_nLandUseProb[1] = 50;
  m_nLandUseProb[2] = 30;
  m_nHouseCommercePercent = 40;
  m_nStreetPercent = 15;
}

CIndustry::~CIndustry() = default;

int CIndustry::Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
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
  growth::Categories categories(pSet);
  if (detail::ProbLandUseOf(*this) != categories.At(*pCoverage, nRow, nCol)) return 0;

  int step = detail::RealLengthOf(*this, m_nMaxLength);
  const int direction = detail::DirectionOf(*this);
  const CPoint p = detail::NewPoint(*pCoverage, nRow, nCol, direction, step);

  // The target must still be vacant in the coverage being written; its age
  // is not looked at.
  if (categories.At(*pNewCoverage, p) != Blank) return 0;

  // Both neighbourhood tests look at the industry cell's own square.
  const int r = m_nNeighborRadius;
  const int houseCommerce = categories.CountCategory(pCoverage, House, nRow, nCol, r) +
                            categories.CountCategory(pCoverage, Commerce, nRow, nCol, r);
  if (houseCommerce > detail::ShareCountOf(m_nHouseCommercePercent, r)) return 0;
  if (categories.CountStreets(pCoverage, nRow, nCol, r) < detail::ShareCountOf(m_nStreetPercent, r))
    return 0;

  const int id = pSet->GetProbID(Industry);
  if (!detail::SuitabilityPasses(p.y, p.x, id)) return 0;
  growth::WriteNewCell(pNewCoverage, p, id);
  if (id != 4) ShowMessage(growth::kIndustryChangedNotice);
  return 1;
}

}  // namespace towngrow
