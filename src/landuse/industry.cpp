#include "towngrow/landuse/industry.h"

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

// PLACEHOLDER until the growth rule lands: grows nothing.
int CIndustry::Develop(CLandUseCoverage*, int, int, CLandUseCoverage*) { return 0; }

}  // namespace towngrow
