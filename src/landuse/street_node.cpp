#include "towngrow/landuse/street_node.h"

namespace towngrow {

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

// PLACEHOLDER until the growth rule lands: grows nothing.
int CStreetNode::Develop(CLandUseCoverage*, int, int, CLandUseCoverage*) { return 0; }

}  // namespace towngrow
