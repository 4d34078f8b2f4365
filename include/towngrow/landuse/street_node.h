// Street nodes: the cells streets grow out of. Junction fill, spacing,
// demand, direction, length, and joining a street to a nearby node.
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
#pragma once

#include "towngrow/landuse/land_use.h"

namespace towngrow {

class CStreetNode : public CLandUse {
public:
  CStreetNode();
  ~CStreetNode() override;

  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override;
  int IsDevelopedInDirection(CLandUseCoverage* pCoverage, int nRow, int nCol, int nDirection);
  int GetRealStep();
  int CheckHouseIndustryCommerce(CLandUseCoverage* pCoverage, int nRow, int nCol);
  int CheckOtherStreetNode(CLandUseCoverage* pCoverage, int nRow, int nCol);
  int UpdateCoverage(CLandUseCoverage* pCoverage, int nRow, int nCol, int nDirection, int nLength,
                     int nVertexID);

  int m_nMinStep;
  int m_nMaxStep;
  int m_nHousePercent;
  int m_nIndustryPercent;
  int m_nCommercePercent;
  int m_nConnectMode;
  int m_nJunctionVertices;
  int m_nJunctionHousePercent;
  int m_nJunctionFillPercent;
  int m_bJunctionFill;
};

}  // namespace towngrow
