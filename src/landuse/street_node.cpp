// Street nodes: the cells streets grow out of.
//
// One call of Develop, in this order (the order fixes the random draws):
//   policy draw; junction fill (two direct draws RandomDraw() % 100 per vacant
//   neighbour, row by row); spacing (no other node within m_nMinStep - 1);
//   demand (House, Industry or Commerce in the window of radius m_nMinStep,
//   thresholds from the base neighbourhood's cell count); up to eight
//   direction draws; the length draw; the far-end probe, read from the NEW
//   coverage so that streets written earlier in the same pass count; and then
//   either a free street or, by m_nConnectMode, a join to a nearby node.
//
// Choices of ours where the behaviour is left open:
// - Develop with a null coverage, or with an origin outside pCoverage's grid,
//   returns 0 at once: no draw (not even the policy draw) and no write.
// - A coverage without a linked set answers 0 wherever the rule asks the set
//   for an ID (the neutral answer for "no land use of that category").
// - CheckHouseIndustryCommerce answers 0 for a cell outside the grid (no
//   demand is measured there), whatever the thresholds are.
// - UpdateCoverage writes only the cells of the street that lie in the grid;
//   its loop visits only those, so even an absurd length costs nothing. With
//   a null coverage it writes nothing, shows nothing and returns 1.
// - IsDevelopedInDirection with a null coverage: a valid direction is
//   blocked (1), since no neighbour exists.
#include "towngrow/landuse/street_node.h"

#include <algorithm>

#include "landuse/growth_steps.h"
#include "landuse/suitability_gate.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/messages.h"
#include "towngrow/platform/random.h"

namespace towngrow {

namespace {

const int kRowStep[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
const int kColStep[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// The ID of a land use of the category from the coverage's set; 0 when
// there is no coverage or no set.
int ProbIDOf(const CLandUseCoverage* pCoverage, LandUseCategory category) {
  if (pCoverage == nullptr || pCoverage->m_pLandUseSet == nullptr) return 0;
  return pCoverage->m_pLandUseSet->GetProbID(category);
}

// Narrows [lo, hi] to the k for which origin + k * delta lies in 0..limit-1.
void ClampAxis(long long origin, int delta, long long limit, long long& lo, long long& hi) {
  if (delta == 0) {
    if (origin < 0 || origin >= limit) hi = lo - 1;
  } else if (delta > 0) {
    lo = std::max(lo, -origin);
    hi = std::min(hi, limit - 1 - origin);
  } else {
    lo = std::max(lo, origin - (limit - 1));
    hi = std::min(hi, origin);
  }
}

// Street nodes in the square of radius m_nMinStep - 1 (the spacing check).
int OtherStreetNodes(const CStreetNode& node, growth::Categories& categories,
                     const CLandUseCoverage* pCoverage, int nRow, int nCol) {
  return categories.CountOne(pCoverage, StreetNode, nRow, nCol, node.m_nMinStep - 1);
}

// Enough housing, industry or commerce within m_nMinStep (the demand check).
int HasDemand(const CStreetNode& node, growth::Categories& table, const CLandUseCoverage* pCoverage,
              int nRow, int nCol) {
  const LandUseCategory categories[3] = {House, Industry, Commerce};
  int counts[3] = {0, 0, 0};
  if (table.CountEach(pCoverage, categories, counts, nRow, nCol, node.m_nMinStep) == 0) {
    return 0;
  }
  // Thresholds are shares of the base neighbourhood, not of the window.
  const int percents[3] = {node.m_nHousePercent, node.m_nIndustryPercent, node.m_nCommercePercent};
  for (int i = 0; i < 3; ++i) {
    if (counts[i] >= detail::ShareCountOf(percents[i], node.m_nNeighborRadius)) return 1;
  }
  return 0;
}

}  // namespace

CStreetNode::CStreetNode() {
  SetID(1);
  SetLandUseCategory(StreetNode);
  SetColor(190);
  SetLandUseName("Street Node");
  static const int kDirections[8] = {150, 100, 150, 100, 150, 100, 150, 100};
  for (int i = 0; i < 8; ++i) m_nDirectionProb[i] = kDirections[i];
  m_nMinStep = 4;
  m_nMaxStep = 3;
  m_nHousePercent = 10;
  m_nIndustryPercent = 60;
  m_nCommercePercent = 70;
  m_nConnectMode = 0;
  m_nJunctionVertices = 4;
  m_nJunctionHousePercent = 50;
  m_nJunctionFillPercent = 100;
  m_bJunctionFill = 1;
}

CStreetNode::~CStreetNode() = default;

int CStreetNode::GetRealStep() { return GetRealLength(m_nMaxStep) + m_nMinStep; }

int CStreetNode::CheckOtherStreetNode(CLandUseCoverage* pCoverage, int nRow, int nCol) {
  if (pCoverage == nullptr) return 0;
  growth::Categories categories(pCoverage->m_pLandUseSet);
  return OtherStreetNodes(*this, categories, pCoverage, nRow, nCol);
}

int CStreetNode::CheckHouseIndustryCommerce(CLandUseCoverage* pCoverage, int nRow, int nCol) {
  if (pCoverage == nullptr) return 0;
  growth::Categories categories(pCoverage->m_pLandUseSet);
  return HasDemand(*this, categories, pCoverage, nRow, nCol);
}

namespace {

// IsDevelopedInDirection once the street-vertex ID has been asked of the
// set (before the direction is looked at: it may draw).
int DevelopedInDirection(const CLandUseCoverage* pCoverage, int nRow, int nCol, int nDirection,
                         int id) {
  if (nDirection < 0 || nDirection > 7) {
    ShowMessage("Direction is wrong during caculation in StreetNode...");
    return 0;
  }
  if (pCoverage == nullptr) return 1;
  const long long r = static_cast<long long>(nRow) + kRowStep[nDirection];
  const long long c = static_cast<long long>(nCol) + kColStep[nDirection];
  if (r < 0 || c < 0 || r >= pCoverage->m_nRows || c >= pCoverage->m_nCols) return 1;
  return pCoverage->GetCellValue(static_cast<int>(r), static_cast<int>(c)) == id ? 1 : 0;
}

}  // namespace

int CStreetNode::IsDevelopedInDirection(CLandUseCoverage* pCoverage, int nRow, int nCol,
                                        int nDirection) {
  const int id = ProbIDOf(pCoverage, StreetVertex);
  return DevelopedInDirection(pCoverage, nRow, nCol, nDirection, id);
}

int CStreetNode::UpdateCoverage(CLandUseCoverage* pCoverage, int nRow, int nCol, int nDirection,
                                int nLength, int nVertexID) {
  if (pCoverage == nullptr) return 1;
  const bool valid = nDirection >= 0 && nDirection <= 7;
  const int dr = valid ? kRowStep[nDirection] : 0;
  const int dc = valid ? kColStep[nDirection] : 0;
  const long long rows = pCoverage->m_nRows;
  const long long cols = pCoverage->m_nCols;

  // The street cells k = 1 .. length - 1, only those inside the grid.
  if (valid) {
    long long lo = 1;
    long long hi = static_cast<long long>(nLength) - 1;
    ClampAxis(nRow, dr, rows, lo, hi);
    ClampAxis(nCol, dc, cols, lo, hi);
    for (long long k = lo; k <= hi; ++k) {
      pCoverage->SetCellValue(static_cast<int>(nRow + k * dr), static_cast<int>(nCol + k * dc),
                              static_cast<unsigned char>(nVertexID));
    }
  }

  // The far end becomes a street node.
  const int id = ProbIDOf(pCoverage, StreetNode);
  const long long length = valid ? nLength : 0;
  const long long endRow = nRow + length * dr;
  const long long endCol = nCol + length * dc;
  if (endRow >= 0 && endCol >= 0 && endRow < rows && endCol < cols) {
    pCoverage->SetCellValue(static_cast<int>(endRow), static_cast<int>(endCol),
                            static_cast<unsigned char>(id));
  }
  if (id != 1) ShowMessage("Yes,You have changed the Industry setting,..");
  return 1;
}

int CStreetNode::Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
                         CLandUseCoverage* pNewCoverage) {
  if (pCoverage == nullptr || pNewCoverage == nullptr) return 0;
  if (pCoverage->IsInRange(nRow, nCol) == 0) return 0;

  // Policy.
  if (!detail::PolicyPasses(*this)) return 0;
  growth::Categories categories(pCoverage->m_pLandUseSet);

  // Junction fill: vacant neighbours of a node among enough street vertices
  // become housing or commerce. Its writes stay whatever follows.
  if (m_bJunctionFill != 0 &&
      categories.CountOne(pCoverage, StreetVertex, nRow, nCol, 1) >= m_nJunctionVertices) {
    for (int r = nRow - 1; r <= nRow + 1; ++r) {
      for (int c = nCol - 1; c <= nCol + 1; ++c) {
        if (r == nRow && c == nCol) continue;
        if (pCoverage->IsInRange(r, c) == 0) continue;
        if (categories.At(*pCoverage, r, c) != Blank) continue;
        const int r1 = RandomDraw() % 100;
        if (r1 > m_nJunctionFillPercent) break;  // the rest of this row is left
        const int r2 = RandomDraw() % 100;
        const LandUseCategory category = r2 > m_nJunctionHousePercent ? Commerce : House;
        const int id = ProbIDOf(pCoverage, category);
        if (!detail::SuitabilityPasses(r, c, id)) continue;
        pNewCoverage->SetCellValue(r, c, static_cast<unsigned char>(id));
        pNewCoverage->SetCellAge(r, c, 0);
      }
    }
  }

  // Spacing: the node itself counts as one.
  if (OtherStreetNodes(*this, categories, pCoverage, nRow, nCol) > 1) return 0;

  // Demand.
  if (HasDemand(*this, categories, pCoverage, nRow, nCol) == 0) return 0;

  // Direction: up to eight independent attempts.
  int nDirection = -1;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int d = detail::DirectionOf(*this);
    // IsDevelopedInDirection, with the set's answer from this call's table.
    const int vertexID = categories.ProbID(StreetVertex);
    if (DevelopedInDirection(pCoverage, nRow, nCol, d, vertexID) == 0) {
      nDirection = d;
      break;
    }
  }
  if (nDirection < 0) return 0;

  // Length, shortened at the border; pt is only the probe of the far end.
  int nStep = detail::RealLengthOf(*this, m_nMaxStep) + m_nMinStep;  // GetRealStep
  const CPoint pt = detail::NewPoint(*pCoverage, nRow, nCol, nDirection, nStep);

  // Free far end: build the street.
  if (OtherStreetNodes(*this, categories, pNewCoverage, pt.y, pt.x) < 1) {
    if (!detail::SuitabilityPasses(nRow + nStep * kRowStep[nDirection],
                                   nCol + nStep * kColStep[nDirection], m_ID))
      return 0;
    const int nVertexID = ProbIDOf(pNewCoverage, StreetVertex);
    UpdateCoverage(pNewCoverage, nRow, nCol, nDirection, nStep, nVertexID);
    return 1;
  }

  // Far end near a node: join it, or build nothing.
  if (m_nConnectMode == 0) return 0;
  const int nRadius = static_cast<int>(m_nMinStep * 0.66);
  const CPoint q = pNewCoverage->GetPointByCategory(StreetNode, pt, nRadius);
  if (q == CPoint(-1, -1)) return 0;
  if (m_nConnectMode == 1) {
    const bool sameRow = q.y == nRow;
    const bool sameCol = q.x == nCol;
    if (sameRow == sameCol) return 0;
  } else if (m_nConnectMode != 2) {
    return 0;
  }
  if (!detail::SuitabilityPasses(q.y, q.x, m_ID)) return 0;
  // The join uses the fixed IDs of the standard street vertex and node.
  pNewCoverage->CovDDALine(CPoint(nCol, nRow), q, 2);
  pNewCoverage->SetCellValue(nRow, nCol, 1);
  pNewCoverage->SetCellValue(q, 1);
  return 1;
}

}  // namespace towngrow
