#include "towngrow/landuse/commerce.h"

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

// PLACEHOLDER until the growth rule lands: grows nothing.
int CCommerce::Develop(CLandUseCoverage*, int, int, CLandUseCoverage*) { return 0; }

}  // namespace towngrow
