// Street nodes: the cells streets grow out of. Junction fill, spacing,
// demand, direction, length, and joining a street to a nearby node.
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
  int UpdateCoverage(CLandUseCoverage* pCoverage, int nRow, int nCol, int nDirection,
                     int nLength, int nVertexID);

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
