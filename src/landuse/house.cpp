// The housing rule. A housing cell ages one step per call; while active it
// may settle one new cell near streets, which becomes housing, industry or
// commerce by the housing, industry and commerce around it. An old cell is
// abandoned or renewed by a draw that favours renewal the more street
// cells surround it. The choices this unit makes are listed in house.h.
#include "towngrow/landuse/house.h"

#include <typeinfo>

#include "landuse/growth_steps.h"
#include "landuse/suitability_gate.h"
#include "towngrow/landuse/commerce.h"
#include "towngrow/landuse/industry.h"

namespace towngrow {

namespace {

// dynamic_cast to T, with a shortcut for an object whose dynamic type is
// exactly T (the usual case): same answer, without the hierarchy walk.
template <class T, class From>
const T* AsKind(const From* p) {
  if (p == nullptr) return nullptr;
  if (typeid(*p) == typeid(T)) return static_cast<const T*>(p);
  return dynamic_cast<const T*>(p);
}

// The land use that the set holds for an ID (the first one with that ID),
// or null when the ID is unknown. The set holds land uses only (its own
// look-ups read every entry as one).
const CLandUse* FindLandUse(const CLandUseSet& set, int id) {
  const int index = set.GetIDIndex(static_cast<unsigned char>(id));
  if (index < 0) return nullptr;
  return static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(index));
}

// The default roster's ID of a category that housing may place.
int DefaultIDOf(LandUseCategory category) {
  switch (category) {
    case Industry:
      return 4;
    case Commerce:
      return 5;
    default:
      return 3;
  }
}

}  // namespace

CHouse::CHouse() {
  SetID(3);
  SetLandUseCategory(House);
  SetColor(0x32CD32);
  SetLandUseName("Housing");
  m_nActiveAge = 30;
  m_nStreetPercent = 5;
  m_nMixedLandUseProb[0] = 70;
  m_nMixedLandUseProb[1] = 15;
  m_nMixedLandUseProb[2] = 25;
  m_nResidentialLandUseProb[0] = 80;
  m_nResidentialLandUseProb[1] = 15;
  m_nResidentialLandUseProb[2] = 25;
}

CHouse::~CHouse() = default;

int CHouse::GetRealDistance() { return GetRealLength(); }

LandUseCategory CHouse::GetProbCategory(const int* weights) {
  return detail::CategoryOfInt(detail::MaxIndexOf(weights, 3) + 3);
}

int CHouse::CheckStreet(int nRow, int nCol, CLandUseCoverage* pCoverage) {
  if (pCoverage == nullptr) return 0;
  growth::Categories categories(pCoverage->m_pLandUseSet);
  const int streets = categories.CountStreets(pCoverage, nRow, nCol, m_nNeighborRadius);
  return streets >= detail::ShareCountOf(m_nStreetPercent, m_nNeighborRadius) ? 1 : 0;
}

int CHouse::Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
                    CLandUseCoverage* pNewCoverage) {
  if (pCoverage == nullptr || pNewCoverage == nullptr) return 0;

  // Age step: read the old age, raise the new one whatever follows.
  const short age = growth::AgeThenGrow(*pCoverage, *pNewCoverage, nRow, nCol);
  if (age < 0) return 0;  // dead, or a cell outside the grid

  const CLandUseSet* pSet = pCoverage->m_pLandUseSet;
  const int r = m_nNeighborRadius;
  growth::Categories categories(pSet);
  if (growth::IsOldAge(age, *this)) {
    if (pSet == nullptr) {  // nothing to weigh the streets with
      growth::AbandonCell(pSet, nRow, nCol, pNewCoverage, m_nDeadAge);
      return 0;
    }
    // Streets in the square one smaller than the neighbourhood against all
    // its other cells (the cell itself and cells beyond the edge included).
    const int inner = r - 1;
    const long long side = 2LL * inner + 1;
    const int s = categories.CountStreets(pCoverage, nRow, nCol, inner);
    const int weights[2] = {s, static_cast<int>(side * side - s)};
    if (detail::MaxIndexOf(weights, 2) == 1) {
      growth::AbandonCell(pSet, nRow, nCol, pNewCoverage, m_nDeadAge);
      return 0;
    }
    // Renewed: a fresh active age, then the rule goes on with the old age.
    pNewCoverage->SetCellAge(nRow, nCol, static_cast<short>(detail::RandIntOf(m_nActiveAge)));
  }
  if (age > m_nActiveAge) return 0;
  if (pSet == nullptr) return 0;
  if (!detail::PolicyPasses(*this)) return 0;

  int step = detail::RealLengthOf(*this, m_nMaxLength);  // GetRealDistance
  const int direction = detail::DirectionOf(*this);
  const CPoint p = detail::NewPoint(*pCoverage, nRow, nCol, direction, step);

  // Vacant in the coverage being written (so not taken earlier in this
  // step), and not dead at the start of the step.
  if (categories.At(*pNewCoverage, p) != Blank) return 0;
  if (detail::AgeAt(*pCoverage, p) < 0) return 0;
  // Streets, housing, industry and commerce around the new cell, in one
  // pass over its neighbourhood.
  const LandUseCategory counted[5] = {StreetNode, StreetVertex, House, Industry, Commerce};
  int counts[5] = {0, 0, 0, 0, 0};
  categories.CountEach(pCoverage, counted, counts, p.y, p.x, r);
  if (counts[0] + counts[1] < detail::ShareCountOf(m_nStreetPercent, r)) return 0;
  const int h = counts[2];
  const int i = counts[3];
  const int c = counts[4];

  // Thresholds from the set's industry and commerce land uses; both IDs
  // are drawn here, in this order, whatever the choice turns out to be.
  const int industryID = categories.ProbID(Industry);
  const int commerceID = categories.ProbID(Commerce);
  const CIndustry* pIndustry = AsKind<CIndustry>(FindLandUse(*pSet, industryID));
  const CCommerce* pCommerce = AsKind<CCommerce>(FindLandUse(*pSet, commerceID));

  LandUseCategory choice;
  if (i <= 2 && c <= 2) {
    choice = GetProbCategory(m_nResidentialLandUseProb);
  } else {
    choice = GetProbCategory(m_nMixedLandUseProb);
    const LandUseCategory dominant = i > c ? Industry : Commerce;
    if (choice != dominant) return 0;
  }

  int id = 0;
  if (choice == House) {
    id = categories.ProbID(House);
  } else if (choice == Commerce) {
    if (pCommerce == nullptr) return 0;  // no commerce land use to read from
    if (h < detail::ShareCountOf(pCommerce->m_nHousePercent, r)) return 0;
    id = commerceID;
  } else {
    if (pIndustry == nullptr) return 0;  // no industry land use to read from
    if (h + c > detail::ShareCountOf(pIndustry->m_nHouseCommercePercent, r)) return 0;
    id = industryID;
  }

  if (!detail::SuitabilityPasses(p.y, p.x, id)) return 0;
  growth::WriteNewCell(pNewCoverage, p, id);
  // The same notice for every category housing places.
  if (id != DefaultIDOf(choice)) ShowMessage(growth::kIndustryChangedNotice);
  return 1;
}

}  // namespace towngrow
